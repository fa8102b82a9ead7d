#include "CloudBackingTest.h"

#include "platform/cloud/RecordCodec.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace platform::cloud;
using platform::core::QDError;

namespace quendel::test {
namespace {

const RecordZoneID DataZone(QStringLiteral("QDCloudKitPrivateZoneName"));
const RecordZoneID DefaultZone(DefaultZoneName);

Record makeRecord(const QString &name, const RecordZoneID &zone = DataZone, const QString &type = QStringLiteral("Person"))
{
    Record record(type, RecordID(name, zone));
    record.setValue(QStringLiteral("firstName"), name);
    return record;
}

ModifyRecordsRequest saveRequest(const QList<Record> &records, SavePolicy policy = SavePolicy::IfServerRecordUnchanged)
{
    ModifyRecordsRequest request;
    request.recordsToSave = records;
    request.savePolicy = policy;
    return request;
}

ModifyRecordsRequest deleteRequest(const QList<RecordID> &ids)
{
    ModifyRecordsRequest request;
    request.recordIDsToDelete = ids;
    return request;
}

qint64 itemCode(const QDError &error, const RecordID &id)
{
    return CloudErrors::recordErrors(error).value(id).code();
}

std::string text(const QDError &error) { return error.toString().toStdString(); }

class CloudConformance : public CloudBackingTest
{
protected:
    void SetUp() override
    {
        CloudBackingTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_service = open();
        ASSERT_TRUE(m_service);
        const ZonesResult zones = m_service->saveZones(DatabaseScope::Private, {DataZone});
        ASSERT_TRUE(zones.error.isNull()) << text(zones.error);
    }

    Record saveOne(const Record &record)
    {
        const ModifyRecordsResult result = m_service->modifyRecords(saveRequest({record}));
        EXPECT_TRUE(result.error.isNull()) << text(result.error);
        return result.savedRecords.value(0);
    }

    std::shared_ptr<SqlCloudService> m_service;
};

TEST_P(CloudConformance, SavedRecordsComeBackWithEveryKindOfValue)
{
    const QString assetPath = m_dir.filePath(QStringLiteral("picture.bin"));
    {
        QFile file(assetPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(70000, 'x') + "end");
    }
    Record record(QStringLiteral("Person"), RecordID(QStringLiteral("Person.A1"), DataZone));
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1765400000123, Qt::UTC);
    record.setValue(QStringLiteral("string"), QStringLiteral("Zoë <b>&amp;</b> \"quoted\" 'x'"));
    record.setValue(QStringLiteral("empty"), QStringLiteral(""));
    record.setValue(QStringLiteral("integer"), qint64(-9007199254740993LL));
    record.setValue(QStringLiteral("flag"), true);
    record.setValue(QStringLiteral("double"), 3.25);
    record.setValue(QStringLiteral("date"), date);
    record.setValue(QStringLiteral("bytes"), QByteArray("\x00\x01\xff", 3));
    record.setValue(QStringLiteral("reference"), Reference(RecordID(QStringLiteral("Company.C1"), DefaultZone)));
    record.setValue(QStringLiteral("location"), Location(47.5, -122.25));
    record.setValue(QStringLiteral("references"),
                    ReferenceList{Reference(RecordID(QStringLiteral("Group.G1"))),
                                  Reference(RecordID(QStringLiteral("Group.G2"), DataZone), Reference::Action::DeleteSelf)});
    record.setValue(QStringLiteral("strings"), QStringList{QStringLiteral("a"), QStringLiteral("")});
    record.setValue(QStringLiteral("integers"), QList<qint64>{1, 2, 3});
    record.setValue(QStringLiteral("doubles"), QList<double>{0.5, -1.0});
    record.setValue(QStringLiteral("dates"), QList<QDateTime>{date});
    record.setValue(QStringLiteral("file"), Asset(QUrl::fromLocalFile(assetPath)));
    record.setParent(Reference(RecordID(QStringLiteral("TeamRecord.T"), DataZone)));

    const Record saved = saveOne(record);
    EXPECT_FALSE(saved.recordChangeTag().isEmpty());
    EXPECT_TRUE(saved.changedKeys().isEmpty());

