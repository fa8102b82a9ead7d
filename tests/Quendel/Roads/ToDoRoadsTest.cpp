#include "RoadsFixture.h"

#include "Mac/Journal/MacAddEditCommonController.h"

#include "platform/core/Clock.h"
#include "platform/core/StandardPaths.h"
#include "platform/notify/FreedesktopNotifier.h"

#include <QDBusConnection>

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QRegularExpression>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolButton>

using namespace roads;

namespace {

class ToDoRoadsTest : public RoadTest
{
protected:
    void addContact(const QString &first, const QString &last) { addContactThroughTheSheet(first, last); }

    // Clicks the choice `text` in the picker on show under the name `pickerName`.
    void pickChoice(const QString &pickerName, const QString &text)
    {
        QWidget *picker = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const QList<QWidget *> found = widgetsNamed(pickerName);
            picker = found.isEmpty() ? nullptr : found.first();
            return picker != nullptr;
        }, 3000)) << pickerName.toStdString();
        auto *list = widgetNamed<QAbstractItemView>(QStringLiteral("Choices"), picker);
        ASSERT_NE(list, nullptr);
        QModelIndex choice;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            if (list->model()->index(row, 0).data().toString() == text)
                choice = list->model()->index(row, 0);
        ASSERT_TRUE(choice.isValid()) << text.toStdString();
        activateWindowOf(list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(choice).center());
        settle();
    }

    // Whether a label on show under `root` reads `text`.
    static bool showsLabel(QWidget *root, const QString &text)
    {
        for (QLabel *label : root->findChildren<QLabel *>())
            if (label->isVisible() && label->text() == text)
                return true;
        return false;
    }

    // Ticks the check box at the start of the row holding `text`.
    void tickRow(QAbstractItemView *list, const QString &text)
    {
        const QModelIndex index = rowWithText(list, text);
        ASSERT_TRUE(index.isValid()) << rowTexts(list).join(QLatin1String(" | ")).toStdString();
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualRect(index);
        option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = index.data().toString();
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        ASSERT_TRUE(box.isValid());
        activateWindowOf(list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
        settle();
    }

    static QString shown(const QDateTime &when) { return QLocale().toString(when.toLocalTime(), QLocale::ShortFormat); }
};

