#include "PredicateTestWorld.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace platform::store;
using namespace predicate_test;

namespace {

using P = Predicate;

TEST(PredicateRules, KeyPathsTheStoreCannotRunAreRefusedAndMatchNothingInMemory)
{
    World world;
    world.writeDatabase();
    const Obj &ann = world.named("ann");
    const struct
    {
        const char *why;
        Predicate predicate;
    } rows[] = {
        {"unknown key", P::equal("shoeSize", 42)},
        {"to-many compared as a value", P::equal("emails", "x")},
        {"to-many on the way", P::equal("emails.address", "ann@x.org")},
        {"text test on a number", P::contains("age", "3")},
        {"transient attribute", P::greater("distance", 1.0)},
        {"ordering of objects", P::less("info", world.named("annInfo").ref().toVariant())},
        {"object compared with a plain value", P::equal("info", 41)},
        {"subquery over an attribute", P::count("firstName", Comparison::Greater, 0)},
        {"unknown key inside a subquery", P::any("emails", P::equal("subject", "x"))},
    };
    for (const auto &row : rows) {
        const SqlPredicate sql = compileToSql(row.predicate, *world.model.entity("Person"), world.model);
        EXPECT_FALSE(sql.ok()) << row.why;
        EXPECT_FALSE(evaluate(row.predicate, ann)) << row.why;
    }
    const SqlOrderBy order = compileSortToSql({SortDescriptor("emails")}, *world.model.entity("Person"), world.model);
    EXPECT_FALSE(order.ok());
}

TEST(PredicateRules, ValuesAreBoundInTheirStoredForm)
{
    World world;
    const EntityDescription &person = *world.model.entity("Person");
    const QDateTime when(QDate(2020, 2, 3), QTime(4, 5, 6, 789), QTimeZone::utc());
    const SqlPredicate sql = compileToSql(P::equal("birthday", when) && P::equal("isPrivate", true) && P::equal("balance", 12.5)
                                              && P::equal("age", "7") && P::equal("lastName", QStringLiteral("X"), StringOption::CaseInsensitive),
                                          person, world.model);
    ASSERT_TRUE(sql.ok()) << sql.problem.toStdString();
    ASSERT_EQ(sql.values.size(), 5);
    EXPECT_EQ(sql.values[0].metaType().id(), QMetaType::Double);
    EXPECT_DOUBLE_EQ(sql.values[0].toDouble(), double(when.toMSecsSinceEpoch()) / 1000.0);
    EXPECT_EQ(sql.values[1], QVariant(qint64(1)));
    EXPECT_EQ(sql.values[2], QVariant(QStringLiteral("12.5")));
    EXPECT_EQ(sql.values[3], QVariant(qint64(7)));
    EXPECT_EQ(sql.values[4], QVariant(QStringLiteral("x")));
    EXPECT_TRUE(sql.where.contains(QLatin1String("t0.")));

    // Without an alias the root columns are qualified with the table's own name.
    const SqlPredicate bare = compileToSql(P::equal("age", 1), person, world.model, QString());
    EXPECT_TRUE(bare.where.startsWith(QLatin1String("\"Person\".\"age\""))) << bare.where.toStdString();
}

TEST(PredicateRules, UnsavedObjectsMatchInMemoryByIdentityAndNeverInSql)
{
    World world;
    Obj &draft = world.add("Person", "draft", 0); // inserted, not saved yet
    Obj &todo = world.add("ToDo", "draftTodo", 0);
    world.link(todo, "person", draft);
    world.writeDatabase();

    const Predicate byDraft = P::equal("person", draft.ref());
    EXPECT_TRUE(evaluate(byDraft, todo));
    EXPECT_FALSE(evaluate(byDraft, world.named("call")));
    EXPECT_EQ(compileToSql(byDraft, *world.model.entity("ToDo"), world.model).where, QStringLiteral("0"));
    EXPECT_TRUE(evaluate(P::in("self", std::vector<ObjectRef>{draft.ref()}), draft));

    // A reference taken before the first save still names the object after it; a reference from another
    // copy of the same saved record (another context) names it by pk.
    const ObjectRef before = draft.ref();
    draft.pk = 99;
    EXPECT_TRUE(evaluate(P::equal("self", before), draft));
    Obj &otherCopy = world.add("Person", "copy", 99);
    EXPECT_TRUE(evaluate(P::equal("self", otherCopy.ref()), draft));
    EXPECT_FALSE(evaluate(P::equal("self", world.named("ann").ref()), draft));
}

TEST(PredicateRules, ObjectsCanBeGivenDirectly)
{
    World world;
    world.writeDatabase();
    const Obj *bob = &world.named("bob");
    const std::vector<const Obj *> pair{&world.named("ann"), bob};
    const struct
    {
        Predicate predicate;
        QStringList expected;
    } rows[] = {
        {P::equal("person", bob), {"plan"}},
        {P::notEqual("person", bob), {"call", "orphan", "write"}},
        {P::equal("person", static_cast<const Obj *>(nullptr)), {"orphan"}},
        {P::inObjects("person", pair), {"call", "plan", "write"}},
        {P::equal("completed", 0), {"call", "orphan"}}, // a literal 0 stays a number
    };
    for (const auto &row : rows) {
        EXPECT_EQ(world.sqlMatches("ToDo", row.predicate), row.expected) << row.predicate.description().toStdString();
        EXPECT_EQ(world.memoryMatches("ToDo", row.predicate), row.expected) << row.predicate.description().toStdString();
    }
}

TEST(PredicateRules, ObjectRefFromAnObjectID)
{
    const ObjectRef none = ObjectRef::fromObjectID(ManagedObjectID());
    EXPECT_TRUE(none.isNull());
    EXPECT_FALSE(none.pk.has_value());
}

TEST(PredicateRules, PredicatesAreSharedValuesWithAReadableForm)
{
    const Predicate a = P::equal("title", "Add Other", StringOption::CaseInsensitive);
    const Predicate b = a;
    EXPECT_EQ(&a.node(), &b.node());
    const Predicate both = (a && P::isFalseOrNil("done")) && P::greater("n", 1);
    EXPECT_EQ(both.kind(), Predicate::Kind::And);
    EXPECT_EQ(both.node().children.size(), 3u); // nested ANDs flatten
    EXPECT_EQ(both.description(), QStringLiteral("(title ==[c] \"Add Other\" AND (done == NO OR done == nil) AND n > 1)"));
    EXPECT_EQ(Predicate().kind(), Predicate::Kind::True);
    EXPECT_EQ(P::count("userfields", Comparison::NotEqual, 0).description(), QStringLiteral("SUBQUERY(userfields, $x, TRUEPREDICATE).@count != 0"));
}

TEST(PredicateRules, SortsOfObjectsNotSavedYetFollowTheSameRules)
{
    World world;
    Obj &a = world.add("Person", "a", 0);
    a.values = {{"lastName", "b"}};
    Obj &b = world.add("Person", "b", 0);
    Obj &c = world.add("Person", "c", 0);
    c.values = {{"lastName", "a"}};
    std::vector<const PredicateSubject *> subjects{&a, &b, &c};
    sortSubjects(subjects, {SortDescriptor("lastName")});
    EXPECT_EQ(subjects, (std::vector<const PredicateSubject *>{&b, &c, &a}));
    sortSubjects(subjects, {SortDescriptor("lastName", false)});
    EXPECT_EQ(subjects, (std::vector<const PredicateSubject *>{&a, &c, &b}));
}

} // namespace
