#include "QuendelKit/QDCloudKit/LabelAdditions.h"
#include "QuendelKit/QDCloudKit/QDCloudKitDatabaseInformation.h"

#include "platform/cloud/CloudServiceFactory.h"
#include "platform/core/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::cloud::DatabaseScope;
using platform::cloud::QualityOfService;
using platform::cloud::Record;
using platform::cloud::RecordID;
using platform::cloud::RecordZoneID;
using platform::cloud::Reference;
using Info = QDCloudKitDatabaseInformation;

namespace {

// Fresh user defaults and an embedded cloud service of its own for every test.
class DatabaseInformationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        platform::core::UserDefaults::setStandardUserDefaults(
            std::make_shared<platform::core::UserDefaults>(dir.filePath(QStringLiteral("defaults.ini"))));
        platform::core::QDError error;
        container = platform::cloud::CloudServiceFactory::open(QStringLiteral("sqlite:") + dir.filePath("cloud.sqlite"),
                                                               {}, &error);
        ASSERT_TRUE(container) << error.toString().toStdString();
        Info::setDefaultContainer(container);
    }
    void TearDown() override
    {
        Info::setDefaultContainer(nullptr);
        platform::core::UserDefaults::setStandardUserDefaults(nullptr);
    }

    static Record teamRecord()
    {
        Record record(Info::TeamRecordType, RecordID(QStringLiteral("team-1"), RecordZoneID(Info::SharedZoneName, "owner")));
        record.setRecordChangeTag(QStringLiteral("tag-9"));
        record.setValue(QStringLiteral("teamName"), QStringLiteral("Sales"));
        return record;
    }

    QTemporaryDir dir;
    Info::ContainerPtr container;
};

} // namespace

