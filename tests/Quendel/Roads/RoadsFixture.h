#pragma once

// The roads a user takes through the running program. A road test starts the application as main does
// (the application delegate's launch: the main window with its sections, sidebar, toolbar and menus) in
// the test's own empty home, and acts only as a user can: it finds widgets by the names a screen reader
// reads, clicks, types, picks menu items, answers sheets with their buttons and alerts through the alert
// presenter's answers given ahead. It never calls a controller. Later roads add their tests beside these.

#include "Quendel/FreshHome.h"

#include "AppDelegate.h"
#include "Mac/Shell/MainWindow.h"

#include "platform/contacts/AddressBook.h"
#include "platform/core/StandardPaths.h"
#include "platform/maps/UserLocation.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace roads {

// Every widget on show under `root` (every window when null) whose accessible name is `name`.
inline QList<QWidget *> widgetsNamed(const QString &name, QWidget *root = nullptr)
{
    QList<QWidget *> tops = root ? QList<QWidget *>{root} : QApplication::topLevelWidgets();
    QList<QWidget *> found;
    for (QWidget *top : tops) {
        if (!top->isVisible())
            continue;
        QList<QWidget *> all = top->findChildren<QWidget *>();
        all.prepend(top);
        for (QWidget *widget : all) {
            if (widget->isVisible() && widget->accessibleName() == name && !found.contains(widget))
                found << widget;
        }
    }
    return found;
}

// The windows on show and the active one, for a failure message that says what the user would see.
inline std::string windowsOnShow()
{
    QStringList lines;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        lines << QStringLiteral("%1 \"%2\" \"%3\"%4%5")
                     .arg(QString::fromLatin1(top->metaObject()->className()), top->objectName(), top->windowTitle(),
                          top == QApplication::activeWindow() ? QStringLiteral(" (active)") : QString(),
                          top == QApplication::activeModalWidget() ? QStringLiteral(" (modal)") : QString());
    }
    return ("windows on show: " + lines.join(QStringLiteral("; "))).toStdString();
}

// The one widget of kind T on show named `name` under `root` (a button and a list may share a name, as
// a screen reader tells them apart by their role); null and a test failure when there is none or more.
template <typename T = QWidget> T *widgetNamed(const QString &name, QWidget *root = nullptr)
{
    QList<T *> found;
    for (QWidget *widget : widgetsNamed(name, root)) {
        if (T *typed = qobject_cast<T *>(widget))
            found << typed;
    }
    EXPECT_EQ(found.size(), 1) << "widgets named \"" << name.toStdString() << "\"; " << windowsOnShow();
    return found.size() == 1 ? found.first() : nullptr;
}

// The names of the widgets on show under `root` whose accessible name starts with `prefix`.
inline QStringList namesStartingWith(const QString &prefix, QWidget *root = nullptr)
{
    QStringList names;
    QList<QWidget *> tops = root ? QList<QWidget *>{root} : QApplication::topLevelWidgets();
    for (QWidget *top : tops) {
        if (!top->isVisible())
            continue;
        for (QWidget *widget : top->findChildren<QWidget *>()) {
            if (widget->isVisible() && widget->accessibleName().startsWith(prefix))
                names << widget->accessibleName();
        }
    }
    return names;
}

inline void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A click into a window makes it the active one, as the window manager does.
inline void activateWindowOf(QWidget *widget)
{
    QWidget *window = widget->window();
    if (QApplication::activeWindow() == window)
        return;
    window->activateWindow();
    // Some window managers never activate: the caller goes on either way.
    (void)QTest::qWaitForWindowActive(window, 1000);
}

// A left click in the middle of an enabled widget.
inline void click(QWidget *widget)
{
    ASSERT_NE(widget, nullptr);
    ASSERT_TRUE(widget->isEnabled()) << widget->accessibleName().toStdString() << " is disabled";
    activateWindowOf(widget);
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    settle();
}

// Clicks into a text field, types `text` after what it holds and presses Return.
inline void typeInto(QWidget *field, const QString &text, bool pressReturn = true)
{
    ASSERT_NE(field, nullptr);
    activateWindowOf(field);
    QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
    field->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(field, text);
    if (pressReturn)
        QTest::keyClick(field, Qt::Key_Return);
    settle();
}

