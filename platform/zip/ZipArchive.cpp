#include "platform/zip/ZipArchive.h"

#include "platform/zip/MemberCompressor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <thread>

#include <zip.h>

using platform::core::QDError;

namespace platform::zip {

namespace {

constexpr qint64 ReadChunk = 256 * 1024;
constexpr zip_uint32_t DeflateLevel = 6;

QString libzipMessage(zip_error_t *error)
{
    return QString::fromUtf8(zip_error_strerror(error));
}

void progressCallback(zip_t *, double fraction, void *state)
{
    auto *handler = static_cast<std::function<void(double)> *>(state);
    if (handler && *handler)
        (*handler)(fraction);
}

// A member whose deflate stream a MemberCompressor makes ahead of time. The library takes the stream as it
// is (the stat says it is deflated already) and only frames it, and encrypts it when the archive has a password.
struct CompressedMemberSource
{
    std::shared_ptr<MemberCompressor> compressor;
    int index = 0;
    bool known = false;
    MemberCompressor::Result member;
    const QByteArray *data = nullptr;
    qint64 offset = 0;
    zip_error_t error;
};

zip_int64_t compressedMemberCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto *source = static_cast<CompressedMemberSource *>(state);
    auto fetch = [source](bool needBytes) {
        if (!source->known || needBytes) {
            source->member = source->compressor->take(source->index);
            source->known = true;
            if (source->member.ok)
                source->member.compressedSize = source->member.data->size();
        }
        if (!source->member.ok)
            zip_error_set(&source->error, source->member.systemError == ENOENT ? ZIP_ER_NOENT : ZIP_ER_READ,
                          source->member.systemError);
        return source->member.ok;
    };
    switch (command) {
    case ZIP_SOURCE_OPEN:
        if (!fetch(true))
            return -1;
        source->data = source->member.data;
        source->offset = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        if (!source->data)
            return 0;
        const zip_uint64_t left = zip_uint64_t(source->data->size() - source->offset);
        const zip_uint64_t n = std::min(left, length);
        std::memcpy(data, source->data->constData() + source->offset, n);
        source->offset += qint64(n);
        return zip_int64_t(n);
    }
    case ZIP_SOURCE_CLOSE:
        if (source->data) {
            source->data = nullptr;
            source->compressor->release(source->index);
        }
        return 0;
    case ZIP_SOURCE_STAT: {
        zip_stat_t *stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
        if (!stat || !fetch(false))
            return -1;
        zip_stat_init(stat);
        stat->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_MTIME | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD
                      | ZIP_STAT_ENCRYPTION_METHOD;
        stat->size = zip_uint64_t(source->member.size);
        stat->comp_size = zip_uint64_t(source->member.compressedSize);
        stat->mtime = source->member.mtime;
        stat->crc = source->member.crc;
        stat->comp_method = ZIP_CM_DEFLATE;
        stat->encryption_method = ZIP_EM_NONE;
        return sizeof(*stat);
    }
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
        auto *attributes = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, length, &source->error);
        if (!attributes || !fetch(false))
            return -1;
        // What the library records for a file it reads itself: made on Unix, with the file's mode.
        attributes->valid |= ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES;
        attributes->host_system = ZIP_OPSYS_UNIX;
        attributes->external_file_attributes = (source->member.mode & 0xffffu) << 16;
        return sizeof(*attributes);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_FREE:
        if (source->data)
            source->compressor->release(source->index);
        zip_error_fini(&source->error);
        delete source;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS,
                                              ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default:
        zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

int compressionWorkers()
{
    return std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
}

} // namespace

ZipArchive::ZipArchive() = default;

ZipArchive::~ZipArchive()
{
    discard();
}

bool ZipArchive::fail(qint64 code, const QString &description, const QString &path)
{
    m_error = QDError::withDescription(ZipErrorDomain, code, description);
    if (!path.isEmpty())
        m_error.setUserInfoValue(QDError::FilePathKey, path);
    return false;
}

void ZipArchive::discard()
{
    if (m_archive)
        zip_discard(m_archive);
    m_archive = nullptr;
    // After the archive: its members' sources hold the compressor too, and the last one stops its workers.
    m_compressor.reset();
    m_writing = false;
    m_password.fill('\0');
    m_password.clear();
    m_hasPassword = false;
}

