// The contacts list in step with the address book: the name pass after a change of the name settings,
// other programs' changes to the cards, the look for new people to import, and a contact leaving the list.

#include "ContactsFixture.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/PersonAddressBookBridge.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/contacts/AddressBook.h"
#include "platform/core/NotificationCenter.h"

#include <QTemporaryDir>
#include <QTest>

using namespace contacts_test;
namespace ab = platform::contacts;
using Source = ContactsListDisplaySource;

namespace {

class AddressBookDelegate : public RecordingDelegate
{
public:
    void newContactsAvailable(const QList<ab::ContactRecord> &records) override { offers.append(records); }
    bool respondsToSelectPersonRow() const override { return true; }
    void selectPersonRow(qsizetype row) override { selectedRows.append(row); }

    QList<QList<ab::ContactRecord>> offers;
    QList<qsizetype> selectedRows;
};

// What one "SyncWithAddressBookChangeNotification" carried.
struct Posted
{
    bool hasUserInfo = false;
    QStringList inserted; // record names
    QList<platform::store::ManagedObject *> updated;
    QList<platform::store::ManagedObject *> deleted;
};

class AddressBookChangesTest : public ContactsStoreTest
{
protected:
    void SetUp() override
    {
        ContactsStoreTest::SetUp();
        SharedSettingController::sharedSettings(); // loads the data plist before the test sets values in it
        dataPlistValues().setValue(Person::DisplayOrderSettingKey, 0);
        dataPlistValues().setValue(Person::SortOrderSettingKey, 0);
        dataPlistValues().remove(Source::AutoImportContactsKey);
        dataPlistValues().remove(Source::LastCheckedForNewContactsTimeKey);
        book = std::make_shared<ab::AddressBook>(folder.path() + QStringLiteral("/contacts"));
        ASSERT_TRUE(book->load());
        bridge = VCardAddressBookBridge::installFor(book);
        observer = platform::core::ScopedObserver(
            Source::SyncWithAddressBookChangeNotification, nullptr, [this](const platform::core::Notification &n) {
                Posted one;
                one.hasUserInfo = !n.userInfo.isEmpty();
                for (const ab::ContactRecord &r : n.userInfo.value(Source::InsertedRecordsKey).value<QList<ab::ContactRecord>>())
                    one.inserted << r.fullName();
                using List = platform::store::ManagedObject::ObjectList;
                one.updated = n.userInfo.value(Source::UpdatedRecordsKey).value<List>();
                one.deleted = n.userInfo.value(Source::DeletedRecordsKey).value<List>();
                posts.append(one);
            });
    }
    void TearDown() override
    {
        observer.reset();
        source.reset();
        dataPlistValues().remove(Source::AutoImportContactsKey);
        dataPlistValues().remove(Source::LastCheckedForNewContactsTimeKey);
        PersonAddressBookBridge::install(nullptr);
        SharedSettingController::setContactsBridge(nullptr);
        ContactsStoreTest::TearDown();
    }

    void makeSource(bool withQueue)
    {
        source = std::make_unique<Source>();
        source->setManagedObjectContext(context);
        if (withQueue)
            source->setFilterQueue(platform::core::DispatchQueue::serial(QStringLiteral("com.morvane.QDFilterMainQueue")));
        source->setDelegate(&delegate);
        source->setAddressBook(book);
        source->awakeFromNib();
        source->resetDatasource();
    }

    ab::ContactRecord saveCard(const QString &first, const QString &last, const QDateTime &created = {})
    {
        ab::ContactRecord r;
        r.setStringValue(ab::property::FirstName, first);
        r.setStringValue(ab::property::LastName, last);
        if (created.isValid()) {
            r.setCreationDate(created);
            r.setModificationDate(created);
        }
        book->setRecord(r);
        EXPECT_TRUE(book->save());
        return *book->recordForUniqueId(r.uniqueId());
    }

    // A contact imported from a card and linked to it.
    Person *linkedContact(const ab::ContactRecord &record)
    {
        auto *person = insert<Person>();
        EXPECT_TRUE(bridge->updatePersonWithABRecord(*person, record));
        bridge->setMacUniqueIdentifier(*person, record.uniqueId());
        // Read from the card a while ago, so that any later change of the card is newer.
        person->setRecordModifiedDate(QDateTime::currentDateTimeUtc().addDays(-1));
        EXPECT_TRUE(context->save());
        bridge->setMacUniqueIdentifier(*person, record.uniqueId()); // now under the saved identifier
        return person;
    }

