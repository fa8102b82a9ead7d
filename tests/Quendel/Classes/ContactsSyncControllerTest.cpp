#include "Classes/Sync/ContactsSyncController.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/EntityStoreFixture.h"
#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

using namespace quendel::test;
namespace ab = platform::contacts;

namespace {

bool waitFor(const std::function<bool()> &done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return done();
}

class ContactsSyncTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        book = std::make_shared<ab::AddressBook>(folder.path() + QStringLiteral("/contacts"));
        ASSERT_TRUE(book->load());
        bridge = VCardAddressBookBridge::installFor(book);
        controller = std::make_shared<ContactsSyncController>(context, book, bridge);
    }
    void TearDown() override
    {
        controller.reset();
        PersonAddressBookBridge::install(nullptr);
        SharedSettingController::setContactsBridge(nullptr);
        EntityStoreTest::TearDown();
    }

    QTemporaryDir folder;
    std::shared_ptr<ab::AddressBook> book;
    std::shared_ptr<VCardAddressBookBridge> bridge;
    std::shared_ptr<ContactsSyncController> controller;
};

} // namespace

// The private context is reset after every hundredth contact and once at the end.
TEST_F(ContactsSyncTest, LinksAndPicturesOfGivenContactsComeInBatches)
{
    struct Case
    {
        int contacts;
        int resets;
    };
    for (const Case &c : {Case{0, 1}, Case{99, 1}, Case{250, 3}}) {
        QList<platform::store::ManagedObjectID> ids;
        for (int i = 0; i < c.contacts; ++i) {
            auto *person = insert<Person>();
            person->setFirstName(QStringLiteral("P%1").arg(i));
        }
        ASSERT_TRUE(context->save());
        for (Person *person : Person::getAllPersonsWithContext(context.get()))
            if (ids.size() < c.contacts)
                ids << person->objectID();
        const int before = controller->resetCount();
        bool done = false;
        bool answer = false;
        controller->loadImageReferenceWithObjectIDs(ids, [&](bool ok) {
            answer = ok;
            done = true;
        });
        ASSERT_TRUE(waitFor([&] { return done; }));
        EXPECT_TRUE(answer);
        EXPECT_EQ(controller->resetCount() - before, c.resets) << c.contacts;
    }
}

// A pass with nothing changed saves nothing; a card changed by another program reaches the main context.
TEST_F(ContactsSyncTest, RefreshPassCopiesNewerCardsAndSavesBothContexts)
{
    ab::ContactRecord record;
    record.setStringValue(ab::property::FirstName, QStringLiteral("Ann"));
    ab::MultiValue emails;
    emails.add(QStringLiteral("old@example.com"), QStringLiteral("work"));
    record.setMultiValue(ab::property::Email, emails);
    book->setRecord(record);
    ASSERT_TRUE(book->save());
    auto *person = insert<Person>();
    ASSERT_TRUE(bridge->updatePersonWithABRecord(*person, book->recordForUniqueId(record.uniqueId())));
    ASSERT_TRUE(context->save());
    bridge->setMacUniqueIdentifier(*person, record.uniqueId());

    std::optional<bool> saved;
    controller->syncPersonsListForChangeType(ContactsSyncController::UpdateContactInfo, [&](bool s) { saved = s; });
    ASSERT_TRUE(waitFor([&] { return saved.has_value(); }));
    EXPECT_FALSE(*saved);

    ab::ContactRecord changed = *book->recordForUniqueId(record.uniqueId());
    ab::MultiValue newEmails = changed.multiValue(ab::property::Email);
    newEmails.replaceValue(0, QStringLiteral("new@example.com"));
    changed.setMultiValue(ab::property::Email, newEmails);
    QThread::sleep(1); // a later modification second
    book->setRecord(changed);
    ASSERT_TRUE(book->save());
    saved.reset();
    controller->syncPersonsListForChangeType(ContactsSyncController::UpdateContactInfo, [&](bool s) { saved = s; });
    ASSERT_TRUE(waitFor([&] { return saved.has_value(); }));
    EXPECT_TRUE(*saved);
    platform::store::ContextPtr fresh;
    Person *reread = this->reread<Person>(person, fresh);
    ASSERT_NE(reread, nullptr);
    ASSERT_EQ(reread->emails().size(), 1);
    EXPECT_EQ(reread->emails().first()->emailAddress(), QStringLiteral("new@example.com"));
}

TEST_F(ContactsSyncTest, LaunchChainWithoutPublicContactsAnswersNoAndPostsNothing)
{
    int posted = 0;
    platform::core::ScopedObserver observer(NotificationContactsLinkAndImageLoadFinished, nullptr,
                                            [&](const platform::core::Notification &) { ++posted; });
    std::optional<bool> loaded;
    controller->operationsForLoadingContactImagesAndLinksWithInitialDependentOperation(nullptr,
                                                                                       [&](bool l) { loaded = l; });
    ASSERT_TRUE(waitFor([&] { return loaded.has_value(); }));
    EXPECT_FALSE(*loaded);
    EXPECT_EQ(posted, 0);
}

TEST_F(ContactsSyncTest, CloudUploadPausesThePass)
{
    controller->cloudKitProcessStart();
    std::optional<bool> saved;
    controller->syncPersonsListForChangeType(ContactsSyncController::UpdateContactInfo, [&](bool s) { saved = s; });
    ASSERT_TRUE(waitFor([&] { return saved.has_value(); }));
    EXPECT_FALSE(*saved);
    EXPECT_FALSE(globalDontFetchFromDropBox.load());
    controller->cloudKitProcessFinished();
}
