#pragma once

#include "platform/cloud/CloudService.h"
#include "platform/cloud/Record.h"
#include "platform/cloud/Reference.h"

#include <memory>
#include <optional>

// Where the engine's cloud operations work: the container, its database for this role, the zone of the synced
// records, the membership zone, and for a shared team this device's share and team record. Made once per sync
// state; operations read it, and only the first upload writes into it (the zone the server saved).
class QDCloudKitDatabaseInformation
{
public:
    static inline const QString PrivateZoneName = QStringLiteral("QDCloudKitPrivateZoneName");
    static inline const QString SharedZoneName = QStringLiteral("QDCloudKitSharedZoneName");
    static inline const QString MembershipZoneName = QStringLiteral("QDCloudKitMembershipZoneName");
    static inline const QString TeamRecordType = QStringLiteral("TeamRecord");
    // User defaults that outlive the object: they are shared by every object, whatever its role.
    static inline const QString TeamRecordArchiveKey = QStringLiteral("QDTeamRecordArchiveName");
    static inline const QString ShareRecordArchiveKey = QStringLiteral("QDShareRecordArchiveName");

    using ContainerPtr = std::shared_ptr<platform::cloud::CloudService>;

    // The container with the identifier: the one installed, else the service the user's settings name, opened
    // on first use. Null (and logged) when it cannot be opened.
    static ContainerPtr containerWithIdentifier(const QString &identifier = platform::cloud::DefaultContainerIdentifier);
    // Installs the container every new object uses; null goes back to opening the configured service.
    static void setDefaultContainer(ContainerPtr container);

    // The private database with the private zone; the private database with the team's shared zone for a share
    // owner; the shared database without a record zone for a participant (the share and team record come from
    // the user defaults, or are stored from the given records); a container and nothing else for local use.
    static std::shared_ptr<QDCloudKitDatabaseInformation> initWithPrivateCloudDatabase();
    static std::shared_ptr<QDCloudKitDatabaseInformation> initWithShareOwner();
    static std::shared_ptr<QDCloudKitDatabaseInformation> initWithShareParticipant();
    static std::shared_ptr<QDCloudKitDatabaseInformation>
    initWithShareParticipantWithShare(const platform::cloud::Record &share, const platform::cloud::Record &teamRecord);
    static std::shared_ptr<QDCloudKitDatabaseInformation> initWithLocal();

    const ContainerPtr &defaultQDCloudKitContainer() const { return m_container; }
    void setDefaultQDCloudKitContainer(ContainerPtr container) { m_container = std::move(container); }
    // None for local use.
    std::optional<platform::cloud::DatabaseScope> userCloudDatabase() const { return m_database; }
    void setUserCloudDatabase(std::optional<platform::cloud::DatabaseScope> database) { m_database = database; }
    std::optional<platform::cloud::RecordZone> privateRecordZone() const { return m_privateZone; }
    void setPrivateRecordZone(std::optional<platform::cloud::RecordZone> zone) { m_privateZone = std::move(zone); }
    std::optional<platform::cloud::RecordZone> membershipZone() const { return m_membershipZone; }
    void setMembershipZone(std::optional<platform::cloud::RecordZone> zone) { m_membershipZone = std::move(zone); }

    // This object's reference, else one to the team record kept in the user defaults (not kept here); null
    // when there is neither.
    platform::cloud::Reference teamRecordReference() const;
    void setTeamRecordReference(const platform::cloud::Reference &reference) { m_teamRecordReference = reference; }
    // Keeps the record's system fields (never its values) in the user defaults and a reference to it here;
    // a null record only removes the kept fields.
    void setTeamRecordReferenceWithRecord(const platform::cloud::Record &record);

    // The share's identifier as the user defaults keep it; null when none is kept or it cannot be read.
    platform::cloud::RecordID shareRecordID() const;
    // Keeps the identifier in the user defaults (a null one removes it); this object itself does not change.
    void setShareRecordID(const platform::cloud::RecordID &recordID);

private:
    QDCloudKitDatabaseInformation();

    ContainerPtr m_container;
    std::optional<platform::cloud::DatabaseScope> m_database;
    std::optional<platform::cloud::RecordZone> m_privateZone;
    std::optional<platform::cloud::RecordZone> m_membershipZone;
    platform::cloud::Reference m_teamRecordReference;
};
