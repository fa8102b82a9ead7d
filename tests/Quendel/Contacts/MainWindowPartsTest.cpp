#include "ContactsFixture.h"

#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"
#include "Mac/Contacts/MacContactsViewController.h"
#include "Mac/Shell/MainMenuCommands.h"
#include "Mac/Shell/MainWindow.h"
#include "Mac/Shell/MainWindowSidebar.h"
#include "Mac/Shell/MainWindowToolbar.h"
#include "Mac/Shell/SidebarTableCellView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

namespace {

using namespace contacts_test;

// A section that remembers the searches it was given.
class RecordingSection : public MainWindowManagerViewController
{
public:
    RecordingSection(int index, ContextPtr context)
        : MainWindowManagerViewController(QStringLiteral("Section%1").arg(index), std::move(context))
    {
    }
    void searchResultsWithString(const QString &text) override { searches << text; }
    QStringList searches;
};

class MainWindowPartsTest : public ContactsStoreTest
{
protected:
    void SetUp() override
    {
        ContactsStoreTest::SetUp();
        ann = addPerson(QStringLiteral("Ann"), QStringLiteral("Adams"));
        addPerson(QStringLiteral("Bob"), QStringLiteral("Brown"));
        save(context);
        window = std::make_unique<MainWindow>();
        window->setSectionFactory([this](int index) -> MainWindowManagerViewController * {
            if (index == 0) {
                contacts = new MacContactsViewController(context);
                return contacts;
            }
            auto *section = new RecordingSection(index, context);
            sections[index] = section;
            return section;
        });
        sidebar = std::make_unique<MainWindowSidebar>(window.get());
        window->setSidebarView(sidebar->outlineView());
        sidebar->buildSidebarItems();
        toolbar = std::make_unique<MainWindowToolbar>(window.get());
        window->addToolBar(toolbar->toolBar());
        sidebar->setTabTargets(toolbar->groupSelectionButton(), toolbar->searchField());
        toolbar->groupSelectionButton()->setFocusPolicy(Qt::StrongFocus);
        toolbar->setAnalyticsLogger([this](const QString &name, const QVariantMap &parameters) {
            events << name + QLatin1Char(' ') + parameters.value(QStringLiteral("Action")).toString();
        });
        todoList = new QTreeView(window.get());
        todoModel.appendRow(new QStandardItem(QStringLiteral("Today")));
        todoModel.item(0)->appendRow(new QStandardItem(QStringLiteral("Call Ann")));
        todoModel.item(0)->appendRow(new QStandardItem(QStringLiteral("Write Bob")));
        todoList->setModel(&todoModel);
        todoList->expandAll();
        const auto lists = [this](int index) -> QTreeView * { return index == 2 ? todoList : nullptr; };
        sidebar->setSectionListProvider(lists);
        toolbar->setSectionListProvider(lists);
        menus = std::make_unique<MainMenuCommands>(window.get(), toolbar.get());
        window->resize(1200, 800);
        window->show();
        window->selectItemAtIndex(0);
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        menus.reset();
        toolbar.reset();
        sidebar.reset();
        window.reset();
        ContactsStoreTest::TearDown();
    }

    void clickSidebarRow(int row)
    {
        const QModelIndex index = sidebar->outlineView()->indexForRow(row);
        ASSERT_TRUE(index.isValid());
        QRect rect = sidebar->outlineView()->visualRect(index);
        QTest::mouseClick(sidebar->outlineView()->viewport(), Qt::LeftButton, {},
                          QPoint(rect.center().x(), rect.top() + rect.height() / 2));
    }

    static std::unique_ptr<QMimeData> filesData(const QStringList &paths)
    {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        data->setUrls(urls);
        return data;
    }

