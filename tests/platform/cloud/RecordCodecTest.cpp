#include "platform/cloud/CloudError.h"
#include "platform/cloud/RecordCodec.h"

#include <QCborArray>
#include <QCborMap>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace platform::cloud;
using platform::core::QDError;

namespace {

Asset noAsset(const QCborValue &, QDError *error)
{
    platform::core::setError(error, CloudErrors::make(InvalidArguments));
    return Asset();
}

Record sampleRecord()
{
    Record record(QStringLiteral("Person"), RecordID(QStringLiteral("Person.1"), RecordZoneID(QStringLiteral("Z"))));
    record.setValue(QStringLiteral("s"), QStringLiteral("text"));
    record.setValue(QStringLiteral("i"), qint64(42));
    record.setValue(QStringLiteral("d"), 2.5);
    record.setValue(QStringLiteral("t"), QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC));
    record.setValue(QStringLiteral("b"), QByteArray("xyz"));
    record.setValue(QStringLiteral("r"), Reference(RecordID(QStringLiteral("Company.1"))));
    record.setValue(QStringLiteral("l"), Location(1.0, 2.0));
    record.setValue(QStringLiteral("rl"), ReferenceList{Reference(RecordID(QStringLiteral("G.1")))});
    record.setValue(QStringLiteral("sl"), QStringList{QStringLiteral("a")});
    record.setValue(QStringLiteral("il"), QList<qint64>{1, 2});
    record.setValue(QStringLiteral("dl"), QList<double>{0.25});
    record.setValue(QStringLiteral("tl"), QList<QDateTime>{QDateTime::fromMSecsSinceEpoch(5, Qt::UTC)});
    record.setValue(QStringLiteral("a"), Asset(QUrl::fromLocalFile(QStringLiteral("/tmp/file.bin"))));
    return record;
}

QByteArray field(const QCborValue &value)
{
    QCborMap fields;
    fields.insert(QStringLiteral("x"), value);
    QCborMap top;
    top.insert(QStringLiteral("f"), fields);
    return top.toCborValue().toCbor();
}

// Stored fields are read by every client through a general CBOR parser: what is written must be the very bytes
// that parser writes back for the same values, and what it wrote before must read the same.
TEST(RecordCodec, WrittenBytesAreTheGeneralEncodersAndBothReadAlike)
{
    Record record = sampleRecord();
    record.setValue(QStringLiteral("big"), qint64(-5000000000LL));
    record.setValue(QStringLiteral("empty"), QString(QStringLiteral("")));
    record.setValue(QStringLiteral("ü-name"), QStringLiteral("Zoë 😀"));
    record.setValue(QStringLiteral("nothing"), QByteArray(""));
    record.setParent(Reference(RecordID(QStringLiteral("Share.1"))));
    QDError error;
    const QByteArray data = RecordCodec::encodeFields(record, RecordCodec::urlAssetEncoder, &error);
    ASSERT_TRUE(error.isNull()) << error.toString().toStdString();
    const QCborValue general = QCborValue::fromCbor(data);
    EXPECT_EQ(general.toCbor(), data);

    // Another writer may spend more bytes on a length than needed: such a key reads alike.
    QByteArray longer = data;
    // The key "s" and the head of its value ["text"]: one byte of length, then the same in two.
    const QByteArray shortKey("as\x82\x01\x64" "text");
    const qsizetype at = longer.indexOf(shortKey);
    ASSERT_GE(at, 0);
    longer.replace(at, 2, QByteArray("\x78\x01s", 3));
    for (const QByteArray &bytes : {data, longer}) {
        Record back(record.recordType(), record.recordID());
        ASSERT_TRUE(RecordCodec::decodeFields(bytes, back, RecordCodec::urlAssetDecoder, {}, &error))
            << error.toString().toStdString();
        EXPECT_EQ(back, record);
        EXPECT_TRUE(back.changedKeys().isEmpty());
    }
}

TEST(RecordCodec, EveryKindOfValueRoundTrips)
{
    const Record record = sampleRecord();
    QDError error;
    const QByteArray data = RecordCodec::encodeFields(record, RecordCodec::urlAssetEncoder, &error);
    ASSERT_TRUE(error.isNull()) << error.toString().toStdString();
    Record back(record.recordType(), record.recordID());
    ASSERT_TRUE(RecordCodec::decodeFields(data, back, RecordCodec::urlAssetDecoder, {}, &error));
    EXPECT_EQ(back, record);
    EXPECT_TRUE(back.changedKeys().isEmpty());

    Record whole = record;
    whole.setRecordChangeTag(QStringLiteral("tag"));
    const std::optional<Record> decoded = RecordCodec::decodeRecord(RecordCodec::encodeRecord(whole), &error);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, whole);
    EXPECT_EQ(decoded->changedKeys(), whole.changedKeys());
}

