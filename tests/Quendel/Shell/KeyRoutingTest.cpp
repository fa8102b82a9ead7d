#include "Mac/Shell/CustomNSCollectionView.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Shell/CustomNSOutlineViewWithMultipleSelection.h"
#include "Mac/Shell/CustomNSTableView.h"
#include "Mac/Shell/KeyRouting.h"
#include "Mac/Shell/NSViewWithResponder.h"

#include "platform/ui/AlertPresenter.h"
#include "platform/ui/CommandRouter.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

using K = KeyDelegateKind;

// A delegate of any kind that writes down every message it gets.
class RecordingDelegate : public QObject, public KeyRoutingDelegate
{
public:
    explicit RecordingDelegate(KeyDelegateKinds kinds) : m_kinds(kinds) {}

    KeyDelegateKinds keyDelegateKinds() const override { return m_kinds; }
    void mainSidebarRightKeyWasPressed(QKeyEvent *) override { calls << "mainSidebarRightKeyWasPressed"; }
    void tabKeyPressedOnSidebarWithShift(bool shift) override
    {
        calls << QStringLiteral("tabKeyPressedOnSidebarWithShift:%1").arg(shift);
    }
    void leftKeyTomakeSidebarFirstResponder() override { calls << "leftKeyTomakeSidebarFirstResponder"; }
    void upKeyWasPressed() override { calls << "upKeyWasPressed"; }
    void downKeyWasPressed() override { calls << "downKeyWasPressed"; }
    void leftKeyWasPressed() override { calls << "leftKeyWasPressed"; }
    void rightKeyWasPressed() override { calls << "rightKeyWasPressed"; }
    void addButtonWasKeyed() override { calls << "addButtonWasKeyed"; }
    void enterPressedOnContacts() override { calls << "enterPressedOnContacts"; }
    bool hasTableviewFirstSelection() const override { return firstSelection; }
    KeyRoutingDelegate *contactsDelegate() const override { return page; }
    void subviewPressedUpButton() override { calls << "subviewPressedUpButton"; }
    void showAddLogContactSheet(QObject *) override { calls << "showAddLogContactSheet"; }
    void showAddTodoContactSheet(QObject *) override { calls << "showAddTodoContactSheet"; }
    void showAddFieldsOptions(QObject *) override { calls << "showAddFieldsOptions"; }
    void spaceBarPressedWithEvent(QKeyEvent *event) override
    {
        calls << "spaceBarPressedWithEvent";
        if (event->modifiers() != Qt::NoModifier)
            event->ignore();
    }
    QMenu *menuForOutlineViewRightClickOnSelectedOnRow(int row) override
    {
        calls << QStringLiteral("menuForRow:%1").arg(row);
        return menu;
    }
    void enterKeyWasPressed() override { calls << "enterKeyWasPressed"; }
    void tabKeyWasPressed() override { calls << "tabKeyWasPressed"; }
    void keyDown(QKeyEvent *event) override
    {
        calls << QStringLiteral("keyDown:%1").arg(event->key());
        if (passOn.contains(event->key()))
            event->ignore();
    }
    QList<int> passOn;

    QStringList calls;
    bool firstSelection = false;
    RecordingDelegate *page = nullptr;
    QMenu *menu = nullptr;

private:
    KeyDelegateKinds m_kinds;
};

KeyInfo key(char16_t character, bool command = false, bool shift = false)
{
    KeyInfo info;
    info.key = character;
    info.charactersIgnoringModifiers = QString(QChar(character));
    info.command = command;
    info.shift = shift;
    return info;
}

KeyInfo commandN()
{
    return key(u'n', true);
}