    Person *ann = nullptr;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowSidebar> sidebar;
    std::unique_ptr<MainWindowToolbar> toolbar;
    std::unique_ptr<MainMenuCommands> menus;
    MacContactsViewController *contacts = nullptr;
    RecordingSection *sections[5] = {};
    QTreeView *todoList = nullptr;
    QStandardItemModel todoModel;
    QStringList events;
};

TEST_F(MainWindowPartsTest, SidebarRowsSwitchSectionsButNotTheHeaderOrUnderThePasscode)
{
    EXPECT_EQ(sidebar->sidebarKeys(), QStringList{QStringLiteral("Menu")});
    EXPECT_EQ(sidebar->sidebarItems().value(QStringLiteral("Menu")),
              (QStringList{QStringLiteral("Contacts"), QStringLiteral("Logs"), QStringLiteral("ToDos"),
                           QStringLiteral("Files"), QStringLiteral("Map")}));
    ASSERT_NE(sidebar->cellForRow(4), nullptr);
    EXPECT_EQ(sidebar->cellForRow(4)->sidebarText()->text(), QStringLiteral("Files"));
    EXPECT_EQ(sidebar->cellForRow(4)->toolTip(), QStringLiteral("All Files"));

    EXPECT_FALSE(sidebar->shouldSelectItem(sidebar->outlineView()->indexForRow(0)));
    clickSidebarRow(2);
    EXPECT_EQ(window->currentIndex(), 1);
    EXPECT_TRUE(sidebar->outlineView()->selectionModel()->isSelected(sidebar->outlineView()->indexForRow(2)));
    EXPECT_EQ(sidebar->cellForRow(2)->sidebarText()->palette().color(QPalette::WindowText), QColor(Qt::white));

    bool passcode = true;
    sidebar->setShowingPasswordScreenProvider([&] { return passcode; });
    clickSidebarRow(3);
    EXPECT_EQ(window->currentIndex(), 1);
    EXPECT_FALSE(sidebar->outlineView()->selectionModel()->isSelected(sidebar->outlineView()->indexForRow(3)));
}

TEST_F(MainWindowPartsTest, FilesDropOnlyOnTheFilesRowOfTheFilesSectionAndNeverFolders)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    QFile(file).open(QIODevice::WriteOnly);
    int dropped = 0;
    sidebar->setFilesDropHandler([&](const QMimeData *) {
        ++dropped;
        return true;
    });
    const QModelIndex filesRow = sidebar->outlineView()->indexForRow(4);
    const QModelIndex logsRow = sidebar->outlineView()->indexForRow(2);
    auto files = filesData({file});
    auto withFolder = filesData({file, dir.path()});

    window->selectItemAtIndex(1);
    EXPECT_FALSE(sidebar->validateDrop(files.get(), filesRow));
    EXPECT_FALSE(sidebar->acceptDrop(files.get()));
    window->selectItemAtIndex(3);
    EXPECT_TRUE(sidebar->validateDrop(files.get(), filesRow));
    EXPECT_FALSE(sidebar->validateDrop(files.get(), logsRow));
    EXPECT_FALSE(sidebar->validateDrop(withFolder.get(), filesRow));
    EXPECT_TRUE(MainWindowSidebar::checkForDirectoryInDragPasteboard(withFolder.get()));
    EXPECT_FALSE(sidebar->acceptDrop(withFolder.get()));
    EXPECT_TRUE(sidebar->acceptDrop(files.get()));
    EXPECT_EQ(dropped, 1);
}

