#include "Printers.h"

#include "platform/core/DateComponents.h"
#include "platform/core/PropertyList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUrl>
#include <gtest/gtest.h>

#include <cmath>

using namespace platform::core;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QVariantMap everyKind()
{
    return QVariantMap{
        {"string", QStringLiteral("K\u00e4se \U0001F600 <tag> & \"quotes\" 'apos' ]]>")},
        {"empty string", QStringLiteral("")},
        {"blank string", QStringLiteral("  \t ")},
        {"lines", QStringLiteral("one\r\ntwo\rthree\n")},
        {"integer", qint64(42)},
        {"negative", qint64(-17)},
        {"int64 min", std::numeric_limits<qint64>::min()},
        {"int64 max", std::numeric_limits<qint64>::max()},
        {"real", 0.1},
        {"big real", 1.7976931348623157e308},
        {"tiny real", 5e-324},
        {"integral real", 3.0},
        {"infinite", std::numeric_limits<double>::infinity()},
        {"true", true},
        {"false", false},
        {"date", QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC)},
        {"date before 1970", QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59), Qt::UTC)},
        {"data", QByteArray("\x00\x01\x02\xfe\xff binary", 12)},
        {"empty data", QByteArray("")},
        {"array", QVariantList{qint64(1), QStringLiteral("two"), QVariantList{}, QVariantMap{}}},
        {"dict", QVariantMap{{"nested", QVariantMap{{"deeper", QVariantList{true}}}}}},
        {"", QStringLiteral("empty key")},
        {"key with <&>", QStringLiteral("v")},
    };
}

} // namespace

TEST(PropertyList, RoundTripsEveryTypeThroughAFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.plist"));
    const QVariantMap in = everyKind();
    QDError error;
    ASSERT_TRUE(PropertyList::writeFile(in, path, &error)) << error.toString().toStdString();
    const auto out = PropertyList::readDictionaryFile(path, &error);
    ASSERT_TRUE(out.has_value()) << error.toString().toStdString();
    EXPECT_EQ(out->keys(), in.keys());
    for (auto it = in.constBegin(); it != in.constEnd(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_EQ(out->value(it.key()), it.value());
        EXPECT_EQ(out->value(it.key()).typeId(), it.value().typeId());
    }
    EXPECT_EQ(out->value("date").toDateTime().timeSpec(), Qt::UTC);

    // Other roots, and the integer and list types that writing also takes.
    for (const QVariant &root : {QVariant(QVariantList{1, 2}), QVariant(QStringLiteral("just text")), QVariant(true),
                                 QVariant(QStringList{"a", "b"}), QVariant(uint(7))}) {
        const auto bytes = PropertyList::toData(root, &error);
        ASSERT_TRUE(bytes.has_value());
        const auto back = PropertyList::fromData(*bytes, &error);
        ASSERT_TRUE(back.has_value()) << error.toString().toStdString();
        EXPECT_EQ(*back, root.typeId() == QMetaType::QStringList ? QVariant(root.toList()) : root);
    }
    const auto nan = PropertyList::fromData(*PropertyList::toData(std::nan("")));
    ASSERT_TRUE(nan.has_value());
    EXPECT_TRUE(std::isnan(nan->toDouble()));
}

TEST(PropertyList, DatesAreWrittenInWholeSecondsUtcAndReadInBothForms)
{
    struct Row {
        const char *name;
        QDateTime in;
        const char *written;
    };
    const Row rows[] = {
        {"fraction dropped", QDateTime(QDate(2026, 12, 10), QTime(15, 43, 21, 990), Qt::UTC), "2026-12-10T15:43:21Z"},
        {"whole seconds", QDateTime(QDate(2026, 12, 10), QTime(15, 43, 21), Qt::UTC), "2026-12-10T15:43:21Z"},
        {"offset zone to UTC", QDateTime(QDate(2026, 12, 10), QTime(17, 43, 21, 5), QTimeZone(7200)),
         "2026-12-10T15:43:21Z"},
        {"before 1970", QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 999), Qt::UTC), "1969-12-31T23:59:59Z"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QDError error;
        const auto bytes = PropertyList::toData(QVariantMap{{"d", row.in}}, &error);
        ASSERT_TRUE(bytes.has_value()) << error.toString().toStdString();
        EXPECT_TRUE(bytes->contains(QByteArray("<date>") + row.written + "</date>")) << bytes->constData();
        const auto back = PropertyList::fromData(*bytes, &error);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->toMap().value("d").toDateTime(), row.in.toUTC().addMSecs(-row.in.time().msec()));
    }

    // Files written earlier with a fraction still read, fraction included.
    struct ReadRow {
        const char *text;
        QDateTime expected;
    };
    const ReadRow reads[] = {
        {"2026-12-10T15:43:21Z", QDateTime(QDate(2026, 12, 10), QTime(15, 43, 21), Qt::UTC)},
        {"2026-12-10T15:43:21.990Z", QDateTime(QDate(2026, 12, 10), QTime(15, 43, 21, 990), Qt::UTC)},
    };
    for (const ReadRow &row : reads) {
        SCOPED_TRACE(row.text);
        const auto value =
            PropertyList::fromData(QByteArray("<plist><dict><key>d</key><date>") + row.text + "</date></dict></plist>");
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->toMap().value("d"), QVariant(row.expected));
    }
}