    // Another client, with its own asset cache, reads the same values.
    auto other = open(QStringLiteral("alice"), QStringLiteral("cache2"));
    const FetchRecordsResult fetched = other->fetchRecords(DatabaseScope::Private, {record.recordID()});
    ASSERT_TRUE(fetched.error.isNull()) << text(fetched.error);
    ASSERT_EQ(fetched.records.size(), 1);
    const Record back = fetched.records.first();
    EXPECT_EQ(back.recordChangeTag(), saved.recordChangeTag());
    for (const QString &key : record.allKeys()) {
        if (key == QStringLiteral("file"))
            continue;
        EXPECT_EQ(back.value(key), record.value(key)) << key.toStdString() << ": " << back.value(key).toDebugString().toStdString();
    }
    EXPECT_EQ(back.parent(), record.parent());
    const QString copy = back.value(QStringLiteral("file")).toAsset().localFilePath();
    ASSERT_FALSE(copy.isEmpty());
    EXPECT_NE(copy, assetPath);
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(70000, 'x') + "end");

    // Only the desired keys.
    const FetchRecordsResult some = other->fetchRecords(DatabaseScope::Private, {record.recordID()}, {QStringLiteral("double")});
    ASSERT_EQ(some.records.size(), 1);
    EXPECT_EQ(some.records.first().allKeys(), QStringList{QStringLiteral("double")});
}

TEST_P(CloudConformance, ChangeTagsDecideWhichSaveWins)
{
    const Record first = saveOne(makeRecord(QStringLiteral("Person.1")));
    Record edit = first;
    edit.setValue(QStringLiteral("lastName"), QStringLiteral("Second"));
    const Record second = saveOne(edit);
    EXPECT_NE(second.recordChangeTag(), first.recordChangeTag());

    struct Case
    {
        const char *name;
        QString tag;
        SavePolicy policy;
        qint64 expected; // 0: saved
    };
    const QList<Case> cases{
        {"stale tag", first.recordChangeTag(), SavePolicy::IfServerRecordUnchanged, ServerRecordChanged},
        {"no tag (insert replay)", QString(), SavePolicy::IfServerRecordUnchanged, ServerRecordChanged},
        {"stale tag, changed keys", first.recordChangeTag(), SavePolicy::ChangedKeys, 0},
        {"stale tag, all keys", first.recordChangeTag(), SavePolicy::AllKeys, 0},
    };
    for (const Case &c : cases) {
        Record attempt(QStringLiteral("Person"), first.recordID());
        attempt.setRecordChangeTag(c.tag);
        attempt.setValue(QStringLiteral("note"), QString::fromLatin1(c.name));
        const ModifyRecordsResult result = m_service->modifyRecords(saveRequest({attempt}, c.policy));
        if (c.expected == 0) {
            EXPECT_TRUE(result.error.isNull()) << c.name << text(result.error);
            continue;
        }
        ASSERT_TRUE(CloudErrors::isCloudError(result.error, PartialFailure)) << c.name;
        const QDError item = CloudErrors::recordErrors(result.error).value(first.recordID());
        EXPECT_EQ(item.code(), c.expected) << c.name;
        const Record server = CloudErrors::serverRecord(item);
        EXPECT_EQ(server.recordChangeTag(), second.recordChangeTag()) << c.name;
        EXPECT_EQ(server.value(QStringLiteral("lastName")).toString(), QStringLiteral("Second")) << c.name;
        EXPECT_EQ(CloudErrors::clientRecord(item).value(QStringLiteral("note")).toString(), QString::fromLatin1(c.name));
        EXPECT_TRUE(result.savedRecords.isEmpty());
    }
    // Changed keys kept the server's other fields; all keys then replaced them.
    const FetchRecordsResult now = m_service->fetchRecords(DatabaseScope::Private, {first.recordID()});
    ASSERT_EQ(now.records.size(), 1);
    EXPECT_EQ(now.records.first().allKeys(), QStringList{QStringLiteral("note")});
    EXPECT_EQ(now.records.first().value(QStringLiteral("note")).toString(), QStringLiteral("stale tag, all keys"));
}

TEST_P(CloudConformance, ChangedKeysMergeOntoTheServerRecord)
{
    Record first = makeRecord(QStringLiteral("Person.M"));
    first.setValue(QStringLiteral("email"), QStringLiteral("a@example.org"));
    const Record saved = saveOne(first);
    Record change(QStringLiteral("Person"), saved.recordID());
    change.setValue(QStringLiteral("email"), FieldValue());
    change.setValue(QStringLiteral("phone"), QStringLiteral("123"));
    const ModifyRecordsResult result = m_service->modifyRecords(saveRequest({change}, SavePolicy::ChangedKeys));
    ASSERT_TRUE(result.error.isNull()) << text(result.error);
    ASSERT_EQ(result.savedRecords.size(), 1);
    const Record merged = result.savedRecords.first();
    EXPECT_EQ(merged.allKeys(), (QStringList{QStringLiteral("firstName"), QStringLiteral("phone")}));
    EXPECT_EQ(merged.value(QStringLiteral("firstName")).toString(), QStringLiteral("Person.M"));
}

