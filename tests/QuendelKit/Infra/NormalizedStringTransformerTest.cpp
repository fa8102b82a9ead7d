#include "QuendelKit/Infra/NormalizedStringTransformer.h"

#include <gtest/gtest.h>

namespace {

QString u(std::initializer_list<char16_t> units)
{
    QString s;
    for (char16_t unit : units)
        s.append(QChar(unit));
    return s;
}

TEST(NormalizedStringTransformer, NullStaysNullAndEmptyStaysEmpty)
{
    EXPECT_TRUE(NormalizedStringTransformer::normalizeString(QString()).isNull());
    EXPECT_TRUE(NormalizedStringTransformer::normalizeStringForFirstLetter(QString()).isNull());
    const QString emptyNormalized = NormalizedStringTransformer::normalizeString(QStringLiteral(""));
    EXPECT_FALSE(emptyNormalized.isNull());
    EXPECT_TRUE(emptyNormalized.isEmpty());
    const QString emptyLetter = NormalizedStringTransformer::normalizeStringForFirstLetter(QStringLiteral(""));
    EXPECT_FALSE(emptyLetter.isNull());
    EXPECT_TRUE(emptyLetter.isEmpty());
}

TEST(NormalizedStringTransformer, ComposedAndDecomposedCapitalsNormaliseAlike)
{
    const QString composedCapital = QStringLiteral("\u00C9mile Zola");    // "Émile" with one É
    const QString decomposedCapital = QStringLiteral("E\u0301mile ZOLA"); // E + combining acute
    const QString lowerComposed = QStringLiteral("\u00E9mile zola");
    const QString expected = QStringLiteral("e\u0301mile zola");
    EXPECT_EQ(NormalizedStringTransformer::normalizeString(composedCapital), expected);
    EXPECT_EQ(NormalizedStringTransformer::normalizeString(decomposedCapital), expected);
    EXPECT_EQ(NormalizedStringTransformer::normalizeString(lowerComposed), expected);
}

TEST(NormalizedStringTransformer, NothingIsTrimmedOrRemoved)
{
    EXPECT_EQ(NormalizedStringTransformer::normalizeString(QStringLiteral("  Ana-María  ")),
              QStringLiteral("  ana-mari\u0301a  "));
}

struct NormalCase
{
    const char *name;
    QString input;
    QString normalized;
    QString letter;
};

TEST(NormalizedStringTransformer, NormalFormAndSectionLetterTable)
{
    const NormalCase cases[] = {
        {"plain", QStringLiteral("Smith"), QStringLiteral("smith"), QStringLiteral("S")},
        {"lower accented e", QStringLiteral("\u00E9lan"), QStringLiteral("e\u0301lan"), QStringLiteral("E\u0301")},
        {"capital with two marks", QStringLiteral("\u1EC6n"), QStringLiteral("e\u0323\u0302n"),
         QStringLiteral("E\u0323\u0302")},
        {"greek", QStringLiteral("\u03A9mega"), QStringLiteral("\u03C9mega"), QStringLiteral("\u03A9")},
        {"cyrillic", QStringLiteral("\u0436\u0443\u043A"), QStringLiteral("\u0436\u0443\u043A"),
         QStringLiteral("\u0416")},
        {"hangul syllable splits into jamo, one sequence", QStringLiteral("\uD55C\uAD6D"),
         QStringLiteral("\u1112\u1161\u11AB\u1100\u116E\u11A8"), QStringLiteral("\u1112\u1161\u11AB")},
        {"cjk", QStringLiteral("\u738B\u5C0F"), QStringLiteral("\u738B\u5C0F"), QStringLiteral("\u738B")},
        {"digit", QStringLiteral("42 Street"), QStringLiteral("42 street"), QStringLiteral("4")},
        {"punctuation", QStringLiteral("(Acme)"), QStringLiteral("(acme)"), QStringLiteral("(")},
        {"sharp s takes its full title form", QStringLiteral("\u00DFen"), QStringLiteral("\u00DFen"),
         QStringLiteral("Ss")},
        {"dotted capital I lowers fully", QStringLiteral("\u0130stanbul"), QStringLiteral("i\u0307stanbul"),
         QStringLiteral("I\u0307")},
        {"surrogate pair with a lower case", QStringLiteral("\U00010400x"), QStringLiteral("\U00010428x"),
         QStringLiteral("\U00010400")},
        {"surrogate pair without case", QStringLiteral("\U0001D49Cbc"), QStringLiteral("\U0001D49Cbc"),
         QStringLiteral("\U0001D49C")},
        {"emoji", QStringLiteral("\U0001F600 smile"), QStringLiteral("\U0001F600 smile"), QStringLiteral("\U0001F600")},
        {"leading combining mark", QStringLiteral("\u0301a"), QStringLiteral("\u0301a"), QStringLiteral("\u0301")},
    };
    for (const NormalCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NormalizedStringTransformer::normalizeString(c.input), c.normalized);
        EXPECT_EQ(NormalizedStringTransformer::normalizeStringForFirstLetter(c.input), c.letter);
    }
}