// Selects what a field holds (Ctrl+A) and types `text` over it, then Return.
inline void replaceText(QWidget *field, const QString &text)
{
    ASSERT_NE(field, nullptr);
    activateWindowOf(field);
    QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
    field->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
    settle();
}

// The texts of a list's rows as it shows them, top to bottom (section titles included).
inline QStringList rowTexts(QAbstractItemView *list)
{
    QStringList texts;
    auto *tree = qobject_cast<QTreeView *>(list);
    if (!tree || !tree->model())
        return texts;
    for (QModelIndex index = tree->model()->index(0, 0); index.isValid(); index = tree->indexBelow(index))
        texts << index.data().toString();
    return texts;
}

inline QModelIndex rowWithText(QAbstractItemView *list, const QString &text)
{
    auto *tree = qobject_cast<QTreeView *>(list);
    if (!tree || !tree->model())
        return {};
    for (QModelIndex index = tree->model()->index(0, 0); index.isValid(); index = tree->indexBelow(index)) {
        if (index.data().toString().contains(text))
            return index;
    }
    return {};
}

// Clicks the row of a list whose text holds `text` (once or twice).
inline void clickRow(QAbstractItemView *list, const QString &text, bool twice = false)
{
    ASSERT_NE(list, nullptr);
    const QModelIndex index = rowWithText(list, text);
    ASSERT_TRUE(index.isValid()) << "no row \"" << text.toStdString() << "\" in: "
                                 << rowTexts(list).join(QLatin1String(" | ")).toStdString();
    activateWindowOf(list);
    list->scrollTo(index);
    const QPoint centre = list->visualRect(index).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    settle();
}

// The sheet on show over `window` (the last one begun); null when none is.
inline platform::ui::Sheet *sheetOver(QWidget *window)
{
    const QList<platform::ui::Sheet *> sheets = platform::ui::Sheet::attachedSheets(window);
    return sheets.isEmpty() ? nullptr : sheets.last();
}

// The item `itemTitle` of the menu-bar menu `menuTitle`, as the user picks it.
inline QAction *menuItem(QMainWindow *window, const QString &menuTitle, const QString &itemTitle)
{
    for (QAction *top : window->menuBar()->actions()) {
        if (top->text() != menuTitle || !top->menu())
            continue;
        // The menu refreshes its items' states as it opens.
        emit top->menu()->aboutToShow();
        for (QAction *item : top->menu()->actions()) {
            if (item->text() == itemTitle)
                return item;
        }
    }
    ADD_FAILURE() << "no menu item " << menuTitle.toStdString() << " > " << itemTitle.toStdString();
    return nullptr;
}

inline void chooseMenuItem(QMainWindow *window, const QString &menuTitle, const QString &itemTitle)
{
    QAction *item = menuItem(window, menuTitle, itemTitle);
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(item->isEnabled()) << itemTitle.toStdString() << " is disabled";
    item->trigger();
    settle();
}

// The menu dropped down by a button or a right click, once it is on show; null when none came.
inline QMenu *poppedUpMenu(int timeoutMs = 2000)
{
    QMenu *menu = nullptr;
    (void)QTest::qWaitFor([&] {
        menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        return menu && menu->isVisible();
    }, timeoutMs);
    return menu;
}

// Clicks the item `title` of the menu on show.
inline void choosePoppedUpItem(const QString &title)
{
    QMenu *menu = poppedUpMenu();
    ASSERT_NE(menu, nullptr) << "no menu on show to choose " << title.toStdString() << " from";
    QAction *item = nullptr;
    QStringList titles;
    for (QAction *action : menu->actions()) {
        titles << action->text();
        if (action->text() == title && !item)
            item = action;
    }
    ASSERT_NE(item, nullptr) << "no item " << title.toStdString() << " in: " << titles.join('|').toStdString();
    ASSERT_TRUE(item->isEnabled()) << title.toStdString() << " is disabled";
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    settle();
}

