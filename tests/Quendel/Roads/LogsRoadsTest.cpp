#include "RoadsFixture.h"

#include "Mac/Journal/TitlesSidebarController.h"

#include "platform/mail/MailHandoff.h"
#include "platform/maps/MapView.h"
#include "platform/maps/UserLocation.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTreeWidget>
#include <QUrlQuery>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

using namespace roads;

namespace {

class LogsRoadsTest : public RoadTest
{
protected:
    void SetUp() override
    {
        RoadTest::SetUp();
        // No location service: new places start without the user's position.
        platform::maps::UserLocationProvider::setFactory([](QObject *parent) {
            return std::make_unique<platform::maps::FixedLocationProvider>(parent);
        });
    }
    void TearDown() override
    {
        RoadTest::TearDown();
        platform::maps::UserLocationProvider::setFactory(nullptr);
    }


    void addContact(const QString &first, const QString &last) { addContactThroughTheSheet(first, last); }

    // The toolbar's Add in the section on show, then the contact in the picker: the editor's sheet.
    platform::ui::Sheet *addThroughThePicker(const QString &contact)
    {
        click(widgetNamed<QToolButton>(QStringLiteral("Add")));
        QAbstractItemView *picker = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            const QList<QWidget *> found = widgetsNamed(QStringLiteral("Contacts to choose"));
            picker = found.isEmpty() ? nullptr : qobject_cast<QAbstractItemView *>(found.first());
            return picker != nullptr;
        }, 3000)) << windowsOnShow();
        if (!picker)
            return nullptr;
        clickRow(picker, contact);
        platform::ui::Sheet *sheet = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (sheet = sheetOver(window())) != nullptr; }, 3000));
        EXPECT_TRUE(widgetsNamed(QStringLiteral("Contacts to choose")).isEmpty()) << "the picker closes";
        return sheet;
    }

    // Opens the popover of an editor's `button` and clicks the row `text` of its list named `listName`.
    void pickFromPopover(QWidget *editor, const QString &button, const QString &listName, const QString &text)
    {
        click(widgetNamed<QPushButton>(button, editor));
        QAbstractItemView *list = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const QList<QWidget *> found = widgetsNamed(listName);
            list = found.isEmpty() ? nullptr : qobject_cast<QAbstractItemView *>(found.first());
            return list != nullptr;
        }, 3000));
        QModelIndex row;
        for (int r = 0; r < list->model()->rowCount(); ++r)
            if (list->model()->index(r, 0).data().toString() == text)
                row = list->model()->index(r, 0);
        ASSERT_TRUE(row.isValid()) << text.toStdString();
        activateWindowOf(list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row).center());
        settle();
    }

    // The editor's date set to the 15th of the month two months back, through its calendar.
    void pickOldDate(QWidget *editor)
    {
        click(widgetNamed<QPushButton>(QStringLiteral("Date"), editor));
        QCalendarWidget *calendar = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const QList<QWidget *> found = widgetsNamed(QStringLiteral("Date"));
            for (QWidget *widget : found)
                if (auto *typed = qobject_cast<QCalendarWidget *>(widget))
                    calendar = typed;
            return calendar != nullptr;
        }, 3000));
        auto *days = calendar->findChild<QTableView *>();
        ASSERT_NE(days, nullptr);
        activateWindowOf(days);
        days->setFocus();
        QTest::keyClick(days, Qt::Key_PageUp);
        QTest::keyClick(days, Qt::Key_PageUp);
        settle();
        QModelIndex fifteenth;
        for (int r = 0; r < days->model()->rowCount() && !fifteenth.isValid(); ++r)
            for (int c = 0; c < days->model()->columnCount(); ++c)
                if (days->model()->index(r, c).data().toString() == QLatin1String("15"))
                    fifteenth = days->model()->index(r, c);
        ASSERT_TRUE(fifteenth.isValid());
        QTest::mouseClick(days->viewport(), Qt::LeftButton, {}, days->visualRect(fifteenth).center());
        settle();
    }

    void saveEditor(platform::ui::Sheet *sheet)
    {
        click(widgetNamed<QPushButton>(QStringLiteral("Save"), sheet));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    }

    void clickFilter(QAbstractItemView *filters, const QString &text)
    {
        clickRow(filters, text);
    }
};

} // namespace

