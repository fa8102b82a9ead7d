#include "StoreControllerFixture.h"

#include "QuendelKit/QuendelModel.h"

#include "platform/core/NotificationCenter.h"
#include "platform/store/Model.h"
#include "platform/store/StoreCoordinator.h"
#include "platform/store/StoreNotifications.h"

using namespace store_controller_test;
using platform::core::NotificationCenter;
using platform::core::QDError;
using platform::core::ScopedObserver;
using platform::store::ContextPtr;
using platform::store::ManagedObjectContext;
using platform::store::StoreCoordinator;
using platform::store::StoreType;

namespace {

// Counts the did-save notices of one context and the records they inserted.
struct SaveWatch
{
    void watch(const ContextPtr &context)
    {
        observer = ScopedObserver(platform::store::ManagedObjectContextDidSaveNotification, context.get(),
                                  [this](const platform::core::Notification &notification) {
                                      ++saves;
                                      int count = 0;
                                      if (auto changes = platform::store::SaveChanges::fromNotification(notification))
                                          count = int(changes->inserted.size());
                                      inserted += count;
                                      insertedBySave.push_back(count);
                                  });
    }
    ScopedObserver observer;
    int saves = 0;
    int inserted = 0;
    std::vector<int> insertedBySave;
};

} // namespace

// ---- Store choice ----

TEST_F(StoreControllerTest, OpensQuendelSqliteInTheDataFolderWhenNotUnderTest)
{
    TestController controller([] {});
    ASSERT_NE(controller.managedObjectContext(), nullptr);

    const auto stores = controller.persistentStoreCoordinator()->persistentStores();
    ASSERT_EQ(stores.size(), 1);
    EXPECT_EQ(stores.first()->type(), StoreType::SQLite);
    EXPECT_EQ(QFileInfo(stores.first()->path()).canonicalFilePath(), QFileInfo(storePath()).canonicalFilePath());
    EXPECT_TRUE(QFileInfo(storePath()).isFile());
    EXPECT_EQ(controller.localStore(), stores.first());
    EXPECT_TRUE(controller.storeLoadError().isNull());
    EXPECT_EQ(controller.persistentStoreCoordinator()->name(), QStringLiteral("CoreDataControllerBasePSC"));
}

TEST_F(StoreControllerTest, UnderUITestTheStoreIsInMemoryAndEmptyAtEveryLaunch)
{
    qputenv("isUITest", "1");
    for (int launch = 0; launch < 2; ++launch) {
        // The flag survives in the data plist, as on a real second launch.
        TestController controller([] {});
        const ContextPtr context = controller.managedObjectContext();
        ASSERT_NE(context, nullptr);
        const auto stores = controller.persistentStoreCoordinator()->persistentStores();
        ASSERT_EQ(stores.size(), 1);
        EXPECT_EQ(stores.first()->type(), StoreType::InMemory);
        EXPECT_EQ(QFileInfo(stores.first()->path()).fileName(), QStringLiteral("QuendelTest.sqlite"));
        EXPECT_EQ(QFileInfo(stores.first()->path()).absolutePath(), QFileInfo(dataFolder()).absoluteFilePath());
        EXPECT_EQ(controller.localStore(), stores.first());

        context->performAndWait([&] {
            context->insertNewObject(QStringLiteral("Person"));
            ASSERT_TRUE(context->save());
        });
        EXPECT_EQ(countOf(context, QStringLiteral("Person")), 1) << "launch " << launch;
    }
    EXPECT_FALSE(QFileInfo::exists(storePath()));
    EXPECT_FALSE(QFileInfo::exists(QDir(dataFolder()).filePath(QStringLiteral("QuendelTest.sqlite"))));
}