    void changeCard(const QString &uid, const std::function<void(ab::ContactRecord &)> &change)
    {
        auto r = *book->recordForUniqueId(uid);
        change(r);
        r.setModificationDate(QDateTime::currentDateTimeUtc().addSecs(60));
        book->setRecord(r);
        ASSERT_TRUE(book->save());
    }

    bool waitForPosts(qsizetype count)
    {
        return QTest::qWaitFor([&] { return posts.size() >= count && !source->isSyncingWithAddressBook(); }, 5000);
    }

    QTemporaryDir folder;
    std::shared_ptr<ab::AddressBook> book;
    std::shared_ptr<VCardAddressBookBridge> bridge;
    AddressBookDelegate delegate;
    std::unique_ptr<Source> source;
    platform::core::ScopedObserver observer;
    QList<Posted> posts;
};

TEST_F(AddressBookChangesTest, TheNamePassRenamesEveryContactOffTheMainThreadAndEndsWithOneNotice)
{
    Person *ann = addPerson(QStringLiteral("Ann"), QStringLiteral("Zeller"));
    Person *bob = addPerson(QStringLiteral("Bob"), QStringLiteral("Adams"));
    ASSERT_TRUE(context->save());
    makeSource(true);
    // A search that lists nobody does not keep the others' names from following the settings.
    source->searchResultsWithString(QStringLiteral("nobody at all"));
    source->finishPendingWork();
    ASSERT_TRUE(source->arrangedObjects().isEmpty());

    dataPlistValues().setValue(Person::DisplayOrderSettingKey, 1);
    dataPlistValues().setValue(Person::SortOrderSettingKey, 1);
    source->syncWithPersonsListWithTypeOfChange(Source::RemakeDisplayNames);
    ASSERT_TRUE(waitForPosts(1));
    EXPECT_EQ(ann->displayName(), ann->makeDisplayName());
    EXPECT_NE(ann->displayName(), QStringLiteral("Ann Zeller"));
    source->syncWithPersonsListWithTypeOfChange(Source::RemakeSortingNames);
    ASSERT_TRUE(waitForPosts(2));
    EXPECT_EQ(bob->normalizedDisplayName(),
              NormalizedStringTransformer::normalizeString(bob->makeSortingName()));
    // Both passes were stored through the main context, and neither notice carried any changes.
    EXPECT_FALSE(context->hasChanges());
    EXPECT_FALSE(posts[0].hasUserInfo);
    EXPECT_FALSE(posts[1].hasUserInfo);
    EXPECT_FALSE(globalDontFetchFromDropBox.load());
    ASSERT_FALSE(delegate.updates.isEmpty());
    EXPECT_TRUE(delegate.updates.last());
    EXPECT_TRUE(delegate.onMainThread);
    platform::store::ContextPtr fresh;
    EXPECT_EQ(reread<Person>(ann, fresh)->displayName(), ann->displayName());
}

TEST_F(AddressBookChangesTest, AnEmptyStoreOrAPickerRunsNoPassAndARestoreStopsOneButItStillEnds)
{
    makeSource(false);
    source->syncWithPersonsListWithTypeOfChange(Source::RemakeSortingNames);
    QTest::qWait(20);
    EXPECT_TRUE(posts.isEmpty());

    Person *ann = addPerson(QStringLiteral("Ann"), QStringLiteral("Zeller"));
    ASSERT_TRUE(context->save());
    source->refetchArrayController();
    source->setSelectionStyle(Source::SelectionStyle::MultipleChoice);
    source->syncWithPersonsListWithTypeOfChange(Source::RemakeSortingNames);
    QTest::qWait(20);
    EXPECT_TRUE(posts.isEmpty());

    source->setSelectionStyle(Source::SelectionStyle::MainList);
    dataPlistValues().setValue(Person::DisplayOrderSettingKey, 1);
    source->setIsRestoringData(true);
    source->syncWithPersonsListWithTypeOfChange(Source::RemakeDisplayNames);
    ASSERT_TRUE(waitForPosts(1));
    EXPECT_EQ(ann->displayName(), QStringLiteral("Ann Zeller")); // nothing saved
    EXPECT_FALSE(source->isRestoringData());
    EXPECT_FALSE(globalDontFetchFromDropBox.load());
}

TEST_F(AddressBookChangesTest, OtherProgramsChangesUpdateUnlinkAndOfferContacts)
{
    const ab::ContactRecord annCard = saveCard(QStringLiteral("Ann"), QStringLiteral("Lee"));
    const ab::ContactRecord bobCard = saveCard(QStringLiteral("Bob"), QStringLiteral("Stone"));
    Person *ann = linkedContact(annCard);
    Person *bob = linkedContact(bobCard);
    makeSource(false);

    // Ann's card renamed, Bob's card gone, a new card: one notice names each.
    changeCard(annCard.uniqueId(), [](ab::ContactRecord &r) { r.setStringValue(ab::property::LastName, QStringLiteral("Lee-Park")); });
    ASSERT_TRUE(book->removeRecord(bobCard.uniqueId()));
    ASSERT_TRUE(book->save());
    const ab::ContactRecord newCard = saveCard(QStringLiteral("Cleo"), QStringLiteral("Moss"));
    source->notificationAddressBookChangedExternally({newCard.uniqueId()}, {annCard.uniqueId()}, {bobCard.uniqueId()});

    ASSERT_EQ(posts.size(), 1);
    EXPECT_EQ(posts[0].inserted, QStringList{QStringLiteral("Cleo Moss")});
    EXPECT_EQ(posts[0].updated, (QList<platform::store::ManagedObject *>{ann}));
    EXPECT_EQ(posts[0].deleted, (QList<platform::store::ManagedObject *>{bob}));
    EXPECT_EQ(ann->lastName(), QStringLiteral("Lee-Park"));
    EXPECT_FALSE(context->hasChanges()); // the refreshed contact was saved
    // Bob stays, no longer linked.
    EXPECT_FALSE(bob->isDeleted());
    EXPECT_TRUE(bob->macUniqueIdentifier().isEmpty());
    EXPECT_FALSE(SharedSettingController::sharedSettings().contactReferenceIDExists(bobCard.uniqueId()));
    ASSERT_EQ(delegate.offers.size(), 1);
    EXPECT_EQ(delegate.offers[0].value(0).uniqueId(), newCard.uniqueId());
    EXPECT_FALSE(globalDontFetchFromDropBox.load());

    // A notice naming nothing still ends with the three (empty) lists.
    source->notificationAddressBookChangedExternally({}, {}, {});
    ASSERT_EQ(posts.size(), 2);
    EXPECT_TRUE(posts[1].hasUserInfo);
    EXPECT_TRUE(posts[1].inserted.isEmpty() && posts[1].updated.isEmpty() && posts[1].deleted.isEmpty());
}

TEST_F(AddressBookChangesTest, PrivateOrUnlinkedContactsAndOurOwnReplacedCardsAreLeftAlone)
{
    const ab::ContactRecord card = saveCard(QStringLiteral("Dana"), QStringLiteral("Kerr"));
    Person *dana = linkedContact(card);
    Person *privateOne = addPerson(QStringLiteral("Eve"), QStringLiteral("Hart"));
    privateOne->setIsContactPrivate(true);
    ASSERT_TRUE(context->save());
    makeSource(false);

    // A card we just wrote ourselves, replaced by another program: the new card is not offered, but the
    // contact of the card that went is still unlinked.
    const ab::ContactRecord ours = saveCard(QStringLiteral("Fay"), QStringLiteral("Lund"));
    EXPECT_EQ(source->recentlySavedRecords(), QStringList{ours.uniqueId()});
    SharedSettingController::sharedSettings().setContactReferenceID(ours.uniqueId(), dana->objectID());
    bridge->setMacUniqueIdentifier(*dana, ours.uniqueId());
    const ab::ContactRecord replacement = saveCard(QStringLiteral("Fay"), QStringLiteral("Lund"));
    source->notificationAddressBookChangedExternally({replacement.uniqueId()}, {}, {ours.uniqueId()});
    EXPECT_TRUE(delegate.offers.isEmpty());
    ASSERT_EQ(posts.size(), 1);
    EXPECT_EQ(posts[0].inserted, QStringList{QStringLiteral("Fay Lund")});
    EXPECT_EQ(posts[0].deleted, (QList<platform::store::ManagedObject *>{dana}));
    EXPECT_TRUE(source->recentlySavedRecords().isEmpty());

    // A private contact behind a card that went, and identifiers with no contact behind them: nothing changes.
    const ab::ContactRecord privateCard = saveCard(QStringLiteral("Eve"), QStringLiteral("Hart"));
    SharedSettingController::sharedSettings().setContactReferenceID(privateCard.uniqueId(), privateOne->objectID());
    ASSERT_TRUE(book->removeRecord(privateCard.uniqueId()));
    ASSERT_TRUE(book->save());
    source->notificationAddressBookChangedExternally({}, {QStringLiteral("no-such-card")},
                                                     {QStringLiteral("gone-too"), privateCard.uniqueId()});
    ASSERT_EQ(posts.size(), 2);
    EXPECT_TRUE(posts[1].updated.isEmpty() && posts[1].deleted.isEmpty());
    EXPECT_TRUE(SharedSettingController::sharedSettings().contactReferenceIDExists(privateCard.uniqueId()));
}

TEST_F(AddressBookChangesTest, TheLookForNewPeopleOffersOnlyWhenAskedAndOnlyWhatIsNew)
{
    const QDateTime earlier = QDateTime::currentDateTimeUtc().addDays(-2);
    const ab::ContactRecord linked = saveCard(QStringLiteral("Gil"), QStringLiteral("Bay"), earlier);
    linkedContact(linked);
    saveCard(QStringLiteral("Hal"), QStringLiteral("Cole"), earlier);
    makeSource(false);

    // Not asked for: no look, no time kept.
    source->checkForNewContactsToImport();
    QTest::qWait(50);
    EXPECT_TRUE(delegate.offers.isEmpty());
    EXPECT_FALSE(dataPlistValues().contains(Source::LastCheckedForNewContactsTimeKey));

    // The first look offers every unlinked person.
    dataPlistValues().setValue(Source::AutoImportContactsKey, true);
    source->postSyncWithContactsList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate.offers.isEmpty() && !source->isSyncingWithAddressBook(); }, 5000));
    ASSERT_EQ(delegate.offers.size(), 1);
    ASSERT_EQ(delegate.offers[0].size(), 1);
    EXPECT_EQ(delegate.offers[0][0].fullName(), QStringLiteral("Hal Cole"));
    const QDateTime checked = dataPlistValues().dateValue(Source::LastCheckedForNewContactsTimeKey);
    EXPECT_TRUE(checked.isValid());

    // The next look offers only what was created since.
    saveCard(QStringLiteral("Ida"), QStringLiteral("Dunn"), checked.addSecs(5));
    source->checkForNewContactsToImport();
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.offers.size() == 2 && !source->isSyncingWithAddressBook(); }, 5000));
    ASSERT_EQ(delegate.offers[1].size(), 1);
    EXPECT_EQ(delegate.offers[1][0].fullName(), QStringLiteral("Ida Dunn"));
}