TEST_P(CloudConformance, AnUpdateOfARecordGoneFromTheServerIsUnknown)
{
    const Record saved = saveOne(makeRecord(QStringLiteral("Person.G")));
    ASSERT_TRUE(m_service->modifyRecords(deleteRequest({saved.recordID()})).error.isNull());
    Record update = saved;
    update.setValue(QStringLiteral("note"), QStringLiteral("late"));
    const ModifyRecordsResult result = m_service->modifyRecords(saveRequest({update}));
    EXPECT_EQ(itemCode(result.error, saved.recordID()), UnknownItem);
    // Without a tag it is a new record again.
    Record fresh = makeRecord(QStringLiteral("Person.G"));
    EXPECT_TRUE(m_service->modifyRecords(saveRequest({fresh})).error.isNull());
}

TEST_P(CloudConformance, ACustomZoneTakesARequestAllOrNone)
{
    const Record existing = saveOne(makeRecord(QStringLiteral("Person.X")));
    Record stale = existing;
    stale.setRecordChangeTag(QStringLiteral("not-the-tag"));
    const Record a = makeRecord(QStringLiteral("Person.A")), b = makeRecord(QStringLiteral("Person.B"));
    const Record d = makeRecord(QStringLiteral("Person.D"), DefaultZone);
    ModifyRecordsRequest request = saveRequest({a, stale, b, d});
    request.recordIDsToDelete = {RecordID(QStringLiteral("Person.Gone"), DataZone)};
    const ModifyRecordsResult result = m_service->modifyRecords(request);
    ASSERT_TRUE(CloudErrors::isCloudError(result.error, PartialFailure)) << text(result.error);
    EXPECT_EQ(itemCode(result.error, stale.recordID()), ServerRecordChanged);
    EXPECT_EQ(itemCode(result.error, a.recordID()), BatchRequestFailed);
    EXPECT_EQ(itemCode(result.error, b.recordID()), BatchRequestFailed);
    EXPECT_EQ(itemCode(result.error, RecordID(QStringLiteral("Person.Gone"), DataZone)), BatchRequestFailed);
    EXPECT_TRUE(CloudErrors::serverRecord(CloudErrors::recordErrors(result.error).value(a.recordID())).isNull());
    // The default zone is not atomic: its record was saved.
    ASSERT_EQ(result.savedRecords.size(), 1);
    EXPECT_EQ(result.savedRecords.first().recordID().recordName(), QStringLiteral("Person.D"));
    const FetchRecordsResult fetched = m_service->fetchRecords(DatabaseScope::Private, {a.recordID(), b.recordID()});
    EXPECT_EQ(itemCode(fetched.error, a.recordID()), UnknownItem);
    EXPECT_EQ(itemCode(fetched.error, b.recordID()), UnknownItem);
}

TEST_P(CloudConformance, DeletingAGoneRecordSucceeds)
{
    const Record saved = saveOne(makeRecord(QStringLiteral("Person.D1")));
    const RecordID missing(QStringLiteral("Person.Never"), DataZone);
    const ModifyRecordsResult result = m_service->modifyRecords(deleteRequest({saved.recordID(), missing}));
    ASSERT_TRUE(result.error.isNull()) << text(result.error);
    EXPECT_EQ(result.deletedRecordIDs, (QList<RecordID>{saved.recordID(), missing}));
    const FetchRecordsResult fetched = m_service->fetchRecords(DatabaseScope::Private, {saved.recordID()});
    EXPECT_TRUE(CloudErrors::isCloudError(fetched.error, PartialFailure));
    EXPECT_EQ(itemCode(fetched.error, saved.recordID()), UnknownItem);
    // And again: still no error.
    EXPECT_TRUE(m_service->modifyRecords(deleteRequest({saved.recordID()})).error.isNull());
}

TEST_P(CloudConformance, InvalidRequestsAreRefusedPerItem)
{
    Record nameless(QStringLiteral("Person"), RecordID());
    const Record twice = makeRecord(QStringLiteral("Person.T"), DefaultZone);
    const ModifyRecordsResult result = m_service->modifyRecords(saveRequest({twice, twice}));
    EXPECT_EQ(itemCode(result.error, twice.recordID()), InvalidArguments);
    const Record saved = saveOne(makeRecord(QStringLiteral("Person.Type")));
    Record retyped(QStringLiteral("Log"), saved.recordID());
    retyped.setRecordChangeTag(saved.recordChangeTag());
    EXPECT_EQ(itemCode(m_service->modifyRecords(saveRequest({retyped})).error, saved.recordID()), InvalidArguments);
}

