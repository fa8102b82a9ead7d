// The group membership popover of the Info tab: which groups it lists, what a tick does, and what the
// user sees when the change cannot be kept.

#include "ContactPageFixture.h"

#include "Mac/ContactPage/ContactGroupsSelectionViewControllerMac.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/contacts/AddressBook.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

namespace ab = platform::contacts;
using quendel::test::ContactPageTest;

namespace {

class RecordingGroupsDelegate : public GroupSelectionChangesDelegate
{
public:
    void changedGroupSelectionWithIsPrivate(bool isPrivate) override { changes << isPrivate; }
    QList<bool> changes;
};

class GroupsPopoverTest : public ContactPageTest
{
protected:
    void TearDown() override
    {
        PersonAddressBookBridge::install(nullptr);
        SharedSettingController::setContactsBridge(nullptr);
        ContactPageTest::TearDown();
    }

    PrivateGroups *privateGroup(const QString &name, qint64 order, const QList<Person *> &members = {})
    {
        auto *group = insert<PrivateGroups>();
        group->setGroupName(name);
        group->setGroupDisplayOrder(order);
        for (Person *member : members)
            group->addMembersObject(member);
        save(context);
        return group;
    }

    // An address book with a second account beside the default one.
    void installAddressBook()
    {
        root = folder.path() + QStringLiteral("/contacts");
        otherCollection = root + QStringLiteral("/office/team");
        ASSERT_TRUE(QDir().mkpath(otherCollection));
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/local/default")));
        book = std::make_shared<ab::AddressBook>(root);
        ASSERT_TRUE(book->load());
        bridge = VCardAddressBookBridge::installFor(book);
    }

    QString bookGroup(const QString &name, const QString &collection = QString())
    {
        ab::ContactRecord group = ab::ContactRecord::newGroup(name);
        book->setRecord(group, collection);
        EXPECT_TRUE(book->save());
        return group.uniqueId();
    }

    Person *linkedPerson(const QString &first)
    {
        Person *person = storedPerson(first);
        context->performAndWait([&] { EXPECT_TRUE(bridge->createABPersonRecord(*person, true, true)); });
        return person;
    }

    QTemporaryDir folder;
    QString root;
    QString otherCollection;
    std::shared_ptr<ab::AddressBook> book;
    std::shared_ptr<VCardAddressBookBridge> bridge;
};

} // namespace

TEST_F(GroupsPopoverTest, WithoutPrivateGroupsOnlyTheFillerShows)
{
    Person *ann = storedPerson(QStringLiteral("Ann"));
    ContactGroupsSelectionViewControllerMac popover(ann, true);
    popover.awakeFromNib();
    popover.show();
    EXPECT_EQ(popover.groupCount(), 0);
    ASSERT_NE(popover.fillerText(), nullptr);
    EXPECT_TRUE(popover.fillerText()->isVisible());
    EXPECT_EQ(popover.sourceTableView()->count(), 0);
}

