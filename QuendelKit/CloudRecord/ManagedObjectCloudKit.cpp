#include "QuendelKit/CloudRecord/ManagedObjectCloudKit.h"

#include "QuendelKit/CloudRecord/CloudRecordValues.h"
#include "QuendelKit/CloudRecord/NSManagedObjectQDBase+CloudRecord.h"
#include "QuendelKit/Entities/ManagedObjectContextCloudKit.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/store/ManagedObjectContext.h"

#include <QSet>

using platform::cloud::FieldValue;
using platform::cloud::Record;
using platform::cloud::RecordID;
using platform::cloud::Reference;
using platform::cloud::ReferenceList;
using platform::store::AttributeDescription;
using platform::store::EntityDescription;
using platform::store::ManagedObject;
using platform::store::RelationshipDescription;

namespace {

// Runs the work on the object's context queue and waits; an object that left its context has no queue to
// honour, and is worked on directly.
void onObjectQueue(const ManagedObject *object, const std::function<void()> &work)
{
    if (platform::store::ManagedObjectContext *context = object->managedObjectContext())
        context->performAndWait(work);
    else
        work();
}

QString cloudKitIDOf(const ManagedObject *object)
{
    const QVariant value = object->value(ManagedObjectCloudKit::CloudKitIDKey);
    return value.isValid() && !value.isNull() ? value.toString() : QString();
}

Reference referenceTo(const QString &recordName)
{
    return Reference(RecordID(recordName), Reference::Action::None);
}

// The record a received reference names, when it exists here and is of the relationship's destination
// entity (a name from another device may point at anything).
ManagedObject *resolve(ManagedObject *object, const RelationshipDescription &relationship, const QString &recordName)
{
    ManagedObject *found = ManagedObjectContextCloudKit::objectWithCloudID(object->managedObjectContext(), recordName);
    if (found && found->entity() && found->entity()->name() != relationship.destinationEntityName) {
        QDLogWarn(QStringLiteral("updateObjectWithReferencesFromRecord: %1 names a %2 where %3 expects a %4")
                      .arg(recordName, found->entity()->name(), relationship.name, relationship.destinationEntityName));
        return nullptr;
    }
    return found;
}

bool applyReferenceList(ManagedObject *object, const RelationshipDescription &relationship, const QStringList &names)
{
    QSet<QString> current;
    for (const ManagedObject *related : object->relatedObjects(relationship.name))
        current.insert(cloudKitIDOf(related));
    if (QSet<QString>(names.cbegin(), names.cend()) == current)
        return false;
    ManagedObject::ObjectList resolved;
    for (const QString &name : names) {
        ManagedObject *found = resolve(object, relationship, name);
        if (!found)
            break;
        if (!resolved.contains(found))
            resolved.append(found);
    }
    object->setRelatedObjects(relationship.name, resolved);
    return true;
}

} // namespace

bool ManagedObjectCloudKit::isNeverAField(const AttributeDescription &attribute)
{
    return attribute.transient || attribute.name == CloudKitIDKey || attribute.name == CloudKitFieldsKey ||
           attribute.name == CloudKitRemotelyDeletedKey;
}

bool ManagedObjectCloudKit::relationshipHasField(const EntityDescription &entity,
                                                 const RelationshipDescription &relationship)
{
    if (!relationship.toMany)
        return true;
    const RelationshipDescription *inverse = entity.inverseRelationship(relationship);
    return inverse && inverse->toMany;
}

void ManagedObjectCloudKit::updateObjectWithCKRecordEncodedFields(ManagedObject *object, const Record &record)
{
    if (!object || record.isNull())
        return;
    const QByteArray fields = record.encodeSystemFields();
    onObjectQueue(object, [&] { object->setValue(CloudKitFieldsKey, fields); });
}

Record ManagedObjectCloudKit::ckRecordFromEncodedFields(const ManagedObject *object)
{
    if (!object)
        return Record();
    QByteArray fields;
    onObjectQueue(object, [&] { fields = object->value(CloudKitFieldsKey).toByteArray(); });
    if (fields.isEmpty())
        return Record();
    platform::core::QDError error;
    Record record = Record::fromEncodedSystemFields(fields, &error);
    if (record.isNull())
        QDLogError(QStringLiteral("ckRecordFromEncodedFields: the archived cloud fields of %1 cannot be read: %2")
                       .arg(object->objectID().toString(), error.toString()));
    return record;
}

std::optional<Reference> ManagedObjectCloudKit::referenceForRelationshipKey(ManagedObject *object, const QString &key)
{
    if (!object)
        return std::nullopt;
    std::optional<Reference> reference;
    onObjectQueue(object, [&] {
        ManagedObject *related = object->relatedObject(key);
        if (!related || !related->entity() || !related->entity()->attribute(CloudKitIDKey))
            return;
        QString recordName = cloudKitIDOf(related);
        if (recordName.isEmpty()) {
            // The related record was never saved with an identity (a copied store); give it one now so the
            // reference can name it. Written without notice, as the save stamp would have done.
            recordName = ManagedObjectContextCloudKit::generateCloudKitIDForEntityName(related->entity()->name());
            related->setPrimitiveValue(CloudKitIDKey, recordName);
        }
        reference = referenceTo(recordName);
    });
    return reference;
}

