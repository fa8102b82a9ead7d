#include "platform/cloud/FaultInjector.h"

#include "platform/cloud/CloudError.h"

#include <QCryptographicHash>
#include <QThread>
#include <QUuid>

namespace platform::cloud {

using platform::core::QDError;
using platform::core::setError;

namespace {

QString zoneNameOf(const RecordID &id)
{
    return id.hasZone() ? id.zoneID().zoneName() : DefaultZoneName;
}

} // namespace

FaultInjectingCloudService::FaultInjectingCloudService(std::shared_ptr<CloudService> inner, QObject *parent)
    : CloudService(parent), m_inner(std::move(inner))
{
    connect(m_inner.get(), &CloudService::notificationReceived, this, [this](const CloudNotification &notification) {
        bool drop = false;
        {
            QMutexLocker lock(&m_mutex);
            drop = m_dropPushes || m_unreachableCode != 0 || m_signedOut;
        }
        if (!drop)
            emit notificationReceived(notification);
    });
    connect(m_inner.get(), &CloudService::reachabilityChanged, this, [this](bool) { emit reachabilityChanged(isReachable()); });
    connect(m_inner.get(), &CloudService::accountChanged, this, &CloudService::accountChanged);
}

void FaultInjectingCloudService::addRule(const FaultRule &rule)
{
    QMutexLocker lock(&m_mutex);
    m_rules.append(ArmedRule{rule});
}

void FaultInjectingCloudService::clearRules()
{
    QMutexLocker lock(&m_mutex);
    m_rules.clear();
}

int FaultInjectingCloudService::callCount(CloudOperationKind kind) const
{
    QMutexLocker lock(&m_mutex);
    return m_calls.value(int(kind));
}

void FaultInjectingCloudService::setSignedOut(bool signedOut)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_signedOut == signedOut)
            return;
        m_signedOut = signedOut;
    }
    emit accountChanged();
}

void FaultInjectingCloudService::setOtherAccount(bool other)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_otherAccount == other)
            return;
        m_otherAccount = other;
    }
    emit accountChanged();
}

void FaultInjectingCloudService::setZoneDeletedByUser(const QString &zoneName, bool deleted)
{
    QMutexLocker lock(&m_mutex);
    if (deleted)
        m_userDeletedZones.insert(zoneName);
    else
        m_userDeletedZones.remove(zoneName);
}

void FaultInjectingCloudService::setTokensExpired(bool expired)
{
    QMutexLocker lock(&m_mutex);
    m_tokensExpired = expired;
}

void FaultInjectingCloudService::setQuotaExceeded(bool exceeded)
{
    QMutexLocker lock(&m_mutex);
    m_quotaExceeded = exceeded;
}

void FaultInjectingCloudService::setUnreachable(bool unreachable, qint64 code)
{
    const bool before = isReachable();
    {
        QMutexLocker lock(&m_mutex);
        m_unreachableCode = unreachable ? code : 0;
    }
    if (before != isReachable())
        emit reachabilityChanged(isReachable());
}

void FaultInjectingCloudService::setDropPushes(bool drop)
{
    QMutexLocker lock(&m_mutex);
    m_dropPushes = drop;
}

bool FaultInjectingCloudService::isReachable() const
{
    QMutexLocker lock(&m_mutex);
    return m_unreachableCode == 0 && m_inner->isReachable();
}

std::optional<FaultRule> FaultInjectingCloudService::fire(const Call &call)
{
    std::optional<FaultRule> chosen;
    {
        QMutexLocker lock(&m_mutex);
        m_calls[int(call.kind)] += 1;
        m_calls[int(CloudOperationKind::Any)] += 1;
        for (ArmedRule &armed : m_rules) {
            const FaultRule &rule = armed.rule;
            const bool matches = (rule.operation == CloudOperationKind::Any || rule.operation == call.kind) &&
                                 (!rule.database || rule.database == call.database) &&
                                 (rule.zoneName.isEmpty() || call.zones.contains(rule.zoneName)) &&
                                 (rule.recordName.isEmpty() || call.names.contains(rule.recordName)) &&
                                 (rule.recordType.isEmpty() || call.types.contains(rule.recordType));
            if (!matches)
                continue;
            armed.matched += 1;
            if (!chosen && armed.matched >= rule.nth && (rule.count < 0 || armed.fired < rule.count)) {
                armed.fired += 1;
                chosen = rule;
            }
        }
    }
    if (chosen && chosen->delayMilliseconds > 0)
        QThread::msleep(ulong(chosen->delayMilliseconds));
    return chosen;
}