TEST_F(ToDoRoadsTest, AToDoWithARepeatAndAnAlertIsAddedEditedAndMovesOnWhenDone)
{
    start();
    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    clickRow(contactsList(), QStringLiteral("Zoe Quill"));
    click(widgetNamed<QPushButton>(QStringLiteral("ToDos")));
    auto *todos = widgetNamed<QAbstractItemView>(QStringLiteral("ToDos"));
    ASSERT_NE(todos, nullptr);

    // The tab's "+" opens the to-do editor in a sheet, with no repeat and no alert yet.
    click(widgetNamed<QPushButton>(QStringLiteral("Add to ToDos")));
    platform::ui::Sheet *editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(showsLabel(editor, QStringLiteral("No Repeat")));
    EXPECT_TRUE(showsLabel(editor, QStringLiteral("No Alert")));
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Water the plants"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Repeat"), editor));
    pickChoice(QStringLiteral("Repeat choices"), QStringLiteral("Every Day"));
    EXPECT_TRUE(showsLabel(editor, QStringLiteral("Every Day")));
    click(widgetNamed<QPushButton>(QStringLiteral("Alert"), editor));
    pickChoice(QStringLiteral("Alert choices"), QStringLiteral("15 minutes before"));
    EXPECT_TRUE(showsLabel(editor, QStringLiteral("15 minutes before")));
    click(widgetNamed<QPushButton>(QStringLiteral("Save"), editor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));

    // A new to-do starts today at 23:00.
    const QDateTime today(QDate::currentDate(), QTime(23, 0), Qt::LocalTime);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(todos, QStringLiteral("Water the plants")).isValid(); }, 5000))
        << rowTexts(todos).join(QLatin1String(" | ")).toStdString();
    EXPECT_TRUE(rowWithText(todos, QStringLiteral("Water the plants")).data().toString().startsWith(shown(today)))
        << rowTexts(todos).join(QLatin1String(" | ")).toStdString();

    // A double click opens it in the editor again, with its repeat and alert.
    clickRow(todos, QStringLiteral("Water the plants"), true);
    MacAddEditCommonController *edit = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->isVisible())
                if (auto *found = top->findChild<MacAddEditCommonController *>(); found && found->isVisible())
                    edit = found;
        return edit != nullptr;
    }, 3000));
    EXPECT_EQ(edit->title(), QStringLiteral("Edit ToDo"));
    EXPECT_TRUE(showsLabel(edit, QStringLiteral("Every Day")));
    EXPECT_TRUE(showsLabel(edit, QStringLiteral("15 minutes before")));
    click(widgetNamed<QPushButton>(QStringLiteral("Cancel"), edit));

    // Ticked, with "No" to the offer of a log: a daily to-do moves on to tomorrow and stays open.
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(1));
    tickRow(todos, QStringLiteral("Water the plants"));
    ASSERT_FALSE(platform::ui::AlertPresenter::shared().shownAlerts().isEmpty());
    EXPECT_EQ(platform::ui::AlertPresenter::shared().shownAlerts().last().spec.informativeText,
              QStringLiteral("Do you want to add a Log for this event?"));
    const QDateTime tomorrow = today.addDays(1);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return rowWithText(todos, QStringLiteral("Water the plants")).data().toString().startsWith(shown(tomorrow));
    }, 5000)) << rowTexts(todos).join(QLatin1String(" | ")).toStdString();

    // Kept across a quit and a start.
    quitThroughTheMenu();
    start();
    clickRow(contactsList(), QStringLiteral("Zoe Quill"));
    click(widgetNamed<QPushButton>(QStringLiteral("ToDos")));
    todos = widgetNamed<QAbstractItemView>(QStringLiteral("ToDos"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return rowWithText(todos, QStringLiteral("Water the plants")).data().toString().startsWith(shown(tomorrow));
    }, 5000)) << rowTexts(todos).join(QLatin1String(" | ")).toStdString();

    // The ToDos section lists it with its contact, under the section of its day.
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("ToDos"));
    auto *all = widgetNamed<QAbstractItemView>(QStringLiteral("All ToDos"));
    ASSERT_NE(all, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(all, QStringLiteral("Water the plants")).isValid(); }, 5000))
        << rowTexts(all).join(QLatin1String(" | ")).toStdString();
    const QString row = rowWithText(all, QStringLiteral("Water the plants")).data().toString();
    EXPECT_TRUE(row.startsWith(shown(tomorrow))) << row.toStdString();
    EXPECT_TRUE(row.contains(QStringLiteral("Zoe Quill"))) << row.toStdString();
    EXPECT_EQ(rowTexts(all).first(), QStringLiteral("Next 7 Days"));

    // The toolbar search narrows it; emptied, the to-do is back.
    auto *search = widgetNamed<QLineEdit>(QStringLiteral("Search"));
    typeInto(search, QStringLiteral("lawn"), false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rowWithText(all, QStringLiteral("Water the plants")).isValid(); }, 5000));
    QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(search, QStringLiteral("plants"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowWithText(all, QStringLiteral("Water the plants")).isValid(); }, 5000));

    // A double click opens it in the editor there too.
    clickRow(all, QStringLiteral("Water the plants"), true);
    MacAddEditCommonController *sectionEditor = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->isVisible())
                if (auto *found = top->findChild<MacAddEditCommonController *>(); found && found->isVisible())
                    sectionEditor = found;
        return sectionEditor != nullptr;
    }, 3000));
    EXPECT_EQ(sectionEditor->title(), QStringLiteral("Edit ToDo"));
    EXPECT_TRUE(showsLabel(sectionEditor, QStringLiteral("Every Day")));
    click(widgetNamed<QPushButton>(QStringLiteral("Cancel"), sectionEditor));
}