TEST_F(StoreControllerTest, MigratesAFileWrittenByAnOlderModelVersion)
{
    static_assert(QuendelModel::ModelVersion >= 1, "an older version must exist for this test");
    {
        // The older model knew only log titles, and only their text and place.
        auto older = std::make_shared<platform::store::ManagedObjectModel>(QuendelModel::ModelName,
                                                                           QuendelModel::ModelVersion - 1);
        platform::store::EntityDescription logTitle(QStringLiteral("LogTitle"));
        platform::store::AttributeDescription title;
        title.name = QStringLiteral("title");
        title.type = platform::store::AttributeType::String;
        platform::store::AttributeDescription order;
        order.name = QStringLiteral("displayOrder");
        order.type = platform::store::AttributeType::Integer32;
        logTitle.addAttribute(title);
        logTitle.addAttribute(order);
        older->addEntity(std::move(logTitle));
        ASSERT_TRUE(older->validate());

        auto coordinator = std::make_shared<StoreCoordinator>(older);
        QDError error;
        ASSERT_TRUE(coordinator->addPersistentStore(StoreType::SQLite, storePath(), {}, &error))
            << error.toString().toStdString();
        ContextPtr context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
        context->setPersistentStoreCoordinator(coordinator);
        platform::store::ManagedObject *kept = context->insertNewObject(QStringLiteral("LogTitle"));
        ASSERT_NE(kept, nullptr);
        kept->setValue(QStringLiteral("title"), QStringLiteral("Site visit"));
        kept->setValue(QStringLiteral("displayOrder"), 0);
        ASSERT_TRUE(context->save(&error)) << error.toString().toStdString();
        context.reset();
    }
    const QVariantMap before = StoreCoordinator::metadataForPersistentStoreOfType(StoreType::SQLite, storePath());
    ASSERT_EQ(before.value(platform::store::StoreModelVersionKey).toInt(), QuendelModel::ModelVersion - 1);

    TestController controller([] {});
    const ContextPtr context = controller.managedObjectContext();
    ASSERT_NE(controller.localStore(), nullptr) << controller.storeLoadError().toString().toStdString();
    EXPECT_TRUE(alert->alerts.empty());

    const QVariantMap after =
        controller.persistentStoreCoordinator()->metadataForPersistentStore(controller.localStore());
    EXPECT_EQ(after.value(platform::store::StoreModelVersionKey).toInt(), QuendelModel::ModelVersion);
    EXPECT_EQ(after.value(platform::store::StoreUUIDKey), before.value(platform::store::StoreUUIDKey));

    // The old record is there with the attributes the newer model added, and the new entities work.
    EXPECT_EQ(titlesInOrder<LogTitle>(context), QStringList{QStringLiteral("Site visit")});
    context->performAndWait([&] {
        const auto titles = context->executeFetchRequest(LogTitle::fetchRequest());
        ASSERT_EQ(titles.size(), 1);
        auto *title = dynamic_cast<LogTitle *>(titles.first());
        ASSERT_NE(title, nullptr);
        title->setNormalizedTitle(QStringLiteral("site visit"));
        context->insertNewObject(QStringLiteral("Person"));
        QDError error;
        EXPECT_TRUE(context->save(&error)) << error.toString().toStdString();
    });
    EXPECT_EQ(countOf(context, QStringLiteral("Person")), 1);
    // The old list had a title, so it is left alone; the to-do list was empty and gets its defaults.
    EXPECT_EQ(titlesInOrder<ToDoTitle>(context), DefaultTitles::defaultToDoTitles());
}

// ---- The load-completion callback ----

TEST_F(StoreControllerTest, OnANewDatabaseTheCallbackRunsInsideTheLoadBeforeTheTitlesAreSaved)
{
    int calls = 0;
    bool storeWasInPlace = false;
    bool titlesFlagWasSet = true;
    SaveWatch watch;
    TestController *self = nullptr;
    TestController controller([&] {
        ++calls;
        storeWasInPlace = self->localStore() != nullptr;
        titlesFlagWasSet = dataPlistValues().boolValue(CoreDataControllerShared::OneTimeAddToTitlesKey);
        // What the application hangs on the main context here (the save listener) sees the seeding's save.
        watch.watch(self->managedObjectContext());
    });
    self = &controller;

    const ContextPtr context = controller.managedObjectContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(storeWasInPlace);
    EXPECT_FALSE(titlesFlagWasSet);
    // The titles' save comes first; the custom-field types and the pin colour field follow in saves of
    // their own.
    ASSERT_EQ(watch.saves, 3);
    EXPECT_EQ(watch.insertedBySave.front(), 7 + 8);
    EXPECT_EQ(context->name(), QStringLiteral("QDMainThreadContext"));
    EXPECT_EQ(controller.managedObjectContext(), context);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(controller.persistentStoreCoordinator()->persistentStores().size(), 1);
}