QDError FaultInjectingCloudService::switchError(const Call &call) const
{
    QMutexLocker lock(&m_mutex);
    if (m_unreachableCode != 0)
        return CloudErrors::make(m_unreachableCode);
    if (m_signedOut)
        return CloudErrors::make(NotAuthenticated);
    if (call.kind != CloudOperationKind::FetchZones && call.kind != CloudOperationKind::ModifyZones) {
        for (const QString &zone : call.zones) {
            if (m_userDeletedZones.contains(zone))
                return CloudErrors::make(UserDeletedZone);
        }
    }
    return QDError();
}

QDError FaultInjectingCloudService::ruleError(const FaultRule &rule, qint64 fallback) const
{
    const qint64 code = rule.code != 0 ? rule.code : fallback;
    if (code == 0)
        return QDError();
    return rule.retryAfter ? CloudErrors::withRetryAfter(code, *rule.retryAfter) : CloudErrors::make(code);
}

template <typename Result, typename Inner>
Result FaultInjectingCloudService::guardedCall(const Call &call, Inner inner, bool answerCanBeLost,
                                               const std::function<QDError()> &before, Result early)
{
    if (early.error = switchError(call); !early.error.isNull())
        return early;
    if (before) {
        if (early.error = before(); !early.error.isNull())
            return early;
    }
    const auto rule = fire(call);
    if (answerCanBeLost && rule && rule->lostAnswer) {
        inner();
        early.error = ruleError(*rule, NetworkFailure);
        return early;
    }
    if (rule && (early.error = ruleError(*rule), !early.error.isNull()))
        return early;
    return inner();
}

template <typename Result, typename Inner>
Result FaultInjectingCloudService::guardedResume(const QString &operationID, Inner inner)
{
    const Call call{CloudOperationKind::LongLivedOperations, {}, {}, {}, {}};
    Result early;
    early.operationID = operationID;
    return guardedCall<Result>(
        call,
        [&] {
            {
                QMutexLocker lock(&m_mutex);
                if (m_held.contains(operationID)) {
                    Result busy = early;
                    busy.error =
                        CloudErrors::withRetryAfter(ZoneBusy, 60, QStringLiteral("Another client runs this operation."));
                    return busy;
                }
            }
            return inner();
        },
        false, {}, early);
}

AccountStatus FaultInjectingCloudService::accountStatus(QDError *error)
{
    const Call call{CloudOperationKind::AccountStatus, {}, {}, {}, {}};
    {
        QMutexLocker lock(&m_mutex);
        if (m_unreachableCode != 0) {
            setError(error, CloudErrors::make(m_unreachableCode));
            return AccountStatus::CouldNotDetermine;
        }
        if (m_signedOut) {
            if (error)
                *error = QDError();
            return AccountStatus::NoAccount;
        }
    }
    if (const auto rule = fire(call); rule && rule->code != 0) {
        setError(error, ruleError(*rule));
        return AccountStatus::CouldNotDetermine;
    }
    return m_inner->accountStatus(error);
}

RecordID FaultInjectingCloudService::currentUserRecordID(QDError *error)
{
    const Call call{CloudOperationKind::FetchUserRecord, {}, {}, {}, {}};
    if (const QDError e = switchError(call); !e.isNull()) {
        setError(error, e);
        return RecordID();
    }
    if (const auto rule = fire(call); rule && rule->code != 0) {
        setError(error, ruleError(*rule));
        return RecordID();
    }
    const RecordID real = m_inner->currentUserRecordID(error);
    QMutexLocker lock(&m_mutex);
    if (!m_otherAccount || real.isNull())
        return real;
    const QByteArray other = QCryptographicHash::hash(real.recordName().toUtf8() + "/other", QCryptographicHash::Md5);
    return RecordID(QLatin1Char('_') + QString::fromLatin1(other.toHex()), real.zoneID());
}

ZonesResult FaultInjectingCloudService::saveZones(DatabaseScope database, const QList<RecordZoneID> &zones)
{
    Call call{CloudOperationKind::ModifyZones, database, {}, {}, {}};
    for (const RecordZoneID &zone : zones)
        call.zones.insert(zone.zoneName());
    return guardedCall<ZonesResult>(
        call,
        [&] {
            {
                // Saving a zone makes it anew, as the service does for a zone the user deleted.
                QMutexLocker lock(&m_mutex);
                for (const RecordZoneID &zone : zones)
                    m_userDeletedZones.remove(zone.zoneName());
            }
            return m_inner->saveZones(database, zones);
        },
        true);
}