// A right click on the row of a list whose text holds `text`.
inline void rightClickRow(QAbstractItemView *list, const QString &text)
{
    ASSERT_NE(list, nullptr);
    const QModelIndex index = rowWithText(list, text);
    ASSERT_TRUE(index.isValid()) << "no row \"" << text.toStdString() << "\"";
    activateWindowOf(list);
    list->scrollTo(index);
    const QPoint centre = list->visualRect(index).center();
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, centre);
    QContextMenuEvent event(QContextMenuEvent::Mouse, centre, list->viewport()->mapToGlobal(centre));
    QApplication::sendEvent(list->viewport(), &event);
    settle();
}

// A field of the add-contact sheet to type into, by its accessible name.
struct SheetField
{
    QString name;
    QString text;
    bool pressReturn = true;
};

// The toolbar's Add, "Create Contact" (or "Create Private Contact") in its menu, the names and any more
// fields typed into the sheet, and the sheet's Add button; returns once the sheet has closed.
inline void addContactThroughTheSheet(QMainWindow *window, const QString &first, const QString &last,
                                      const QList<SheetField> &more = {}, bool privateContact = false)
{
    QList<QWidget *> addButtons;
    for (QWidget *widget : widgetsNamed(QStringLiteral("Add"), window)) {
        if (widget->inherits("QToolButton"))
            addButtons << widget;
    }
    ASSERT_EQ(addButtons.size(), 1);
    click(addButtons.first());
    choosePoppedUpItem(privateContact ? QStringLiteral("Create Private Contact") : QStringLiteral("Create Contact"));
    platform::ui::Sheet *sheet = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (sheet = sheetOver(window)) != nullptr; }, 5000));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    if (!first.isEmpty())
        typeInto(widgetNamed<QLineEdit>(QStringLiteral("First name"), sheet), first);
    if (!last.isEmpty())
        typeInto(widgetNamed<QLineEdit>(QStringLiteral("Last name"), sheet), last);
    for (const SheetField &field : more)
        typeInto(widgetNamed<QLineEdit>(field.name, sheet), field.text, field.pressReturn);
    QPushButton *add = nullptr;
    for (QWidget *widget : widgetsNamed(QStringLiteral("Add"), sheet)) {
        if (auto *button = qobject_cast<QPushButton *>(widget))
            add = button;
    }
    ASSERT_NE(add, nullptr);
    click(add);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window); }, 5000));
}

// Writes a file the way synchronising tools do: a temporary file renamed into place.
inline void writeAsAnotherProgram(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile temp(path + QStringLiteral(".part"));
    ASSERT_TRUE(temp.open(QIODevice::WriteOnly));
    temp.write(data);
    temp.close();
    QFile::remove(path);
    ASSERT_TRUE(QFile::rename(temp.fileName(), path));
}

