#include "ContactsFixture.h"

#include "Mac/Shell/ContactGroupMenu.h"
#include "Mac/Shell/PrivateGroupsListEditor.h"

#include "QuendelKit/Entities/PrivateGroups.h"

#include "platform/contacts/AddressBook.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/AlertPresenter.h"

#include <QTreeWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

using namespace contacts_test;
using Kind = GroupMenuEntry::Kind;
namespace ab = platform::contacts;

class GroupMenuTest : public ContactsStoreTest
{
protected:
    void SetUp() override
    {
        ContactsStoreTest::SetUp();
        platform::ui::AlertPresenter::shared().setBlockingForbidden(true);
        platform::ui::AlertPresenter::shared().clearAnswers();
        platform::ui::AlertPresenter::shared().clearShownAlerts();
        ASSERT_TRUE(folder.isValid());
        book = std::make_shared<ab::AddressBook>(folder.path() + QStringLiteral("/contacts"));
        ASSERT_TRUE(book->load());
        observer = platform::core::ScopedObserver(ContactGroupMenu::GroupChangeNotification, nullptr,
                                                  [this](const platform::core::Notification &n) { posts << n.userInfo; });
    }
    void TearDown() override
    {
        menu.reset();
        observer.reset();
        ContactsStoreTest::TearDown();
    }

    ContactGroupMenu &makeMenu(bool withBook = true)
    {
        menu = std::make_unique<ContactGroupMenu>(
            nullptr, nullptr, [this] { return context; },
            [this, withBook] { return withBook ? book : std::shared_ptr<ab::AddressBook>(); });
        menu->loadContactGroupSelectionMenu();
        return *menu;
    }

    PrivateGroups *addPrivateGroup(const QString &name, qint64 order, const QList<Person *> &members = {})
    {
        auto *group = insert<PrivateGroups>();
        group->setGroupName(name);
        group->setGroupDisplayOrder(order);
        for (Person *person : members)
            group->addMembersObject(person);
        return group;
    }

    QString addPublicGroup(const QString &account, const QString &name, const QStringList &members = {})
    {
        ab::ContactRecord group = ab::ContactRecord::newGroup(name);
        for (const QString &member : members)
            group.addMember(member);
        book->setRecord(group, book->rootPath() + QLatin1Char('/') + account + QStringLiteral("/default"));
        EXPECT_TRUE(book->save());
        return group.uniqueId();
    }

    // "title|kind|on" per item, separators left out.
    QStringList rows() const
    {
        QStringList out;
        for (const ContactGroupMenu::ItemState &state : menu->itemStates())
            out << QStringLiteral("%1|%2|%3").arg(state.title).arg(int(state.kind)).arg(state.enabled ? "on" : "off");
        return out;
    }

    QAction *item(const QString &title) const
    {
        for (QAction *action : menu->groupSelectionButton()->groupMenu()->actions()) {
            if (action->text() == title)
                return action;
        }
        return nullptr;
    }

    QTemporaryDir folder;
    std::shared_ptr<ab::AddressBook> book;
    std::unique_ptr<ContactGroupMenu> menu;
    platform::core::ScopedObserver observer;
    QList<QVariantMap> posts;
};

QString row(const QString &title, Kind kind, bool on = true)
{
    return QStringLiteral("%1|%2|%3").arg(title).arg(int(kind)).arg(on ? "on" : "off");
}