TEST_F(StoreControllerTest, OnAnUpToDateStoreTheCallbackRunsOnceAfterTheLoadAndAgainForEachNewContext)
{
    {
        TestController firstLaunch([] {});
        ASSERT_NE(firstLaunch.managedObjectContext(), nullptr);
    }
    ASSERT_TRUE(dataPlistValues().boolValue(CoreDataControllerShared::OneTimeAddToTitlesKey));

    int calls = 0;
    bool loadFinishedFirst = false;
    TestController *self = nullptr;
    TestController controller([&] {
        ++calls;
        loadFinishedFirst = self->localStore() != nullptr;
    });
    self = &controller;

    const ContextPtr first = controller.managedObjectContext();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(loadFinishedFirst);
    EXPECT_EQ(controller.managedObjectContext(), first);
    EXPECT_EQ(calls, 1);

    controller.setManagedObjectContext(nullptr);
    const ContextPtr second = controller.managedObjectContext();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->name(), QStringLiteral("QDMainThreadContext"));
    EXPECT_EQ(calls, 2);
    // The store was not loaded a second time.
    EXPECT_EQ(controller.persistentStoreCoordinator()->persistentStores().size(), 1);
    EXPECT_EQ(titlesInOrder<LogTitle>(second).size(), 7);
}

TEST_F(StoreControllerTest, RequestsFromInsideTheCallbackGetTheContextBeingMadeWithoutRunningItAgain)
{
    for (const bool newDatabase : {true, false}) {
        SCOPED_TRACE(newDatabase ? "new database" : "up-to-date store");
        int calls = 0;
        ContextPtr seenInside;
        std::shared_ptr<StoreCoordinator> coordinatorInside;
        TestController *self = nullptr;
        TestController controller([&] {
            ++calls;
            seenInside = self->managedObjectContext();
            coordinatorInside = self->persistentStoreCoordinator();
        });
        self = &controller;

        const ContextPtr context = controller.managedObjectContext();
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(seenInside, context);
        EXPECT_EQ(coordinatorInside, controller.persistentStoreCoordinator());
        EXPECT_EQ(coordinatorInside->persistentStores().size(), 1);
    }
}

TEST_F(StoreControllerTest, ABareControllerHasNoQueueNoCallbackAndLoadsNoStore)
{
    CoreDataControllerShared bare;
    EXPECT_EQ(bare.filterMainQueue(), nullptr);
    EXPECT_FALSE(bool(bare.loadCompletionBlock()));
    EXPECT_TRUE(bare.persistentStoreCoordinator()->persistentStores().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(storePath()));

    TestController controller([] {});
    ASSERT_NE(controller.filterMainQueue(), nullptr);
    EXPECT_EQ(controller.filterMainQueue()->label(), QStringLiteral("com.morvane.QDFilterMainQueue"));
    EXPECT_EQ(controller.filterMainQueue()->kind(), platform::core::DispatchQueue::Kind::Serial);
    EXPECT_EQ(controller.loadedPersistentStoreCoordinator(), nullptr) << "nothing is loaded at creation";
}

// ---- Store swap ----

