#include "EntityStoreFixture.h"

#include "QuendelKit/Entities/ManagedObjectContextCloudKit.h"
#include "QuendelKit/Entities/NSManagedObject_Category.h"

#include "platform/core/DateComponents.h"
#include "platform/core/NotificationCenter.h"
#include "platform/store/StoreNotifications.h"

#include <QBuffer>
#include <QImage>
#include <QPoint>
#include <QRegularExpression>
#include <QUrl>

#include <gtest/gtest.h>

using platform::store::ManagedObject;
using platform::store::ManagedObjectID;
using quendel::test::CapturingLogger;
using quendel::test::EntityStoreTest;

namespace {

const QRegularExpression
    cloudIDPattern(QStringLiteral("^([A-Za-z]+)\\.[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));

QString entityOfCloudID(const QString &cloudID)
{
    const auto match = cloudIDPattern.match(cloudID);
    return match.hasMatch() ? match.captured(1) : QString();
}

// The changed keys that a save of the context reported for each updated record.
class DidSaveRecorder
{
public:
    explicit DidSaveRecorder(const platform::store::ContextPtr &context)
        : m_observer(platform::store::ManagedObjectContextDidSaveNotification, context.get(),
                     [this](const platform::core::Notification &notification) {
                         m_changes = platform::store::SaveChanges::fromNotification(notification);
                     })
    {}
    QStringList changedKeys(const ManagedObjectID &id) const
    {
        return m_changes ? m_changes->changedKeysFor(id) : QStringList();
    }
    bool updated(const ManagedObjectID &id) const { return m_changes && m_changes->updatedIDs().contains(id); }

private:
    std::shared_ptr<const platform::store::SaveChanges> m_changes;
    platform::core::ScopedObserver m_observer;
};

} // namespace

TEST_F(EntityStoreTest, FirstSaveGivesIdentityAndDatesThatLaterSavesKeep)
{
    Log *log = insert<Log>();
    log->setLogNote(QStringLiteral("first"));
    // The identity comes with the first save, not with the insertion.
    EXPECT_TRUE(log->cloudKitID().isNull());
    EXPECT_FALSE(log->createdAt().isValid());

    const QDateTime firstSave = platform::core::Clock::now();
    save(context);
    const QString cloudID = log->cloudKitID();
    EXPECT_EQ(entityOfCloudID(cloudID), QStringLiteral("Log")) << cloudID.toStdString();
    EXPECT_EQ(log->createdAt(), firstSave);
    EXPECT_EQ(log->modifiedAt(), firstSave);
    // Stamping inside the save left nothing pending.
    EXPECT_FALSE(context->hasChanges());
    EXPECT_FALSE(log->hasChanges());

    clock->advanceSeconds(90);
    DidSaveRecorder recorder(context);
    log->setLogNote(QStringLiteral("second"));
    save(context);
    EXPECT_EQ(log->cloudKitID(), cloudID);
    EXPECT_EQ(log->createdAt(), firstSave);
    EXPECT_EQ(log->modifiedAt(), firstSave.addSecs(90));
    // The stamps travel with the save without being reported as the user's changes.
    EXPECT_EQ(recorder.changedKeys(log->objectID()), QStringList{QStringLiteral("logNote")});
    EXPECT_FALSE(context->hasChanges());

    platform::store::ContextPtr fresh;
    Log *stored = reread<Log>(log, fresh);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->cloudKitID(), cloudID);
    EXPECT_EQ(stored->createdAt(), firstSave);
    EXPECT_EQ(stored->modifiedAt(), firstSave.addSecs(90));
}

TEST_F(EntityStoreTest, SavingAnUnchangedRecordAgainStampsNothing)
{
    Phones *phone = insert<Phones>();
    save(context);
    const QDateTime modified = phone->modifiedAt();
    clock->advanceSeconds(30);
    DidSaveRecorder recorder(context);
    save(context);
    EXPECT_FALSE(recorder.updated(phone->objectID()));
    EXPECT_EQ(phone->modifiedAt(), modified);
}

TEST_F(EntityStoreTest, ACreationDateSetByTheCreatorIsKept)
{
    const QDateTime preset = QDateTime(QDate(2020, 5, 17), QTime(8, 30), Qt::UTC);
    Phones *phone = insert<Phones>();
    phone->setCreatedAt(preset);
    save(context);
    EXPECT_EQ(phone->createdAt(), preset);
    EXPECT_EQ(phone->modifiedAt(), platform::core::Clock::now());
}

TEST_F(EntityStoreTest, AnIdentityGivenBeforeTheFirstSaveIsKept)
{
    Emails *email = insert<Emails>();
    email->setCloudKitID(QStringLiteral("Emails.FROM-ANOTHER-DEVICE"));
    email->setModifiedAt(QDateTime(QDate(2019, 1, 1), QTime(0, 0), Qt::UTC));
    save(context);
    EXPECT_EQ(email->cloudKitID(), QStringLiteral("Emails.FROM-ANOTHER-DEVICE"));
    // A record filled from the cloud carries the local save time, not the date of the cloud record.
    EXPECT_EQ(email->modifiedAt(), platform::core::Clock::now());
}

TEST_F(EntityStoreTest, EveryEntityNamesItsIdentityAfterItsEntityNotItsClass)
{
    PersonImage *image = insert<PersonImage>();
    Person *person = insert<Person>();
    FormFieldsList *choice = insert<FormFieldsList>();
    save(context);
    EXPECT_EQ(entityOfCloudID(image->cloudKitID()), QStringLiteral("Images"));
    EXPECT_TRUE(image->cloudKitID().startsWith(QStringLiteral("Images.")));
    EXPECT_EQ(entityOfCloudID(person->cloudKitID()), QStringLiteral("Person"));
    EXPECT_EQ(entityOfCloudID(choice->cloudKitID()), QStringLiteral("FormFieldsList"));
    EXPECT_NE(person->cloudKitID(), image->cloudKitID());
}

TEST_F(EntityStoreTest, TheOutgoingQueueGetsNoIdentityOrStamps)
{
    QDCloudProcessItem *item = insert<QDCloudProcessItem>();
    item->setObjectTableName(QStringLiteral("Log"));
    save(context);
    EXPECT_FALSE(item->entity()->attribute(QStringLiteral("cloudKitID")));
    EXPECT_FALSE(item->value(QStringLiteral("createdAt")).isValid());
}

TEST_F(EntityStoreTest, TheWholeStoreCopyDestinationKeepsValuesExactlyAsCopied)
{
    platform::store::ContextPtr destination = newContext(NSManagedObjectQDBase::MigrateStoreDestinationContextName);
    Log *empty = insert<Log>(destination);
    Log *copied = insert<Log>(destination);
    const QDateTime created = QDateTime(QDate(2018, 3, 4), QTime(5, 6, 7), Qt::UTC);
    const QDateTime modified = created.addDays(3);
    copied->setCloudKitID(QStringLiteral("Log.COPIED"));
    copied->setCreatedAt(created);
    copied->setModifiedAt(modified);
    save(destination);

    EXPECT_TRUE(empty->cloudKitID().isNull());
    EXPECT_FALSE(empty->createdAt().isValid());
    EXPECT_FALSE(empty->modifiedAt().isValid());
    platform::store::ContextPtr fresh;
    Log *storedEmpty = reread<Log>(empty, fresh);
    Log *storedCopy = reread<Log>(copied, fresh);
    ASSERT_TRUE(storedEmpty && storedCopy);
    EXPECT_TRUE(storedEmpty->cloudKitID().isNull());
    EXPECT_FALSE(storedEmpty->createdAt().isValid());
    EXPECT_FALSE(storedEmpty->modifiedAt().isValid());
    EXPECT_EQ(storedCopy->cloudKitID(), QStringLiteral("Log.COPIED"));
    EXPECT_EQ(storedCopy->createdAt(), created);
    EXPECT_EQ(storedCopy->modifiedAt(), modified);

    // The same record saved anywhere else is stamped as usual.
    storedEmpty->setLogNote(QStringLiteral("edited"));
    save(fresh);
    EXPECT_EQ(entityOfCloudID(storedEmpty->cloudKitID()), QStringLiteral("Log"));
    EXPECT_TRUE(storedEmpty->createdAt().isValid());
}

TEST(NSManagedObjectQDBase, EscapeStringQuotesOnlyWhatCsvNeeds)
{
    const struct
    {
        QString value;
        QString escaped;
    } cases[] = {
        {QStringLiteral("plain text"), QStringLiteral("plain text")},
        {QStringLiteral("Smith, John"), QStringLiteral("\"Smith, John\"")},
        {QStringLiteral("say \"hi\""), QStringLiteral("\"say \"\"hi\"\"\"")},
        {QStringLiteral("two\nlines"), QStringLiteral("\"two\nlines\"")},
        {QStringLiteral("carriage\rreturn"), QStringLiteral("carriage\rreturn")},
        {QStringLiteral("\"a\", b"), QStringLiteral("\"\"\"a\"\", b\"")},
        {QString(), QString()},
        {QStringLiteral(""), QStringLiteral("")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NSManagedObjectQDBase::escapeString(c.value), c.escaped) << c.value.toStdString();
}

TEST_F(EntityStoreTest, AddressBookFlagsAreKeptPerObjectAndNeverStored)
{
    Phones *phone = insert<Phones>();
    Phones *other = insert<Phones>();
    EXPECT_FALSE(phone->deleteFromAddressBook());
    EXPECT_FALSE(phone->updateValueInAddressBook());
    EXPECT_EQ(phone->fileDownloadMonitorQuery(), nullptr);
    phone->setDeleteFromAddressBook(true);
    phone->setUpdateValueInAddressBook(true);
    EXPECT_TRUE(phone->deleteFromAddressBook());
    EXPECT_TRUE(phone->updateValueInAddressBook());
    EXPECT_FALSE(other->deleteFromAddressBook());
    EXPECT_FALSE(phone->hasChangedKey(QStringLiteral("deleteFromAddressBook")));
    save(context);

    platform::store::ContextPtr fresh;
    Phones *stored = reread<Phones>(phone, fresh);
    ASSERT_NE(stored, nullptr);
    EXPECT_FALSE(stored->deleteFromAddressBook());
    EXPECT_FALSE(stored->updateValueInAddressBook());
}

TEST_F(EntityStoreTest, CloneCopiesAttributesButStartsANewIdentity)
{
    Person *person = insert<Person>();
    Location *place = insert<Location>();
    Log *source = insert<Log>();
    source->setLogNote(QStringLiteral("Lunch"));
    source->setLogDate(QDateTime(QDate(2025, 2, 3), QTime(12, 0), Qt::UTC));
    source->setLogFlags(7);
    source->setPerson(person);
    source->setLogLocation(place);
    save(context);
    // As after an upload and a remote deletion notice: both belong to the source's own cloud record.
    source->setCloudKitFields(QByteArrayLiteral("archived system fields"));
    source->setCloudKitRemotelyDeleted(true);
    save(context);
    const QString sourceID = source->cloudKitID();
    const QDateTime sourceCreated = source->createdAt();
    const QDateTime sourceModified = source->modifiedAt();

    clock->advanceSeconds(3600);
    auto *clone = dynamic_cast<Log *>(source->makeCloneOfObjectWithContext(context.get()));
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, source);
    EXPECT_EQ(clone->logNote(), QStringLiteral("Lunch"));
    EXPECT_EQ(clone->logDate(), source->logDate());
    EXPECT_EQ(clone->logFlags(), 7);
    EXPECT_EQ(clone->modifiedAt(), sourceModified);
    EXPECT_EQ(clone->createdAt(), platform::core::Clock::now());
    EXPECT_TRUE(clone->cloudKitID().isNull());
    EXPECT_TRUE(clone->cloudKitFields().isNull());
    EXPECT_FALSE(clone->value(NSManagedObjectQDBase::CloudKitRemotelyDeletedKey).isValid());
    EXPECT_EQ(clone->person(), nullptr);
    EXPECT_EQ(clone->logLocation(), nullptr);

    save(context);
    EXPECT_EQ(entityOfCloudID(clone->cloudKitID()), QStringLiteral("Log"));
    EXPECT_NE(clone->cloudKitID(), sourceID);
    EXPECT_EQ(source->cloudKitID(), sourceID);
    EXPECT_EQ(source->createdAt(), sourceCreated);
    EXPECT_EQ(source->cloudKitFields(), QByteArrayLiteral("archived system fields"));
    EXPECT_TRUE(source->cloudKitRemotelyDeleted());

    platform::store::ContextPtr fresh;
    Log *storedClone = reread<Log>(clone, fresh);
    ASSERT_NE(storedClone, nullptr);
    EXPECT_TRUE(storedClone->cloudKitFields().isEmpty());
    EXPECT_FALSE(storedClone->cloudKitRemotelyDeleted());
}

TEST_F(EntityStoreTest, CloneIntoAnotherContextUsesThatContextsEntity)
{
    PersonImage *image = insert<PersonImage>();
    image->setFullImageFileName(QStringLiteral("ABC.jpg"));
    save(context);
    platform::store::ContextPtr other = newContext();
    auto *clone = dynamic_cast<PersonImage *>(image->makeCloneOfObjectWithContext(other.get()));
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->managedObjectContext(), other.get());
    EXPECT_EQ(clone->entityName(), QStringLiteral("Images"));
    EXPECT_EQ(clone->fullImageFileName(), QStringLiteral("ABC.jpg"));
    EXPECT_EQ(NSManagedObject_Category::makeCloneOfObjectWithContext(*image, nullptr), nullptr);
}

