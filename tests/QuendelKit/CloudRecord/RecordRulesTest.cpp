#include "CloudRecordFixture.h"

#include "platform/core/KeyedArchive.h"

#include <QScopeGuard>

using namespace quendel::test;
using platform::cloud::FieldValue;
using platform::cloud::Record;
using platform::cloud::RecordID;
using platform::cloud::Reference;
using platform::cloud::ReferenceList;
using platform::store::ManagedObject;
using CR = NSManagedObjectQDBaseCloudRecord;
using MO = ManagedObjectCloudKit;

namespace {

const QString PrivateGroupKey = QStringLiteral("privategroup");

Record receivedRecord(const QString &type, const QString &name)
{
    Record record(type, RecordID(name, CloudRecordTest::privateZone()));
    record.setRecordChangeTag(QStringLiteral("server-3"));
    return record;
}

Reference ref(const NSManagedObjectQDBase *object)
{
    return Reference(RecordID(object->cloudKitID()));
}

} // namespace

// ---- Relationship fields ----

TEST_F(CloudRecordTest, LogGetsReferenceFieldsAndNoFieldForItsKeptOutAttributes)
{
    auto *person = insert<Person>();
    auto *title = insert<LogTitle>();
    auto *place = insert<Location>();
    auto *log = insert<Log>();
    log->setValue(QStringLiteral("logNote"), QStringLiteral("Met at the fair"));
    log->setValue(QStringLiteral("logProperties"), QVariantMap{{QStringLiteral("k"), 1}});
    log->setValue(QStringLiteral("attributedLogNote"), QStringLiteral("styled"));
    log->setRelatedObject(QStringLiteral("person"), person);
    log->setRelatedObject(QStringLiteral("title"), title);
    log->setRelatedObject(QStringLiteral("logLocation"), place);
    save(context);

    const Record record = CR::recordToInsert(log, privateZone());
    EXPECT_EQ(record.recordType(), QStringLiteral("Log"));
    EXPECT_EQ(record.recordID(), RecordID(log->cloudKitID(), privateZone()));
    EXPECT_EQ(record.value(QStringLiteral("logNote")).toString(), QStringLiteral("Met at the fair"));
    for (const auto &[key, target] : {std::pair<QString, NSManagedObjectQDBase *>{QStringLiteral("person"), person},
                                      {QStringLiteral("title"), title},
                                      {QStringLiteral("logLocation"), place}}) {
        SCOPED_TRACE(key.toStdString());
        const FieldValue field = record.value(key);
        ASSERT_EQ(field.kind(), FieldValue::Kind::Reference);
        // The record name alone, no zone, and no cascade on the server.
        EXPECT_EQ(field.toReference(), Reference(RecordID(target->cloudKitID()), Reference::Action::None));
        EXPECT_FALSE(field.toReference().recordID().hasZone());
    }
    EXPECT_FALSE(record.hasField(QStringLiteral("logvoice"))); // empty to-one
    EXPECT_FALSE(record.hasField(QStringLiteral("logProperties")));
    EXPECT_FALSE(record.hasField(QStringLiteral("attributedLogNote")));
}

TEST_F(CloudRecordTest, PersonWritesOnlyItsManyToManyGroupsAmongToManyRelationships)
{
    auto *person = insert<Person>();
    person->setValue(QStringLiteral("localIdentifier"), QStringLiteral("AB:123"));
    auto *email = insert<Emails>();
    email->setRelatedObject(QStringLiteral("person"), person);
    auto *log = insert<Log>();
    log->setRelatedObject(QStringLiteral("person"), person);
    auto *group = insert<PrivateGroups>();
    auto *unsavedGroupMember = insert<PrivateGroups>();
    person->addRelatedObject(PrivateGroupKey, group);
    save(context);
    person->addRelatedObject(PrivateGroupKey, unsavedGroupMember);
    unsavedGroupMember->setPrimitiveValue(QStringLiteral("cloudKitID"), QVariant()); // a group without identity

    const Record record = CR::recordToInsert(person, privateZone());
    for (const auto &relationship : person->entity()->relationships()) {
        if (relationship.name == PrivateGroupKey || !relationship.toMany)
            continue;
        EXPECT_FALSE(record.hasField(relationship.name)) << relationship.name.toStdString();
    }
    EXPECT_FALSE(record.hasField(QStringLiteral("localIdentifier")));
    // Only related records that have an identity are listed.
    EXPECT_EQ(record.value(PrivateGroupKey).toReferenceList(), ReferenceList{ref(group)});

    // The group's side lists the contact the same way.
    const Record groupRecord = CR::recordToInsert(group, privateZone());
    EXPECT_EQ(groupRecord.value(QStringLiteral("members")).toReferenceList(), ReferenceList{ref(person)});
}