bool ZipArchive::isSafeMemberName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    if (name.size() >= 2 && name.at(1) == QLatin1Char(':'))
        return false;
    QString trimmed = name;
    if (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    for (const QString &part : trimmed.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

// ---- Writing ----

bool ZipArchive::CreateZipFile2(const QString &path)
{
    return openForWriting(path, QString());
}

bool ZipArchive::CreateZipFile2(const QString &path, const QString &password)
{
    return openForWriting(path, password);
}

bool ZipArchive::openForWriting(const QString &path, const QString &password)
{
    discard();
    m_error = QDError();
    int code = 0;
    m_archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!m_archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString message = libzipMessage(&error);
        zip_error_fini(&error);
        return fail(ZipErrorOpen, QStringLiteral("The archive cannot be created: %1").arg(message), path);
    }
    m_writing = true;
    m_path = path;
    m_hasPassword = !password.isEmpty();
    m_password = password.toUtf8();
    return true;
}

bool ZipArchive::addFileToZip(const QString &file, const QString &newname)
{
    if (!m_archive || !m_writing)
        return fail(ZipErrorState, QStringLiteral("No archive is being written"));
    if (!isSafeMemberName(newname))
        return fail(ZipErrorUnsafeName, QStringLiteral("The member name \"%1\" is not allowed").arg(newname), file);
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable())
        return fail(ZipErrorAdd, QStringLiteral("The file \"%1\" cannot be read").arg(info.fileName()), file);
    zip_error_t error;
    zip_error_init(&error);
    // Empty and very large files are left to the library's own reading and compressing.
    const bool ahead = info.size() > 0 && info.size() <= MemberCompressor::LargestMember;
    zip_source_t *source = nullptr;
    if (ahead) {
        if (!m_compressor)
            m_compressor = std::make_shared<MemberCompressor>(compressionWorkers());
        auto *state = new CompressedMemberSource;
        state->compressor = m_compressor;
        state->index = m_compressor->add(file, info.size());
        zip_error_init(&state->error);
        source = zip_source_function_create(compressedMemberCallback, state, &error);
        if (!source) {
            zip_error_fini(&state->error);
            delete state;
        }
    } else {
        source = zip_source_file_create(QFile::encodeName(file).constData(), 0, -1, &error);
    }
    if (!source) {
        const QString message = libzipMessage(&error);
        zip_error_fini(&error);
        return fail(ZipErrorAdd, QStringLiteral("The file \"%1\" cannot be added: %2").arg(info.fileName(), message),
                    file);
    }
    zip_error_fini(&error);
    const zip_int64_t index = zip_file_add(m_archive, newname.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return fail(ZipErrorAdd, QStringLiteral("The member \"%1\" cannot be added: %2")
                                     .arg(newname, QString::fromUtf8(zip_strerror(m_archive))),
                    file);
    }
    // zlib's default level (the library's own default is its slowest); a member compressed ahead already has
    // it. The member's time is the file's own, and the password check byte of the traditional scheme is made
    // from that same time.
    if ((!ahead && zip_set_file_compression(m_archive, zip_uint64_t(index), ZIP_CM_DEFLATE, DeflateLevel) != 0)
        || (m_hasPassword
            && zip_file_set_encryption(m_archive, zip_uint64_t(index), ZIP_EM_TRAD_PKWARE, m_password.constData())
                   != 0))
        return fail(ZipErrorAdd, QStringLiteral("The member \"%1\" cannot be set up: %2")
                                     .arg(newname, QString::fromUtf8(zip_strerror(m_archive))),
                    file);
    return true;
}

bool ZipArchive::CloseZipFile2()
{
    if (!m_archive || !m_writing)
        return fail(ZipErrorState, QStringLiteral("No archive is being written"));
    if (m_progress)
        zip_register_progress_callback_with_state(m_archive, 0.01, progressCallback, nullptr, &m_progress);
    if (m_compressor)
        m_compressor->start();
    if (zip_close(m_archive) != 0) {
        const QString message = QString::fromUtf8(zip_strerror(m_archive));
        discard();
        return fail(ZipErrorWrite, QStringLiteral("The archive cannot be written: %1").arg(message), m_path);
    }
    m_archive = nullptr;
    discard();
    return true;
}

// ---- Reading ----

bool ZipArchive::UnzipOpenFile(const QString &path)
{
    return openForReading(path, QString());
}

bool ZipArchive::UnzipOpenFile(const QString &path, const QString &password)
{
    return openForReading(path, password);
}

bool ZipArchive::openForReading(const QString &path, const QString &password)
{
    discard();
    m_error = QDError();
    int code = 0;
    m_archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!m_archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString message = libzipMessage(&error);
        zip_error_fini(&error);
        return fail(ZipErrorOpen, QStringLiteral("The file cannot be opened as a zip archive: %1").arg(message), path);
    }
    m_writing = false;
    m_path = path;
    m_hasPassword = !password.isNull();
    m_password = password.toUtf8();
    if (m_hasPassword)
        zip_set_default_password(m_archive, m_password.constData());
    return true;
}

QList<ZipEntry> ZipArchive::UnzipEntries() const
{
    QList<ZipEntry> entries;
    if (!m_archive || m_writing)
        return entries;
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(m_archive, zip_uint64_t(i), ZIP_FL_ENC_GUESS, &stat) != 0)
            continue;
        ZipEntry entry;
        entry.name = QString::fromUtf8(stat.name);
        entry.size = qint64(stat.size);
        entry.compressedSize = qint64(stat.comp_size);
        entry.encrypted = (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE;
        entry.deflated = (stat.valid & ZIP_STAT_COMP_METHOD) && stat.comp_method == ZIP_CM_DEFLATE;
        entry.isFolder = entry.name.endsWith(QLatin1Char('/'));
        if (stat.valid & ZIP_STAT_MTIME)
            entry.modified = QDateTime::fromSecsSinceEpoch(qint64(stat.mtime));
        entries << entry;
    }
    return entries;
}