TEST_F(EntityStoreTest, TransformableValuesSurviveTheStore)
{
    platform::core::DateComponents daily;
    daily.setDay(1);
    ToDo *todo = insert<ToDo>();
    todo->setTodoRepeatInterval(QVariant::fromValue(daily));
    EmailTemplate *templ = insert<EmailTemplate>();
    templ->setTemplateProperties(QVariantMap{{QStringLiteral("subject"), QStringLiteral("Hello")}});
    save(context);

    platform::store::ContextPtr fresh;
    ToDo *storedToDo = reread<ToDo>(todo, fresh);
    EmailTemplate *storedTemplate = reread<EmailTemplate>(templ, fresh);
    ASSERT_TRUE(storedToDo && storedTemplate);
    EXPECT_EQ(storedToDo->todoRepeatInterval().value<platform::core::DateComponents>(), daily);
    EXPECT_EQ(storedTemplate->templateProperties().toMap().value(QStringLiteral("subject")).toString(),
              QStringLiteral("Hello"));
}

TEST_F(EntityStoreTest, AValueTheArchiveCannotHoldFailsTheSaveAndStoresNothing)
{
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const struct {
        const char *name;
        QVariant value;
    } rows[] = {
        {"image", QVariant(picture)},
        {"point", QVariant(QPoint(1, 2))},
        {"url", QVariant(QUrl(QStringLiteral("https://example.com")))},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Person *person = insert<Person>();
        person->setFirstName(QStringLiteral("Ada"));
        person->setPrivateImage(row.value);
        platform::core::QDError error;
        EXPECT_FALSE(context->save(&error));
        EXPECT_EQ(error.domain(), platform::store::StoreErrorDomain);
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("privateImage")))
            << error.toString().toStdString();

        // Nothing of the failed save reached the file.
        auto fresh = newContext();
        platform::store::FetchRequest request(Person::EntityName);
        EXPECT_EQ(fresh->countForFetchRequest(request), 0);
        context->deleteObject(person);
        save(context);
    }

    // The picture as image data is what the attribute holds; that saves and reads back whole.
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    Person *person = insert<Person>();
    person->setPrivateImage(png);
    save(context);
    platform::store::ContextPtr fresh;
    Person *stored = reread<Person>(person, fresh);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->privateImage().toByteArray(), png);
}

