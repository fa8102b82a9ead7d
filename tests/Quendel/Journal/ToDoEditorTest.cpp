#include "JournalFixture.h"

#include "Classes/CalendarLinkBridge.h"
#include "Classes/ToDo_Category.h"
#include "Mac/Journal/ToDoCalendarLinkViewControllerMac.h"
#include "Mac/Journal/MacAddEditTodosViewController.h"

#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/DateComponents.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace journal_test;
using platform::core::DateComponents;

namespace {

class RecordingOwner : public AddEditViewControllerDelegate
{
public:
    void finishedViewController(MacAddEditCommonController *, const std::optional<QVariantMap> &result) override
    {
        ++finished;
        changes = result;
    }
    void rightButtonCalledInPopoverController(MacAddEditCommonController *) override {}
    void leftButtonCalledInPopoverController(MacAddEditCommonController *) override {}

    int finished = 0;
    std::optional<QVariantMap> changes;
};

} // namespace

class ToDoEditorTest : public JournalStoreTest
{
protected:
    void SetUp() override
    {
        JournalStoreTest::SetUp();
        SharedSettingController::sharedSettings();
        platform::ui::AlertPresenter::shared().clearShownAlerts();
        platform::ui::AlertPresenter::shared().clearAnswers();
        dataPlistValues().setValue(MacAddEditTodosViewController::AlwaysAddToCalendarKey, qint64(0));
        window.resize(800, 600);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    MacAddEditTodosViewController *openEditor(Person *person, ToDo *todo = nullptr, bool isClone = false)
    {
        auto *editor = new MacAddEditTodosViewController(todo, isClone);
        editor->setDetailPerson(person);
        editor->setDelegate(&owner);
        editor->awakeFromNib();
        sheet = new platform::ui::Sheet;
        sheet->setContentWidget(editor);
        sheet->beginSheet(&window, [](int) {});
        return editor;
    }

    ToDo *storedToDo(const QString &note)
    {
        for (platform::store::ManagedObject *object : context->executeFetchRequest(ToDo::fetchRequest()))
            if (auto *todo = dynamic_cast<ToDo *>(object); todo && todo->todoNote() == note)
                return todo;
        return nullptr;
    }

    QMainWindow window;
    RecordingOwner owner;
    QPointer<platform::ui::Sheet> sheet;
};

TEST_F(ToDoEditorTest, ANewToDoGetsTheDefaultStartTheContactTheRepeatAndTheAlert)
{
    MacAddEditTodosViewController *editor = openEditor(alice);
    EXPECT_EQ(editor->title(), QStringLiteral("Add ToDo"));
    EXPECT_EQ(editor->repeatTextField()->text(), QStringLiteral("No Repeat"));
    EXPECT_EQ(editor->alertTextField()->text(), QStringLiteral("No Alert"));
    EXPECT_EQ(editor->calendarTextField()->text(), QStringLiteral("No Calendar"));
    EXPECT_EQ(editor->todoStartDate(), ToDo_Category::defaultToDoDateRelativeToToday());

    QTest::mouseClick(editor->repeatButton(), Qt::LeftButton);
    ASSERT_NE(editor->selectRepeatItem(), nullptr);
    editor->selectRepeatItem()->singleAction(2);
    EXPECT_EQ(editor->repeatTextField()->text(), QStringLiteral("Every Week"));
    QTest::mouseClick(editor->alertButton(), Qt::LeftButton);
    ASSERT_NE(editor->selectAlertItem(), nullptr);
    editor->selectAlertItem()->singleAction(5);
    EXPECT_EQ(editor->alertTextField()->text(), QStringLiteral("1 hour before"));
    editor->notesTextView()->setPlainText(QStringLiteral("Renew the lease"));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);

