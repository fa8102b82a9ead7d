#include "CloudRecordFixture.h"

using namespace quendel::test;
using platform::cloud::Record;
using platform::cloud::RecordID;
using platform::cloud::Reference;
using platform::store::AttributeDescription;
using platform::store::AttributeType;
using platform::store::EntityDescription;
using platform::store::ManagedObjectContext;
using platform::store::ManagedObjectModel;
using CR = NSManagedObjectQDBaseCloudRecord;
using MO = ManagedObjectCloudKit;

namespace {

AttributeDescription attribute(const char *name, AttributeType type, bool transient = false)
{
    AttributeDescription description;
    description.name = QString::fromLatin1(name);
    description.type = type;
    description.transient = transient;
    return description;
}

} // namespace

TEST_F(CloudRecordTest, TransientAttributesNeverBecomeFields)
{
    auto notes = std::make_shared<ManagedObjectModel>(QStringLiteral("Notes"), 1);
    EntityDescription entity(QStringLiteral("Note"), [] { return new NSManagedObjectQDBase(); });
    entity.addAttribute(attribute("cloudKitID", AttributeType::String));
    entity.addAttribute(attribute("cloudKitFields", AttributeType::Binary));
    entity.addAttribute(attribute("cloudKitRemotelyDeleted", AttributeType::Boolean));
    entity.addAttribute(attribute("createdAt", AttributeType::Date));
    entity.addAttribute(attribute("modifiedAt", AttributeType::Date));
    entity.addAttribute(attribute("text", AttributeType::String));
    entity.addAttribute(attribute("scratch", AttributeType::String, true));
    notes->addEntity(std::move(entity));
    auto store = std::make_shared<platform::store::StoreCoordinator>(notes);
    platform::core::QDError error;
    ASSERT_TRUE(store->addPersistentStore(platform::store::StoreType::SQLite,
                                          dir.filePath(QStringLiteral("Notes.sqlite")), {}, &error))
        << error.toString().toStdString();
    auto notesContext = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    notesContext->setPersistentStoreCoordinator(store);

    auto *note = dynamic_cast<NSManagedObjectQDBase *>(notesContext->insertNewObject(QStringLiteral("Note")));
    ASSERT_NE(note, nullptr);
    note->setValue(QStringLiteral("text"), QStringLiteral("kept"));
    note->setValue(QStringLiteral("scratch"), QStringLiteral("on this object only"));
    note->setCloudKitRemotelyDeleted(true);
    save(notesContext);

    const Record complete = CR::recordToInsert(note, privateZone());
    EXPECT_EQ(complete.allKeys(),
              (QStringList{QStringLiteral("createdAt"), QStringLiteral("modifiedAt"), QStringLiteral("text")}));
    markUploaded(note);
    const Record update = CR::recordToUpdate(note, {QStringLiteral("scratch"), QStringLiteral("text")});
    EXPECT_EQ(update.changedKeys(), (QStringList{QStringLiteral("modifiedAt"), QStringLiteral("text")}));

    Record incoming(QStringLiteral("Note"), RecordID(note->cloudKitID(), privateZone()));
    incoming.setValue(QStringLiteral("scratch"), QStringLiteral("from elsewhere"));
    incoming.setValue(QStringLiteral("cloudKitFields"), QByteArray("not ours"));
    CR::fillManagedObjectWithCKRecord(note, incoming);
    EXPECT_EQ(note->value(QStringLiteral("scratch")).toString(), QStringLiteral("on this object only"));
    EXPECT_EQ(MO::ckRecordFromEncodedFields(note).recordID(), incoming.recordID());
}

TEST_F(CloudRecordTest, PrivateQueueContextIsWorkedOnItsOwnQueue)
{
    // The cloud engine's contexts run on queues of their own and are driven from other threads.
    auto engine = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    engine->setPersistentStoreCoordinator(otherCoordinator);

    Record personRecord(QStringLiteral("Person"), RecordID(QStringLiteral("Person.Q1"), privateZone()));
    personRecord.setValue(QStringLiteral("lastName"), QStringLiteral("Hopper"));
    Record logRecord(QStringLiteral("Log"), RecordID(QStringLiteral("Log.Q2"), privateZone()));
    logRecord.setValue(QStringLiteral("logNote"), QStringLiteral("compiler talk"));
    logRecord.setValue(QStringLiteral("person"), Reference(RecordID(QStringLiteral("Person.Q1"))));

    NSManagedObjectQDBase *person = nullptr;
    NSManagedObjectQDBase *log = nullptr;
    engine->performAndWait([&] {
        person = engine->insertNewObject<NSManagedObjectQDBase>(QStringLiteral("Person"));
        log = engine->insertNewObject<NSManagedObjectQDBase>(QStringLiteral("Log"));
    });
    ASSERT_NE(person, nullptr);
    ASSERT_NE(log, nullptr);
    // Called from this thread; each operation enters the context's queue itself.
    CR::fillManagedObjectWithCKRecord(person, personRecord);
    CR::fillManagedObjectWithCKRecord(log, logRecord);
    MO::updateObjectWithReferencesFromRecord(person, personRecord);
    MO::updateObjectWithReferencesFromRecord(log, logRecord);

    bool saved = false;
    platform::store::ManagedObject *linked = nullptr;
    engine->performAndWait([&] {
        linked = log->relatedObject(QStringLiteral("person"));
        saved = engine->save();
    });
    EXPECT_EQ(linked, person);
    EXPECT_TRUE(saved);

    engine->performAndWait([&] { log->setValue(QStringLiteral("logNote"), QStringLiteral("compiler talk, part 2")); });
    const Record update = CR::recordToUpdate(log, {QStringLiteral("logNote"), QStringLiteral("person")});
    EXPECT_EQ(update.recordChangeTag(), QString());
    EXPECT_EQ(update.value(QStringLiteral("person")).toReference().recordID().recordName(),
              QStringLiteral("Person.Q1"));
    EXPECT_EQ(update.value(QStringLiteral("logNote")).toString(), QStringLiteral("compiler talk, part 2"));
    const Record insertRecord = CR::recordToInsert(log, privateZone(), Reference(RecordID(QStringLiteral("Team.1"))));
    ASSERT_TRUE(insertRecord.parent().has_value());
    EXPECT_EQ(insertRecord.parent()->recordID().recordName(), QStringLiteral("Team.1"));
}
