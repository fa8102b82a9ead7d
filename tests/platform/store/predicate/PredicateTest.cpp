#include "PredicateTestWorld.h"

#include <QLocale>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <functional>

using namespace platform::store;
using namespace predicate_test;

namespace {

using P = Predicate;
constexpr auto C = StringOptions(StringOption::CaseInsensitive);
constexpr auto CD = StringOptions(StringOption::CaseInsensitive) | StringOption::DiacriticInsensitive;

QDateTime utc(int y, int m, int d)
{
    return QDateTime(QDate(y, m, d), QTime(0, 0), QTimeZone::utc());
}

QString u(std::initializer_list<char16_t> units)
{
    QString s;
    for (char16_t c : units)
        s += QChar(c);
    return s;
}

struct Case
{
    const char *name;
    const char *entity;
    std::function<Predicate(World &)> predicate;
    QStringList expected;
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QVariantList manyDecimals(const QString &extra)
{
    QVariantList list;
    for (int i = 0; i < 300; ++i)
        list << QStringLiteral("%1.25").arg(1000 + i);
    list << extra;
    return list;
}

QVariantList manyNames(const QString &extra)
{
    QVariantList list;
    for (int i = 0; i < 300; ++i)
        list << QStringLiteral("name%1").arg(i);
    list << extra;
    return list;
}

// Every case runs as SQL against the database and in memory against the same objects; both must give the
// expected objects.
const std::vector<Case> &cases()
{
    static const std::vector<Case> table = {
        // Constants and logic
        {"True", "Person", [](World &) { return P::truePredicate(); }, {"ann", "bob", "elodie", "zoe", "nobody"}},
        {"False", "Person", [](World &) { return P::falsePredicate(); }, {}},
        {"EmptyAndIsTrue", "Person", [](World &) { return P::andOf({}); }, {"ann", "bob", "elodie", "zoe", "nobody"}},
        {"EmptyOrIsFalse", "Person", [](World &) { return P::orOf({}); }, {}},
        {"AndOrNot", "Person",
         [](World &) { return (P::equal("lastName", "Smith") || P::equal("lastName", "Zola")) && !P::equal("firstName", "Ann"); },
         {"zoe"}},
        // Plain equality and inequality of texts
        {"TextEqual", "Person", [](World &) { return P::equal("firstName", "Ann"); }, {"ann"}},
        {"TextEqualIsExact", "Person", [](World &) { return P::equal("lastName", "smith"); }, {"bob"}},
        {"TextNotEqualIncludesNil", "Person", [](World &) { return P::notEqual("firstName", "Ann"); }, {"bob", "elodie", "zoe", "nobody"}},
        {"NilTest", "Person", [](World &) { return P::isNil("firstName"); }, {"nobody"}},
        {"NullStringIsNil", "Person", [](World &) { return P::equal("firstName", QString()); }, {"nobody"}},
        {"NotNilTest", "Person", [](World &) { return P::isNotNil("birthday"); }, {"ann", "elodie"}},
        {"OrderingAgainstNilIsFalse", "Person", [](World &) { return P::less("age", QVariant()); }, {}},
        // Case and accents
        {"CaseInsensitiveEqual", "Person", [](World &) { return P::equal("lastName", "SMITH", C); }, {"ann", "bob"}},
        {"CaseInsensitiveAccentedEqual", "Person", [](World &) { return P::equal("firstName", QString::fromUtf8("\xC3\xA9LODIE"), C); }, {"elodie"}},
        {"CaseInsensitiveKeepsAccents", "Person", [](World &) { return P::equal("firstName", "elodie", C); }, {}},
        {"CaseAndDiacriticInsensitive", "Person", [](World &) { return P::equal("firstName", "ELODIE", CD); }, {"elodie"}},
        {"CaseInsensitiveMatchesDecomposedText", "Person",
         [](World &) { return P::equal("firstName", QString::fromUtf8("\xC3\xA9milie"), C); }, {"zoe"}},
        {"ExactDoesNotMatchOtherEncoding", "Person", [](World &) { return P::equal("firstName", QString::fromUtf8("\xC3\x89milie")); }, {}},
        {"ContainsFolded", "Person", [](World &) { return P::contains("firstName", "LOD", CD); }, {"elodie"}},
        {"ContainsExact", "Person", [](World &) { return P::contains("firstName", "lod"); }, {"elodie"}},
        {"ContainsExactCase", "Person", [](World &) { return P::contains("firstName", "LOD"); }, {}},
        {"ContainsEmpty", "Person", [](World &) { return P::contains("lastName", ""); }, {"ann", "bob", "elodie", "zoe"}},
        {"ContainsNilIsFalse", "Person", [](World &) { return P::contains("lastName", QString()); }, {}},
        {"BeginsWithFolded", "Person", [](World &) { return P::beginsWith("firstName", "e", CD); }, {"elodie", "zoe"}},
        {"BeginsWithExact", "Person", [](World &) { return P::beginsWith("firstName", "E"); }, {"zoe"}},
        {"NotContainsIncludesNil", "Person", [](World &) { return !P::contains("lastName", "mit"); }, {"elodie", "zoe", "nobody"}},
        {"Like", "Person", [](World &) { return P::like("guid", "A-*"); }, {"ann"}},
        {"LikeOneCharacter", "Person", [](World &) { return P::like("guid", "?-2"); }, {"bob"}},
        {"LikeCaseInsensitive", "Person", [](World &) { return P::like("guid", "a-1", C); }, {"ann"}},
        {"LikeStarMatchesLiteralStarToo", "Person", [](World &) { return P::like("guid", "C*3"); }, {"elodie"}},
        // UTF-16 prefix ranges (above U+FFFF)
        {"RangeAll", "Person", [](World &) { return P::greaterOrEqual("nickname", "a") && P::less("nickname", "b"); }, {"ann", "bob", "elodie"}},
        {"RangeBelowPrivateUse", "Person", [](World &) { return P::greaterOrEqual("nickname", "a") && P::less("nickname", u({u'a', 0xE000})); }, {"ann"}},
        {"RangeOfLoneHighSurrogate", "Person",
         [](World &) { return P::greaterOrEqual("nickname", u({u'a', 0xD83D})) && P::less("nickname", u({u'a', 0xDC00})); }, {"ann"}},
        {"RangeOfSurrogatePair", "Person",
         [](World &) { return P::greaterOrEqual("nickname", u({u'a', 0xD83D, 0xDE00})) && P::less("nickname", u({u'a', 0xD83D, 0xE000})); }, {"ann"}},
        {"RangeOfPrivateUse", "Person",
         [](World &) { return P::greaterOrEqual("nickname", u({u'a', 0xE000})) && P::less("nickname", u({u'a', 0xE001})); }, {"bob"}},
        {"AboveLastBmpUnit", "Person", [](World &) { return P::greater("nickname", u({u'a', 0xFFFF})); }, {"zoe"}},
        // Numbers, booleans, dates, decimals, data
        {"IntegerGreater", "Person", [](World &) { return P::greater("age", 25); }, {"ann", "bob"}},
        {"IntegerLessOrEqual", "Person", [](World &) { return P::lessOrEqual("age", 30); }, {"ann", "zoe"}},
        {"NotOfComparisonWithNil", "Person", [](World &) { return !P::greater("age", 25); }, {"elodie", "zoe", "nobody"}},
        {"IntegerFromText", "Person", [](World &) { return P::equal("age", "45"); }, {"bob"}},
        {"IntegerAgainstFraction", "Person", [](World &) { return P::less("age", 22.5); }, {"zoe"}},
        {"DoubleEqual", "Person", [](World &) { return P::equal("height", 1.7); }, {"ann"}},
        {"DoubleAgainstInteger", "Person", [](World &) { return P::less("height", 2); }, {"ann", "bob", "zoe"}},
        {"DoubleNaNMatchesNothing", "Person", [](World &) { return P::equal("height", std::nan("")); }, {}},
        {"DoubleNotEqualNaNMatchesAll", "Person", [](World &) { return P::notEqual("height", std::nan("")); }, {"ann", "bob", "elodie", "zoe", "nobody"}},
        {"BoolEqualNo", "Person", [](World &) { return P::equal("isPrivate", false); }, {"ann", "zoe"}},
        {"BoolEqualYes", "Person", [](World &) { return P::equal("isPrivate", true); }, {"bob"}},
        {"BoolEqualZero", "Person", [](World &) { return P::equal("isPrivate", 0); }, {"ann", "zoe"}},
        {"BoolFalseOrNil", "Person", [](World &) { return P::isFalseOrNil("isPrivate"); }, {"ann", "zoe", "elodie", "nobody"}},
        {"BoolNotTrueIncludesNil", "Person", [](World &) { return P::notEqual("remotelyDeleted", true); }, {"ann", "bob", "zoe", "nobody"}},
        {"DateAfter", "Person", [](World &) { return P::greater("birthday", utc(1995, 1, 1)); }, {"elodie"}},
        {"DateOpenRange", "Person",
         [](World &) { return P::greater("birthday", utc(1990, 5, 1).addSecs(12 * 3600)) && P::less("birthday", utc(2002, 1, 1)); }, {"elodie"}},
        {"DateEqualInstant", "Person", [](World &) { return P::equal("birthday", utc(1990, 5, 1).addSecs(12 * 3600)); }, {"ann"}},
        {"DecimalEqualByValue", "Person", [](World &) { return P::equal("balance", "12.5"); }, {"ann"}},
        {"DecimalGreaterByValue", "Person", [](World &) { return P::greater("balance", 10); }, {"ann"}},
        {"DecimalFromDouble", "Person", [](World &) { return P::equal("balance", 10.0); }, {"bob"}},
        {"DecimalLessThanText", "Person", [](World &) { return P::less("balance", "1e1"); }, {"elodie"}},
        {"DecimalNotEqualByValue", "Person", [](World &) { return P::notEqual("balance", "10.0"); }, {"ann", "elodie", "zoe", "nobody"}},
        {"DecimalUnreadableMatchesNothing", "Person", [](World &) { return P::equal("balance", "abc"); }, {}},
        {"DecimalNaNMatchesNothing", "Person", [](World &) { return P::equal("balance", std::nan("")); }, {}},
        {"BinaryEqual", "Person", [](World &) { return P::equal("photo", QByteArray("\x01\x03", 2)); }, {"bob"}},
        // IN lists of constants
        {"InTexts", "Person", [](World &) { return P::in("firstName", {"Ann", "Bob", QVariant()}); }, {"ann", "bob"}},
        {"InIntegers", "Person", [](World &) { return P::in("age", {22, 45}); }, {"bob", "zoe"}},
        {"InFolded", "Person", [](World &) { return P::in("lastName", {"SMITH"}, C); }, {"ann", "bob"}},
        {"InEmpty", "Person", [](World &) { return P::in("lastName", QVariantList{}); }, {}},
        {"NotInIncludesNil", "Person", [](World &) { return !P::in("age", {22, 45}); }, {"ann", "elodie", "nobody"}},
        {"InLongList", "Person", [](World &) { return P::in("lastName", manyNames("Zola")); }, {"zoe"}},
        {"InDecimalsByValue", "Person", [](World &) { return P::in("balance", {"10.00"}); }, {"bob"}},
        {"InLongListOfDecimals", "Person", [](World &) { return P::in("balance", manyDecimals("12.5000")); }, {"ann"}},
        // Objects
        {"SelfEqual", "Person", [](World &w) { return P::equal("self", w.named("bob").ref()); }, {"bob"}},
        {"SelfNotEqual", "Person", [](World &w) { return P::notEqual("SELF", w.named("bob").ref()); }, {"ann", "elodie", "zoe", "nobody"}},
        {"SelfIn", "Person", [](World &w) { return P::in("self", std::vector<ObjectRef>{w.named("ann").ref(), w.named("zoe").ref()}); }, {"ann", "zoe"}},
        {"SelfInNone", "Person", [](World &) { return P::in("self", std::vector<ObjectRef>{}); }, {}},
        {"SelfEqualOtherEntity", "Person", [](World &w) { return P::equal("self", w.named("friends").ref()); }, {}},
        {"ToOneEqual", "Email", [](World &w) { return P::equal("person", w.named("ann").ref()); }, {"annHome", "annWork"}},
        {"ToOneNotEqualIncludesNil", "Email", [](World &w) { return P::notEqual("person", w.named("ann").ref()); }, {"bobMail", "orphanMail"}},
        {"ToOneNil", "Email", [](World &) { return P::isNil("person"); }, {"orphanMail"}},
        {"ToOneIn", "ToDo", [](World &w) { return P::in("person", std::vector<ObjectRef>{w.named("bob").ref(), w.named("zoe").ref()}); }, {"plan"}},
        {"OneToOneNil", "Person", [](World &) { return P::isNil("info"); }, {"bob", "zoe", "nobody"}},
        // To-one chains
        {"ChainAttribute", "Email", [](World &) { return P::equal("person.lastName", "smith", C); }, {"annHome", "annWork", "bobMail"}},
        {"ChainNotEqualIncludesMissing", "Person", [](World &) { return P::notEqual("info.job", "Engineer"); }, {"bob", "elodie", "zoe", "nobody"}},
        {"ChainFoldedBeginsWith", "Person", [](World &) { return P::beginsWith("info.job", "med", CD); }, {"elodie"}},
        {"TwoStepChain", "ToDo", [](World &) { return P::equal("person.info.job", "Engineer"); }, {"call", "write"}},
        {"ChainToObject", "ToDo", [](World &w) { return P::equal("person.info", w.named("annInfo").ref()); }, {"call", "write"}},
        {"ChainNilThroughMissing", "ToDo", [](World &) { return P::isNil("person.lastName"); }, {"orphan"}},
        // To-many: counts, ANY, SUBQUERY
        {"CountAboveZero", "Person", [](World &) { return P::count("emails", Comparison::Greater, 0); }, {"ann", "bob"}},
        {"CountZero", "Person", [](World &) { return P::count("emails", Comparison::Equal, 0); }, {"elodie", "zoe", "nobody"}},
        {"CountTwo", "Person", [](World &) { return P::count("emails", Comparison::Equal, 2); }, {"ann"}},
        {"CountNotEqualOne", "Person", [](World &) { return P::count("emails", Comparison::NotEqual, 1); }, {"ann", "elodie", "zoe", "nobody"}},
        {"AnyFolded", "Person", [](World &) { return P::any("emails", P::equal("address", "ann@HOME.org", C)); }, {"ann"}},
        {"AnyLabel", "Person", [](World &) { return P::any("emails", P::equal("label", "home")); }, {"ann", "bob"}},
        {"NotAny", "Person", [](World &) { return !P::any("emails", P::equal("label", "home")); }, {"elodie", "zoe", "nobody"}},
        {"SubqueryCompletedNo", "Person",
         [](World &) { return P::subqueryCount("todos", P::equal("completed", false), Comparison::Greater, 0); }, {"ann"}},
        {"SubqueryFalseOrNil", "Person",
         [](World &) { return P::subqueryCount("todos", P::isFalseOrNil("completed"), Comparison::Greater, 0); }, {"ann", "bob"}},
        {"SubqueryNotDeleted", "Person",
         [](World &) { return P::subqueryCount("SELF.todos", P::notEqual("remotelyDeleted", true), Comparison::NotEqual, 0); }, {"ann"}},
        {"SubqueryCountEqualsTwo", "Person",
         [](World &) { return P::subqueryCount("todos", P::isNotNil("start"), Comparison::Equal, 2); }, {"ann"}},
        {"SubqueryNone", "Person",
         [](World &w) { return P::subqueryCount("todos", P::equal("person", w.named("bob").ref()), Comparison::Equal, 0); },
         {"ann", "elodie", "zoe", "nobody"}},
        {"SubqueryThroughChain", "ToDo",
         [](World &) { return P::subqueryCount("person.emails", P::equal("label", "work"), Comparison::Greater, 0); }, {"call", "write"}},
        {"SubqueryInnerChain", "Group",
         [](World &) { return P::any("members", P::equal("info.job", "Engineer")); }, {"friends"}},
        {"NestedSubquery", "Group",
         [](World &) { return P::any("members", P::any("emails", P::equal("label", "work"))); }, {"friends"}},
        {"SubqueryPersonIn", "Group",
         [](World &w) { return P::any("members", P::in("self", std::vector<ObjectRef>{w.named("bob").ref()})); }, {"friends", "work"}},
        // Many-to-many
        {"ManyToManyAnyObject", "Person", [](World &w) { return P::any("groups", P::equal("self", w.named("work").ref())); }, {"bob"}},
        {"ManyToManyAnyName", "Person", [](World &) { return P::any("groups", P::equal("name", "Friends")); }, {"ann", "bob"}},
        {"ManyToManyCountZero", "Person", [](World &) { return P::count("groups", Comparison::Equal, 0); }, {"elodie", "zoe", "nobody"}},
        {"ManyToManyCountTwo", "Person", [](World &) { return P::count("groups", Comparison::GreaterOrEqual, 2); }, {"bob"}},
        {"ManyToManyOtherSide", "Group", [](World &w) { return P::any("members", P::equal("self", w.named("ann").ref())); }, {"friends"}},
        {"EmptyToManyOtherSide", "Group", [](World &) { return P::count("members", Comparison::Equal, 0); }, {"empty"}},
        {"ManyToManySubqueryCount", "Group",
         [](World &) { return P::subqueryCount("members", P::equal("isPrivate", true), Comparison::Equal, 1); }, {"friends", "work"}},
        {"NotAnyManyToMany", "Person", [](World &w) { return !P::any("groups", P::equal("self", w.named("friends").ref())); },
         {"elodie", "zoe", "nobody"}},
        // Keys whose names are SQL keywords
        {"KeywordColumn", "Group", [](World &) { return P::greaterOrEqual("order", 2); }, {"work", "empty"}},
    };
    return table;
}

class PredicateCases : public ::testing::TestWithParam<size_t>
{
};

TEST_P(PredicateCases, SqlAndMemoryAgree)
{
    const Case &c = cases()[GetParam()];
    World world;
    world.writeDatabase();
    const Predicate predicate = c.predicate(world);
    SCOPED_TRACE(predicate.description().toStdString());
    QString problem;
    const QStringList sql = world.sqlMatches(QString::fromLatin1(c.entity), predicate, &problem);
    EXPECT_TRUE(problem.isNull()) << problem.toStdString();
    const QStringList memory = world.memoryMatches(QString::fromLatin1(c.entity), predicate);
    EXPECT_EQ(sql, sorted(c.expected)) << "SQL: " << compileToSql(predicate, *world.model.entity(c.entity), world.model).where.toStdString();
    EXPECT_EQ(memory, sorted(c.expected)) << "memory";
}

INSTANTIATE_TEST_SUITE_P(Table, PredicateCases, ::testing::Range<size_t>(0, cases().size()),
                         [](const ::testing::TestParamInfo<size_t> &info) { return std::string(cases()[info.param].name); });

struct SortCase
{
    const char *name;
    const char *entity;
    std::vector<SortDescriptor> order;
    QStringList expected;
};

using S = SortDescriptor;

const std::vector<SortCase> &sortCases()
{
    static const std::vector<SortCase> table = {
        {"TextCodeUnitOrderNilFirst", "Person", {S("lastName")}, {"nobody", "elodie", "ann", "zoe", "bob"}},
        {"TextDescendingNilLast", "Person", {S("lastName", false)}, {"bob", "zoe", "ann", "elodie", "nobody"}},
        {"CaseInsensitiveThenSecondKey", "Person", {S("lastName", true, S::Comparator::CaseInsensitive), S("firstName")},
         {"nobody", "elodie", "ann", "bob", "zoe"}},
        {"LocalizedPutsAccentsWithBaseLetter", "Person", {S("firstName", true, S::Comparator::LocalizedCaseInsensitive)},
         {"nobody", "ann", "bob", "elodie", "zoe"}},
        {"DefaultPutsDecomposedBeforePrecomposed", "Person", {S("firstName")}, {"nobody", "ann", "bob", "zoe", "elodie"}},
        {"Utf16OrderAboveBmp", "Person", {S("nickname")}, {"nobody", "ann", "bob", "elodie", "zoe"}},
        {"DateDescendingThenText", "Person", {S("birthday", false), S("firstName")}, {"elodie", "ann", "nobody", "bob", "zoe"}},
        {"DecimalByValue", "Person", {S("balance"), S("firstName")}, {"nobody", "zoe", "elodie", "bob", "ann"}},
        {"IntegerWithNils", "Person", {S("age"), S("firstName")}, {"nobody", "elodie", "zoe", "ann", "bob"}},
        {"BooleanThenText", "Person", {S("isPrivate", false), S("lastName")}, {"bob", "ann", "zoe", "nobody", "elodie"}},
        {"ThroughToOne", "ToDo", {S("person.lastName"), S("title")}, {"orphan", "call", "write", "plan"}},
        {"ThroughToOneLocalized", "ToDo", {S("person.lastName", true, S::Comparator::LocalizedCaseInsensitive), S("title")},
         {"orphan", "call", "plan", "write"}},
        {"KeywordKeyDescending", "Group", {S("order", false)}, {"empty", "work", "friends"}},
    };
    return table;
}

class SortCases : public ::testing::TestWithParam<size_t>
{
};

TEST_P(SortCases, SqlAndMemoryAgree)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const SortCase &c = sortCases()[GetParam()];
    World world;
    world.writeDatabase();
    QString problem;
    const QStringList sql = world.sqlOrder(QString::fromLatin1(c.entity), c.order, &problem);
    EXPECT_TRUE(problem.isNull()) << problem.toStdString();
    EXPECT_EQ(sql, c.expected) << "SQL: " << compileSortToSql(c.order, *world.model.entity(c.entity), world.model).orderBy.toStdString();
    EXPECT_EQ(world.memoryOrder(QString::fromLatin1(c.entity), c.order), c.expected) << "memory";
}

INSTANTIATE_TEST_SUITE_P(Table, SortCases, ::testing::Range<size_t>(0, sortCases().size()),
                         [](const ::testing::TestParamInfo<size_t> &info) { return std::string(sortCases()[info.param].name); });

} // namespace
