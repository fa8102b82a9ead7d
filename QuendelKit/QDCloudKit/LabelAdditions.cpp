#include "QuendelKit/QDCloudKit/LabelAdditions.h"

using platform::cloud::QualityOfService;

void LabelAdditions::applyLabelToOperation(platform::cloud::OperationConfiguration &operation, const QString &label)
{
    operation.groupName = label;
    if (operation.qualityOfService == QualityOfService::Default)
        operation.qualityOfService = QualityOfService::UserInitiated;
}

QString LabelAdditions::uploadLabel(const QString &entityName)
{
    return QStringLiteral("Upload-%1").arg(entityName);
}

QString LabelAdditions::downloadQueryLabel(const QString &recordType)
{
    return QStringLiteral("Download Query - %1").arg(recordType);
}

QString LabelAdditions::downloadAssetLabel(const QString &recordType)
{
    return QStringLiteral("Download Asset - %1").arg(recordType);
}
