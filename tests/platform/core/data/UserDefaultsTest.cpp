#include "Printers.h"

#include "platform/core/DateComponents.h"
#include "platform/core/UserDefaults.h"
#include "support/TempHome.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <thread>

using namespace platform::core;

namespace {

QVariantMap everyKind()
{
    DateComponents step;
    step.setMonth(3);
    return QVariantMap{
        {"text", QStringLiteral("K\u00e4se, \"quoted\" ; # = [x]")},
        {"padded", QStringLiteral("  spaces around  ")},
        {"multi line", QStringLiteral("a\nb\r\nc")},
        {"looks typed", QStringLiteral("i:12")},
        {"at sign", QStringLiteral("@Variant(junk)")},
        {"empty", QStringLiteral("")},
        {"list of text", QStringLiteral("a, b, c")},
        {"int", qint64(-12)},
        {"big int", std::numeric_limits<qint64>::max()},
        {"double", 0.1},
        {"infinite", std::numeric_limits<double>::infinity()},
        {"yes", true},
        {"no", false},
        {"date", QDateTime(QDate(2022, 12, 31), QTime(23, 59, 59, 250), Qt::UTC)},
        {"data", QByteArray("\x00\xff\x01", 3)},
        {"list", QVariantList{qint64(1), QStringLiteral("two"), QVariantMap{{"k", true}}}},
        {"map", QVariantMap{{"CloudKitUserState", qint64(2)}, {"token", QByteArray("tok")}}},
        {"components", QVariant::fromValue(step)},
        {"none", nullMarker()},
        {"HockeyDebug-LogsCount", qint64(0)},
        {"has_shown_whats_new:4.0.1_VERSION", true},
        {"a/b", QStringLiteral("slash")},
        {"back\\slash", QStringLiteral("backslash")},
        {"percent%2F", QStringLiteral("percent")},
        {"\u00fcmlaut key", QStringLiteral("unicode")},
    };
}

} // namespace

TEST(UserDefaults, KeepsEveryTypeAcrossInstances)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.ini"));
    const QVariantMap in = everyKind();
    {
        UserDefaults defaults(path);
        for (auto it = in.constBegin(); it != in.constEnd(); ++it) {
            QDError error;
            ASSERT_TRUE(defaults.setObject(it.value(), it.key(), &error)) << it.key().toStdString();
        }
        ASSERT_TRUE(defaults.synchronize());
    }
    EXPECT_TRUE(QFileInfo::exists(path));
    UserDefaults reopened(path);
    for (auto it = in.constBegin(); it != in.constEnd(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const QVariant out = reopened.objectForKey(it.key());
        EXPECT_EQ(out, it.value());
        EXPECT_EQ(out.typeId(), it.value().typeId());
    }
    EXPECT_EQ(reopened.dictionaryRepresentation(), in);
    EXPECT_EQ(reopened.dateForKey("date").timeSpec(), Qt::UTC);
}

TEST(UserDefaults, RegisteredValuesAreTheFallback)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.ini"));
    UserDefaults defaults(path);
    defaults.registerDefaults({{"AutoBackupEnabled", true}, {"display_setting_sortOrder", 1}});
    defaults.registerDefaults({{"display_setting_sortOrder", 0}, {"passcode_hint", QStringLiteral("hint")}});
    EXPECT_TRUE(defaults.boolForKey("AutoBackupEnabled"));
    EXPECT_EQ(defaults.integerForKey("display_setting_sortOrder"), 0); // later registrations win
    EXPECT_EQ(defaults.stringForKey("passcode_hint"), QStringLiteral("hint"));

    defaults.setBool(false, "AutoBackupEnabled");
    EXPECT_FALSE(defaults.boolForKey("AutoBackupEnabled"));
    EXPECT_EQ(defaults.dictionaryRepresentation().value("AutoBackupEnabled"), QVariant(false));
    EXPECT_EQ(defaults.dictionaryRepresentation().value("passcode_hint"), QVariant(QStringLiteral("hint")));

    defaults.removeObjectForKey("AutoBackupEnabled");
    EXPECT_TRUE(defaults.boolForKey("AutoBackupEnabled"));
    defaults.setInteger(5, "passcode_hint");
    EXPECT_TRUE(defaults.setObject(QVariant(), "passcode_hint")); // an empty value removes
    EXPECT_EQ(defaults.stringForKey("passcode_hint"), QStringLiteral("hint"));

    // The registration domain lives only in memory.
    defaults.setInteger(3, "stored");
    UserDefaults other(path);
    EXPECT_FALSE(other.objectForKey("passcode_hint").isValid());
    EXPECT_EQ(other.integerForKey("stored"), 3);
    EXPECT_TRUE(other.registeredDefaults().isEmpty());
}