TEST_P(CloudConformance, ZoneChangesPageAndTokensContinue)
{
    m_service->setPageSize(3);
    QList<Record> records;
    for (int i = 0; i < 10; ++i)
        records.append(makeRecord(QStringLiteral("Person.%1").arg(i, 2, 10, QLatin1Char('0'))));
    ASSERT_TRUE(m_service->modifyRecords(saveRequest(records)).error.isNull());

    ChangeToken token;
    QStringList names;
    QList<int> pages;
    for (int guard = 0; guard < 10; ++guard) {
        const ZoneChangesResult page = m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, token);
        ASSERT_TRUE(page.error.isNull()) << text(page.error);
        pages.append(page.changedRecords.size());
        for (const Record &r : page.changedRecords)
            names.append(r.recordID().recordName());
        token = page.changeToken;
        if (!page.moreComing)
            break;
    }
    EXPECT_EQ(pages, (QList<int>{3, 3, 3, 1}));
    EXPECT_EQ(names.size(), 10);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 10);

    // Nothing new: an empty answer with a usable token.
    const ZoneChangesResult quiet = m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, token);
    EXPECT_TRUE(quiet.changedRecords.isEmpty());
    EXPECT_FALSE(quiet.moreComing);

    // A change and a deletion by another client arrive once each, the deletion with its record type.
    auto other = open();
    Record change = records[4];
    change.setRecordChangeTag(QString());
    ASSERT_TRUE(other->modifyRecords(saveRequest({change}, SavePolicy::AllKeys)).error.isNull());
    ASSERT_TRUE(other->modifyRecords(deleteRequest({records[7].recordID()})).error.isNull());
    const ZoneChangesResult next = m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, quiet.changeToken,
                                                               {RecordNameKey, RecordChangeTagKey});
    ASSERT_TRUE(next.error.isNull()) << text(next.error);
    ASSERT_EQ(next.changedRecords.size(), 1);
    EXPECT_EQ(next.changedRecords.first().recordID().recordName(), QStringLiteral("Person.04"));
    EXPECT_TRUE(next.changedRecords.first().allKeys().isEmpty());
    EXPECT_FALSE(next.changedRecords.first().recordChangeTag().isEmpty());
    ASSERT_EQ(next.deletedRecords.size(), 1);
    EXPECT_EQ(next.deletedRecords.first(), (DeletedRecord{records[7].recordID(), QStringLiteral("Person")}));

    // A token of another zone, or a damaged one, cannot be continued.
    ASSERT_TRUE(m_service->saveZones(DatabaseScope::Private, {RecordZoneID(QStringLiteral("Other"))}).error.isNull());
    EXPECT_TRUE(CloudErrors::isCloudError(
        m_service->fetchZoneChanges(DatabaseScope::Private, RecordZoneID(QStringLiteral("Other")), next.changeToken).error,
        ChangeTokenExpired));
    EXPECT_TRUE(CloudErrors::isCloudError(
        m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, ChangeToken("\xff\x00garbage")).error,
        ChangeTokenExpired));

    // Once the zone forgets its deletions, tokens from before answer 21; a fresh fetch starts over.
    QDError error;
    ASSERT_TRUE(m_service->compactZoneChanges(DatabaseScope::Private, DataZone, &error)) << text(error);
    EXPECT_TRUE(CloudErrors::isCloudError(
        m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, quiet.changeToken).error, ChangeTokenExpired));
    EXPECT_TRUE(m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, next.changeToken).error.isNull());
    m_service->setPageSize(100);
    const ZoneChangesResult all = m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, ChangeToken());
    EXPECT_EQ(all.changedRecords.size(), 9);
    EXPECT_TRUE(all.deletedRecords.isEmpty());

    // A zone deleted and made again is a new zone: old tokens expire.
    ASSERT_TRUE(m_service->deleteZones(DatabaseScope::Private, {DataZone}).error.isNull());
    ASSERT_TRUE(m_service->saveZones(DatabaseScope::Private, {DataZone}).error.isNull());
    EXPECT_TRUE(CloudErrors::isCloudError(
        m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, all.changeToken).error, ChangeTokenExpired));
    EXPECT_TRUE(m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, ChangeToken()).changedRecords.isEmpty());
}