TEST_F(LogsRoadsTest, LogsAreAddedForAChosenContactAndFilteredByTitleAndDate)
{
    start();
    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Logs"));
    // No log yet: the list gives way to its filler.
    EXPECT_TRUE(widgetsNamed(QStringLiteral("All Logs")).isEmpty());
    auto *filters = widgetNamed<QAbstractItemView>(QStringLiteral("Log filters"));
    ASSERT_NE(filters, nullptr) << namesStartingWith(QString()).join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(rowWithText(filters, QStringLiteral("Last Week")).isValid());
    EXPECT_TRUE(rowWithText(filters, QStringLiteral("Phone")).isValid());

    // A log of today with the title "Phone", and an old one without a title.
    platform::ui::Sheet *editor = addThroughThePicker(QStringLiteral("Zoe Quill"));
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Recent phone call"), false);
    pickFromPopover(editor, QStringLiteral("Title"), QStringLiteral("Titles"), QStringLiteral("Phone"));
    saveEditor(editor);
    editor = addThroughThePicker(QStringLiteral("Zoe Quill"));
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Old meeting"), false);
    pickOldDate(editor);
    saveEditor(editor);

    auto *logs = widgetNamed<QAbstractItemView>(QStringLiteral("All Logs"));
    ASSERT_NE(logs, nullptr) << namesStartingWith(QString()).join(QLatin1Char('|')).toStdString();
    const auto listed = [&](const QString &text) { return rowWithText(logs, text).isValid(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed(QStringLiteral("Recent phone call")) && listed(QStringLiteral("Old meeting")); }, 5000))
        << rowTexts(logs).join(QLatin1String(" | ")).toStdString();
    // The title's row counts its log.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return rowWithText(filters, QStringLiteral("Phone")).data(TitlesSidebarController::CountRole).toInt() == 1; },
        3000));

    if (qEnvironmentVariableIsSet("QUENDEL_LOGS_SHOT"))
        window()->grab().save(qEnvironmentVariable("QUENDEL_LOGS_SHOT") + QStringLiteral("-logs.png"));

    clickFilter(filters, QStringLiteral("Last Week"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed(QStringLiteral("Old meeting")); }, 3000));
    EXPECT_TRUE(listed(QStringLiteral("Recent phone call")));

    clickFilter(filters, QStringLiteral("All"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed(QStringLiteral("Old meeting")); }, 3000));
    EXPECT_TRUE(listed(QStringLiteral("Recent phone call")));

    clickFilter(filters, QStringLiteral("Meeting"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed(QStringLiteral("Recent phone call")); }, 3000));
    EXPECT_FALSE(listed(QStringLiteral("Old meeting")));
    clickFilter(filters, QStringLiteral("Phone"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed(QStringLiteral("Recent phone call")); }, 3000));
    EXPECT_FALSE(listed(QStringLiteral("Old meeting")));
}

TEST_F(LogsRoadsTest, AToDoIsAddedFromTheToDosSectionForAContactChosenInThePicker)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Alpha"));
    addContact(QStringLiteral("Bob"), QStringLiteral("Beta"));
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("ToDos"));
    ASSERT_TRUE(widgetNamed<QToolButton>(QStringLiteral("Add"))->isEnabled());
    platform::ui::Sheet *editor = addThroughThePicker(QStringLiteral("Bob Beta"));
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Send the offer"), false);
    saveEditor(editor);
    auto *todos = widgetNamed<QAbstractItemView>(QStringLiteral("All ToDos"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(todos, QStringLiteral("Send the offer")).isValid(); }, 5000))
        << rowTexts(todos).join(QLatin1String(" | ")).toStdString();
    EXPECT_TRUE(rowWithText(todos, QStringLiteral("Send the offer")).data().toString().contains(QStringLiteral("Bob Beta")));
}

