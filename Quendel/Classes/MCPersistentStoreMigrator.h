#pragma once

#include "platform/core/QDError.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Model.h"
#include "platform/store/StoreCoordinator.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

// Copies every record of one store file into another store file of the same model, record by record, and
// then links the copies as the originals are linked. Both files are opened on coordinators and private-queue
// contexts of the copier's own, so the application's coordinator and main context are never touched.
//
// One caller drives a run from one thread: beginMigration, migrateEntityWithName for every entity, then
// migrateRelationshipWithName for every entity, then endMigration. Every read of a source record runs on the
// source context's queue and every write of a copy on the destination context's queue.
class MCPersistentStoreMigrator
{
public:
    static inline const QString SourceContextName = QStringLiteral("MCMigrateStoreSourceContext");
    static inline const QString DestinationContextName = QStringLiteral("MCMigrateStoreDestinationContext");
    // Records fetched at a time and copies saved at a time by the callers of this system.
    static constexpr unsigned DefaultBatchSize = 500;

    MCPersistentStoreMigrator(std::shared_ptr<const platform::store::ManagedObjectModel> model,
                              const QUrl &sourceStoreURL, const QUrl &destinationStoreURL);
    ~MCPersistentStoreMigrator();
    MCPersistentStoreMigrator(const MCPersistentStoreMigrator &) = delete;
    MCPersistentStoreMigrator &operator=(const MCPersistentStoreMigrator &) = delete;

    const std::shared_ptr<const platform::store::ManagedObjectModel> &managedObjectModel() const { return m_model; }
    void setManagedObjectModel(std::shared_ptr<const platform::store::ManagedObjectModel> model) { m_model = std::move(model); }
    const QUrl &sourceStoreURL() const { return m_sourceURL; }
    const QUrl &destinationStoreURL() const { return m_destinationURL; }
    // The source opens read-only unless told otherwise.
    const platform::store::StoreOptions &sourceStoreOptions() const { return m_sourceOptions; }
    void setSourceStoreOptions(const platform::store::StoreOptions &options) { m_sourceOptions = options; }
    const platform::store::StoreOptions &destinationStoreOptions() const { return m_destinationOptions; }
    void setDestinationStoreOptions(const platform::store::StoreOptions &options) { m_destinationOptions = options; }

    const platform::store::ContextPtr &sourceContext() const { return m_sourceContext; }
    const platform::store::ContextPtr &destinationContext() const { return m_destinationContext; }
    const std::shared_ptr<platform::store::PersistentStore> &sourceStore() const { return m_sourceStore; }
    const std::shared_ptr<platform::store::PersistentStore> &destinationStore() const { return m_destinationStore; }
    // Source record identifier -> identifier of its copy, for every record copied in this run.
    const QHash<platform::store::ManagedObjectID, platform::store::ManagedObjectID> &migratedIDsBySourceID() const
    {
        return m_migratedIDsBySourceID;
    }

    // Opens both stores and their contexts, and gives the destination the source's metadata for the keys it
    // lacks. False (with the error, also logged) when either store cannot be opened: nothing may be copied.
    bool beginMigration(platform::core::QDError *error = nullptr);
    // Copies the entity's records with their attributes. With save on, the copies are saved every batchSize
    // records and once more at the end. False when the fetch or a save failed (the error is filled only by a
    // failed fetch).
    bool migrateEntityWithName(const QString &entityName, unsigned batchSize, bool save,
                               platform::core::QDError *error = nullptr);
    // Links the copies of the entity's records as the originals are linked; run after every entity was copied.
    bool migrateRelationshipWithName(const QString &entityName, unsigned batchSize, bool save,
                                     platform::core::QDError *error = nullptr);
    // Lets go of the stores, the contexts and the maps.
    void endMigration();

private:
    bool setupContexts(platform::core::QDError *error);
    bool save(platform::core::QDError *error);
    bool saveDestinationContext(platform::core::QDError *error);
    // The copy of the record, made when there is none yet; null when the record is gone.
    platform::store::ManagedObject *migrateRootObject(const platform::store::ManagedObjectID &sourceID);
    void stichRelationshipsForSourceObject(const platform::store::ManagedObjectID &sourceID);
    platform::store::ManagedObject *counterpartObjectInMigratedDictionaryForObject(
        const platform::store::ManagedObjectID &sourceID);
    // The shared loop of both passes.
    bool forEachRecord(const QString &entityName, unsigned batchSize, bool save, const char *logFormat,
                       const std::function<void(const platform::store::ManagedObjectID &)> &handle,
                       const std::function<void(const QList<platform::store::ManagedObjectID> &)> &readBatch,
                       platform::core::QDError *error);

    std::shared_ptr<const platform::store::ManagedObjectModel> m_model;
    QUrl m_sourceURL;
    QUrl m_destinationURL;
    platform::store::StoreOptions m_sourceOptions;
    platform::store::StoreOptions m_destinationOptions;
    std::shared_ptr<platform::store::StoreCoordinator> m_sourceCoordinator;
    std::shared_ptr<platform::store::StoreCoordinator> m_destinationCoordinator;
    std::shared_ptr<platform::store::PersistentStore> m_sourceStore;
    std::shared_ptr<platform::store::PersistentStore> m_destinationStore;
    platform::store::ContextPtr m_sourceContext;
    platform::store::ContextPtr m_destinationContext;
    QHash<platform::store::ManagedObjectID, platform::store::ManagedObjectID> m_migratedIDsBySourceID;
    // Copies made since the last save, by their source identifiers, in the order they were made.
    QList<platform::store::ManagedObjectID> m_sourceObjectIDsOfUnsavedCounterparts;
};
