#include "Classes/MCPersistentStoreMigrator.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/Predicate.h"

using platform::core::QDError;
using platform::store::ContextPtr;
using platform::store::ManagedObject;
using platform::store::ManagedObjectContext;
using platform::store::ManagedObjectID;
using platform::store::StoreCoordinator;
using platform::store::StoreType;

namespace {

// The older shared cloud store's own metadata: a copy made while that store is in use must not look like
// one of its stores.
const char *const UbiquityMetadataKeys[] = {
    "com.apple.coredata.ubiquity.baseline.timestamp",
    "com.apple.coredata.ubiquity.token",
    "com.apple.coredata.ubiquity.ubiquitized",
    "PFUbiquitySetupOriginalStoreURLAbsoluteStringKey",
    "PFUbiquitySetupContainerIdentifierKey",
    "PFUbiquitySetupPreviousModelVersionHashKey",
};

constexpr qsizetype InitialCapacity = 500;

QStringList relationshipNames(const platform::store::EntityDescription &entity)
{
    QStringList names;
    for (const auto &relationship : entity.relationships())
        names << relationship.name;
    return names;
}

// The records with these identifiers and every record they relate to, read into the context with one query
// per entity and relationship, so that looking each of them up by its identifier afterwards reads nothing.
void fetchBatchInto(const ContextPtr &context, const platform::store::EntityDescription *entity,
                    const QList<ManagedObjectID> &ids)
{
    if (ids.isEmpty() || !entity)
        return;
    std::vector<platform::store::ObjectRef> refs;
    refs.reserve(size_t(ids.size()));
    for (const ManagedObjectID &id : ids) {
        if (!id.isNull() && !id.isTemporaryID())
            refs.push_back(platform::store::ObjectRef::fromObjectID(id));
    }
    if (refs.empty())
        return;
    platform::store::FetchRequest request(entity->name());
    request.setPredicate(platform::store::Predicate::in(QStringLiteral("self"), refs));
    request.setRelationshipKeyPathsForPrefetching(relationshipNames(*entity));
    // The objects stay registered in the context until its next reset; what cannot be read here is read
    // record by record later, as before.
    context->executeFetchRequest(request, nullptr);
}

} // namespace

MCPersistentStoreMigrator::MCPersistentStoreMigrator(std::shared_ptr<const platform::store::ManagedObjectModel> model,
                                                     const QUrl &sourceStoreURL, const QUrl &destinationStoreURL)
    : m_model(std::move(model)), m_sourceURL(sourceStoreURL), m_destinationURL(destinationStoreURL)
{
    m_sourceOptions.readOnly = true;
}

MCPersistentStoreMigrator::~MCPersistentStoreMigrator()
{
    endMigration();
}

// ---- Opening and closing ----

