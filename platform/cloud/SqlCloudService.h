#pragma once

#include "platform/cloud/CloudService.h"
#include "platform/cloud/SqlConnection.h"

#include <QMutex>
#include <QPointer>

#include <atomic>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace platform::cloud {

// The cloud database service over SQL: every rule runs inside this client's own transaction, so the
// database is the only server. The same code serves the embedded SQLite file and PostgreSQL.
class SqlCloudService final : public CloudService
{
    Q_OBJECT
public:
    struct Options
    {
        // Where fetched assets are copied (default: the cache folder's "QuendelCloudAssets").
        QString assetCacheFolder;
        // How long a long-lived operation counts as executing after its client last took it.
        int leaseSeconds = 60;
        // How often the embedded backing looks for pushes.
        int pushPollMilliseconds = 100;
    };

    // `account` names the account in the shared file (default: the login name).
    static std::shared_ptr<SqlCloudService> openSqlite(const QString &path, const QString &account,
                                                       const Options &options, platform::core::QDError *error);
    // The role the URL logs in as is the account. The server must have been prepared (PostgresCloudAdmin).
    static std::shared_ptr<SqlCloudService> openPostgres(const QString &conninfo, const Options &options,
                                                         platform::core::QDError *error);
    ~SqlCloudService() override;

    SqlConnection::Dialect dialect() const { return m_dialect; }
    QString accountName() const { return m_account; }
    // Tells this client's pushes from others'.
    QString clientID() const { return m_clientID; }

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

    void setRequestLimit(int items) override { m_requestLimit = items; }
    int requestLimit() const override { return m_requestLimit; }
    void setPageSize(int items) override { m_pageSize = items; }
    int pageSize() const override { return m_pageSize; }
    void setPushesEnabled(bool enabled) override;

    // What the account's owner does from elsewhere: removes a zone with everything in it, so clients that
    // still use it learn that the user deleted it (28) until they save the zone again.
    bool deleteZoneByUser(DatabaseScope database, const RecordZoneID &zone, platform::core::QDError *error);
    // Forgets the deletions of a zone kept so far; change tokens from before answer 21.
    bool compactZoneChanges(DatabaseScope database, const RecordZoneID &zone, platform::core::QDError *error);
    // The account's storage limit in bytes (none: no limit). On PostgreSQL only the server's administrator
    // may change it (PostgresCloudAdmin); an account's own try is refused.
    bool setQuota(std::optional<qint64> bytes, platform::core::QDError *error);
    qint64 usedBytes(platform::core::QDError *error);

    // The raw connection, for the benchmark's plain statements in the same database.
    SqlConnection &connectionForTesting() { return *m_conn; }

private:
    struct ZoneRow;
    struct PendingAsset;
    SqlCloudService() = default;
    bool initialise(std::unique_ptr<SqlConnection> connection, std::unique_ptr<SqlConnection> pushConnection,
                    const Options &options, platform::core::QDError *error);

    QString rowAccount(DatabaseScope database) const;
    RecordZoneID effectiveZone(const RecordID &id) const;
    std::optional<ZoneRow> findZone(DatabaseScope database, const RecordZoneID &zone, bool lock,
                                    platform::core::QDError *error);
    std::optional<ZoneRow> ensureZone(DatabaseScope database, const RecordZoneID &zone, platform::core::QDError *error);
    bool removeZoneRecords(qint64 zoneID, DatabaseScope database, platform::core::QDError *error);
    bool addUsedBytes(qint64 delta, platform::core::QDError *error);
    bool queuePushes(DatabaseScope database, const RecordZoneID &zone, platform::core::QDError *error);

    template <typename Body> bool inWrite(Body body, platform::core::QDError *error);
    template <typename Body> bool inRead(Body body, platform::core::QDError *error);

    ModifyRecordsResult runModify(const ModifyRecordsRequest &request, const QString &operationID);
    QueryResult runQuery(const QueryRequest &request, const QString &operationID);
    bool persistOperation(const QString &operationID, LongLivedOperation::Kind kind, const QByteArray &request,
                          platform::core::QDError *error);
    bool storeOperationResult(const QString &operationID, const QByteArray &result, platform::core::QDError *error);
    // Takes the lease of a kept operation; answers its row (kind, state, request, result, lease).
    std::optional<SqlRow> leaseOperation(const QString &operationID, platform::core::QDError *error);
    // Resumes a leased operation of `kind`: a finished one answers its kept result, any other runs its kept
    // request again under the same identifier.
    template <typename Result, typename Request>
    Result resumeOperation(const QString &operationID, LongLivedOperation::Kind kind, const QString &wrongKindText,
                           std::optional<Request> (*decodeRequest)(const QByteArray &, platform::core::QDError *),
                           std::optional<Result> (*decodeResult)(const QByteArray &, platform::core::QDError *),
                           Result (SqlCloudService::*run)(const Request &, const QString &));

    QCborValue encodeAsset(const Asset &asset, QList<PendingAsset> &pending, platform::core::QDError *error);
    Asset decodeAsset(const QCborValue &stored, DatabaseScope database, platform::core::QDError *error);
    Record recordFromRow(const SqlRow &row, const RecordZoneID &zone, DatabaseScope database,
                         const QStringList &desiredKeys, platform::core::QDError *error);

    void checkPushes();
    void readPushes();
    void startWatching();
    void stopWatching();
    void setReachable(bool reachable);

    std::unique_ptr<SqlConnection> m_conn;
    std::unique_ptr<SqlConnection> m_pushConn;
    SqlConnection::Dialect m_dialect = SqlConnection::Dialect::SQLite;
    mutable QMutex m_mutex;
    QString m_account;
    QString m_clientID;
    Options m_options;
    std::atomic<int> m_requestLimit{400};
    std::atomic<int> m_pageSize{400};
    std::atomic<bool> m_reachable{true};
    qint64 m_lastPushID = 0;
    bool m_watchedBefore = false;
    bool m_pushesWanted = false;
    QPointer<QTimer> m_pushTimer;
    QPointer<QSocketNotifier> m_pushNotifier;
};

} // namespace platform::cloud