TEST_F(StoreControllerTest, AStoreSwapDropsTheContextThenAnnouncesTheNewOneAfterTheCallback)
{
    std::vector<QString> events;
    const void *announced = nullptr;
    TestController controller([&] { events.push_back(QStringLiteral("callback")); });
    ScopedObserver preparation(CoreDataControllerShared::RestoreDBPreparationNotification, nullptr,
                               [&](const platform::core::Notification &notification) {
                                   EXPECT_EQ(notification.object, nullptr);
                                   events.push_back(QStringLiteral("preparation"));
                               });
    ScopedObserver restored(CoreDataControllerShared::RestoreDBNotification, nullptr,
                            [&](const platform::core::Notification &notification) {
                                announced = notification.object;
                                events.push_back(QStringLiteral("restored"));
                            });

    std::weak_ptr<ManagedObjectContext> old = controller.managedObjectContext();
    const auto coordinator = controller.persistentStoreCoordinator();
    const auto model = controller.managedObjectModel();
    imageCacheApp().insert(QStringLiteral("x-test://picture"), QImage(1, 1, QImage::Format_RGB32));
    events.clear();

    controller.cleanUpViewsBeforeRestoreWithDebugKey(QStringLiteral("test"));
    EXPECT_EQ(events, std::vector<QString>{QStringLiteral("preparation")});
    EXPECT_TRUE(old.expired()) << "the controller let go of the old main context";
    EXPECT_TRUE(imageCacheApp().isEmpty()) << "the settings object's caches were emptied";
    EXPECT_EQ(controller.loadedPersistentStoreCoordinator(), coordinator) << "the coordinator stays";

    controller.reInitializePSCAfterCloudSettingChangeAndShowAlert(false);
    const ContextPtr fresh = controller.managedObjectContext();
    EXPECT_EQ(events, (std::vector<QString>{QStringLiteral("preparation"), QStringLiteral("callback"),
                                            QStringLiteral("restored")}));
    EXPECT_EQ(announced, fresh.get());
    EXPECT_EQ(controller.managedObjectModel(), coordinator->managedObjectModel());
    EXPECT_EQ(controller.managedObjectModel(), model);
    EXPECT_TRUE(alert->alerts.empty());
}

TEST_F(StoreControllerTest, AFullReloadOpensTheStoreFileAgain)
{
    TestController controller([] {});
    ContextPtr context = controller.managedObjectContext();
    context->performAndWait([&] {
        context->insertNewObject(QStringLiteral("Person"));
        ASSERT_TRUE(context->save());
    });
    context.reset();

    int restored = 0;
    ScopedObserver observer(CoreDataControllerShared::RestoreDBNotification, nullptr,
                            [&](const platform::core::Notification &) { ++restored; });
    controller.cleanUpViewsBeforeRestoreWithDebugKey(QStringLiteral("restore"));
    const auto oldCoordinator = controller.loadedPersistentStoreCoordinator();
    controller.dropLocalStore();
    controller.setPersistentStoreCoordinator(nullptr);
    controller.reInitializePSCAfterCloudSettingChangeAndShowAlert(true);

    const ContextPtr fresh = controller.managedObjectContext();
    EXPECT_NE(controller.loadedPersistentStoreCoordinator(), oldCoordinator);
    EXPECT_EQ(restored, 1);
    EXPECT_EQ(countOf(fresh, QStringLiteral("Person")), 1);
    EXPECT_EQ(titlesInOrder<LogTitle>(fresh).size(), 7) << "no second seeding";
    // The older shared cloud store is off, so the user hears that the data is local.
    ASSERT_EQ(alert->alerts.size(), 1u);
    EXPECT_EQ(alert->alerts[0].first, QStringLiteral("iCloud Turned Off"));
    EXPECT_EQ(alert->alerts[0].second, QStringLiteral("Data moved to local storage"));
}

