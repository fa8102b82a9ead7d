#include "JournalFixture.h"

#include "Mac/Journal/CommonListCellView.h"
#include "Mac/Shell/HeaderWithImageRowView.h"
#include "Mac/Journal/TodoListCellView.h"

#include <QPainter>
#include <QStandardItemModel>

using namespace journal_test;

namespace {

ToDo *insertTodo(const platform::store::ContextPtr &context, Person *person, const QDateTime &start)
{
    auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
    todo->setTodoStartDate(start);
    todo->setPerson(person);
    const QString code = ToDo::sectionCodeFor(todo, platform::core::Clock::now());
    if (todo->todoSectionTitle() != code)
        todo->setTodoSectionTitle(code);
    return todo;
}

FileAttachments *insertFile(const platform::store::ContextPtr &context, Person *person, const QString &name)
{
    auto *file = context->insertNewObject<FileAttachments>(FileAttachments::EntityName);
    file->setFileName(name);
    file->setFileNameNormalized(name.toLower());
    file->setPerson(person);
    return file;
}

} // namespace

TEST_F(JournalStoreTest, ToDosMoveToTheirDaySectionWithinTenSecondsWithoutASave)
{
    const QDateTime now = platform::core::Clock::now();
    insertTodo(context, alice, now.addDays(-2));             // overdue
    insertTodo(context, alice, now.addDays(3));              // next 7 days
    ToDo *soon = insertTodo(context, alice, now.addDays(8)); // upcoming
    save();
    ListHarness<ToDosListDataSource> list(context, nullptr);
    EXPECT_EQ(list.sourceSections(), (QStringList{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")}));
    list.recorder.take();

    // Nothing changes while the start is still more than seven days away.
    clock->advanceSeconds(10);
    EXPECT_TRUE(list.recorder.take().isEmpty());

    // Once it is less than a week away, the next check moves it, with one rebuild.
    clock->advanceSeconds(24 * 3600);
    const QStringList events = list.recorder.take();
    EXPECT_EQ(events, QStringList{QStringLiteral("U")});
    EXPECT_EQ(list.sourceSections(), (QStringList{QStringLiteral("0"), QStringLiteral("1")}));
    EXPECT_EQ(soon->todoSectionTitle(), QStringLiteral("1"));
    EXPECT_EQ(list.modelSections(), list.sourceSections());
    EXPECT_EQ(list.modelRows(1), 2);
}

TEST_F(JournalStoreTest, TheDayCheckStopsWithItsSource)
{
    auto source = std::make_unique<ToDosListDataSource>(context, nullptr);
    auto timer = source->dateThresholdTimer();
    ASSERT_TRUE(timer && timer->isValid());
    EXPECT_EQ(timer->intervalMs(), 10'000);
    // Before the first load there is no section, and the check does nothing.
    clock->advanceSeconds(10);
    source.reset();
    EXPECT_FALSE(timer->isValid());
    clock->advanceSeconds(30);
}

TEST_F(JournalStoreTest, ACompletedToDoLeavesTheListAtItsSave)
{
    const QDateTime now = platform::core::Clock::now();
    ToDo *done = insertTodo(context, alice, now.addDays(2));
    insertTodo(context, alice, now.addDays(3));
    ToDo *closed = insertTodo(context, alice, now.addDays(4));
    closed->setTodoStatus(1);
    save();
    ListHarness<ToDosListDataSource> list(context, alice);
    ASSERT_EQ(list.source.headersArray().size(), 1);
    EXPECT_EQ(list.source.headersArray().at(0)->children().size(), 2);
    list.recorder.take();

    done->setTodoStatus(1);
    done->setTodoCompletedDate(now);
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("DR 0 0")});
    // Never shown again in a section of its own.
    for (const QString &title : list.sourceSections())
        EXPECT_NE(title, QStringLiteral("3"));
}

TEST_F(JournalStoreTest, FileSectionsSortByNameWithUnassignedAmongThem)
{
    Person *tom = insertPerson(QStringLiteral("tom"));
    Person *zed = insertPerson(QStringLiteral("Zed"));
    insertFile(context, zed, QStringLiteral("z.pdf"));
    insertFile(context, tom, QStringLiteral("t.pdf"));
    insertFile(context, nullptr, QStringLiteral("loose.txt"));
    save();
    ListHarness<FilesListDataSource> list(context, nullptr);
    EXPECT_EQ(list.sourceSections(),
              (QStringList{QStringLiteral("tom"), QStringLiteral("Unassigned"), QStringLiteral("Zed")}));
    list.recorder.take();

    // A renamed contact's section takes its new name and place; no row moves.
    tom->setDisplayName(QStringLiteral("Zoe"));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("U")});
    EXPECT_EQ(list.sourceSections(),
              (QStringList{QStringLiteral("Unassigned"), QStringLiteral("Zed"), QStringLiteral("Zoe")}));
    EXPECT_EQ(list.modelSections(), list.sourceSections());

    // Taking a name that already has a section gives one section of that name, with both contacts' files.
    tom->setDisplayName(QStringLiteral("Zed"));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("U")});
    EXPECT_EQ(list.sourceSections(), (QStringList{QStringLiteral("Unassigned"), QStringLiteral("Zed")}));
    EXPECT_EQ(list.source.headersArray().at(1)->children().size(), 2);

    // Renaming one of two namesakes leaves the other's file where it was.
    tom->setDisplayName(QStringLiteral("Tom"));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("U")});
    EXPECT_EQ(list.sourceSections(),
              (QStringList{QStringLiteral("Tom"), QStringLiteral("Unassigned"), QStringLiteral("Zed")}));
    EXPECT_EQ(list.modelSections(), list.sourceSections());

    // A contact without files changes nothing.
    alice->setDisplayName(QStringLiteral("Alicia"));
    save();
    EXPECT_TRUE(list.recorder.take().isEmpty());

    // Searching by a piece of a file's name in another case.
    list.source.setPredicateAndUpdateList(list.source.baseSearchPredicateWithSearch(QStringLiteral("LOOSE")));
    EXPECT_EQ(list.sourceSections(), QStringList{QStringLiteral("Unassigned")});
}

