#include "QuendelKit/CloudRecord/NSManagedObjectQDBase+CloudRecord.h"

#include "QuendelKit/CloudRecord/CloudRecordValues.h"
#include "QuendelKit/CloudRecord/ManagedObjectCloudKit.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/store/ManagedObjectContext.h"

#include <QHash>
#include <QReadWriteLock>

#include <mutex>

using platform::cloud::FieldValue;
using platform::cloud::Record;
using platform::cloud::RecordID;
using platform::cloud::RecordZoneID;
using platform::cloud::Reference;
using platform::store::AttributeDescription;
using platform::store::EntityDescription;

// The kit's own entity hooks (CloudRecordEntityHooks.cpp).
QHash<QString, CloudRecordHooks> builtInCloudRecordHooks();

namespace {

struct HookTable
{
    QReadWriteLock lock;
    QHash<QString, std::shared_ptr<const CloudRecordHooks>> hooks;
};

HookTable &hookTable()
{
    static HookTable table;
    static std::once_flag once;
    std::call_once(once, [] {
        const QHash<QString, CloudRecordHooks> builtIn = builtInCloudRecordHooks();
        for (auto it = builtIn.cbegin(); it != builtIn.cend(); ++it)
            table.hooks.insert(it.key(), std::make_shared<const CloudRecordHooks>(it.value()));
    });
    return table;
}

void onObjectQueue(const platform::store::ManagedObject *object, const std::function<void()> &work)
{
    if (platform::store::ManagedObjectContext *context = object->managedObjectContext())
        context->performAndWait(work);
    else
        work();
}

} // namespace

void NSManagedObjectQDBaseCloudRecord::setHooksForEntity(const QString &entityName, CloudRecordHooks hooks)
{
    HookTable &table = hookTable();
    QWriteLocker locker(&table.lock);
    table.hooks.insert(entityName, std::make_shared<const CloudRecordHooks>(std::move(hooks)));
}

std::shared_ptr<const CloudRecordHooks> NSManagedObjectQDBaseCloudRecord::hooksForEntity(const QString &entityName)
{
    HookTable &table = hookTable();
    QReadLocker locker(&table.lock);
    return table.hooks.value(entityName);
}

QStringList NSManagedObjectQDBase::removeAttributesFromSyncFields() const
{
    const std::shared_ptr<const CloudRecordHooks> hooks =
        NSManagedObjectQDBaseCloudRecord::hooksForEntity(entityName());
    return hooks ? hooks->removeAttributesFromSyncFields : QStringList();
}

Record NSManagedObjectQDBase::ckRecordFromManagedObjectWithRecordZoneID(const RecordZoneID &zoneID)
{
    return NSManagedObjectQDBaseCloudRecord::ckRecordFromManagedObjectWithRecordZoneID(this, zoneID);
}

void NSManagedObjectQDBase::fillManagedObjectWithCKRecord(const Record &record)
{
    NSManagedObjectQDBaseCloudRecord::fillManagedObjectWithCKRecord(this, record);
}

QStringList NSManagedObjectQDBaseCloudRecord::removeAttributesFromSyncFields(const NSManagedObjectQDBase *object)
{
    return object ? object->removeAttributesFromSyncFields() : QStringList();
}

bool NSManagedObjectQDBaseCloudRecord::implementsExtendedRecord(const NSManagedObjectQDBase *object)
{
    const std::shared_ptr<const CloudRecordHooks> hooks = object ? hooksForEntity(object->entityName()) : nullptr;
    return hooks && hooks->extendedCKRecordFromManagedObjectWithRecord;
}

bool NSManagedObjectQDBaseCloudRecord::implementsExtendedManagedObject(const NSManagedObjectQDBase *object)
{
    const std::shared_ptr<const CloudRecordHooks> hooks = object ? hooksForEntity(object->entityName()) : nullptr;
    return hooks && hooks->extendedManagedObjectWithCKRecord;
}

void NSManagedObjectQDBaseCloudRecord::extendedCKRecordFromManagedObjectWithRecord(
    NSManagedObjectQDBase *object, Record &record, const CloudRecordHooks::ChangedKeys &changedKeys)
{
    if (!implementsExtendedRecord(object))
        return;
    const std::shared_ptr<const CloudRecordHooks> hooks = hooksForEntity(object->entityName());
    onObjectQueue(object, [&] { hooks->extendedCKRecordFromManagedObjectWithRecord(*object, record, changedKeys); });
}

void NSManagedObjectQDBaseCloudRecord::extendedManagedObjectWithCKRecord(NSManagedObjectQDBase *object,
                                                                         const Record &record)
{
    if (!implementsExtendedManagedObject(object))
        return;
    const std::shared_ptr<const CloudRecordHooks> hooks = hooksForEntity(object->entityName());
    onObjectQueue(object, [&] { hooks->extendedManagedObjectWithCKRecord(*object, record); });
}