TEST_F(DatabaseInformationTest, EachRoleHasItsDatabaseAndZones)
{
    struct Case
    {
        const char *role;
        std::shared_ptr<Info> info;
        std::optional<DatabaseScope> database;
        QString privateZone; // null: none
        bool membership;
    };
    const Case cases[] = {
        {"private", Info::initWithPrivateCloudDatabase(), DatabaseScope::Private, Info::PrivateZoneName, true},
        {"share owner", Info::initWithShareOwner(), DatabaseScope::Private, Info::SharedZoneName, true},
        {"participant", Info::initWithShareParticipant(), DatabaseScope::Shared, QString(), true},
        {"local", Info::initWithLocal(), std::nullopt, QString(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.role);
        EXPECT_EQ(c.info->defaultQDCloudKitContainer(), container);
        EXPECT_EQ(c.info->userCloudDatabase(), c.database);
        EXPECT_EQ(c.info->privateRecordZone().has_value(), !c.privateZone.isNull());
        if (c.info->privateRecordZone()) {
            EXPECT_EQ(c.info->privateRecordZone()->zoneID, RecordZoneID(c.privateZone));
        }
        EXPECT_EQ(c.info->membershipZone().has_value(), c.membership);
        if (c.info->membershipZone()) {
            EXPECT_EQ(c.info->membershipZone()->zoneID, RecordZoneID(Info::MembershipZoneName));
        }
        EXPECT_TRUE(c.info->shareRecordID().isNull());
        EXPECT_TRUE(c.info->teamRecordReference().isNull());
    }
    EXPECT_EQ(container->containerIdentifier(), QStringLiteral("K4TQ8WZ2MD.com.quendel.icloud"));
}

TEST_F(DatabaseInformationTest, TheShareIdentifierIsSharedByEveryObject)
{
    auto owner = Info::initWithShareOwner();
    auto priv = Info::initWithPrivateCloudDatabase();
    const RecordID share(QStringLiteral("share-1"), RecordZoneID(Info::SharedZoneName, QStringLiteral("_abc")));
    owner->setShareRecordID(share);
    EXPECT_EQ(priv->shareRecordID(), share);
    EXPECT_EQ(Info::initWithLocal()->shareRecordID(), share);
    priv->setShareRecordID(RecordID());
    EXPECT_TRUE(owner->shareRecordID().isNull());
    EXPECT_FALSE(platform::core::UserDefaults::standardUserDefaults()->objectForKey(Info::ShareRecordArchiveKey).isValid());

    // Damaged data in the defaults reads as no share, never as a crash.
    platform::core::UserDefaults::standardUserDefaults()->setObject(QByteArray("not an archive"), Info::ShareRecordArchiveKey);
    EXPECT_TRUE(owner->shareRecordID().isNull());
}

TEST_F(DatabaseInformationTest, TheTeamRecordIsKeptAsSystemFieldsOnly)
{
    auto first = Info::initWithShareParticipantWithShare(
        Record(QStringLiteral("cloudkit.share"), RecordID(QStringLiteral("share-2"))), teamRecord());
    EXPECT_EQ(first->teamRecordReference(), Reference(teamRecord().recordID(), Reference::Action::None));
    EXPECT_EQ(first->shareRecordID(), RecordID(QStringLiteral("share-2")));

    auto later = Info::initWithShareParticipant();
    EXPECT_EQ(later->teamRecordReference().recordID(), teamRecord().recordID());
    const Record kept = Record::fromEncodedSystemFields(
        platform::core::UserDefaults::standardUserDefaults()->dataForKey(Info::TeamRecordArchiveKey));
    EXPECT_EQ(kept.recordID(), teamRecord().recordID());
    EXPECT_EQ(kept.recordChangeTag(), QStringLiteral("tag-9"));
    EXPECT_TRUE(kept.allKeys().isEmpty()) << "no field values are kept";

    // Removing the kept record leaves an object's own reference in place.
    first->setTeamRecordReferenceWithRecord(Record());
    EXPECT_FALSE(platform::core::UserDefaults::standardUserDefaults()->objectForKey(Info::TeamRecordArchiveKey).isValid());
    EXPECT_EQ(first->teamRecordReference().recordID(), teamRecord().recordID());
    EXPECT_TRUE(Info::initWithPrivateCloudDatabase()->teamRecordReference().isNull());

    platform::core::UserDefaults::standardUserDefaults()->setObject(QByteArray("junk"), Info::TeamRecordArchiveKey);
    EXPECT_TRUE(Info::initWithShareParticipant()->teamRecordReference().isNull());
}

TEST(OperationLabels, TheLabelNamesTheGroupAndTheDefaultQualityBecomesUserInitiated)
{
    const std::pair<QualityOfService, QualityOfService> cases[] = {
        {QualityOfService::Default, QualityOfService::UserInitiated},
        {QualityOfService::UserInteractive, QualityOfService::UserInteractive},
        {QualityOfService::Background, QualityOfService::Background},
        {QualityOfService::Utility, QualityOfService::Utility},
    };
    for (const auto &[given, expected] : cases) {
        platform::cloud::OperationConfiguration operation;
        operation.qualityOfService = given;
        operation.longLived = true;
        LabelAdditions::applyLabelToOperation(operation, LabelAdditions::ModifyRecordsOperation);
        EXPECT_EQ(operation.groupName, QStringLiteral("Modify Records Operation"));
        EXPECT_EQ(operation.qualityOfService, expected);
        EXPECT_TRUE(operation.longLived);
    }
    EXPECT_EQ(LabelAdditions::uploadLabel(QStringLiteral("Person")), QStringLiteral("Upload-Person"));
    EXPECT_EQ(LabelAdditions::downloadQueryLabel(QStringLiteral("Log")), QStringLiteral("Download Query - Log"));
    EXPECT_EQ(LabelAdditions::downloadAssetLabel(QStringLiteral("Images")), QStringLiteral("Download Asset - Images"));
    EXPECT_EQ(LabelAdditions::DataSyncAppLaunch, QStringLiteral("DataSyncAppLauch"));
}