TEST(PropertyList, ReadsTheStandardHeaderAndCommonVariants)
{
    const QByteArray text = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Example//DTD PLIST 1.0//EN" "http://www.example.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- settings -->
<dict>
	<key>use_icloud</key>
	<false/>
	<key>hex</key>
	<integer>0x1F</integer>
	<key>plus</key>
	<integer> +5 </integer>
	<key>real</key>
	<real>-1.5e3</real>
	<key>local date</key>
	<date>2020-01-02T03:04:05</date>
	<key>offset date</key>
	<date>2020-01-02T03:04:05+02:00</date>
	<key>cdata</key>
	<string><![CDATA[a < b & c]]></string>
	<key>escaped</key>
	<string>&lt;&amp;&#x263A;</string>
	<key>empty</key>
	<string/>
	<key>wrapped data</key>
	<data>
	AAEC
	/w==
	</data>
	<key>dup</key>
	<integer>1</integer>
	<key>dup</key>
	<integer>2</integer>
</dict>
</plist>
)";
    QDError error;
    const auto value = PropertyList::fromData(text, &error);
    ASSERT_TRUE(value.has_value()) << error.toString().toStdString();
    const QVariantMap map = value->toMap();
    EXPECT_EQ(map.value("use_icloud"), QVariant(false));
    EXPECT_EQ(map.value("hex"), QVariant(qint64(31)));
    EXPECT_EQ(map.value("plus"), QVariant(qint64(5)));
    EXPECT_EQ(map.value("real"), QVariant(-1500.0));
    EXPECT_EQ(map.value("local date"), QVariant(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC)));
    EXPECT_EQ(map.value("offset date"), QVariant(QDateTime(QDate(2020, 1, 2), QTime(1, 4, 5), Qt::UTC)));
    EXPECT_EQ(map.value("cdata"), QVariant(QStringLiteral("a < b & c")));
    EXPECT_EQ(map.value("escaped"), QVariant(QStringLiteral("<&\u263A")));
    EXPECT_EQ(map.value("empty"), QVariant(QStringLiteral("")));
    EXPECT_EQ(map.value("wrapped data"), QVariant(QByteArray("\x00\x01\x02\xff", 4)));
    EXPECT_EQ(map.value("dup"), QVariant(qint64(2)));

    // A bare value element without the <plist> wrapper is read as well.
    EXPECT_EQ(PropertyList::fromData("<array><integer>1</integer></array>").value_or(QVariant()),
              QVariant(QVariantList{qint64(1)}));
}

