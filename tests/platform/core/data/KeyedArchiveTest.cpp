#include "Printers.h"

#include "platform/core/KeyedArchive.h"

#include <QDateTime>
#include <QPoint>
#include <QUrl>
#include <gtest/gtest.h>

#include <cmath>

using namespace platform::core;

namespace {

DateComponents backupInterval()
{
    DateComponents c;
    c.setHour(0);
    c.setDay(1);
    c.setWeekOfYear(0);
    return c;
}

QVariant roundTrip(const QVariant &value)
{
    QDError error;
    const QByteArray bytes = KeyedArchive::archive(value, &error);
    EXPECT_TRUE(error.isNull()) << error.toString().toStdString();
    EXPECT_FALSE(bytes.isEmpty());
    const auto back = KeyedArchive::unarchive(bytes, &error);
    EXPECT_TRUE(back.has_value()) << error.toString().toStdString();
    return back.value_or(QVariant(QStringLiteral("<failed>")));
}

} // namespace

TEST(KeyedArchive, RoundTripsEveryValueKindWithItsType)
{
    struct Case {
        const char *name;
        QVariant in;
        int expectedType;
    };
    const QDateTime when = QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58, 123), Qt::UTC);
    const Case cases[] = {
        {"nil", QVariant(), QMetaType::UnknownType},
        {"null marker", nullMarker(), QMetaType::Nullptr},
        {"true", QVariant(true), QMetaType::Bool},
        {"false", QVariant(false), QMetaType::Bool},
        {"int", QVariant(int(-7)), QMetaType::LongLong},
        {"int64 min", QVariant(std::numeric_limits<qint64>::min()), QMetaType::LongLong},
        {"int64 max", QVariant(std::numeric_limits<qint64>::max()), QMetaType::LongLong},
        {"uint small", QVariant(uint(7)), QMetaType::LongLong},
        {"uint64 max", QVariant(std::numeric_limits<quint64>::max()), QMetaType::ULongLong},
        {"double", QVariant(0.1), QMetaType::Double},
        {"negative zero", QVariant(-0.0), QMetaType::Double},
        {"infinity", QVariant(-std::numeric_limits<double>::infinity()), QMetaType::Double},
        {"string", QVariant(QStringLiteral("K\u00e4se \U0001F600 <&>")), QMetaType::QString},
        {"empty string", QVariant(QStringLiteral("")), QMetaType::QString},
        {"null string", QVariant(QString()), QMetaType::QString},
        {"data", QVariant(QByteArray("\x00\x01\xff", 3)), QMetaType::QByteArray},
        {"empty data", QVariant(QByteArray("")), QMetaType::QByteArray},
        {"date", QVariant(when), QMetaType::QDateTime},
        {"invalid date", QVariant(QDateTime()), QMetaType::QDateTime},
        {"date components", QVariant::fromValue(backupInterval()), QMetaType::fromType<DateComponents>().id()},
        {"empty date components", QVariant::fromValue(DateComponents()), QMetaType::fromType<DateComponents>().id()},
        {"list", QVariant(QVariantList{1, QStringLiteral("two"), QVariantList{}, QVariant(), nullMarker()}),
         QMetaType::QVariantList},
        {"map", QVariant(QVariantMap{{QStringLiteral("changedKeys"), QVariantList{"a", "b"}},
                                     {QStringLiteral(""), QVariantMap{{"inner", when}}},
                                     {QStringLiteral("\u00fc"), QVariant()}}),
         QMetaType::QVariantMap},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QVariant out = roundTrip(c.in);
        EXPECT_EQ(out.typeId(), c.expectedType);
        if (c.expectedType == QMetaType::Double) {
            EXPECT_EQ(std::signbit(out.toDouble()), std::signbit(c.in.toDouble()));
            EXPECT_EQ(out.toDouble(), c.in.toDouble());
        } else if (c.expectedType == QMetaType::UnknownType) {
            EXPECT_FALSE(out.isValid());
        } else {
            EXPECT_EQ(out, c.in);
        }
    }
    // Null and empty stay apart, for texts and for data.
    EXPECT_TRUE(roundTrip(QVariant(QString())).toString().isNull());
    EXPECT_FALSE(roundTrip(QVariant(QStringLiteral(""))).toString().isNull());
    EXPECT_TRUE(roundTrip(QVariant(QByteArray())).toByteArray().isNull());
    EXPECT_FALSE(roundTrip(QVariant(QByteArray(""))).toByteArray().isNull());
    // Dates come back in UTC, whatever zone they went in with.
    const QDateTime local = QDateTime(QDate(2020, 6, 1), QTime(12, 0), Qt::OffsetFromUTC, 7200);
    const QDateTime back = roundTrip(local).toDateTime();
    EXPECT_EQ(back.timeSpec(), Qt::UTC);
    EXPECT_EQ(back, local);
    // NaN keeps being NaN.
    EXPECT_TRUE(std::isnan(roundTrip(std::numeric_limits<double>::quiet_NaN()).toDouble()));
}

