#include "EntityStoreFixture.h"

#include "QuendelKit/CoreDataControllerBase.h"

#include "platform/core/NotificationCenter.h"
#include "platform/store/StoreNotifications.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::store::ContextPtr;
using platform::store::ManagedObjectContext;
using platform::store::StoreCoordinator;

namespace {

// A store controller as the application makes one: its coordinator opens a store file, and may ask for the
// main context while it loads.
class TestController : public CoreDataControllerBase
{
public:
    using CoreDataControllerBase::CoreDataControllerBase;

    std::shared_ptr<StoreCoordinator> persistentStoreCoordinator() override
    {
        ++coordinatorRequests;
        if (noCoordinator)
            return nullptr;
        if (auto loaded = loadedPersistentStoreCoordinator())
            return loaded;
        auto coordinator = CoreDataControllerBase::persistentStoreCoordinator();
        platform::core::QDError error;
        EXPECT_TRUE(coordinator->addPersistentStore(platform::store::StoreType::SQLite,
                                                    dir.filePath(QStringLiteral("Quendel.sqlite")), {}, &error))
            << error.toString().toStdString();
        if (askForContextWhileLoading)
            contextMadeWhileLoading = managedObjectContext();
        return coordinator;
    }

    bool isOlderCloudStoreEnabled() const override { return olderCloudStoreOn; }

    QTemporaryDir dir;
    bool noCoordinator = false;
    bool askForContextWhileLoading = false;
    bool olderCloudStoreOn = false;
    int coordinatorRequests = 0;
    ContextPtr contextMadeWhileLoading;
};

} // namespace

TEST(CoreDataControllerBase, KeepsItsCallbackAndLoadsNothingAtCreation)
{
    int calls = 0;
    CoreDataControllerBase controller([&] { ++calls; });
    EXPECT_FALSE(controller.isIOS);
    EXPECT_EQ(controller.loadedPersistentStoreCoordinator(), nullptr);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(bool(controller.loadCompletionBlock()));
}

TEST(CoreDataControllerBase, MakesTheModelAndAnEmptyNamedCoordinatorOnce)
{
    CoreDataControllerBase controller;
    const auto model = controller.managedObjectModel();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->name(), QStringLiteral("Quendel"));
    EXPECT_EQ(controller.managedObjectModel(), model);

    const auto coordinator = controller.persistentStoreCoordinator();
    ASSERT_NE(coordinator, nullptr);
    EXPECT_EQ(coordinator->name(), QStringLiteral("CoreDataControllerBasePSC"));
    EXPECT_TRUE(coordinator->persistentStores().isEmpty());
    EXPECT_EQ(coordinator->managedObjectModel(), model);
    EXPECT_EQ(controller.persistentStoreCoordinator(), coordinator);
    EXPECT_EQ(controller.loadedPersistentStoreCoordinator(), coordinator);
}

TEST(CoreDataControllerBase, TheMainContextIsMadeOnceAndRunsTheCallbackOnce)
{
    int calls = 0;
    ContextPtr seenByCallback;
    TestController *self = nullptr;
    TestController controller([&] {
        ++calls;
        seenByCallback = self->managedObjectContext();
    });
    self = &controller;

    const ContextPtr context = controller.managedObjectContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->name(), QStringLiteral("QDMainThreadContext"));
    EXPECT_EQ(context->concurrencyType(), ManagedObjectContext::ConcurrencyType::MainQueue);
    EXPECT_EQ(context->mergePolicy(), platform::store::MergePolicy::ObjectTrump);
    EXPECT_EQ(context->persistentStoreCoordinator(), controller.loadedPersistentStoreCoordinator());
    // The callback may already use the new context.
    EXPECT_EQ(seenByCallback, context);
    EXPECT_EQ(controller.managedObjectContext(), context);
    EXPECT_EQ(calls, 1);

    controller.setManagedObjectContext(nullptr);
    const ContextPtr second = controller.managedObjectContext();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, context);
    EXPECT_EQ(second->name(), QStringLiteral("QDMainThreadContext"));
    EXPECT_EQ(calls, 2);
}

TEST(CoreDataControllerBase, AContextMadeWhileTheStoreLoadsIsTheOneReturned)
{
    int calls = 0;
    TestController controller([&] { ++calls; });
    controller.askForContextWhileLoading = true;
    const ContextPtr context = controller.managedObjectContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context, controller.contextMadeWhileLoading);
    EXPECT_EQ(calls, 1);
}

