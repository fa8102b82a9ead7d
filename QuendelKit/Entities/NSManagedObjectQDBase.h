#pragma once

#include "platform/cloud/Record.h"
#include "platform/cloud/RecordZoneID.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class Person;

// The base of every record that syncs: its identity across devices (`cloudKitID`), its time stamps, the
// archived cloud fields of its last cloud record, the remote-deletion mark, and the in-memory flags that
// tell a contact detail to mirror an edit or a deletion to the linked system contact.
class NSManagedObjectQDBase : public platform::store::ManagedObject
{
public:
    // A context of this name is the destination of a whole-store copy: its records keep every stored value
    // exactly as copied.
    static inline const QString MigrateStoreDestinationContextName = QStringLiteral("MCMigrateStoreDestinationContext");

    static inline const QString CloudKitIDKey = QStringLiteral("cloudKitID");
    static inline const QString CloudKitFieldsKey = QStringLiteral("cloudKitFields");
    static inline const QString CloudKitRemotelyDeletedKey = QStringLiteral("cloudKitRemotelyDeleted");
    static inline const QString CreatedAtKey = QStringLiteral("createdAt");
    static inline const QString ModifiedAtKey = QStringLiteral("modifiedAt");

    NSManagedObjectQDBase();
    ~NSManagedObjectQDBase() override;

    // The entity's name, which is also the record type in the cloud ("Images" for a contact picture).
    QString entityName() const;

    QString cloudKitID() const;
    void setCloudKitID(const QString &cloudKitID);
    QByteArray cloudKitFields() const;
    void setCloudKitFields(const QByteArray &cloudKitFields);
    bool cloudKitRemotelyDeleted() const;
    void setCloudKitRemotelyDeleted(bool deleted);
    QDateTime createdAt() const;
    void setCreatedAt(const QDateTime &createdAt);
    QDateTime modifiedAt() const;
    void setModifiedAt(const QDateTime &modifiedAt);

    // Kept on the object only, never stored.
    bool deleteFromAddressBook() const { return m_deleteFromAddressBook; }
    void setDeleteFromAddressBook(bool value) { m_deleteFromAddressBook = value; }
    bool updateValueInAddressBook() const { return m_updateValueInAddressBook; }
    void setUpdateValueInAddressBook(bool value) { m_updateValueInAddressBook = value; }
    // The query that watches this record's file arrive from the older cloud store's container.
    const std::shared_ptr<QObject> &fileDownloadMonitorQuery() const { return m_fileDownloadMonitorQuery; }
    void setFileDownloadMonitorQuery(std::shared_ptr<QObject> query) { m_fileDownloadMonitorQuery = std::move(query); }

    // The value as one CSV field: quotes doubled, and the whole quoted when it holds a comma, a quote or a
    // line feed.
    static QString escapeString(const QString &value);

    // A new record of this entity in `context` with this record's attributes and none of its relationships;
    // it starts a cloud identity of its own at its first save.
    NSManagedObjectQDBase *makeCloneOfObjectWithContext(platform::store::ManagedObjectContext *context) const;

    // Moves the record to another contact. Records that belong to a contact override it; here it only logs.
    virtual void reassignToPerson(Person *person);

    // Attribute names that never travel through the generic copy into this entity's cloud records: those its
    // cloud-record hooks keep out (NSManagedObjectQDBase+CloudRecord.cpp).
    virtual QStringList removeAttributesFromSyncFields() const;

    // The complete cloud record of this record (no relationship fields), and the filling of this record from
    // a received one (NSManagedObjectQDBase+CloudRecord.cpp).
    platform::cloud::Record ckRecordFromManagedObjectWithRecordZoneID(const platform::cloud::RecordZoneID &zoneID = {});
    void fillManagedObjectWithCKRecord(const platform::cloud::Record &record);

    // ---- Dropbox change list (NSManagedObjectQDBase+Dropbox.cpp) ----
    static inline const QString NewFilesKey = QStringLiteral("NewFilesKey");
    static inline const QString DeletedFilesKey = QStringLiteral("DeletedFilesKey");
    static inline const QString RenamedFilesKey = QStringLiteral("RenamedFilesKey");
    static inline const QString FilesWithErrorKey = QStringLiteral("FilesWithErrorKey");
    static inline const QString OriginalNameKey = QStringLiteral("originalName");
    static inline const QString NewNameKey = QStringLiteral("newName");

    // Lists a file (full path) for upload to the Dropbox folder.
    static void saveNewFileURLPathToDropboxPlist(const QString &path);
    // Records that a local file (full path) was deleted: a file still waiting for upload is only taken off
    // that list, any other is listed for deletion.
    static void saveFileToDeleteInDropboxPlist(const QString &path);
    // Records a rename of a stored file (bare names): a file waiting for upload is listed under its new name,
    // any other gets a rename pair, and a chain of renames keeps one pair.
    static void saveRenamedFileToDropboxPlist(const QString &oldName, const QString &newName);

    // ---- Files in the older shared store's container (NSManagedObjectQDBase+CloudFiles.cpp) ----
    static inline const QString CloudFileDownloadedNotification = QStringLiteral("CloudFileDownloadedNotification");
    static inline const QString CloudFileDownloadUpdateProgressNotification =
        QStringLiteral("CloudFileDownloadUpdateProgressNotification");
    // User-info keys: the record whose file is concerned (an NSManagedObjectQDBase pointer), the error
    // value, the percentage downloaded (double).
    static inline const QString DownloadedFileKey = QStringLiteral("QDDownloadedFileKey");
    static inline const QString FileDownloadErrorKey = QStringLiteral("FileDownloadErrorKey");
    static inline const QString FileDownloadProgressKey = QStringLiteral("FileDownloadProgressKey");
    static inline const QString DownloadFileError = QStringLiteral("QDDownloadFileError");
    static inline const QString DownloadFileMissing = QStringLiteral("QDDownloadFileMissing");

    // Waits for the file at `url` in the container, named `localFilename`, to be there: returns at once and
    // reports through CloudFileDownloadedNotification (a success carries only the record) and progress
    // notices. A file already there is reported at once; a container that cannot be read is an error.
    void downloadFileWithURL(const QUrl &url, const QString &localFilename);
    // An update of a download watch: of this record's current watch it reports progress and, once the file
    // is there, success; of any other it reports the file as missing.
    void liveUpdate(QObject *query);
    // Stops a running watch and removes the file from the container.
    void deleteCloudFileWithURL(const QUrl &url);
    // Stops a running watch; it stays set.
    void stopFileDownloadWatch();

    // Run after a download was merged into the main context, for the records it inserted, updated or marked
    // remotely deleted. Nothing to do here.
    virtual void handleCloudKitInserted() {}
    virtual void handleCloudKitUpdated() {}
    virtual void handleCloudKitDeleted() {}

protected:
    // Gives a new record its identity and stamps the dates; entity classes that override it call it first.
    void willSave() override;

    // Whether the record lives in the destination context of a whole-store copy.
    bool isInMigrateStoreDestinationContext() const;

private:
    bool m_deleteFromAddressBook = false;
    bool m_updateValueInAddressBook = false;
    std::shared_ptr<QObject> m_fileDownloadMonitorQuery;
};
