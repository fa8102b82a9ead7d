#include "ShellFixture.h"

#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/ContactPage/ContactInfoViewControllerMac.h"
#include "Mac/Contacts/ContactsListDisplaySource.h"
#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"
#include "Mac/Shell/KeyRouting.h"
#include "Mac/Contacts/MacContactsViewController.h"
#include "Mac/Shell/MainMenuCommands.h"
#include "Mac/Shell/MainWindowSidebar.h"
#include "Mac/Shell/MainWindowToolbar.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDSSKeychain.h"

#include "platform/store/FetchRequest.h"

#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QStandardItemModel>
#include <QToolBar>
#include <QToolButton>

using namespace shell_test;

namespace {

using Kind = ContactsListDisplaySource::Item::Kind;

class ContactsWiringTest : public ShellTest
{
protected:
    // The names on the contact rows of the Contacts list, top to bottom.
    static QStringList listedContacts(MacContactsViewController *contacts)
    {
        QStringList names;
        QTreeView *list = contacts->contactsOutlineView();
        for (QModelIndex index = list->model()->index(0, 0); index.isValid(); index = list->indexBelow(index)) {
            if (Kind(index.data(ContactsListItemModel::ItemKindRole).toInt()) == Kind::Contact)
                names << index.data().toString();
        }
        return names;
    }

    static void typeAndReturn(QLineEdit *field, const QString &text)
    {
        field->setFocus();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    // Presses the toolbar's Add and picks "Create Contact" in the menu it drops down.
    static void openAddContactSheet(AppDelegate &delegate)
    {
        QTest::mouseClick(delegate.toolbar()->addContactsButton(), Qt::LeftButton);
        QMenu *menu = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())); }, 2000));
        QAction *create = nullptr;
        for (QAction *item : menu->actions())
            create = item->text() == QLatin1String("Create Contact") ? item : create;
        ASSERT_NE(create, nullptr);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(create).center());
    }

    // Presses the toolbar's Add, fills the add page's names and presses its "Add".
    static void addContactThroughTheToolbar(AppDelegate &delegate, const QString &first, const QString &last)
    {
        openAddContactSheet(delegate);
        platform::ui::Sheet *sheet = platform::ui::Sheet::attachedSheet(delegate.window());
        ASSERT_NE(sheet, nullptr);
        ASSERT_NE(delegate.addContactWindowController(), nullptr);
        EXPECT_EQ(sheet->objectName(), AddContactWindowController::WindowNibName);
        auto *page = qobject_cast<ContactInfoViewControllerMac *>(sheet->contentWidget());
        ASSERT_NE(page, nullptr);
        EXPECT_TRUE(page->isAddContactPage());
        EXPECT_FALSE(page->isPrivateButton()->isChecked());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));

        typeAndReturn(page->firstNameTextfield(), first);
        typeAndReturn(page->lastNameTextfield(), last);
        QTest::mouseClick(page->editButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet->isActive());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !delegate.addContactWindowController(); }, 2000));
    }
};