TEST_F(LogsRoadsTest, ANewSavedLocationIsMadeFromTheLogEditorAndShownInTheMapSection)
{
    start();
    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Logs"));
    platform::ui::Sheet *editor = addThroughThePicker(QStringLiteral("Zoe Quill"));
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Met at the office"), false);

    click(widgetNamed<QPushButton>(QStringLiteral("Location"), editor));
    QPushButton *newLocation = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("New Location"));
        newLocation = found.isEmpty() ? nullptr : qobject_cast<QPushButton *>(found.first());
        return newLocation != nullptr;
    }, 3000));
    click(newLocation);
    QWidget *pane = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("Location editor"));
        pane = found.isEmpty() ? nullptr : found.first();
        return pane != nullptr;
    }, 3000));
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Location name"), pane), QStringLiteral("Office"), false);
    // The typed address is looked up and the pin goes there.
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Location address"), pane), QStringLiteral("Zurich"));
    auto *map = widgetNamed<platform::maps::MapView>(QStringLiteral("Location map"), pane);
    ASSERT_NE(map, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return map->annotations().size() == 1; }, 10000));
    EXPECT_NEAR(map->annotations().first().coordinate.latitude, 47.37, 0.1);
    if (qEnvironmentVariableIsSet("QUENDEL_LOGS_SHOT"))
        pane->window()->grab().save(qEnvironmentVariable("QUENDEL_LOGS_SHOT") + QStringLiteral("-location.png"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), pane));
    ASSERT_TRUE(QTest::qWaitFor([&] { return widgetsNamed(QStringLiteral("Location editor")).isEmpty(); }, 3000));

    // The log takes the new place as its location.
    bool shown = false;
    for (QLabel *label : editor->findChildren<QLabel *>())
        shown = shown || (label->isVisible() && label->text() == QLatin1String("Office"));
    EXPECT_TRUE(shown);
    saveEditor(editor);

    const auto mapListed = [&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("Map List"));
        return !found.isEmpty() && rowWithText(qobject_cast<QAbstractItemView *>(found.first()), QStringLiteral("Office")).isValid();
    };
    for (int attempt = 0; attempt < 3 && !mapListed(); ++attempt) {
        chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Map"));
        (void)QTest::qWaitFor(mapListed, 3000);
    }
    ASSERT_TRUE(mapListed());
}

TEST_F(LogsRoadsTest, AReportOfSelectedContactsTakesThemFromThePicker)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Alpha"));
    addContact(QStringLiteral("Bob"), QStringLiteral("Beta"));
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Logs"));
    for (const QString &name : {QStringLiteral("Ann Alpha"), QStringLiteral("Bob Beta")}) {
        platform::ui::Sheet *editor = addThroughThePicker(name);
        ASSERT_NE(editor, nullptr);
        typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Log of ") + name, false);
        saveEditor(editor);
    }

    chooseMenuItem(window(), QStringLiteral("File"), QStringLiteral("Export Report…"));
    QWidget *pane = widgetNamed(QStringLiteral("Export Report"));
    ASSERT_NE(pane, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane));
    auto *contacts = widgetNamed<QComboBox>(QStringLiteral("Export contacts"), pane);
    ASSERT_NE(contacts, nullptr);
    activateWindowOf(contacts);
    contacts->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < contacts->count() && contacts->currentText() != QLatin1String("Selected Contacts"); ++i)
        QTest::keyClick(contacts, Qt::Key_Down);
    ASSERT_EQ(contacts->currentText(), QStringLiteral("Selected Contacts"));
    settle();

    auto *choose = widgetNamed<QPushButton>(QStringLiteral("Choose contacts"), pane);
    ASSERT_NE(choose, nullptr);
    EXPECT_EQ(choose->text(), QStringLiteral("None"));
    click(choose);
    QAbstractItemView *picker = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("Contacts to choose"));
        picker = found.isEmpty() ? nullptr : qobject_cast<QAbstractItemView *>(found.first());
        return picker != nullptr;
    }, 3000));
    clickRow(picker, QStringLiteral("Bob Beta"));
    if (qEnvironmentVariableIsSet("QUENDEL_LOGS_SHOT"))
        picker->window()->grab().save(qEnvironmentVariable("QUENDEL_LOGS_SHOT") + QStringLiteral("-picker.png"));
    EXPECT_EQ(choose->text(), QStringLiteral("Selected 1 Contact"));
    QTest::keyClick(picker->window(), Qt::Key_Escape);
    settle();

    auto *exportButton = widgetNamed<QPushButton>(QStringLiteral("Export"), pane);
    click(exportButton);
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    ASSERT_TRUE(QTest::qWaitFor([&] { return documents.entryList({QStringLiteral("QuendelData_*")}, QDir::Files).size() == 1; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return exportButton->isEnabled(); }, 5000));
    QFile csv(documents.filePath(documents.entryList({QStringLiteral("QuendelData_*")}, QDir::Files).first()));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(csv.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Log of Bob Beta"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Log of Ann Alpha"))) << text.toStdString();
}

