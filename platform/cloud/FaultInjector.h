#pragma once

#include "platform/cloud/CloudError.h"
#include "platform/cloud/CloudService.h"

#include <QHash>
#include <QMutex>
#include <QSet>

#include <memory>
#include <functional>
#include <optional>

namespace platform::cloud {

// What a fault rule can match: one kind of call of the service.
enum class CloudOperationKind : int {
    Any = 0,
    AccountStatus,
    FetchUserRecord,
    ModifyZones,
    FetchZones,
    ModifyRecords,
    FetchRecords,
    FetchZoneChanges,
    Query,
    FetchSubscriptions,
    ModifySubscriptions,
    LongLivedOperations,
};

// One planned fault: which calls it matches and what they answer instead of (or after) the real service.
struct FaultRule
{
    // Matching; an empty or absent criterion matches anything.
    std::optional<DatabaseScope> database;
    CloudOperationKind operation = CloudOperationKind::Any;
    QString zoneName;
    QString recordName; // a request matches when any of its records has this name
    QString recordType;
    int nth = 1;    // the first matching call that fires (1 = the first)
    int count = 1;  // how many matching calls fire from there; -1 = every one

    // The answer.
    qint64 code = 0;                       // an error of the whole call (0: none)
    std::optional<double> retryAfter;      // seconds, with `code`
    QHash<QString, qint64> itemCodes;      // per record name: an error of that item only
    bool withServerRecord = true;          // item errors carry the server's copy when there is one
    int delayMilliseconds = 0;             // waits this long before answering
    // The call reaches the service and takes effect, but its answer is lost: `code` (default network
    // failure) is answered instead.
    bool lostAnswer = false;
    // A long-lived call is kept as executing (no client finishes it) and answers `code` (default network
    // failure), as if its client had gone.
    bool holdLongLived = false;
};

// Stands in front of either backing and answers with planned faults, so that every error the sync engine
// branches on can be reached from a test. Without rules or switches it passes every call through.
class FaultInjectingCloudService final : public CloudService
{
    Q_OBJECT
public:
    explicit FaultInjectingCloudService(std::shared_ptr<CloudService> inner, QObject *parent = nullptr);

    CloudService &inner() const { return *m_inner; }

    void addRule(const FaultRule &rule);
    void clearRules();
    // How many calls of a kind reached this object (faulted or not).
    int callCount(CloudOperationKind kind) const;

    // Switches.
    void setSignedOut(bool signedOut);                 // every call answers 9; account status: no account
    void setOtherAccount(bool other);                  // another user record; tells accountChanged
    void setZoneDeletedByUser(const QString &zoneName, bool deleted); // 28 for that zone
    void setTokensExpired(bool expired);               // a fetch of changes with a token answers 21
    void setQuotaExceeded(bool exceeded);              // saves answer 25
    // Every call answers `code` (3 network unavailable or 4 network failure) and reachability turns off.
    void setUnreachable(bool unreachable, qint64 code = NetworkUnavailable);
    void setDropPushes(bool drop);

    AccountStatus accountStatus(platform::core::QDError *error) override;
    RecordID currentUserRecordID(platform::core::QDError *error) override;
    bool isReachable() const override;

    ZonesResult saveZones(DatabaseScope database, const QList<RecordZoneID> &zones) override;
    ZonesResult deleteZones(DatabaseScope database, const QList<RecordZoneID> &zones) override;
    ZonesResult fetchZones(DatabaseScope database, const QList<RecordZoneID> &zones) override;

    ModifyRecordsResult modifyRecords(const ModifyRecordsRequest &request) override;
    FetchRecordsResult fetchRecords(DatabaseScope database, const QList<RecordID> &recordIDs,
                                    const QStringList &desiredKeys = {}) override;
    ZoneChangesResult fetchZoneChanges(DatabaseScope database, const RecordZoneID &zone, const ChangeToken &previous,
                                       const QStringList &desiredKeys = {}, int resultsLimit = 0) override;
    QueryResult query(const QueryRequest &request) override;

    SubscriptionsResult fetchAllSubscriptions(DatabaseScope database) override;
    SubscriptionsResult modifySubscriptions(DatabaseScope database, const QList<Subscription> &save,
                                            const QStringList &deleteIDs) override;

    QStringList longLivedOperationIDs(platform::core::QDError *error) override;
    LongLivedOperation longLivedOperation(const QString &operationID, platform::core::QDError *error) override;
    ModifyRecordsResult resumeModifyRecords(const QString &operationID) override;
    QueryResult resumeQuery(const QString &operationID) override;
    bool removeLongLivedOperation(const QString &operationID, platform::core::QDError *error) override;

    void setRequestLimit(int items) override { m_inner->setRequestLimit(items); }
    int requestLimit() const override { return m_inner->requestLimit(); }
    void setPageSize(int items) override { m_inner->setPageSize(items); }
    int pageSize() const override { return m_inner->pageSize(); }
    void setPushesEnabled(bool enabled) override { m_inner->setPushesEnabled(enabled); }

private:
    struct Call
    {
        CloudOperationKind kind;
        std::optional<DatabaseScope> database;
        QSet<QString> zones;
        QSet<QString> names;
        QSet<QString> types;
    };
    struct ArmedRule
    {
        FaultRule rule;
        int matched = 0;
        int fired = 0;
    };
    // The rule that fires for this call, if any (counts the call either way). Applies its delay.
    std::optional<FaultRule> fire(const Call &call);
    // The error every call answers under the current switches, if any.
    platform::core::QDError switchError(const Call &call) const;
    platform::core::QDError ruleError(const FaultRule &rule, qint64 fallback = 0) const;
    // The course most calls take: the switches' error, else the firing rule's error (with a lost answer the
    // call still reaches the service, and only its answer is lost), else the service's own answer.
    // `before` may answer an error of its own once the switches are passed; an early answer is `early` with
    // the error set.
    template <typename Result, typename Inner>
    Result guardedCall(const Call &call, Inner inner, bool answerCanBeLost,
                       const std::function<platform::core::QDError()> &before = {}, Result early = {});
    // A resume of a long-lived operation: refused while this injector holds it as executing elsewhere.
    template <typename Result, typename Inner> Result guardedResume(const QString &operationID, Inner inner);

    std::shared_ptr<CloudService> m_inner;
    mutable QMutex m_mutex;
    QList<ArmedRule> m_rules;
    QHash<int, int> m_calls;
    bool m_signedOut = false;
    bool m_otherAccount = false;
    QSet<QString> m_userDeletedZones;
    bool m_tokensExpired = false;
    bool m_quotaExceeded = false;
    qint64 m_unreachableCode = 0;
    bool m_dropPushes = false;
    QHash<QString, LongLivedOperation> m_held;
};

} // namespace platform::cloud