TEST_F(ToDoRoadsTest, AToDoWithoutARepeatLeavesTheListWhenDone)
{
    start();
    addContact(QStringLiteral("Ann"), QStringLiteral("Adams"));
    clickRow(contactsList(), QStringLiteral("Ann Adams"));
    click(widgetNamed<QPushButton>(QStringLiteral("ToDos")));
    auto *todos = widgetNamed<QAbstractItemView>(QStringLiteral("ToDos"));
    click(widgetNamed<QPushButton>(QStringLiteral("Add to ToDos")));
    platform::ui::Sheet *editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Send the offer"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Save"), editor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(todos, QStringLiteral("Send the offer")).isValid(); }, 5000));

    // "Cancel" to the offer leaves it as it was; "No" completes it.
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(2));
    tickRow(todos, QStringLiteral("Send the offer"));
    settle();
    EXPECT_TRUE(rowWithText(todos, QStringLiteral("Send the offer")).isValid());
    EXPECT_EQ(rowWithText(todos, QStringLiteral("Send the offer")).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(1));
    tickRow(todos, QStringLiteral("Send the offer"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rowWithText(todos, QStringLiteral("Send the offer")).isValid(); }, 5000))
        << rowTexts(todos).join(QLatin1String(" | ")).toStdString();
}

