#include "QuendelKit/QDCloudKit/QDCloudKitDatabaseInformation.h"

#include "QuendelKit/Infra/QDLog.h"

#include "platform/cloud/CloudServiceFactory.h"
#include "platform/core/KeyedArchive.h"
#include "platform/core/UserDefaults.h"

#include <mutex>

using platform::cloud::DatabaseScope;
using platform::cloud::Record;
using platform::cloud::RecordID;
using platform::cloud::RecordZone;
using platform::cloud::RecordZoneID;
using platform::cloud::Reference;
using platform::core::KeyedArchive;
using platform::core::QDError;
using platform::core::UserDefaults;

namespace {

std::mutex containerMutex;
QDCloudKitDatabaseInformation::ContainerPtr installedContainer;
QDCloudKitDatabaseInformation::ContainerPtr openedContainer;

const QString RecordNameKey = QStringLiteral("recordName");
const QString ZoneNameKey = QStringLiteral("zoneName");
const QString OwnerNameKey = QStringLiteral("ownerName");

RecordZone zoneNamed(const QString &name)
{
    return RecordZone{RecordZoneID(name)};
}

} // namespace

QDCloudKitDatabaseInformation::QDCloudKitDatabaseInformation() : m_container(containerWithIdentifier()) {}

QDCloudKitDatabaseInformation::ContainerPtr QDCloudKitDatabaseInformation::containerWithIdentifier(const QString &identifier)
{
    std::lock_guard lock(containerMutex);
    if (installedContainer)
        return installedContainer;
    if (!openedContainer) {
        const QString configured =
            UserDefaults::standardUserDefaults()->stringForKey(platform::cloud::CloudServiceFactory::UrlDefaultsKey);
        QDError error;
        openedContainer = platform::cloud::CloudServiceFactory::open(
            platform::cloud::CloudServiceFactory::serviceURL(configured), {}, &error);
        if (!openedContainer)
            QDLogError(QStringLiteral("🚨🚨 QDCloudKitDatabaseInformation: the cloud container %1 cannot be opened: %2 🚨🚨")
                           .arg(identifier, error.toString()));
    }
    return openedContainer;
}

void QDCloudKitDatabaseInformation::setDefaultContainer(ContainerPtr container)
{
    std::lock_guard lock(containerMutex);
    installedContainer = std::move(container);
}

std::shared_ptr<QDCloudKitDatabaseInformation> QDCloudKitDatabaseInformation::initWithPrivateCloudDatabase()
{
    std::shared_ptr<QDCloudKitDatabaseInformation> info(new QDCloudKitDatabaseInformation);
    info->m_database = DatabaseScope::Private;
    info->m_privateZone = zoneNamed(PrivateZoneName);
    info->m_membershipZone = zoneNamed(MembershipZoneName);
    return info;
}

std::shared_ptr<QDCloudKitDatabaseInformation> QDCloudKitDatabaseInformation::initWithShareOwner()
{
    std::shared_ptr<QDCloudKitDatabaseInformation> info(new QDCloudKitDatabaseInformation);
    info->m_database = DatabaseScope::Private;
    info->m_privateZone = zoneNamed(SharedZoneName);
    info->m_membershipZone = zoneNamed(MembershipZoneName);
    return info;
}

std::shared_ptr<QDCloudKitDatabaseInformation> QDCloudKitDatabaseInformation::initWithShareParticipant()
{
    std::shared_ptr<QDCloudKitDatabaseInformation> info(new QDCloudKitDatabaseInformation);
    info->m_database = DatabaseScope::Shared;
    info->m_membershipZone = zoneNamed(MembershipZoneName);
    info->m_teamRecordReference = info->teamRecordReference();
    return info;
}

std::shared_ptr<QDCloudKitDatabaseInformation>
QDCloudKitDatabaseInformation::initWithShareParticipantWithShare(const Record &share, const Record &teamRecord)
{
    std::shared_ptr<QDCloudKitDatabaseInformation> info(new QDCloudKitDatabaseInformation);
    info->m_database = DatabaseScope::Shared;
    info->m_membershipZone = zoneNamed(MembershipZoneName);
    info->setTeamRecordReferenceWithRecord(teamRecord);
    info->setShareRecordID(share.recordID());
    return info;
}

std::shared_ptr<QDCloudKitDatabaseInformation> QDCloudKitDatabaseInformation::initWithLocal()
{
    return std::shared_ptr<QDCloudKitDatabaseInformation>(new QDCloudKitDatabaseInformation);
}

Reference QDCloudKitDatabaseInformation::teamRecordReference() const
{
    if (!m_teamRecordReference.isNull())
        return m_teamRecordReference;
    const QByteArray archive = UserDefaults::standardUserDefaults()->dataForKey(TeamRecordArchiveKey);
    if (archive.isNull())
        return Reference();
    QDError error;
    const Record record = Record::fromEncodedSystemFields(archive, &error);
    if (record.recordID().isNull()) {
        QDLogError(QStringLiteral("QDCloudKitDatabaseInformation: the kept team record cannot be read: %1")
                       .arg(error.toString()));
        return Reference();
    }
    return Reference(record.recordID(), Reference::Action::None);
}

void QDCloudKitDatabaseInformation::setTeamRecordReferenceWithRecord(const Record &record)
{
    auto defaults = UserDefaults::standardUserDefaults();
    if (record.recordID().isNull()) {
        defaults->removeObjectForKey(TeamRecordArchiveKey);
        return;
    }
    defaults->setObject(record.encodeSystemFields(), TeamRecordArchiveKey);
    m_teamRecordReference = Reference(record.recordID(), Reference::Action::None);
}

RecordID QDCloudKitDatabaseInformation::shareRecordID() const
{
    const QByteArray archive = UserDefaults::standardUserDefaults()->dataForKey(ShareRecordArchiveKey);
    if (archive.isNull())
        return RecordID();
    QDError error;
    const std::optional<QVariant> value = KeyedArchive::unarchive(archive, &error);
    const QVariantMap fields = value ? value->toMap() : QVariantMap();
    const QString recordName = fields.value(RecordNameKey).toString();
    if (recordName.isEmpty()) {
        QDLogError(QStringLiteral("QDCloudKitDatabaseInformation: the kept share identifier cannot be read: %1")
                       .arg(error.toString()));
        return RecordID();
    }
    const QString zoneName = fields.value(ZoneNameKey).toString();
    if (zoneName.isEmpty())
        return RecordID(recordName);
    return RecordID(recordName, RecordZoneID(zoneName, fields.value(OwnerNameKey).toString()));
}

void QDCloudKitDatabaseInformation::setShareRecordID(const RecordID &recordID)
{
    auto defaults = UserDefaults::standardUserDefaults();
    if (recordID.isNull()) {
        defaults->removeObjectForKey(ShareRecordArchiveKey);
        return;
    }
    QVariantMap fields{{RecordNameKey, recordID.recordName()}};
    if (recordID.hasZone()) {
        fields.insert(ZoneNameKey, recordID.zoneID().zoneName());
        fields.insert(OwnerNameKey, recordID.zoneID().ownerName());
    }
    QDError error;
    const QByteArray archive = KeyedArchive::archive(fields, &error);
    if (archive.isEmpty()) {
        QDLogError(QStringLiteral("QDCloudKitDatabaseInformation: the share identifier cannot be kept: %1")
                       .arg(error.toString()));
        return;
    }
    defaults->setObject(archive, ShareRecordArchiveKey);
}
