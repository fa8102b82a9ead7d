#pragma once

#include "platform/core/QDError.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct zip;

namespace platform::zip {

class MemberCompressor;

inline const QString ZipErrorDomain = QStringLiteral("QuendelZipErrorDomain");
enum ZipErrorCode : qint64 {
    ZipErrorOpen = 1,          // the file cannot be opened or created, or is not a zip archive
    ZipErrorAdd = 2,           // a member cannot be added (its file is missing or unreadable)
    ZipErrorWrite = 3,         // the archive cannot be written when it is closed
    ZipErrorWrongPassword = 4, // an encrypted member and no password, or the wrong one
    ZipErrorUnsafeName = 5,    // a member whose name would leave the folder it is unpacked into
    ZipErrorExtract = 6,       // a member cannot be read (damaged) or written out
    ZipErrorState = 7,         // no archive is open for this operation
};

// One member as the archive lists it.
struct ZipEntry
{
    QString name;
    qint64 size = 0;
    qint64 compressedSize = 0;
    bool encrypted = false;
    bool deflated = false;
    bool isFolder = false;
    QDateTime modified; // local time, to the two seconds a zip keeps
};

// Writes and reads zip archives that every common zip tool opens: members deflated at the default level,
// names in UTF-8, each member's time taken from its file's modification time, and, with a password, every
// member encrypted with the traditional PKWARE scheme. One archive at a time, written or read.
//
// Members are compressed on several threads while the archive is written (bounded in memory), so writing
// many attachments is not held to one core; the archive is the same as one compressed member by member.
//
// A written archive appears under its name only when CloseZipFile2 has written it whole (it is made beside it
// under a temporary name first), so a reader never finds half an archive.
class ZipArchive
{
public:
    ZipArchive();
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // ---- Writing ----
    // Starts a new archive at path (an existing file there is replaced when the archive is closed).
    bool CreateZipFile2(const QString &path);
    bool CreateZipFile2(const QString &path, const QString &password);
    // Adds the file as member newname (forward slashes for folders). The file is read when the archive is
    // closed, so it must stay in place until then. False when the file cannot be read or the name is unsafe.
    bool addFileToZip(const QString &file, const QString &newname);
    // Compresses and writes every member; false (and no archive at the path) when anything fails.
    bool CloseZipFile2();
    // Abandons the archive being written: nothing is written, an earlier file at the path stays.
    void discardZipFile() { discard(); }
    // Called while CloseZipFile2 writes, with the fraction done (0 to 1).
    void setWriteProgressHandler(std::function<void(double)> handler) { m_progress = std::move(handler); }

    // ---- Reading ----
    bool UnzipOpenFile(const QString &path);
    bool UnzipOpenFile(const QString &path, const QString &password);
    // Unpacks every member into folder (made when missing), keeping the members' folders and times. Refuses
    // the whole archive, before writing anything, when a member's name would lead out of the folder. Without
    // overwrite an existing file is kept. False on the first member that cannot be unpacked.
    bool UnzipFileTo(const QString &folder, bool overwrite);
    bool UnzipCloseFile();
    // Any member is encrypted.
    bool UnzipIsEncrypted() const;
    // The members in the order the archive holds them.
    QList<ZipEntry> UnzipEntries() const;

    // Why the last operation failed.
    const platform::core::QDError &lastError() const { return m_error; }

    // A member name that stays inside the folder it is unpacked into: relative, without "." or ".." parts,
    // backslashes or control characters.
    static bool isSafeMemberName(const QString &name);

private:
    bool fail(qint64 code, const QString &description, const QString &path = QString());
    bool openForWriting(const QString &path, const QString &password);
    bool openForReading(const QString &path, const QString &password);
    void discard();

    ::zip *m_archive = nullptr;
    std::shared_ptr<MemberCompressor> m_compressor;
    bool m_writing = false;
    QString m_path;
    QByteArray m_password;
    bool m_hasPassword = false;
    std::function<void(double)> m_progress;
    platform::core::QDError m_error;
};

} // namespace platform::zip