    EXPECT_EQ(owner.finished, 1);
    ASSERT_TRUE(owner.changes.has_value());
    EXPECT_TRUE(owner.changes->contains(QStringLiteral("Add")));
    ToDo *todo = storedToDo(QStringLiteral("Renew the lease"));
    ASSERT_NE(todo, nullptr);
    EXPECT_EQ(owner.changes->value(QStringLiteral("Add")).value<platform::store::ManagedObjectID>(), todo->objectID());
    EXPECT_EQ(todo->person(), alice);
    EXPECT_FALSE(todo->isCalendarEventSet());
    EXPECT_EQ(ToDo_Category::repeatIntervalChosenIndex(*todo), 2);
    ASSERT_EQ(todo->alert().size(), 1);
    EXPECT_EQ(todo->alert().first()->alertInterval().value<DateComponents>().hour(), -1);
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(ToDoEditorTest, AnotherDayMovesTheLinkedEndAndAnotherTimeDoesNot)
{
    auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
    const QDateTime start = QDateTime(QDate(2026, 3, 20), QTime(10, 0), Qt::LocalTime).toUTC();
    todo->setTodoStartDate(start);
    todo->setTodoStatus(0);
    todo->setPerson(alice);
    auto *link = context->insertNewObject<ToDoCalendarLink>(ToDoCalendarLink::EntityName);
    link->setCalendarEndDate(start.addSecs(3600));
    todo->setCalendarLink(link);
    todo->setTodoNote(QStringLiteral("Linked"));
    save();

    MacAddEditTodosViewController *editor = openEditor(alice, todo);
    EXPECT_EQ(editor->title(), QStringLiteral("Edit ToDo"));
    // There is no calendar folder here, so the link's event cannot be found; the link itself stays.
    EXPECT_EQ(editor->calendarTextField()->text(), QStringLiteral("Link can't be retrieved"));
    editor->setStartDateFromDatePicker(QDate(2026, 3, 22));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    // A new day alone is no time change: the result is empty.
    ASSERT_TRUE(owner.changes.has_value());
    EXPECT_TRUE(owner.changes->isEmpty());
    EXPECT_EQ(todo->todoStartDate(), start.addDays(2));
    EXPECT_EQ(link->calendarEndDate(), start.addDays(2).addSecs(3600));
    EXPECT_TRUE(todo->isCalendarEventSet());

    MacAddEditTodosViewController *second = openEditor(alice, todo);
    second->setStartTimeFromTimePicker(QTime(10, 30));
    QTest::mouseClick(second->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(owner.changes.has_value());
    EXPECT_TRUE(owner.changes->contains(QStringLiteral("Edit")));
    EXPECT_EQ(todo->todoStartDate(), start.addDays(2).addSecs(1800));
    EXPECT_EQ(link->calendarEndDate(), start.addDays(2).addSecs(3600));
}

TEST_F(ToDoEditorTest, AStartAfterTheLinkedEndIsRefusedAndTheEditorStaysOpen)
{
    auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
    const QDateTime start = QDateTime(QDate(2026, 3, 20), QTime(10, 0), Qt::LocalTime).toUTC();
    todo->setTodoStartDate(start);
    todo->setPerson(alice);
    auto *link = context->insertNewObject<ToDoCalendarLink>(ToDoCalendarLink::EntityName);
    link->setCalendarEndDate(start.addSecs(3600));
    todo->setCalendarLink(link);
    save();

    MacAddEditTodosViewController *editor = openEditor(alice, todo);
    editor->setStartTimeFromTimePicker(QTime(12, 0));
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    EXPECT_EQ(owner.finished, 0);
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isActive());
    const auto &alerts = platform::ui::AlertPresenter::shared().shownAlerts();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.first().spec.messageText, QStringLiteral("Unable to save"));
    EXPECT_EQ(alerts.first().spec.informativeText,
              QStringLiteral("Start Date is later than calendar's End Date. Please select a Start Date that is "
                             "earlier than the End Date"));
    EXPECT_EQ(todo->todoStartDate(), start);
    QTest::mouseClick(editor->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(owner.finished, 1);
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(ToDoEditorTest, ACloneKeepsRepeatTitleAndNoteButNoAlertsOrLink)
{
    auto *title = context->insertNewObject<ToDoTitle>(ToDoTitle::EntityName);
    title->setTitle(QStringLiteral("Call"));
    auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
    todo->setTodoStartDate(QDateTime(QDate(2026, 3, 20), QTime(10, 0), Qt::LocalTime).toUTC());
    todo->setTodoNote(QStringLiteral("Source"));
    todo->setTodotitle(title);
    todo->setPerson(alice);
    ToDo_Category::updateRepeatIntervalWithIndex(*todo, 4);
    ToDo_Category::updateAlertIntervalWithIndex(*todo, 1);
    auto *link = context->insertNewObject<ToDoCalendarLink>(ToDoCalendarLink::EntityName);
    link->setCalendarEndDate(todo->todoStartDate().addSecs(3600));
    todo->setCalendarLink(link);
    todo->setIsCalendarEventSet(true);
    save();

    MacAddEditTodosViewController *editor = openEditor(alice, todo, true);
    EXPECT_EQ(editor->title(), QStringLiteral("Add ToDo"));
    EXPECT_EQ(editor->repeatTextField()->text(), QStringLiteral("Every Month"));
    EXPECT_EQ(editor->alertTextField()->text(), QStringLiteral("No Alert"));
    EXPECT_EQ(editor->titleTextField()->text(), QStringLiteral("Call"));
    editor->notesTextView()->setPlainText(QStringLiteral("Copy"));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    ToDo *copy = storedToDo(QStringLiteral("Copy"));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, todo);
    EXPECT_EQ(copy->todotitle(), title);
    EXPECT_EQ(copy->person(), alice);
    EXPECT_TRUE(copy->alert().isEmpty());
    EXPECT_EQ(copy->calendarLink(), nullptr);
    EXPECT_FALSE(copy->isCalendarEventSet());
    EXPECT_EQ(ToDo_Category::repeatIntervalChosenIndex(*copy), 4);
    EXPECT_EQ(todo->alert().size(), 1);
}

TEST_F(ToDoEditorTest, WithAlwaysAddToCalendarANewToDoIsLinkedUnlessTheUserSwitchesTheLinkOff)
{
    platform::core::UserDefaults::standardUserDefaults()->setObject(dir.filePath(QStringLiteral("calendars")),
                                                                    CalendarLinkBridge::CalendarFolderKey);
    CalendarLinkBridge::resetGlobalEventStore();
    ASSERT_TRUE(CalendarLinkBridge::requestAccess());
    ToDoCalendarBridge::install(std::make_shared<CalendarLinkBridge>());
    dataPlistValues().setValue(MacAddEditTodosViewController::AlwaysAddToCalendarKey, qint64(1));

    MacAddEditTodosViewController *editor = openEditor(alice);
    EXPECT_EQ(editor->calendarTextField()->text(), QStringLiteral("Calendar Auto-Link"));
    editor->notesTextView()->setPlainText(QStringLiteral("Linked by itself"));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    ToDo *linked = storedToDo(QStringLiteral("Linked by itself"));
    ASSERT_NE(linked, nullptr);
    ASSERT_NE(linked->calendarLink(), nullptr);
    EXPECT_TRUE(linked->isCalendarEventSet());
    EXPECT_EQ(linked->calendarLink()->ekCalendarID(), QStringLiteral("calendar"));
    EXPECT_EQ(linked->calendarLink()->calendarEndDate(), linked->todoStartDate().addSecs(3600));

    // The popover's switch turned off: no link at the save.
    MacAddEditTodosViewController *second = openEditor(alice);
    QTest::mouseClick(second->calendarButton(), Qt::LeftButton);
    ASSERT_NE(second->selectCalendarLinkItem(), nullptr);
    QCheckBox *box = second->selectCalendarLinkItem()->calendarLinkCheckboxButton();
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(second->selectCalendarLinkItem()->linkControlsShown());
    box->click();
    EXPECT_FALSE(second->selectCalendarLinkItem()->linkControlsShown());
    EXPECT_EQ(second->calendarTextField()->text(), QStringLiteral("No Calendar"));
    second->notesTextView()->setPlainText(QStringLiteral("Not linked"));
    QTest::mouseClick(second->saveButton(), Qt::LeftButton);
    ToDo *plain = storedToDo(QStringLiteral("Not linked"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->calendarLink(), nullptr);
    EXPECT_FALSE(plain->isCalendarEventSet());

    dataPlistValues().setValue(MacAddEditTodosViewController::AlwaysAddToCalendarKey, qint64(0));
    ToDoCalendarBridge::install(nullptr);
    CalendarLinkBridge::resetGlobalEventStore();
    platform::core::UserDefaults::standardUserDefaults()->removeObjectForKey(CalendarLinkBridge::CalendarFolderKey);
}
