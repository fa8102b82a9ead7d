#pragma once

#include "platform/cloud/Record.h"
#include "platform/cloud/RecordID.h"
#include "platform/cloud/RecordZoneID.h"

#include "platform/core/QDError.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>

namespace platform::cloud {

// The identifier of the one container the application keeps its data in.
inline const QString DefaultContainerIdentifier = QStringLiteral("K4TQ8WZ2MD.com.quendel.icloud");
// The zone every database has and nobody can delete; its requests are not atomic.
inline const QString DefaultZoneName = QStringLiteral("_defaultZone");
// The record type of the account's user records.
inline const QString UserRecordType = QStringLiteral("Users");
// Desired-key names that stand for system fields rather than field values.
inline const QString RecordNameKey = QStringLiteral("recordName");
inline const QString RecordChangeTagKey = QStringLiteral("recordChangeTag");

enum class DatabaseScope : int {
    Public = 1,
    Private = 2,
    Shared = 3,
};

// How a save treats the record the server already holds.
enum class SavePolicy : int {
    IfServerRecordUnchanged = 0, // the save must carry the server's change tag
    ChangedKeys = 1,             // the record's changed keys are written over the server's record
    AllKeys = 2,                 // the record replaces the server's record
};

// Quality-of-service values an operation can ask for; Default leaves the choice to whoever runs it.
enum class QualityOfService : int {
    Default = -1,
    Utility = 17,
    Background = 9,
    UserInitiated = 25,
    UserInteractive = 33,
};

enum class AccountStatus : int {
    CouldNotDetermine = 0,
    Available = 1,
    Restricted = 2,
    NoAccount = 3,
};

// Settings that group and tune one operation: the group is named by a label and shown in diagnostics only.
struct OperationConfiguration
{
    QString groupName;
    QualityOfService qualityOfService = QualityOfService::Default;
    bool longLived = false;
};

struct RecordZone
{
    RecordZoneID zoneID;
    // Custom zones take a request's records all or none; the default zone takes them one by one.
    bool isAtomic() const { return zoneID.zoneName() != DefaultZoneName; }
    bool operator==(const RecordZone &other) const { return zoneID == other.zoneID; }
};

// Where a zone's changes were last read up to. Opaque to callers: keep the bytes, hand them back.
class ChangeToken
{
public:
    ChangeToken() = default;
    explicit ChangeToken(QByteArray data) : m_data(std::move(data)) {}
    bool isNull() const { return m_data.isEmpty(); }
    const QByteArray &data() const { return m_data; }
    bool operator==(const ChangeToken &other) const { return m_data == other.m_data; }

private:
    QByteArray m_data;
};

// Where a query goes on; opaque like a change token.
class QueryCursor
{
public:
    QueryCursor() = default;
    explicit QueryCursor(QByteArray data) : m_data(std::move(data)) {}
    bool isNull() const { return m_data.isEmpty(); }
    const QByteArray &data() const { return m_data; }

private:
    QByteArray m_data;
};

struct Subscription
{
    enum class Kind : int {
        RecordZone = 1, // changes in one zone
        Database = 2,   // changes in any zone of the database
    };
    QString subscriptionID;
    Kind kind = Kind::RecordZone;
    RecordZoneID zoneID; // for RecordZone only
    // Notification information: a silent push carries no alert, only "content available".
    QString alertBody;
    bool shouldSendContentAvailable = true;

    bool operator==(const Subscription &other) const
    {
        return subscriptionID == other.subscriptionID && kind == other.kind && zoneID == other.zoneID &&
               alertBody == other.alertBody && shouldSendContentAvailable == other.shouldSendContentAvailable;
    }
};

// A push about changes another client made.
struct CloudNotification
{
    enum class Type : int {
        Query = 1,
        RecordZone = 2,
        ReadNotification = 3,
        Database = 4,
    };
    Type notificationType = Type::RecordZone;
    QString subscriptionID;
    DatabaseScope database = DatabaseScope::Private;
    RecordZoneID zoneID;
};

struct DeletedRecord
{
    RecordID recordID;
    QString recordType;
    bool operator==(const DeletedRecord &other) const
    {
        return recordID == other.recordID && recordType == other.recordType;
    }
};

struct ModifyRecordsRequest
{
    DatabaseScope database = DatabaseScope::Private;
    QList<Record> recordsToSave;
    QList<RecordID> recordIDsToDelete;
    SavePolicy savePolicy = SavePolicy::IfServerRecordUnchanged;
    OperationConfiguration configuration;
    // With a long-lived configuration: the identifier the operation is kept under (made when empty), and
    // what is told once the service keeps it, before it runs.
    QString operationID;
    std::function<void(const QString &operationID)> persisted;
};

struct ModifyRecordsResult
{
    QList<Record> savedRecords;   // as the server now holds them, with their new change tags
    QList<RecordID> deletedRecordIDs;
    platform::core::QDError error; // null, a whole-request error, or a partial failure with per-item errors
    QString operationID;           // the long-lived operation's identifier, when it was one
};

struct ZoneChangesResult
{
    QList<Record> changedRecords;
    QList<DeletedRecord> deletedRecords;
    ChangeToken changeToken; // hand back to continue after these changes
    bool moreComing = false;
    platform::core::QDError error;
};

// Every record of one type in one zone, by record name, a page at a time.
struct QueryRequest
{
    DatabaseScope database = DatabaseScope::Private;
    RecordZoneID zoneID;
    QString recordType;
    QStringList desiredKeys; // empty: every field
    QueryCursor cursor;      // null: from the start
    int resultsLimit = 0;    // 0: the service's page size
    OperationConfiguration configuration;
    QString operationID;
};

struct QueryResult
{
    QList<Record> records;
    QueryCursor cursor; // null once the last page was delivered
    platform::core::QDError error;
    QString operationID;
};

struct FetchRecordsResult
{
    QList<Record> records;         // the records found, in the order asked for
    platform::core::QDError error; // partial failure with unknown item (11) for those missing
};

struct ZonesResult
{
    QList<RecordZone> zones;
    QList<RecordZoneID> deletedZoneIDs;
    platform::core::QDError error;
};

struct SubscriptionsResult
{
    QList<Subscription> subscriptions;
    QStringList deletedSubscriptionIDs;
    platform::core::QDError error;
};

// A long-lived operation as the service keeps it: it outlives the client that started it, and its result
// stays until a client removes it.
struct LongLivedOperation
{
    enum class Kind : int {
        ModifyRecords = 1,
        Query = 2,
    };
    enum class State : int {
        Pending = 0,   // persisted, no client runs it (the one that did is gone)
        Executing = 1, // a client holds a live lease on it
        Finished = 2,  // its result is kept
    };
    QString operationID;
    Kind kind = Kind::ModifyRecords;
    State state = State::Pending;
    QDateTime creationDate;
    ModifyRecordsRequest modifyRequest; // for ModifyRecords
    QueryRequest queryRequest;          // for Query
    ModifyRecordsResult modifyResult;   // once finished
    QueryResult queryResult;            // once finished
};

QString databaseScopeName(DatabaseScope scope);

} // namespace platform::cloud

Q_DECLARE_METATYPE(platform::cloud::CloudNotification)
Q_DECLARE_METATYPE(platform::cloud::ChangeToken)