TEST_F(ContactsWiringTest, AContactAddedFromTheToolbarIsListedSelectedAndFoundBySearch)
{
    markDataModelUpdateDone();
    AppDelegate delegate(factory());
    delegate.setExitHandler([this](int code) { exits << code; });
    delegate.launch();
    ASSERT_TRUE(delegate.isLaunchComplete());
    MainWindow *window = delegate.window();

    // The Contacts section, with the sidebar beside it and the toolbar and menus over it.
    auto *contacts = qobject_cast<MacContactsViewController *>(window->sectionController(0));
    ASSERT_NE(contacts, nullptr);
    EXPECT_EQ(delegate.contactsViewController(), contacts);
    EXPECT_EQ(window->currentView(), contacts);
    EXPECT_TRUE(contacts->isVisible());
    EXPECT_EQ(contacts->managedObjectContext(), delegate.managedObjectContext());
    ASSERT_NE(delegate.sidebar(), nullptr);
    EXPECT_EQ(window->sidebarView(), delegate.sidebar()->outlineView());
    EXPECT_TRUE(delegate.sidebar()->outlineView()->isVisible());
    EXPECT_EQ(delegate.sidebar()->sidebarKeys().size(), 1);
    EXPECT_EQ(KeyRoutingDelegate::applicationDelegate(), delegate.sidebar());
    ASSERT_NE(delegate.toolbar(), nullptr);
    EXPECT_TRUE(delegate.toolbar()->toolBar()->isVisible());
    EXPECT_EQ(delegate.toolbar()->toolBar()->parentWidget(), window);
    EXPECT_TRUE(delegate.toolbar()->addContactsButton()->isVisible());
    ASSERT_NE(delegate.mainMenuCommands(), nullptr);
    EXPECT_EQ(window->menuBar()->actions().size(), 4);
    EXPECT_TRUE(delegate.mainMenuCommands()->quitCommand()->isEnabled());
    EXPECT_TRUE(listedContacts(contacts).isEmpty());

    addContactThroughTheToolbar(delegate, QStringLiteral("Zoe"), QStringLiteral("Quill"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedContacts(contacts) == QStringList{QStringLiteral("Zoe Quill")}; }))
        << listedContacts(contacts).join(QLatin1Char(',')).toStdString();
    addContactThroughTheToolbar(delegate, QStringLiteral("Ann"), QStringLiteral("Adams"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedContacts(contacts).size() == 2; }))
        << listedContacts(contacts).join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(listedContacts(contacts), (QStringList{QStringLiteral("Ann Adams"), QStringLiteral("Zoe Quill")}));

    // Both were stored, and the one added last is the one selected in the list.
    platform::store::FetchRequest request(Person::EntityName);
    EXPECT_EQ(delegate.managedObjectContext()->countForFetchRequest(request), 2);
    EXPECT_FALSE(delegate.managedObjectContext()->hasChanges());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QModelIndexList selected = contacts->contactsOutlineView()->selectionModel()->selectedRows();
        return selected.size() == 1 && selected.first().data().toString() == QStringLiteral("Ann Adams");
    }));
    Person *shown = contacts->contactsListSource()->selectedContactInSource();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->managedObjectContext(), delegate.managedObjectContext().get());

    // The toolbar's search field narrows the list and, emptied, brings every contact back.
    QLineEdit *search = delegate.toolbar()->searchField();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("qui"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedContacts(contacts) == QStringList{QStringLiteral("Zoe Quill")}; }))
        << listedContacts(contacts).join(QLatin1Char(',')).toStdString();
    search->clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedContacts(contacts).size() == 2; }));
    EXPECT_TRUE(exits.isEmpty());
}

TEST_F(ContactsWiringTest, AfterARestoreTheSearchIsEmptiedAndTheListReadsTheNewContext)
{
    markDataModelUpdateDone();
    AppDelegate delegate(factory());
    delegate.setExitHandler([this](int code) { exits << code; });
    delegate.launch();
    ASSERT_TRUE(delegate.isLaunchComplete());
    MacContactsViewController *contacts = delegate.contactsViewController();
    ASSERT_NE(contacts, nullptr);
    addContactThroughTheToolbar(delegate, QStringLiteral("Zoe"), QStringLiteral("Quill"));
    addContactThroughTheToolbar(delegate, QStringLiteral("Ann"), QStringLiteral("Adams"));
    QLineEdit *search = delegate.toolbar()->searchField();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("zo"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedContacts(contacts) == QStringList{QStringLiteral("Zoe Quill")}; }))
        << listedContacts(contacts).join(QLatin1Char(',')).toStdString() << " / " << search->text().toStdString();
    const auto firstContext = delegate.managedObjectContext();

    delegate.coreDataController()->cleanUpViewsBeforeRestoreWithDebugKey(QStringLiteral("ContactsWiringTest"));
    EXPECT_TRUE(search->text().isEmpty());
    EXPECT_EQ(contacts->managedObjectContext(), nullptr);
    delegate.coreDataController()->reInitializePSCAfterCloudSettingChangeAndShowAlert(false);
    ASSERT_TRUE(waitForStep(delegate, QStringLiteral("databaseRestored")));

    const auto context = delegate.managedObjectContext();
    ASSERT_NE(context, nullptr);
    EXPECT_NE(context, firstContext);
    EXPECT_EQ(contacts->managedObjectContext(), context);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedContacts(contacts).size() == 2; }))
        << listedContacts(contacts).join(QLatin1Char(',')).toStdString();
    QTreeView *list = contacts->contactsOutlineView();
    for (QModelIndex index = list->model()->index(0, 0); index.isValid(); index = list->indexBelow(index)) {
        if (Person *person = contacts->contactsListModel()->personAt(index)) {
            EXPECT_EQ(person->managedObjectContext(), context.get());
        }
    }

    // The Add button stores into the new context.
    addContactThroughTheToolbar(delegate, QStringLiteral("Bob"), QStringLiteral("Brown"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listedContacts(contacts).size() == 3; }));
    EXPECT_EQ(context->countForFetchRequest(platform::store::FetchRequest(Person::EntityName)), 3);
    EXPECT_TRUE(exits.isEmpty());
}

