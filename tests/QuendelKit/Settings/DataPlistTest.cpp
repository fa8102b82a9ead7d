#include "SettingsFixture.h"

#include "platform/core/DateComponents.h"
#include "platform/core/KeyedArchive.h"

#include "Infra/QDLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <thread>

using namespace settings_test;
using platform::core::DateComponents;
using platform::core::KeyedArchive;

namespace {

struct DefaultsCase
{
    const char *name;
    QVariantMap plist;       // on disk before the start
    QVariantMap sharedStore; // in the key-value store before the start
    QVariantMap expected;    // in the plist afterwards
    QStringList absent;      // not in the plist afterwards
    QVariantMap expectedShared;
};

} // namespace

TEST_F(SettingsTest, DefaultsTableFillsOnlyMissingKeysTopDownWithItsSideEffects)
{
    const QDateTime now = clock->utcNow();
    DateComponents interval;
    interval.setHour(0);
    interval.setDay(1);
    interval.setWeekOfYear(0);
    const QVariantMap everyDefault{
        {"settings_remove_from_calendar_on_complete", 1},
        {"settings_always_add_new_tasks_to_calendar", 0},
        {"use_icloud", false},
        {"lastCheckedForNewContactsTime", now},
        {"auto_import_contacts", false},
        {"OneTimeUpgradeFrom33To34", false},
        {"display_setting_show_calendar_signiture", true},
        {"todo_setting_default_day", 0},
        {"todo_setting_default_hour", 23},
        {"todo_setting_default_minute", 0},
        {"ContactSettingsDraftEmailOption", true},
        {"display_setting_sortOrder", 0},
        {"display_setting_displayOrder", 0},
        {"HasShownFieldsIntoMessage", 1},
        {"AutoBackupEnabled", true},
        {"AutoBackupMaximumLimit", 10},
        {"settings_dialing_options", "settings_phone_use_skype"},
        {"has_shown_whats_new:Mac1.4.4_VERSION", true},
        {"has_shown_whats_new:4.0.1_VERSION", true},
    };
    const QDateTime promptDate = now.addDays(-3);
    const DefaultsCase cases[] = {
        {"empty plist gets every default and the four mirrors",
         {},
         {},
         everyDefault,
         {"totalCountLogs"},
         {{"settings_remove_from_calendar_on_complete_kvs", 1},
          {"settings_always_add_new_tasks_to_calendar_kvs", 0},
          {"display_setting_sortOrder_kvs", 0},
          {"display_setting_displayOrder_kvs", 0}}},
        {"first version flag lowers the log count to 40 and the second then leaves it",
         {{"totalCountLogs", 60},
          {"ShowReviewPromptDate", promptDate},
          {"last_downloaded_FAQ_date", now},
          {"already_pressed_review_in_itunes_on_launch", true}},
         {},
         {{"totalCountLogs", 40}, {"already_pressed_review_in_itunes_on_launch", 0}},
         {"ShowReviewPromptDate", "last_downloaded_FAQ_date"},
         {}},
        {"only the second version flag missing lowers the count to 20",
         {{"totalCountLogs", 60}, {"has_shown_whats_new:Mac1.4.4_VERSION", true}, {"ShowReviewPromptDate", promptDate}},
         {},
         {{"totalCountLogs", 20}, {"already_pressed_review_in_itunes_on_launch", 0}},
         {"ShowReviewPromptDate"},
         {}},
        {"a count of 50 stays",
         {{"totalCountLogs", 50}, {"ShowReviewPromptDate", promptDate}},
         {},
         {{"totalCountLogs", 50}, {"ShowReviewPromptDate", promptDate}},
         {"already_pressed_review_in_itunes_on_launch"},
         {}},
        {"a present default day blocks the hour and minute defaults",
         {{"todo_setting_default_day", 2}},
         {},
         {{"todo_setting_default_day", 2}},
         {"todo_setting_default_hour", "todo_setting_default_minute"},
         {}},
        {"a present key keeps a value of any type, and a present AutoBackupEnabled blocks its companions",
         {{"use_icloud", "odd"}, {"AutoBackupEnabled", false}, {"display_setting_sortOrder", 2}},
         {},
         {{"use_icloud", "odd"}, {"AutoBackupEnabled", false}, {"display_setting_sortOrder", 2}},
         {"AutoBackupMaximumLimit", "AutoBackupInterval"},
         {}},
        {"a shared value already there is left alone while the plist gets the local default",
         {},
         {{"display_setting_sortOrder_kvs", 3}},
         {{"display_setting_sortOrder", 0}},
         {},
         {{"display_setting_sortOrder_kvs", 3}}},
    };
    for (const DefaultsCase &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        writeDataPlist(c.plist);
        for (auto it = c.sharedStore.cbegin(); it != c.sharedStore.cend(); ++it)
            kvs()->setObject(it.key(), it.value());
        defaults()->setInteger(9, "HockeyDebug-LogsCount");

        SharedSettingController settings;
        settings.addValuesToPlist();

        const QVariantMap memory = dataPlistValues().snapshot();
        for (auto it = c.expected.cbegin(); it != c.expected.cend(); ++it)
            EXPECT_EQ(memory.value(it.key()), it.value()) << qPrintable(it.key());
        for (const QString &key : c.absent)
            EXPECT_FALSE(memory.contains(key)) << qPrintable(key);
        for (auto it = c.expectedShared.cbegin(); it != c.expectedShared.cend(); ++it)
            EXPECT_EQ(kvs()->object(it.key()).toLongLong(), it.value().toLongLong()) << qPrintable(it.key());
        if (!c.plist.contains("AutoBackupEnabled")) {
            EXPECT_EQ(
                KeyedArchive::unarchive(memory.value("AutoBackupInterval").toByteArray())->value<DateComponents>(),
                interval);
        }
        for (const char *key : {"HockeyDebug-AutoBackupCount", "HockeyDebug-LogsCount", "HockeyDebug-ToDosCount",
                                "HockeyDebug-AddContactCount"}) {
            EXPECT_TRUE(defaults()->objectForKey(key).isValid()) << key;
            EXPECT_EQ(defaults()->integerForKey(key), 0) << key;
        }
        EXPECT_EQ(readDataPlistFile(), memory) << "the whole dictionary is saved";
    }
}