ZonesResult FaultInjectingCloudService::deleteZones(DatabaseScope database, const QList<RecordZoneID> &zones)
{
    Call call{CloudOperationKind::ModifyZones, database, {}, {}, {}};
    for (const RecordZoneID &zone : zones)
        call.zones.insert(zone.zoneName());
    return guardedCall<ZonesResult>(call, [&] { return m_inner->deleteZones(database, zones); }, true);
}

ZonesResult FaultInjectingCloudService::fetchZones(DatabaseScope database, const QList<RecordZoneID> &zones)
{
    Call call{CloudOperationKind::FetchZones, database, {}, {}, {}};
    for (const RecordZoneID &zone : zones)
        call.zones.insert(zone.zoneName());
    ZonesResult result;
    if (result.error = switchError(call); !result.error.isNull())
        return result;
    if (const auto rule = fire(call); rule && (result.error = ruleError(*rule), !result.error.isNull()))
        return result;
    QSet<QString> userDeleted;
    {
        QMutexLocker lock(&m_mutex);
        userDeleted = m_userDeletedZones;
    }
    result = m_inner->fetchZones(database, zones);
    if (userDeleted.isEmpty() || (!result.error.isNull() && !CloudErrors::isCloudError(result.error, PartialFailure)))
        return result;
    ZoneErrors failures = CloudErrors::zoneErrors(result.error);
    QList<RecordZone> kept;
    for (const RecordZone &zone : std::as_const(result.zones)) {
        if (userDeleted.contains(zone.zoneID.zoneName())) {
            // Asked for by name: a zone the user deleted is reported; in a list of all zones it is just absent.
            if (!zones.isEmpty())
                failures.insert(zone.zoneID, CloudErrors::make(UserDeletedZone));
        } else {
            kept.append(zone);
        }
    }
    result.zones = kept;
    if (!failures.isEmpty())
        result.error = CloudErrors::partialZones(failures);
    return result;
}

ModifyRecordsResult FaultInjectingCloudService::modifyRecords(const ModifyRecordsRequest &request)
{
    Call call{CloudOperationKind::ModifyRecords, request.database, {}, {}, {}};
    for (const Record &record : request.recordsToSave) {
        call.zones.insert(zoneNameOf(record.recordID()));
        call.names.insert(record.recordID().recordName());
        call.types.insert(record.recordType());
    }
    for (const RecordID &id : request.recordIDsToDelete) {
        call.zones.insert(zoneNameOf(id));
        call.names.insert(id.recordName());
    }
    ModifyRecordsResult result;
    result.operationID = request.operationID;
    if (result.error = switchError(call); !result.error.isNull())
        return result;
    {
        QMutexLocker lock(&m_mutex);
        if (m_quotaExceeded && !request.recordsToSave.isEmpty()) {
            result.error = CloudErrors::make(QuotaExceeded);
            return result;
        }
    }
    const auto rule = fire(call);
    if (!rule)
        return m_inner->modifyRecords(request);

    if (rule->holdLongLived && request.configuration.longLived) {
        LongLivedOperation held;
        held.operationID =
            request.operationID.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : request.operationID;
        held.kind = LongLivedOperation::Kind::ModifyRecords;
        held.state = LongLivedOperation::State::Executing;
        held.creationDate = QDateTime::currentDateTimeUtc();
        held.modifyRequest = request;
        held.modifyRequest.operationID = held.operationID;
        held.modifyRequest.persisted = nullptr;
        {
            QMutexLocker lock(&m_mutex);
            m_held.insert(held.operationID, held);
        }
        if (request.persisted)
            request.persisted(held.operationID);
        result.operationID = held.operationID;
        result.error = ruleError(*rule, NetworkFailure);
        return result;
    }
    if (rule->lostAnswer) {
        result = m_inner->modifyRecords(request);
        result.savedRecords.clear();
        result.deletedRecordIDs.clear();
        result.error = ruleError(*rule, NetworkFailure);
        return result;
    }
    if (rule->itemCodes.isEmpty()) {
        result.error = ruleError(*rule);
        if (result.error.isNull())
            return m_inner->modifyRecords(request);
        return result;
    }

    // Per-item faults: the named items fail; in a custom zone their neighbours fail with them (22); the rest
    // reach the service.
    RecordErrors failures;
    QSet<QString> failedZones;
    const auto itemError = [&](const RecordID &id, const Record &client) {
        const qint64 code = rule->itemCodes.value(id.recordName());
        Record server;
        if (rule->withServerRecord) {
            const FetchRecordsResult fetched = m_inner->fetchRecords(request.database, {id});
            if (!fetched.records.isEmpty())
                server = fetched.records.first();
        }
        QDError error = code == ServerRecordChanged ? CloudErrors::serverRecordChanged(server, client)
                                                    : CloudErrors::make(code);
        if (code != ServerRecordChanged && !server.isNull())
            error.setUserInfoValue(CloudErrorKeys::ServerRecord, QVariant::fromValue(server));
        failures.insert(id, error);
        if (zoneNameOf(id) != DefaultZoneName)
            failedZones.insert(zoneNameOf(id));
    };
    for (const Record &record : request.recordsToSave) {
        if (rule->itemCodes.contains(record.recordID().recordName()))
            itemError(record.recordID(), record);
    }
    for (const RecordID &id : request.recordIDsToDelete) {
        if (rule->itemCodes.contains(id.recordName()))
            itemError(id, Record());
    }
    ModifyRecordsRequest rest = request;
    rest.recordsToSave.clear();
    rest.recordIDsToDelete.clear();
    for (const Record &record : request.recordsToSave) {
        if (failures.contains(record.recordID()))
            continue;
        if (failedZones.contains(zoneNameOf(record.recordID())))
            failures.insert(record.recordID(), CloudErrors::make(BatchRequestFailed));
        else
            rest.recordsToSave.append(record);
    }
    for (const RecordID &id : request.recordIDsToDelete) {
        if (failures.contains(id))
            continue;
        if (failedZones.contains(zoneNameOf(id)))
            failures.insert(id, CloudErrors::make(BatchRequestFailed));
        else
            rest.recordIDsToDelete.append(id);
    }
    if (!rest.recordsToSave.isEmpty() || !rest.recordIDsToDelete.isEmpty()) {
        result = m_inner->modifyRecords(rest);
        if (!result.error.isNull() && !CloudErrors::isCloudError(result.error, PartialFailure))
            return result;
        const RecordErrors innerFailures = CloudErrors::recordErrors(result.error);
        for (auto it = innerFailures.constBegin(); it != innerFailures.constEnd(); ++it)
            failures.insert(it.key(), it.value());
    }
    result.error = CloudErrors::partial(failures);
    return result;
}

