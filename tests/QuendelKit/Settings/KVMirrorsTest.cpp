#include "SettingsFixture.h"

#include <thread>

using namespace settings_test;
using platform::core::Notification;
using platform::core::NotificationCenter;
using platform::core::ScopedObserver;
using namespace platform::kvstore;

namespace {

// Records the two display-order notices and the thread each arrived on.
struct DisplayNotices
{
    DisplayNotices()
    {
        for (const QString &name : {QDSettingsKeys::SortOrderNotification, QDSettingsKeys::DisplayOrderNotification})
            observers.emplace_back(name, nullptr, [this](const Notification &n) {
                names << n.name;
                onMain << (QThread::currentThread() == QCoreApplication::instance()->thread());
            });
    }
    QStringList names;
    QList<bool> onMain;
    std::vector<ScopedObserver> observers;
};

} // namespace

TEST_F(SettingsTest, StartUpTakesTheSharedValuesOfTheFiveMirroredSettings)
{
    writeDataPlist({{"display_setting_sortOrder", 2},
                    {"display_setting_displayOrder", 0},
                    {"todo_setting_default_day", 1},
                    {"todo_setting_default_hour", 9},
                    {"todo_setting_default_minute", 0}});
    kvs()->setObject("display_setting_displayOrder_kvs", 1);
    kvs()->setObject("todo_setting_default_day_kvs", 4);
    kvs()->setObject("todo_setting_default_hour_kvs", 9);
    kvs()->setObject("kCoreDataUpdatePinColorChanges_3.9_kvs", 1);

    SharedSettingController settings;
    settings.initKVStore();
    // The store lacks the sort order: the local value goes for this run (the next start's defaults bring it back).
    EXPECT_FALSE(dataPlistValues().contains("display_setting_sortOrder"));
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_displayOrder"), 1);
    EXPECT_EQ(dataPlistValues().integerValue("todo_setting_default_day"), 4);
    EXPECT_EQ(dataPlistValues().integerValue("todo_setting_default_hour"), 9);
    EXPECT_EQ(dataPlistValues().integerValue("todo_setting_default_minute"), 0);
    EXPECT_EQ(dataPlistValues().integerValue("kCoreDataUpdatePinColorChanges_3.9"), 1);
    // Nothing is saved by the start-up read itself.
    EXPECT_EQ(readDataPlistFile().value("display_setting_sortOrder").toLongLong(), 2);

    // Any save later in the run writes the plist without it; the next start fills the default in again.
    settings.saveDataPlist();
    SharedSettingController nextLaunch;
    nextLaunch.addValuesToPlist();
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_sortOrder"), 0);
}

TEST_F(SettingsTest, WithoutAnAccountTheStoreIsNeitherReadNorFollowed)
{
    writeDataPlist({{"display_setting_sortOrder", 2}});
    kvs()->setAccountAvailableOverride(false);
    SharedSettingController settings;
    settings.initKVStore();
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_sortOrder"), 2);
    kvs()->injectExternalChange(ServerChange, {{"display_setting_sortOrder_kvs", 5}});
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_sortOrder"), 2);
}

