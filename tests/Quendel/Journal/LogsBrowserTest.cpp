#include "JournalFixture.h"

#include "Mac/Journal/MacAllLogsViewController.h"
#include "Mac/Journal/SelectContactsViewControllerMac.h"
#include "Mac/Journal/TitlesSidebarController.h"
#include "Mac/Shell/CustomNSOutlineView.h"
#include "Mac/Shell/CustomNSOutlineViewWithMultipleSelection.h"

#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"
#include "QuendelKit/Entities/PrivateGroups.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/contacts/AddressBook.h"
#include "platform/ui/AlertPresenter.h"

#include <QApplication>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace journal_test;
using platform::store::ManagedObject;

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

struct SidebarChoices : TitlesSidebarDelegate
{
    QStringList events;
    void selectedDateRangeWithStartDate(const QDateTime &start, const QDateTime &end) override
    {
        events << QStringLiteral("range %1 %2").arg(start.isValid() ? start.toString(Qt::ISODate) : QStringLiteral("nil"),
                                                    end.isValid() ? end.toString(Qt::ISODate) : QStringLiteral("nil"));
    }
    void selectedTitle(ManagedObject *title) override
    {
        events << QStringLiteral("title %1").arg(title ? title->value(QStringLiteral("title")).toString()
                                                       : QStringLiteral("nil"));
    }
};

struct PickerReports : SelectContactPopoverDelegate
{
    QList<QList<platform::store::ManagedObjectID>> reports;
    QList<bool> changes;
    void finishedSelectPopoverController(SelectContactsViewControllerMac *,
                                         const QList<platform::store::ManagedObjectID> &ids, bool made) override
    {
        reports << ids;
        changes << made;
    }
};

class TitlesSidebarTest : public JournalStoreTest
{
protected:
    LogTitle *addTitle(const QString &text, qint64 order)
    {
        return LogTitle::createNewLogTitleWithText(text, order, context.get());
    }

    static QStringList titleRows(const TitlesSidebarController &sidebar)
    {
        QStringList rows;
        const QModelIndex group = sidebar.model()->index(1, 0);
        for (int row = 0; row < sidebar.model()->rowCount(group); ++row) {
            const QModelIndex index = sidebar.model()->index(row, 0, group);
            rows << QStringLiteral("%1 %2").arg(index.data().toString(),
                                                index.data(TitlesSidebarController::CountRole).toString());
        }
        return rows;
    }

    static QStringList orders(const TitlesSidebarController &sidebar)
    {
        QStringList list;
        for (ManagedObject *title : sidebar.arrangedTitles())
            list << QStringLiteral("%1=%2").arg(title->value(QStringLiteral("title")).toString(),
                                                title->value(QStringLiteral("displayOrder")).toString());
        return list;
    }
};

} // namespace

TEST_F(TitlesSidebarTest, TitlesAreListedInTheirOrderWithCountsThatFollowTheLogs)
{
    LogTitle *call = addTitle(QStringLiteral("Call"), 2);
    LogTitle *meeting = addTitle(QStringLiteral("Meeting"), 0);
    addTitle(QStringLiteral("Note"), 1);
    Log *first = insertLog(alice, day(2026, 3, 1), QStringLiteral("first"));
    first->setTitle(call);
    insertLog(bob, day(2026, 3, 2), QStringLiteral("second"))->setTitle(call);
    insertLog(bob, day(2026, 3, 3), QStringLiteral("third"))->setTitle(meeting);
    save();

    TitlesSidebarController sidebar(LogTitle::EntityName, context);
    EXPECT_EQ(sidebar.model()->index(0, 0).data().toString(), QStringLiteral("DATE"));
    EXPECT_EQ(sidebar.model()->index(1, 0).data().toString(), QStringLiteral("TITLES"));
    EXPECT_EQ(titleRows(sidebar), (QStringList{QStringLiteral("Meeting 1"), QStringLiteral("Note 0"),
                                               QStringLiteral("Call 2")}));

    // A log that changes its title elsewhere moves its count along.
    first->setTitle(meeting);
    save();
    settle();
    EXPECT_EQ(titleRows(sidebar), (QStringList{QStringLiteral("Meeting 2"), QStringLiteral("Note 0"),
                                               QStringLiteral("Call 1")}));

    // A new log, and a deleted one.
    insertLog(alice, day(2026, 3, 4), QStringLiteral("fourth"))->setTitle(call);
    context->deleteObject(first);
    save();
    settle();
    EXPECT_EQ(titleRows(sidebar), (QStringList{QStringLiteral("Meeting 1"), QStringLiteral("Note 0"),
                                               QStringLiteral("Call 2")}));
}