// Each road starts in an empty home, with every alert answered ahead or by its default button.
class RoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        quendel::test::startWithEmptyHome();
        platform::ui::AlertPresenter::shared().setBlockingForbidden(true);
        // A user who has seen the messages of the first start and of the last update; the roads of those
        // messages start as on a new installation (MessagesRoadsTest).
        markMessagesOfEarlierStartsSeen();
    }

    static void markMessagesOfEarlierStartsSeen()
    {
        dataPlistValues().setValue(QStringLiteral("has_shown_whats_new:4.1.0_VERSION"), 1);
        dataPlistValues().setValue(QStringLiteral("has_shown_whats_new:3.9.4_VERSION"), 1);
        // Started once before, so the welcome of a new installation is not waiting either.
        dataPlistValues().setValue(QDSettingsKeys::FirstTimeDownloadKey, false);
        SharedSettingController::sharedSettings().saveDataPlist();
    }

    void TearDown() override
    {
        app.reset();
        settle();
    }

    // Starts the program as main does and waits until its first section is on show.
    AppDelegate &start()
    {
        app = std::make_unique<AppDelegate>();
        app->setExitHandler([this](int code) { exits << code; });
        app->launch();
        // The launch may first back up the store before its update (a sheet of a few seconds).
        EXPECT_TRUE(QTest::qWaitFor([this] { return app->isLaunchComplete(); }, 30000));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(app->window()));
        settle();
        return *app;
    }

    // Quit in the File menu: the program saves and ends, as it would under main's event loop; the next
    // start() reads only what was written to disk.
    void quitThroughTheMenu()
    {
        chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Quit Quendel"));
        EXPECT_EQ(exits, QList<int>{0});
        app.reset();
        exits.clear();
        settle();
        quendel::test::forgetSettingsInMemory();
    }

    MainWindow *window() const { return app ? app->window() : nullptr; }
    QAbstractItemView *contactsList() const { return widgetNamed<QAbstractItemView>(QStringLiteral("Contacts")); }

    // Preferences… in the File menu: its window, once on show (null and a test failure when it does not come).
    QWidget *openPreferencesWindow()
    {
        chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Preferences…"));
        QWidget *preferences = nullptr;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QList<QWidget *> found = widgetsNamed(QStringLiteral("Preferences"));
                preferences = found.isEmpty() ? nullptr : found.first();
                return preferences != nullptr;
            },
            5000));
        if (preferences) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(preferences));
        }
        return preferences;
    }

    // Clicks the tab of the Preferences pane with that title (a test failure when there is none).
    static void choosePreferencesPane(QWidget *preferences, const QString &title)
    {
        auto *tabs = widgetNamed<QTabWidget>(QStringLiteral("Preferences panes"), preferences);
        ASSERT_NE(tabs, nullptr);
        QTabBar *bar = tabs->tabBar();
        for (int i = 0; i < bar->count(); ++i) {
            if (bar->tabText(i) == title) {
                activateWindowOf(bar);
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
                settle();
            }
        }
        EXPECT_EQ(tabs->tabText(tabs->currentIndex()), title);
    }

    // Preferences… in the File menu, on the pane with that title; null (and a test failure) when the window
    // does not come.
    QWidget *openPreferencesPane(const QString &title)
    {
        QWidget *preferences = openPreferencesWindow();
        if (preferences)
            choosePreferencesPane(preferences, title);
        return preferences;
    }


    // A contact added through the Add menu's sheet, waited for in the contacts list.
    void addContactThroughTheSheet(const QString &first, const QString &last, const QList<SheetField> &more = {},
                                   bool privateContact = false)
    {
        roads::addContactThroughTheSheet(window(), first, last, more, privateContact);
        const QString shown = QStringList{first, last}.join(QLatin1Char(' ')).trimmed();
        auto *list = widgetNamed<QAbstractItemView>(QStringLiteral("Contacts"));
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(list, shown).isValid(); }, 5000))
            << shown.toStdString() << " not in: " << rowTexts(list).join(QLatin1String(" | ")).toStdString();
    }

    std::unique_ptr<AppDelegate> app;
    QList<int> exits;
};

// A road through the address book: each test reads the folder of its own home, never an earlier test's.
class AddressBookRoadTest : public RoadTest
{
protected:
    void SetUp() override
    {
        RoadTest::SetUp();
        platform::contacts::AddressBook::setShared(nullptr);
    }
    void TearDown() override
    {
        RoadTest::TearDown();
        platform::contacts::AddressBook::setShared(nullptr);
    }

    // The folder of cards the address book keeps in this home.
    QString collection() const
    {
        return platform::core::StandardPaths::dataFolderPath() + QStringLiteral("/contacts/local/default");
    }
    bool listShows(const QString &text, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return rowWithText(contactsList(), text).isValid(); }, timeoutMs);
    }
};

// A road whose user stands in the middle of Zurich.
class ZurichRoadTest : public RoadTest
{
protected:
    void SetUp() override
    {
        RoadTest::SetUp();
        platform::maps::UserLocationProvider::setFactory([](QObject *parent) {
            auto provider = std::make_unique<platform::maps::FixedLocationProvider>(parent);
            provider->setLocation({47.3769, 8.5417});
            return provider;
        });
    }
    void TearDown() override
    {
        RoadTest::TearDown();
        platform::maps::UserLocationProvider::setFactory(nullptr);
    }
};

} // namespace roads