TEST_F(SettingsTest, ChangesFromOtherDevicesFollowTheirReason)
{
    struct Case
    {
        const char *name;
        bool oldCloudOn;
        ChangeReason reason;
        QVariantMap change;
        QVariantMap expectedPlist;
        QStringList absentFromPlist;
        QStringList notices;
    };
    const Case cases[] = {
        {"server change of the sort order posts",
         false,
         ServerChange,
         {{"display_setting_sortOrder_kvs", 3}},
         {{"display_setting_sortOrder", 3}},
         {},
         {QDSettingsKeys::SortOrderNotification}},
        {"server change of the name order posts",
         false,
         ServerChange,
         {{"display_setting_displayOrder_kvs", 1}},
         {{"display_setting_displayOrder", 1}},
         {},
         {QDSettingsKeys::DisplayOrderNotification}},
        {"with the older cloud store on nothing is posted",
         true,
         ServerChange,
         {{"display_setting_sortOrder_kvs", 3}},
         {{"display_setting_sortOrder", 3}},
         {},
         {}},
        {"an initial sync never posts",
         false,
         InitialSyncChange,
         {{"display_setting_sortOrder_kvs", 3}},
         {{"display_setting_sortOrder", 3}},
         {},
         {}},
        {"the same value changes nothing and posts nothing",
         false,
         ServerChange,
         {{"display_setting_sortOrder_kvs", 0}},
         {{"display_setting_sortOrder", 0}},
         {},
         {}},
        {"a removed shared value removes the local one",
         false,
         ServerChange,
         {{"display_setting_sortOrder_kvs", QVariant()}},
         {},
         {"display_setting_sortOrder"},
         {QDSettingsKeys::SortOrderNotification}},
        {"calendar and to-do settings follow",
         false,
         InitialSyncChange,
         {{"settings_remove_from_calendar_on_complete_kvs", 0},
          {"settings_always_add_new_tasks_to_calendar_kvs", 1},
          {"todo_setting_default_day_kvs", 3},
          {"todo_setting_default_hour_kvs", 8},
          {"todo_setting_default_minute_kvs", 30}},
         {{"settings_remove_from_calendar_on_complete", 0},
          {"settings_always_add_new_tasks_to_calendar", 1},
          {"todo_setting_default_day", 3},
          {"todo_setting_default_hour", 8},
          {"todo_setting_default_minute", 30}},
         {},
         {}},
        {"the pin-colour flag follows a server change",
         false,
         ServerChange,
         {{"kCoreDataUpdatePinColorChanges_3.9_kvs", 1}},
         {{"kCoreDataUpdatePinColorChanges_3.9", 1}},
         {},
         {}},
        {"the pin-colour flag ignores an initial sync",
         false,
         InitialSyncChange,
         {{"kCoreDataUpdatePinColorChanges_3.9_kvs", 1}},
         {},
         {"kCoreDataUpdatePinColorChanges_3.9"},
         {}},
        {"an account change changes nothing",
         false,
         AccountChange,
         {{"display_setting_sortOrder_kvs", 3}},
         {{"display_setting_sortOrder", 0}},
         {},
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        writeDataPlist({{"use_icloud", c.oldCloudOn}});
        SharedSettingController settings;
        settings.addValuesToPlist();
        settings.initKVStore();
        DisplayNotices notices;
        kvs()->injectExternalChange(c.reason, c.change);
        pumpEvents(30);
        for (auto it = c.expectedPlist.cbegin(); it != c.expectedPlist.cend(); ++it) {
            EXPECT_EQ(dataPlistValues().integerValue(it.key()), it.value().toLongLong()) << qPrintable(it.key());
            if (c.reason != AccountChange)
                EXPECT_EQ(readDataPlistFile().value(it.key()).toLongLong(), it.value().toLongLong())
                    << "saved: " << qPrintable(it.key());
        }
        for (const QString &key : c.absentFromPlist)
            EXPECT_FALSE(dataPlistValues().contains(key)) << qPrintable(key);
        EXPECT_EQ(notices.names, c.notices);
        for (bool main : notices.onMain)
            EXPECT_TRUE(main);
    }
}

TEST_F(SettingsTest, AQuotaViolationRemovesEveryDeviceEntryAndNothingElse)
{
    SharedSettingController settings;
    settings.initKVStore();
    kvs()->setObject("deviceUUID_AAA", QVariantMap{{"Name", "a"}});
    kvs()->setObject("deviceUUID_BBB", QVariantMap{{"Name", "b"}});
    kvs()->setObject("display_setting_sortOrder_kvs", 1);
    kvs()->postExternalChange(QuotaViolationChange, {});
    EXPECT_EQ(kvs()->keys(), QStringList{"display_setting_sortOrder_kvs"});
    EXPECT_EQ(KeyValueStore(kvs()->filePath()).keys(), QStringList{"display_setting_sortOrder_kvs"});
}

TEST_F(SettingsTest, RecentlyAddedContactsFromAnotherDeviceReplaceTheLocalList)
{
    SharedSettingController settings;
    settings.initKVStore();
    settings.setRecentlyAddedContacts({{"1", 10.0}});
    const QVariantMap other{{"42", 1000.0}, {"43", 2000.0}};
    kvs()->injectExternalChange(ServerChange, {{QDSettingsKeys::RecentlyAddedContactsKVS, other}});
    EXPECT_EQ(settings.recentlyAddedContacts(), other);
}

TEST_F(SettingsTest, AChangeHandledOffTheMainThreadStillPostsOnTheMainThread)
{
    SharedSettingController settings;
    settings.addValuesToPlist();
    settings.initKVStore();
    DisplayNotices notices;
    kvs()->setObject("display_setting_sortOrder_kvs", 4);
    std::thread worker([&] {
        settings.updateKVStoreItems(Notification{
            DidChangeExternallyNotification,
            kvs().get(),
            {{ChangeReasonKey, int(ServerChange)}, {ChangedKeysKey, QStringList{"display_setting_sortOrder_kvs"}}}});
    });
    worker.join();
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_sortOrder"), 4);
    EXPECT_TRUE(notices.names.isEmpty()) << "not delivered on the worker";
    pumpEvents(50);
    EXPECT_EQ(notices.names, QStringList{QDSettingsKeys::SortOrderNotification});
    EXPECT_EQ(notices.onMain, QList<bool>{true});
}

TEST_F(SettingsTest, ANoticeWithoutAReasonChangesNothing)
{
    SharedSettingController settings;
    settings.addValuesToPlist();
    settings.initKVStore();
    kvs()->setObject("display_setting_sortOrder_kvs", 4);
    settings.updateKVStoreItems(Notification{DidChangeExternallyNotification,
                                             kvs().get(),
                                             {{ChangedKeysKey, QStringList{"display_setting_sortOrder_kvs"}}}});
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_sortOrder"), 0);
}

TEST_F(SettingsTest, UnderUITestTheStoreIsNotFollowedButTheInitialMirrorsAreWritten)
{
    qputenv("isUITest", "1");
    SharedSettingController settings;
    settings.initialize();
    EXPECT_EQ(kvs()->longLong("settings_remove_from_calendar_on_complete_kvs"), 1);
    EXPECT_TRUE(kvs()->contains("display_setting_sortOrder_kvs"));
    kvs()->injectExternalChange(ServerChange, {{"display_setting_sortOrder_kvs", 5}});
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_sortOrder"), 0);
}

TEST_F(SettingsTest, WarningTextsUseTheStoredDatesWhenThereAreAny)
{
    SharedSettingController settings;
    EXPECT_EQ(settings.messageForExistingCloudKitSyncWithKVSDate(),
              "Quendel data already exists on CloudSync. Syncing with CloudSync will replace your existing data on "
              "this device with the data from CloudSync.\n\nDo you wish to continue?");
    EXPECT_EQ(settings.messageForExistingCloudSyncWithKVSDate(),
              "Please note: this is the old iCloud syncing system. We recommend that you switch to using the more "
              "reliable CloudSync system instead.\n\nQuendel data already exists on iCloud. Syncing with iCloud will "
              "replace your existing data on this device with the data from iCloud.\n\nDo you wish to continue?");

    const QDateTime saved(QDate(2025, 7, 4), QTime(15, 30), Qt::UTC);
    kvs()->setObject("CloudKitLastSaveDateKey_KVS", saved);
    kvs()->setObject("iCloudLastSaveDateKey_KVS", saved);
    const QLocale locale;
    const QString when = locale.toString(saved.toLocalTime().date(), QLocale::ShortFormat) + ", " +
                         locale.toString(saved.toLocalTime().time(), QLocale::ShortFormat);
    EXPECT_EQ(settings.messageForExistingCloudKitSyncWithKVSDate(),
              "You last saved data to this CloudSync account on " + when +
                  ". Syncing with CloudSync will replace your existing data on this device with the data from "
                  "CloudKit\n\nDo you wish to continue?");
    EXPECT_TRUE(settings.messageForExistingCloudSyncWithKVSDate().contains(
        "\n\nYou last saved data to this iCloud account on " + when + ". Syncing with iCloud will replace"));
}

TEST_F(SettingsTest, AValueWrittenByAnotherDeviceReachesThePlistWithoutAsking)
{
    SharedSettingController settings;
    settings.addValuesToPlist();
    settings.initKVStore();
    DisplayNotices notices;
    {
        // Another computer writing the shared file.
        KeyValueStore otherDevice(kvs()->filePath());
        otherDevice.setObject("display_setting_displayOrder_kvs", 1);
    }
    QElapsedTimer t;
    t.start();
    while (notices.names.isEmpty() && t.elapsed() < 5000)
        pumpEvents(20);
    EXPECT_EQ(notices.names, QStringList{QDSettingsKeys::DisplayOrderNotification});
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_displayOrder"), 1);
    EXPECT_EQ(readDataPlistFile().value("display_setting_displayOrder").toLongLong(), 1);
}