TEST_F(SettingsTest, NameOrderDefaultFollowsTheAddressBook)
{
    env->firstNameFirst = false;
    SharedSettingController settings;
    settings.addValuesToPlist();
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_displayOrder"), 1);
    EXPECT_EQ(kvs()->longLong("display_setting_displayOrder_kvs"), 1);
}

TEST_F(SettingsTest, FirstLaunchMakesTheDataFolderAndSavesTheFilledPlist)
{
    ASSERT_FALSE(QFileInfo::exists(dataFolder()));
    SharedSettingController settings;
    EXPECT_EQ(settings.applicationSupportPath(), dataFolder());
    EXPECT_EQ(plistFilePath(), dataFile("data.plist"));
    // Nothing but the mark of a first run, which the launch reads before anything else.
    EXPECT_EQ(dataPlistValues().count(), 1);
    EXPECT_TRUE(dataPlistValues().boolValue(QStringLiteral("first_time_download")));
    settings.addValuesToPlist();
    EXPECT_TRUE(readDataPlistFile().contains("settings_dialing_options"));
    EXPECT_TRUE(alert->all().empty());
}

TEST_F(SettingsTest, UpdatePlistAndKVSWritesAndRemovesBothCopies)
{
    SharedSettingController settings;
    settings.updatePlistAndKVSWithKey("kCoreDataUpdatePinColorChanges_3.9", 1);
    EXPECT_EQ(dataPlistValues().integerValue("kCoreDataUpdatePinColorChanges_3.9"), 1);
    EXPECT_EQ(kvs()->longLong("kCoreDataUpdatePinColorChanges_3.9_kvs"), 1);
    EXPECT_EQ(readDataPlistFile().value("kCoreDataUpdatePinColorChanges_3.9").toLongLong(), 1);

    settings.updatePlistAndKVSWithKey("kCoreDataUpdatePinColorChanges_3.9", QVariant());
    EXPECT_FALSE(dataPlistValues().contains("kCoreDataUpdatePinColorChanges_3.9"));
    EXPECT_FALSE(kvs()->contains("kCoreDataUpdatePinColorChanges_3.9_kvs"));
    EXPECT_FALSE(readDataPlistFile().contains("kCoreDataUpdatePinColorChanges_3.9"));
    EXPECT_FALSE(
        platform::kvstore::KeyValueStore(kvs()->filePath()).contains("kCoreDataUpdatePinColorChanges_3.9_kvs"));
}