TEST_F(CloudRecordTest, ContactWithoutGroupsHasNoGroupFieldAndLosingTheLastGroupRemovesIt)
{
    auto *person = insert<Person>();
    auto *group = insert<PrivateGroups>();
    save(context);
    EXPECT_FALSE(CR::recordToInsert(person, privateZone()).hasField(PrivateGroupKey));

    person->addRelatedObject(PrivateGroupKey, group);
    save(context);
    markUploaded(person);
    person->removeRelatedObject(PrivateGroupKey, group);
    save(context);

    const Record update = CR::recordToUpdate(person, {PrivateGroupKey});
    ASSERT_FALSE(update.isNull());
    EXPECT_FALSE(update.hasField(PrivateGroupKey));
    EXPECT_EQ(update.changedKeys(), (QStringList{QStringLiteral("modifiedAt"), PrivateGroupKey}));
}

TEST_F(CloudRecordTest, RelatedRecordWithoutIdentityGetsOneWhenReferencedAndKeepsIt)
{
    // A record copied into a new store keeps an empty identity until something asks for one.
    auto copied = openDevice(QStringLiteral("Copy.sqlite"), otherCoordinator);
    copied->setName(NSManagedObjectQDBase::MigrateStoreDestinationContextName);
    auto *title = insert<LogTitle>(copied);
    auto *log = insert<Log>(copied);
    log->setRelatedObject(QStringLiteral("title"), title);
    save(copied);
    ASSERT_TRUE(title->cloudKitID().isEmpty());

    const std::optional<Reference> first = MO::referenceForRelationshipKey(log, QStringLiteral("title"));
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->recordID().recordName().startsWith(QStringLiteral("LogTitle.")));
    EXPECT_EQ(title->cloudKitID(), first->recordID().recordName());
    // Given without a change notice: the title is not made an unsaved change by it.
    EXPECT_FALSE(title->hasChanges());
    const std::optional<Reference> second = MO::referenceForRelationshipKey(log, QStringLiteral("title"));
    EXPECT_EQ(second, first);
    EXPECT_FALSE(MO::referenceForRelationshipKey(log, QStringLiteral("logLocation")).has_value());
}

TEST_F(CloudRecordTest, RelationshipRuleTable)
{
    struct Case
    {
        const char *entity;
        const char *relationship;
        bool hasField;
    };
    const Case cases[] = {
        {"Log", "person", true},            // to-one, inverse to-many
        {"Person", "personinfo", true},     // to-one, inverse to-one
        {"ToDo", "completedperson", true},  // to-one
        {"Person", "privategroup", true},   // to-many, inverse to-many
        {"PrivateGroups", "members", true}, // to-many, inverse to-many
        {"Person", "logs", false},          // to-many, inverse to-one
        {"ToDo", "alert", false},           // to-many, inverse to-one
        {"Location", "logFromLocation", false},
        {"FormFields", "userfields", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.relationship);
        const auto *entity = model->entity(QString::fromLatin1(c.entity));
        ASSERT_NE(entity, nullptr);
        const auto *relationship = entity->relationship(QString::fromLatin1(c.relationship));
        ASSERT_NE(relationship, nullptr);
        EXPECT_EQ(MO::relationshipHasField(*entity, *relationship), c.hasField);
    }
}

// ---- Update records ----

TEST_F(CloudRecordTest, UpdateCarriesExactlyTheChangedKeysAndModifiedAtOnTheArchivedSystemFields)
{
    auto *log = insert<Log>();
    log->setValue(QStringLiteral("logNote"), QStringLiteral("first"));
    log->setValue(QStringLiteral("logFlags"), 4);
    save(context);
    markUploaded(log, QStringLiteral("tag-41"));
    save(context);
    clock->advanceSeconds(60);
    log->setValue(QStringLiteral("logNote"), QStringLiteral("second"));
    save(context);

    const Record update = CR::recordToUpdate(log, {QStringLiteral("logNote")});
    ASSERT_FALSE(update.isNull());
    EXPECT_EQ(update.recordID(), RecordID(log->cloudKitID(), privateZone()));
    EXPECT_EQ(update.recordChangeTag(), QStringLiteral("tag-41"));
    EXPECT_EQ(update.changedKeys(), (QStringList{QStringLiteral("logNote"), QStringLiteral("modifiedAt")}));
    EXPECT_EQ(update.allKeys(), update.changedKeys());
    EXPECT_EQ(update.value(QStringLiteral("logNote")).toString(), QStringLiteral("second"));
    EXPECT_EQ(update.value(QStringLiteral("modifiedAt")).toDate(), log->modifiedAt());
}