TEST_F(AddressBookChangesTest, AContactLeavingTheListTakesItsSectionWhenItWasAloneAndIsDeletedWhenAsked)
{
    Person *ann = addPerson(QStringLiteral("Ann"), QStringLiteral("Abel"));
    Person *amy = addPerson(QStringLiteral("Amy"), QStringLiteral("Ames"));
    Person *bob = addPerson(QStringLiteral("Bob"), QStringLiteral("Brown"));
    ASSERT_TRUE(context->save());
    makeSource(false);
    ASSERT_EQ(sectionsOf(*source), (QStringList{"A: Ann Abel, Amy Ames", "B: Bob Brown"}));

    // Kept in the store: only the row goes.
    source->deletePersonFromOutlineView(amy, false, -1, QStringLiteral("A"));
    ASSERT_EQ(delegate.removals.size(), 1);
    EXPECT_EQ(delegate.removals[0].row, 1);
    EXPECT_EQ(delegate.removals[0].section, -1);
    EXPECT_EQ(sectionsOf(*source), (QStringList{"A: Ann Abel", "B: Bob Brown"}));
    EXPECT_FALSE(amy->isDeleted());

    // The last of its section: the section's index, and the letter goes.
    source->deletePersonFromOutlineView(bob, true, 4, QStringLiteral("B"));
    ASSERT_EQ(delegate.removals.size(), 2);
    EXPECT_EQ(delegate.removals[1].row, 0);
    EXPECT_EQ(delegate.removals[1].section, 1);
    EXPECT_EQ(source->alphabetsUsed(), QStringList{QStringLiteral("A")});
    EXPECT_EQ(delegate.selectedRows, (QList<qsizetype>{-1, 4}));
    EXPECT_FALSE(context->hasChanges());
    platform::store::ContextPtr fresh = newContext();
    EXPECT_EQ(Person::getAllPersonsWithContext(fresh.get()).size(), 2);
    (void)ann;
}

} // namespace
