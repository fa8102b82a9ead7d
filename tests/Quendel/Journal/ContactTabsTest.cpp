#include "JournalFixture.h"

#include "Mac/ContactPage/ContactLogsViewControllerMac.h"
#include "Mac/ContactPage/ContactTodoViewControllerMac.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Journal/MacAddEditLogsViewController.h"

#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/Sheet.h"

#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace journal_test;

class ContactTabsTest : public JournalStoreTest
{
protected:
    void SetUp() override
    {
        JournalStoreTest::SetUp();
        SharedSettingController::sharedSettings();
        platform::ui::AlertPresenter::shared().clearShownAlerts();
        platform::ui::AlertPresenter::shared().clearAnswers();
        window.resize(900, 700);
    }

    // The list starts one turn of the event loop after the tab is made.
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    static QString rowText(const QAbstractItemModel &model, int section, int row)
    {
        return model.index(row, 0, model.index(section, 0)).data().toString();
    }

    QMainWindow window;
};

TEST_F(ContactTabsTest, ALogAddedFromTheLogsTabAppearsInItAndCanBeDeleted)
{
    insertLog(bob, day(2026, 3, 1), QStringLiteral("not Alice's"));
    save();
    auto *tab = new ContactLogsViewControllerMac(alice);
    window.setCentralWidget(tab);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle();
    QAbstractItemModelTester tester(tab->listModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(tab->listModel()->rowCount(), 0);
    EXPECT_EQ(tab->arrangedObjectCount(), 0);
    EXPECT_TRUE(tab->showingFillerText());

    tab->showAddLogContactSheet(nullptr);
    platform::ui::Sheet *sheet = platform::ui::Sheet::attachedSheet(&window);
    ASSERT_NE(sheet, nullptr);
    auto *editor = sheet->findChild<MacAddEditLogsViewController *>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->title(), QStringLiteral("Add Log"));
    EXPECT_EQ(editor->detailPerson(), alice);
    QTest::keyClicks(editor->notesTextView(), QStringLiteral("Called about the garden"));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    settle();

    ASSERT_EQ(tab->listModel()->rowCount(), 1);
    EXPECT_EQ(tab->listModel()->rowCount(tab->listModel()->index(0, 0)), 1);
    EXPECT_TRUE(rowText(*tab->listModel(), 0, 0).contains(QStringLiteral("Called about the garden")));
    EXPECT_EQ(tab->arrangedObjectCount(), 1);
    EXPECT_FALSE(tab->showingFillerText());
    EXPECT_TRUE(tab->outlineView()->isExpanded(tab->listModel()->index(0, 0)));

    // Delete asks first; "Delete" with the box ticked deletes and stops the question for later.
    const QModelIndex row = tab->listModel()->index(0, 0, tab->listModel()->index(0, 0));
    tab->outlineView()->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::button(0, true));
    tab->deleteSelectedLog();
    settle();
    const auto &alerts = platform::ui::AlertPresenter::shared().shownAlerts();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.first().spec.messageText, QStringLiteral("Delete Log"));
    EXPECT_EQ(tab->listModel()->rowCount(), 0);
    EXPECT_TRUE(platform::core::UserDefaults::standardUserDefaults()->boolForKey(
        ContactLogsViewControllerMac::DeleteLogDefaultsKey));
    EXPECT_EQ(context->countForFetchRequest(Log::fetchRequest()), 1);
}

TEST_F(ContactTabsTest, TheLogsTabOpensALogInAPopoverAndStepsToTheNext)
{
    insertLog(alice, day(2026, 3, 5), QStringLiteral("newer"));
    insertLog(alice, day(2026, 2, 5), QStringLiteral("older"));
    save();
    auto *tab = new ContactLogsViewControllerMac(alice);
    window.setCentralWidget(tab);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle();
    ASSERT_EQ(tab->listModel()->rowCount(), 2);

    const QModelIndex first = tab->listModel()->index(0, 0, tab->listModel()->index(0, 0));
    tab->doubleClickAction(first);
    ASSERT_NE(tab->mypopover(), nullptr);
    EXPECT_TRUE(tab->mypopover()->isShown());
    auto *editor = qobject_cast<MacAddEditLogsViewController *>(tab->mypopover()->contentWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->title(), QStringLiteral("Edit Log"));
    EXPECT_FALSE(editor->isInSheet());
    EXPECT_EQ(editor->notesTextView()->toPlainText(), QStringLiteral("newer"));

    tab->rightButtonCalledInPopoverController(editor);
    auto *next = qobject_cast<MacAddEditLogsViewController *>(tab->mypopover()->contentWidget());
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->notesTextView()->toPlainText(), QStringLiteral("older"));

    // Space closes the popover.
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    tab->spaceBarPressedWithEvent(&space);
    EXPECT_FALSE(tab->mypopover()->isShown());
}

TEST_F(ContactTabsTest, TheToDosTabListsOpenToDosAndLogsOneFromTheKeyboard)
{
    const QDateTime now = platform::core::Clock::now();
    auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
    todo->setTodoStartDate(now.addDays(3));
    todo->setTodoNote(QStringLiteral("send the seeds"));
    todo->setPerson(alice);
    todo->setTodoSectionTitle(ToDo::sectionCodeFor(todo, now));
    save();
    auto *tab = new ContactTodoViewControllerMac(alice);
    window.setCentralWidget(tab);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle();
    ASSERT_EQ(tab->listModel()->rowCount(), 1);
    EXPECT_EQ(tab->listModel()->index(0, 0).data().toString(), QStringLiteral("Next 7 Days"));

    const QModelIndex row = tab->listModel()->index(0, 0, tab->listModel()->index(0, 0));
    tab->outlineView()->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
    QKeyEvent optionSpace(QEvent::KeyPress, Qt::Key_Space, Qt::AltModifier, QStringLiteral(" "));
    tab->spaceBarPressedWithEvent(&optionSpace);
    platform::ui::Sheet *sheet = platform::ui::Sheet::attachedSheet(&window);
    ASSERT_NE(sheet, nullptr);
    auto *editor = sheet->findChild<MacAddEditLogsViewController *>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->title(), QStringLiteral("Add Log"));
    EXPECT_EQ(editor->notesTextView()->toPlainText(), QStringLiteral("send the seeds"));
    QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
    EXPECT_EQ(context->countForFetchRequest(Log::fetchRequest()), 1);
}
