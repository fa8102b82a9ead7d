#pragma once

#include "platform/cloud/CloudTypes.h"

#include <QObject>

namespace platform::cloud {

// The cloud database as the sync engine sees it: one container of one account, with its private, shared
// and public databases. Every call is synchronous and may be made from any thread (the engine runs them
// on its own operation queues); results carry the service's numbered errors (CloudError.h).
//
// Pushes, reachability and account changes arrive as signals on the thread the service object lives in.
class CloudService : public QObject
{
    Q_OBJECT
public:
    explicit CloudService(QObject *parent = nullptr) : QObject(parent) {}
    ~CloudService() override = default;

    virtual QString containerIdentifier() const { return DefaultContainerIdentifier; }

    // Account.
    virtual AccountStatus accountStatus(platform::core::QDError *error) = 0;
    // The account's user record name ("_" + 32 hex digits), the same on every machine of the account.
    virtual RecordID currentUserRecordID(platform::core::QDError *error) = 0;
    // Whether the service can be reached now; reachabilityChanged tells of a change.
    virtual bool isReachable() const = 0;

    // Zones.
    virtual ZonesResult saveZones(DatabaseScope database, const QList<RecordZoneID> &zones) = 0;
    virtual ZonesResult deleteZones(DatabaseScope database, const QList<RecordZoneID> &zones) = 0;
    // The given zones, or every zone when `zones` is empty. Missing: per-item zone not found (26); deleted by
    // the user: per-item 28.
    virtual ZonesResult fetchZones(DatabaseScope database, const QList<RecordZoneID> &zones) = 0;

    // Records.
    virtual ModifyRecordsResult modifyRecords(const ModifyRecordsRequest &request) = 0;
    virtual FetchRecordsResult fetchRecords(DatabaseScope database, const QList<RecordID> &recordIDs,
                                            const QStringList &desiredKeys = {}) = 0;
    // The changes of one zone after `previous` (null: from the start), at most `resultsLimit` (0: the page
    // size) records and deletions; more-coming says another call is needed.
    virtual ZoneChangesResult fetchZoneChanges(DatabaseScope database, const RecordZoneID &zone,
                                               const ChangeToken &previous, const QStringList &desiredKeys = {},
                                               int resultsLimit = 0) = 0;
    virtual QueryResult query(const QueryRequest &request) = 0;

    // Subscriptions.
    virtual SubscriptionsResult fetchAllSubscriptions(DatabaseScope database) = 0;
    virtual SubscriptionsResult modifySubscriptions(DatabaseScope database, const QList<Subscription> &save,
                                                    const QStringList &deleteIDs) = 0;

    // Long-lived operations: a modify or query made with a long-lived configuration is kept under its
    // operation identifier, with its result, until removeLongLivedOperation.
    virtual QStringList longLivedOperationIDs(platform::core::QDError *error) = 0;
    // Null operation identifier and unknown item (11) when there is none.
    virtual LongLivedOperation longLivedOperation(const QString &operationID, platform::core::QDError *error) = 0;
    // Runs a kept operation that no client runs any more, or answers the kept result of a finished one. One
    // that another client still runs answers zone busy (23) with a retry-after value.
    virtual ModifyRecordsResult resumeModifyRecords(const QString &operationID) = 0;
    virtual QueryResult resumeQuery(const QString &operationID) = 0;
    virtual bool removeLongLivedOperation(const QString &operationID, platform::core::QDError *error) = 0;

    // Settings of this client (defaults: a request limit of 400 items, pages of 400 changes).
    virtual void setRequestLimit(int items) = 0;
    virtual int requestLimit() const = 0;
    virtual void setPageSize(int items) = 0;
    virtual int pageSize() const = 0;

    // Starts or stops watching for pushes; a push made by this very client is never delivered to it.
    virtual void setPushesEnabled(bool enabled) = 0;

signals:
    void notificationReceived(const platform::cloud::CloudNotification &notification);
    void reachabilityChanged(bool reachable);
    void accountChanged();
};

} // namespace platform::cloud