TEST(KeyedArchive, StoredFormatIsStable)
{
    // Archives live in stores and cloud records for years: this pins the bytes of a typical value.
    const QByteArray bytes = KeyedArchive::archive(QVariant::fromValue(backupInterval()));
    EXPECT_EQ(bytes.toHex(), QByteArray("51444b4101000f1810"
                                        "0100000000000000"
                                        "0000000000000000"
                                        "0000000000000000"));
    const QByteArray map = KeyedArchive::archive(QVariantMap{{"k", QStringLiteral("v")}, {"n", qint64(1)}});
    EXPECT_EQ(map.toHex(), QByteArray("51444b410100" "0e02" "016b" "070176" "016e" "040100000000000000"));
    // Equal dictionaries give equal archives, also when they come as hashes.
    QVariantHash hash{{"n", qint64(1)}, {"k", QStringLiteral("v")}};
    EXPECT_EQ(KeyedArchive::archive(hash), map);
}

TEST(KeyedArchive, BrokenArchivesGiveErrorsNotCrashes)
{
    const QByteArray good = KeyedArchive::archive(
        QVariantMap{{"list", QVariantList{1, 2.5, QStringLiteral("x"), QByteArray("yz")}},
                    {"when", QDateTime::fromSecsSinceEpoch(1000, Qt::UTC)},
                    {"step", QVariant::fromValue(backupInterval())}});
    const QByteArray header = good.left(6);
    struct Case {
        const char *name;
        QByteArray data;
        qint64 code;
    };
    const std::vector<Case> cases = {
        {"empty", QByteArray(), KeyedArchive::NotAnArchiveError},
        {"short header", QByteArray("QDK"), KeyedArchive::NotAnArchiveError},
        {"foreign data", QByteArray("<?xml version=\"1.0\"?><plist/>"), KeyedArchive::NotAnArchiveError},
        {"version zero", QByteArray("QDKA\x00\x00\x01", 7), KeyedArchive::UnsupportedVersionError},
        {"newer version", QByteArray("QDKA\x02\x00\x01", 7), KeyedArchive::UnsupportedVersionError},
        {"header only", header, KeyedArchive::CorruptArchiveError},
        {"unknown tag", header + QByteArray("\x7f", 1), KeyedArchive::CorruptArchiveError},
        {"trailing bytes", good + QByteArray("\x00", 1), KeyedArchive::CorruptArchiveError},
        {"string longer than the rest", header + QByteArray("\x07\x05" "ab", 4), KeyedArchive::CorruptArchiveError},
        {"huge list count", header + QByteArray("\x0d\xff\xff\xff\xff\x0f\x00", 7), KeyedArchive::CorruptArchiveError},
        {"huge map count", header + QByteArray("\x0e\xff\xff\xff\xff\xff\xff\xff\xff\x7f", 10),
         KeyedArchive::CorruptArchiveError},
        {"overlong length", header + QByteArray("\x09") + QByteArray(11, '\xff'), KeyedArchive::CorruptArchiveError},
        {"bad UTF-8", header + QByteArray("\x07\x02\xc3\x28", 4), KeyedArchive::CorruptArchiveError},
        {"unknown component field", header + QByteArray("\x0f\x00\x80", 3), KeyedArchive::CorruptArchiveError},
        {"nesting too deep", header + QByteArray(100000, '\x0d'), KeyedArchive::TooDeepError},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDError error;
        const auto value = KeyedArchive::unarchive(c.data, &error);
        EXPECT_FALSE(value.has_value());
        EXPECT_EQ(error.domain(), QuendelErrorDomain);
        EXPECT_EQ(error.code(), c.code) << error.toString().toStdString();
        EXPECT_FALSE(error.localizedDescription().isEmpty());
    }
    // Every truncation of a good archive is refused.
    for (qsizetype n = 0; n < good.size(); ++n) {
        QDError error;
        EXPECT_FALSE(KeyedArchive::unarchive(good.left(n), &error).has_value()) << "length " << n;
        EXPECT_FALSE(error.isNull());
    }
    // Any single damaged byte either still decodes to something or fails cleanly.
    for (qsizetype i = 0; i < good.size(); ++i) {
        for (char flip : {char(0x01), char(0x80), char(0xff)}) {
            QByteArray damaged = good;
            damaged[i] = char(damaged[i] ^ flip);
            QDError error;
            const auto value = KeyedArchive::unarchive(damaged, &error);
            EXPECT_EQ(value.has_value(), error.isNull());
        }
    }
}

