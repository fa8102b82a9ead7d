#pragma once

#include "QuendelKit/Entities/AllEntities.h"
#include "QuendelKit/QuendelModel.h"

#include "platform/core/Clock.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace quendel::test {

// What the fixtures over Quendel store files share: a folder for the files, a manual clock, the model, a
// coordinator with its main-queue context, and inserting and saving. Each fixture opens its own stores.
class StoreTestBase : public ::testing::Test
{
protected:
    void TearDown() override
    {
        context.reset();
        coordinator.reset();
        platform::core::Clock::setCurrent(nullptr);
    }

    static platform::store::ContextPtr mainQueueContext(std::shared_ptr<platform::store::StoreCoordinator> on)
    {
        auto created = platform::store::ManagedObjectContext::create(
            platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
        created->setPersistentStoreCoordinator(std::move(on));
        return created;
    }

    // Into the given context, or the fixture's own.
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

    QTemporaryDir dir;
    std::shared_ptr<platform::core::ManualClock> clock;
    std::shared_ptr<platform::store::ManagedObjectModel> model;
    std::shared_ptr<platform::store::StoreCoordinator> coordinator;
    platform::store::ContextPtr context;
};

} // namespace quendel::test