bool MCPersistentStoreMigrator::setupContexts(QDError *error)
{
    m_destinationCoordinator = std::make_shared<StoreCoordinator>(m_model);
    QDError destinationError;
    m_destinationStore = m_destinationCoordinator->addPersistentStore(
        StoreType::SQLite, m_destinationURL.toLocalFile(), m_destinationOptions, &destinationError);
    if (!m_destinationStore) {
        QDLogError(QStringLiteral("🚨🚨 MCPersistentStoreMigrator:setupContexts - error in adding destination store = "
                                  "%1 🚨🚨")
                       .arg(destinationError.toString()));
        platform::core::setError(error, destinationError);
        return false;
    }
    m_destinationContext = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    m_destinationContext->setPersistentStoreCoordinator(m_destinationCoordinator);
    m_destinationContext->setName(DestinationContextName);

    m_sourceCoordinator = std::make_shared<StoreCoordinator>(m_model);
    QDError sourceError;
    m_sourceStore = m_sourceCoordinator->addPersistentStore(StoreType::SQLite, m_sourceURL.toLocalFile(),
                                                            m_sourceOptions, &sourceError);
    if (!m_sourceStore) {
        QDLogError(QStringLiteral("🚨🚨 MCPersistentStoreMigrator:setupContexts - error in adding source store = %1 🚨🚨")
                       .arg(sourceError.toString()));
        platform::core::setError(error, sourceError);
        return false;
    }
    m_sourceContext = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    m_sourceContext->setPersistentStoreCoordinator(m_sourceCoordinator);
    m_sourceContext->setName(SourceContextName);
    // The application may go on saving while the copy runs: every read of the run sees one moment of the
    // source, or records saved halfway would reach the copy without the records they link to.
    if (!m_sourceCoordinator->beginReadSnapshot(&sourceError)) {
        QDLogError(QStringLiteral("🚨🚨 MCPersistentStoreMigrator:setupContexts - the source cannot be read as one "
                                  "snapshot = %1 🚨🚨")
                       .arg(sourceError.toString()));
        platform::core::setError(error, sourceError);
        return false;
    }

    // The destination keeps its own value for every key it has; the source fills in the others.
    QVariantMap metadata = m_sourceCoordinator->metadataForPersistentStore(m_sourceStore);
    const QVariantMap own = m_destinationCoordinator->metadataForPersistentStore(m_destinationStore);
    for (auto it = own.cbegin(); it != own.cend(); ++it)
        metadata.insert(it.key(), it.value());
    if (iCloudEnabledInApp()) {
        for (const char *key : UbiquityMetadataKeys)
            metadata.remove(QString::fromLatin1(key));
    }
    QDError metadataError;
    if (!m_destinationCoordinator->setMetadata(metadata, m_destinationStore, &metadataError))
        QDLogError(QStringLiteral("🚨🚨 MCPersistentStoreMigrator:setupContexts - the destination's metadata was not "
                                  "written = %1 🚨🚨")
                       .arg(metadataError.toString()));
    return true;
}

bool MCPersistentStoreMigrator::beginMigration(QDError *error)
{
    endMigration();
    if (!setupContexts(error)) {
        endMigration();
        return false;
    }
    m_migratedIDsBySourceID.reserve(InitialCapacity);
    m_sourceObjectIDsOfUnsavedCounterparts.reserve(InitialCapacity);
    return true;
}

void MCPersistentStoreMigrator::endMigration()
{
    if (m_sourceCoordinator)
        m_sourceCoordinator->endReadSnapshot();
    m_sourceStore.reset();
    m_destinationStore.reset();
    if (m_destinationContext)
        m_destinationContext->performAndWait([this] { m_destinationContext->reset(); });
    if (m_sourceContext)
        m_sourceContext->performAndWait([this] { m_sourceContext->reset(); });
    m_destinationContext.reset();
    m_sourceContext.reset();
    m_destinationCoordinator.reset();
    m_sourceCoordinator.reset();
    m_migratedIDsBySourceID.clear();
    m_sourceObjectIDsOfUnsavedCounterparts.clear();
}

// ---- Saving ----

bool MCPersistentStoreMigrator::saveDestinationContext(QDError *error)
{
    // The copies made since the last save; the save gives them the permanent identifiers that find them
    // again once the contexts were reset.
    QList<ManagedObject *> copies;
    copies.reserve(m_sourceObjectIDsOfUnsavedCounterparts.size());
    for (const ManagedObjectID &sourceID : std::as_const(m_sourceObjectIDsOfUnsavedCounterparts))
        copies.append(m_destinationContext->objectRegisteredForID(m_migratedIDsBySourceID.value(sourceID)));
    bool ok = true;
    if (m_destinationContext->hasChanges()) {
        QDError saveError;
        ok = m_destinationContext->save(&saveError);
        if (!ok) {
            QDLogError(QStringLiteral("🚨🚨 MCPersistentStoreMigration: error in saving destinationContext = %1 🚨🚨")
                           .arg(saveError.toString()));
            platform::core::setError(error, saveError);
        }
    }
    if (ok) {
        for (qsizetype i = 0; i < copies.size(); ++i) {
            if (copies[i] && !copies[i]->objectID().isTemporaryID())
                m_migratedIDsBySourceID.insert(m_sourceObjectIDsOfUnsavedCounterparts[i], copies[i]->objectID());
        }
    }
    m_sourceObjectIDsOfUnsavedCounterparts.clear();
    m_sourceObjectIDsOfUnsavedCounterparts.reserve(InitialCapacity);
    return ok;
}

