#include "platform/core/FileModes.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace platform::core {

namespace {

bool setMode(const QString &path, unsigned wanted, bool wantFolder, QDError *error, bool *failed)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::lstat(name.constData(), &info) != 0)
        return errno == ENOENT;
    if (S_ISLNK(info.st_mode) || S_ISDIR(info.st_mode) != wantFolder)
        return true;
    if ((info.st_mode & 07777) == wanted)
        return true;
    if (::chmod(name.constData(), wanted) == 0)
        return true;
    if (!*failed) {
        *failed = true;
        setError(error, QDError::withDescription(QuendelErrorDomain, FileModes::ChangeModeError,
                                                 QStringLiteral("The permissions of \u201c%1\u201d could not be made "
                                                                "private: %2")
                                                     .arg(path, QString::fromLocal8Bit(std::strerror(errno))),
                                                 {{QDError::FilePathKey, path}}));
    }
    return false;
}

bool walk(const QString &folder, QDError *error, bool *failed, int depth)
{
    bool ok = setMode(folder, FileModes::PrivateFolderMode, true, error, failed);
    if (depth > 64)
        return ok;
    const QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink())
            continue;
        if (entry.isDir())
            ok = walk(entry.filePath(), error, failed, depth + 1) && ok;
        else if (entry.isFile())
            ok = setMode(entry.filePath(), FileModes::PrivateFileMode, false, error, failed) && ok;
    }
    return ok;
}

} // namespace

bool FileModes::makeTreePrivate(const QString &folder, QDError *error)
{
    if (folder.isEmpty())
        return true;
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir())
        return true;
    bool failed = false;
    return walk(folder, error, &failed, 0);
}

bool FileModes::makeFilePrivate(const QString &path, QDError *error)
{
    bool failed = false;
    return path.isEmpty() || setMode(path, PrivateFileMode, false, error, &failed);
}

void FileModes::createPrivateFiles()
{
    ::umask(077);
}

int FileModes::mode(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

} // namespace platform::core