TEST_F(StoreControllerTest, ASwapOntoACoordinatorWithoutAStoreAnnouncesNothing)
{
    TestController controller([] {});
    controller.managedObjectContext();
    int restored = 0;
    ScopedObserver observer(CoreDataControllerShared::RestoreDBNotification, nullptr,
                            [&](const platform::core::Notification &) { ++restored; });
    dataPlistValues().setValue(QStringLiteral("use_icloud"), true);

    controller.cleanUpViewsBeforeRestoreWithDebugKey(QStringLiteral("turn off"));
    controller.dropLocalStore();
    EXPECT_TRUE(controller.loadedPersistentStoreCoordinator()->persistentStores().isEmpty());
    controller.dropLocalStore(); // nothing left to remove
    controller.reInitializePSCAfterCloudSettingChangeAndShowAlert(true);

    EXPECT_NE(controller.managedObjectContext(), nullptr);
    EXPECT_EQ(restored, 0);
    EXPECT_TRUE(alert->alerts.empty()) << "with the older cloud store still on, nothing is shown";
}

TEST_F(StoreControllerTest, ReloadCompletionBlockRunsTheCallbackOnThePresentContext)
{
    int calls = 0;
    TestController controller([&] { ++calls; });
    const ContextPtr context = controller.managedObjectContext();
    controller.reloadCompletionBlock();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(controller.managedObjectContext(), context);

    CoreDataControllerShared bare;
    bare.reloadCompletionBlock(); // no callback: nothing happens
}

// ---- Default titles ----

TEST_F(StoreControllerTest, ANewDatabaseGetsTheDefaultTitlesOnceAndTheFlagIsWritten)
{
    {
        TestController controller([] {});
        const ContextPtr context = controller.managedObjectContext();
        EXPECT_EQ(titlesInOrder<LogTitle>(context), DefaultTitles::defaultLogTitles());
        EXPECT_EQ(titlesInOrder<ToDoTitle>(context), DefaultTitles::defaultToDoTitles());
        EXPECT_EQ(DefaultTitles::defaultLogTitles(),
                  (QStringList{"Meeting", "Phone", "Email", "Message", "Coffee", "Lunch", "Dinner"}));
        EXPECT_EQ(DefaultTitles::defaultToDoTitles(),
                  (QStringList{"Birthday", "Anniversary", "Meeting", "Phone", "Email", "Coffee", "Lunch", "Message"}));
    }
    EXPECT_TRUE(dataPlistValues().boolValue(CoreDataControllerShared::OneTimeAddToTitlesKey));
    QFile plist(plistFilePath());
    ASSERT_TRUE(plist.open(QIODevice::ReadOnly));
    EXPECT_TRUE(plist.readAll().contains("CoreData_OneTimeAddToTitles"));

    // A later launch that lost the flag (another computer's data plist, say) finds the titles and adds none.
    dataPlistValues().remove(CoreDataControllerShared::OneTimeAddToTitlesKey);
    TestController again([] {});
    const ContextPtr context = again.managedObjectContext();
    EXPECT_EQ(titlesInOrder<LogTitle>(context).size(), 7);
    EXPECT_EQ(titlesInOrder<ToDoTitle>(context).size(), 8);
    EXPECT_TRUE(dataPlistValues().boolValue(CoreDataControllerShared::OneTimeAddToTitlesKey));
}