TEST(PropertyList, BrokenInputsGiveErrorsAndLeaveTheFileAlone)
{
    const QByteArray good = *PropertyList::toData(QVariantMap{{"a", QVariantList{qint64(1), QStringLiteral("x")}},
                                                               {"b", QByteArray("data")},
                                                               {"c", QDateTime::fromSecsSinceEpoch(0, Qt::UTC)}});
    QByteArray deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<array>";
    QByteArray tooDeepForUs = "<plist>";
    for (int i = 0; i < PropertyList::MaxDepth + 5; ++i)
        tooDeepForUs += "<array>";
    for (int i = 0; i < PropertyList::MaxDepth + 5; ++i)
        tooDeepForUs += "</array>";
    tooDeepForUs += "</plist>";

    static const char nulDoc[] = "<plist><dict><key>a</key><string>x\0y</string></dict></plist>";
    struct Case {
        const char *name;
        QByteArray bytes;
        qint64 code;
    };
    std::vector<Case> cases = {
        {"empty", "", PropertyList::MalformedError},
        {"blank", "  \n ", PropertyList::MalformedError},
        {"binary", QByteArray("bplist00\xd1\x01\x02", 11), PropertyList::UnsupportedFormatError},
        {"not XML", "this is not a property list", PropertyList::MalformedError},
        {"mismatched tags", "<plist><dict><key>a</key><string>x</dict></plist>", PropertyList::MalformedError},
        {"html root", "<html><body/></html>", PropertyList::MalformedError},
        {"wrong root", "<plist><array/></plist>", PropertyList::WrongRootError},
        {"empty plist", "<plist version=\"1.0\"/>", PropertyList::MalformedError},
        {"two values", "<plist><dict/><dict/></plist>", PropertyList::MalformedError},
        {"key without value", "<plist><dict><key>a</key></dict></plist>", PropertyList::MalformedError},
        {"value without key", "<plist><dict><string>x</string></dict></plist>", PropertyList::MalformedError},
        {"text in dict", "<plist><dict>stray<key>a</key><true/></dict></plist>", PropertyList::MalformedError},
        {"unknown element", "<plist><dict><key>a</key><uid>1</uid></dict></plist>", PropertyList::MalformedError},
        {"element in string", "<plist><dict><key>a</key><string>x<b/></string></dict></plist>",
         PropertyList::MalformedError},
        {"bad integer", "<plist><dict><key>a</key><integer>12a</integer></dict></plist>", PropertyList::MalformedError},
        {"empty integer", "<plist><dict><key>a</key><integer/></dict></plist>", PropertyList::MalformedError},
        {"integer overflow", "<plist><dict><key>a</key><integer>-99999999999999999999</integer></dict></plist>",
         PropertyList::MalformedError},
        {"bad real", "<plist><dict><key>a</key><real>1.2.3</real></dict></plist>", PropertyList::MalformedError},
        {"grouped real", "<plist><dict><key>a</key><real>1,000</real></dict></plist>", PropertyList::MalformedError},
        {"real overflow", "<plist><dict><key>a</key><real>1e400</real></dict></plist>", PropertyList::MalformedError},
        {"bad date", "<plist><dict><key>a</key><date>yesterday</date></dict></plist>", PropertyList::MalformedError},
        {"impossible date", "<plist><dict><key>a</key><date>2021-02-30T00:00:00Z</date></dict></plist>",
         PropertyList::MalformedError},
        {"bad base64", "<plist><dict><key>a</key><data>@@@@</data></dict></plist>", PropertyList::MalformedError},
        {"text in true", "<plist><dict><key>a</key><true>yes</true></dict></plist>", PropertyList::MalformedError},
        {"invalid UTF-8", "<plist><dict><key>a</key><string>\xc3\x28</string></dict></plist>",
         PropertyList::MalformedError},
        {"NUL byte", QByteArray(nulDoc, sizeof nulDoc - 1), PropertyList::MalformedError},
        {"undeclared entity", "<plist><dict><key>a</key><string>&nope;</string></dict></plist>",
         PropertyList::MalformedError},
        {"internal entity", "<!DOCTYPE plist [<!ENTITY e \"boom\">]><plist><dict><key>a</key><string>&e;</string>"
                            "</dict></plist>",
         PropertyList::MalformedError},
        {"entity expansion bomb",
         "<!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
         "<plist><dict><key>a</key><string>&d;&d;&d;&d;&d;&d;&d;&d;</string></dict></plist>",
         PropertyList::MalformedError},
        {"external entity", "<!DOCTYPE plist [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><plist><dict><key>a</key>"
                            "<string>&x;</string></dict></plist>",
         PropertyList::MalformedError},
        {"huge nesting", deep, PropertyList::MalformedError},
        {"nesting beyond our limit", tooDeepForUs, PropertyList::MalformedError},
    };
    // The good document cut short anywhere before its end tag.
    const qsizetype end = good.indexOf("</plist>");
    ASSERT_GT(end, 0);
    for (qsizetype cut : {qsizetype(1), qsizetype(5), qsizetype(39), end / 3, end / 2, end - 1, end + 3})
        cases.push_back({"truncated", good.left(cut), PropertyList::MalformedError});

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("broken.plist"));
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + std::to_string(c.bytes.size()));
        ASSERT_TRUE(writeBytes(path, c.bytes));
        QDError error;
        const auto value = PropertyList::readDictionaryFile(path, &error);
        EXPECT_FALSE(value.has_value());
        EXPECT_EQ(error.domain(), QuendelErrorDomain);
        EXPECT_EQ(error.code(), c.code) << error.toString().toStdString();
        EXPECT_TRUE(error.localizedDescription().contains(path)) << error.toString().toStdString();
        EXPECT_EQ(error.userInfo().value(QDError::FilePathKey).toString(), path);
        EXPECT_EQ(readBytes(path), c.bytes);

        QDError dataError;
        if (c.code != PropertyList::WrongRootError) {
            EXPECT_FALSE(PropertyList::fromData(c.bytes, &dataError).has_value());
        }
    }

    QDError error;
    EXPECT_FALSE(PropertyList::readFile(dir.filePath(QStringLiteral("missing.plist")), &error).has_value());
    EXPECT_EQ(error.code(), PropertyList::FileNotFoundError);
    EXPECT_FALSE(PropertyList::readArrayFile(dir.path(), &error).has_value()); // a folder is not a file
    EXPECT_FALSE(error.isNull());
}

