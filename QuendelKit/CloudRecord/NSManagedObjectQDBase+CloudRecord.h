#pragma once

#include "platform/cloud/Record.h"
#include "platform/cloud/RecordZoneID.h"
#include "platform/cloud/Reference.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class NSManagedObjectQDBase;

// What an entity adds to the generic cloud record of its records. The kit installs the hooks of its own
// entities; the application may install those of the entities it owns before the first record is built.
struct CloudRecordHooks
{
    // Changed keys of an update, or nullopt for a complete record.
    using ChangedKeys = std::optional<QStringList>;

    // Attributes that never travel through the generic copy (a hook may carry them in its own form).
    QStringList removeAttributesFromSyncFields;
    // Adds the entity's own fields to a record being built.
    std::function<void(NSManagedObjectQDBase &object, platform::cloud::Record &record, const ChangedKeys &changedKeys)>
        extendedCKRecordFromManagedObjectWithRecord;
    // Reads the entity's own fields from a received record, after the generic attributes were set.
    std::function<void(NSManagedObjectQDBase &object, const platform::cloud::Record &record)>
        extendedManagedObjectWithCKRecord;
    // Sets a received attribute through the entity's own setter so that values derived from it follow;
    // answers false for attributes it leaves to the generic setter.
    std::function<bool(NSManagedObjectQDBase &object, const QString &key, const QVariant &value)> setReceivedAttribute;
    // After the relationship fields of a received record changed the object's relationships, for values
    // derived from related records.
    std::function<void(NSManagedObjectQDBase &object)> didUpdateReferencesFromRecord;
};

// The cloud record of a stored record: the complete record of an insert, the record of a change, and the
// filling of a record from a received one.
class NSManagedObjectQDBaseCloudRecord
{
public:
    // Record fields that entity hooks write.
    static inline const QString PrivateImageField = QStringLiteral("privateImage");
    static inline const QString LocationObjectField = QStringLiteral("locationObject");
    static inline const QString FileAssetField = QStringLiteral("fileAsset");
    static inline const QString TodoRepeatIntervalField = QStringLiteral("todoRepeatInterval");
    static inline const QString AlertIntervalField = QStringLiteral("alertInterval");
    static inline const QString TemplatePropertiesField = QStringLiteral("templateProperties");

    // Hooks by entity name. Installing replaces the kit's own hooks of that entity.
    static void setHooksForEntity(const QString &entityName, CloudRecordHooks hooks);
    // Null when the entity has none.
    static std::shared_ptr<const CloudRecordHooks> hooksForEntity(const QString &entityName);

    // The names kept out of the generic copy: the object's own answer (by default its entity hooks' list).
    static QStringList removeAttributesFromSyncFields(const NSManagedObjectQDBase *object);
    static bool implementsExtendedRecord(const NSManagedObjectQDBase *object);
    static bool implementsExtendedManagedObject(const NSManagedObjectQDBase *object);
    // Call the entity's hooks when it has them; nothing otherwise.
    static void extendedCKRecordFromManagedObjectWithRecord(NSManagedObjectQDBase *object,
                                                            platform::cloud::Record &record,
                                                            const CloudRecordHooks::ChangedKeys &changedKeys);
    static void extendedManagedObjectWithCKRecord(NSManagedObjectQDBase *object, const platform::cloud::Record &record);

    // The complete record without relationship fields: type = entity name, name = `cloudKitID` (in the zone
    // when one is given), one field per stored attribute that has a value, then the entity's own fields.
    static platform::cloud::Record
    ckRecordFromManagedObjectWithRecordZoneID(NSManagedObjectQDBase *object,
                                              const platform::cloud::RecordZoneID &zoneID = {});

    // Fills the object from a received record (identity, every field that names an attribute, the entity's
    // own fields) on its context queue, then archives the record's system fields into `cloudKitFields`.
    static void fillManagedObjectWithCKRecord(NSManagedObjectQDBase *object, const platform::cloud::Record &record);

    // The record to insert: the complete record, every relationship field, and the parent when given.
    static platform::cloud::Record
    recordToInsert(NSManagedObjectQDBase *object, const platform::cloud::RecordZoneID &zoneID,
                   const std::optional<platform::cloud::Reference> &parent = std::nullopt);

    // The record of a change with the keys as recorded at the save: the entity's kept-out names are removed
    // for the generic copy, the record is built on the archived system fields, and the entity's hook sees
    // the keys as recorded. A null record when no system fields are archived (the caller then fetches the
    // server's record).
    static platform::cloud::Record recordToUpdate(NSManagedObjectQDBase *object, const QStringList &changedKeys);
};