// The data plist outlives the store: a store made anew (the file deleted, or left empty) gets the default
// titles although the plist says they were seeded once.
TEST_F(StoreControllerTest, AStoreMadeAnewGetsTheDefaultTitlesWhateverTheDataPlistSays)
{
    const struct {
        const char *name;
        bool leaveEmptyFile;
    } rows[] = {{"store file deleted", false}, {"store file emptied", true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        {
            TestController controller([] {});
            ASSERT_NE(controller.managedObjectContext(), nullptr);
        }
        ASSERT_TRUE(dataPlistValues().boolValue(CoreDataControllerShared::OneTimeAddToTitlesKey));
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(storePath() + suffix);
        if (row.leaveEmptyFile) {
            QFile empty(storePath());
            ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
        }

        TestController controller([] {});
        const ContextPtr context = controller.managedObjectContext();
        ASSERT_NE(context, nullptr);
        EXPECT_EQ(titlesInOrder<LogTitle>(context), DefaultTitles::defaultLogTitles());
        EXPECT_EQ(titlesInOrder<ToDoTitle>(context), DefaultTitles::defaultToDoTitles());
    }
}

TEST_F(StoreControllerTest, EachTitleListIsSeededOnlyWhenItIsEmpty)
{
    {
        TestController controller([] {});
        const ContextPtr context = controller.managedObjectContext();
        // Make the store hold one custom log title and no to-do titles.
        context->performAndWait([&] {
            for (auto *object : context->executeFetchRequest(LogTitle::fetchRequest()))
                context->deleteObject(object);
            for (auto *object : context->executeFetchRequest(ToDoTitle::fetchRequest()))
                context->deleteObject(object);
            auto *custom = context->insertNewObject<LogTitle>(LogTitle::EntityName);
            custom->setTitle(QStringLiteral("Workshop"));
            custom->setDisplayOrder(0);
            ASSERT_TRUE(context->save());
        });
    }
    dataPlistValues().remove(CoreDataControllerShared::OneTimeAddToTitlesKey);

    TestController controller([] {});
    const ContextPtr context = controller.managedObjectContext();
    EXPECT_EQ(titlesInOrder<LogTitle>(context), QStringList{QStringLiteral("Workshop")});
    EXPECT_EQ(titlesInOrder<ToDoTitle>(context), DefaultTitles::defaultToDoTitles());

    // Forced, on a new context: the lists have titles, so nothing is topped up; the flag stays set.
    controller.oneTimeDatabaseUpdates(true);
    EXPECT_EQ(titlesInOrder<LogTitle>(context).size(), 1);
    EXPECT_EQ(titlesInOrder<ToDoTitle>(context).size(), 8);
    EXPECT_TRUE(dataPlistValues().boolValue(CoreDataControllerShared::OneTimeAddToTitlesKey));
}

TEST_F(StoreControllerTest, TitlesThatWereNotStoredAreNotMarkedAsSeeded)
{
    TestController controller([] {});
    controller.managedObjectContext();
    // The coordinator loses its store: the forced seeding can neither read the lists nor save.
    controller.dropLocalStore();
    dataPlistValues().remove(CoreDataControllerShared::OneTimeAddToTitlesKey);

    controller.oneTimeDatabaseUpdates(true);
    EXPECT_FALSE(dataPlistValues().boolValue(CoreDataControllerShared::OneTimeAddToTitlesKey))
        << "the next launch must try again";
}

// ---- Geocoding requests ----

namespace {
class RecordingGeocoder : public GeocoderRequestQueue
{
public:
    void addManagedObject(platform::store::ManagedObject *record) override { records.push_back(record); }
    std::vector<platform::store::ManagedObject *> records;
};
} // namespace

TEST_F(StoreControllerTest, AddressesAreForwardedToTheGeocoderExceptCopiesOfAWholeStore)
{
    TestController controller([] {});
    const ContextPtr context = controller.managedObjectContext();
    ContextPtr copyDestination = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    copyDestination->setName(QStringLiteral("MCMigrateStoreDestinationContext"));
    copyDestination->setPersistentStoreCoordinator(controller.persistentStoreCoordinator());

    platform::store::ManagedObject *address = context->insertNewObject(QStringLiteral("PersonAddress"));
    platform::store::ManagedObject *copied = copyDestination->insertNewObject(QStringLiteral("PersonAddress"));
    auto post = [](platform::store::ManagedObject *record) {
        NotificationCenter::defaultCenter().post(QStringLiteral("PersonAddressGeocodeOnLoadNotifcation"),
                                                 static_cast<const platform::store::ManagedObject *>(record));
    };

    post(address); // no queue yet: dropped
    auto geocoder = std::make_shared<RecordingGeocoder>();
    controller.setRequestQueue(geocoder);
    EXPECT_EQ(controller.requestQueue(), geocoder);
    post(address);
    post(copied);
    EXPECT_EQ(geocoder->records, std::vector<platform::store::ManagedObject *>{address});
}
