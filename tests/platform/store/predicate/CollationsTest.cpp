#include "platform/store/Collations.h"
#include "platform/store/PredicateSql.h"

#include <QLocale>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <thread>
#include <vector>

using namespace platform::store;

namespace {

QString u(std::initializer_list<char16_t> units)
{
    QString s;
    for (char16_t c : units)
        s += QChar(c);
    return s;
}

int sign(int v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

class Connection
{
public:
    Connection()
    {
        sqlite3_open(":memory:", &db);
        QString problem;
        EXPECT_TRUE(registerCollations(db, &problem)) << problem.toStdString();
    }
    ~Connection() { sqlite3_close(db); }

    // Evaluates a one-row, one-column SELECT with the given parameters.
    QVariant scalar(const char *sql, const QVariantList &values)
    {
        sqlite3_stmt *statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        for (int i = 0; i < values.size(); ++i)
            bindSqlValue(statement, i + 1, values[i]);
        QVariant result;
        if (sqlite3_step(statement) == SQLITE_ROW)
            result = readSqlValue(statement, 0);
        sqlite3_finalize(statement);
        return result;
    }

    // The SQL collation's verdict on a and b: -1, 0 or 1.
    int collate(const char *collation, const QString &a, const QString &b)
    {
        const QByteArray sql = QStringLiteral("SELECT CASE WHEN (?1 COLLATE \"%1\") < ?2 THEN -1 WHEN (?1 COLLATE \"%1\") = ?2 THEN 0 ELSE 1 END")
                                   .arg(QLatin1String(collation))
                                   .toUtf8();
        return int(scalar(sql.constData(), {a, b}).toLongLong());
    }

    sqlite3 *db = nullptr;
};

const QStringList &probeTexts()
{
    static const QStringList texts = {
        QString(""), "a", "A", "ab", "b", "Straße", "STRASSE",
        QString::fromUtf8("\xC3\xA9"), QString::fromUtf8("e\xCC\x81"), QString::fromUtf8("\xC3\x89"), "e", "f",
        QString::fromUtf8("\xF0\x9F\x98\x80"), u({0xE000}), u({0xFF21}), u({0xFFFF}), u({0xD83D}), u({0xDC00}),
        u({u'a', 0xD83D, 0xE000}), "12.50", "12.5", "-0", "0", "1e2", "100", "abc", "10.0.0", " 1",
    };
    return texts;
}

TEST(Collations, SqlCollationsOrderExactlyAsTheirInMemoryTwins)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Connection c;
    struct Twin
    {
        const char *collation;
        int (*compare)(const QString &, const QString &);
    };
    const Twin twins[] = {
        {kUtf16Collation, compareUtf16},
        {kCaseFoldCollation, compareCaseFolded},
        {kDecimalCollation, compareDecimalText},
        {kLocalizedNoCaseCollation, compareLocalizedNoCase},
    };
    for (const Twin &twin : twins) {
        for (const QString &a : probeTexts()) {
            for (const QString &b : probeTexts()) {
                EXPECT_EQ(c.collate(twin.collation, a, b), sign(twin.compare(a, b)))
                    << twin.collation << " " << a.toStdString() << " vs " << b.toStdString();
            }
        }
    }
}

TEST(Collations, Utf16OrderDiffersFromCodePointOrderAboveTheBasicPlane)
{
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString privateUse = u({0xE000});
    EXPECT_LT(compareUtf16(emoji, privateUse), 0);
    EXPECT_GT(compareCodePoints(emoji, privateUse), 0);
    Connection c;
    EXPECT_EQ(c.collate(kUtf16Collation, emoji, privateUse), -1);
    EXPECT_EQ(c.collate("BINARY", emoji, privateUse), 1);
}

TEST(Collations, DecimalTextsCompareByValue)
{
    struct Row
    {
        const char *a;
        const char *b;
        int expected;
    };
    const Row rows[] = {
        {"12.50", "12.5", 0}, {"-1", "0", -1}, {"0.001", "1e-3", 0}, {"-0", "0", 0}, {"1e1", "9.99", 1},
        {"-2", "-10", 1}, {"100", "99.999", 1}, {"0.1", "0.10000000001", -1}, {"abc", "1", 1}, {"abc", "abd", -1},
        {"+3", "3.000", 0}, {"000123.4500", "123.45", 0},
    };
    for (const Row &row : rows)
        EXPECT_EQ(sign(compareDecimalText(row.a, row.b)), row.expected) << row.a << " vs " << row.b;
    EXPECT_TRUE(isDecimalText("-12.5e3"));
    EXPECT_FALSE(isDecimalText("12.5.1"));
    EXPECT_FALSE(isDecimalText("."));
    EXPECT_FALSE(isDecimalText(""));
}

TEST(Collations, FoldingIgnoresCaseAndOptionallyAccentsAndEncoding)
{
    const QString precomposed = QString::fromUtf8("\xC3\x89lodie");
    const QString decomposed = QString::fromUtf8("E\xCC\x81LODIE");
    EXPECT_EQ(foldString(precomposed, StringOption::CaseInsensitive), foldString(decomposed, StringOption::CaseInsensitive));
    EXPECT_NE(foldString(precomposed, StringOption::CaseInsensitive), QStringLiteral("elodie"));
    EXPECT_EQ(foldString(precomposed, StringOption::CaseInsensitive | StringOption::DiacriticInsensitive), QStringLiteral("elodie"));
    EXPECT_EQ(foldString(precomposed, StringOption::DiacriticInsensitive), QStringLiteral("Elodie"));
    EXPECT_EQ(foldString(precomposed, {}), precomposed);
    EXPECT_TRUE(foldString(QString(), StringOption::CaseInsensitive).isNull());

    Connection c;
    for (const QString &text : probeTexts()) {
        for (int options : {1, 2, 3}) {
            EXPECT_EQ(c.scalar("SELECT qd_fold(?, ?)", {text, options}).toString(),
                      foldString(text, StringOptions::fromInt(options)))
                << text.toStdString() << " " << options;
        }
    }
    EXPECT_FALSE(c.scalar("SELECT qd_fold(NULL, 1)", {}).isValid());
}

TEST(Collations, LikeWildcards)
{
    struct Row
    {
        QString text;
        QString pattern;
        bool expected;
    };
    const Row rows[] = {
        {"abc", "a*c", true}, {"abc", "a?c", true}, {"ac", "a?c", false}, {"ac", "a*c", true},
        {QString::fromUtf8("a\xF0\x9F\x98\x80" "c"), "a?c", true}, {"", "*", true}, {"x", "", false},
        {"aXbXc", "*X*X*", true}, {"aXb", "*X*X*", false}, {"a%c", "a%c", true}, {"abc", "a%c", false},
        {"ABC", "abc", false}, {"guid-1", "guid-1", true},
    };
    Connection c;
    for (const Row &row : rows) {
        EXPECT_EQ(likeMatch(row.text, row.pattern), row.expected) << row.text.toStdString() << " LIKE " << row.pattern.toStdString();
        EXPECT_EQ(c.scalar("SELECT qd_like(?, ?)", {row.text, row.pattern}).toLongLong(), row.expected ? 1 : 0);
    }
}

TEST(Collations, UnpairedSurrogatesSurviveTheTripThroughSqlite)
{
    Connection c;
    for (const QString &text : {u({u'a', 0xD83D}), u({0xDC00, u'x'}), u({u'a', 0xD83D, 0xE000}), QString::fromUtf8("ok \xF0\x9F\x98\x80")}) {
        const QByteArray bytes = toSqliteText(text);
        EXPECT_EQ(fromSqliteText(bytes.constData(), int(bytes.size())), text);
        EXPECT_EQ(c.scalar("SELECT ?", {text}).toString(), text);
    }
    EXPECT_EQ(toSqliteText(QStringLiteral("plain")), QByteArray("plain"));
}

TEST(Collations, LocalizedComparisonIsSafeOnManyThreads)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QStringList words = {"cherry", "Banana", QString::fromUtf8("\xC3\xA9toile"), "zebra", "Zulu", "delta", "Echo"};
    std::vector<int> expected;
    for (const QString &a : words)
        for (const QString &b : words)
            expected.push_back(compareLocalizedNoCase(a, b));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 200; ++round) {
                size_t i = 0;
                for (const QString &a : words)
                    for (const QString &b : words)
                        if (compareLocalizedNoCase(a, b) != expected[i++])
                            ++mismatches;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_LT(compareLocalizedNoCase(QString::fromUtf8("\xC3\xA9toile"), "zebra"), 0);
    EXPECT_EQ(compareLocalizedNoCase("zulu", "Zulu"), 0);
}

} // namespace