TEST(CoreDataControllerBase, WithoutACoordinatorThereIsNoContextAndNoCallback)
{
    int calls = 0;
    TestController controller([&] { ++calls; });
    controller.noCoordinator = true;
    EXPECT_EQ(controller.managedObjectContext(), nullptr);
    EXPECT_EQ(calls, 0);
}

TEST(CoreDataControllerBase, AnOlderCloudImportIsIgnoredWhileThatStoreIsOff)
{
    TestController controller;
    const ContextPtr context = controller.managedObjectContext();
    int refreshes = 0;
    platform::core::ScopedObserver observer(CoreDataControllerBase::RefreshAllViewsAfterCloudChangesNotification,
                                            nullptr, [&](const platform::core::Notification &) { ++refreshes; });
    platform::core::Notification import{
        CoreDataControllerBase::PersistentStoreDidImportUbiquitousContentChangesNotification,
        controller.loadedPersistentStoreCoordinator().get(),
        {}};
    EXPECT_FALSE(controller.mergeChangesFrom_iCloud(import));
    QCoreApplication::processEvents();
    EXPECT_EQ(refreshes, 0);
    EXPECT_FALSE(context->hasChanges());
}

TEST(CoreDataControllerBase, AnOlderCloudImportIsMergedIntoTheMainContextAndRefreshesTheViews)
{
    TestController controller;
    controller.olderCloudStoreOn = true;
    const ContextPtr main = controller.managedObjectContext();
    Log *log = main->insertNewObject<Log>(Log::EntityName);
    log->setLogNote(QStringLiteral("before"));
    ASSERT_TRUE(main->save());

    // Another writer on the same store changes the record, as an import of the older cloud store does.
    auto importer = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    importer->setPersistentStoreCoordinator(controller.loadedPersistentStoreCoordinator());
    platform::core::Notification didSave;
    platform::core::ScopedObserver saveObserver(platform::store::ManagedObjectContextDidSaveNotification,
                                                importer.get(),
                                                [&](const platform::core::Notification &n) { didSave = n; });
    importer->performAndWait([&] {
        auto *theirs = dynamic_cast<Log *>(importer->objectWithID(log->objectID()));
        ASSERT_NE(theirs, nullptr);
        theirs->setLogNote(QStringLiteral("after"));
        ASSERT_TRUE(importer->save());
    });

    QVariantMap refreshInfo;
    int refreshes = 0;
    platform::core::ScopedObserver refreshObserver(CoreDataControllerBase::RefreshAllViewsAfterCloudChangesNotification,
                                                   nullptr, [&](const platform::core::Notification &n) {
                                                       ++refreshes;
                                                       refreshInfo = n.userInfo;
                                                   });
    // The store posts the import with the coordinator as sender; the controller is listening for it.
    platform::core::NotificationCenter::defaultCenter().post(
        CoreDataControllerBase::PersistentStoreDidImportUbiquitousContentChangesNotification,
        controller.loadedPersistentStoreCoordinator().get(), didSave.userInfo);
    EXPECT_EQ(log->logNote(), QStringLiteral("after"));
    // The views hear of it later, from the main queue.
    EXPECT_EQ(refreshes, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(refreshes, 1);
    EXPECT_TRUE(refreshInfo.contains(platform::store::ChangesKey));

    EXPECT_TRUE(controller.mergeChangesFrom_iCloud(didSave));
    QCoreApplication::processEvents();
    EXPECT_EQ(refreshes, 2);
}

TEST(CoreDataControllerBase, ANewMainContextListensForImportsOnlyOnce)
{
    TestController controller;
    controller.olderCloudStoreOn = true;
    controller.managedObjectContext();
    controller.setManagedObjectContext(nullptr);
    controller.managedObjectContext();
    int refreshes = 0;
    platform::core::ScopedObserver refreshObserver(CoreDataControllerBase::RefreshAllViewsAfterCloudChangesNotification,
                                                   nullptr, [&](const platform::core::Notification &) { ++refreshes; });
    platform::core::NotificationCenter::defaultCenter().post(
        CoreDataControllerBase::PersistentStoreDidImportUbiquitousContentChangesNotification,
        controller.loadedPersistentStoreCoordinator().get(), {});
    QCoreApplication::processEvents();
    EXPECT_EQ(refreshes, 1);
}
