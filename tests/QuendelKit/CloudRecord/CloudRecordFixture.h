#pragma once

#include "QuendelKit/CloudRecord/ManagedObjectCloudKit.h"
#include "QuendelKit/CloudRecord/NSManagedObjectQDBase+CloudRecord.h"
#include "QuendelKit/Entities/AllEntities.h"
#include "QuendelKit/QuendelModel.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quendel::test {

// Two "devices": each a store file of its own with a main-queue context, sharing one manual clock.
class CloudRecordTest : public ::testing::Test
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
        context.reset();
        other.reset();
        coordinator.reset();
        otherCoordinator.reset();
        platform::core::Clock::setCurrent(nullptr);
    }

    platform::store::ContextPtr openDevice(const QString &file,
                                           std::shared_ptr<platform::store::StoreCoordinator> &into)
    {
        into = std::make_shared<platform::store::StoreCoordinator>(model);
        platform::core::QDError error;
        EXPECT_TRUE(into->addPersistentStore(platform::store::StoreType::SQLite, dir.filePath(file), {}, &error))
            << error.toString().toStdString();
        auto created = platform::store::ManagedObjectContext::create(
            platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
        created->setPersistentStoreCoordinator(into);
        return created;
    }

    template <typename T> T *insert(const platform::store::ContextPtr &into = {})
    {
        T *object = (into ? into : context)->template insertNewObject<T>(T::EntityName);
        EXPECT_NE(object, nullptr) << T::EntityName.toStdString();
        return object;
    }

    static void save(const platform::store::ContextPtr &which)
    {
        platform::core::QDError error;
        ASSERT_TRUE(which->save(&error)) << error.toString().toStdString();
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

    QTemporaryDir dir;
    std::shared_ptr<platform::core::ManualClock> clock;
    std::shared_ptr<platform::store::ManagedObjectModel> model;
    std::shared_ptr<platform::store::StoreCoordinator> coordinator;
    std::shared_ptr<platform::store::StoreCoordinator> otherCoordinator;
    platform::store::ContextPtr context;
    platform::store::ContextPtr other;
};

} // namespace quendel::test
