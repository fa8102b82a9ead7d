#include "QuendelKit/QDCloudKit/QDCloudKitErrors.h"

#include "platform/cloud/CloudError.h"

#include <gtest/gtest.h>

#include <optional>

using platform::core::QDError;
using E = QDCloudKitErrors;
namespace cloud = platform::cloud;

namespace {

// What a translated error must carry: its code, each flag (nullopt = absent) and its text.
struct Expected
{
    qint64 code;
    std::optional<bool> showError;
    std::optional<bool> switchOff;
    bool realCode;
    QString description; // null: the service's own text stays
};

std::optional<bool> flagValue(const QDError &error, const QString &key)
{
    const QVariant value = error.userInfo().value(key);
    return value.isValid() ? std::optional<bool>(value.toBool()) : std::nullopt;
}

const QString ServiceText = QStringLiteral("the service's own text");

} // namespace

TEST(CloudErrorTranslation, EveryServiceCodeByTheTable)
{
    const Expected notSignedIn{E::NotAuthenticatedError, true, std::nullopt, false, QString()};
    const Expected unrecoverable{E::UnrecoverableError, true, true, true, QString()};
    const Expected network{E::NetworkError, std::nullopt, false, true, E::NetworkErrorText};
    const Expected quota{E::QuotaExceededError, true, false, true, QString()};
    const Expected gone{E::CloudDataDeletedError, true, true, true, E::CloudDataDeletedText};
    const std::pair<qint64, std::optional<Expected>> table[] = {
        {cloud::InternalError, unrecoverable},
        {cloud::PartialFailure, std::nullopt},
        {cloud::NetworkUnavailable, network},
        {cloud::NetworkFailure, network},
        {cloud::BadContainer, std::nullopt},
        {cloud::ServiceUnavailable, network},
        {cloud::RequestRateLimited, std::nullopt},
        {cloud::MissingEntitlement, unrecoverable},
        {cloud::NotAuthenticated, notSignedIn},
        {cloud::PermissionFailure, unrecoverable},
        {cloud::UnknownItem, std::nullopt},
        {cloud::InvalidArguments, unrecoverable},
        {13, std::nullopt},
        {cloud::ServerRecordChanged, std::nullopt},
        {cloud::ServerRejectedRequest, unrecoverable},
        {cloud::AssetFileNotFound, std::nullopt},
        {cloud::AssetFileModified, std::nullopt},
        {cloud::IncompatibleVersion, unrecoverable},
        {cloud::ConstraintViolation, unrecoverable},
        {cloud::OperationCancelled, std::nullopt},
        {cloud::ChangeTokenExpired, gone},
        {cloud::BatchRequestFailed, std::nullopt},
        {cloud::ZoneBusy, network},
        {cloud::BadDatabase, unrecoverable},
        {cloud::QuotaExceeded, quota},
        {cloud::ZoneNotFound, gone},
        {cloud::LimitExceeded, std::nullopt},
        {cloud::UserDeletedZone, gone},
        {cloud::ReferenceViolation, std::nullopt},
        {0, std::nullopt},
        {-1, std::nullopt},
    };
    for (const auto &[code, expected] : table) {
        SCOPED_TRACE(code);
        QVariantMap details{{QStringLiteral("kept"), 7}, {QDError::LocalizedDescriptionKey, ServiceText}};
        const QDError translated = E::processCloudKitError(QDError(cloud::CloudErrorDomain, code, details));
        if (!expected) {
            EXPECT_TRUE(translated.isNull()) << translated.toString().toStdString();
            continue;
        }
        ASSERT_FALSE(translated.isNull());
        EXPECT_EQ(translated.domain(), QStringLiteral("com.quendel.cloudkiterrordomain"));
        EXPECT_EQ(translated.code(), expected->code);
        EXPECT_EQ(flagValue(translated, E::ShouldShowErrorKey), expected->showError);
        EXPECT_EQ(flagValue(translated, E::ShouldSwitchOffKey), expected->switchOff);
        EXPECT_EQ(translated.userInfo().contains(E::RealErrorCodeKey), expected->realCode);
        if (expected->realCode) {
            EXPECT_EQ(translated.userInfo().value(E::RealErrorCodeKey).toLongLong(), code);
        }
        EXPECT_EQ(translated.localizedDescription(), expected->description.isNull() ? ServiceText : expected->description);
        EXPECT_EQ(translated.userInfo().value(QStringLiteral("kept")).toInt(), 7) << "the service's details travel along";
        EXPECT_FALSE(translated.userInfo().contains(E::ShouldReplayOperationKey)) << "no retry-after value was given";
    }
}

