#pragma once

#include "QuendelKit/StoreTestBase.h"

#include "QuendelKit/CloudRecord/ManagedObjectCloudKit.h"
#include "QuendelKit/CloudRecord/NSManagedObjectQDBase+CloudRecord.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include <QDateTime>

namespace quendel::test {

// Two "devices": each a store file of its own with a main-queue context, sharing one manual clock.
class CloudRecordTest : public StoreTestBase
{
public:
    static platform::cloud::RecordZoneID privateZone()
    {
        return platform::cloud::RecordZoneID(QStringLiteral("QDCloudKitPrivateZoneName"));
    }

protected:
    void SetUp() override
    {
        clock = std::make_shared<platform::core::ManualClock>(QDateTime(QDate(2024, 3, 4), QTime(5, 6, 7), Qt::UTC));
        platform::core::Clock::setCurrent(clock);
        ASSERT_TRUE(dir.isValid());
        SharedSettingController::sharedSettings().initAttachmentsDirectory();
        model = QuendelModel::create();
        context = openDevice(QStringLiteral("A.sqlite"), coordinator);
        other = openDevice(QStringLiteral("B.sqlite"), otherCoordinator);
    }

    void TearDown() override
    {
        other.reset();
        otherCoordinator.reset();
        StoreTestBase::TearDown();
    }

    platform::store::ContextPtr openDevice(const QString &file,
                                           std::shared_ptr<platform::store::StoreCoordinator> &into)
    {
        into = std::make_shared<platform::store::StoreCoordinator>(model);
        platform::core::QDError error;
        EXPECT_TRUE(into->addPersistentStore(platform::store::StoreType::SQLite, dir.filePath(file), {}, &error))
            << error.toString().toStdString();
        return mainQueueContext(into);
    }

    // As after an upload: the record's system fields, with the server's change tag, archived on the object.
    static void markUploaded(NSManagedObjectQDBase *object, const QString &tag = QStringLiteral("tag-1"))
    {
        platform::cloud::Record uploaded(object->entityName(),
                                         platform::cloud::RecordID(object->cloudKitID(), privateZone()));
        uploaded.setRecordChangeTag(tag);
        ManagedObjectCloudKit::updateObjectWithCKRecordEncodedFields(object, uploaded);
    }

    QString picturesFolder() const
    {
        return SharedSettingController::sharedSettings().localPersonImagesDirectoryURL().toLocalFile();
    }

    std::shared_ptr<platform::store::StoreCoordinator> otherCoordinator;
    platform::store::ContextPtr other;
};

} // namespace quendel::test