// Requests of hundreds of records go to the database in groups (existing rows looked up a list of names at
// a time, rows written several per statement): every record must still be judged and written once.
TEST_P(CloudConformance, LargeRequestsJudgeAndWriteEveryRecordOnce)
{
    constexpr int First = 199; // not a multiple of any group size
    QList<Record> records;
    for (int i = 0; i < First; ++i)
        records.append(makeRecord(QStringLiteral("Person.%1").arg(i, 3, 10, QLatin1Char('0')), DefaultZone));
    const ModifyRecordsResult saved = m_service->modifyRecords(saveRequest(records));
    ASSERT_TRUE(saved.error.isNull()) << text(saved.error);
    ASSERT_EQ(saved.savedRecords.size(), First);
    QHash<QString, QString> tags;
    for (const Record &record : saved.savedRecords)
        tags.insert(record.recordID().recordName(), record.recordChangeTag());
    EXPECT_EQ(tags.size(), First);
    EXPECT_EQ(QSet<QString>(tags.cbegin(), tags.cend()).size(), First);

    // The second request changes every other saved record with its tag, tries one with a stale tag, and adds
    // new ones: the stale one alone fails (the default zone takes the rest).
    QList<Record> second;
    for (int i = 0; i < First; i += 2) {
        Record change = saved.savedRecords[i];
        change.setValue(QStringLiteral("lastName"), QStringLiteral("Changed %1").arg(i));
        second.append(change);
    }
    Record stale = saved.savedRecords[1];
    stale.setRecordChangeTag(QStringLiteral("stale"));
    second.append(stale);
    for (int i = First; i < 300; ++i)
        second.append(makeRecord(QStringLiteral("Person.%1").arg(i, 3, 10, QLatin1Char('0')), DefaultZone));
    const ModifyRecordsResult result = m_service->modifyRecords(saveRequest(second));
    ASSERT_TRUE(CloudErrors::isCloudError(result.error, PartialFailure)) << text(result.error);
    EXPECT_EQ(CloudErrors::recordErrors(result.error).size(), 1);
    EXPECT_EQ(itemCode(result.error, stale.recordID()), ServerRecordChanged);
    EXPECT_EQ(result.savedRecords.size(), second.size() - 1);

    // Zone changes give each of the 300 records once, with the values and tags the saves answered.
    m_service->setPageSize(128);
    QHash<QString, Record> latest;
    for (const Record &record : saved.savedRecords)
        latest.insert(record.recordID().recordName(), record);
    for (const Record &record : result.savedRecords)
        latest.insert(record.recordID().recordName(), record);
    ChangeToken token;
    QStringList names;
    for (int guard = 0; guard < 10; ++guard) {
        const ZoneChangesResult page = m_service->fetchZoneChanges(DatabaseScope::Private, DefaultZone, token);
        ASSERT_TRUE(page.error.isNull()) << text(page.error);
        for (const Record &record : page.changedRecords) {
            names.append(record.recordID().recordName());
            EXPECT_EQ(record, latest.value(record.recordID().recordName())) << record.toDebugString().toStdString();
        }
        token = page.changeToken;
        if (!page.moreComing)
            break;
    }
    EXPECT_EQ(names.size(), 300);
    EXPECT_EQ(QSet<QString>(names.cbegin(), names.cend()).size(), 300);
}

TEST_P(CloudConformance, TheRequestLimitAndTheQuotaAreKept)
{
    m_service->setRequestLimit(5);
    QList<Record> six;
    for (int i = 0; i < 6; ++i)
        six.append(makeRecord(QStringLiteral("Person.L%1").arg(i)));
    ModifyRecordsResult result = m_service->modifyRecords(saveRequest(six));
    EXPECT_TRUE(CloudErrors::isCloudError(result.error, LimitExceeded)) << text(result.error);
    EXPECT_TRUE(result.savedRecords.isEmpty());
    EXPECT_TRUE(m_service->modifyRecords(saveRequest(six.mid(0, 5))).error.isNull());
    m_service->setRequestLimit(400);

    QDError error;
    const qint64 used = m_service->usedBytes(&error);
    EXPECT_GT(used, 0);
    setQuota(*m_service, used + 10);
    Record big = makeRecord(QStringLiteral("Person.Big"));
    big.setValue(QStringLiteral("note"), QString(200, QLatin1Char('n')));
    result = m_service->modifyRecords(saveRequest({big}));
    EXPECT_TRUE(CloudErrors::isCloudError(result.error, QuotaExceeded)) << text(result.error);
    EXPECT_TRUE(CloudErrors::isCloudError(m_service->fetchRecords(DatabaseScope::Private, {big.recordID()}).error,
                                          PartialFailure));
    // Deleting makes room again.
    ASSERT_TRUE(m_service->modifyRecords(deleteRequest({six[0].recordID(), six[1].recordID()})).error.isNull());
    EXPECT_LT(m_service->usedBytes(&error), used);
    setQuota(*m_service, std::nullopt);
    EXPECT_TRUE(m_service->modifyRecords(saveRequest({big})).error.isNull());
}