TEST_F(CloudRecordTest, UpdateRemovesEmptiedValuesAndLeavesOutWhatNeverIsAField)
{
    auto *todo = insert<ToDo>();
    auto *title = insert<ToDoTitle>();
    todo->setValue(QStringLiteral("todoNote"), QStringLiteral("call back"));
    todo->setRelatedObject(QStringLiteral("todotitle"), title);
    save(context);
    markUploaded(todo);
    todo->setValue(QStringLiteral("todoNote"), QVariant());
    todo->setRelatedObject(QStringLiteral("todotitle"), nullptr);
    todo->setValue(QStringLiteral("todoProperties"), QVariantMap{{QStringLiteral("x"), 1}});
    save(context);

    const Record update = CR::recordToUpdate(todo, {QStringLiteral("todoNote"), QStringLiteral("todotitle"),
                                                    QStringLiteral("todoProperties"), QStringLiteral("cloudKitFields"),
                                                    QStringLiteral("cloudKitID"), QStringLiteral("timeNow"),
                                                    QStringLiteral("noSuchKey"), QStringLiteral("alert")});
    ASSERT_FALSE(update.isNull());
    // An emptied note and an emptied to-one reach the server as removed fields.
    EXPECT_EQ(update.changedKeys(),
              (QStringList{QStringLiteral("modifiedAt"), QStringLiteral("todoNote"), QStringLiteral("todotitle")}));
    EXPECT_FALSE(update.hasField(QStringLiteral("todoNote")));
    EXPECT_FALSE(update.hasField(QStringLiteral("todotitle")));
}

TEST_F(CloudRecordTest, UpdateOfANeverUploadedRecordIsNull)
{
    auto *log = insert<Log>();
    save(context);
    EXPECT_TRUE(CR::recordToUpdate(log, {QStringLiteral("logNote")}).isNull());
    EXPECT_TRUE(MO::ckRecordFromRecordFieldsWithChangesKeys(log, {QStringLiteral("logNote")}).isNull());
}

// ---- System fields on the object ----

TEST_F(CloudRecordTest, SystemFieldsArchiveRoundTripsThroughTheObject)
{
    auto *person = insert<Person>();
    save(context);
    Record uploaded(QStringLiteral("Person"), RecordID(person->cloudKitID(), privateZone()));
    uploaded.setRecordChangeTag(QStringLiteral("c-9"));
    uploaded.setValue(QStringLiteral("firstName"), QStringLiteral("not archived"));
    MO::updateObjectWithCKRecordEncodedFields(person, uploaded);
    // Stored as a tracked change, so the engine's save writes it.
    EXPECT_TRUE(person->hasChangedKey(QStringLiteral("cloudKitFields")));
    save(context);

    platform::store::ContextPtr fresh = openDevice(QStringLiteral("A.sqlite"), otherCoordinator);
    auto *reread = dynamic_cast<Person *>(fresh->objectWithID(person->objectID()));
    ASSERT_NE(reread, nullptr);
    const Record rebuilt = MO::ckRecordFromEncodedFields(reread);
    EXPECT_EQ(rebuilt.recordType(), QStringLiteral("Person"));
    EXPECT_EQ(rebuilt.recordID(), uploaded.recordID());
    EXPECT_EQ(rebuilt.recordChangeTag(), QStringLiteral("c-9"));
    EXPECT_TRUE(rebuilt.allKeys().isEmpty());
}