TEST_F(SettingsTest, ADamagedDataPlistIsKeptAsideReportedAndReplacedByDefaults)
{
    QDir().mkpath(dataFolder());
    const QByteArray damaged("<?xml version=\"1.0\"?><plist><dict><key>use_icloud</key><tr");
    {
        QFile f(dataFile("data.plist"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damaged);
    }
    SharedSettingController settings;
    EXPECT_EQ(dataPlistValues().count(), 0);
    const QStringList aside = QDir(dataFolder()).entryList({"data.plist.damaged-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(dataFile(aside.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), damaged);

    const auto alerts = alert->all();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].message.contains(dataFile("data.plist")));
    EXPECT_TRUE(alerts[0].message.contains(aside.first()));

    settings.addValuesToPlist();
    EXPECT_TRUE(readDataPlistFile().contains("use_icloud"));
    EXPECT_EQ(QDir(dataFolder()).entryList({"data.plist.damaged-*"}, QDir::Files), aside);
}

TEST_F(SettingsTest, AnUncreatableDataFolderIsReportedAndNothingPretendsToSave)
{
    // A plain file where the data home should be: the data folder cannot be made below it.
    const QString blocked = home->path() + "/blocked-data-home";
    {
        QFile f(blocked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    qputenv("XDG_DATA_HOME", blocked.toUtf8());
    SharedSettingController settings;
    EXPECT_TRUE(settings.applicationSupportPath().isNull());
    EXPECT_TRUE(settings.applicationSupportDirectoryURL().isEmpty());
    EXPECT_TRUE(plistFilePath().isNull());
    EXPECT_TRUE(settings.dataFilePath("data.plist").isNull());

    auto alerts = alert->all();
    ASSERT_GE(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].message.contains(blocked + "/com.quendel.QuendelMac")) << qPrintable(alerts[0].message);
    EXPECT_EQ(alerts.size(), 1u) << "the same failure is reported once";

    dataPlistValues().setValue("k", 1);
    EXPECT_FALSE(settings.saveDataPlist());
    alerts = alert->all();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_NE(alerts[1].title, alerts[0].title);
}

TEST_F(SettingsTest, AnUnwritablePlistIsReportedOnceUntilASaveWorksAgain)
{
    SharedSettingController settings;
    settings.addValuesToPlist();
    // A folder where the file should go makes every replace of it fail, whoever runs the test.
    QFile::remove(dataFile("data.plist"));
    QDir().mkpath(dataFile("data.plist") + "/inside");
    EXPECT_FALSE(settings.saveDataPlist());
    EXPECT_FALSE(settings.saveDataPlist());
    auto alerts = alert->all();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].message.contains(dataFile("data.plist")));

    QDir(dataFile("data.plist")).removeRecursively();
    EXPECT_TRUE(settings.saveDataPlist());
    QFile::remove(dataFile("data.plist"));
    QDir().mkpath(dataFile("data.plist") + "/inside");
    EXPECT_FALSE(settings.saveDataPlist());
    EXPECT_EQ(alert->all().size(), 2u);
}

TEST_F(SettingsTest, InitializeRegistersThePlistAsTheUserDefaultsFallback)
{
    writeDataPlist({{"custom_key", "custom"}});
    SharedSettingController settings;
    settings.setSharedSettingsDelegate(std::make_shared<ForegroundDelegate>());
    settings.initialize();
    EXPECT_EQ(defaults()->stringForKey("custom_key"), "custom");
    EXPECT_EQ(defaults()->stringForKey("settings_dialing_options"), "settings_phone_use_skype");
    // Later changes are not registered again.
    dataPlistValues().setValue("custom_key", "changed");
    EXPECT_EQ(defaults()->stringForKey("custom_key"), "custom");
}