TEST(RecordCodec, DamagedOrIllTypedValuesAreRefused)
{
    const QCborValue refArray = QCborArray{QStringLiteral("n"), QStringLiteral(""), QStringLiteral(""), 0};
    const QList<std::pair<const char *, QByteArray>> cases{
        {"empty", QByteArray()},
        {"not cbor", QByteArray("\xff\xfe\xfd", 3)},
        {"truncated", sampleRecord().isNull() ? QByteArray() : field(QCborArray{1, QStringLiteral("abc")}).left(6)},
        {"top is an array", QCborArray{1, 2}.toCborValue().toCbor()},
        {"fields not a map", QCborMap{{QStringLiteral("f"), 3}}.toCborValue().toCbor()},
        {"value not an array", field(QStringLiteral("bare"))},
        {"unknown kind", field(QCborArray{99, 1})},
        {"null kind", field(QCborArray{0, QCborValue()})},
        {"string holding an integer", field(QCborArray{1, 5})},
        {"integer holding a string", field(QCborArray{2, QStringLiteral("5")})},
        {"double holding bytes", field(QCborArray{3, QByteArray("x")})},
        {"date out of range", field(QCborArray{4, std::numeric_limits<qint64>::max()})},
        {"reference with three parts", field(QCborArray{6, QCborArray{QStringLiteral("n"), QStringLiteral(""), 0}})},
        {"reference with a bad action", field(QCborArray{6, QCborArray{QStringLiteral("n"), QStringLiteral(""), QStringLiteral(""), 7}})},
        {"reference without a name", field(QCborArray{6, QCborArray{QStringLiteral(""), QStringLiteral(""), QStringLiteral(""), 0}})},
        {"latitude past the pole", field(QCborArray{8, QCborArray{91.0, 0.0}})},
        {"location not finite", field(QCborArray{8, QCborArray{qQNaN(), 0.0}})},
        {"list with a stranger", field(QCborArray{10, QCborArray{QStringLiteral("a"), 1}})},
        {"reference list with a bad entry", field(QCborArray{9, QCborArray{refArray, 3}})},
        {"too many list items", field(QCborArray{11, [] {
                                                     QCborArray many;
                                                     for (int i = 0; i <= RecordCodec::MaxListItems; ++i)
                                                         many.append(i);
                                                     return many;
                                                 }()})},
        {"an asset the service cannot resolve", field(QCborArray{7, QStringLiteral("file:///x")})},
        {"empty field name", [] {
             QCborMap fields;
             fields.insert(QStringLiteral(""), QCborArray{1, QStringLiteral("v")});
             return QCborMap{{QStringLiteral("f"), fields}}.toCborValue().toCbor();
         }()},
        {"parent damaged", QCborMap{{QStringLiteral("f"), QCborMap()}, {QStringLiteral("p"), 5}}.toCborValue().toCbor()},
        {"too large", QByteArray(RecordCodec::MaxFieldsBytes + 1, '\0')},
    };
    for (const auto &[name, data] : cases) {
        Record record(QStringLiteral("Person"), RecordID(QStringLiteral("P")));
        record.setValue(QStringLiteral("kept"), QStringLiteral("before"));
        QDError error;
        EXPECT_FALSE(RecordCodec::decodeFields(data, record, noAsset, {}, &error)) << name;
        EXPECT_FALSE(error.isNull()) << name;
        // Nothing half decoded lands in the record.
        EXPECT_EQ(record.allKeys(), QStringList{QStringLiteral("kept")}) << name;
    }
}

TEST(RecordCodec, OversizedRecordsAreRefusedOnTheWayIn)
{
    Record record(QStringLiteral("Person"), RecordID(QStringLiteral("P")));
    record.setValue(QStringLiteral("big"), QByteArray(RecordCodec::MaxFieldsBytes, 'b'));
    QDError error;
    EXPECT_TRUE(RecordCodec::encodeFields(record, RecordCodec::urlAssetEncoder, &error).isEmpty());
    EXPECT_EQ(error.code(), InvalidArguments);
    Record many(QStringLiteral("Person"), RecordID(QStringLiteral("P")));
    for (int i = 0; i <= RecordCodec::MaxFieldCount; ++i)
        many.setValue(QStringLiteral("f%1").arg(i), qint64(i));
    EXPECT_TRUE(RecordCodec::encodeFields(many, RecordCodec::urlAssetEncoder, &error).isEmpty());
    Record longName(QStringLiteral("Person"), RecordID(QStringLiteral("P")));
    longName.setValue(QString(RecordCodec::MaxFieldNameLength + 1, QLatin1Char('k')), qint64(1));
    EXPECT_TRUE(RecordCodec::encodeFields(longName, RecordCodec::urlAssetEncoder, &error).isEmpty());
}