TEST_F(LogsRoadsTest, SavedPlacesAreAddedAndEditedInTheManageDataList)
{
    start();
    QWidget *preferences = openPreferencesPane(QStringLiteral("Manage Data"));
    ASSERT_NE(preferences, nullptr);
    click(widgetNamed<QPushButton>(QStringLiteral("Locations…"), preferences));
    platform::ui::Sheet *sheet = sheetOver(preferences);
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));

    // "Add" shows the location editor in the sheet; the typed address puts the pin; Done lists the place.
    click(widgetNamed<QPushButton>(QStringLiteral("Add"), sheet));
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Location name"), sheet), QStringLiteral("Warehouse"), false);
    typeInto(widgetNamed<QLineEdit>(QStringLiteral("Location address"), sheet), QStringLiteral("Bern"));
    auto *map = widgetNamed<platform::maps::MapView>(QStringLiteral("Location map"), sheet);
    ASSERT_NE(map, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return map->annotations().size() == 1; }, 10000));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), sheet));
    auto *list = widgetNamed<QTreeWidget>(QStringLiteral("Location"), sheet);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("Warehouse"));
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Bern"));

    // Its disclosure button edits it: the editor shows what is stored.
    click(widgetNamed<QToolButton>(QStringLiteral("Edit Warehouse"), sheet));
    auto *name = widgetNamed<QLineEdit>(QStringLiteral("Location name"), sheet);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QStringLiteral("Warehouse"));
    EXPECT_EQ(widgetNamed<platform::maps::MapView>(QStringLiteral("Location map"), sheet)->annotations().size(), 1);
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(name, QStringLiteral("Depot"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), sheet));
    list = widgetNamed<QTreeWidget>(QStringLiteral("Location"), sheet);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("Depot"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), sheet));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(preferences); }, 5000));
    preferences->close();

    const auto mapListed = [&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("Map List"));
        return !found.isEmpty() && rowWithText(qobject_cast<QAbstractItemView *>(found.first()), QStringLiteral("Depot")).isValid();
    };
    for (int attempt = 0; attempt < 3 && !mapListed(); ++attempt) {
        chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Map"));
        (void)QTest::qWaitFor(mapListed, 3000);
    }
    EXPECT_TRUE(mapListed());
}

