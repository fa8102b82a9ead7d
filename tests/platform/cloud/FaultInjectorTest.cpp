#include "CloudBackingTest.h"

#include <QElapsedTimer>
#include <QSignalSpy>

using namespace platform::cloud;
using platform::core::QDError;

namespace quendel::test {
namespace {

const RecordZoneID DataZone(QStringLiteral("QDCloudKitPrivateZoneName"));

Record makeRecord(const QString &name, const RecordZoneID &zone = DataZone)
{
    Record record(QStringLiteral("Person"), RecordID(name, zone));
    record.setValue(QStringLiteral("firstName"), name);
    return record;
}

ModifyRecordsRequest saveRequest(const QList<Record> &records)
{
    ModifyRecordsRequest request;
    request.recordsToSave = records;
    return request;
}

std::string text(const QDError &error) { return error.toString().toStdString(); }

class FaultInjector : public CloudBackingTest
{
protected:
    void SetUp() override
    {
        CloudBackingTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_service = openInjected();
        ASSERT_TRUE(m_service);
        ASSERT_TRUE(m_service->saveZones(DatabaseScope::Private, {DataZone}).error.isNull());
    }

    // Every kind of call once, answering its whole-call error.
    QDError call(CloudOperationKind kind)
    {
        QDError error;
        switch (kind) {
        case CloudOperationKind::ModifyRecords:
            return m_service->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.Any"))})).error;
        case CloudOperationKind::FetchRecords:
            return m_service->fetchRecords(DatabaseScope::Private, {RecordID(QStringLiteral("Person.Any"), DataZone)}).error;
        case CloudOperationKind::FetchZoneChanges:
            return m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, ChangeToken()).error;
        case CloudOperationKind::FetchZones:
            return m_service->fetchZones(DatabaseScope::Private, {DataZone}).error;
        case CloudOperationKind::ModifyZones:
            return m_service->saveZones(DatabaseScope::Private, {DataZone}).error;
        case CloudOperationKind::Query: {
            QueryRequest request;
            request.zoneID = DataZone;
            request.recordType = QStringLiteral("Person");
            return m_service->query(request).error;
        }
        case CloudOperationKind::FetchSubscriptions:
            return m_service->fetchAllSubscriptions(DatabaseScope::Private).error;
        case CloudOperationKind::ModifySubscriptions:
            return m_service->modifySubscriptions(DatabaseScope::Private, {}, {QStringLiteral("x")}).error;
        case CloudOperationKind::FetchUserRecord:
            m_service->currentUserRecordID(&error);
            return error;
        case CloudOperationKind::AccountStatus:
            m_service->accountStatus(&error);
            return error;
        case CloudOperationKind::LongLivedOperations:
            m_service->longLivedOperationIDs(&error);
            return error;
        case CloudOperationKind::Any:
            break;
        }
        return error;
    }