bool ZipArchive::UnzipIsEncrypted() const
{
    for (const ZipEntry &entry : UnzipEntries()) {
        if (entry.encrypted)
            return true;
    }
    return false;
}

bool ZipArchive::UnzipFileTo(const QString &folder, bool overwrite)
{
    if (!m_archive || m_writing)
        return fail(ZipErrorState, QStringLiteral("No archive is open for reading"));
    const QList<ZipEntry> entries = UnzipEntries();
    if (qint64(entries.size()) != qint64(zip_get_num_entries(m_archive, 0)))
        return fail(ZipErrorExtract, QStringLiteral("The archive's list of members is damaged"), m_path);
    for (const ZipEntry &entry : entries) {
        if (!isSafeMemberName(entry.name))
            return fail(ZipErrorUnsafeName,
                        QStringLiteral("The archive holds a member that would be unpacked outside its folder: \"%1\"")
                            .arg(entry.name),
                        m_path);
    }
    if (!QDir().mkpath(folder))
        return fail(ZipErrorExtract, QStringLiteral("The folder cannot be made"), folder);
    const QString root = QFileInfo(folder).canonicalFilePath();
    const QDir target(root);
    QByteArray buffer(ReadChunk, Qt::Uninitialized);

    for (qsizetype i = 0; i < entries.size(); ++i) {
        const ZipEntry &entry = entries[i];
        const QString destination = target.filePath(entry.isFolder ? entry.name.chopped(1) : entry.name);
        const QString parent = entry.isFolder ? destination : QFileInfo(destination).absolutePath();
        if (!QDir().mkpath(parent))
            return fail(ZipErrorExtract, QStringLiteral("The folder of \"%1\" cannot be made").arg(entry.name), parent);
        // A folder reached through a link could lie anywhere: the real place must still be inside the root.
        const QString realParent = QFileInfo(parent).canonicalFilePath();
        if (realParent != root && !realParent.startsWith(root + QLatin1Char('/')))
            return fail(ZipErrorUnsafeName, QStringLiteral("The member \"%1\" would leave its folder").arg(entry.name),
                        m_path);
        if (entry.isFolder)
            continue;
        const QFileInfo existing(destination);
        if (existing.exists() || existing.isSymLink()) {
            if (!overwrite)
                continue;
            if (existing.isDir() && !existing.isSymLink())
                return fail(ZipErrorExtract, QStringLiteral("A folder is in the place of \"%1\"").arg(entry.name),
                            destination);
            if (!QFile::remove(destination))
                return fail(ZipErrorExtract, QStringLiteral("\"%1\" cannot be replaced").arg(entry.name), destination);
        }

        zip_file_t *member = zip_fopen_index(m_archive, zip_uint64_t(i), 0);
        if (!member) {
            const int code = zip_error_code_zip(zip_get_error(m_archive));
            const QString message = QString::fromUtf8(zip_strerror(m_archive));
            if (code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_NOPASSWD)
                return fail(ZipErrorWrongPassword, QStringLiteral("The password does not open the archive"), m_path);
            return fail(ZipErrorExtract, QStringLiteral("\"%1\" cannot be read: %2").arg(entry.name, message), m_path);
        }
        QFile out(destination);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            zip_fclose(member);
            return fail(ZipErrorExtract, QStringLiteral("\"%1\" cannot be written: %2").arg(entry.name, out.errorString()),
                        destination);
        }
        bool ok = true;
        QString problem;
        int readError = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(member, buffer.data(), zip_uint64_t(buffer.size()));
            if (n == 0)
                break;
            if (n < 0) {
                readError = zip_error_code_zip(zip_file_get_error(member));
                problem = QString::fromUtf8(zip_file_strerror(member));
                ok = false;
                break;
            }
            if (out.write(buffer.constData(), n) != n) {
                problem = out.errorString();
                ok = false;
                break;
            }
        }
        zip_fclose(member);
        if (ok && !out.flush()) {
            problem = out.errorString();
            ok = false;
        }
        out.close();
        if (!ok) {
            QFile::remove(destination);
            // With the traditional scheme one wrong password in 256 passes the check byte and shows up only as
            // data that fails its checksum.
            if (entry.encrypted && readError == ZIP_ER_CRC)
                return fail(ZipErrorWrongPassword, QStringLiteral("The password does not open the archive"), m_path);
            return fail(ZipErrorExtract, QStringLiteral("\"%1\" cannot be unpacked: %2").arg(entry.name, problem),
                        m_path);
        }
        if (entry.modified.isValid()) {
            QFile stamped(destination);
            if (stamped.open(QIODevice::ReadWrite))
                stamped.setFileTime(entry.modified, QFileDevice::FileModificationTime);
        }
    }
    return true;
}

bool ZipArchive::UnzipCloseFile()
{
    if (!m_archive || m_writing)
        return fail(ZipErrorState, QStringLiteral("No archive is open for reading"));
    discard();
    return true;
}

} // namespace platform::zip
