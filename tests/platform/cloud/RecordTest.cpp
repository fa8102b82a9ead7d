#include "platform/cloud/Record.h"
#include "platform/core/DateComponents.h"
#include "platform/core/KeyedArchive.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace platform::cloud;
using platform::core::KeyedArchive;
using platform::core::QDError;

namespace {

const RecordZoneID PrivateZone(QStringLiteral("PrivateZone"));

Record sampleRecord()
{
    Record record(QStringLiteral("Log"), RecordID(QStringLiteral("Log.1234"), PrivateZone));
    record.setRecordChangeTag(QStringLiteral("tag-7"));
    return record;
}

} // namespace

TEST(RecordZoneIDTest, NullZonesAreEqualAndNamedZonesCompareBothParts)
{
    EXPECT_TRUE(RecordZoneID().isNull());
    EXPECT_EQ(RecordZoneID(), RecordZoneID(QString(), QStringLiteral("someone")));
    EXPECT_EQ(RecordZoneID(QStringLiteral("Z")), RecordZoneID(QStringLiteral("Z"), RecordZoneID::CurrentUserOwnerName));
    EXPECT_NE(RecordZoneID(QStringLiteral("Z")), RecordZoneID(QStringLiteral("Z"), QStringLiteral("other")));
    EXPECT_NE(RecordZoneID(QStringLiteral("Z")), RecordZoneID());
}

TEST(RecordIDTest, ANameAloneDiffersFromTheSameNameInAZone)
{
    const RecordID bare(QStringLiteral("Person.A"));
    const RecordID zoned(QStringLiteral("Person.A"), PrivateZone);
    EXPECT_FALSE(bare.hasZone());
    EXPECT_TRUE(zoned.hasZone());
    EXPECT_NE(bare, zoned);
    EXPECT_EQ(zoned, RecordID(QStringLiteral("Person.A"), RecordZoneID(QStringLiteral("PrivateZone"))));
    EXPECT_EQ(qHash(zoned), qHash(RecordID(QStringLiteral("Person.A"), PrivateZone)));
}

TEST(ReferenceTest, CarriesItsActionAndTarget)
{
    const Reference none(RecordID(QStringLiteral("Person.A")));
    const Reference owned(RecordID(QStringLiteral("Person.A")), Reference::Action::DeleteSelf);
    EXPECT_EQ(none.action(), Reference::Action::None);
    EXPECT_EQ(owned.action(), Reference::Action::DeleteSelf);
    EXPECT_NE(none, owned);
    EXPECT_TRUE(Reference().isNull());
}