TEST(UserDefaults, TypedGettersConvertLikeSettingsReaders)
{
    QTemporaryDir dir;
    UserDefaults d(dir.filePath(QStringLiteral("defaults.ini")));
    d.registerDefaults({{"s-yes", "YES"},   {"s-true", "true"}, {"s-no", "no"},      {"s-zero", "000"},
                        {"s-num", "0012x"}, {"s-neg", "-3.5e1 apples"}, {"i-5", 5},  {"d-0", 0.0},
                        {"d-2.7", 2.7},     {"b-true", true},   {"date", QDateTime::fromSecsSinceEpoch(5, Qt::UTC)},
                        {"list", QStringList{"a"}}, {"map", QVariantMap{{"k", 1}}}, {"data", QByteArray("d")}});
    EXPECT_TRUE(d.boolForKey("s-yes"));
    EXPECT_TRUE(d.boolForKey("s-true"));
    EXPECT_FALSE(d.boolForKey("s-no"));
    EXPECT_FALSE(d.boolForKey("s-zero"));
    EXPECT_TRUE(d.boolForKey("s-num"));
    EXPECT_TRUE(d.boolForKey("i-5"));
    EXPECT_FALSE(d.boolForKey("d-0"));
    EXPECT_FALSE(d.boolForKey("missing"));
    EXPECT_FALSE(d.boolForKey("list"));

    EXPECT_EQ(d.integerForKey("s-num"), 12);
    EXPECT_EQ(d.integerForKey("s-neg"), -3);
    EXPECT_EQ(d.integerForKey("d-2.7"), 2);
    EXPECT_EQ(d.integerForKey("b-true"), 1);
    EXPECT_EQ(d.integerForKey("missing"), 0);
    EXPECT_EQ(d.integerForKey("date"), 0);
    EXPECT_DOUBLE_EQ(d.doubleForKey("s-neg"), -35.0);
    EXPECT_DOUBLE_EQ(d.doubleForKey("i-5"), 5.0);

    EXPECT_EQ(d.stringForKey("i-5"), QStringLiteral("5"));
    EXPECT_EQ(d.stringForKey("d-2.7"), QStringLiteral("2.7"));
    EXPECT_TRUE(d.stringForKey("list").isNull());
    EXPECT_TRUE(d.stringForKey("missing").isNull());

    EXPECT_EQ(d.dateForKey("date"), QDateTime::fromSecsSinceEpoch(5, Qt::UTC));
    EXPECT_TRUE(d.dateForKey("s-yes").isNull());
    EXPECT_EQ(d.dataForKey("data"), QByteArray("d"));
    EXPECT_TRUE(d.dataForKey("s-yes").isNull());
    EXPECT_EQ(d.arrayForKey("list"), QVariantList{QStringLiteral("a")});
    EXPECT_TRUE(d.arrayForKey("map").isEmpty());
    EXPECT_EQ(d.dictionaryForKey("map"), (QVariantMap{{"k", 1}}));
    EXPECT_TRUE(d.dictionaryForKey("list").isEmpty());
}

TEST(UserDefaults, RefusesWhatItCannotStoreAndKeysStayApart)
{
    QTemporaryDir dir;
    UserDefaults d(dir.filePath(QStringLiteral("defaults.ini")));
    d.setInteger(1, "a");
    d.setInteger(2, "a/b");
    QDError error;
    EXPECT_FALSE(d.setObject(QPoint(1, 2), "a", &error));
    EXPECT_FALSE(error.isNull());
    EXPECT_EQ(d.integerForKey("a"), 1);
    EXPECT_FALSE(d.setObject(1, QString(), &error));
    EXPECT_EQ(error.code(), UserDefaults::InvalidKeyError);

    d.removeObjectForKey("a"); // must not take "a/b" with it
    EXPECT_FALSE(d.objectForKey("a").isValid());
    EXPECT_EQ(d.integerForKey("a/b"), 2);

    // A file that cannot be written is reported, not taken for success.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    UserDefaults unwritable(dir.filePath(QStringLiteral("blocker/defaults.ini")));
    EXPECT_FALSE(unwritable.setObject(1, "a", &error));
    EXPECT_EQ(error.code(), UserDefaults::FileWriteError);
    EXPECT_FALSE(unwritable.synchronize(&error));
}

TEST(UserDefaults, HandEditedValuesReadAsText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("defaults.ini"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\nplain=hello\nnumber=42\nbroken=a:!!!notbase64\n");
    f.close();
    UserDefaults d(path);
    EXPECT_EQ(d.objectForKey("plain"), QVariant(QStringLiteral("hello")));
    EXPECT_EQ(d.integerForKey("number"), 42);
    EXPECT_EQ(d.objectForKey("broken"), QVariant(QStringLiteral("a:!!!notbase64")));
}

TEST(UserDefaults, StandardInstanceLivesInTheConfigHome)
{
    quendel::test::TempHome home;
    UserDefaults::setStandardUserDefaults(nullptr);
    const auto defaults = UserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults, UserDefaults::standardUserDefaults());
    EXPECT_EQ(defaults->filePath(), home.configHome() + QStringLiteral("/Quendel/Quendel.ini"));
    defaults->setObject(QStringLiteral("v"), "CloudKitLastUpdateKey");
    EXPECT_TRUE(QFileInfo::exists(defaults->filePath()));

    auto replacement = std::make_shared<UserDefaults>(home.path() + QStringLiteral("/other.ini"));
    UserDefaults::setStandardUserDefaults(replacement);
    EXPECT_EQ(UserDefaults::standardUserDefaults(), replacement);
    UserDefaults::setStandardUserDefaults(nullptr);
}

TEST(UserDefaults, ConcurrentReadersAndWriters)
{
    QTemporaryDir dir;
    UserDefaults d(dir.filePath(QStringLiteral("defaults.ini")));
    d.registerDefaults({{"shared", 0}});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&d, t] {
            for (int i = 0; i < 40; ++i) {
                d.setInteger(i, QStringLiteral("t%1-%2").arg(t).arg(i));
                d.setInteger(i, QStringLiteral("shared"));
                (void)d.integerForKey(QStringLiteral("shared"));
                (void)d.dictionaryRepresentation();
            }
        });
    }
    for (auto &th : threads)
        th.join();
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(d.integerForKey(QStringLiteral("t%1-%2").arg(t).arg(i)), i);
    }
    EXPECT_EQ(d.integerForKey("shared"), 39);
}