FetchRecordsResult FaultInjectingCloudService::fetchRecords(DatabaseScope database, const QList<RecordID> &recordIDs,
                                                            const QStringList &desiredKeys)
{
    Call call{CloudOperationKind::FetchRecords, database, {}, {}, {}};
    for (const RecordID &id : recordIDs) {
        call.zones.insert(zoneNameOf(id));
        call.names.insert(id.recordName());
    }
    FetchRecordsResult result;
    if (result.error = switchError(call); !result.error.isNull())
        return result;
    const auto rule = fire(call);
    if (!rule)
        return m_inner->fetchRecords(database, recordIDs, desiredKeys);
    if (rule->itemCodes.isEmpty()) {
        result.error = ruleError(*rule);
        return result.error.isNull() ? m_inner->fetchRecords(database, recordIDs, desiredKeys) : result;
    }
    RecordErrors failures;
    QList<RecordID> rest;
    for (const RecordID &id : recordIDs) {
        if (rule->itemCodes.contains(id.recordName()))
            failures.insert(id, CloudErrors::make(rule->itemCodes.value(id.recordName())));
        else
            rest.append(id);
    }
    if (!rest.isEmpty()) {
        result = m_inner->fetchRecords(database, rest, desiredKeys);
        if (!result.error.isNull() && !CloudErrors::isCloudError(result.error, PartialFailure))
            return result;
        const RecordErrors innerFailures = CloudErrors::recordErrors(result.error);
        for (auto it = innerFailures.constBegin(); it != innerFailures.constEnd(); ++it)
            failures.insert(it.key(), it.value());
    }
    result.error = CloudErrors::partial(failures);
    return result;
}

ZoneChangesResult FaultInjectingCloudService::fetchZoneChanges(DatabaseScope database, const RecordZoneID &zone,
                                                               const ChangeToken &previous,
                                                               const QStringList &desiredKeys, int resultsLimit)
{
    const Call call{CloudOperationKind::FetchZoneChanges, database,
                    {zone.isNull() ? DefaultZoneName : zone.zoneName()}, {}, {}};
    return guardedCall<ZoneChangesResult>(
        call, [&] { return m_inner->fetchZoneChanges(database, zone, previous, desiredKeys, resultsLimit); }, true,
        [&] {
            QMutexLocker lock(&m_mutex);
            return m_tokensExpired && !previous.isNull() ? CloudErrors::make(ChangeTokenExpired) : QDError();
        });
}