Record NSManagedObjectQDBaseCloudRecord::ckRecordFromManagedObjectWithRecordZoneID(NSManagedObjectQDBase *object,
                                                                                   const RecordZoneID &zoneID)
{
    if (!object || !object->entity())
        return Record();
    Record record;
    onObjectQueue(object, [&] {
        const EntityDescription &entity = *object->entity();
        record = Record(entity.name(), RecordID(object->cloudKitID(), zoneID));
        const QStringList removed = removeAttributesFromSyncFields(object);
        for (const AttributeDescription &attribute : entity.attributes()) {
            if (ManagedObjectCloudKit::isNeverAField(attribute) || removed.contains(attribute.name))
                continue;
            const std::optional<FieldValue> value = cloud_record_values::fieldValueOfAttribute(*object, attribute);
            if (!value) {
                QDLogDebug(
                    QStringLiteral("ckRecordFromManagedObjectWithRecordZoneID: %1.%2 holds no value a record can carry")
                        .arg(entity.name(), attribute.name));
                continue;
            }
            // An empty value writes no field.
            if (!value->isNull())
                record.setValue(attribute.name, *value);
        }
    });
    if (record.isNull()) {
        QDLogError(QStringLiteral("ckRecordFromManagedObjectWithRecordZoneID: %1 has no cloudKitID")
                       .arg(object->entityName()));
        return Record();
    }
    extendedCKRecordFromManagedObjectWithRecord(object, record, std::nullopt);
    return record;
}

void NSManagedObjectQDBaseCloudRecord::fillManagedObjectWithCKRecord(NSManagedObjectQDBase *object,
                                                                     const Record &record)
{
    if (!object || !object->entity() || record.isNull())
        return;
    onObjectQueue(object, [&] {
        const EntityDescription &entity = *object->entity();
        if (object->cloudKitID() != record.recordID().recordName())
            object->setCloudKitID(record.recordID().recordName());
        const std::shared_ptr<const CloudRecordHooks> hooks = hooksForEntity(entity.name());
        // The entity's kept-out attributes come only through its own reader, in their own form: a field of
        // that name holds an archive or a compressed picture, never the attribute's value itself.
        const QStringList removed = removeAttributesFromSyncFields(object);
        QList<QPair<QString, QVariant>> throughEntitySetters;
        for (const QString &key : record.allKeys()) {
            const AttributeDescription *attribute = entity.attribute(key);
            // Fields that are not attributes (relationships, the entity's own fields, a newer device's extras)
            // are not for the generic copy; neither are the device's own identity fields.
            if (!attribute || ManagedObjectCloudKit::isNeverAField(*attribute) || removed.contains(key))
                continue;
            const std::optional<QVariant> value =
                cloud_record_values::attributeValueOfField(record.value(key), *attribute);
            if (!value) {
                QDLogWarn(
                    QStringLiteral("fillManagedObjectWithCKRecord: field %1 of %2 does not fit the attribute; ignored")
                        .arg(key, record.recordID().recordName()));
                continue;
            }
            object->setValue(key, *value);
            throughEntitySetters.append({key, *value});
        }
        // Derived values are made last, from the received parts and this device's settings, so that the
        // order of the fields does not decide which of them wins.
        if (hooks && hooks->setReceivedAttribute) {
            for (const auto &[key, value] : throughEntitySetters)
                hooks->setReceivedAttribute(*object, key, value);
        }
        if (hooks && hooks->extendedManagedObjectWithCKRecord)
            hooks->extendedManagedObjectWithCKRecord(*object, record);
    });
    ManagedObjectCloudKit::updateObjectWithCKRecordEncodedFields(object, record);
}

Record NSManagedObjectQDBaseCloudRecord::recordToInsert(NSManagedObjectQDBase *object, const RecordZoneID &zoneID,
                                                        const std::optional<Reference> &parent)
{
    Record record = ckRecordFromManagedObjectWithRecordZoneID(object, zoneID);
    if (record.isNull())
        return record;
    ManagedObjectCloudKit::updateCKRecordWithReferencesForRelationships(object, record);
    if (parent)
        record.setParent(parent);
    return record;
}

Record NSManagedObjectQDBaseCloudRecord::recordToUpdate(NSManagedObjectQDBase *object, const QStringList &changedKeys)
{
    if (!object)
        return Record();
    const QStringList removed = removeAttributesFromSyncFields(object);
    QStringList genericKeys;
    for (const QString &key : changedKeys) {
        if (!removed.contains(key))
            genericKeys.append(key);
    }
    Record record = ManagedObjectCloudKit::ckRecordFromRecordFieldsWithChangesKeys(object, genericKeys);
    if (record.isNull())
        return record;
    extendedCKRecordFromManagedObjectWithRecord(object, record, changedKeys);
    return record;
}