TEST(FieldValueTest, EveryKindReadsBackAsItWasWritten)
{
    const QDateTime when = QDateTime::fromString(QStringLiteral("2024-05-06T07:08:09.123Z"), Qt::ISODateWithMs);
    const Reference ref(RecordID(QStringLiteral("Person.A")));
    const QString assetPath = QStringLiteral("/tmp/picture.jpg");

    EXPECT_EQ(FieldValue(QStringLiteral("note")).toString(), QStringLiteral("note"));
    EXPECT_EQ(FieldValue(qint64(1) << 40).toInteger(), qint64(1) << 40);
    EXPECT_EQ(FieldValue(true).toInteger(), 1);
    EXPECT_DOUBLE_EQ(FieldValue(2.5).toDouble(), 2.5);
    EXPECT_EQ(FieldValue(when).toDate(), when);
    EXPECT_EQ(FieldValue(QByteArray("\0\1\2", 3)).toBytes(), QByteArray("\0\1\2", 3));
    EXPECT_EQ(FieldValue(ref).toReference(), ref);
    EXPECT_EQ(FieldValue(Asset(QUrl::fromLocalFile(assetPath))).toAsset().localFilePath(), assetPath);
    EXPECT_EQ(FieldValue(Location(48.5, -2.25)).toLocation(), Location(48.5, -2.25));
    EXPECT_EQ(FieldValue(ReferenceList{ref, ref}).toReferenceList().size(), 2);
    EXPECT_EQ(FieldValue(QStringList{QStringLiteral("a"), QStringLiteral("b")}).toStringList(),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(FieldValue(QList<qint64>{1, 2}).toIntegerList(), (QList<qint64>{1, 2}));
    EXPECT_EQ(FieldValue(QList<double>{0.5}).toDoubleList(), (QList<double>{0.5}));
    EXPECT_EQ(FieldValue(QList<QDateTime>{when}).toDateList(), (QList<QDateTime>{when}));

    // An integer reads as a double, and a field of another kind as the empty value.
    EXPECT_DOUBLE_EQ(FieldValue(3).toDouble(), 3.0);
    EXPECT_TRUE(FieldValue(3).toString().isNull());
    EXPECT_TRUE(FieldValue(QStringLiteral("x")).toReference().isNull());
}

TEST(FieldValueTest, EmptyValuesAreNullButAnEmptyStringIsAValue)
{
    EXPECT_TRUE(FieldValue(QString()).isNull());
    EXPECT_TRUE(FieldValue(QDateTime()).isNull());
    EXPECT_TRUE(FieldValue(QByteArray()).isNull());
    EXPECT_TRUE(FieldValue(Reference()).isNull());
    EXPECT_TRUE(FieldValue(Asset()).isNull());
    EXPECT_EQ(FieldValue(QStringLiteral("")).kind(), FieldValue::Kind::String);
    EXPECT_EQ(FieldValue(QByteArray("")).kind(), FieldValue::Kind::Bytes);
    // An empty list is a value; the one who sets a field decides whether "empty" means "remove".
    EXPECT_EQ(FieldValue(ReferenceList{}).kind(), FieldValue::Kind::ReferenceList);
}

TEST(FieldValueTest, DatesAreKeptInUtcAtMillisecondPrecision)
{
    const QDateTime local = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 678), Qt::OffsetFromUTC, 3600);
    const FieldValue value(local);
    EXPECT_EQ(value.toDate().timeSpec(), Qt::UTC);
    EXPECT_EQ(value.toDate(), local);
}