TEST_P(CloudConformance, MissingAndUserDeletedZonesAreReported)
{
    const RecordZoneID missing(QStringLiteral("NoSuchZone"));
    ZonesResult zones = m_service->fetchZones(DatabaseScope::Private, {DataZone, missing});
    ASSERT_TRUE(CloudErrors::isCloudError(zones.error, PartialFailure));
    EXPECT_EQ(CloudErrors::zoneErrors(zones.error).value(missing).code(), ZoneNotFound);
    ASSERT_EQ(zones.zones.size(), 1);
    EXPECT_EQ(zones.zones.first().zoneID, DataZone);
    EXPECT_EQ(itemCode(m_service->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.Z"), missing)})).error,
                       RecordID(QStringLiteral("Person.Z"), missing)),
              ZoneNotFound);
    EXPECT_TRUE(CloudErrors::isCloudError(
        m_service->fetchZoneChanges(DatabaseScope::Private, missing, ChangeToken()).error, ZoneNotFound));

    const Record saved = saveOne(makeRecord(QStringLiteral("Person.U")));
    const ChangeToken before = m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, ChangeToken()).changeToken;
    QDError error;
    ASSERT_TRUE(m_service->deleteZoneByUser(DatabaseScope::Private, DataZone, &error)) << text(error);
    zones = m_service->fetchZones(DatabaseScope::Private, {DataZone});
    EXPECT_EQ(CloudErrors::zoneErrors(zones.error).value(DataZone).code(), UserDeletedZone);
    EXPECT_EQ(itemCode(m_service->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.V"))})).error,
                       RecordID(QStringLiteral("Person.V"), DataZone)),
              UserDeletedZone);
    EXPECT_TRUE(CloudErrors::isCloudError(m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, before).error,
                                          UserDeletedZone));
    EXPECT_FALSE(m_service->fetchZones(DatabaseScope::Private, {}).zones.contains(RecordZone{DataZone}));

    // Saving the zone again starts it empty; the old token is of the old zone.
    ASSERT_TRUE(m_service->saveZones(DatabaseScope::Private, {DataZone}).error.isNull());
    EXPECT_EQ(itemCode(m_service->fetchRecords(DatabaseScope::Private, {saved.recordID()}).error, saved.recordID()),
              UnknownItem);
    EXPECT_TRUE(CloudErrors::isCloudError(m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, before).error,
                                          ChangeTokenExpired));
    EXPECT_TRUE(m_service->fetchZones(DatabaseScope::Private, {}).zones.contains(RecordZone{DataZone}));
    // The default zone is always there and cannot be deleted.
    zones = m_service->deleteZones(DatabaseScope::Private, {DefaultZone});
    EXPECT_EQ(CloudErrors::zoneErrors(zones.error).value(DefaultZone).code(), InvalidArguments);
}

TEST_P(CloudConformance, QueriesPageWithACursor)
{
    QList<Record> records;
    for (int i = 0; i < 7; ++i)
        records.append(makeRecord(QStringLiteral("Log.%1").arg(i), DataZone, QStringLiteral("Log")));
    records.append(makeRecord(QStringLiteral("Person.Q")));
    ASSERT_TRUE(m_service->modifyRecords(saveRequest(records)).error.isNull());
    QueryRequest request;
    request.zoneID = DataZone;
    request.recordType = QStringLiteral("Log");
    request.resultsLimit = 3;
    QStringList names;
    int pages = 0;
    for (; pages < 10; ++pages) {
        const QueryResult page = m_service->query(request);
        ASSERT_TRUE(page.error.isNull()) << text(page.error);
        for (const Record &r : page.records)
            names.append(r.recordID().recordName());
        if (page.cursor.isNull())
            break;
        request.cursor = page.cursor;
    }
    EXPECT_EQ(pages + 1, 3);
    EXPECT_EQ(names, (QStringList{"Log.0", "Log.1", "Log.2", "Log.3", "Log.4", "Log.5", "Log.6"}));
    request.zoneID = RecordZoneID(QStringLiteral("Missing"));
    request.cursor = QueryCursor();
    EXPECT_TRUE(CloudErrors::isCloudError(m_service->query(request).error, ZoneNotFound));
}