TEST_F(CloudRecordTest, DamagedSystemFieldsGiveNoRecord)
{
    auto *log = insert<Log>();
    save(context);
    struct Case
    {
        const char *name;
        QByteArray data;
    };
    const Case cases[] = {
        {"garbage", QByteArray("\x00\x01garbage", 9)},
        {"truncated archive",
         Record(QStringLiteral("Log"), RecordID(QStringLiteral("Log.1"))).encodeSystemFields().left(12)},
        {"other archive",
         platform::core::KeyedArchive::archive(QVariantMap{{QStringLiteral("changedKeys"), QStringList()}})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        log->setCloudKitFields(c.data);
        EXPECT_TRUE(MO::ckRecordFromEncodedFields(log).isNull());
        EXPECT_TRUE(CR::recordToUpdate(log, {QStringLiteral("logNote")}).isNull());
    }
}

// ---- Filling and resolving references ----

TEST_F(CloudRecordTest, FillTakesIdentityAndAttributesAndIgnoresForeignFields)
{
    Record record = receivedRecord(QStringLiteral("Phones"), QStringLiteral("Phones.ABC"));
    record.setValue(QStringLiteral("phoneNumber"), QStringLiteral("+44 20 7946 0000"));
    record.setValue(QStringLiteral("label"), QStringLiteral("work"));
    record.setValue(QStringLiteral("newerDeviceField"), QStringLiteral("ignored"));
    record.setValue(QStringLiteral("createdAt"), QStringLiteral("a string where a date belongs"));
    record.setValue(QStringLiteral("cloudKitRemotelyDeleted"), 1);
    auto *phone = insert<Phones>(other);
    CR::fillManagedObjectWithCKRecord(phone, record);

    EXPECT_EQ(phone->cloudKitID(), QStringLiteral("Phones.ABC"));
    EXPECT_EQ(phone->value(QStringLiteral("phoneNumber")).toString(), QStringLiteral("+44 20 7946 0000"));
    EXPECT_EQ(phone->value(QStringLiteral("label")).toString(), QStringLiteral("work"));
    EXPECT_FALSE(phone->value(QStringLiteral("createdAt")).toDateTime().isValid());
    EXPECT_FALSE(phone->cloudKitRemotelyDeleted());
    const Record archived = MO::ckRecordFromEncodedFields(phone);
    EXPECT_EQ(archived.recordID(), record.recordID());
    EXPECT_EQ(archived.recordChangeTag(), QStringLiteral("server-3"));
    save(other);
}

TEST_F(CloudRecordTest, ValuesDerivedByAnEntitySetterWinOverReceivedDerivedFields)
{
    // An entity whose setter derives one attribute from another: the derived value is made from the
    // received part, whatever order the fields come in.
    CloudRecordHooks hooks;
    hooks.setReceivedAttribute = [](NSManagedObjectQDBase &object, const QString &key, const QVariant &value) {
        if (key != QLatin1String("middleName"))
            return false;
        object.setValue(QStringLiteral("normalizedJobDescription"), value.toString().toLower());
        return true;
    };
    const std::shared_ptr<const CloudRecordHooks> previous = CR::hooksForEntity(QStringLiteral("PersonInfo"));
    CR::setHooksForEntity(QStringLiteral("PersonInfo"), hooks);
    const auto restore = qScopeGuard(
        [&] { CR::setHooksForEntity(QStringLiteral("PersonInfo"), previous ? *previous : CloudRecordHooks()); });

    Record record = receivedRecord(QStringLiteral("PersonInfo"), QStringLiteral("PersonInfo.I1"));
    record.setValue(QStringLiteral("middleName"), QStringLiteral("Augusta"));
    record.setValue(QStringLiteral("normalizedJobDescription"), QStringLiteral("stale"));
    record.setValue(QStringLiteral("nickname"), QStringLiteral("Ada"));
    auto *info = insert<PersonInfo>(other);
    CR::fillManagedObjectWithCKRecord(info, record);
    EXPECT_EQ(info->value(QStringLiteral("middleName")).toString(), QStringLiteral("Augusta"));
    EXPECT_EQ(info->value(QStringLiteral("normalizedJobDescription")).toString(), QStringLiteral("augusta"));
    EXPECT_EQ(info->value(QStringLiteral("nickname")).toString(), QStringLiteral("Ada"));
}

TEST_F(CloudRecordTest, ReferenceResolutionFollowsTheRules)
{
    auto *person = insert<Person>(other);
    auto *oldPerson = insert<Person>(other);
    auto *log = insert<Log>(other);
    auto *title = insert<LogTitle>(other);
    auto *groupA = insert<PrivateGroups>(other);
    auto *groupB = insert<PrivateGroups>(other);
    auto *groupC = insert<PrivateGroups>(other);
    log->setRelatedObject(QStringLiteral("person"), oldPerson);
    log->setRelatedObject(QStringLiteral("title"), title);
    save(other);

    // A reference resolves to the named record; a missing field empties the relationship; an unknown name
    // keeps what is there; a name of the wrong entity resolves to nothing.
    Record logRecord = receivedRecord(QStringLiteral("Log"), log->cloudKitID());
    logRecord.setValue(QStringLiteral("person"), ref(person));
    logRecord.setValue(QStringLiteral("logLocation"), Reference(RecordID(QStringLiteral("Location.UNKNOWN"))));
    logRecord.setValue(QStringLiteral("logvoice"), ref(groupA));
    MO::updateObjectWithReferencesFromRecord(log, logRecord);
    EXPECT_EQ(log->relatedObject(QStringLiteral("person")), person);
    EXPECT_EQ(log->relatedObject(QStringLiteral("title")), nullptr);
    EXPECT_EQ(log->relatedObject(QStringLiteral("logLocation")), nullptr);
    EXPECT_EQ(log->relatedObject(QStringLiteral("logvoice")), nullptr);

    Record unknown = logRecord;
    unknown.setValue(QStringLiteral("person"), Reference(RecordID(QStringLiteral("Person.NOT-HERE"))));
    MO::updateObjectWithReferencesFromRecord(log, unknown);
    EXPECT_EQ(log->relatedObject(QStringLiteral("person")), person);

    // A list is resolved in order and stops at the first name that cannot be found.
    Record personRecord = receivedRecord(QStringLiteral("Person"), person->cloudKitID());
    personRecord.setValue(
        PrivateGroupKey,
        ReferenceList{ref(groupA), Reference(RecordID(QStringLiteral("PrivateGroups.GONE"))), ref(groupB)});
    MO::updateObjectWithReferencesFromRecord(person, personRecord);
    EXPECT_EQ(person->relatedObjects(PrivateGroupKey), ManagedObject::ObjectList{groupA});

    personRecord.setValue(PrivateGroupKey, ReferenceList{ref(groupC), ref(groupB)});
    MO::updateObjectWithReferencesFromRecord(person, personRecord);
    QList<ManagedObject *> groups = person->relatedObjects(PrivateGroupKey);
    EXPECT_EQ(QSet<ManagedObject *>(groups.cbegin(), groups.cend()), (QSet<ManagedObject *>{groupB, groupC}));
    EXPECT_TRUE(groupB->relatedObjects(QStringLiteral("members")).contains(person));

    // The same set of names in another order changes nothing.
    save(other);
    personRecord.setValue(PrivateGroupKey, ReferenceList{ref(groupB), ref(groupC)});
    MO::updateObjectWithReferencesFromRecord(person, personRecord);
    EXPECT_FALSE(person->hasChanges());

    // To-many relationships without a to-many inverse are left to the other side.
    Record bare = receivedRecord(QStringLiteral("Person"), person->cloudKitID());
    auto *log2 = insert<Log>(other);
    log2->setRelatedObject(QStringLiteral("person"), person);
    MO::updateObjectWithReferencesFromRecord(person, bare);
    EXPECT_TRUE(person->relatedObjects(QStringLiteral("logs")).contains(log2));
    EXPECT_TRUE(person->relatedObjects(PrivateGroupKey).isEmpty());
}

TEST_F(CloudRecordTest, ReceivedContactNamesAreMadeFromItsPartsOnceItsFurtherFieldsAreLinked)
{
    Record personRecord = receivedRecord(QStringLiteral("Person"), QStringLiteral("Person.N1"));
    personRecord.setValue(QStringLiteral("firstName"), QStringLiteral("Ada"));
    personRecord.setValue(QStringLiteral("lastName"), QStringLiteral("Lovelace"));
    personRecord.setValue(QStringLiteral("displayName"), QStringLiteral("stale name"));
    personRecord.setValue(QStringLiteral("personinfo"), Reference(RecordID(QStringLiteral("PersonInfo.N2"))));
    Record infoRecord = receivedRecord(QStringLiteral("PersonInfo"), QStringLiteral("PersonInfo.N2"));
    infoRecord.setValue(QStringLiteral("middleName"), QStringLiteral("Augusta"));
    infoRecord.setValue(QStringLiteral("person"), Reference(RecordID(QStringLiteral("Person.N1"))));

    auto *person = insert<Person>(other);
    auto *info = insert<PersonInfo>(other);
    person->fillManagedObjectWithCKRecord(personRecord);
    info->fillManagedObjectWithCKRecord(infoRecord);
    EXPECT_NE(person->displayName(), QStringLiteral("stale name"));
    MO::updateObjectWithReferencesFromRecord(person, personRecord);
    MO::updateObjectWithReferencesFromRecord(info, infoRecord);

    EXPECT_EQ(person->personinfo(), info);
    EXPECT_TRUE(person->displayName().contains(QStringLiteral("Augusta")));
    EXPECT_EQ(person->displayName(), person->makeDisplayName());
    save(other);
}
