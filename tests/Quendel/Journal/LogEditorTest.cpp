#include "JournalFixture.h"

#include "Mac/Journal/MacAddEditLogsViewController.h"

#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/store/FetchRequest.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTreeView>

using namespace journal_test;

namespace {

class RecordingOwner : public AddEditViewControllerDelegate
{
public:
    void finishedViewController(MacAddEditCommonController *, const std::optional<QVariantMap> &result) override
    {
        ++finished;
        changes = result;
    }
    void rightButtonCalledInPopoverController(MacAddEditCommonController *) override { ++rights; }
    void leftButtonCalledInPopoverController(MacAddEditCommonController *) override { ++lefts; }

    int finished = 0;
    int rights = 0;
    int lefts = 0;
    std::optional<QVariantMap> changes;
};

// A window showing one contact's logs, as the contact page's Logs tab does, with the editor as its sheet.
class EditorHost
{
public:
    EditorHost(const platform::store::ContextPtr &context, Person *person) : list(context, person)
    {
        view = new QTreeView(&window);
        view->setModel(&list.model);
        window.setCentralWidget(view);
        window.resize(800, 600);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    MacAddEditLogsViewController *openEditor(Person *person, Log *log = nullptr)
    {
        auto *editor = new MacAddEditLogsViewController(log, false);
        editor->setDetailPerson(person);
        editor->setDelegate(&owner);
        editor->awakeFromNib();
        sheet = new platform::ui::Sheet;
        sheet->setContentWidget(editor);
        sheet->beginSheet(&window, [this](int code) { sheetCode = code; });
        return editor;
    }

    QMainWindow window;
    QTreeView *view = nullptr;
    ListHarness<LogsListDataSource> list;
    RecordingOwner owner;
    QPointer<platform::ui::Sheet> sheet;
    int sheetCode = -1;
};

} // namespace

class LogEditorTest : public JournalStoreTest
{
protected:
    void SetUp() override
    {
        JournalStoreTest::SetUp();
        SharedSettingController::sharedSettings();
        platform::ui::AlertPresenter::shared().clearShownAlerts();
        platform::ui::AlertPresenter::shared().clearAnswers();
    }
};

TEST_F(LogEditorTest, ANewLogSavedInTheEditorAppearsInTheListAndIsKeptInTheFile)
{
    EditorHost host(context, alice);
    host.list.recorder.take();
    MacAddEditLogsViewController *editor = host.openEditor(alice);
    EXPECT_EQ(editor->title(), QStringLiteral("Add Log"));
    EXPECT_TRUE(editor->isInSheet());
    EXPECT_EQ(editor->nameField()->text(), QStringLiteral("Alice"));
    EXPECT_EQ(editor->titleTextField()->text(), QStringLiteral("Set Title"));
    EXPECT_EQ(editor->locationTextField()->text(), QStringLiteral("Set Location"));
    const QDateTime opened = platform::core::Clock::now();
    EXPECT_EQ(editor->logDate(), opened);

    // Nothing reaches the list before the save.
    QTest::keyClicks(editor->notesTextView(), QStringLiteral("Lunch by the river"));
    EXPECT_TRUE(host.list.recorder.take().isEmpty());
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);

    EXPECT_EQ(host.owner.finished, 1);
    ASSERT_TRUE(host.owner.changes.has_value());
    EXPECT_TRUE(host.owner.changes->contains(QStringLiteral("Add")));
    EXPECT_EQ(host.sheetCode, platform::ui::ModalResponseOK);
    EXPECT_EQ(host.list.recorder.take(), QStringList{QStringLiteral("NS %1 @0").arg(periodOf(opened))});
    ASSERT_EQ(host.list.model.rowCount(), 1);
    const QModelIndex row = host.list.model.index(0, 0, host.list.model.index(0, 0));
    auto *shown = dynamic_cast<Log *>(
        host.list.model.data(row, QDListItemModel::DataObjectRole).value<platform::store::ManagedObject *>());
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->logNote(), QStringLiteral("Lunch by the river"));
    EXPECT_EQ(shown->person(), alice);
    EXPECT_EQ(host.owner.changes->value(QStringLiteral("Add")).value<platform::store::ManagedObjectID>(),
              shown->objectID());
    EXPECT_FALSE(context->hasChanges());

    // The store read afresh from its file still holds it.
    QCoreApplication::processEvents();
    auto reopened = openCoordinator();
    ASSERT_NE(reopened, nullptr);
    auto fresh = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
    fresh->setPersistentStoreCoordinator(reopened);
    const QList<platform::store::ManagedObject *> logs = fresh->executeFetchRequest(Log::fetchRequest());
    ASSERT_EQ(logs.size(), 1);
    auto *stored = dynamic_cast<Log *>(logs.first());
    EXPECT_EQ(stored->logNote(), QStringLiteral("Lunch by the river"));
    EXPECT_EQ(stored->logDate(), opened);
    ASSERT_NE(stored->person(), nullptr);
    EXPECT_EQ(stored->person()->displayName(), QStringLiteral("Alice"));
}