TEST_P(CloudConformance, SubscriptionsAreKeptPerDatabase)
{
    Subscription zone{QStringLiteral("QDCloudKitPrivateZoneSubscription"), Subscription::Kind::RecordZone, DataZone,
                      QStringLiteral(""), true};
    Subscription database{QStringLiteral("QDCloudKitSharedZoneSubscription"), Subscription::Kind::Database, {},
                          QStringLiteral(""), true};
    ASSERT_TRUE(m_service->modifySubscriptions(DatabaseScope::Private, {zone}, {}).error.isNull());
    ASSERT_TRUE(m_service->modifySubscriptions(DatabaseScope::Shared, {database}, {}).error.isNull());
    EXPECT_EQ(m_service->fetchAllSubscriptions(DatabaseScope::Private).subscriptions, QList<Subscription>{zone});
    EXPECT_EQ(m_service->fetchAllSubscriptions(DatabaseScope::Shared).subscriptions, QList<Subscription>{database});
    ASSERT_TRUE(m_service->modifySubscriptions(DatabaseScope::Private, {}, {zone.subscriptionID}).error.isNull());
    EXPECT_TRUE(m_service->fetchAllSubscriptions(DatabaseScope::Private).subscriptions.isEmpty());
    Subscription noZone = zone;
    noZone.zoneID = RecordZoneID();
    EXPECT_TRUE(CloudErrors::isCloudError(m_service->modifySubscriptions(DatabaseScope::Private, {noZone}, {}).error,
                                          InvalidArguments));
}

TEST_P(CloudConformance, PushesReachOtherClientsOfTheAccountOnly)
{
    Subscription zone{QStringLiteral("zone-sub"), Subscription::Kind::RecordZone, DataZone, QStringLiteral(""), true};
    Subscription database{QStringLiteral("db-sub"), Subscription::Kind::Database, {}, QStringLiteral(""), true};
    ASSERT_TRUE(m_service->modifySubscriptions(DatabaseScope::Private, {zone, database}, {}).error.isNull());
    auto receiver = open();
    auto stranger = open(QStringLiteral("bob"));
    m_service->setPushesEnabled(true);
    receiver->setPushesEnabled(true);
    stranger->setPushesEnabled(true);
    QSignalSpy own(m_service.get(), &CloudService::notificationReceived);
    QSignalSpy received(receiver.get(), &CloudService::notificationReceived);
    QSignalSpy foreign(stranger.get(), &CloudService::notificationReceived);

    saveOne(makeRecord(QStringLiteral("Person.P")));
    ASSERT_TRUE(received.wait(5000));
    QTest::qWait(300);
    ASSERT_EQ(received.size(), 2);
    QSet<QString> ids;
    for (const QList<QVariant> &args : std::as_const(received)) {
        const auto notification = args.first().value<CloudNotification>();
        ids.insert(notification.subscriptionID);
        EXPECT_EQ(notification.zoneID, DataZone);
        EXPECT_EQ(notification.notificationType, notification.subscriptionID == QStringLiteral("db-sub")
                                                     ? CloudNotification::Type::Database
                                                     : CloudNotification::Type::RecordZone);
    }
    EXPECT_EQ(ids, (QSet<QString>{QStringLiteral("zone-sub"), QStringLiteral("db-sub")}));
    EXPECT_TRUE(own.isEmpty());
    EXPECT_TRUE(foreign.isEmpty());
}