void ManagedObjectCloudKit::updateCKRecordWithReferencesForRelationships(ManagedObject *object, Record &record)
{
    if (!object || !object->entity())
        return;
    std::vector<const RelationshipDescription *> relationships;
    for (const RelationshipDescription &relationship : object->entity()->relationships())
        relationships.push_back(&relationship);
    updateCKRecordWithReferencesForRelationships(object, record, relationships);
}

void ManagedObjectCloudKit::updateCKRecordWithReferencesForRelationships(
    ManagedObject *object, Record &record, const std::vector<const RelationshipDescription *> &relationships)
{
    if (!object || !object->entity())
        return;
    const EntityDescription &entity = *object->entity();
    onObjectQueue(object, [&] {
        for (const RelationshipDescription *relationship : relationships) {
            if (!relationship || !relationshipHasField(entity, *relationship))
                continue;
            if (!relationship->toMany) {
                if (const std::optional<Reference> reference = referenceForRelationshipKey(object, relationship->name))
                    record.setValue(relationship->name, *reference);
                continue;
            }
            ReferenceList references;
            for (const ManagedObject *related : object->relatedObjects(relationship->name)) {
                const QString recordName = cloudKitIDOf(related);
                if (!recordName.isEmpty())
                    references.append(referenceTo(recordName));
            }
            if (references.isEmpty())
                record.removeValue(relationship->name);
            else
                record.setValue(relationship->name, references);
        }
    });
}

Record ManagedObjectCloudKit::ckRecordFromRecordFieldsWithChangesKeys(ManagedObject *object,
                                                                      const QStringList &changedKeys)
{
    Record record = ckRecordFromEncodedFields(object);
    if (record.isNull() || !object->entity())
        return Record();
    const EntityDescription &entity = *object->entity();
    onObjectQueue(object, [&] {
        for (const QString &key : changedKeys) {
            if (const RelationshipDescription *relationship = entity.relationship(key)) {
                if (!relationshipHasField(entity, *relationship))
                    continue;
                if (!relationship->toMany) {
                    // A to-one that was emptied must reach the other devices as a removed field; leaving the
                    // field out would keep the old reference on the server.
                    if (const std::optional<Reference> reference = referenceForRelationshipKey(object, key))
                        record.setValue(key, *reference);
                    else
                        record.removeValue(key);
                } else {
                    updateCKRecordWithReferencesForRelationships(object, record, {relationship});
                }
                continue;
            }
            const AttributeDescription *attribute = entity.attribute(key);
            if (!attribute || isNeverAField(*attribute))
                continue;
            if (const std::optional<FieldValue> value = cloud_record_values::fieldValueOfAttribute(*object, *attribute))
                record.setValue(key, *value);
        }
        if (entity.attribute(ModifiedAtKey)) {
            const QDateTime modifiedAt = object->value(ModifiedAtKey).toDateTime();
            if (modifiedAt.isValid())
                record.setValue(ModifiedAtKey, modifiedAt);
        }
    });
    return record;
}

void ManagedObjectCloudKit::updateObjectWithReferencesFromRecord(ManagedObject *object, const Record &record)
{
    if (!object || !object->entity())
        return;
    const EntityDescription &entity = *object->entity();
    bool changed = false;
    onObjectQueue(object, [&] {
        for (const RelationshipDescription &relationship : entity.relationships()) {
            if (!relationshipHasField(entity, relationship))
                continue;
            if (!record.hasField(relationship.name)) {
                if (!relationship.toMany) {
                    if (object->relatedObject(relationship.name)) {
                        object->setRelatedObject(relationship.name, nullptr);
                        changed = true;
                    }
                } else if (!object->relatedObjects(relationship.name).isEmpty()) {
                    object->setRelatedObjects(relationship.name, {});
                    changed = true;
                }
                continue;
            }
            const FieldValue field = record.value(relationship.name);
            if (field.kind() == FieldValue::Kind::Reference) {
                const QString name = field.toReference().recordID().recordName();
                if (relationship.toMany) {
                    changed = applyReferenceList(object, relationship, {name}) || changed;
                } else if (ManagedObject *found = resolve(object, relationship, name)) {
                    if (object->relatedObject(relationship.name) != found) {
                        object->setRelatedObject(relationship.name, found);
                        changed = true;
                    }
                }
            } else if (field.kind() == FieldValue::Kind::ReferenceList && relationship.toMany) {
                QStringList names;
                for (const Reference &reference : field.toReferenceList())
                    names.append(reference.recordID().recordName());
                changed = applyReferenceList(object, relationship, names) || changed;
            } else {
                QDLogWarn(
                    QStringLiteral("updateObjectWithReferencesFromRecord: field %1 of %2 holds a %3; ignored")
                        .arg(relationship.name, record.recordID().recordName(), FieldValue::kindName(field.kind())));
            }
        }
        auto *base = dynamic_cast<NSManagedObjectQDBase *>(object);
        if (!changed || !base)
            return;
        const std::shared_ptr<const CloudRecordHooks> hooks =
            NSManagedObjectQDBaseCloudRecord::hooksForEntity(entity.name());
        if (hooks && hooks->didUpdateReferencesFromRecord)
            hooks->didUpdateReferencesFromRecord(*base);
    });
}