TEST_F(TitlesSidebarTest, DateEntriesAreRollingRangesOfEachKind)
{
    const QDateTime now = day(2026, 3, 15, 9);
    struct Row
    {
        QString entity;
        int index;
        QString title;
        QDateTime start;
        QDateTime end;
    };
    const QDateTime weekAgo = now.toLocalTime().addDays(-7).toUTC();
    const QDateTime monthAgo = now.toLocalTime().addMonths(-1).toUTC();
    const QDateTime inAWeek = now.toLocalTime().addDays(7).toUTC();
    const QDateTime inAMonth = now.toLocalTime().addMonths(1).toUTC();
    const Row rows[] = {
        {QStringLiteral("LogTitle"), 0, QStringLiteral("All"), {}, {}},
        {QStringLiteral("LogTitle"), 1, QStringLiteral("Last Week"), weekAgo, now},
        {QStringLiteral("LogTitle"), 2, QStringLiteral("Last Month"), monthAgo, now},
        {QStringLiteral("ToDoTitle"), 0, QStringLiteral("All"), {}, {}},
        {QStringLiteral("ToDoTitle"), 2, QStringLiteral("Next Week"), now, inAWeek},
        {QStringLiteral("ToDoTitle"), 3, QStringLiteral("Next Month"), now, inAMonth},
    };
    for (const Row &row : rows) {
        const QList<TitlesSidebarItemPtr> entries = TitlesSidebarController::setupDatesinSidebarForEntity(row.entity, now);
        ASSERT_GT(entries.size(), row.index);
        const TitlesSidebarItem &entry = *entries[row.index];
        EXPECT_EQ(entry.title, row.title);
        EXPECT_EQ(entry.startDate, row.start) << row.title.toStdString();
        EXPECT_EQ(entry.endDate, row.end) << row.title.toStdString();
    }
    const QList<TitlesSidebarItemPtr> todo = TitlesSidebarController::setupDatesinSidebarForEntity(QStringLiteral("ToDoTitle"), now);
    ASSERT_EQ(todo.size(), 5);
    EXPECT_LT(todo[1]->startDate, now.addYears(-1000));
    EXPECT_EQ(todo[1]->endDate, now);
    EXPECT_EQ(todo[4]->startDate, inAMonth);
    EXPECT_GT(todo[4]->endDate, now.addYears(1000));
    EXPECT_TRUE(TitlesSidebarController::setupDatesinSidebarForEntity(QStringLiteral("Log"), now).isEmpty());

    // Choosing entries tells the delegate: "All" as two nulls, a range with its bounds, a title by its record.
    addTitle(QStringLiteral("Call"), 0);
    save();
    TitlesSidebarController sidebar(LogTitle::EntityName, context);
    SidebarChoices choices;
    sidebar.setDelegate(&choices);
    const QModelIndex dates = sidebar.model()->index(0, 0);
    sidebar.selectRow(sidebar.model()->index(1, 0, dates));
    sidebar.selectRow(sidebar.model()->index(0, 0, sidebar.model()->index(1, 0)));
    sidebar.selectRow(sidebar.model()->index(0, 0, dates));
    sidebar.selectRow(sidebar.model()->index(1, 0)); // a group cannot be chosen
    EXPECT_EQ(choices.events, (QStringList{QStringLiteral("range %1 %2").arg(weekAgo.toString(Qt::ISODate), now.toString(Qt::ISODate)),
                                           QStringLiteral("title Call"), QStringLiteral("range nil nil")}));
}