TEST(CloudErrorTranslation, ARetryAfterValueMakesANetworkErrorReplayable)
{
    const QDError busy = cloud::CloudErrors::withRetryAfter(cloud::ZoneBusy, 30);
    const QDError translated = E::processCloudKitError(busy);
    EXPECT_EQ(translated.code(), E::NetworkError);
    EXPECT_TRUE(E::flag(translated, E::ShouldReplayOperationKey));
    EXPECT_EQ(translated.userInfo().value(E::RetryAfterTimeIntervalKey).toDouble(), 30.0);
    EXPECT_EQ(translated.userInfo().value(cloud::CloudErrorKeys::RetryAfter).toDouble(), 30.0);
    EXPECT_FALSE(E::flag(translated, E::ShouldSwitchOffKey));

    // A retry-after value on an error that is not a network error changes nothing.
    EXPECT_TRUE(E::processCloudKitError(cloud::CloudErrors::withRetryAfter(cloud::RequestRateLimited, 5)).isNull());
}

TEST(CloudErrorTranslation, OnlyTheCodeDecidesWhateverTheDomain)
{
    for (const QString &domain : {QStringLiteral("SomeOtherDomain"), QuendelErrorDomain, QString()}) {
        const QDError translated = E::processCloudKitError(QDError(domain, 25));
        EXPECT_EQ(translated.code(), E::QuotaExceededError) << domain.toStdString();
    }
}

TEST(CloudErrorTranslation, AnInternalErrorOfAFileDownloadCanBeTriedAgain)
{
    const QDError asset = E::processCloudKitError(cloud::CloudErrors::make(cloud::InternalError), true);
    EXPECT_EQ(asset.code(), E::AssetDownloadError);
    EXPECT_TRUE(E::flag(asset, E::ShouldShowErrorKey));
    EXPECT_EQ(flagValue(asset, E::ShouldSwitchOffKey), std::optional<bool>(false));
    EXPECT_EQ(asset.localizedDescription(), E::AssetDownloadText);
    EXPECT_EQ(E::processCloudKitError(cloud::CloudErrors::make(cloud::InternalError), false).code(), E::UnrecoverableError);
    EXPECT_EQ(E::processCloudKitError(cloud::CloudErrors::make(cloud::NetworkFailure), true).code(), E::NetworkError);
}

TEST(CloudErrorTranslation, MakingAnErrorOfTheDomain)
{
    const QDError changed = E::makeQDErrorWithError(QDError(), E::NotAuthenticatedError);
    EXPECT_EQ(changed.domain(), QuendelCloudKitErrorDomain);
    EXPECT_EQ(changed.code(), 2001);
    EXPECT_TRUE(E::flag(changed, E::ShouldShowErrorKey));
    EXPECT_TRUE(E::flag(changed, E::ShouldSwitchOffKey));
    EXPECT_EQ(changed.userInfo().value(E::RealErrorCodeKey).toLongLong(), 0);
    EXPECT_EQ(changed.localizedDescription(), E::AccountChangedText);

    const QDError saveError(QuendelErrorDomain, 134030, {{QStringLiteral("reason"), QStringLiteral("disk full")}});
    const QDError wrapped = E::makeQDErrorWithError(saveError, E::PrivateContextSaveError);
    EXPECT_EQ(wrapped.code(), 2014);
    EXPECT_EQ(wrapped.userInfo(), saveError.userInfo()) << "other codes carry the details unchanged";
    EXPECT_TRUE(E::makeQDErrorWithError(QDError(), E::PrivateContextSaveError).userInfo().isEmpty());
    EXPECT_EQ(E::makeQDErrorWithError(saveError, E::NotAuthenticatedError).userInfo().value(E::RealErrorCodeKey).toLongLong(),
              134030);
}

TEST(CloudErrorTranslation, AbsentOrFalseFlagsCountAsNo)
{
    EXPECT_FALSE(E::flag(QDError(QuendelCloudKitErrorDomain, 2002), E::ShouldShowErrorKey));
    EXPECT_FALSE(E::flag(QDError(QuendelCloudKitErrorDomain, 2002, {{E::ShouldShowErrorKey, false}}), E::ShouldShowErrorKey));
    EXPECT_TRUE(E::flag(QDError(QuendelCloudKitErrorDomain, 2002, {{E::ShouldShowErrorKey, 1}}), E::ShouldShowErrorKey));
}