TEST_F(MainWindowPartsTest, SidebarKeysMoveTheFocus)
{
    CustomNSOutlineView *outline = sidebar->outlineView();
    outline->setFocus();
    QTest::keyClick(outline, Qt::Key_Tab);
    EXPECT_TRUE(toolbar->groupSelectionButton()->hasFocus());
    outline->setFocus();
    QTest::keyClick(outline, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(outline->hasFocus());

    // Right arrow in Contacts with no contact selected opens the first contact on the Logs tab.
    QTest::keyClick(outline, Qt::Key_Right);
    ASSERT_NE(contacts, nullptr);
    EXPECT_EQ(contacts->contactsListSource()->selectedContactInSource(), ann);
    EXPECT_EQ(contacts->currentSegmentState(), MacContactsViewController::LogsTab);

    // In ToDos it goes into the to-do list and selects its row 1.
    window->selectItemAtIndex(2);
    outline->setFocus();
    QTest::keyClick(outline, Qt::Key_Right);
    EXPECT_TRUE(todoList->hasFocus());
    EXPECT_EQ(todoList->selectionModel()->selectedRows().value(0).data().toString(), QStringLiteral("Call Ann"));
    sidebar->leftKeyTomakeSidebarFirstResponder();
    EXPECT_TRUE(outline->hasFocus());
}

TEST_F(MainWindowPartsTest, ToolbarItemsAndTheAddButtonFollowTheSection)
{
    EXPECT_EQ(toolbar->itemIdentifiers(), MainWindowToolbar::toolbarDefaultItemIdentifiers());
    EXPECT_EQ(toolbar->addItemButton()->text(), QStringLiteral("Contacts"));
    QAction *custom = toolbar->itemForItemIdentifier(MainWindowToolbar::ContactsGroupIdentifier);
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(toolbar->itemForItemIdentifier(QStringLiteral("Other")), nullptr);

    int edits = 0, adds = 0, logs = 0, prints = 0;
    toolbar->setAddHandlers({[&] { ++edits; }, [&](QWidget *) { ++adds; }, [&](QWidget *) { ++logs; }, {}, {},
                             [&] { ++prints; }});
    toolbar->addContactsButton()->click();
    EXPECT_EQ(adds, 1);
    window->switcher().setGroupSelected(true);
    toolbar->changeAddButtonToEdit();
    EXPECT_TRUE(toolbar->showsEditFace());
    EXPECT_EQ(toolbar->addContactsButton()->toolTip(), MainWindowToolbar::EditToolTip);
    toolbar->addContactsButton()->click();
    EXPECT_EQ(edits, 1);

    // Elsewhere the face is the add face, and the Edit face never shows there.
    window->selectItemAtIndex(1);
    EXPECT_FALSE(toolbar->showsEditFace());
    toolbar->changeAddButtonToEdit();
    EXPECT_FALSE(toolbar->showsEditFace());
    EXPECT_EQ(toolbar->addItemButton()->text(), QStringLiteral("Log"));
    toolbar->addContactsButton()->click();
    EXPECT_EQ(logs, 1);
    EXPECT_TRUE(toolbar->addContactsButton()->isEnabled());
    // ToDos has no add handler here: its Add is disabled.
    window->selectItemAtIndex(2);
    EXPECT_FALSE(toolbar->addContactsButton()->isEnabled());

    // The Map has no Add item; its command prints the map; coming back puts it before the search field.
    window->selectItemAtIndex(4);
    EXPECT_FALSE(toolbar->itemIdentifiers().contains(MainWindowToolbar::AddIdentifier));
    toolbar->addItemButtonPressed(nullptr);
    EXPECT_EQ(prints, 1);
    window->selectItemAtIndex(0);
    EXPECT_EQ(toolbar->itemIdentifiers(), MainWindowToolbar::toolbarDefaultItemIdentifiers());
    EXPECT_EQ(events, (QStringList{QStringLiteral("AddToolbarButton AddContact"),
                                   QStringLiteral("AddToolbarButton EditGroup"),
                                   QStringLiteral("AddToolbarButton AddLog")}));
}

TEST_F(MainWindowPartsTest, SearchTextFormsAndTheDownArrow)
{
    QLineEdit *field = toolbar->searchField();
    QTest::keyClicks(field, QStringLiteral("Ann"));
    contacts->contactsListSource()->finishPendingWork();
    EXPECT_EQ(contacts->contactsListSource()->arrangedObjects().size(), 1);

    // Logs gets, and remembers, the normalised text; the field shows it after coming back.
    window->selectItemAtIndex(1);
    EXPECT_TRUE(field->text().isEmpty());
    QTest::keyClicks(field, QStringLiteral("Émile"));
    ASSERT_NE(sections[1], nullptr);
    EXPECT_EQ(sections[1]->searches.last(), NormalizedStringTransformer::normalizeString(QStringLiteral("Émile")));
    window->selectItemAtIndex(0);
    EXPECT_EQ(field->text(), QStringLiteral("Ann"));
    window->selectItemAtIndex(1);
    EXPECT_EQ(field->text(), NormalizedStringTransformer::normalizeString(QStringLiteral("Émile")));

    window->selectItemAtIndex(2);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_TRUE(todoList->hasFocus());
    EXPECT_EQ(todoList->selectionModel()->selectedRows().value(0).data().toString(), QStringLiteral("Call Ann"));
    EXPECT_FALSE(toolbar->doCommandBySelector(QStringLiteral("moveUp:")));
    menus->findCommand()->trigger();
    EXPECT_TRUE(field->hasFocus());
}

TEST_F(MainWindowPartsTest, MenuStatesArePushedAsTheirStateChanges)
{
    auto *saveToDropbox = new QAction(MainMenuCommands::SaveToDropboxTitle, menus.get());
    menus->addCommand(saveToDropbox);
    bool filesAllow = false;
    menus->setFilesValidator([&](QAction *) { return filesAllow; });

    // In Contacts, Delete needs a selection where the keyboard is; nothing is selected yet.
    EXPECT_FALSE(menus->deleteCommand()->isEnabled());
    // Paste and Preferences wait for their handlers.
    EXPECT_FALSE(menus->pasteCommand()->isEnabled());
    EXPECT_FALSE(menus->preferencesCommand()->isEnabled());
    menus->setPreferencesHandler([] {});
    EXPECT_TRUE(menus->preferencesCommand()->isEnabled());
    menus->setShowingPasswordScreen(true);
    EXPECT_FALSE(menus->sectionCommand(1)->isEnabled());
    EXPECT_FALSE(menus->findCommand()->isEnabled());
    EXPECT_TRUE(menus->quitCommand()->isEnabled());
    // A shortcut does nothing while the passcode screen is up.
    QTest::keyClick(window.get(), Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(window->currentIndex(), 0);
    menus->setShowingPasswordScreen(false);

    QTest::keyClick(window.get(), Qt::Key_5, Qt::ControlModifier);
    EXPECT_EQ(window->currentIndex(), 4);
    EXPECT_FALSE(menus->deleteCommand()->isEnabled());
    window->selectItemAtIndex(3);
    EXPECT_FALSE(menus->pasteCommand()->isEnabled());
    filesAllow = true;
    menus->updateMenuStates();
    EXPECT_TRUE(menus->pasteCommand()->isEnabled());

    window->selectItemAtIndex(1);
    menus->setDropboxSyncEnabled(true);
    menus->setDropboxMenuEnable(false);
    EXPECT_FALSE(saveToDropbox->isEnabled());
    EXPECT_TRUE(menus->deleteCommand()->isEnabled());
    menus->setDropboxMenuEnable(true);
    EXPECT_TRUE(saveToDropbox->isEnabled());
}

TEST_F(MainWindowPartsTest, PasteGoesToTheTextFieldUnderTheKeyboardBeforeTheFilesSection)
{
    int filesPastes = 0;
    menus->setFilesPasteHandler([&] { ++filesPastes; });
    menus->setFilesValidator([](QAction *) { return true; });
    QApplication::clipboard()->setText(QStringLiteral("Ann"));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    // In Contacts with the list under the keyboard and no contact page on show, nothing takes Paste.
    contacts->contactsOutlineView()->setFocus();
    QCoreApplication::processEvents();
    EXPECT_FALSE(menus->pasteCommand()->isEnabled());

    // The search field takes it, in Contacts and in Files alike; the state follows the focus at once.
    QLineEdit *search = toolbar->searchField();
    search->setFocus();
    QCoreApplication::processEvents();
    ASSERT_TRUE(menus->pasteCommand()->isEnabled());
    menus->pasteCommand()->trigger();
    EXPECT_EQ(search->text(), QStringLiteral("Ann"));
    window->selectItemAtIndex(3);
    search->setFocus();
    QCoreApplication::processEvents();
    search->clear();
    menus->pasteCommand()->trigger();
    EXPECT_EQ(search->text(), QStringLiteral("Ann"));
    EXPECT_EQ(filesPastes, 0);

    // Anywhere else in Files the section takes it.
    sidebar->outlineView()->setFocus();
    QCoreApplication::processEvents();
    ASSERT_TRUE(menus->pasteCommand()->isEnabled());
    menus->pasteCommand()->trigger();
    EXPECT_EQ(filesPastes, 1);
    QApplication::clipboard()->clear();
}

TEST(AddContactWindowControllerTest, SheetStartsAroundTheEditorAndGrowsToOneAndThreeQuarters)
{
    AddContactWindowController host;
    auto *editor = new QWidget;
    editor->resize(400, 300);
    host.setContentViewController(editor);
    platform::ui::Sheet *sheet = host.window();
    EXPECT_EQ(sheet->objectName(), QStringLiteral("AddContactWindow"));
    EXPECT_EQ(sheet->contentWidget(), editor);
    EXPECT_EQ(sheet->size(), QSize(500, 300));
    EXPECT_EQ(sheet->minimumSize(), QSize(500, 300));
    EXPECT_EQ(sheet->maximumSize(), QSize(875, 525));

    const int top = sheet->geometry().top();
    host.resizeWindowForContentSize(QSize(200, 100));
    EXPECT_EQ(sheet->geometry().top(), top);
    EXPECT_EQ(sheet->size(), QSize(300, 100));

    AddContactWindowController empty;
    EXPECT_EQ(empty.window()->width(), 100);
}

} // namespace