TEST_F(TitlesSidebarTest, RenamesKeepTheirOwnTextAndRefuseEmptyOrTakenTexts)
{
    LogTitle *call = addTitle(QStringLiteral("Call"), 0);
    addTitle(QStringLiteral("Meeting"), 1);
    save();
    TitlesSidebarController sidebar(LogTitle::EntityName, context);
    struct Row
    {
        QString text;
        bool allowed;
        QString refusal;
    };
    const Row rows[] = {
        {QStringLiteral("Call"), true, {}}, // its own unchanged text
        {QStringLiteral("Phone call"), true, {}},
        {QStringLiteral("Meeting"), false, QStringLiteral("duplicate")},
        {QString(), false, QStringLiteral("empty")},
        {QStringLiteral("   "), false, QStringLiteral("empty")},
    };
    for (const Row &row : rows) {
        QString refusal;
        EXPECT_EQ(sidebar.canRenameTitle(call, row.text, &refusal), row.allowed) << row.text.toStdString();
        EXPECT_EQ(refusal, row.refusal) << row.text.toStdString();
    }

    // A refused duplicate leaves the stored title alone and says why.
    platform::ui::AlertPresenter::shared().setBlockingForbidden(true);
    EXPECT_FALSE(sidebar.renameTitle(call, QStringLiteral("Meeting")));
    EXPECT_EQ(call->title(), QStringLiteral("Call"));
    EXPECT_TRUE(sidebar.renameTitle(call, QStringLiteral("Phone call")));
    EXPECT_EQ(call->title(), QStringLiteral("Phone call"));
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(TitlesSidebarTest, NewTitlesComeLastAndATitleLeftWithoutTextGoesAway)
{
    addTitle(QStringLiteral("Call"), 4);
    save();
    TitlesSidebarController sidebar(LogTitle::EntityName, context);
    sidebar.addNewTitle();
    ASSERT_EQ(sidebar.arrangedTitles().size(), 2);
    ManagedObject *added = sidebar.arrangedTitles().last();
    EXPECT_EQ(added->value(QStringLiteral("displayOrder")).toLongLong(), 5);
    sidebar.editingCancelled(added);
    EXPECT_EQ(orders(sidebar), QStringList{QStringLiteral("Call=4")});

    sidebar.addNewTitle();
    added = sidebar.arrangedTitles().last();
    EXPECT_TRUE(sidebar.renameTitle(added, QStringLiteral("Visit")));
    sidebar.editingCancelled(added); // once named it stays
    EXPECT_EQ(orders(sidebar), (QStringList{QStringLiteral("Call=4"), QStringLiteral("Visit=5")}));
}

TEST_F(TitlesSidebarTest, DraggingATitleRenumbersTheWholeList)
{
    for (int i = 0; i < 4; ++i)
        addTitle(QStringLiteral("T%1").arg(i), i + 10);
    save();
    TitlesSidebarController sidebar(LogTitle::EntityName, context);
    struct Row
    {
        int from;
        int dropIndex;
        QStringList expected;
    };
    // Each drag starts from the order the one before left.
    const Row rows[] = {
        {0, 3, {"T1=0", "T2=1", "T0=2", "T3=3"}}, // the first, dropped below the third
        {3, 0, {"T3=0", "T1=1", "T2=2", "T0=3"}},
        {1, 4, {"T3=0", "T2=1", "T0=2", "T1=3"}},
        {2, 2, {"T3=0", "T2=1", "T0=2", "T1=3"}},
    };
    for (const Row &row : rows) {
        EXPECT_TRUE(sidebar.moveTitle(row.from, row.dropIndex));
        EXPECT_EQ(orders(sidebar), row.expected) << row.from << "->" << row.dropIndex;
    }
    EXPECT_FALSE(context->hasChanges());
    EXPECT_FALSE(sidebar.moveTitle(7, 0));
    EXPECT_EQ(TitlesSidebarController::destinationRow(0, 3), 2);
    EXPECT_EQ(TitlesSidebarController::destinationRow(3, 0), 0);
}

TEST_F(TitlesSidebarTest, TheLogsBrowserFiltersByDateTitleAndSearchTogether)
{
    // Now is 2026-03-15 09:00 UTC (the fixture's clock).
    LogTitle *call = addTitle(QStringLiteral("Call"), 0);
    LogTitle *visit = addTitle(QStringLiteral("Visit"), 1);
    insertLog(alice, day(2026, 3, 12), QStringLiteral("recent call"))->setTitle(call);
    insertLog(bob, day(2026, 3, 10), QStringLiteral("recent visit"))->setTitle(visit);
    insertLog(alice, day(2026, 2, 20), QStringLiteral("older call"))->setTitle(call);
    insertLog(bob, day(2026, 1, 5), QStringLiteral("old visit"))->setTitle(visit);
    insertLog(alice, day(2026, 3, 8, 9), QStringLiteral("a week ago to the hour"));
    save();

    MacAllLogsViewController browser(context);
    browser.loadViewIfNeeded();
    settle();
    auto shown = [&] {
        QStringList notes;
        for (platform::store::ManagedObject *object : browser.logsListDataSource()->arrangedObjects())
            notes << dynamic_cast<Log *>(object)->logNote();
        notes.sort();
        return notes;
    };
    ASSERT_EQ(shown().size(), 5);

    const QDateTime now = day(2026, 3, 15, 9);
    struct Step
    {
        const char *what;
        std::function<void()> act;
        QStringList expected;
    };
    const Step steps[] = {
        {"last week", [&] { browser.selectedDateRangeWithStartDate(now.addDays(-7), now); },
         {"recent call", "recent visit"}}, // the start itself is left out
        {"and Call", [&] { browser.selectedTitle(call); }, {"recent call"}},
        {"last month keeps the title", [&] { browser.selectedDateRangeWithStartDate(now.addMonths(-1), now); },
         {"older call", "recent call"}},
        {"one bound only drops the dates", [&] { browser.selectedDateRangeWithStartDate(now, {}); },
         {"older call", "recent call"}},
        {"search within", [&] { browser.searchResultsWithString(QStringLiteral("older")); }, {"older call"}},
        {"All clears dates and title", [&] { browser.selectedDateRangeWithStartDate({}, {}); }, {"older call"}},
        {"empty search", [&] { browser.searchResultsWithString(QString()); },
         {"a week ago to the hour", "old visit", "older call", "recent call", "recent visit"}},
        {"Visit", [&] { browser.selectedTitle(visit); }, {"old visit", "recent visit"}},
    };
    for (const Step &step : steps) {
        step.act();
        settle();
        QStringList expected;
        for (const QString &note : step.expected)
            expected << note;
        expected.sort();
        EXPECT_EQ(shown(), expected) << step.what;
    }
}

TEST_F(TitlesSidebarTest, ThePickerReportsTheLatestSingleChoiceAndTogglesMultipleOnes)
{
    SelectContactsViewControllerMac single(SelectContactsViewControllerMac::NibName, context);
    PickerReports reports;
    single.setDelegate(&reports);
    single.awakeFromNib();
    EXPECT_EQ(single.contactsListSource()->arrangedObjects().size(), 2);
    single.selectedPersonItem(alice);
    single.selectedPersonItem(bob);
    ASSERT_EQ(reports.reports.size(), 2);
    EXPECT_EQ(reports.reports[0], QList<platform::store::ManagedObjectID>{alice->objectID()});
    // Callers take the first identifier: it must be the contact clicked last.
    EXPECT_EQ(reports.reports[1], QList<platform::store::ManagedObjectID>{bob->objectID()});
    EXPECT_FALSE(single.toolbar()->isVisibleTo(&single));

    SelectContactsViewControllerMac multiple(context, SelectContactsViewControllerMac::MultipleChoice);
    PickerReports several;
    multiple.setDelegate(&several);
    multiple.setShowDoneToolbar(true);
    multiple.awakeFromNib();
    multiple.selectedPersonItem(alice);
    multiple.selectedPersonItem(bob);
    multiple.selectedPersonItem(alice);
    EXPECT_TRUE(several.reports.isEmpty()); // the sheet reports on Done or Cancel only
    EXPECT_TRUE(multiple.isChosen(bob));
    EXPECT_FALSE(multiple.isChosen(alice));
    multiple.cancelButtonPressed();
    multiple.doneToolbarButtonPressed();
    ASSERT_EQ(several.reports.size(), 2);
    EXPECT_EQ(several.changes, (QList<bool>{false, true}));
    EXPECT_EQ(several.reports[1], QList<platform::store::ManagedObjectID>{bob->objectID()});

    // The search narrows the list; the choices stay.
    multiple.searchResultsWithString(QStringLiteral("ali"));
    multiple.contactsListSource()->finishPendingWork();
    EXPECT_EQ(multiple.contactsListSource()->arrangedObjects(), QList<Person *>{alice});
    EXPECT_TRUE(multiple.isChosen(bob));
}

TEST_F(TitlesSidebarTest, TheGroupEditorListsTheGroupsAccountWithItsMembersChosenAndOthersFollowTheChosenGroup)
{
    // Alice has a card in the "local" account, Carl one in another account, Bob none.
    QTemporaryDir folder;
    const QString root = folder.path() + QStringLiteral("/contacts");
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/local/default")));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/office/team")));
    auto book = std::make_shared<platform::contacts::AddressBook>(root);
    ASSERT_TRUE(book->load());
    auto bridge = VCardAddressBookBridge::installFor(book);
    Person *carl = insertPerson(QStringLiteral("Carl"));
    save();
    ASSERT_TRUE(bridge->createABPersonRecord(*alice, true, true));
    ASSERT_TRUE(bridge->createABPersonRecord(*carl, true, true));
    std::optional<platform::contacts::ContactRecord> carlsCard = book->recordForUniqueId(carl->macUniqueIdentifier());
    ASSERT_TRUE(carlsCard);
    ASSERT_TRUE(book->removeRecord(carlsCard->uniqueId()));
    ASSERT_TRUE(book->save());
    book->setRecord(*carlsCard, root + QStringLiteral("/office/team"));
    platform::contacts::ContactRecord team = platform::contacts::ContactRecord::newGroup(QStringLiteral("Team"));
    team.addMember(alice->macUniqueIdentifier());
    book->setRecord(team);
    ASSERT_TRUE(book->save());

    SelectContactsViewControllerMac editor(context, SelectContactsViewControllerMac::MultipleChoice);
    PickerReports reports;
    editor.setDelegate(&reports);
    editor.setShowDoneToolbar(true);
    editor.setEditPublicGroup(book, team);
    editor.awakeFromNib();
    EXPECT_EQ(editor.contactsListSource()->arrangedObjects(), QList<Person *>{alice});
    EXPECT_TRUE(editor.isChosen(alice));
    EXPECT_TRUE(reports.reports.isEmpty());
    editor.doneToolbarButtonPressed();
    // The marking of the members counts as a change.
    EXPECT_EQ(reports.changes, QList<bool>{true});

    // Any other picker follows the group chosen in the main window; the member editor does not.
    auto *friends = PrivateGroups::actuallyCreateNewPrivateContactsGroupWithName(QStringLiteral("Friends"), {bob}, context.get());
    save();
    SelectContactsViewControllerMac::setGroupFilterProvider(
        [friends](SelectContactsViewControllerMac *picker) { picker->setContactsGroupFilter(friends); });
    SelectContactsViewControllerMac chooser(SelectContactsViewControllerMac::NibName, context);
    chooser.awakeFromNib();
    EXPECT_EQ(chooser.contactsListSource()->arrangedObjects(), QList<Person *>{bob});
    SelectContactsViewControllerMac newGroup(context, SelectContactsViewControllerMac::MultipleChoice);
    newGroup.setShowDoneToolbar(true);
    newGroup.awakeFromNib();
    EXPECT_EQ(newGroup.contactsListSource()->arrangedObjects().size(), 3);
    SelectContactsViewControllerMac::setGroupFilterProvider({});
    PersonAddressBookBridge::install(nullptr);
    SharedSettingController::setContactsBridge(nullptr);
}

