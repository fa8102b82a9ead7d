#pragma once

#include "platform/cloud/Record.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/Model.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What the cloud engine asks of any stored record that has a cloud identity: the archive of the system
// fields of its last cloud record, the relationship fields of its cloud record, the record of a change, and
// the resolution of references after a download. The object's context queue is entered (and waited for)
// wherever the engine may call from another thread.
class ManagedObjectCloudKit
{
public:
    // Field names that are never copied from or into attributes: the identity is the record name, and the
    // other two belong to this device alone.
    static inline const QString CloudKitIDKey = QStringLiteral("cloudKitID");
    static inline const QString CloudKitFieldsKey = QStringLiteral("cloudKitFields");
    static inline const QString CloudKitRemotelyDeletedKey = QStringLiteral("cloudKitRemotelyDeleted");
    static inline const QString ModifiedAtKey = QStringLiteral("modifiedAt");

    // Archives the record's system fields (type, identifier with zone, change tag) into `cloudKitFields`,
    // as a tracked change, on the object's queue.
    static void updateObjectWithCKRecordEncodedFields(platform::store::ManagedObject *object,
                                                      const platform::cloud::Record &record);

    // A record rebuilt from `cloudKitFields`: system fields only, no field values. A null record when the
    // object has none or they cannot be read (the failure is logged).
    static platform::cloud::Record ckRecordFromEncodedFields(const platform::store::ManagedObject *object);

    // Writes into the record the fields of every relationship of the object's entity.
    static void updateCKRecordWithReferencesForRelationships(platform::store::ManagedObject *object,
                                                             platform::cloud::Record &record);
    // Writes the fields of the given relationships (of the object's entity):
    //  - to-one: a reference to the related record, when there is one;
    //  - to-many with a to-many inverse: the list of references to the related records that have a cloud
    //    identity, or a removed field when there is none;
    //  - any other to-many: nothing.
    static void updateCKRecordWithReferencesForRelationships(
        platform::store::ManagedObject *object, platform::cloud::Record &record,
        const std::vector<const platform::store::RelationshipDescription *> &relationships);

    // A reference (record name alone, no zone, action none) to the record a to-one relationship holds;
    // nullopt when it is empty. A related record without a cloud identity is given one on the spot, written
    // without change notification.
    static std::optional<platform::cloud::Reference> referenceForRelationshipKey(platform::store::ManagedObject *object,
                                                                                 const QString &key);

    // The record of a change: the archived system fields, then for each changed key either the relationship's
    // field or the attribute's current value (an empty value removes the field), then "modifiedAt". Keys
    // that never become fields (the cloud identity fields, transient attributes, unknown names) and values a
    // record cannot hold are left out. A null record when no system fields are archived.
    static platform::cloud::Record ckRecordFromRecordFieldsWithChangesKeys(platform::store::ManagedObject *object,
                                                                           const QStringList &changedKeys);

    // Applies the relationship fields of a received record, once every record of the download is in the
    // context: a missing field empties the relationship, a reference is looked up by record name (left as it
    // is when not found), and a list replaces the related set by the records resolved in list order up to
    // the first name that cannot be found. To-many relationships without a to-many inverse are not touched.
    static void updateObjectWithReferencesFromRecord(platform::store::ManagedObject *object,
                                                     const platform::cloud::Record &record);

    // Whether a relationship has a field in cloud records: every to-one, and to-many only with a to-many
    // inverse.
    static bool relationshipHasField(const platform::store::EntityDescription &entity,
                                     const platform::store::RelationshipDescription &relationship);

    // Whether the attribute never becomes a field whatever the entity says.
    static bool isNeverAField(const platform::store::AttributeDescription &attribute);
};
