#pragma once

#include "platform/core/QDError.h"
#include "platform/store/ManagedObjectID.h"
#include "platform/store/Model.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <memory>
#include <mutex>

namespace platform::store {

class SqliteStore;

// Error codes of the store layer, domain StoreErrorDomain.
inline const QString StoreErrorDomain = QStringLiteral("QuendelStoreErrorDomain");
enum StoreErrorCode : qint64 {
    StoreErrorObjectNotFound = 133000,     // no record for an identifier
    StoreErrorValidation = 1550,           // a value or relationship breaks the model (deny rule, required value)
    StoreErrorDeleteDeny = 1600,           // a deleted object still has objects on a deny relationship
    StoreErrorMergeConflict = 133020,      // the record changed in the store since it was read (Error policy)
    StoreErrorNoStore = 134060,            // no store attached, or no coordinator/parent
    StoreErrorReadOnly = 134050,           // a save or batch request on a read-only store
    StoreErrorOpen = 134080,               // the file cannot be opened, is damaged or fails its check
    StoreErrorIncompatibleVersion = 134100, // the file is of a newer or another model
    StoreErrorMigration = 134110,          // adding the model's new tables or columns failed
    StoreErrorSql = 134030,                // SQLite reported an error while reading or writing
    StoreErrorFile = 134020,               // a file operation on the store's files failed
};

enum class StoreType { SQLite, InMemory };

struct StoreOptions
{
    bool readOnly = false;
    // Add the model's new entities, attributes and relationships to an older file (one transaction).
    bool migrateAutomatically = true;
    int busyTimeoutMs = 10000;
    // PRAGMA quick_check when opening; its failure makes the open fail.
    bool checkOnOpen = true;
    // False for a scratch file that is thrown away after use: its writes are not synced to the disk.
    bool durable = true;
};

// One store added to a coordinator: a SQLite file (WAL mode) or an in-memory database.
class PersistentStore
{
public:
    StoreType type() const { return m_type; }
    // The file path (for an in-memory store the path it was added with, which names nothing on disk).
    const QString &path() const { return m_path; }
    QUrl URL() const { return QUrl::fromLocalFile(m_path); }
    // The store UUID kept in the file's metadata; part of every permanent identifier's URI.
    const QString &identifier() const { return m_identifier; }
    bool isReadOnly() const { return m_readOnly; }
    StoreOptions options() const { return m_options; }

private:
    friend class StoreCoordinator;
    StoreType m_type = StoreType::SQLite;
    QString m_path;
    QString m_identifier;
    bool m_readOnly = false;
    StoreOptions m_options;
};

// Keys the store itself keeps in every store's metadata dictionary.
inline const QString StoreUUIDKey = QStringLiteral("QuendelStoreUUID");
inline const QString StoreModelNameKey = QStringLiteral("QuendelStoreModelName");
inline const QString StoreModelVersionKey = QStringLiteral("QuendelStoreModelVersion");
inline const QString StoreTypeKey = QStringLiteral("QuendelStoreType");

// Owns the SQLite connections of its store (one for writing, one for reading, so reads on one queue go on
// while another queue saves) and serialises every use of each, so contexts on any queue can share it. Holds at
// most one store at a time (adding a second fails): the app has one store per coordinator. Removing, destroying
// or replacing the store is for a time when no context is working on it.
class StoreCoordinator
{
public:
    explicit StoreCoordinator(std::shared_ptr<const ManagedObjectModel> model);
    ~StoreCoordinator();
    StoreCoordinator(const StoreCoordinator &) = delete;
    StoreCoordinator &operator=(const StoreCoordinator &) = delete;

    const std::shared_ptr<const ManagedObjectModel> &managedObjectModel() const { return m_model; }
    QString name() const;
    void setName(const QString &name);

    // Opens (creating when missing) the store, migrates it additively when allowed and checks it. A SQLite
    // store runs in WAL mode with synchronous=NORMAL and a busy timeout. Null on failure, with the error.
    std::shared_ptr<PersistentStore> addPersistentStore(StoreType type, const QString &path,
                                                        const StoreOptions &options = {},
                                                        platform::core::QDError *error = nullptr);
    bool removePersistentStore(const std::shared_ptr<PersistentStore> &store, platform::core::QDError *error = nullptr);
    QList<std::shared_ptr<PersistentStore>> persistentStores() const;
    std::shared_ptr<PersistentStore> persistentStoreForURL(const QUrl &url) const;

    // The store's metadata dictionary (including the keys above). setMetadata replaces the free keys and
    // writes them at once, in their own transaction; the store's own keys cannot be changed.
    QVariantMap metadataForPersistentStore(const std::shared_ptr<PersistentStore> &store) const;
    bool setMetadata(const QVariantMap &metadata, const std::shared_ptr<PersistentStore> &store,
                     platform::core::QDError *error = nullptr);

    // Reads a store file's metadata without adding it (read-only). Empty with an error when the file is
    // missing or is not a store.
    static QVariantMap metadataForPersistentStoreOfType(StoreType type, const QString &path,
                                                        platform::core::QDError *error = nullptr);
    // Writes metadata into a store file that no coordinator holds.
    static bool setMetadataForPersistentStoreOfType(const QVariantMap &metadata, StoreType type,
                                                    const QString &path, platform::core::QDError *error = nullptr);

    // Removes the store file and its "-wal" and "-shm" companions (the store must not be added anywhere).
    // A missing file is not an error.
    bool destroyPersistentStore(const QString &path, StoreType type = StoreType::SQLite,
                                platform::core::QDError *error = nullptr);
    // Makes the file at destinationPath a copy of the store at sourcePath through SQLite's backup API, so a
    // store whose changes still sit in its write-ahead log is copied whole. When the destination is the
    // coordinator's own store, it is replaced in place and stays added.
    bool replacePersistentStore(const QString &destinationPath, const QString &sourcePath,
                                platform::core::QDError *error = nullptr);
    // Copies this coordinator's store to a new file (backup API) without changing the store.
    bool copyPersistentStore(const QString &destinationPath, platform::core::QDError *error = nullptr);
    // Moves everything from the write-ahead log into the main file (PRAGMA wal_checkpoint(TRUNCATE)).
    bool checkpoint(platform::core::QDError *error = nullptr);
    // From here until endReadSnapshot every fetch through this coordinator sees the store as it is now, while
    // other coordinators on the same file go on saving: a copy made meanwhile is of one moment.
    bool beginReadSnapshot(platform::core::QDError *error = nullptr);
    void endReadSnapshot();

    // The permanent identifier a URI names, when it belongs to this coordinator's store and model; null
    // otherwise. Does not check that the record exists.
    ManagedObjectID managedObjectIDForURIRepresentation(const QUrl &uri) const;

    // The store's engine; for the contexts of this layer.
    SqliteStore *sqliteStore() const { return m_store.get(); }

private:
    friend class ContextEngine;
    std::shared_ptr<const ManagedObjectModel> m_model;
    mutable std::mutex m_mutex;
    QString m_name;
    std::shared_ptr<PersistentStore> m_persistentStore;
    std::unique_ptr<SqliteStore> m_store;
};

// The platform's names for the same thing.
using PersistentStoreCoordinator = StoreCoordinator;

} // namespace platform::store