TEST_F(SettingsTest, InitializeFillsDefaultsThenReadsTheSharedStoreThenRegisters)
{
    // Defaults first (the plist gets 0 and the shared value is left alone), then the shared value is taken
    // over, and only then is the plist registered: the fallback sees the shared value.
    kvs()->setObject("display_setting_sortOrder_kvs", 3);
    SharedSettingController settings;
    settings.initialize();
    EXPECT_EQ(dataPlistValues().integerValue("display_setting_sortOrder"), 3);
    EXPECT_EQ(defaults()->registeredDefaults().value("display_setting_sortOrder").toLongLong(), 3);
    EXPECT_EQ(readDataPlistFile().value("display_setting_sortOrder").toLongLong(), 0)
        << "the defaults were saved before the shared store was read";
    EXPECT_TRUE(settings.localFileAttachmentsDirectoryURL().isValid());
    EXPECT_TRUE(settings.reachabilityStatus() != nullptr);
    EXPECT_TRUE(settings.globalContactStore() != nullptr);
    EXPECT_TRUE(settings.qdFileLogger() != nullptr);
    EXPECT_TRUE(settings.contactsHashValuesCache().isEmpty());
}

TEST_F(SettingsTest, ConcurrentReadersAndWritersOfThePlistNeverSeeATornDictionary)
{
    SharedSettingController settings;
    settings.addValuesToPlist();
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < 3; ++w) {
        threads.emplace_back([w, &settings] {
            for (int i = 0; i < 200; ++i) {
                // Two keys always written together, so a reader can check they match.
                dataPlistValues().update([&](QVariantMap &p) {
                    p.insert(QStringLiteral("pairA"), w * 1000 + i);
                    p.insert(QStringLiteral("pairB"), w * 1000 + i);
                });
                if (i % 40 == 0)
                    settings.saveDataPlist();
            }
        });
    }
    threads.emplace_back([&] {
        while (!stop) {
            const QVariantMap snap = dataPlistValues().snapshot();
            if (snap.value("pairA") != snap.value("pairB"))
                ++torn;
        }
    });
    for (int i = 0; i < 3; ++i)
        threads[i].join();
    stop = true;
    threads.back().join();
    EXPECT_EQ(torn.load(), 0);
    ASSERT_TRUE(settings.saveDataPlist());
    EXPECT_EQ(readDataPlistFile(), dataPlistValues().snapshot());
    EXPECT_TRUE(alert->all().empty());
}

namespace {
// Keeps every activity-log line, so a test can see what reached the log.
class LineCatcher : public QDLogger
{
public:
    QStringList lines()
    {
        QDLog::flushLog();
        std::lock_guard lock(mutex);
        return caught;
    }

protected:
    void writeLine(const QDLogMessage &message, const QString &, bool) override
    {
        std::lock_guard lock(mutex);
        caught.append(message.message);
    }

private:
    std::mutex mutex;
    QStringList caught;
};
} // namespace

// A data plist that is intact but cannot be opened is not damaged: it stays where it is, nothing is
// written over it, the user is told so without contradiction, and the failure reaches the log once the
// log exists.
TEST_F(SettingsTest, AnUnreadableDataPlistStaysInPlaceIsReportedAndLogged)
{
    static auto catcher = [] {
        auto made = std::make_shared<LineCatcher>();
        QDLog::addLogger(made);
        return made;
    }();
    // A folder in the file's place cannot be opened, whoever runs the test.
    QDir().mkpath(dataFile("data.plist") + "/inside");
    SharedSettingController settings;
    EXPECT_EQ(dataPlistValues().count(), 0);
    EXPECT_TRUE(QFileInfo(dataFile("data.plist") + "/inside").isDir());
    EXPECT_TRUE(QDir(dataFolder()).entryList({"data.plist.damaged-*"}, QDir::AllEntries).isEmpty());

    auto alerts = alert->all();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, "Settings Could Not Be Read");
    EXPECT_TRUE(alerts[0].message.contains(dataFile("data.plist")));
    EXPECT_TRUE(alerts[0].message.contains("left where it is")) << qPrintable(alerts[0].message);
    EXPECT_FALSE(alerts[0].message.contains("kept as")) << qPrintable(alerts[0].message);

    dataPlistValues().setValue("k", 1);
    EXPECT_FALSE(settings.saveDataPlist());
    EXPECT_TRUE(QFileInfo(dataFile("data.plist") + "/inside").isDir());
    EXPECT_EQ(alert->all().size(), 1u) << "a save that is held back is not a second failure";

    settings.initialize();
    const QStringList logged = catcher->lines();
    EXPECT_TRUE(std::any_of(logged.begin(), logged.end(), [&](const QString &line) {
        return line.contains("Settings Could Not Be Read") && line.contains(dataFile("data.plist"));
    })) << qPrintable(logged.join('\n'));
}