bool MCPersistentStoreMigrator::save(QDError *error)
{
    bool ok = false;
    m_destinationContext->performAndWait([&] {
        ok = saveDestinationContext(error);
        m_destinationContext->reset();
    });
    m_sourceContext->performAndWait([&] { m_sourceContext->reset(); });
    return ok;
}

// ---- The two passes ----

bool MCPersistentStoreMigrator::forEachRecord(const QString &entityName, unsigned batchSize, bool save,
                                              const char *logFormat,
                                              const std::function<void(const ManagedObjectID &)> &handle,
                                              const std::function<void(const QList<ManagedObjectID> &)> &readBatch,
                                              QDError *error)
{
    if (!m_sourceContext || !m_destinationContext)
        return platform::core::setError(
            error, QDError::withDescription(platform::store::StoreErrorDomain, platform::store::StoreErrorNoStore,
                                            QStringLiteral("The copy has not begun")));
    // Identifiers only: each record is read again by its identifier when its turn comes, so a batch's
    // records are let go of with the reset that follows its save.
    QList<ManagedObjectID> ids;
    bool result = true;
    m_sourceContext->performAndWait([&] {
        platform::store::FetchRequest request(entityName);
        request.setFetchBatchSize(int(batchSize));
        QDError fetchError;
        ids = m_sourceContext->executeFetchRequestForIDs(request, &fetchError);
        if (!fetchError.isNull()) {
            platform::core::setError(error, fetchError);
            result = false;
        }
        QDLogInfo(QString::fromLatin1(logFormat).arg(entityName).arg(ids.size()));
    });
    // Saves (and the resets with them) fall between batches, so a batch read ahead stays in the contexts
    // while its records are handled.
    const qsizetype batch = batchSize != 0 ? qsizetype(batchSize) : ids.size();
    for (qsizetype i = 1; result && i <= ids.size(); ++i) {
        if (readBatch && (i - 1) % batch == 0)
            readBatch(ids.mid(i - 1, batch));
        handle(ids[i - 1]);
        if (batchSize != 0 && save && i % qsizetype(batchSize) == 0 && !this->save(nullptr))
            result = false;
    }
    if (save && result)
        result = this->save(nullptr);
    return result;
}

bool MCPersistentStoreMigrator::migrateEntityWithName(const QString &entityName, unsigned batchSize, bool save,
                                                      QDError *error)
{
    const bool result = forEachRecord(
        entityName, batchSize, save, "MCPersistentStoreMigration: migrateEntityWithName = %1, count = %2",
        [this](const ManagedObjectID &id) { migrateRootObject(id); },
        [this, &entityName](const QList<ManagedObjectID> &ids) {
            m_sourceContext->performAndWait([&] { fetchBatchInto(m_sourceContext, m_model->entity(entityName), ids); });
        },
        error);
    QDLogInfo(QStringLiteral("MCPersistentStoreMigration: migrateEntityWithName finished - migratedIDsBySourceID count "
                             "= %1")
                  .arg(m_migratedIDsBySourceID.size()));
    return result;
}

bool MCPersistentStoreMigrator::migrateRelationshipWithName(const QString &entityName, unsigned batchSize, bool save,
                                                            QDError *error)
{
    return forEachRecord(
        entityName, batchSize, save, "migrateRelationshipWithName: entity = %1, count = %2",
        [this](const ManagedObjectID &id) { stichRelationshipsForSourceObject(id); },
        [this, &entityName](const QList<ManagedObjectID> &ids) {
            m_sourceContext->performAndWait([&] { fetchBatchInto(m_sourceContext, m_model->entity(entityName), ids); });
            // The copies are linked with what they already hold; read them and their relations the same way.
            QList<ManagedObjectID> copies;
            copies.reserve(ids.size());
            for (const ManagedObjectID &id : ids) {
                const auto mapped = m_migratedIDsBySourceID.constFind(id);
                if (mapped != m_migratedIDsBySourceID.cend() && !mapped->isTemporaryID())
                    copies.append(*mapped);
            }
            m_destinationContext->performAndWait([&] { fetchBatchInto(m_destinationContext, m_model->entity(entityName), copies); });
        },
        error);
}

