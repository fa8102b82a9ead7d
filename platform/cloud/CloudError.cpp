#include "platform/cloud/CloudError.h"

namespace platform::cloud::CloudErrors {

using platform::core::QDError;

QString codeName(qint64 code)
{
    switch (code) {
    case InternalError: return QStringLiteral("internal error");
    case PartialFailure: return QStringLiteral("partial failure");
    case NetworkUnavailable: return QStringLiteral("network unavailable");
    case NetworkFailure: return QStringLiteral("network failure");
    case BadContainer: return QStringLiteral("bad container");
    case ServiceUnavailable: return QStringLiteral("service unavailable");
    case RequestRateLimited: return QStringLiteral("request rate limited");
    case MissingEntitlement: return QStringLiteral("missing entitlement");
    case NotAuthenticated: return QStringLiteral("not authenticated");
    case PermissionFailure: return QStringLiteral("permission failure");
    case UnknownItem: return QStringLiteral("unknown item");
    case InvalidArguments: return QStringLiteral("invalid arguments");
    case ServerRecordChanged: return QStringLiteral("server record changed");
    case ServerRejectedRequest: return QStringLiteral("server rejected request");
    case AssetFileNotFound: return QStringLiteral("asset file not found");
    case AssetFileModified: return QStringLiteral("asset file modified");
    case IncompatibleVersion: return QStringLiteral("incompatible version");
    case ConstraintViolation: return QStringLiteral("constraint violation");
    case OperationCancelled: return QStringLiteral("operation cancelled");
    case ChangeTokenExpired: return QStringLiteral("change token expired");
    case BatchRequestFailed: return QStringLiteral("batch request failed");
    case ZoneBusy: return QStringLiteral("zone busy");
    case BadDatabase: return QStringLiteral("bad database");
    case QuotaExceeded: return QStringLiteral("quota exceeded");
    case ZoneNotFound: return QStringLiteral("zone not found");
    case LimitExceeded: return QStringLiteral("limit exceeded");
    case UserDeletedZone: return QStringLiteral("user deleted zone");
    case ReferenceViolation: return QStringLiteral("reference violation");
    default: return QStringLiteral("error %1").arg(code);
    }
}

QDError make(qint64 code, const QString &description)
{
    return QDError::withDescription(CloudErrorDomain, code, description.isEmpty() ? codeName(code) : description);
}

QDError withRetryAfter(qint64 code, double seconds, const QString &description)
{
    QDError error = make(code, description);
    error.setUserInfoValue(CloudErrorKeys::RetryAfter, seconds);
    return error;
}

QDError partial(const RecordErrors &items)
{
    QDError error = make(PartialFailure);
    error.setUserInfoValue(CloudErrorKeys::PartialErrors, QVariant::fromValue(items));
    return error;
}

QDError partialZones(const ZoneErrors &items)
{
    QDError error = make(PartialFailure);
    error.setUserInfoValue(CloudErrorKeys::PartialZoneErrors, QVariant::fromValue(items));
    return error;
}

QDError serverRecordChanged(const Record &serverRecord, const Record &clientRecord)
{
    QDError error = make(ServerRecordChanged);
    if (!serverRecord.isNull())
        error.setUserInfoValue(CloudErrorKeys::ServerRecord, QVariant::fromValue(serverRecord));
    if (!clientRecord.isNull())
        error.setUserInfoValue(CloudErrorKeys::ClientRecord, QVariant::fromValue(clientRecord));
    // The service keeps no history, so it never knows the common ancestor of the two versions.
    return error;
}

bool isCloudError(const QDError &error, qint64 code)
{
    return !error.isNull() && error.domain() == CloudErrorDomain && error.code() == code;
}

std::optional<double> retryAfter(const QDError &error)
{
    const QVariant value = error.userInfo().value(CloudErrorKeys::RetryAfter);
    if (!value.isValid())
        return std::nullopt;
    return value.toDouble();
}

RecordErrors recordErrors(const QDError &error)
{
    return error.userInfo().value(CloudErrorKeys::PartialErrors).value<RecordErrors>();
}

ZoneErrors zoneErrors(const QDError &error)
{
    return error.userInfo().value(CloudErrorKeys::PartialZoneErrors).value<ZoneErrors>();
}

Record serverRecord(const QDError &error)
{
    return error.userInfo().value(CloudErrorKeys::ServerRecord).value<Record>();
}

Record clientRecord(const QDError &error)
{
    return error.userInfo().value(CloudErrorKeys::ClientRecord).value<Record>();
}

Record ancestorRecord(const QDError &error)
{
    return error.userInfo().value(CloudErrorKeys::AncestorRecord).value<Record>();
}

} // namespace platform::cloud::CloudErrors