TEST_F(LogEditorTest, AFailedSaveKeepsTheEditorOpenWithItsEditsAndSaysWhy)
{
    Log *log = insertLog(alice, day(2026, 3, 1), QStringLiteral("before"));
    save();
    EditorHost host(context, alice);
    MacAddEditLogsViewController *editor = host.openEditor(alice, log);
    EXPECT_EQ(editor->title(), QStringLiteral("Edit Log"));
    EXPECT_EQ(editor->notesTextView()->toPlainText(), QStringLiteral("before"));

    // Another writer changes the same log in the file meanwhile, so the main context's save is refused.
    auto other = newContext();
    static_cast<Log *>(other->objectWithID(log->objectID()))->setLogNote(QStringLiteral("elsewhere"));
    save(other);

    editor->notesTextView()->setPlainText(QStringLiteral("my edit"));
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);

    EXPECT_EQ(host.owner.finished, 0);
    ASSERT_TRUE(host.sheet);
    EXPECT_TRUE(host.sheet->isActive());
    EXPECT_EQ(editor->notesTextView()->toPlainText(), QStringLiteral("my edit"));
    const auto &alerts = platform::ui::AlertPresenter::shared().shownAlerts();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.first().spec.messageText, QStringLiteral("Unable to save"));
    EXPECT_FALSE(alerts.first().spec.informativeText.isEmpty());

    // Cancel then leaves the main context as it was before the editor.
    QTest::mouseClick(editor->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(host.owner.finished, 1);
    EXPECT_FALSE(host.owner.changes.has_value());
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(LogEditorTest, EditingWithoutTouchingTheDateGivesAnEmptyResultAndATimeChangeGivesEdit)
{
    Log *log = insertLog(alice, day(2026, 3, 1), QStringLiteral("before"));
    save();
    EditorHost host(context, alice);
    MacAddEditLogsViewController *editor = host.openEditor(alice, log);
    editor->notesTextView()->setPlainText(QStringLiteral("after"));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(host.owner.changes.has_value());
    EXPECT_TRUE(host.owner.changes->isEmpty());
    EXPECT_EQ(log->logNote(), QStringLiteral("after"));

    MacAddEditLogsViewController *second = host.openEditor(alice, log);
    second->setLogDateFromEditor(day(2026, 3, 1, 15));
    QTest::mouseClick(second->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(host.owner.changes.has_value());
    EXPECT_TRUE(host.owner.changes->contains(QStringLiteral("Edit")));
    EXPECT_EQ(log->logDate(), day(2026, 3, 1, 15));
}

TEST_F(LogEditorTest, ATitleTypedIntoThePickerBecomesTheLogsTitle)
{
    EditorHost host(context, alice);
    MacAddEditLogsViewController *editor = host.openEditor(alice);
    QTest::mouseClick(editor->titlePickerButton(), Qt::LeftButton);
    TitlesPickerViewControllerMac *picker = editor->titleViewController();
    ASSERT_NE(picker, nullptr);
    const qsizetype before = picker->arrangedObjects().size();
    EXPECT_EQ(picker->heightForPopover() >= 30, true);
    picker->newTitleField()->setText(QStringLiteral("Coffee"));
    picker->controlTextShouldEndEditing();
    picker->controlTextDidEndEditing();
    EXPECT_EQ(picker->arrangedObjects().size(), before + 1);
    EXPECT_EQ(editor->titleTextField()->text(), QStringLiteral("Coffee"));
    EXPECT_TRUE(editor->titlesPopover()->isShown());

    // Stored with the log at Save, not before.
    platform::store::FetchRequest titles(LogTitle::EntityName);
    EXPECT_EQ(context->countForFetchRequest(titles), before);
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    EXPECT_EQ(context->countForFetchRequest(titles), before + 1);
}

TEST_F(LogEditorTest, ArrowsAndSpaceActOnlyInAPopoverAndOnlyUntilTheFirstTypedKey)
{
    RecordingOwner owner;
    auto *editor = new MacAddEditLogsViewController(nullptr, false);
    editor->setDetailPerson(alice);
    editor->setDelegate(&owner);
    editor->awakeFromNib();
    editor->show();
    AddEditLogsView *view = editor->rootView();
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(owner.rights, 1);
    EXPECT_EQ(owner.lefts, 1);
    const bool textMode = editor->isDatePickerTextMode();
    // Control-Shift-D switches the date mode on its key-down, and again on its key-up.
    QTest::keyPress(view, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_NE(editor->isDatePickerTextMode(), textMode);
    QTest::keyRelease(view, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor->isDatePickerTextMode(), textMode);
    QTest::keyClick(view, Qt::Key_A);
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(owner.rights, 1);
    delete editor;
}

TEST_F(LogEditorTest, ACloneKeepsDateNoteTitleAndLocationAndIsSavedAsANewLog)
{
    Log *source = insertLog(bob, day(2026, 2, 14), QStringLiteral("original"));
    auto *title = LogTitle::createNewLogTitleWithText(QStringLiteral("Visit"), 0, context.get());
    auto *place = context->insertNewObject<Location>(Location::EntityName);
    place->setLocationName(QStringLiteral("Mill"));
    source->setTitle(title);
    source->setLogLocation(place);
    source->setCloudKitFields(QByteArray("system fields"));
    save();

    EditorHost host(context, alice);
    auto *editor = new MacAddEditLogsViewController(source, true);
    editor->setDetailPerson(alice);
    editor->setDelegate(&host.owner);
    editor->awakeFromNib();
    EXPECT_EQ(editor->title(), QStringLiteral("Add Log"));
    EXPECT_EQ(editor->titleTextField()->text(), QStringLiteral("Visit"));
    EXPECT_EQ(editor->locationTextField()->text(), QStringLiteral("Mill"));
    EXPECT_EQ(editor->notesTextView()->toPlainText(), QStringLiteral("original"));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    ASSERT_TRUE(host.owner.changes.has_value());
    const auto id = host.owner.changes->value(QStringLiteral("Add")).value<platform::store::ManagedObjectID>();
    auto *clone = dynamic_cast<Log *>(context->objectWithID(id));
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, source);
    EXPECT_EQ(clone->logDate(), source->logDate());
    EXPECT_EQ(clone->logNote(), QStringLiteral("original"));
    EXPECT_EQ(clone->title(), title);
    EXPECT_EQ(clone->logLocation(), place);
    EXPECT_EQ(clone->person(), alice);
    EXPECT_NE(clone->cloudKitID(), source->cloudKitID());
    EXPECT_TRUE(clone->cloudKitFields().isEmpty());
    delete editor;
}

TEST_F(LogEditorTest, InASheetArrowsAndSpaceDoNothingAndTheDatePopoverFollowsItsMode)
{
    EditorHost host(context, alice);
    MacAddEditLogsViewController *editor = host.openEditor(alice);
    QTest::keyClick(editor->rootView(), Qt::Key_Right);
    QTest::keyClick(editor->rootView(), Qt::Key_Space);
    EXPECT_EQ(host.owner.rights, 0);
    EXPECT_EQ(host.owner.finished, 0);
    EXPECT_TRUE(host.sheet->isActive());

    // Graphical mode: one pick closes the popover and moves the date, keeping the time.
    const QDateTime before = editor->logDate();
    editor->dateButtonClicked(editor->datePickerButton());
    EXPECT_TRUE(editor->datePopover()->isShown());
    editor->datePicker()->setSelectedDate(before.toLocalTime().date().addDays(-3));
    editor->datePickerChanged(editor->datePicker());
    EXPECT_FALSE(editor->datePopover()->isShown());
    EXPECT_TRUE(editor->dateChanged());
    EXPECT_EQ(editor->logDate(), before.addDays(-3));

    // Text mode: the popover stays open while the user types.
    editor->switchDatePickerMode();
    editor->dateButtonClicked(editor->datePickerButton());
    EXPECT_TRUE(editor->dateTextPopover()->isShown());
    editor->datePickerTextual()->setDate(before.toLocalTime().date().addDays(-4));
    editor->datePickerChanged(editor->datePickerTextual());
    EXPECT_TRUE(editor->dateTextPopover()->isShown());
    EXPECT_EQ(editor->logDate(), before.addDays(-4));

    // A new time keeps the day and drops the seconds.
    editor->timePicker()->setTime(QTime(7, 45, 30));
    editor->timePickerChanged(editor->timePicker());
    EXPECT_EQ(editor->logDate().toLocalTime().time(), QTime(7, 45, 0));
    EXPECT_EQ(editor->logDate().toLocalTime().date(), before.toLocalTime().date().addDays(-4));

    // Choosing the remove entry of the location picker shows "Set Location".
    editor->selectedLocationItem(nullptr);
    EXPECT_EQ(editor->locationTextField()->text(), QStringLiteral("Set Location"));
}