TEST_F(LogsRoadsTest, ARightClickedLogIsGivenToAnotherContactThroughThePicker)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Alpha"));
    addContact(QStringLiteral("Bob"), QStringLiteral("Beta"));
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Logs"));
    for (const QString &note : {QStringLiteral("First visit"), QStringLiteral("Second visit")}) {
        platform::ui::Sheet *editor = addThroughThePicker(QStringLiteral("Ann Alpha"));
        ASSERT_NE(editor, nullptr);
        typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), note, false);
        saveEditor(editor);
    }
    auto *logs = widgetNamed<QAbstractItemView>(QStringLiteral("All Logs"));
    ASSERT_NE(logs, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(logs, QStringLiteral("Second visit")).isValid(); }, 5000));

    // The first log is selected; the right-click on the second acts on the second and selects it.
    clickRow(logs, QStringLiteral("First visit"));
    const QModelIndex second = rowWithText(logs, QStringLiteral("Second visit"));
    const QPoint at = logs->visualRect(second).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, logs->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(logs->viewport(), &rightClick);
    settle();
    EXPECT_EQ(logs->selectionModel()->currentIndex(), second);
    QMenu *menu = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *shown = qobject_cast<QMenu *>(top); shown && shown->isVisible() && shown->accessibleName() == QLatin1String("Log menu"))
            menu = shown;
    ASSERT_NE(menu, nullptr);
    QAction *reassign = nullptr;
    for (QAction *action : menu->actions())
        if (action->text() == QLatin1String("Reassign"))
            reassign = action;
    ASSERT_NE(reassign, nullptr);
    ASSERT_TRUE(reassign->isEnabled());
    reassign->trigger();
    menu->close();
    settle();

    QAbstractItemView *picker = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("Contacts to choose"));
        picker = found.isEmpty() ? nullptr : qobject_cast<QAbstractItemView *>(found.first());
        return picker != nullptr;
    }, 3000));
    clickRow(picker, QStringLiteral("Bob Beta"));
    EXPECT_TRUE(widgetsNamed(QStringLiteral("Contacts to choose")).isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return rowWithText(logs, QStringLiteral("Second visit")).data().toString().contains(QStringLiteral("Bob Beta"));
    }, 5000)) << rowTexts(logs).join(QLatin1String(" | ")).toStdString();
    EXPECT_TRUE(rowWithText(logs, QStringLiteral("First visit")).data().toString().contains(QStringLiteral("Ann Alpha")));

    // The add button afterwards makes a new log, and leaves the reassigned one alone.
    platform::ui::Sheet *editor = addThroughThePicker(QStringLiteral("Ann Alpha"));
    ASSERT_NE(editor, nullptr);
    click(widgetNamed<QPushButton>(QStringLiteral("Cancel"), editor));
    EXPECT_TRUE(rowWithText(logs, QStringLiteral("Second visit")).data().toString().contains(QStringLiteral("Bob Beta")));
}

TEST_F(LogsRoadsTest, TheLogMenuEmailsTheRightClickedLog)
{
    QList<QUrl> opened;
    platform::mail::MailHandoff::shared().setCommandName(QString());
    platform::mail::setUrlOpener([&](const QUrl &url) {
        opened << url;
        return true;
    });
    struct Restore
    {
        ~Restore()
        {
            platform::mail::setUrlOpener({});
            platform::mail::MailHandoff::shared().setCommandName(platform::mail::MailHandoff::defaultCommandName());
        }
    } restore;
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Alpha"));
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("Logs"));
    platform::ui::Sheet *editor = addThroughThePicker(QStringLiteral("Ann Alpha"));
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Tea & <cake>"), false);
    saveEditor(editor);
    auto *logs = widgetNamed<QAbstractItemView>(QStringLiteral("All Logs"));
    ASSERT_NE(logs, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(logs, QStringLiteral("Tea & <cake>")).isValid(); }, 5000));

    const QPoint at = logs->visualRect(rowWithText(logs, QStringLiteral("Tea & <cake>"))).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, logs->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(logs->viewport(), &rightClick);
    settle();
    QMenu *menu = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *shown = qobject_cast<QMenu *>(top); shown && shown->isVisible() && shown->accessibleName() == QLatin1String("Log menu"))
            menu = shown;
    ASSERT_NE(menu, nullptr);
    QAction *email = nullptr;
    for (QAction *action : menu->actions())
        if (action->text() == QLatin1String("Email"))
            email = action;
    ASSERT_NE(email, nullptr);
    ASSERT_TRUE(email->isEnabled());
    email->trigger();
    menu->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 5000));
    const QUrlQuery query(opened.first());
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), QStringLiteral("Quendel Log - Ann Alpha"));
    // The note goes out as the user's text, not as markup (a tag-like word survives the trip through HTML).
    EXPECT_TRUE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded).contains(QStringLiteral("Note: Tea & <cake>")))
        << query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded).toStdString();
}