TEST(KeyRouter, OutlineRoutingTable)
{
    const KeyDelegateKinds logsTab = K::CommonListViewMac | K::ContactLogsViewControllerMac;
    const KeyDelegateKinds todosTab = K::CommonListViewMac | K::ContactTodoViewControllerMac;
    const KeyDelegateKinds fieldsTab = K::CommonListViewMac | K::ContactFieldsViewControllerMac;
    KeyInfo capsCommandN = commandN();
    capsCommandN.capsLock = true;
    const KeyInfo commandShiftN = key(u'N', true, true);

    struct Case
    {
        const char *name;
        KeyDelegateKinds kinds;
        KeyInfo key;
        bool firstSelection;
        KeyAction expected;
    };
    const Case cases[] = {
        // The sidebar: arrows up and down move as usual, right and Tab go to the application, the rest is dropped.
        {"sidebar up", K::AppDelegate, key(KeyInfo::UpArrow), false, KeyAction::Default},
        {"sidebar down", K::AppDelegate, key(KeyInfo::DownArrow), false, KeyAction::Default},
        {"sidebar right", K::AppDelegate, key(KeyInfo::RightArrow), false, KeyAction::MainSidebarRightKey},
        {"sidebar tab", K::AppDelegate, key(KeyInfo::Tab), false, KeyAction::TabOnSidebar},
        {"sidebar return", K::AppDelegate, key(KeyInfo::Return), false, KeyAction::Drop},
        {"sidebar left", K::AppDelegate, key(KeyInfo::LeftArrow), false, KeyAction::Drop},
        {"sidebar letter", K::AppDelegate, key(u'a'), false, KeyAction::Drop},
        {"sidebar command-n", K::AppDelegate, commandN(), false, KeyAction::Drop},
        // The contacts list.
        {"contacts up", K::MacContactsViewController, key(KeyInfo::UpArrow), false, KeyAction::UpKey},
        {"contacts down", K::MacContactsViewController, key(KeyInfo::DownArrow), false, KeyAction::DownKey},
        {"contacts left", K::MacContactsViewController, key(KeyInfo::LeftArrow), false, KeyAction::LeftKey},
        {"contacts right", K::MacContactsViewController, key(KeyInfo::RightArrow), false, KeyAction::RightKey},
        {"contacts command-n", K::MacContactsViewController, commandN(), false, KeyAction::AddButtonWasKeyed},
        {"contacts return", K::MacContactsViewController, key(KeyInfo::Return), false, KeyAction::EnterPressedOnContacts},
        {"contacts enter", K::MacContactsViewController, key(KeyInfo::Enter), false, KeyAction::EnterPressedOnContacts},
        {"contacts caps command-n", K::MacContactsViewController, capsCommandN, false, KeyAction::Default},
        {"contacts command-shift-n", K::MacContactsViewController, commandShiftN, false, KeyAction::Default},
        {"contacts space", K::MacContactsViewController, key(KeyInfo::Space), false, KeyAction::Default},
        // A contact's tabs.
        {"logs tab up on first row", logsTab, key(KeyInfo::UpArrow), true, KeyAction::SubviewPressedUpButton},
        {"logs tab up elsewhere", logsTab, key(KeyInfo::UpArrow), false, KeyAction::Default},
        {"logs tab down", logsTab, key(KeyInfo::DownArrow), true, KeyAction::Default},
        {"logs tab left", logsTab, key(KeyInfo::LeftArrow), false, KeyAction::Default},
        {"logs tab command-n", logsTab, commandN(), false, KeyAction::ShowAddLogContactSheet},
        {"logs tab space", logsTab, key(KeyInfo::Space), false, KeyAction::SpaceBarPressed},
        {"todos tab command-n", todosTab, commandN(), false, KeyAction::ShowAddTodoContactSheet},
        {"todos tab space", todosTab, key(KeyInfo::Space), false, KeyAction::SpaceBarPressed},
        {"fields tab command-n", fieldsTab, commandN(), false, KeyAction::ShowAddFieldsOptions},
        {"fields tab space", fieldsTab, key(KeyInfo::Space), false, KeyAction::Default},
        {"info page command-n", K::CommonListViewMac | K::ContactInfoViewControllerMac, commandN(), false, KeyAction::Drop},
        // The sections' own lists.
        {"all logs space", K::MacAllLogsViewController, key(KeyInfo::Space), false, KeyAction::SpaceBarPressed},
        {"all logs left", K::MacAllLogsViewController, key(KeyInfo::LeftArrow), false, KeyAction::LeftKeyToSidebar},
        {"all todos left", K::MacAllTodosViewController, key(KeyInfo::LeftArrow), false, KeyAction::LeftKeyToSidebar},
        {"all todos right", K::MacAllTodosViewController, key(KeyInfo::RightArrow), false, KeyAction::Default},
        {"map left", K::MacMapViewController, key(KeyInfo::LeftArrow), false, KeyAction::LeftKeyToSidebar},
        {"map space", K::MacMapViewController, key(KeyInfo::Space), false, KeyAction::Default},
        {"all logs command-n", K::MacAllLogsViewController, commandN(), false, KeyAction::Drop},
        // The import list.
        {"import return", K::ImportMultipleContactsViewController, key(KeyInfo::Return), false, KeyAction::EnterKeyWasPressed},
        {"import enter", K::ImportMultipleContactsViewController, key(KeyInfo::Enter), false, KeyAction::EnterKeyWasPressed},
        {"import tab", K::ImportMultipleContactsViewController, key(KeyInfo::Tab), false, KeyAction::TabKeyWasPressed},
        {"import up", K::ImportMultipleContactsViewController, key(KeyInfo::UpArrow), false, KeyAction::Default},
        {"import left", K::ImportMultipleContactsViewController, key(KeyInfo::LeftArrow), false, KeyAction::Default},
        // Any other delegate, or none.
        {"other command-n", KeyDelegateKinds(), commandN(), false, KeyAction::Drop},
        {"other command-shift-n", KeyDelegateKinds(), commandShiftN, false, KeyAction::Default},
        {"other return", KeyDelegateKinds(), key(KeyInfo::Return), false, KeyAction::Default},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(KeyRouter::outlineView(c.kinds, c.key, [&] { return c.firstSelection; }), c.expected) << c.name;
    }
}