TEST(NormalizedStringTransformer, SectionLetterOfAccentedEIsNotThePlainLetter)
{
    const QString letter = NormalizedStringTransformer::normalizeStringForFirstLetter(QStringLiteral("\u00E9cole"));
    EXPECT_NE(letter, QStringLiteral("E"));
    EXPECT_EQ(letter, QStringLiteral("E\u0301"));
}

struct BoundCase
{
    const char *name;
    QString prefix;
    QString bound;
};

TEST(NormalizedStringTransformer, UpperBoundTable)
{
    const BoundCase cases[] = {
        {"empty", QStringLiteral(""), QStringLiteral("")},
        {"one letter", QStringLiteral("a"), QStringLiteral("b")},
        {"two letters", QStringLiteral("ab"), QStringLiteral("ac")},
        {"combining mark", QStringLiteral("e\u0301"), QStringLiteral("e\u0302")},
        {"high surrogate", u({'a', 0xD83D}), u({'a', 0xDC00})},
        {"low surrogate", u({0xD83D, 0xDE00}), u({0xD83D, 0xE000})},
        {"last unit U+FFFF", u({'x', 0xFFFF}), u({'x', 0xFFFF, 0x0001})},
        {"only U+FFFF", u({0xFFFF}), u({0x0001})},
        {"last unit U+FFFE", u({'x', 0xFFFE}), u({'x', 0xFFFF})},
    };
    for (const BoundCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NormalizedStringTransformer::upperBoundSearchString(c.prefix), c.bound);
    }
    EXPECT_TRUE(NormalizedStringTransformer::upperBoundSearchString(QString()).isNull());
}

TEST(NormalizedStringTransformer, UpperBoundEnclosesEveryTextWithThePrefix)
{
    const QString prefixes[] = {QStringLiteral("m"), QStringLiteral("mu\u0308"), u({'k', 0xD83D}), u({0xD83D, 0xDE00}),
                                QStringLiteral("zz")};
    const QString tails[] = {QStringLiteral(""),  QStringLiteral("a"), QStringLiteral("\u0301x"),
                             u({0xFFFF, 0xFFFF}), u({0xDBFF, 0xDFFF}), u({0xE000})};
    for (const QString &prefix : prefixes) {
        const QString bound = NormalizedStringTransformer::upperBoundSearchString(prefix);
        for (const QString &tail : tails) {
            const QString text = prefix + tail;
            EXPECT_TRUE(text >= prefix);
            EXPECT_TRUE(text < bound) << text.toStdU16String().size();
        }
    }
}

} // namespace

namespace {

using platform::store::Comparison;
using platform::store::Predicate;

TEST(NormalizedStringTransformer, ValueTransformerTurnsASearchIntoARange)
{
    EXPECT_TRUE(NormalizedStringTransformer::allowsReverseTransformation());
    EXPECT_EQ(NormalizedStringTransformer::transformedValue(QVariant(42)), QVariant(42));
    EXPECT_EQ(NormalizedStringTransformer::transformedValue(QVariant(QStringLiteral("x"))),
              QVariant(QStringLiteral("x")));
    EXPECT_FALSE(NormalizedStringTransformer::reverseTransformedValue(std::nullopt).has_value());

    const auto range = NormalizedStringTransformer::reverseTransformedValue(
        Predicate::beginsWith(QStringLiteral("displayName"), QStringLiteral("\u00C9mi")));
    ASSERT_TRUE(range.has_value());
    ASSERT_EQ(range->kind(), Predicate::Kind::And);
    const auto &parts = range->node().children;
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].node().keyPath, QStringList{QStringLiteral("normalizedText")});
    EXPECT_EQ(parts[0].node().op, Comparison::GreaterOrEqual);
    EXPECT_EQ(parts[0].node().value.toString(), QStringLiteral("e\u0301mi"));
    EXPECT_EQ(parts[1].node().keyPath, QStringList{QStringLiteral("normalizedText")});
    EXPECT_EQ(parts[1].node().op, Comparison::Less);
    EXPECT_EQ(parts[1].node().value.toString(), QStringLiteral("e\u0301mj"));

    EXPECT_FALSE(NormalizedStringTransformer::reverseTransformedValue(Predicate::truePredicate()).has_value());
}

} // namespace
