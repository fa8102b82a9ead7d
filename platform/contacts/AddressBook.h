#pragma once

#include "platform/contacts/ContactRecord.h"
#include "platform/core/QDError.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>

#include <memory>
#include <optional>

class QFileSystemWatcher;
class QTimer;

namespace platform::contacts {

inline const QString AddressBookErrorDomain = QStringLiteral("com.quendel.contacts.addressbook");

// One condition of a search. Text properties compare equal ignoring case; for a multi-value any one entry
// may match (phones also match on their digits alone); BitsSet tests that every bit of the value is set
// in the property (the flags).
struct SearchElement
{
    enum Comparison { EqualCaseInsensitive, BitsSet };
    QString property;
    QVariant value;
    Comparison comparison = EqualCaseInsensitive;
};

// The user's address book: a folder of accounts, each a folder of collections, each a folder holding one
// "<UID>.vcf" file per contact or group. Other programs (command-line contact tools, synchronisers with a
// contact server) read and write the same files; we notice their changes by watching the folders.
//
// Records are values: read one, change the copy, hand it back with setRecord(), then save(). Every
// operation may be called from any thread; the folder watching and its notices live on the thread that
// made the object.
class AddressBook : public QObject
{
    Q_OBJECT
public:
    enum ErrorCode : qint64 {
        FolderError = 4701,  // the root, an account or a collection cannot be made or read
        WriteError = 4702,   // a card could not be written or renamed into place
        RemoveError = 4703,  // a card could not be removed
        NoRecordError = 4704,
    };

    // Setting naming the root folder; absent means defaultRootPath().
    static inline const QString RootFolderKey = QStringLiteral("AddressBookRootFolder");
    static inline const QString DefaultAccountName = QStringLiteral("local");
    static inline const QString DefaultCollectionName = QStringLiteral("default");

    // A "contacts" folder in the data folder.
    static QString defaultRootPath();
    // The process-wide book on the root the settings name, loaded on first use (on the main thread).
    static std::shared_ptr<AddressBook> shared();
    // Replaces the process-wide book (tests; a changed root setting). Null: the next shared() makes a new one.
    static void setShared(std::shared_ptr<AddressBook> book);

    explicit AddressBook(const QString &rootPath, QObject *parent = nullptr);
    ~AddressBook() override;

    QString rootPath() const { return m_root; }
    // Reads every collection; an empty or missing root gets one account with one collection. Files that
    // cannot be read are left where they are, untouched, and listed by damagedFiles().
    bool load(platform::core::QDError *error = nullptr);
    // Starts watching the folders for changes by other programs.
    void startWatching();
    // Reads the folders again now and reports what others changed (the watcher calls it).
    void rescan();

    QStringList accountPaths() const;
    QStringList collectionPaths() const;
    // Where new records go: the first collection of the first account.
    QString defaultCollectionPath() const;
    // Files that are not valid contact cards, with the reason, by path.
    QHash<QString, QString> damagedFiles() const;

    std::optional<ContactRecord> recordForUniqueId(const QString &uid) const;
    // Every person (not group), in a stable order.
    QList<ContactRecord> people() const;
    QList<ContactRecord> groups() const;
    // Records matching every element (an empty list matches every person), in the order of people().
    QList<ContactRecord> search(const QList<SearchElement> &elements) const;
    // People whose name, company or nickname contains the text, ignoring case and surrounding blanks.
    QList<ContactRecord> peopleMatchingName(const QString &text) const;
    // The groups holding the record.
    QList<ContactRecord> parentGroups(const QString &uid) const;
    QString collectionPathForRecord(const QString &uid) const;
    QString accountPathForRecord(const QString &uid) const;

    // Adds or replaces a record (in `collectionPath`, or where it already is, or the default collection).
    void setRecord(const ContactRecord &record, const QString &collectionPath = QString());
    bool removeRecord(const QString &uid);
    bool hasUnsavedChanges() const;
    // Writes every change: each card to a temporary file renamed over its target. Answers false with the
    // first error; the changes that failed stay unsaved.
    bool save(platform::core::QDError *error = nullptr);
    // Drops unsaved changes.
    void revert();

signals:
    // Another program changed cards in the folders; record identifiers.
    void changedExternally(const QStringList &inserted, const QStringList &updated, const QStringList &deleted);
    // save() wrote cards.
    void changedInternally(const QStringList &inserted, const QStringList &updated, const QStringList &deleted);

private:
    struct Entry
    {
        ContactRecord record;
        QString path;
        QByteArray hash; // of the file as last read or written
        qint64 size = -1;
        qint64 mtime = -1;
        // When size and mtime were taken. A file changed again within the file system's timestamp step keeps
        // both, so they prove nothing about a file whose mtime was that close to this moment.
        qint64 checkedAt = -1;

        bool unchangedSince(qint64 fileSize, qint64 fileMtime) const;
    };

    QString fileNameForUid(const QString &uid) const;
    QStringList listCollections() const;
    bool matches(const ContactRecord &record, const SearchElement &element) const;
    QList<ContactRecord> sortedLocked(bool groups) const;
    void scheduleRescan();
    void watchFoldersLocked();

    QString m_root;
    mutable QMutex m_mutex;
    QHash<QString, Entry> m_entries; // by uid
    QHash<QString, Entry> m_pending; // changed, not saved yet
    QSet<QString> m_pendingRemovals;
    QHash<QString, QString> m_damaged;
    QStringList m_collections;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_rescanTimer = nullptr;
};

} // namespace platform::contacts