QueryResult FaultInjectingCloudService::query(const QueryRequest &request)
{
    const Call call{CloudOperationKind::Query, request.database,
                    {request.zoneID.isNull() ? DefaultZoneName : request.zoneID.zoneName()}, {}, {request.recordType}};
    QueryResult result;
    result.operationID = request.operationID;
    if (result.error = switchError(call); !result.error.isNull())
        return result;
    const auto rule = fire(call);
    if (rule && rule->holdLongLived && request.configuration.longLived) {
        LongLivedOperation held;
        held.operationID =
            request.operationID.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : request.operationID;
        held.kind = LongLivedOperation::Kind::Query;
        held.state = LongLivedOperation::State::Executing;
        held.creationDate = QDateTime::currentDateTimeUtc();
        held.queryRequest = request;
        held.queryRequest.operationID = held.operationID;
        QMutexLocker lock(&m_mutex);
        m_held.insert(held.operationID, held);
        result.operationID = held.operationID;
        result.error = ruleError(*rule, NetworkFailure);
        return result;
    }
    if (rule && rule->lostAnswer) {
        result = m_inner->query(request);
        result.records.clear();
        result.error = ruleError(*rule, NetworkFailure);
        return result;
    }
    if (rule && (result.error = ruleError(*rule), !result.error.isNull()))
        return result;
    return m_inner->query(request);
}

SubscriptionsResult FaultInjectingCloudService::fetchAllSubscriptions(DatabaseScope database)
{
    const Call call{CloudOperationKind::FetchSubscriptions, database, {}, {}, {}};
    return guardedCall<SubscriptionsResult>(call, [&] { return m_inner->fetchAllSubscriptions(database); }, false);
}

SubscriptionsResult FaultInjectingCloudService::modifySubscriptions(DatabaseScope database,
                                                                    const QList<Subscription> &save,
                                                                    const QStringList &deleteIDs)
{
    Call call{CloudOperationKind::ModifySubscriptions, database, {}, {}, {}};
    for (const Subscription &subscription : save)
        call.zones.insert(subscription.zoneID.zoneName());
    return guardedCall<SubscriptionsResult>(
        call, [&] { return m_inner->modifySubscriptions(database, save, deleteIDs); }, true);
}

QStringList FaultInjectingCloudService::longLivedOperationIDs(QDError *error)
{
    const Call call{CloudOperationKind::LongLivedOperations, {}, {}, {}, {}};
    if (const QDError e = switchError(call); !e.isNull()) {
        setError(error, e);
        return {};
    }
    if (const auto rule = fire(call); rule && rule->code != 0) {
        setError(error, ruleError(*rule));
        return {};
    }
    QStringList ids = m_inner->longLivedOperationIDs(error);
    QMutexLocker lock(&m_mutex);
    for (auto it = m_held.constBegin(); it != m_held.constEnd(); ++it) {
        if (!ids.contains(it.key()))
            ids.append(it.key());
    }
    return ids;
}

LongLivedOperation FaultInjectingCloudService::longLivedOperation(const QString &operationID, QDError *error)
{
    const Call call{CloudOperationKind::LongLivedOperations, {}, {}, {}, {}};
    if (const QDError e = switchError(call); !e.isNull()) {
        setError(error, e);
        return {};
    }
    if (const auto rule = fire(call); rule && rule->code != 0) {
        setError(error, ruleError(*rule));
        return {};
    }
    {
        QMutexLocker lock(&m_mutex);
        if (m_held.contains(operationID)) {
            if (error)
                *error = QDError();
            return m_held.value(operationID);
        }
    }
    return m_inner->longLivedOperation(operationID, error);
}

ModifyRecordsResult FaultInjectingCloudService::resumeModifyRecords(const QString &operationID)
{
    return guardedResume<ModifyRecordsResult>(operationID, [&] { return m_inner->resumeModifyRecords(operationID); });
}

QueryResult FaultInjectingCloudService::resumeQuery(const QString &operationID)
{
    return guardedResume<QueryResult>(operationID, [&] { return m_inner->resumeQuery(operationID); });
}

bool FaultInjectingCloudService::removeLongLivedOperation(const QString &operationID, QDError *error)
{
    const Call call{CloudOperationKind::LongLivedOperations, {}, {}, {}, {}};
    if (const QDError e = switchError(call); !e.isNull())
        return setError(error, e);
    {
        QMutexLocker lock(&m_mutex);
        if (m_held.remove(operationID) > 0)
            return true;
    }
    return m_inner->removeLongLivedOperation(operationID, error);
}

} // namespace platform::cloud