// Random damage to good encodings and plain noise: the decoder answers true or false with an error, and
// never crashes, hangs or leaves a half-filled record.
TEST(RecordCodec, FuzzedInputNeverCrashesTheDecoder)
{
    QRandomGenerator random(20261210);
    QDError error;
    const QByteArray good = RecordCodec::encodeFields(sampleRecord(), RecordCodec::urlAssetEncoder, &error);
    ASSERT_FALSE(good.isEmpty());
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray data;
        switch (round % 4) {
        case 0: // flip bytes
            data = good;
            for (int k = 0, n = 1 + int(random.bounded(8)); k < n; ++k)
                data[int(random.bounded(data.size()))] = char(random.bounded(256));
            break;
        case 1: // cut short
            data = good.left(int(random.bounded(good.size())));
            break;
        case 2: // splice a foreign chunk in
            data = good;
            data.insert(int(random.bounded(data.size())), QByteArray(int(random.bounded(16)), char(random.bounded(256))));
            break;
        default: // noise
            data.resize(int(random.bounded(64)));
            for (char &c : data)
                c = char(random.bounded(256));
            break;
        }
        Record record(QStringLiteral("Person"), RecordID(QStringLiteral("P")));
        QDError decodeError;
        const bool ok = RecordCodec::decodeFields(data, record, RecordCodec::urlAssetDecoder, {}, &decodeError);
        if (ok) {
            ++accepted;
            EXPECT_TRUE(decodeError.isNull());
        } else {
            EXPECT_FALSE(decodeError.isNull());
            EXPECT_TRUE(record.allKeys().isEmpty());
        }
        QDError requestError;
        RecordCodec::decodeModifyRequest(data, &requestError);
        RecordCodec::decodeModifyResult(data, &requestError);
        RecordCodec::decodeQueryResult(data, &requestError);
    }
    // Some damage lands inside text and still decodes: that is fine, it is well-formed.
    EXPECT_LT(accepted, 20000);
}

TEST(RecordCodec, DeeplyNestedInputIsRefused)
{
    QByteArray nested;
    for (int i = 0; i < 100000; ++i)
        nested.append(char(0x81)); // an array of one, again and again
    nested.append(char(0x01));
    Record record(QStringLiteral("Person"), RecordID(QStringLiteral("P")));
    QDError error;
    EXPECT_FALSE(RecordCodec::decodeFields(nested, record, noAsset, {}, &error));
}

TEST(RecordCodec, KeptRequestsAndResultsRoundTrip)
{
    ModifyRecordsRequest request;
    request.database = DatabaseScope::Private;
    request.recordsToSave = {sampleRecord()};
    request.recordIDsToDelete = {RecordID(QStringLiteral("X"), RecordZoneID(QStringLiteral("Z")))};
    request.savePolicy = SavePolicy::ChangedKeys;
    request.configuration = {QStringLiteral("Modify Records Operation"), QualityOfService::UserInitiated, true};
    request.operationID = QStringLiteral("op-1");
    QDError error;
    const auto back = RecordCodec::decodeModifyRequest(RecordCodec::encodeModifyRequest(request), &error);
    ASSERT_TRUE(back) << error.toString().toStdString();
    EXPECT_EQ(back->recordsToSave, request.recordsToSave);
    EXPECT_EQ(back->recordIDsToDelete, request.recordIDsToDelete);
    EXPECT_EQ(back->savePolicy, SavePolicy::ChangedKeys);
    EXPECT_EQ(back->configuration.groupName, QStringLiteral("Modify Records Operation"));
    EXPECT_EQ(back->configuration.qualityOfService, QualityOfService::UserInitiated);

    ModifyRecordsResult result;
    result.savedRecords = {sampleRecord()};
    RecordErrors items;
    items.insert(RecordID(QStringLiteral("Y")), CloudErrors::serverRecordChanged(sampleRecord(), sampleRecord()));
    result.error = CloudErrors::partial(items);
    const auto kept = RecordCodec::decodeModifyResult(RecordCodec::encodeModifyResult(result), &error);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->error.code(), PartialFailure);
    const QDError item = CloudErrors::recordErrors(kept->error).value(RecordID(QStringLiteral("Y")));
    EXPECT_EQ(item.code(), ServerRecordChanged);
    EXPECT_EQ(CloudErrors::serverRecord(item), sampleRecord());
}

} // namespace