TEST_F(JournalStoreTest, CellsCollapseTheIconsThatDoNotApply)
{
    Log *log = insertLog(alice, day(2026, 3, 1));
    CommonListCellView cell;
    LogsListDataSource::setupConstraintsForTableCell(&cell, log);
    EXPECT_EQ(cell.titleToLocationIconConstraint()->constant(), 0);
    auto *title = context->insertNewObject<LogTitle>(LogTitle::EntityName);
    log->setTitle(title);
    LogsListDataSource::setupConstraintsForTableCell(&cell, log);
    EXPECT_EQ(cell.titleToLocationIconConstraint()->constant(), 12);

    ToDo *todo = insertTodo(context, alice, platform::core::Clock::now());
    todo->setTodoLocation(context->insertNewObject<Location>(Location::EntityName));
    TodoListCellView todoCell;
    ToDosListDataSource::setupConstraintsForTableCell(&todoCell, todo);
    EXPECT_EQ(todoCell.titleToLocationIconConstraint()->constant(), 0);
    EXPECT_EQ(todoCell.locationIconWidthConstraint()->constant(), 8);
    EXPECT_EQ(todoCell.locationIconToLabelConstraint()->constant(), 4);
    EXPECT_EQ(todoCell.locationLabelToRepeatImageConstraint()->constant(), 10);
    EXPECT_EQ(todoCell.repeatImageWidthConstraint()->constant(), 0);
    EXPECT_EQ(todoCell.repeatImageToAlarmImageConstraint()->constant(), 0);
    EXPECT_EQ(todoCell.alarmImageWidthConstraint()->constant(), 0);
    EXPECT_EQ(todoCell.alarmImageToCalendarImageConstraint()->constant(), 0);
    EXPECT_EQ(todoCell.calendarImageWidthConstraint()->constant(), 0);
}

TEST(HeaderWithImageRowView, DrawsItsPictureOverWhite)
{
    QStandardItemModel model(1, 1);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 40, 10);
    QImage canvas(40, 10, QImage::Format_ARGB32);
    canvas.fill(Qt::black);
    HeaderWithImageRowView row;
    {
        QPainter painter(&canvas);
        row.paint(&painter, option, model.index(0, 0));
    }
    EXPECT_EQ(canvas.pixelColor(20, 5), QColor(Qt::white));

    QImage picture(4, 4, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    row.setHeaderFromImage(picture);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        row.paint(&painter, option, model.index(0, 0));
    }
    EXPECT_EQ(canvas.pixelColor(20, 5), QColor(Qt::red));
}