TEST(KeyRouter, TableMultipleSelectionAndCollectionTables)
{
    struct Case
    {
        const char *name;
        KeyAction actual;
        KeyAction expected;
    };
    const auto none = [] { return false; };
    const auto first = [] { return true; };
    const Case cases[] = {
        {"titles picker return", KeyRouter::tableView(K::TitlesPickerViewControllerMac, key(KeyInfo::Return), none),
         KeyAction::EnterKeyWasPressed},
        {"item picker enter", KeyRouter::tableView(K::SelectItemPickerViewController, key(KeyInfo::Enter), none),
         KeyAction::EnterKeyWasPressed},
        {"titles picker space", KeyRouter::tableView(K::TitlesPickerViewControllerMac, key(KeyInfo::Space), none),
         KeyAction::Default},
        {"pane up first", KeyRouter::tableView(K::CommonListViewMac, key(KeyInfo::UpArrow), first),
         KeyAction::SubviewPressedUpButton},
        {"pane up other", KeyRouter::tableView(K::CommonListViewMac, key(KeyInfo::UpArrow), none), KeyAction::Default},
        {"pane return", KeyRouter::tableView(K::CommonListViewMac, key(KeyInfo::Return), first), KeyAction::Default},
        {"table other command-n", KeyRouter::tableView(KeyDelegateKinds(), commandN(), none), KeyAction::Default},
        {"contact picker return",
         KeyRouter::outlineViewWithMultipleSelection(K::SelectContactsViewControllerMac, key(KeyInfo::Return)),
         KeyAction::EnterKeyWasPressed},
        {"contact picker up",
         KeyRouter::outlineViewWithMultipleSelection(K::SelectContactsViewControllerMac, key(KeyInfo::UpArrow)),
         KeyAction::Default},
        {"other multiple return", KeyRouter::outlineViewWithMultipleSelection(K::TitlesPickerViewControllerMac, key(13)),
         KeyAction::Default},
        {"contact files", KeyRouter::collectionView(K::CommonListViewMac | K::ContactFilesViewControllerMac, key(u'a')),
         KeyAction::ForwardKeyDown},
        {"all files", KeyRouter::collectionView(K::MacAllFilesViewController, key(KeyInfo::UpArrow)),
         KeyAction::ForwardKeyDown},
        {"other collection", KeyRouter::collectionView(K::MacAllLogsViewController, key(KeyInfo::UpArrow)),
         KeyAction::Default},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.name;
}

TEST(KeyInfo, ReadsQtKeyEventsAsTheRoutingCodes)
{
    struct Case
    {
        int key;
        Qt::KeyboardModifiers modifiers;
        char16_t expected;
        bool commandN;
    };
    const Case cases[] = {
        {Qt::Key_Up, Qt::NoModifier, KeyInfo::UpArrow, false},
        {Qt::Key_Right, Qt::NoModifier, KeyInfo::RightArrow, false},
        {Qt::Key_Tab, Qt::NoModifier, KeyInfo::Tab, false},
        {Qt::Key_Return, Qt::NoModifier, KeyInfo::Return, false},
        {Qt::Key_Enter, Qt::KeypadModifier, KeyInfo::Enter, false},
        {Qt::Key_Space, Qt::NoModifier, KeyInfo::Space, false},
        {Qt::Key_N, Qt::ControlModifier, u'n', true},
        {Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, u'N', false},
        {Qt::Key_N, Qt::ControlModifier | Qt::AltModifier, u'n', false},
        {Qt::Key_N, Qt::NoModifier, u'n', false},
    };
    for (const Case &c : cases) {
        QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers);
        const KeyInfo info = KeyInfo::fromEvent(&event);
        EXPECT_EQ(info.key, c.expected) << c.key;
        EXPECT_EQ(info.isCommandN(), c.commandN) << c.key;
    }
}