// The items of the menu for what the store and the address book hold.
TEST_F(GroupMenuTest, TheMenuListsAllContactsThePrivateGroupsEachAccountsGroupsAndTheCommands)
{
    struct Case
    {
        const char *name;
        QList<std::pair<QString, qint64>> privateGroups;
        QList<std::pair<QString, QString>> publicGroups; // account, name
        bool withBook;
        QStringList expected;
    };
    const QStringList manage = {row(QStringLiteral("Manage Groups"), Kind::Header, false),
                                row(QStringLiteral("New Private Group"), Kind::NewPrivateGroup),
                                row(QStringLiteral("New Public Group"), Kind::NewPublicGroup),
                                row(QStringLiteral("Edit Private Groups List ..."), Kind::EditPrivateGroups)};
    const QString all = row(QStringLiteral("All Contacts"), Kind::AllContacts);
    const QList<Case> cases = {
        {"nothing yet", {}, {}, true, QStringList{all} + manage},
        {"no address book: no new public group",
         {},
         {},
         false,
         {all, row(QStringLiteral("Manage Groups"), Kind::Header, false), row(QStringLiteral("New Private Group"), Kind::NewPrivateGroup),
          row(QStringLiteral("New Public Group"), Kind::NewPublicGroup, false),
          row(QStringLiteral("Edit Private Groups List ..."), Kind::EditPrivateGroups)}},
        {"private groups by display order",
         {{QStringLiteral("Friends"), 2}, {QStringLiteral("Clients"), 1}},
         {},
         true,
         QStringList{all, row(QStringLiteral("Private Groups"), Kind::Header, false),
                     row(QStringLiteral("Clients"), Kind::PrivateGroup), row(QStringLiteral("Friends"), Kind::PrivateGroup)}
             + manage},
        {"address-book groups under one header per account, by name ignoring case",
         {},
         {{QStringLiteral("local"), QStringLiteral("zeta")},
          {QStringLiteral("local"), QStringLiteral("Alpha")},
          {QStringLiteral("work"), QStringLiteral("Board")}},
         true,
         QStringList{all, row(QStringLiteral("Public Groups"), Kind::Header, false), row(QStringLiteral("Alpha"), Kind::PublicGroup),
                     row(QStringLiteral("zeta"), Kind::PublicGroup), row(QStringLiteral("Public Groups"), Kind::Header, false),
                     row(QStringLiteral("Board"), Kind::PublicGroup)}
             + manage},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (PrivateGroups *group : PrivateGroups::loadAllPrivateGroupsWithMOC(context.get()))
            context->deleteObject(group);
        for (const ab::ContactRecord &group : book->groups())
            book->removeRecord(group.uniqueId());
        ASSERT_TRUE(book->save());
        for (const auto &[name, order] : c.privateGroups)
            addPrivateGroup(name, order);
        save(context);
        for (const auto &[account, name] : c.publicGroups)
            addPublicGroup(account, name);
        makeMenu(c.withBook);
        EXPECT_EQ(rows(), c.expected);
        EXPECT_EQ(menu->groupSelectionButton()->text(), QStringLiteral("All Contacts"));
        EXPECT_TRUE(menu->groupSelectionButton()->isEnabled());
    }
    // The account with the most groups became the default one, once.
    EXPECT_TRUE(menu->defaultAccountPath().endsWith(QStringLiteral("/local"))) << menu->defaultAccountPath().toStdString();
}