    std::shared_ptr<FaultInjectingCloudService> m_service;
};

TEST_P(FaultInjector, EveryCallCanAnswerAnyCodeWithARetryAfterValue)
{
    struct Case
    {
        CloudOperationKind kind;
        qint64 code;
        std::optional<double> retryAfter;
    };
    // The codes the sync engine branches on, spread over the kinds of call that meet them.
    const QList<Case> cases{
        {CloudOperationKind::ModifyRecords, NetworkFailure, 30.0},
        {CloudOperationKind::ModifyRecords, ServiceUnavailable, 5.0},
        {CloudOperationKind::ModifyRecords, RequestRateLimited, 12.0},
        {CloudOperationKind::ModifyRecords, ZoneBusy, 1.5},
        {CloudOperationKind::ModifyRecords, InternalError, std::nullopt},
        {CloudOperationKind::ModifyRecords, ServerRejectedRequest, std::nullopt},
        {CloudOperationKind::FetchZoneChanges, NetworkUnavailable, std::nullopt},
        {CloudOperationKind::FetchZoneChanges, ChangeTokenExpired, std::nullopt},
        {CloudOperationKind::FetchZoneChanges, ZoneNotFound, std::nullopt},
        {CloudOperationKind::FetchZones, UserDeletedZone, std::nullopt},
        {CloudOperationKind::FetchRecords, InternalError, std::nullopt},
        {CloudOperationKind::Query, QuotaExceeded, std::nullopt},
        {CloudOperationKind::ModifyZones, PermissionFailure, std::nullopt},
        {CloudOperationKind::FetchSubscriptions, MissingEntitlement, std::nullopt},
        {CloudOperationKind::ModifySubscriptions, BadDatabase, std::nullopt},
        {CloudOperationKind::FetchUserRecord, NotAuthenticated, std::nullopt},
        {CloudOperationKind::AccountStatus, IncompatibleVersion, std::nullopt},
        {CloudOperationKind::LongLivedOperations, BadContainer, std::nullopt},
    };
    for (const Case &c : cases) {
        FaultRule rule;
        rule.operation = c.kind;
        rule.code = c.code;
        rule.retryAfter = c.retryAfter;
        m_service->addRule(rule);
        const QDError error = call(c.kind);
        EXPECT_TRUE(CloudErrors::isCloudError(error, c.code)) << int(c.kind) << " " << c.code << " " << text(error);
        EXPECT_EQ(CloudErrors::retryAfter(error), c.retryAfter) << c.code;
        // Fired once: the same call now passes.
        EXPECT_FALSE(CloudErrors::isCloudError(call(c.kind), c.code)) << int(c.kind) << " " << c.code;
        m_service->clearRules();
    }
}

TEST_P(FaultInjector, RulesMatchTheNthCallOfTheirZoneRecordOrType)
{
    FaultRule rule;
    rule.operation = CloudOperationKind::ModifyRecords;
    rule.recordType = QStringLiteral("Person");
    rule.zoneName = DataZone.zoneName();
    rule.nth = 2;
    rule.count = 2;
    rule.code = NetworkFailure;
    m_service->addRule(rule);
    QList<qint64> codes;
    for (int i = 0; i < 5; ++i)
        codes.append(m_service->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.N%1").arg(i))})).error.code());
    EXPECT_EQ(codes, (QList<qint64>{0, NetworkFailure, NetworkFailure, 0, 0}));
    // Another zone does not match.
    m_service->clearRules();
    rule.nth = 1;
    rule.count = -1;
    m_service->addRule(rule);
    EXPECT_TRUE(m_service->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.D"), RecordZoneID(DefaultZoneName))}))
                    .error.isNull());
    EXPECT_EQ(m_service->callCount(CloudOperationKind::ModifyRecords), 6);
}

TEST_P(FaultInjector, PerItemFaultsFailTheirNeighboursInACustomZone)
{
    const Record existing =
        m_service->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.A"))})).savedRecords.value(0);
    ASSERT_FALSE(existing.isNull());
    FaultRule rule;
    rule.operation = CloudOperationKind::ModifyRecords;
    rule.itemCodes = {{QStringLiteral("Person.A"), ServerRecordChanged}, {QStringLiteral("Person.R"), ReferenceViolation}};
    m_service->addRule(rule);
    Record a = existing;
    a.setValue(QStringLiteral("note"), QStringLiteral("mine"));
    const Record b = makeRecord(QStringLiteral("Person.B"));
    const Record r = makeRecord(QStringLiteral("Person.R"));
    const Record d = makeRecord(QStringLiteral("Person.InDefault"), RecordZoneID(DefaultZoneName));
    const ModifyRecordsResult result = m_service->modifyRecords(saveRequest({a, b, r, d}));
    ASSERT_TRUE(CloudErrors::isCloudError(result.error, PartialFailure)) << text(result.error);
    const RecordErrors items = CloudErrors::recordErrors(result.error);
    EXPECT_EQ(items.value(a.recordID()).code(), ServerRecordChanged);
    EXPECT_EQ(CloudErrors::serverRecord(items.value(a.recordID())).recordChangeTag(), existing.recordChangeTag());
    EXPECT_EQ(CloudErrors::clientRecord(items.value(a.recordID())).value(QStringLiteral("note")).toString(),
              QStringLiteral("mine"));
    EXPECT_EQ(items.value(r.recordID()).code(), ReferenceViolation);
    EXPECT_EQ(items.value(b.recordID()).code(), BatchRequestFailed);
    EXPECT_TRUE(CloudErrors::serverRecord(items.value(b.recordID())).isNull());
    EXPECT_FALSE(items.contains(d.recordID()));
    ASSERT_EQ(result.savedRecords.size(), 1);
    EXPECT_EQ(result.savedRecords.first().recordID(), d.recordID());

    // 22 with the server's record, and a 14 without one.
    m_service->clearRules();
    rule.itemCodes = {{QStringLiteral("Person.A"), BatchRequestFailed}};
    m_service->addRule(rule);
    EXPECT_FALSE(CloudErrors::serverRecord(
                     CloudErrors::recordErrors(m_service->modifyRecords(saveRequest({a})).error).value(a.recordID()))
                     .isNull());
    m_service->clearRules();
    rule.itemCodes = {{QStringLiteral("Person.A"), ServerRecordChanged}};
    rule.withServerRecord = false;
    m_service->addRule(rule);
    const QDError bare = CloudErrors::recordErrors(m_service->modifyRecords(saveRequest({a})).error).value(a.recordID());
    EXPECT_EQ(bare.code(), ServerRecordChanged);
    EXPECT_TRUE(CloudErrors::serverRecord(bare).isNull());
}

TEST_P(FaultInjector, ALostAnswerLeavesTheSaveOnTheServer)
{
    FaultRule rule;
    rule.operation = CloudOperationKind::ModifyRecords;
    rule.lostAnswer = true;
    m_service->addRule(rule);
    const Record record = makeRecord(QStringLiteral("Person.Lost"));
    const ModifyRecordsResult lost = m_service->modifyRecords(saveRequest({record}));
    EXPECT_TRUE(CloudErrors::isCloudError(lost.error, NetworkFailure));
    EXPECT_TRUE(lost.savedRecords.isEmpty());
    // Sent again without a tag, the insert meets its own earlier copy.
    const ModifyRecordsResult replay = m_service->modifyRecords(saveRequest({record}));
    const QDError item = CloudErrors::recordErrors(replay.error).value(record.recordID());
    EXPECT_EQ(item.code(), ServerRecordChanged);
    EXPECT_EQ(CloudErrors::serverRecord(item).value(QStringLiteral("firstName")).toString(), QStringLiteral("Person.Lost"));
}

TEST_P(FaultInjector, SwitchesTurnWholeConditionsOn)
{
    const Record saved = m_service->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.S"))})).savedRecords.value(0);
    const ChangeToken token = m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, ChangeToken()).changeToken;
    QDError error;

    QSignalSpy account(m_service.get(), &CloudService::accountChanged);
    m_service->setSignedOut(true);
    EXPECT_EQ(account.size(), 1);
    EXPECT_EQ(m_service->accountStatus(&error), AccountStatus::NoAccount);
    EXPECT_TRUE(CloudErrors::isCloudError(call(CloudOperationKind::ModifyRecords), NotAuthenticated));
    EXPECT_TRUE(CloudErrors::isCloudError(call(CloudOperationKind::FetchZoneChanges), NotAuthenticated));
    m_service->setSignedOut(false);

    const RecordID user = m_service->currentUserRecordID(&error);
    m_service->setOtherAccount(true);
    const RecordID other = m_service->currentUserRecordID(&error);
    EXPECT_NE(other, user);
    EXPECT_EQ(other.recordName().size(), 33);
    m_service->setOtherAccount(false);
    EXPECT_EQ(m_service->currentUserRecordID(&error), user);

    m_service->setZoneDeletedByUser(DataZone.zoneName(), true);
    EXPECT_TRUE(CloudErrors::isCloudError(call(CloudOperationKind::ModifyRecords), UserDeletedZone));
    EXPECT_TRUE(CloudErrors::isCloudError(call(CloudOperationKind::FetchZoneChanges), UserDeletedZone));
    EXPECT_EQ(CloudErrors::zoneErrors(call(CloudOperationKind::FetchZones)).value(DataZone).code(), UserDeletedZone);
    m_service->saveZones(DatabaseScope::Private, {DataZone}); // saving the zone again clears it
    EXPECT_TRUE(call(CloudOperationKind::FetchZones).isNull());

    m_service->setTokensExpired(true);
    EXPECT_TRUE(CloudErrors::isCloudError(m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, token).error,
                                          ChangeTokenExpired));
    EXPECT_TRUE(m_service->fetchZoneChanges(DatabaseScope::Private, DataZone, ChangeToken()).error.isNull());
    m_service->setTokensExpired(false);