TEST_F(EntityStoreTest, ReassignToPersonOfARecordWithoutItsOwnOnlyLogs)
{
    auto logger = CapturingLogger::install();
    Person *from = insert<Person>();
    Person *to = insert<Person>();
    Phones *phone = insert<Phones>();
    phone->setPerson(from);
    QDCloudProcessItem *item = insert<QDCloudProcessItem>();
    save(context);

    phone->reassignToPerson(to);
    NSManagedObject_Category::reassignToPerson(*item, to);
    EXPECT_EQ(phone->person(), from);
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(logger->lines().count(NSManagedObject_Category::ReassignFallbackLogLine), 2);
}

TEST(ManagedObjectContextCloudKit, GeneratedIdentifiersNameTheEntityAndANewUuid)
{
    const QString first = ManagedObjectContextCloudKit::generateCloudKitIDForEntityName(QStringLiteral("Log"));
    const QString second = ManagedObjectContextCloudKit::generateCloudKitIDForEntityName(QStringLiteral("Log"));
    EXPECT_EQ(entityOfCloudID(first), QStringLiteral("Log")) << first.toStdString();
    EXPECT_NE(first, second);
    EXPECT_EQ(first.size(), 3 + 1 + 36);
}

TEST(ManagedObjectContextCloudKit, EntityNameIsThePartBeforeTheFirstPoint)
{
    const struct
    {
        QString cloudID;
        QString entity;
    } cases[] = {
        {QStringLiteral("Log.0F6E5C9A-1111-2222-3333-444455556666"), QStringLiteral("Log")},
        {QStringLiteral("Images.A.B"), QStringLiteral("Images")},
        {QStringLiteral("NoPoint"), QStringLiteral("NoPoint")},
        {QStringLiteral(".leading"), QStringLiteral("")},
        {QStringLiteral(""), QStringLiteral("")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ManagedObjectContextCloudKit::entityNameForCloudID(c.cloudID), c.entity) << c.cloudID.toStdString();
}

TEST_F(EntityStoreTest, ObjectWithCloudIDFindsTheRecordOfThatEntityOrNothing)
{
    Log *log = insert<Log>();
    PersonImage *image = insert<PersonImage>();
    Log *preset = insert<Log>();
    preset->setCloudKitID(QStringLiteral("Log.PENDING"));
    save(context);
    Log *pending = insert<Log>();
    pending->setCloudKitID(QStringLiteral("Log.NOT-SAVED-YET"));

    EXPECT_EQ(ManagedObjectContextCloudKit::objectWithCloudID(context.get(), log->cloudKitID()), log);
    EXPECT_EQ(ManagedObjectContextCloudKit::objectWithCloudID(context.get(), image->cloudKitID()), image);
    EXPECT_EQ(ManagedObjectContextCloudKit::objectWithCloudID(context.get(), QStringLiteral("Log.PENDING")), preset);
    EXPECT_EQ(ManagedObjectContextCloudKit::objectWithCloudID(context.get(), QStringLiteral("Log.NOT-SAVED-YET")),
              pending);
    EXPECT_EQ(ManagedObjectContextCloudKit::objectWithCloudID(context.get(), QStringLiteral("Log.MISSING")), nullptr);
    // The same UUID under another entity is another record.
    const QString uuid = log->cloudKitID().section(QLatin1Char('.'), 1);
    EXPECT_EQ(ManagedObjectContextCloudKit::objectWithCloudID(context.get(), QStringLiteral("Person.") + uuid),
              nullptr);
    // Names from a newer model or from nowhere are simply not found.
    EXPECT_EQ(ManagedObjectContextCloudKit::objectWithCloudID(context.get(), QStringLiteral("QDSmartGroup.X")),
              nullptr);
    EXPECT_EQ(ManagedObjectContextCloudKit::objectWithCloudID(context.get(), QStringLiteral("garbage")), nullptr);
    EXPECT_EQ(ManagedObjectContextCloudKit::objectWithCloudID(context.get(), QString()), nullptr);

    // A private context on the same coordinator finds its own object for the record.
    auto worker = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    worker->setPersistentStoreCoordinator(coordinator);
    ManagedObject *found = ManagedObjectContextCloudKit::objectWithCloudID(worker.get(), log->cloudKitID());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->managedObjectContext(), worker.get());
    EXPECT_EQ(found->objectID(), log->objectID());

    // A child context reaches the model through its parent.
    auto child = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
    child->setParentContext(context);
    ManagedObject *inChild = ManagedObjectContextCloudKit::objectWithCloudID(child.get(), image->cloudKitID());
    ASSERT_NE(inChild, nullptr);
    EXPECT_EQ(inChild->objectID(), image->objectID());
}