TEST_F(GroupsPopoverTest, PrivateGroupsAreListedByDisplayOrderAndATickIsSavedAtOnce)
{
    Person *ann = storedPerson(QStringLiteral("Ann"));
    Person *bob = storedPerson(QStringLiteral("Bob"));
    privateGroup(QStringLiteral("Zeta"), 0, {bob});
    privateGroup(QStringLiteral("Alpha & Co"), 2, {ann});
    privateGroup(QStringLiteral("Mid"), 1);

    RecordingGroupsDelegate delegate;
    ContactGroupsSelectionViewControllerMac popover(ann, true);
    popover.setDelegate(&delegate);
    popover.awakeFromNib();
    popover.show();
    EXPECT_EQ(popover.groupTitles(), (QStringList{QStringLiteral("Zeta"), QStringLiteral("Mid"), QStringLiteral("Alpha & Co")}));
    EXPECT_FALSE(popover.fillerText() && popover.fillerText()->isVisible());
    // Only the contact's own group is ticked; a name is shown as written, its "&" included.
    EXPECT_FALSE(popover.checkBoxAtRow(0)->isChecked());
    EXPECT_FALSE(popover.checkBoxAtRow(1)->isChecked());
    EXPECT_TRUE(popover.checkBoxAtRow(2)->isChecked());
    EXPECT_EQ(popover.checkBoxAtRow(2)->text(), QStringLiteral("Alpha && Co"));
    // Rows are never selected.
    EXPECT_EQ(popover.sourceTableView()->selectionMode(), QAbstractItemView::NoSelection);

    // A click on "Mid" puts Ann in and a click on "Alpha & Co" takes her out, each saved at once.
    QTest::mouseClick(popover.checkBoxAtRow(1), Qt::LeftButton);
    QTest::mouseClick(popover.checkBoxAtRow(2), Qt::LeftButton);
    EXPECT_EQ(delegate.changes, (QList<bool>{true, true}));
    platform::store::ContextPtr fresh;
    QStringList names;
    for (Person *person : storedPersons(fresh)) {
        if (person->firstName() == QLatin1String("Ann"))
            names = person->privateGroupNames();
    }
    EXPECT_EQ(names, QStringList{QStringLiteral("Mid")});
}

TEST_F(GroupsPopoverTest, AddressBookGroupsAreThoseOfTheCardsAccountByNameAndATickWritesTheGroupsCard)
{
    installAddressBook();
    Person *ann = linkedPerson(QStringLiteral("Ann"));
    const QString annCard = ann->macUniqueIdentifier();
    ASSERT_FALSE(annCard.isEmpty());
    const QString team = bookGroup(QStringLiteral("team"));
    bookGroup(QStringLiteral("Board"));
    bookGroup(QStringLiteral("Elsewhere"), otherCollection);
    ab::ContactRecord board = *book->recordForUniqueId(book->groups().at(0).uniqueId());
    for (const ab::ContactRecord &group : book->groups()) {
        if (group.groupName() == QLatin1String("Board"))
            board = group;
    }
    board.addMember(annCard);
    book->setRecord(board);
    ASSERT_TRUE(book->save());

    RecordingGroupsDelegate delegate;
    ContactGroupsSelectionViewControllerMac popover(ann, false);
    popover.setDelegate(&delegate);
    popover.awakeFromNib();
    // The other account's group is not offered; the names sort ignoring case.
    ASSERT_EQ(popover.groupTitles(), (QStringList{QStringLiteral("Board"), QStringLiteral("team")}));
    EXPECT_TRUE(popover.checkBoxAtRow(0)->isChecked());
    EXPECT_FALSE(popover.checkBoxAtRow(1)->isChecked());

    QTest::mouseClick(popover.checkBoxAtRow(1), Qt::LeftButton);
    EXPECT_EQ(delegate.changes, QList<bool>{false});
    ab::AddressBook reread(root);
    ASSERT_TRUE(reread.load());
    EXPECT_TRUE(reread.recordForUniqueId(team)->memberIds().contains(annCard));

    // The group's card cannot be written: nothing is reported as done, the box goes back and the user is told.
    const QString cardPath = otherCollection.section(QLatin1Char('/'), 0, -3) + QStringLiteral("/local/default/") + team + QStringLiteral(".vcf");
    ASSERT_TRUE(QFile::exists(cardPath)) << cardPath.toStdString();
    ASSERT_TRUE(QFile::remove(cardPath));
    ASSERT_TRUE(QDir().mkpath(cardPath + QStringLiteral("/blocked")));
    QTest::mouseClick(popover.checkBoxAtRow(1), Qt::LeftButton);
    EXPECT_EQ(delegate.changes, QList<bool>{false});
    EXPECT_TRUE(popover.checkBoxAtRow(1)->isChecked());
    EXPECT_TRUE(popover.isGroupSelected(1));
    EXPECT_EQ(alertTitles(), QStringList{QStringLiteral("Group Not Changed")});
}