    m_service->setQuotaExceeded(true);
    EXPECT_TRUE(CloudErrors::isCloudError(call(CloudOperationKind::ModifyRecords), QuotaExceeded));
    m_service->setQuotaExceeded(false);

    m_service->setRequestLimit(1);
    EXPECT_TRUE(CloudErrors::isCloudError(
        m_service->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.1")), makeRecord(QStringLiteral("Person.2"))}))
            .error,
        LimitExceeded));
    m_service->setRequestLimit(400);

    QSignalSpy reachability(m_service.get(), &CloudService::reachabilityChanged);
    for (const qint64 code : {qint64(NetworkUnavailable), qint64(NetworkFailure)}) {
        m_service->setUnreachable(true, code);
        EXPECT_FALSE(m_service->isReachable());
        EXPECT_TRUE(CloudErrors::isCloudError(call(CloudOperationKind::FetchZoneChanges), code));
        EXPECT_TRUE(CloudErrors::isCloudError(call(CloudOperationKind::AccountStatus), code));
        m_service->setUnreachable(false);
        EXPECT_TRUE(m_service->isReachable());
    }
    EXPECT_EQ(reachability.size(), 4);
    EXPECT_FALSE(reachability.first().first().toBool());
    const FetchRecordsResult back = m_service->fetchRecords(DatabaseScope::Private, {saved.recordID()});
    EXPECT_TRUE(back.error.isNull()) << text(back.error);
}

