#pragma once

#include "platform/cloud/Record.h"
#include "platform/cloud/RecordID.h"
#include "platform/cloud/RecordZoneID.h"

#include "platform/core/QDError.h"

#include <QHash>
#include <QMetaType>

#include <optional>

namespace platform::cloud {

// The domain of the errors the cloud database service answers with. The sync engine branches on these
// numbers, so they never change.
inline const QString CloudErrorDomain = QStringLiteral("QuendelCloudServiceErrorDomain");

enum CloudErrorCode : qint64 {
    InternalError = 1,
    PartialFailure = 2, // some items failed; the details hold one error per item
    NetworkUnavailable = 3,
    NetworkFailure = 4,
    BadContainer = 5,
    ServiceUnavailable = 6,
    RequestRateLimited = 7,
    MissingEntitlement = 8,
    NotAuthenticated = 9,
    PermissionFailure = 10,
    UnknownItem = 11,
    InvalidArguments = 12,
    ServerRecordChanged = 14,
    ServerRejectedRequest = 15,
    AssetFileNotFound = 16,
    AssetFileModified = 17,
    IncompatibleVersion = 18,
    ConstraintViolation = 19,
    OperationCancelled = 20,
    ChangeTokenExpired = 21,
    BatchRequestFailed = 22,
    ZoneBusy = 23,
    BadDatabase = 24,
    QuotaExceeded = 25,
    ZoneNotFound = 26,
    LimitExceeded = 27,
    UserDeletedZone = 28,
    ReferenceViolation = 31,
};

// Per-item errors of a partial failure, by the record or zone they belong to.
using RecordErrors = QHash<RecordID, platform::core::QDError>;
using ZoneErrors = QHash<RecordZoneID, platform::core::QDError>;

// Keys of an error's details.
struct CloudErrorKeys
{
    static inline const QString RetryAfter = QStringLiteral("RetryAfter");            // double, seconds
    static inline const QString PartialErrors = QStringLiteral("PartialErrorsByItemID"); // RecordErrors
    static inline const QString PartialZoneErrors = QStringLiteral("PartialErrorsByZoneID"); // ZoneErrors
    static inline const QString ServerRecord = QStringLiteral("ServerRecord");        // Record
    static inline const QString ClientRecord = QStringLiteral("ClientRecord");        // Record
    static inline const QString AncestorRecord = QStringLiteral("AncestorRecord");    // Record
};

// Builders and readers of the service's errors, so every caller spells the details the same way.
namespace CloudErrors {
platform::core::QDError make(qint64 code, const QString &description = {});
platform::core::QDError withRetryAfter(qint64 code, double seconds, const QString &description = {});
platform::core::QDError partial(const RecordErrors &items);
platform::core::QDError partialZones(const ZoneErrors &items);
// The conflict of one record: the server's copy, and the client's record it was based on.
platform::core::QDError serverRecordChanged(const Record &serverRecord, const Record &clientRecord);

bool isCloudError(const platform::core::QDError &error, qint64 code);
std::optional<double> retryAfter(const platform::core::QDError &error);
RecordErrors recordErrors(const platform::core::QDError &error);
ZoneErrors zoneErrors(const platform::core::QDError &error);
// Null when the detail is absent.
Record serverRecord(const platform::core::QDError &error);
Record clientRecord(const platform::core::QDError &error);
Record ancestorRecord(const platform::core::QDError &error);
// The service's own short text for a code ("zone not found"...), for descriptions and log lines.
QString codeName(qint64 code);
} // namespace CloudErrors

} // namespace platform::cloud

Q_DECLARE_METATYPE(platform::cloud::RecordErrors)
Q_DECLARE_METATYPE(platform::cloud::ZoneErrors)