// A two-level model as the outlines use it: section titles with rows below.
std::unique_ptr<QStandardItemModel> makeOutlineModel()
{
    auto model = std::make_unique<QStandardItemModel>();
    for (const char *section : {"Phones", "Emails"}) {
        auto *title = new QStandardItem(QString::fromLatin1(section));
        title->setData(true, CustomNSOutlineView::ItemIsTitleRole);
        for (int i = 0; i < 2; ++i)
            title->appendRow(new QStandardItem(QStringLiteral("%1 %2").arg(QString::fromLatin1(section)).arg(i)));
        model->appendRow(title);
    }
    return model;
}

class RoutingViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        platform::ui::AlertPresenter::shared().clearShownAlerts();
        platform::ui::AlertPresenter::shared().clearAnswers();
        window.resize(400, 400);
        new QVBoxLayout(&window);
    }
    template<typename View>
    View *addView()
    {
        auto *view = new View;
        window.layout()->addWidget(view);
        window.show();
        view->setFocus();
        return view;
    }
    QWidget window;
};

TEST_F(RoutingViewTest, SidebarMovesWithArrowsAndDropsReturnAndLetters)
{
    auto model = std::make_unique<QStandardItemModel>();
    for (const char *title : {"Contacts", "Logs", "ToDos", "Files", "Map"})
        model->appendRow(new QStandardItem(QString::fromLatin1(title)));
    auto *sidebar = addView<CustomNSOutlineView>();
    sidebar->setModel(model.get());
    RecordingDelegate app(K::AppDelegate);
    sidebar->setDelegate(&app);
    sidebar->setCurrentIndex(model->index(1, 0));

    QTest::keyClick(sidebar, Qt::Key_Down);
    EXPECT_EQ(sidebar->currentIndex().row(), 2);
    QTest::keyClick(sidebar, Qt::Key_Return);
    QTest::keyClick(sidebar, Qt::Key_L); // would type-select "Logs" in a plain view
    QTest::keyClick(sidebar, Qt::Key_Left);
    EXPECT_EQ(sidebar->currentIndex().row(), 2);
    EXPECT_TRUE(app.calls.isEmpty());

    // Tab reaches the sidebar's delegate even with other widgets to move the focus to; Shift-Tab does nothing.
    auto *next = new QLineEdit;
    window.layout()->addWidget(next);
    next->show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    sidebar->setFocus();
    ASSERT_TRUE(sidebar->hasFocus());
    QTest::keyClick(sidebar, Qt::Key_Right);
    QTest::keyClick(sidebar, Qt::Key_Tab);
    QTest::keyClick(sidebar, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(app.calls, (QStringList{"mainSidebarRightKeyWasPressed", "tabKeyPressedOnSidebarWithShift:0"}));
    EXPECT_TRUE(sidebar->hasFocus());
}

TEST_F(RoutingViewTest, UpOnAPanesFirstRowGoesToTheTabButtonsOtherwiseMovesTheSelection)
{
    auto model = makeOutlineModel();
    auto *outline = addView<CustomNSOutlineView>();
    outline->setModel(model.get());
    outline->expandAll();
    RecordingDelegate page(K::MacContactsViewController);
    RecordingDelegate logs(K::CommonListViewMac | K::ContactLogsViewControllerMac);
    logs.page = &page;
    outline->setDelegate(&logs);

    const QModelIndex second = model->index(1, 0, model->index(0, 0));
    outline->setCurrentIndex(second);
    logs.firstSelection = false;
    QTest::keyClick(outline, Qt::Key_Up);
    EXPECT_EQ(outline->currentIndex(), model->index(0, 0, model->index(0, 0)));
    EXPECT_TRUE(page.calls.isEmpty());

    logs.firstSelection = true;
    QTest::keyClick(outline, Qt::Key_Up);
    EXPECT_EQ(page.calls, QStringList{"subviewPressedUpButton"});
    EXPECT_EQ(outline->currentIndex(), model->index(0, 0, model->index(0, 0)));

    QTest::keyClick(outline, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(outline, Qt::Key_Space);
    EXPECT_EQ(logs.calls, (QStringList{"showAddLogContactSheet", "spaceBarPressedWithEvent"}));

    // Space with a modifier is passed back to the list: Control-Space toggles the current row's selection.
    outline->setSelectionMode(QAbstractItemView::ExtendedSelection);
    outline->clearSelection();
    QTest::keyClick(outline, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(logs.calls.size(), 3);
    EXPECT_TRUE(outline->selectionModel()->isSelected(outline->currentIndex()));
}

TEST_F(RoutingViewTest, LeftArrowInTheSectionListsHandsTheFocusToTheSidebar)
{
    RecordingDelegate app(K::AppDelegate);
    KeyRoutingDelegate::setApplicationDelegate(&app);
    auto model = makeOutlineModel();
    auto *outline = addView<CustomNSOutlineView>();
    outline->setModel(model.get());
    RecordingDelegate allLogs(K::MacAllLogsViewController);
    outline->setDelegate(&allLogs);
    QTest::keyClick(outline, Qt::Key_Left);
    EXPECT_EQ(app.calls, QStringList{"leftKeyTomakeSidebarFirstResponder"});
    EXPECT_TRUE(allLogs.calls.isEmpty());
    KeyRoutingDelegate::setApplicationDelegate(nullptr);
}

TEST_F(RoutingViewTest, InfoPageRightClickAsksForTheRowMenuAndMinusOneBelowTheRows)
{
    auto model = makeOutlineModel();
    auto *outline = addView<CustomNSOutlineView>();
    outline->setModel(model.get());
    outline->expandAll();
    QMenu rowMenu;
    rowMenu.addAction(QStringLiteral("Copy"));
    RecordingDelegate info(K::CommonListViewMac | K::ContactInfoViewControllerMac);
    info.menu = &rowMenu;
    outline->setDelegate(&info);
    QCoreApplication::processEvents();

    // Row numbers count visible items from the top, titles included.
    const QModelIndex email1 = model->index(1, 0, model->index(1, 0));
    EXPECT_EQ(outline->rowForIndex(email1), 5);
    EXPECT_EQ(outline->indexForRow(5), email1);

    const QPoint onRow = outline->visualRect(email1).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, onRow, outline->viewport()->mapToGlobal(onRow));
    QCoreApplication::sendEvent(outline->viewport(), &click);
    EXPECT_TRUE(rowMenu.isVisible());
    rowMenu.hide();

    const QPoint below(5, outline->viewport()->height() - 2);
    ASSERT_FALSE(outline->indexAt(below).isValid());
    EXPECT_EQ(outline->menuForEvent(below), &rowMenu);
    EXPECT_EQ(info.calls, (QStringList{"menuForRow:5", "menuForRow:-1"}));

    // Any other delegate gets the view's own menu.
    RecordingDelegate other(K::MacAllLogsViewController);
    QMenu own;
    outline->setMenu(&own);
    outline->setDelegate(&other);
    EXPECT_EQ(outline->menuForEvent(onRow), &own);
}

// An editable detail row of the Info page.
class EditingCell : public QWidget, public TextFieldsMouseDownReceiver
{
public:
    void mouseDownForTextFields(QMouseEvent *) override { ++clicks; }
    int clicks = 0;
};

TEST_F(RoutingViewTest, ClickOnAnEditableInfoRowReachesItsTextFields)
{
    auto model = makeOutlineModel();
    auto *outline = addView<CustomNSOutlineView>();
    outline->setModel(model.get());
    outline->expandAll();
    RecordingDelegate info(K::CommonListViewMac | K::ContactInfoViewControllerMac);
    outline->setDelegate(&info);

    const QModelIndex phone0 = model->index(0, 0, model->index(0, 0));
    const QModelIndex phone1 = model->index(1, 0, model->index(0, 0));
    auto *dataCell = new EditingCell;
    dataCell->setObjectName(QStringLiteral("DataEditingCell"));
    auto *otherCell = new EditingCell;
    otherCell->setObjectName(QStringLiteral("PlainCell"));
    outline->setIndexWidget(phone0, dataCell);
    outline->setIndexWidget(phone1, otherCell);
    QCoreApplication::processEvents();

    // Clicks on the view itself (a cell's own children would take the click before the view).
    auto clickRow = [&](const QModelIndex &index) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(outline->visualRect(index).center()),
                          outline->viewport()->mapToGlobal(QPointF(outline->visualRect(index).center())),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(outline->viewport(), &press);
    };
    clickRow(phone0);
    clickRow(phone1);
    clickRow(model->index(0, 0)); // a title row
    EXPECT_EQ(dataCell->clicks, 1);
    EXPECT_EQ(otherCell->clicks, 0);

    // Another delegate's outline forwards nothing.
    RecordingDelegate contacts(K::MacContactsViewController);
    outline->setDelegate(&contacts);
    clickRow(phone0);
    EXPECT_EQ(dataCell->clicks, 1);
}

TEST_F(RoutingViewTest, PickersConfirmWithReturnInTablesAndTheContactPicker)
{
    QStandardItemModel model(3, 1);
    auto *table = addView<CustomNSTableView>();
    table->setModel(&model);
    RecordingDelegate titles(K::TitlesPickerViewControllerMac);
    table->setDelegate(&titles);
    table->setCurrentIndex(model.index(1, 0));
    QTest::keyClick(table, Qt::Key_Return);
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(titles.calls, QStringList{"enterKeyWasPressed"});
    EXPECT_EQ(table->currentIndex().row(), 2);

    auto *picker = addView<CustomNSOutlineViewWithMultipleSelection>();
    picker->setModel(&model);
    RecordingDelegate contacts(K::SelectContactsViewControllerMac);
    picker->setDelegate(&contacts);
    picker->setAllowsMouseDownQD(true);
    QTest::keyClick(picker, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(picker, Qt::Key_Space);
    EXPECT_EQ(contacts.calls, QStringList{"enterKeyWasPressed"});
}

TEST_F(RoutingViewTest, FilePanesTakeEveryKeyOfTheirCollection)
{
    QStandardItemModel model(3, 1);
    auto *collection = addView<CustomNSCollectionView>();
    collection->setModel(&model);
    RecordingDelegate files(K::CommonListViewMac | K::ContactFilesViewControllerMac);
    collection->setDelegate(&files);
    collection->setCurrentIndex(model.index(1, 0));
    QTest::keyClick(collection, Qt::Key_Up);
    QTest::keyClick(collection, Qt::Key_Space);
    EXPECT_EQ(files.calls, (QStringList{QStringLiteral("keyDown:%1").arg(int(Qt::Key_Up)),
                                        QStringLiteral("keyDown:%1").arg(int(Qt::Key_Space))}));
    EXPECT_EQ(collection->currentIndex().row(), 1);

    // A key the pane leaves alone gets the collection's own handling.
    files.passOn = {Qt::Key_Down};
    QTest::keyClick(collection, Qt::Key_Down);
    EXPECT_EQ(files.calls.size(), 3);
    EXPECT_NE(collection->currentIndex().row(), 1);
    EXPECT_TRUE(collection->isCurrentlyVisible());
    collection->hide();
    EXPECT_FALSE(collection->isCurrentlyVisible());
}

TEST_F(RoutingViewTest, ADropWithAFolderIsRefusedWholeWithOneAlert)
{
    QTemporaryDir dir;
    const QString fileA = dir.filePath(QStringLiteral("a.txt"));
    const QString fileB = dir.filePath(QStringLiteral("b.txt"));
    const QString folder = dir.filePath(QStringLiteral("folder"));
    for (const QString &path : {fileA, fileB}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir().mkpath(folder));

    struct Case
    {
        const char *name;
        QList<QUrl> urls;
        bool accepted;
    };
    const Case cases[] = {
        {"two files and a folder",
         {QUrl::fromLocalFile(fileA), QUrl::fromLocalFile(folder), QUrl::fromLocalFile(fileB)},
         false},
        {"files only", {QUrl::fromLocalFile(fileA), QUrl::fromLocalFile(fileB)}, true},
        {"missing path", {QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone")))}, true},
        {"no file names", {}, true},
    };
    auto *collection = addView<CustomNSCollectionView>();
    auto &alerts = platform::ui::AlertPresenter::shared();
    for (const Case &c : cases) {
        alerts.clearShownAlerts();
        alerts.setNextAnswer(platform::ui::AlertAnswer::button(0));
        QMimeData data;
        if (!c.urls.isEmpty())
            data.setUrls(c.urls);
        EXPECT_EQ(collection->prepareForDragOperation(&data), c.accepted) << c.name;
        EXPECT_EQ(alerts.shownAlerts().size(), c.accepted ? 0 : 1) << c.name;
        if (!c.accepted) {
            EXPECT_EQ(alerts.shownAlerts().first().spec.messageText, QStringLiteral("Folders cannot be imported"));
            EXPECT_EQ(alerts.shownAlerts().first().spec.informativeText,
                      QStringLiteral("You cannot import folders into Quendel"));
        }
        alerts.clearAnswers();
        QCoreApplication::processEvents();
    }
}

TEST_F(RoutingViewTest, ViewWithResponderKeepsExactlyOneControllerBehindIt)
{
    auto *view = addView<NSViewWithResponder>();
    auto *field = new QWidget(view);
    field->setFocusPolicy(Qt::StrongFocus);
    QObject first;
    QObject second;
    auto &router = platform::ui::CommandRouter::shared();

    view->setViewController(&first);
    view->setViewController(&second);
    const QList<QObject *> chain = router.responderChain(field);
    ASSERT_GE(chain.size(), 4);
    EXPECT_EQ(chain.at(0), field);
    EXPECT_EQ(chain.at(1), view);
    EXPECT_EQ(chain.at(2), &second);
    EXPECT_EQ(chain.at(3), &window);
    EXPECT_FALSE(chain.contains(&first));

    view->setViewController(nullptr);
    EXPECT_EQ(router.responderChain(field).at(2), &window);
}

// An editor's controller that is not a widget: it takes Escape, nothing else.
class EditorController : public QObject
{
public:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::event(event);
        auto *key = static_cast<QKeyEvent *>(event);
        keys << key->key();
        if (key->key() == Qt::Key_Escape)
            key->accept();
        return true;
    }
    QList<int> keys;
};

// The window behind the editor's view, to see which keys travel past the controller.
class KeyCatcher : public QWidget
{
public:
    void keyPressEvent(QKeyEvent *event) override { keys << event->key(); }
    QList<int> keys;
};

TEST(NSViewWithResponder, KeysTheSubviewsPassOnReachTheControllerBeforeTheParents)
{
    KeyCatcher host;
    new QVBoxLayout(&host);
    auto *view = new NSViewWithResponder;
    host.layout()->addWidget(view);
    auto *label = new QWidget(view);
    label->setFocusPolicy(Qt::StrongFocus);
    EditorController controller;
    view->setViewController(&controller);
    host.show();
    label->setFocus();

    QTest::keyClick(label, Qt::Key_Escape);
    QTest::keyClick(label, Qt::Key_A);
    EXPECT_EQ(controller.keys, (QList<int>{Qt::Key_Escape, Qt::Key_A}));
    EXPECT_EQ(host.keys, QList<int>{Qt::Key_A});
}

} // namespace