TEST_P(FaultInjector, AHeldLongLivedOperationStaysExecuting)
{
    FaultRule rule;
    rule.operation = CloudOperationKind::ModifyRecords;
    rule.holdLongLived = true;
    m_service->addRule(rule);
    ModifyRecordsRequest request = saveRequest({makeRecord(QStringLiteral("Person.H"))});
    request.configuration.longLived = true;
    QString persisted;
    request.persisted = [&](const QString &id) { persisted = id; };
    const ModifyRecordsResult result = m_service->modifyRecords(request);
    EXPECT_TRUE(CloudErrors::isCloudError(result.error, NetworkFailure));
    ASSERT_FALSE(persisted.isEmpty());
    QDError error;
    EXPECT_TRUE(m_service->longLivedOperationIDs(&error).contains(persisted));
    EXPECT_EQ(m_service->longLivedOperation(persisted, &error).state, LongLivedOperation::State::Executing);
    const ModifyRecordsResult resumed = m_service->resumeModifyRecords(persisted);
    EXPECT_TRUE(CloudErrors::isCloudError(resumed.error, ZoneBusy));
    EXPECT_TRUE(CloudErrors::retryAfter(resumed.error).has_value());
    EXPECT_TRUE(m_service->removeLongLivedOperation(persisted, &error));
    EXPECT_FALSE(m_service->longLivedOperationIDs(&error).contains(persisted));
}

TEST_P(FaultInjector, ADelayHoldsTheAnswerAndDroppedPushesNeverArrive)
{
    FaultRule rule;
    rule.operation = CloudOperationKind::FetchZoneChanges;
    rule.delayMilliseconds = 250;
    m_service->addRule(rule);
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(call(CloudOperationKind::FetchZoneChanges).isNull());
    EXPECT_GE(timer.elapsed(), 240);

    Subscription zone{QStringLiteral("zone-sub"), Subscription::Kind::RecordZone, DataZone, QStringLiteral(""), true};
    ASSERT_TRUE(m_service->modifySubscriptions(DatabaseScope::Private, {zone}, {}).error.isNull());
    auto writer = open();
    m_service->setPushesEnabled(true);
    QSignalSpy pushes(m_service.get(), &CloudService::notificationReceived);
    m_service->setDropPushes(true);
    writer->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.Quiet"))}));
    EXPECT_FALSE(pushes.wait(600));
    m_service->setDropPushes(false);
    writer->modifyRecords(saveRequest({makeRecord(QStringLiteral("Person.Loud"))}));
    EXPECT_TRUE(pushes.wait(5000));
}

INSTANTIATE_TEST_SUITE_P(Backings, FaultInjector, ::testing::Values(Backing::SQLite, Backing::PostgreSQL), backingName);

} // namespace
} // namespace quendel::test