TEST_F(ToDoRoadsTest, ALinkedToDoFollowsItsEventWhenAnotherProgramMovesIt)
{
    start();
    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    clickRow(contactsList(), QStringLiteral("Zoe Quill"));
    click(widgetNamed<QPushButton>(QStringLiteral("ToDos")));
    auto *todos = widgetNamed<QAbstractItemView>(QStringLiteral("ToDos"));
    click(widgetNamed<QPushButton>(QStringLiteral("Add to ToDos")));
    platform::ui::Sheet *editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Visit the site"), false);
    EXPECT_TRUE(showsLabel(editor, QStringLiteral("No Calendar")));

    // The calendar popover: the switch links the to-do to the calendar folder's default calendar.
    click(widgetNamed<QPushButton>(QStringLiteral("Calendar"), editor));
    QCheckBox *link = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("Add to Calendar"));
        link = found.isEmpty() ? nullptr : qobject_cast<QCheckBox *>(found.first());
        return link != nullptr;
    }, 3000));
    click(link);
    EXPECT_TRUE(link->isChecked());
    EXPECT_TRUE(showsLabel(editor, QStringLiteral("Calendar Linked")));
    QTest::keyClick(link->window(), Qt::Key_Escape);
    settle();
    click(widgetNamed<QPushButton>(QStringLiteral("Save"), editor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWithText(todos, QStringLiteral("Visit the site")).isValid(); }, 5000));

    // One event file in the calendar folder, named after its UID, for Zoe, today at 23:00 for an hour.
    const QString folder = QDir(platform::core::StandardPaths::dataFolderPath()).filePath(QStringLiteral("calendars"));
    QStringList files;
    for (QDirIterator it(folder, {QStringLiteral("*.ics")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << it.next();
    ASSERT_EQ(files.size(), 1) << folder.toStdString();
    QFile file(files.first());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    EXPECT_TRUE(text.contains(QStringLiteral("SUMMARY:Zoe Quill"))) << text.toStdString();
    const QRegularExpression uid(QStringLiteral("UID:([^\\r\\n]+)"));
    ASSERT_TRUE(uid.match(text).hasMatch());
    EXPECT_TRUE(files.first().endsWith(uid.match(text).captured(1) + QStringLiteral(".ics")));
    const QDateTime start(QDate::currentDate(), QTime(23, 0), Qt::LocalTime);
    const auto icsTime = [](const QDateTime &when) {
        return when.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    };
    ASSERT_TRUE(text.contains(QStringLiteral("DTSTART:") + icsTime(start))) << text.toStdString();
    ASSERT_TRUE(text.contains(QStringLiteral("DTEND:") + icsTime(start.addSecs(3600)))) << text.toStdString();

    // The user goes to another program, which moves the event two days on; back here the to-do follows.
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    settle();
    const QDateTime moved = start.addDays(2).addSecs(-3600);
    text.replace(QStringLiteral("DTSTART:") + icsTime(start), QStringLiteral("DTSTART:") + icsTime(moved));
    text.replace(QStringLiteral("DTEND:") + icsTime(start.addSecs(3600)), QStringLiteral("DTEND:") + icsTime(moved.addSecs(3600)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return rowWithText(todos, QStringLiteral("Visit the site")).data().toString().startsWith(shown(moved));
    }, 15000)) << rowTexts(todos).join(QLatin1String(" | ")).toStdString();
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    settle();
}

TEST_F(ToDoRoadsTest, AnAlertThatFallsDueIsShownAndItsButtonOpensTheContactsToDos)
{
    if (platform::notify::FreedesktopNotifier::isServiceAvailable(QDBusConnection::sessionBus()))
        GTEST_SKIP() << "the desktop shows the notifications of this session";
    // A new to-do starts today at 23:00; its alert must still be ahead.
    const QDateTime due(QDate::currentDate(), QTime(23, 0), Qt::LocalTime);
    if (QDateTime::currentDateTime().secsTo(due) < 120)
        GTEST_SKIP() << "too close to the default start of a new to-do";
    start();
    // From here time moves only when the test moves it.
    auto clock = std::make_shared<platform::core::ManualClock>(QDateTime::currentDateTimeUtc());
    platform::core::Clock::setCurrent(clock);
    struct Restore
    {
        ~Restore() { platform::core::Clock::setCurrent(nullptr); }
    } restore;

    addContact(QStringLiteral("Zoe"), QStringLiteral("Quill"));
    clickRow(contactsList(), QStringLiteral("Zoe Quill"));
    click(widgetNamed<QPushButton>(QStringLiteral("ToDos")));
    click(widgetNamed<QPushButton>(QStringLiteral("Add to ToDos")));
    platform::ui::Sheet *editor = sheetOver(window());
    ASSERT_NE(editor, nullptr);
    typeInto(widgetNamed<QPlainTextEdit>(QStringLiteral("Notes"), editor), QStringLiteral("Call the bank"), false);
    click(widgetNamed<QPushButton>(QStringLiteral("Alert"), editor));
    pickChoice(QStringLiteral("Alert choices"), QStringLiteral("On Time"));
    click(widgetNamed<QPushButton>(QStringLiteral("Save"), editor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));

    // Elsewhere in the program when the time comes: the notification shows in the window.
    chooseMenuItem(window(), QStringLiteral("View"), QStringLiteral("ToDos"));
    EXPECT_TRUE(widgetsNamed(QStringLiteral("View Contact")).isEmpty());
    clock->advance(platform::core::Clock::now().msecsTo(due.toUTC()) - 1000);
    settle();
    EXPECT_TRUE(widgetsNamed(QStringLiteral("View Contact")).isEmpty());
    clock->advance(1000);
    settle();
    QPushButton *view = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QWidget *> found = widgetsNamed(QStringLiteral("View Contact"));
        view = found.isEmpty() ? nullptr : qobject_cast<QPushButton *>(found.first());
        return view != nullptr;
    }, 3000));
    EXPECT_TRUE(showsLabel(window(), QStringLiteral("Zoe Quill")));

    // Its button opens the contact's ToDos.
    click(view);
    auto *todos = widgetNamed<QAbstractItemView>(QStringLiteral("ToDos"));
    ASSERT_NE(todos, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowWithText(todos, QStringLiteral("Call the bank")).isValid(); }, 5000));
    EXPECT_TRUE(widgetsNamed(QStringLiteral("View Contact")).isEmpty());
}

} // namespace