TEST(FieldValueTest, FromVariantTakesStoredKindsAndRefusesOthers)
{
    struct Case
    {
        const char *name;
        QVariant input;
        std::optional<FieldValue::Kind> kind; // nullopt: refused
    };
    const Case cases[] = {
        {"invalid", QVariant(), FieldValue::Kind::Null},
        {"null string", QVariant(QString()), FieldValue::Kind::Null},
        {"string", QVariant(QStringLiteral("x")), FieldValue::Kind::String},
        {"bool", QVariant(true), FieldValue::Kind::Integer},
        {"int", QVariant(7), FieldValue::Kind::Integer},
        {"long long", QVariant(qint64(7)), FieldValue::Kind::Integer},
        {"huge unsigned", QVariant(quint64(1) << 63), std::nullopt},
        {"double", QVariant(1.5), FieldValue::Kind::Double},
        {"date", QVariant(QDateTime::currentDateTimeUtc()), FieldValue::Kind::Date},
        {"invalid date", QVariant(QDateTime()), FieldValue::Kind::Null},
        {"bytes", QVariant(QByteArray("x")), FieldValue::Kind::Bytes},
        {"string list", QVariant(QStringList{QStringLiteral("a")}), FieldValue::Kind::StringList},
        {"reference", QVariant::fromValue(Reference(RecordID(QStringLiteral("A.1")))), FieldValue::Kind::Reference},
        {"location", QVariant::fromValue(Location(1, 2)), FieldValue::Kind::Location},
        {"map", QVariant(QVariantMap{{QStringLiteral("a"), 1}}), std::nullopt},
        {"date components", platform::core::DateComponents().toVariant(), std::nullopt},
        {"null marker", platform::core::nullMarker(), std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<FieldValue> value = FieldValue::fromVariant(c.input);
        ASSERT_EQ(value.has_value(), c.kind.has_value());
        if (value) {
            EXPECT_EQ(value->kind(), *c.kind);
        }
    }
}

TEST(RecordTest, SettingAndRemovingFieldsTracksChangedKeys)
{
    Record record = sampleRecord();
    EXPECT_TRUE(record.changedKeys().isEmpty());
    record.setValue(QStringLiteral("logNote"), QStringLiteral("hello"));
    record.setValue(QStringLiteral("logFlags"), 3);
    record.setValue(QStringLiteral("gone"), FieldValue());
    EXPECT_EQ(record.allKeys(), (QStringList{QStringLiteral("logFlags"), QStringLiteral("logNote")}));
    EXPECT_EQ(record.changedKeys(),
              (QStringList{QStringLiteral("gone"), QStringLiteral("logFlags"), QStringLiteral("logNote")}));
    EXPECT_FALSE(record.hasField(QStringLiteral("gone")));

    record.removeValue(QStringLiteral("logFlags"));
    EXPECT_FALSE(record.hasField(QStringLiteral("logFlags")));
    EXPECT_TRUE(record.value(QStringLiteral("logFlags")).isNull());
    EXPECT_TRUE(record.changedKeys().contains(QStringLiteral("logFlags")));

    record.clearChangedKeys();
    EXPECT_TRUE(record.changedKeys().isEmpty());
    EXPECT_EQ(record.value(QStringLiteral("logNote")).toString(), QStringLiteral("hello"));
}

TEST(RecordTest, ParentIsOptional)
{
    Record record = sampleRecord();
    EXPECT_FALSE(record.parent().has_value());
    const Reference team(RecordID(QStringLiteral("Team.1"), PrivateZone));
    record.setParent(team);
    ASSERT_TRUE(record.parent().has_value());
    EXPECT_EQ(*record.parent(), team);
}

TEST(RecordSystemFieldsTest, RoundTripKeepsTypeIdentifierZoneAndTagButNoFields)
{
    struct Case
    {
        const char *name;
        Record record;
    };
    Record withFields = sampleRecord();
    withFields.setValue(QStringLiteral("logNote"), QStringLiteral("secret"));
    withFields.setParent(Reference(RecordID(QStringLiteral("Team.1"))));
    Record noZone(QStringLiteral("Person"), RecordID(QStringLiteral("Person.X")));
    Record otherOwner(
        QStringLiteral("Images"),
        RecordID(QStringLiteral("Images.Y"), RecordZoneID(QStringLiteral("Shared"), QStringLiteral("_abc"))));
    otherOwner.setRecordChangeTag(QStringLiteral("9"));
    const Case cases[] = {{"zoned with tag", sampleRecord()},
                          {"fields and parent dropped", withFields},
                          {"no zone, no tag", noZone},
                          {"other owner", otherOwner}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray data = c.record.encodeSystemFields();
        ASSERT_FALSE(data.isEmpty());
        QDError error(QStringLiteral("stale"), 1);
        const Record back = Record::fromEncodedSystemFields(data, &error);
        EXPECT_TRUE(error.isNull());
        ASSERT_FALSE(back.isNull());
        EXPECT_EQ(back.recordType(), c.record.recordType());
        EXPECT_EQ(back.recordID(), c.record.recordID());
        EXPECT_EQ(back.recordChangeTag(), c.record.recordChangeTag());
        EXPECT_TRUE(back.allKeys().isEmpty());
        EXPECT_TRUE(back.changedKeys().isEmpty());
        EXPECT_FALSE(back.parent().has_value());
    }
}

TEST(RecordSystemFieldsTest, NullRecordEncodesToNothing)
{
    EXPECT_TRUE(Record().encodeSystemFields().isEmpty());
}

TEST(RecordSystemFieldsTest, DamagedOrForeignDataGivesAnErrorAndANullRecord)
{
    const QByteArray good = sampleRecord().encodeSystemFields();
    QVariantMap noName{{QStringLiteral("kind"), QStringLiteral("QDCloudRecordSystemFields")},
                       {QStringLiteral("version"), 1},
                       {QStringLiteral("recordType"), QStringLiteral("Log")}};
    QVariantMap wrongTypes = noName;
    wrongTypes.insert(QStringLiteral("recordName"), 42);
    QVariantMap newer = noName;
    newer.insert(QStringLiteral("recordName"), QStringLiteral("Log.1"));
    newer.insert(QStringLiteral("version"), 2);
    QVariantMap zoneWithoutOwner = noName;
    zoneWithoutOwner.insert(QStringLiteral("recordName"), QStringLiteral("Log.1"));
    zoneWithoutOwner.insert(QStringLiteral("zoneName"), QStringLiteral("Z"));

    struct Case
    {
        const char *name;
        QByteArray data;
        qint64 code;
    };
    const Case cases[] = {
        {"empty", QByteArray(), Record::SystemFieldsNotAnArchiveError},
        {"text", QByteArray("not an archive at all"), Record::SystemFieldsNotAnArchiveError},
        {"truncated", good.left(good.size() - 3), Record::SystemFieldsNotAnArchiveError},
        {"trailing bytes", good + QByteArray("xx"), Record::SystemFieldsNotAnArchiveError},
        {"archived string", KeyedArchive::archive(QStringLiteral("Log.1")), Record::SystemFieldsMalformedError},
        {"other dictionary", KeyedArchive::archive(QVariantMap{{QStringLiteral("changedKeys"), QStringList()}}),
         Record::SystemFieldsMalformedError},
        {"no record name", KeyedArchive::archive(noName), Record::SystemFieldsMalformedError},
        {"record name not a string", KeyedArchive::archive(wrongTypes), Record::SystemFieldsMalformedError},
        {"newer layout", KeyedArchive::archive(newer), Record::SystemFieldsMalformedError},
        {"zone without owner", KeyedArchive::archive(zoneWithoutOwner), Record::SystemFieldsMalformedError},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDError error;
        const Record back = Record::fromEncodedSystemFields(c.data, &error);
        EXPECT_TRUE(back.isNull());
        EXPECT_EQ(error.domain(), QuendelCloudKitErrorDomain);
        EXPECT_EQ(error.code(), c.code);
    }
}

TEST(RecordSystemFieldsTest, RandomDamageNeverCrashes)
{
    const QByteArray good = sampleRecord().encodeSystemFields();
    QRandomGenerator random(20240506);
    for (int round = 0; round < 2000; ++round) {
        QByteArray damaged = good;
        const int flips = 1 + int(random.bounded(4));
        for (int i = 0; i < flips; ++i)
            damaged[int(random.bounded(damaged.size()))] = char(random.bounded(256));
        if (random.bounded(4) == 0)
            damaged.truncate(int(random.bounded(damaged.size())));
        const Record back = Record::fromEncodedSystemFields(damaged);
        // Whatever survives must still be a well-formed record.
        if (!back.isNull()) {
            EXPECT_FALSE(back.recordType().isEmpty());
            EXPECT_FALSE(back.recordID().recordName().isEmpty());
        }
    }
}

TEST(RecordTest, EqualityComparesFieldsAndSystemFields)
{
    Record a = sampleRecord();
    Record b = sampleRecord();
    a.setValue(QStringLiteral("logNote"), QStringLiteral("x"));
    EXPECT_NE(a, b);
    b.setValue(QStringLiteral("logNote"), QStringLiteral("x"));
    EXPECT_EQ(a, b);
    b.setRecordChangeTag(QStringLiteral("other"));
    EXPECT_NE(a, b);
}
