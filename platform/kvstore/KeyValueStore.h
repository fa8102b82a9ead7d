#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <mutex>
#include <optional>

class QFileSystemWatcher;
class QTimer;

namespace platform::kvstore {

// Posted on the default notification centre, object = the store, when values arrive from elsewhere
// (another process or device writing the shared file). Delivered on the thread the store lives on.
inline const QString DidChangeExternallyNotification = QStringLiteral("KeyValueStoreDidChangeExternallyNotification");
// userInfo: the reason (an int, see ChangeReason) and the list of changed keys (QStringList).
// Posted (object: the store) when the file could not be used and was kept aside; the user info holds the
// file's path and the path it was kept as.
inline const QString FileKeptAsideNotification = QStringLiteral("KeyValueStoreFileKeptAsideNotification");
inline const QString FilePathKey = QStringLiteral("KeyValueStoreFilePathKey");
inline const QString KeptAsidePathKey = QStringLiteral("KeyValueStoreKeptAsidePathKey");
inline const QString ChangeReasonKey = QStringLiteral("KeyValueStoreChangeReasonKey");
inline const QString ChangedKeysKey = QStringLiteral("KeyValueStoreChangedKeysKey");

enum ChangeReason : int {
    ServerChange = 0,
    InitialSyncChange = 1,
    QuotaViolationChange = 2,
    AccountChange = 3,
};

// A small typed key-value store shared by the user's computers: one JSON file in a folder that every
// device of the user sees. Values are strings, integers, reals, bools, dates, data, lists and
// dictionaries of those. Every change is written through at once; a write takes a lock file, reads what
// others wrote meanwhile, merges its own changes key by key and replaces the file atomically, so two
// processes writing at the same time never lose each other's keys.
class KeyValueStore : public QObject
{
    Q_OBJECT
public:
    // The folder the default store lives in: $QUENDEL_KVSTORE_FOLDER, else the folder set through
    // setDefaultFolder(), else "QuendelSharedStore" under the user's data home.
    static QString defaultFolder();
    static void setDefaultFolder(const QString &folder);
    static inline const QString FileName = QStringLiteral("KeyValueStore.json");

    // The process-wide store, created on first use in defaultFolder(). Null after setDefaultStore(nullptr).
    static std::shared_ptr<KeyValueStore> defaultStore();
    static void setDefaultStore(std::shared_ptr<KeyValueStore> store);
    // Forgets any store set or made, so the next defaultStore() makes a new one.
    static void resetDefaultStore();

    explicit KeyValueStore(const QString &filePath, QObject *parent = nullptr);
    ~KeyValueStore() override;

    QString filePath() const { return m_filePath; }

    // An "account" is available when the shared folder exists or can be made. Tests may force the answer.
    bool isAccountAvailable() const;
    void setAccountAvailableOverride(std::optional<bool> available);

    // Reads give an invalid QVariant (or the type's zero) for a missing key.
    QVariant object(const QString &key) const;
    bool contains(const QString &key) const;
    QString string(const QString &key) const;
    qint64 longLong(const QString &key) const;
    double doubleValue(const QString &key) const;
    bool boolValue(const QString &key) const;
    QDateTime date(const QString &key) const;
    QByteArray data(const QString &key) const;
    QVariantList array(const QString &key) const;
    QVariantMap dictionary(const QString &key) const;
    QVariantMap dictionaryRepresentation() const;
    QStringList keys() const;

    // An invalid or null QVariant removes the key.
    void setObject(const QString &key, const QVariant &value);
    void setString(const QString &key, const QString &value) { setObject(key, value); }
    void setLongLong(const QString &key, qint64 value) { setObject(key, value); }
    void setDouble(const QString &key, double value) { setObject(key, value); }
    void setBool(const QString &key, bool value) { setObject(key, value); }
    void removeObject(const QString &key);

    // Writes any change still pending (after a failed write) and takes in what others wrote; changes
    // found are announced as a server change. False when the shared file cannot be read or written.
    bool synchronize();

    // Tests and callers that learn of a change out of band: applies `values` (invalid = removed) as if
    // another device had written them, then announces them with the given reason.
    void injectExternalChange(ChangeReason reason, const QVariantMap &values);
    // Announces a change without touching any value (account change, quota violation, initial sync).
    void postExternalChange(ChangeReason reason, const QStringList &changedKeys);

    // The encoding of one value in the file, exposed for tests and tools.
    static QJsonValue encodeValue(const QVariant &value);
    static QVariant decodeValue(const QJsonValue &value);

private:
    enum class ReadResult { Ok, Missing, Damaged, Unreadable };
    ReadResult readFile(QVariantMap *values) const;
    bool writeFile(const QVariantMap &values, QString *reason) const;
    // Lock, read, merge pending, write; returns keys changed by others since our last look.
    bool mergeWithDisk(QStringList *externalKeys);
    void reloadFromDisk();
    void watch();
    void announce(ChangeReason reason, const QStringList &keys);

    QString m_filePath;
    mutable std::mutex m_mutex; // guards the maps below
    std::mutex m_fileMutex;     // one reader or writer of the shared file at a time in this process
    QVariantMap m_values;       // what this process sees
    QVariantMap m_diskSnapshot; // the file as last read or written by us
    QVariantMap m_pending;      // our changes not yet on disk; invalid QVariant = removal
    std::optional<bool> m_accountOverride;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_reloadTimer = nullptr;
};

} // namespace platform::kvstore