TEST_P(CloudConformance, ALongLivedOperationKeepsItsResultForAnotherClient)
{
    ModifyRecordsRequest request = saveRequest({makeRecord(QStringLiteral("Person.LL"))});
    request.configuration.longLived = true;
    QString persistedID;
    request.persisted = [&](const QString &id) { persistedID = id; };
    const ModifyRecordsResult result = m_service->modifyRecords(request);
    ASSERT_TRUE(result.error.isNull()) << text(result.error);
    ASSERT_FALSE(result.operationID.isEmpty());
    EXPECT_EQ(persistedID, result.operationID);

    auto later = open();
    QDError error;
    EXPECT_EQ(later->longLivedOperationIDs(&error), QStringList{result.operationID});
    const LongLivedOperation kept = later->longLivedOperation(result.operationID, &error);
    ASSERT_TRUE(error.isNull()) << text(error);
    EXPECT_EQ(kept.state, LongLivedOperation::State::Finished);
    EXPECT_EQ(kept.kind, LongLivedOperation::Kind::ModifyRecords);
    ASSERT_EQ(kept.modifyResult.savedRecords.size(), 1);
    EXPECT_EQ(kept.modifyResult.savedRecords.first().recordChangeTag(), result.savedRecords.first().recordChangeTag());
    EXPECT_EQ(kept.modifyRequest.recordsToSave.size(), 1);
    // Running it again delivers the kept result; it does not save twice.
    const ModifyRecordsResult again = later->resumeModifyRecords(result.operationID);
    EXPECT_TRUE(again.error.isNull());
    EXPECT_EQ(again.savedRecords.first().recordChangeTag(), result.savedRecords.first().recordChangeTag());
    ASSERT_TRUE(later->removeLongLivedOperation(result.operationID, &error));
    EXPECT_TRUE(later->longLivedOperationIDs(&error).isEmpty());
    later->longLivedOperation(result.operationID, &error);
    EXPECT_TRUE(CloudErrors::isCloudError(error, UnknownItem));

    // A long-lived query too.
    QueryRequest query;
    query.zoneID = DataZone;
    query.recordType = QStringLiteral("Person");
    query.configuration.longLived = true;
    const QueryResult first = m_service->query(query);
    ASSERT_TRUE(first.error.isNull());
    const QueryResult resumed = later->resumeQuery(first.operationID);
    ASSERT_TRUE(resumed.error.isNull()) << text(resumed.error);
    EXPECT_EQ(resumed.records.size(), 1);
}

TEST_P(CloudConformance, ThePublicDatabaseIsReadByAllAndChangedByItsMaker)
{
    auto bob = open(QStringLiteral("bob"));
    Record membership(QStringLiteral("MembershipRecord"), RecordID(QStringLiteral("Membership.1")));
    membership.setValue(QStringLiteral("team"), QStringLiteral("T"));
    ModifyRecordsRequest request = saveRequest({membership}, SavePolicy::ChangedKeys);
    request.database = DatabaseScope::Public;
    const ModifyRecordsResult saved = m_service->modifyRecords(request);
    ASSERT_TRUE(saved.error.isNull()) << text(saved.error);
    const FetchRecordsResult seen = bob->fetchRecords(DatabaseScope::Public, {membership.recordID()});
    ASSERT_EQ(seen.records.size(), 1);
    EXPECT_EQ(seen.records.first().value(QStringLiteral("team")).toString(), QStringLiteral("T"));
    Record takeover = seen.records.first();
    takeover.setValue(QStringLiteral("team"), QStringLiteral("B"));
    request.recordsToSave = {takeover};
    const ModifyRecordsResult refused = bob->modifyRecords(request);
    EXPECT_EQ(itemCode(refused.error, takeover.recordID()), PermissionFailure) << text(refused.error);
    ModifyRecordsRequest removal = deleteRequest({membership.recordID()});
    removal.database = DatabaseScope::Public;
    EXPECT_EQ(itemCode(bob->modifyRecords(removal).error, membership.recordID()), PermissionFailure);
    // Private data stays private.
    saveOne(makeRecord(QStringLiteral("Person.Private")));
    EXPECT_EQ(itemCode(bob->fetchRecords(DatabaseScope::Private, {RecordID(QStringLiteral("Person.Private"), DataZone)}).error,
                       RecordID(QStringLiteral("Person.Private"), DataZone)),
              ZoneNotFound);
}

TEST_P(CloudConformance, TheUserRecordIsTheSameForEveryClientOfTheAccount)
{
    QDError error;
    const RecordID user = m_service->currentUserRecordID(&error);
    ASSERT_TRUE(error.isNull()) << text(error);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^_[0-9a-f]{32}$")).match(user.recordName()).hasMatch())
        << user.recordName().toStdString();
    EXPECT_EQ(open()->currentUserRecordID(&error), user);
    EXPECT_NE(open(QStringLiteral("bob"))->currentUserRecordID(&error), user);
    EXPECT_EQ(m_service->accountStatus(&error), AccountStatus::Available);
}

INSTANTIATE_TEST_SUITE_P(Backings, CloudConformance, ::testing::Values(Backing::SQLite, Backing::PostgreSQL),
                         backingName);

} // namespace
} // namespace quendel::test