TEST_F(EntityStoreTest, AnEditorsChildContextAndAPrivateContextStampAsTheMainContextDoes)
{
    // The editors' way: a child of the main context saves into it, and the main context saves to the file.
    auto editor = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    editor->setParentContext(context);
    ManagedObjectID logID;
    editor->performAndWait([&] {
        Log *log = editor->insertNewObject<Log>(Log::EntityName);
        log->setLogNote(QStringLiteral("from the editor"));
        platform::core::QDError error;
        ASSERT_TRUE(editor->save(&error)) << error.toString().toStdString();
        logID = log->objectID();
    });
    clock->advanceSeconds(5);
    save(context);
    platform::store::ContextPtr fresh = newContext();
    ManagedObject *stored = nullptr;
    for (ManagedObject *object : fresh->executeFetchRequest(Log::fetchRequest()))
        stored = object;
    auto *storedLog = dynamic_cast<Log *>(stored);
    ASSERT_NE(storedLog, nullptr);
    EXPECT_EQ(storedLog->logNote(), QStringLiteral("from the editor"));
    EXPECT_EQ(entityOfCloudID(storedLog->cloudKitID()), QStringLiteral("Log"));
    EXPECT_TRUE(storedLog->createdAt().isValid());
    EXPECT_EQ(storedLog->modifiedAt(), platform::core::Clock::now());

    // The cloud engine's way: a private context on the coordinator, saved on its own queue.
    auto worker = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    worker->setPersistentStoreCoordinator(coordinator);
    QString workerID;
    QDateTime workerCreated;
    worker->performAndWait([&] {
        Phones *phone = worker->insertNewObject<Phones>(Phones::EntityName);
        platform::core::QDError error;
        ASSERT_TRUE(worker->save(&error)) << error.toString().toStdString();
        workerID = phone->cloudKitID();
        workerCreated = phone->createdAt();
    });
    EXPECT_EQ(entityOfCloudID(workerID), QStringLiteral("Phones"));
    EXPECT_EQ(workerCreated, platform::core::Clock::now());
}

TEST_F(EntityStoreTest, ValuesKeptOnTheObjectStartEmptyAndAreNeverStored)
{
    PersonAddress *address = insert<PersonAddress>();
    Location *place = insert<Location>();
    Person *person = insert<Person>();
    // A distance that was never computed reads as 0; -1 is what a computation gives without a position.
    EXPECT_EQ(address->distance(), 0);
    EXPECT_EQ(place->distance(), 0);
    EXPECT_EQ(address->retries(), 0);
    EXPECT_FALSE(person->dontReloadRecord());
    address->setDistance(-1);
    address->setRetries(2);
    place->setDistance(1234.5);
    person->setDontReloadRecord(true);
    EXPECT_FALSE(address->hasChangedKey(QStringLiteral("distance")));
    save(context);

    platform::store::ContextPtr fresh;
    EXPECT_EQ(reread<PersonAddress>(address, fresh)->distance(), 0);
    EXPECT_EQ(reread<PersonAddress>(address, fresh)->retries(), 0);
    EXPECT_EQ(reread<Location>(place, fresh)->distance(), 0);
    EXPECT_FALSE(reread<Person>(person, fresh)->dontReloadRecord());
}
