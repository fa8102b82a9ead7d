#pragma once

#include "platform/core/QDError.h"

#include <QString>

// The errors of the sync engine, in QuendelCloudKitErrorDomain, and the translation of the cloud service's
// own errors into them. The flags in an error's details tell the receiver what to do: show it, switch the
// cloud sync off, or run the work again later.
class QDCloudKitErrors
{
public:
    enum Code : qint64 {
        LocalProcessingError = 2000,     // the outgoing queue could not be saved
        NotAuthenticatedError = 2001,    // signed out, or another account than before
        NetworkError = 2002,             // network or service unavailable, zone busy
        QuotaExceededError = 2003,       // the user's cloud storage is full
        TeamRecordDeletedError = 2004,   // the team record arrived marked deleted
        CloudDataDeletedError = 2005,    // token expired, zone missing or deleted by the user
        UploadFailedError = 2009,        // the whole-store upload failed
        UnrecoverableError = 2010,       // a fault that retrying cannot mend
        AssetDownloadError = 2011,       // internal error while downloading files
        ModifyFinishedError = 2012,      // a modify ended and its per-record failures were handled
        ModifyReplayError = 2013,        // a modify left records to send again after network failures
        PrivateContextSaveError = 2014,  // an operation's private context could not be saved
    };

    // Keys of the details that the engine adds.
    static inline const QString ShouldShowErrorKey = QStringLiteral("shouldShowError");
    static inline const QString ShouldSwitchOffKey = QStringLiteral("shouldSwitchOff");
    static inline const QString RealErrorCodeKey = QStringLiteral("realErrorCode");
    static inline const QString ShouldReplayOperationKey = QStringLiteral("shouldReplayOperation");
    static inline const QString RetryAfterTimeIntervalKey = QStringLiteral("retryAfterTimeInterval");

    static inline const QString NetworkErrorText = QStringLiteral("There was an issue with the network connection");
    static inline const QString CloudDataDeletedText =
        QStringLiteral("CloudSync Data was deleted from another device. Enable CloudSync to sync again");
    static inline const QString AccountChangedText = QStringLiteral(
        "User account is different than previous account. You can enable iCloud on new account to sync again");
    static inline const QString AssetDownloadText =
        QStringLiteral("There was a problem with the file download. Please use the refresh option to try again");

    // The engine's error for an error the cloud service reported; a null error when it is only logged.
    // Only the code decides, whatever the domain. Every detail of the service's error travels along.
    static platform::core::QDError processCloudKitError(const platform::core::QDError &error);
    // As above, for an error of a file download: an internal error there is a failed download (2011), which
    // the user can try again, not a reason to switch the sync off.
    static platform::core::QDError processCloudKitError(const platform::core::QDError &error, bool isAsset);

    // An error of the domain with `type` as its code, carrying the given error's details (none for a null
    // error). The account-change code also gets its flags, the given error's code and its text.
    static platform::core::QDError makeQDErrorWithError(const platform::core::QDError &error, qint64 type);

    // Whether the flag is present and true; an absent flag counts as false.
    static bool flag(const platform::core::QDError &error, const QString &key);
};