TEST(PropertyList, RefusesOversizedFilesWithoutReadingThemWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.plist"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(PropertyList::MaxInputSize + 1));
    f.close();
    QDError error;
    EXPECT_FALSE(PropertyList::readFile(path, &error).has_value());
    EXPECT_EQ(error.code(), PropertyList::TooLargeError);
}

TEST(PropertyList, FailedWritesLeaveTheOldFileInPlace)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.plist"));
    ASSERT_TRUE(PropertyList::writeFile(QVariantMap{{"keep", true}}, path));
    const QByteArray before = readBytes(path);

    struct Case {
        const char *name;
        QVariant value;
    };
    const Case cases[] = {
        {"nothing", QVariant()},
        {"nil inside", QVariantMap{{"a", QVariant()}}},
        {"null marker", QVariantMap{{"a", nullMarker()}}},
        {"date components", QVariantMap{{"a", QVariant::fromValue(DateComponents())}}},
        {"url", QVariantMap{{"a", QUrl(QStringLiteral("https://example.com"))}}},
        {"invalid date", QVariantMap{{"a", QDateTime()}}},
        {"control character", QVariantMap{{"a", QStringLiteral("bell\x07")}}},
        {"control character in key", QVariantMap{{QStringLiteral("k\x01"), 1}}},
        {"unpaired surrogate", QVariantMap{{"a", QString(QChar(0xD800))}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDError error;
        EXPECT_FALSE(PropertyList::writeFile(c.value, path, &error));
        EXPECT_EQ(error.code(), PropertyList::InvalidValueError) << error.toString().toStdString();
        EXPECT_TRUE(error.localizedDescription().contains(path));
        EXPECT_EQ(readBytes(path), before);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"data.plist"});

    // A missing folder, or a folder where the file should be: reported, nothing made.
    QDError error;
    EXPECT_FALSE(PropertyList::writeFile(QVariantMap{}, dir.filePath(QStringLiteral("no/such/x.plist")), &error));
    EXPECT_EQ(error.code(), PropertyList::FileWriteError);
    QDir(dir.path()).mkdir(QStringLiteral("folder.plist"));
    EXPECT_FALSE(PropertyList::writeFile(QVariantMap{}, dir.filePath(QStringLiteral("folder.plist")), &error));
    EXPECT_EQ(error.code(), PropertyList::FileWriteError);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no"))));
}

TEST(PropertyList, RewritesReplaceTheWholeFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.plist"));
    QVariantMap big;
    for (int i = 0; i < 200; ++i)
        big.insert(QStringLiteral("key%1").arg(i), i);
    ASSERT_TRUE(PropertyList::writeFile(big, path));
    ASSERT_TRUE(PropertyList::writeFile(QVariantMap{{"only", QStringLiteral("one")}}, path));
    EXPECT_EQ(PropertyList::readDictionaryFile(path).value_or(QVariantMap()),
              (QVariantMap{{"only", QStringLiteral("one")}}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"data.plist"});
    const QByteArray text = readBytes(path);
    EXPECT_TRUE(text.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"));
}
