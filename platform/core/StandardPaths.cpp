#include "platform/core/StandardPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

namespace platform::core {

namespace {

QString folderOrFail(const QString &path, const QString &what, QDError *error)
{
    if (path.isEmpty()) {
        setError(error, QDError::withDescription(QuendelErrorDomain, StandardPaths::NoLocationError,
                                                 QStringLiteral("There is no %1 folder in this environment.").arg(what)));
        return QString();
    }
    if (!StandardPaths::createFolder(path, error))
        return QString();
    return path;
}

} // namespace

QString StandardPaths::dataFolderPath()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QString();
    return QDir(base).filePath(DataFolderName);
}

QString StandardPaths::dataFolder(QDError *error)
{
    return folderOrFail(dataFolderPath(), QStringLiteral("data"), error);
}

QString StandardPaths::documentsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString StandardPaths::documentsFolder(QDError *error)
{
    return folderOrFail(documentsPath(), QStringLiteral("Documents"), error);
}

QString StandardPaths::cachesPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
}

QString StandardPaths::cachesFolder(QDError *error)
{
    return folderOrFail(cachesPath(), QStringLiteral("caches"), error);
}

QString StandardPaths::configPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString StandardPaths::configFolder(QDError *error)
{
    return folderOrFail(configPath(), QStringLiteral("configuration"), error);
}

bool StandardPaths::createFolder(const QString &path, QDError *error)
{
    QVariantMap info{{QDError::FilePathKey, path}};
    if (path.isEmpty())
        return setError(error, QDError::withDescription(QuendelErrorDomain, NoLocationError,
                                                        QStringLiteral("No folder path was given.")));
    const QFileInfo fi(path);
    if (fi.exists()) {
        if (fi.isDir())
            return true;
        return setError(error, QDError::withDescription(
                                   QuendelErrorDomain, CreateFolderError,
                                   QStringLiteral("The folder \u201c%1\u201d couldn\u2019t be created because a file "
                                                  "with that name is in the way.")
                                       .arg(path),
                                   info));
    }
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return setError(error, QDError::withDescription(
                                   QuendelErrorDomain, CreateFolderError,
                                   QStringLiteral("The folder \u201c%1\u201d couldn\u2019t be created.").arg(path), info));
    return true;
}

bool StandardPaths::isUITest()
{
    // The test harness only sets the key; its value carries no meaning, so presence alone switches.
    return qEnvironmentVariableIsSet("isUITest");
}

QString StandardPaths::uuidString()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace platform::core
