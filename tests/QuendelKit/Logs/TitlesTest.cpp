#include "QuendelKit/Entities/EntityStoreFixture.h"

#include <gtest/gtest.h>

using platform::store::ContextPtr;
using quendel::test::EntityStoreTest;

namespace {

template <typename Title> QStringList texts(const QList<Title *> &titles)
{
    QStringList values;
    for (const Title *title : titles)
        values.append(title->title());
    return values;
}

template <typename Title> QList<qint64> orders(const QList<Title *> &titles)
{
    QList<qint64> values;
    for (const Title *title : titles)
        values.append(title->displayOrder());
    return values;
}

using TitlesTest = EntityStoreTest;

} // namespace

TEST_F(TitlesTest, AnEmptyStoreGetsTheDefaultTitlesOnce)
{
    ASSERT_TRUE(LogTitle::createLogTitlesForNewDatabaseWithContext(context.get()));
    ASSERT_TRUE(ToDoTitle::createToDoTitlesForNewDatabaseWithContext(context.get()));
    EXPECT_TRUE(context->hasChanges()) << "the caller saves";
    save(context);

    const QStringList logDefaults = {QStringLiteral("Meeting"), QStringLiteral("Phone"),  QStringLiteral("Email"),
                                     QStringLiteral("Message"), QStringLiteral("Coffee"), QStringLiteral("Lunch"),
                                     QStringLiteral("Dinner")};
    const QStringList toDoDefaults = {QStringLiteral("Birthday"), QStringLiteral("Anniversary"),
                                      QStringLiteral("Meeting"),  QStringLiteral("Phone"),
                                      QStringLiteral("Email"),    QStringLiteral("Coffee"),
                                      QStringLiteral("Lunch"),    QStringLiteral("Message")};
    const QList<LogTitle *> logTitles = LogTitle::loadAllLogTitlesInContext(context.get());
    const QList<ToDoTitle *> toDoTitles = ToDoTitle::loadAllTodoTitlesInContext(context.get());
    EXPECT_EQ(texts(logTitles), logDefaults);
    EXPECT_EQ(orders(logTitles), (QList<qint64>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(texts(toDoTitles), toDoDefaults);
    EXPECT_EQ(orders(toDoTitles), (QList<qint64>{0, 1, 2, 3, 4, 5, 6, 7}));

    ASSERT_TRUE(LogTitle::createLogTitlesForNewDatabaseWithContext(context.get()));
    ASSERT_TRUE(ToDoTitle::createToDoTitlesForNewDatabaseWithContext(context.get()));
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(LogTitle::loadAllLogTitlesInContext(context.get()).size(), 7);
    EXPECT_EQ(ToDoTitle::loadAllTodoTitlesInContext(context.get()).size(), 8);
}

TEST_F(TitlesTest, ASingleExistingTitleStopsOnlyItsOwnList)
{
    LogTitle::createNewLogTitleWithText(QStringLiteral("Site visit"), 3, context.get());
    save(context);
    ASSERT_TRUE(LogTitle::createLogTitlesForNewDatabaseWithContext(context.get()));
    ASSERT_TRUE(ToDoTitle::createToDoTitlesForNewDatabaseWithContext(context.get()));
    EXPECT_EQ(texts(LogTitle::loadAllLogTitlesInContext(context.get())), QStringList{QStringLiteral("Site visit")});
    EXPECT_EQ(ToDoTitle::loadAllTodoTitlesInContext(context.get()).size(), 8);

    // An unsaved title counts too, so seeding twice before one save adds nothing twice.
    ContextPtr other = newContext();
    ToDoTitle::createNewToDoTitleWithText(QStringLiteral("Call back"), 0, other.get());
    ASSERT_TRUE(ToDoTitle::createToDoTitlesForNewDatabaseWithContext(other.get()));
    EXPECT_EQ(other->insertedObjects().size(), 1);
}

TEST_F(TitlesTest, TitlesLoadInDisplayOrder)
{
    LogTitle::createNewLogTitleWithText(QStringLiteral("C"), 2, context.get());
    LogTitle::createNewLogTitleWithText(QStringLiteral("A"), 0, context.get());
    LogTitle::createNewLogTitleWithText(QStringLiteral("B"), 1, context.get());
    ToDoTitle *t = ToDoTitle::createNewToDoTitleWithText(QStringLiteral("Later"), 1, context.get());
    ToDoTitle::createNewToDoTitleWithText(QStringLiteral("First"), 0, context.get());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->title(), QStringLiteral("Later"));
    save(context);
    EXPECT_EQ(texts(LogTitle::loadAllLogTitlesInContext(context.get())),
              (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    EXPECT_EQ(texts(ToDoTitle::loadAllTodoTitlesInContext(context.get())),
              (QStringList{QStringLiteral("First"), QStringLiteral("Later")}));
    EXPECT_TRUE(LogTitle::loadAllLogTitlesInContext(nullptr).isEmpty());
}

TEST_F(TitlesTest, IncompleteCountIsTheNumberOfOpenToDos)
{
    ToDoTitle *title = ToDoTitle::createNewToDoTitleWithText(QStringLiteral("Phone"), 0, context.get());
    EXPECT_EQ(title->incompleteCountString(), QStringLiteral("0"));
    QList<ToDo *> todos;
    for (int i = 0; i < 3; ++i) {
        auto *todo = insert<ToDo>();
        todo->setTodotitle(title);
        todos.append(todo);
    }
    EXPECT_EQ(title->incompleteCountString(), QStringLiteral("3"));
    todos[1]->setValue(QStringLiteral("todoStatus"), 1);
    EXPECT_EQ(title->incompleteCountString(), QStringLiteral("2"));
    save(context);
    ContextPtr fresh;
    EXPECT_EQ(reread<ToDoTitle>(title, fresh)->incompleteCountString(), QStringLiteral("2"));

    title->setIncompleteCountString(QStringLiteral("99"));
    EXPECT_EQ(title->incompleteCountString(), QStringLiteral("2")) << "always counted afresh";
    EXPECT_EQ(ToDoTitle::keyPathsForValuesAffectingIncompleteCountString(), QStringList{QStringLiteral("todo")});
}