// ---- One record ----

ManagedObject *MCPersistentStoreMigrator::migrateRootObject(const ManagedObjectID &sourceID)
{
    if (sourceID.isNull())
        return nullptr;
    QString entityName;
    QList<std::pair<QString, QVariant>> values;
    bool found = false;
    m_sourceContext->performAndWait([&] {
        QDError lookupError;
        ManagedObject *record = m_sourceContext->existingObjectWithID(sourceID, &lookupError);
        if (!record) {
            QDLogError(QStringLiteral("🚨🚨 MCPersistentStoreMigration - root object doesn't exist with error = %1 🚨🚨")
                           .arg(lookupError.toString()));
            return;
        }
        found = true;
        if (m_migratedIDsBySourceID.contains(sourceID))
            return;
        entityName = record->entity()->name();
        for (const auto &attribute : record->entity()->attributes()) {
            QVariant value = record->primitiveValue(attribute.name);
            if (value.isValid())
                values.append({attribute.name, std::move(value)});
        }
    });
    if (!found)
        return nullptr;
    ManagedObject *copy = nullptr;
    const auto mapped = m_migratedIDsBySourceID.constFind(sourceID);
    if (mapped != m_migratedIDsBySourceID.cend()) {
        // Copied already (a record is never copied twice).
        const ManagedObjectID copyID = *mapped;
        m_destinationContext->performAndWait([&] { copy = m_destinationContext->objectWithID(copyID); });
        return copy;
    }
    m_destinationContext->performAndWait([&] {
        copy = m_destinationContext->insertNewObject(entityName);
        if (!copy)
            return;
        for (const auto &[name, value] : std::as_const(values))
            copy->setPrimitiveValue(name, value);
    });
    if (!copy)
        return nullptr;
    m_migratedIDsBySourceID.insert(sourceID, copy->objectID());
    m_sourceObjectIDsOfUnsavedCounterparts.append(sourceID);
    return copy;
}

ManagedObject *MCPersistentStoreMigrator::counterpartObjectInMigratedDictionaryForObject(const ManagedObjectID &sourceID)
{
    const auto mapped = m_migratedIDsBySourceID.constFind(sourceID);
    if (mapped == m_migratedIDsBySourceID.cend())
        return nullptr;
    const ManagedObjectID copyID = *mapped;
    ManagedObject *copy = nullptr;
    m_destinationContext->performAndWait([&] { copy = m_destinationContext->objectWithID(copyID); });
    return copy;
}

void MCPersistentStoreMigrator::stichRelationshipsForSourceObject(const ManagedObjectID &sourceID)
{
    ManagedObject *copy = counterpartObjectInMigratedDictionaryForObject(sourceID);
    if (!copy)
        return;
    struct Link
    {
        QString name;
        bool toMany = false;
        QList<ManagedObjectID> related;
    };
    QList<Link> links;
    m_sourceContext->performAndWait([&] {
        ManagedObject *record = m_sourceContext->existingObjectWithID(sourceID);
        if (!record)
            return;
        for (const auto &relationship : record->entity()->relationships())
            links.append({relationship.name, relationship.toMany, record->objectIDsForRelationship(relationship.name)});
    });
    // The copies of the related records; those without a copy are left out.
    QList<ManagedObjectID> copyIDs;
    for (Link &link : links) {
        copyIDs.clear();
        for (const ManagedObjectID &related : std::as_const(link.related)) {
            const auto mapped = m_migratedIDsBySourceID.constFind(related);
            if (mapped != m_migratedIDsBySourceID.cend())
                copyIDs.append(*mapped);
        }
        link.related = copyIDs;
    }
    m_destinationContext->performAndWait([&] {
        for (const Link &link : std::as_const(links)) {
            ManagedObject::ObjectList targets;
            for (const ManagedObjectID &id : link.related) {
                if (ManagedObject *target = m_destinationContext->objectWithID(id))
                    targets.append(target);
            }
            // Through the tracked setter, so the store keeps each inverse in step.
            if (link.toMany)
                copy->setValue(link.name, QVariant::fromValue(targets));
            else
                copy->setValue(link.name, QVariant::fromValue(targets.value(0)));
        }
    });
}