TEST(KeyedArchive, RefusesValuesItCannotHold)
{
    for (const QVariant &v : {QVariant(QUrl(QStringLiteral("https://example.com"))), QVariant(QPoint(1, 2)),
                              QVariant(QVariantList{1, QVariant(QPoint(1, 2))})}) {
        QDError error;
        EXPECT_TRUE(KeyedArchive::archive(v, &error).isEmpty());
        EXPECT_EQ(error.code(), KeyedArchive::UnsupportedValueError);
    }
    QVariant deep = QVariantList{};
    for (int i = 0; i < KeyedArchive::MaxDepth + 2; ++i)
        deep = QVariantList{deep};
    QDError error;
    EXPECT_TRUE(KeyedArchive::archive(deep, &error).isEmpty());
    EXPECT_EQ(error.code(), KeyedArchive::TooDeepError);
}

TEST(DateComponents, UndefinedFieldsAndEquality)
{
    DateComponents a;
    EXPECT_TRUE(a.isEmpty());
    EXPECT_EQ(a.day(), DateComponents::Undefined);
    EXPECT_FALSE(a.isDefined(DateComponents::Day));
    a.setDay(1);
    EXPECT_FALSE(a.isEmpty());
    DateComponents b;
    b.setDay(1);
    EXPECT_EQ(a, b);
    b.setHour(0); // zero is a value, not "undefined"
    EXPECT_NE(a, b);
    EXPECT_EQ(b.toString(), QStringLiteral("{day=1, hour=0}"));

    // Compared through QVariant by all fields, and never equal to the null marker or to nothing.
    EXPECT_EQ(QVariant::fromValue(b), QVariant::fromValue(b));
    EXPECT_NE(QVariant::fromValue(a), QVariant::fromValue(b));
    EXPECT_NE(QVariant::fromValue(a), nullMarker());
    EXPECT_TRUE(isNullMarker(nullMarker()));
    EXPECT_FALSE(isNullMarker(QVariant()));
    EXPECT_FALSE(isNullMarker(QVariant::fromValue(a)));
    EXPECT_TRUE(DateComponents::isDateComponents(a.toVariant()));
    EXPECT_EQ(QMetaType::fromName("platform::core::DateComponents"), QMetaType::fromType<DateComponents>());
    QString text;
    QDebug(&text) << b;
    EXPECT_EQ(text, QStringLiteral("DateComponents{day=1, hour=0} "));
}