TEST_F(ContactsWiringTest, TheSidebarAndTheSectionCommandsSwitchSectionsAndKeepTheSidebarRowInStep)
{
    markDataModelUpdateDone();
    AppDelegate delegate(factory());
    delegate.launch();
    ASSERT_TRUE(delegate.isLaunchComplete());
    CustomNSOutlineView *sidebar = delegate.sidebar()->outlineView();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(delegate.window()));

    // A click on "Logs" switches the section; the Contacts section stays made for later.
    const QModelIndex logs = sidebar->indexForRow(2);
    ASSERT_TRUE(logs.isValid());
    EXPECT_EQ(logs.data().toString(), QStringLiteral("Logs"));
    QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {}, sidebar->visualRect(logs).center());
    EXPECT_EQ(delegate.currentIndex(), 1);
    EXPECT_NE(delegate.contactsViewController(), nullptr);

    // The menu's Contacts command switches back, and the sidebar's selection follows it.
    delegate.mainMenuCommands()->sectionCommand(0)->trigger();
    EXPECT_EQ(delegate.currentIndex(), 0);
    EXPECT_EQ(delegate.window()->currentView(), delegate.contactsViewController());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sidebar->selectionModel()->isSelected(sidebar->indexForRow(1)); }, 2000));
}

TEST_F(ContactsWiringTest, CancelOnTheAddSheetStoresNothingAndAddOpensAFreshPage)
{
    markDataModelUpdateDone();
    AppDelegate delegate(factory());
    delegate.launch();
    ASSERT_TRUE(delegate.isLaunchComplete());

    openAddContactSheet(delegate);
    platform::ui::Sheet *sheet = platform::ui::Sheet::attachedSheet(delegate.window());
    ASSERT_NE(sheet, nullptr);
    auto *page = qobject_cast<ContactInfoViewControllerMac *>(sheet->contentWidget());
    ASSERT_NE(page, nullptr);
    typeAndReturn(page->firstNameTextfield(), QStringLiteral("Half"));
    // A second press while the sheet is up opens no second sheet.
    delegate.showAddContactSheet();
    EXPECT_EQ(platform::ui::Sheet::attachedSheets(delegate.window()).size(), 1);

    QTest::mouseClick(page->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate.addContactWindowController(); }, 2000));
    EXPECT_EQ(delegate.managedObjectContext()->countForFetchRequest(platform::store::FetchRequest(Person::EntityName)), 0);
    EXPECT_FALSE(delegate.managedObjectContext()->hasChanges());
    EXPECT_TRUE(listedContacts(delegate.contactsViewController()).isEmpty());

    openAddContactSheet(delegate);
    platform::ui::Sheet *second = platform::ui::Sheet::attachedSheet(delegate.window());
    ASSERT_NE(second, nullptr);
    auto *freshPage = qobject_cast<ContactInfoViewControllerMac *>(second->contentWidget());
    ASSERT_NE(freshPage, nullptr);
    EXPECT_TRUE(freshPage->firstNameTextfield()->text().isEmpty());
    QTest::mouseClick(freshPage->cancelButton(), Qt::LeftButton);
}

TEST_F(ContactsWiringTest, TheLockScreenLeavesOnlyQuitInTheMenus)
{
    markDataModelUpdateDone();
    ASSERT_TRUE(QDSSKeychain::setPassword(QStringLiteral("2468"), QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount));
    std::shared_ptr<PlaceholderPasscodeSheet> lock;
    LaunchServiceFactory services = factory();
    services.makePasscodeSheet = [&lock] {
        lock = std::make_shared<PlaceholderPasscodeSheet>();
        return lock;
    };
    AppDelegate delegate(services);
    delegate.applicationWillFinishLaunching();
    ASSERT_NE(lock, nullptr);
    MainMenuCommands *menus = delegate.mainMenuCommands();
    ASSERT_NE(menus, nullptr);
    EXPECT_TRUE(menus->showingPasswordScreen());
    EXPECT_TRUE(menus->quitCommand()->isEnabled());
    EXPECT_FALSE(menus->sectionCommand(0)->isEnabled());
    EXPECT_FALSE(menus->findCommand()->isEnabled());

    lock->unlock();
    EXPECT_FALSE(menus->showingPasswordScreen());
    EXPECT_TRUE(menus->sectionCommand(0)->isEnabled());
    EXPECT_TRUE(menus->findCommand()->isEnabled());
}

} // namespace
