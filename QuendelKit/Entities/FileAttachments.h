#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/cloud/RecordID.h"
#include "platform/core/QDError.h"
#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

class Log;
class Person;
class PersonImage;
class ToDo;

// A file attached to a contact, a log entry or a to-do.
class FileAttachments : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("FileAttachments");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // ---- Files (FileAttachments+Files.cpp) ----

    enum ErrorCode : qint64 { NamesTakenError = 1000, SaveError = 1001, RenameError = 1002, UnsafeNameError = 1003 };

    // Whether a name that came from outside (a dropped file, a record, a rename) is one plain path component:
    // not empty, no "/" or "\", not "." or "..", no NUL.
    static bool isSafeFileName(const QString &name);
    // "<name>-<UUID>.<ext>", or "<name>-<UUID>" for a name without extension; a new UUID every time.
    QString setupUniqueFilenameWithName(const QString &displayName) const;
    // Where the file is: the older shared store's folder while that store is in use, else the local folder.
    // Empty without a (safe) file name.
    QUrl fullFileURL() const;
    // The name shown to the user: the display name, else the stored name.
    QString fileCheckName() const;

    // A new unsaved record for `displayName` with its unique stored name, contact and date.
    static FileAttachments *setupFileAttachmentObjectWithName(const QString &displayName, Person *person,
                                                              platform::store::ManagedObjectContext *context);
    // Attaches one file under its own name (copied, never moved) and saves.
    static bool createFileAttachmentWithURL(const QUrl &source, Person *person,
                                            platform::store::ManagedObjectContext *context,
                                            platform::core::QDError *error);
    static bool createFileAttachmentWithURL(const QUrl &source, const QUrl &destination, Person *person,
                                            platform::store::ManagedObjectContext *context,
                                            platform::core::QDError *error);
    // Attaches several files and saves once. With `copy` every entry is a path whose file is copied (through
    // a private staging folder, never the data folder itself); without it every entry is a file already in
    // the attachments folder under its own name, which takes the record's stored name. All or nothing: when
    // one file fails or the save fails, no record of the batch stays in the context and no file in the folder.
    static bool createFileAttachmentWithArray(const QStringList &paths, Person *person,
                                              platform::store::ManagedObjectContext *context, bool copy,
                                              platform::core::QDError *error);
    // Attaches several files by moving them, each dated `timestamp` when one is given.
    static bool createFileAttachmentWithFilesArray(const QStringList &paths, Person *person,
                                                   platform::store::ManagedObjectContext *context, bool copy,
                                                   const QDateTime &timestamp, platform::core::QDError *error);
    // A link instead of a file, saved.
    static bool createFileAttachmentWithExternalFileURL(const QUrl &link, const QString &displayName, Person *person,
                                                        platform::store::ManagedObjectContext *context,
                                                        platform::core::QDError *error);

    // Renames to `newName` (without extension; the current one is kept) under a new unique stored name.
    bool renameFileToNewName(const QString &newName, platform::core::QDError *error);
    // Moves the attachment to `person` and saves; a failed save is only logged.
    void reassignToPerson(Person *person) override;
    // After the first save of a new record: lists its file for the Dropbox sync, or moves it into the older
    // shared store's folder while that store is in use.
    void saveNewFileToPlist();
    // A copy of the file under its display name in the caches folder (the target also when the copy failed).
    QUrl copyFileToTempFolderWithRealName() const;
    // Whether a file shows its thumbnail (pdf, png, jpg, txt, rtf, any letter case).
    static bool showFileThumbnailForFileURL(const QUrl &url);
    // The preview of a stored file: its URL (read on the record's queue) and the name shown to the user.
    QUrl previewItemURL() const;
    QString previewItemTitle() const { return fileCheckName(); }
    // The picture that stands for the attachment: the file's own picture, at most 1024 by 1024, for the kinds
    // that show a thumbnail and can be read as a picture; else the icon theme's icon of the file's type (or of
    // a mail or web link) at 64 by 64. Needs a GUI application for the icons; null without one.
    QImage filePreviewImage() const;

    // Waits for the file to arrive in the older shared store's container.
    void downloadFileFromCloud();
    // The container is a folder the file-sync tool keeps whole on every machine: there is no local copy to
    // give back, so this answers false.
    bool evictFileFromCloud();

    // "1022 bytes", "1.0 KB", "1.0 MB", "1.0 GB".
    static QString stringFromFileSize(quint64 bytes);
    // Every stored name; empty when there is none. Runs on the context's queue while the caller waits.
    static QStringList loadAllFileNamesWithContext(platform::store::ManagedObjectContext *context);
    // The cloud records whose files are missing here: attachments first, then contact pictures.
    static QList<platform::cloud::RecordID>
    fileAttachmentsToDownloadForCloudKitWithContext(platform::store::ManagedObjectContext *context,
                                                    const platform::cloud::RecordZoneID &zoneID);

    // Texts for a system search index (none is fed at present).
    bool entityShouldSupportSpotlightIndex() const { return true; }
    QString referenceURLString() const;
    QString titleForIndex() const;
    QString contentDescriptionForIndex() const;
    QByteArray thumbnailDataForIndex() const { return QByteArray(); }

    QString fileName() const;
    void setFileName(const QString &value);
    QString fileRenamedName() const;
    // Also keeps the normalised name for searching.
    void setFileRenamedName(const QString &value);
    QString fileNameNormalized() const;
    void setFileNameNormalized(const QString &value);
    QString fileExtension() const;
    void setFileExtension(const QString &value);
    QString fileExternalURL() const;
    void setFileExternalURL(const QString &value);
    QString fileNote() const;
    void setFileNote(const QString &value);
    QString folderName() const;
    void setFolderName(const QString &value);
    qint64 fileSize() const;
    void setFileSize(qint64 value);
    qint64 fileStatus() const;
    void setFileStatus(qint64 value);
    qint64 fileType() const;
    void setFileType(qint64 value);
    QVariant fileProperties() const;
    void setFileProperties(const QVariant &value);
    QVariant fileThumbnailData() const;
    void setFileThumbnailData(const QVariant &value);

    Person *person() const;
    void setPerson(Person *object);
    Log *log() const;
    void setLog(Log *object);
    ToDo *todo() const;
    void setTodo(ToDo *object);
    QList<PersonImage *> personimages() const;
    void setPersonimages(const QList<PersonImage *> &objects);
    void addPersonimagesObject(PersonImage *object);
    void removePersonimagesObject(PersonImage *object);

protected:
    // The file goes once the deletion is saved to the store.
    void prepareForDeletion() override;
};