TEST_F(TitlesSidebarTest, ANewTitleIsTypedInPlaceAndEscapeLeavesTheEdit)
{
    addTitle(QStringLiteral("Call"), 0);
    save();
    TitlesSidebarController sidebar(LogTitle::EntityName, context);
    sidebar.resize(260, 400);
    sidebar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sidebar));
    sidebar.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sidebar));
    const auto editor = [&]() -> QLineEdit * {
        for (QLineEdit *field : sidebar.titlesListOutlineView()->findChildren<QLineEdit *>())
            if (field->isVisible())
                return field;
        return nullptr;
    };

    // Escape leaves a new title's edit, and the title that never got a text goes away.
    sidebar.addNewTitle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor() != nullptr; }, 2000));
    EXPECT_TRUE(editor()->text().isEmpty());
    QTest::keyClick(editor(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor() == nullptr; }, 2000));
    settle();
    EXPECT_EQ(orders(sidebar), QStringList{QStringLiteral("Call=0")});

    // A typed text and Return keep it, saved, at the end.
    sidebar.addNewTitle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor() != nullptr; }, 2000));
    QTest::keyClicks(editor(), QStringLiteral("Visit"));
    QTest::keyClick(editor(), Qt::Key_Return);
    settle();
    EXPECT_EQ(orders(sidebar), (QStringList{QStringLiteral("Call=0"), QStringLiteral("Visit=1")}));
    EXPECT_FALSE(context->hasChanges());

    // Renaming to its own text is accepted as it is; Escape while renaming keeps the old text.
    const QModelIndex visit = sidebar.indexForTitle(sidebar.arrangedTitles().last());
    const QPoint centre = sidebar.titlesListOutlineView()->visualRect(visit).center();
    QTest::mouseClick(sidebar.titlesListOutlineView()->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(sidebar.titlesListOutlineView()->viewport(), Qt::LeftButton, {}, centre);
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor() != nullptr; }, 2000));
    EXPECT_EQ(editor()->text(), QStringLiteral("Visit"));
    QTest::keyClick(editor(), Qt::Key_Return);
    settle();
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(orders(sidebar), (QStringList{QStringLiteral("Call=0"), QStringLiteral("Visit=1")}));
}

TEST_F(TitlesSidebarTest, ToDoTitlesCountTheirOpenToDos)
{
    auto *errand = ToDoTitle::createNewToDoTitleWithText(QStringLiteral("Errand"), 0, context.get());
    for (int status : {0, 0, 1}) {
        auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
        todo->setPerson(alice);
        todo->setTodoStatus(status);
        todo->setTodotitle(errand);
    }
    save();
    TitlesSidebarController sidebar(ToDoTitle::EntityName, context);
    EXPECT_EQ(titleRows(sidebar), QStringList{QStringLiteral("Errand 2")});
    EXPECT_EQ(sidebar.model()->rowCount(sidebar.model()->index(0, 0)), 5);
}
