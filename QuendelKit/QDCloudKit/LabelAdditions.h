#pragma once

#include "platform/cloud/CloudTypes.h"

#include <QString>

// Names and tunes every cloud operation of the engine just before it runs: the label names its group in the
// service's diagnostics (nothing reads it back), and an operation whose maker left the quality of service
// at the default runs as user-initiated.
class LabelAdditions
{
public:
    static void applyLabelToOperation(platform::cloud::OperationConfiguration &operation, const QString &label);

    // The labels the engine gives its operations.
    static inline const QString UserCheckAppLaunch = QStringLiteral("UserCheck-AppLaunch");
    static inline const QString CheckingCloudState = QStringLiteral("Checking Cloud State");
    static inline const QString InitialZoneCreateOperation = QStringLiteral("InitialZoneCreateOperation");
    static inline const QString UserCheckUploadOperation = QStringLiteral("UserCheckUploadOperation");
    static inline const QString UserCheckDownloadOperation = QStringLiteral("UserCheckDownloadOperation");
    static inline const QString ModifyRecordsOperation = QStringLiteral("Modify Records Operation");
    static inline const QString UploadMergedRecords = QStringLiteral("Upload (Merged) Records");
    static inline const QString UploadFetchedRecords = QStringLiteral("Upload (Fetched) Records");
    static inline const QString DownloadFetchUser = QStringLiteral("Download Fetch User");
    static inline const QString DataSyncAppLaunch = QStringLiteral("DataSyncAppLauch");
    static inline const QString DataSyncManualTrigger = QStringLiteral("DataSyncManualTrigger");
    static inline const QString DataSyncNotification = QStringLiteral("DataSyncNotification");
    static inline const QString DataSyncIncremental = QStringLiteral("DataSyncIncremental");
    static inline const QString DataSyncInitialToken = QStringLiteral("DataSyncInitialToken");
    static inline const QString InitialZoneChange = QStringLiteral("InitialZoneChange");
    static inline const QString ZoneChangePreFetchRecordNamesOperation =
        QStringLiteral("ZoneChangePreFetchRecordNamesOperation");
    static inline const QString FetchRecord = QStringLiteral("Fetch Record");
    static inline const QString SubscriptionsFetchToDeleteOperation = QStringLiteral("SubscriptionsFetchToDeleteOperation");
    static inline const QString SubscriptionCreateInitialOperation = QStringLiteral("SubscriptionCreateInitialOperation");
    static inline const QString MembershipFetchUserRecord = QStringLiteral("CKMembership - Fetch User Record");

    // "Upload-<entity>" for one batch of the whole-database upload.
    static QString uploadLabel(const QString &entityName);
    // "Download Query - <type>" and "Download Asset - <type>" for the whole-database download.
    static QString downloadQueryLabel(const QString &recordType);
    static QString downloadAssetLabel(const QString &recordType);
};