// The choice and what the sections are told, as groups come, change and go.
TEST_F(GroupMenuTest, AChosenGroupThatVanishesTurnsTheChoiceBackToAllContacts)
{
    Person *ann = addPerson(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addPerson(QStringLiteral("Bob"), QStringLiteral("Brown"));
    PrivateGroups *friends = addPrivateGroup(QStringLiteral("Friends"), 1, {ann});
    save(context);
    const QString board = addPublicGroup(QStringLiteral("local"), QStringLiteral("Board"), {QStringLiteral("uid-ann")});
    makeMenu();

    struct Step
    {
        const char *what;
        std::function<void()> act;
        Kind chosen;
        QString shown;
        int newPosts;
        QString postedKey; // null: a post without user info
    };
    const QList<Step> steps = {
        {"choose the private group", [&] { item(QStringLiteral("Friends"))->trigger(); }, Kind::PrivateGroup,
         QStringLiteral("Friends"), 1, ContactGroupMenu::GroupChangePrivateKey},
        {"rename it in the list editor: the choice stays, nobody is told",
         [&] {
             QWidget host;
             host.show();
             auto *editor = PrivateGroupsListEditor::open(context, &host, [&] { menu->doneEditPrivateGroupsList(); });
             ASSERT_EQ(editor->list()->topLevelItemCount(), 1);
             ASSERT_TRUE(editor->renameGroup(0, QStringLiteral("Close Friends")));
             for (QPushButton *button : editor->findChildren<QPushButton *>()) {
                 if (button->accessibleName() == QLatin1String("Done"))
                     button->click();
             }
             QCoreApplication::processEvents();
             QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
         },
         Kind::PrivateGroup, QStringLiteral("Close Friends"), 0, {}},
        {"delete it from the store and rebuild: all contacts again, and the sections are told",
         [&] {
             context->deleteObject(friends);
             save(context);
             menu->doneEditPrivateGroupsList();
         },
         Kind::AllContacts, QStringLiteral("All Contacts"), 1, QString()},
        {"choose the address-book group", [&] { item(QStringLiteral("Board"))->trigger(); }, Kind::PublicGroup,
         QStringLiteral("Board"), 1, ContactGroupMenu::GroupChangePublicKey},
        {"another program changes it: chosen again with its members",
         [&] {
             menu->externalPublicGroupUpdateNotification(
                 {QStringLiteral("ExternalGroupChangeNotification"), nullptr, {{ContactGroupMenu::ExternalGroupUpdatedKey, board}}});
         },
         Kind::PublicGroup, QStringLiteral("Board"), 1, ContactGroupMenu::GroupChangePublicKey},
        {"another program removes it",
         [&] {
             ASSERT_TRUE(book->removeRecord(board));
             ASSERT_TRUE(book->save());
             menu->externalPublicGroupUpdateNotification(
                 {QStringLiteral("ExternalGroupChangeNotification"), nullptr, {{ContactGroupMenu::ExternalGroupRemovedKey, board}}});
         },
         Kind::AllContacts, QStringLiteral("All Contacts"), 1, QString()},
        {"Edit with nothing chosen edits nothing", [&] { menu->editContactsGroupButtonPressed(); }, Kind::AllContacts,
         QStringLiteral("All Contacts"), 1, QString()},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        const qsizetype before = posts.size();
        step.act();
        EXPECT_EQ(menu->selectedEntry().kind, step.chosen);
        EXPECT_EQ(menu->groupSelectionButton()->text(), step.shown);
        ASSERT_EQ(posts.size() - before, step.newPosts);
        if (step.newPosts > 0) {
            if (step.postedKey.isNull())
                EXPECT_TRUE(posts.last().isEmpty());
            else
                EXPECT_TRUE(posts.last().contains(step.postedKey));
        }
    }
    // The address-book group's post carried its members, for the sections' filters.
    const QVariantMap publicPost = posts.at(2);
    EXPECT_EQ(publicPost.value(ContactGroupMenu::GroupChangePublicKey).toStringList(), QStringList{QStringLiteral("uid-ann")});
}

// A new private group is refused while its name is empty or taken, and made with its members otherwise.
TEST_F(GroupMenuTest, CreatingAPrivateGroupChoosesItAndRefusesATakenName)
{
    Person *ann = addPerson(QStringLiteral("Ann"), QStringLiteral("Adams"));
    addPrivateGroup(QStringLiteral("Friends"), 1);
    save(context);
    makeMenu();

    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    EXPECT_FALSE(menu->createPrivateGroupWithName(QStringLiteral("Friends"), {ann->objectID()}));
    EXPECT_EQ(PrivateGroups::loadAllPrivateGroupsWithMOC(context.get()).size(), 1);
    ASSERT_FALSE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().last().spec.messageText, QStringLiteral("Group Name Exists"));

    ASSERT_TRUE(menu->createPrivateGroupWithName(QStringLiteral("Family"), {ann->objectID()}));
    EXPECT_EQ(menu->selectedEntry().kind, Kind::PrivateGroup);
    EXPECT_EQ(menu->groupSelectionButton()->text(), QStringLiteral("Family"));
    ASSERT_NE(menu->selectedPrivateGroup(), nullptr);
    EXPECT_EQ(menu->selectedPrivateGroup()->members(), QList<Person *>{ann});
    platform::store::ContextPtr fresh;
    EXPECT_EQ(reread<PrivateGroups>(menu->selectedPrivateGroup(), fresh)->groupName(), QStringLiteral("Family"));

    // Its members become exactly the new list.
    ASSERT_TRUE(menu->editPrivateGroup(menu->selectedPrivateGroup(), {}));
    EXPECT_TRUE(menu->selectedPrivateGroup()->members().isEmpty());
}

} // namespace
