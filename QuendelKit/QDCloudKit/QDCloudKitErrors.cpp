#include "QuendelKit/QDCloudKit/QDCloudKitErrors.h"

#include "QuendelKit/Infra/QDLog.h"

#include "platform/cloud/CloudError.h"

using platform::core::QDError;
namespace cloud = platform::cloud;

namespace {

bool isOneOf(qint64 code, std::initializer_list<qint64> codes)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

void logAlert(const QString &text)
{
    QDLogError(QStringLiteral("🚨🚨 %1 🚨🚨").arg(text));
}

} // namespace

QDError QDCloudKitErrors::processCloudKitError(const QDError &error)
{
    const qint64 code = error.code();
    logAlert(QStringLiteral("CKOperationBase error; code = %1, domain = %2").arg(code).arg(error.domain()));
    QVariantMap details = error.userInfo();
    const auto result = [&details](qint64 engineCode) {
        return QDError(QuendelCloudKitErrorDomain, engineCode, details);
    };

    if (code == cloud::NotAuthenticated) {
        details.insert(ShouldShowErrorKey, true);
        logAlert(QStringLiteral("CKOperationBase: CKErrorNotAuthenticated detected"));
        return result(NotAuthenticatedError);
    }
    if (isOneOf(code, {cloud::InternalError, cloud::MissingEntitlement, cloud::PermissionFailure,
                       cloud::InvalidArguments, cloud::ServerRejectedRequest, cloud::IncompatibleVersion,
                       cloud::ConstraintViolation, cloud::BadDatabase})) {
        details.insert(ShouldShowErrorKey, true);
        details.insert(ShouldSwitchOffKey, true);
        details.insert(RealErrorCodeKey, code);
        logAlert(QStringLiteral("CKOperationBase: CKErrorInternalError / entitlement - switch off CloudKit"));
        return result(UnrecoverableError);
    }
    if (isOneOf(code, {cloud::NetworkUnavailable, cloud::NetworkFailure, cloud::ServiceUnavailable, cloud::ZoneBusy})) {
        details.insert(ShouldSwitchOffKey, false);
        details.insert(RealErrorCodeKey, code);
        const QVariant retryAfter = error.userInfo().value(cloud::CloudErrorKeys::RetryAfter);
        if (retryAfter.isValid() && !retryAfter.isNull()) {
            details.insert(ShouldReplayOperationKey, true);
            details.insert(RetryAfterTimeIntervalKey, retryAfter);
        }
        details.insert(QDError::LocalizedDescriptionKey, NetworkErrorText);
        logAlert(QStringLiteral("CKOperationBase: CKErrorNetworkUnavailable / failure / busy - set to retry"));
        return result(NetworkError);
    }
    if (code == cloud::QuotaExceeded) {
        details.insert(ShouldShowErrorKey, true);
        details.insert(ShouldSwitchOffKey, false);
        details.insert(RealErrorCodeKey, code);
        logAlert(QStringLiteral("CKOperationBase: CKErrorQuotaExceeded / show error"));
        return result(QuotaExceededError);
    }
    if (isOneOf(code, {cloud::ChangeTokenExpired, cloud::ZoneNotFound, cloud::UserDeletedZone})) {
        details.insert(ShouldShowErrorKey, true);
        details.insert(ShouldSwitchOffKey, true);
        details.insert(RealErrorCodeKey, code);
        details.insert(QDError::LocalizedDescriptionKey, CloudDataDeletedText);
        logAlert(QStringLiteral("CKErrorChangeTokenExpired / ZoneNotFound or was deleted error"));
        return result(CloudDataDeletedError);
    }
    if (code == cloud::BatchRequestFailed)
        logAlert(QStringLiteral("CKErrorBatchRequestFailed"));
    else if (isOneOf(code, {cloud::UnknownItem, cloud::OperationCancelled}))
        logAlert(QStringLiteral("CKErrorUnknownItem"));
    return QDError();
}

QDError QDCloudKitErrors::processCloudKitError(const QDError &error, bool isAsset)
{
    if (!isAsset || error.code() != cloud::InternalError)
        return processCloudKitError(error);
    logAlert(QStringLiteral("QDCloudKitDownloadDatabaseOperation: InternalError with file download"));
    QVariantMap details = error.userInfo();
    details.insert(ShouldShowErrorKey, true);
    details.insert(ShouldSwitchOffKey, false);
    details.insert(RealErrorCodeKey, error.code());
    details.insert(QDError::LocalizedDescriptionKey, AssetDownloadText);
    return QDError(QuendelCloudKitErrorDomain, AssetDownloadError, details);
}

QDError QDCloudKitErrors::makeQDErrorWithError(const QDError &error, qint64 type)
{
    QVariantMap details = error.userInfo();
    if (type == NotAuthenticatedError) {
        details.insert(ShouldShowErrorKey, true);
        details.insert(ShouldSwitchOffKey, true);
        details.insert(RealErrorCodeKey, error ? error.code() : qint64(0));
        details.insert(QDError::LocalizedDescriptionKey, AccountChangedText);
    }
    return QDError(QuendelCloudKitErrorDomain, type, details);
}

bool QDCloudKitErrors::flag(const QDError &error, const QString &key)
{
    const QVariant value = error.userInfo().value(key);
    return value.isValid() && value.toBool();
}
