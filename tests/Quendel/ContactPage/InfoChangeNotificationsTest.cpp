// The Info page shows its contact anew when the contact changed elsewhere: in a private group or its details
// on another device, or its card in the address book; other contacts' changes leave it alone.

#include "ContactPageFixture.h"

#include "Mac/Shell/CustomNSOutlineView.h"
#include "QuendelKit/Entities/PrivateGroups.h"

#include "platform/core/NotificationCenter.h"

#include <QStandardItemModel>
#include <QTest>

using namespace quendel::test;
using Page = ContactInfoViewControllerMac;
using List = platform::store::ManagedObject::ObjectList;

namespace {

QStringList sections(Page &page)
{
    QStringList out;
    auto *model = qobject_cast<QStandardItemModel *>(page.outlineView()->model());
    for (int s = 0; s < model->rowCount(); ++s)
        out << model->item(s)->text();
    return out;
}

class InfoChangeNotificationsTest : public ContactPageTest
{
protected:
    void post(const QString &name, const void *object, const QVariantMap &userInfo = {})
    {
        platform::core::NotificationCenter::defaultCenter().post(name, object, userInfo);
        QTest::qWait(10);
    }
    static QVariantMap addressBookPass(const List &updated, const List &deleted)
    {
        return {{Page::UpdatedRecordsKey, QVariant::fromValue(updated)},
                {Page::DeletedRecordsKey, QVariant::fromValue(deleted)},
                {QStringLiteral("kABInsertedRecords"), QVariant()}};
    }
};

TEST_F(InfoChangeNotificationsTest, RemoteChangesAndGroupChangesReloadOnlyTheirOwnContact)
{
    Person *ann = storedPerson(QStringLiteral("Ann"));
    Person *bob = storedPerson(QStringLiteral("Bob"));
    Page page(ann, false, false, context);
    page.resize(700, 600);
    page.show();
    ASSERT_FALSE(sections(page).contains(QStringLiteral("Emails")));
    ann->addEmailWithEmail(QStringLiteral("ann@example.com"), QStringLiteral("home"), context.get());

    // Another contact's details, or a group without this contact: the page stays as it was.
    post(Page::PersonContactInfoCloudChangeNotification, bob, {{QStringLiteral("Key"), QStringLiteral("updatedObject")}});
    auto *group = insert<PrivateGroups>();
    group->addMembersObject(bob);
    post(Page::PrivateGroupCloudChangedNotification, group);
    post(Page::SyncWithAddressBookChangeNotification, nullptr); // a name pass: no userInfo
    EXPECT_FALSE(sections(page).contains(QStringLiteral("Emails")));

    // A group holding the contact: shown anew.
    group->addMembersObject(ann);
    post(Page::PrivateGroupCloudChangedNotification, group);
    EXPECT_TRUE(sections(page).contains(QStringLiteral("Emails")));

    // Its own details changed remotely, while the user edits: editing ends, the edits stored first.
    ann->addPhoneNumberWithNumber(QStringLiteral("555-0101"), QStringLiteral("work"), context.get());
    page.editButtonSelected();
    ASSERT_TRUE(page.isEditingContact());
    post(Page::PersonContactInfoCloudChangeNotification, ann, {{QStringLiteral("Key"), QStringLiteral("updatedObject")}});
    EXPECT_FALSE(page.isEditingContact());
    EXPECT_TRUE(sections(page).contains(QStringLiteral("Phones")));
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(InfoChangeNotificationsTest, AnAddressBookPassShowsUpdatesUnlessEditingAndAGoneCardEvenThen)
{
    Person *ann = storedPerson(QStringLiteral("Ann"));
    Page page(ann, false, false, context);
    page.resize(700, 600);
    page.show();

    // Updated from its card while the user edits: not shown over the edits.
    page.editButtonSelected();
    ASSERT_TRUE(page.isEditingContact());
    post(Page::SyncWithAddressBookChangeNotification, nullptr, addressBookPass({ann}, {}));
    EXPECT_TRUE(page.isEditingContact());

    // Its card went: editing ends and the page says the contact is not linked.
    post(Page::SyncWithAddressBookChangeNotification, nullptr, addressBookPass({}, {ann}));
    EXPECT_FALSE(page.isEditingContact());
    EXPECT_EQ(page.messageLabelButton()->text(), QStringLiteral("Contact is not linked to any record in the Address Book"));

    // Updated from its card while only shown: the rows and the names are read again.
    ann->addEmailWithEmail(QStringLiteral("ann@example.com"), QStringLiteral("home"), context.get());
    ASSERT_TRUE(context->save());
    post(Page::SyncWithAddressBookChangeNotification, nullptr, addressBookPass({ann}, {}));
    EXPECT_TRUE(sections(page).contains(QStringLiteral("Emails")));
}

} // namespace
