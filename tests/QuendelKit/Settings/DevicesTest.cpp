#include "SettingsFixture.h"

#include "Infra/QDSSKeychain.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>

using namespace settings_test;

namespace {

QString ownIdentifier()
{
    return QDSSKeychain::passwordForService("LocalUUID", "pin");
}

double secs(const QDateTime &t)
{
    return double(t.toMSecsSinceEpoch()) / 1000.0;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class DevicesTest : public SettingsTest
{
protected:
    std::unique_ptr<SharedSettingController> launch()
    {
        auto settings = std::make_unique<SharedSettingController>();
        settings->setSharedSettingsDelegate(std::make_shared<ForegroundDelegate>());
        settings->initialize();
        return settings;
    }
    QString ownKey() const { return "deviceUUID_" + ownIdentifier(); }
};

TEST_F(DevicesTest, FirstLaunchMakesAnIdentifierAndAFullEntryOfThisMachine)
{
    const QDateTime installed(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    writeDataPlist({{"first_time_download_date", installed}});
    auto settings = launch();

    const QString identifier = ownIdentifier();
    ASSERT_FALSE(identifier.isEmpty());
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(identifier)
                    .hasMatch());
    const QVariantMap entry = kvs()->dictionary("deviceUUID_" + identifier);
    EXPECT_EQ(entry.size(), 11);
    EXPECT_EQ(entry.value("Name").toString(), QSysInfo::machineHostName());
    EXPECT_EQ(entry.value("System").toString(), "Mac");
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(entry.value("Version").toString()).hasMatch());
    EXPECT_FALSE(entry.value("Model").toString().isEmpty());
    EXPECT_EQ(entry.value("Product").toString(), "Quendel");
    EXPECT_FALSE(entry.value("CreatedDateString").toString().isEmpty());
    EXPECT_DOUBLE_EQ(entry.value("CreatedDate").toDouble(), secs(installed));
    EXPECT_DOUBLE_EQ(entry.value("ActiveDate").toDouble(), secs(clock->utcNow()));
    EXPECT_EQ(entry.value("QDVersion").toString(), "5.1");
    EXPECT_EQ(entry.value("SyncSetting").toString(), "None");
    EXPECT_EQ(entry.value("TotalContacts").toLongLong(), 7);
    // The contacts store exists before the registry counts contacts.
    EXPECT_LT(contacts->calls.indexOf("makeContactStore"), contacts->calls.indexOf("addressBookPeopleCount"));
    EXPECT_LT(contacts->calls.indexOf("initDeDupeMatchingIDs"), contacts->calls.indexOf("makeContactStore"));
}

TEST_F(DevicesTest, RefreshWritesOnlyWhenSomethingChangedOrTheEntryIsOld)
{
    auto settings = launch();
    const QString key = ownKey();
    const QString file = kvs()->filePath();
    const double created = kvs()->dictionary(key).value("ActiveDate").toDouble();

    clock->advanceSeconds(300);
    const QByteArray before = fileBytes(file);
    auto second = launch();
    EXPECT_EQ(ownIdentifier(), key.mid(11)) << "the identifier is kept";
    EXPECT_EQ(fileBytes(file), before) << "nothing changed within 600 s: nothing written";

    clock->advanceSeconds(301);
    second->updateDeviceInfoDictionary();
    EXPECT_DOUBLE_EQ(kvs()->dictionary(key).value("ActiveDate").toDouble(), created + 601);

    // A changed field is written at once, whatever the age.
    contacts->peopleCount = 8;
    second->updateDeviceInfoDictionary();
    EXPECT_EQ(kvs()->dictionary(key).value("TotalContacts").toLongLong(), 8);
    EXPECT_DOUBLE_EQ(kvs()->dictionary(key).value("ActiveDate").toDouble(), created + 601);

    second->changeDropboxSyncSettingTo(true);
    EXPECT_EQ(kvs()->dictionary(key).value("SyncSetting").toString(), "Dropbox");
}

TEST_F(DevicesTest, AnActiveDateStoredAsADateBecomesANumber)
{
    auto settings = launch();
    QVariantMap entry = kvs()->dictionary(ownKey());
    entry.insert("ActiveDate", clock->utcNow());
    kvs()->setObject(ownKey(), entry);
    settings->updateDeviceInfoDictionary();
    const QVariant active = kvs()->dictionary(ownKey()).value("ActiveDate");
    EXPECT_EQ(active.typeId(), QMetaType::Double);
    EXPECT_DOUBLE_EQ(active.toDouble(), secs(clock->utcNow()));
}

TEST_F(DevicesTest, AVanishedEntryIsWrittenBackWithTheRefreshedFields)
{
    auto settings = launch();
    kvs()->removeObject(ownKey());
    settings->updateDeviceInfoDictionary();
    EXPECT_EQ(kvs()->dictionary(ownKey()).keys(),
              (QStringList{"ActiveDate", "QDVersion", "SyncSetting", "TotalContacts", "Version"}));
}

TEST_F(DevicesTest, OldEntriesArePrunedAndLeftOutOfTheSupportText)
{
    auto settings = launch();
    const double now = secs(clock->utcNow());
    const QVariantMap base{{"Name", "Other"},           {"QDVersion", "4.0"}, {"System", "Mac"},
                           {"Version", "13.1.0"},       {"Model", "Box"},     {"CreatedDate", now - 1000 * 86400.0},
                           {"SyncSetting", "CloudSync"}};
    QVariantMap old = base, recent = base, legacy = base;
    old.insert("Name", "OldBox");
    old.insert("ActiveDate", now - 366 * 86400.0);
    recent.insert("Name", "RecentBox");
    recent.insert("ActiveDate", now - 364 * 86400.0);
    legacy.insert("Name", "LegacyBox");
    legacy.insert("ActiveDate", clock->utcNow().addDays(-10));
    kvs()->setObject("deviceUUID_OLD", old);
    kvs()->setObject("deviceUUID_RECENT", recent);
    kvs()->setObject("deviceUUID_LEGACY", legacy);

    const QString text = settings->signatureForSupportEmail();
    EXPECT_FALSE(text.contains("OldBox"));
    EXPECT_TRUE(text.contains("\n\nOther Devices: \n\n\nName: "));
    EXPECT_TRUE(text.contains("Name: RecentBox\nQuendel Version: 4.0\nMac Version: 13.1.0\nHardware: Box\n"));
    EXPECT_TRUE(text.contains("LegacyBox")) << "an entry with a date object is read, not failed on";
    EXPECT_FALSE(text.contains("Name: " + QSysInfo::machineHostName() + "\nQuendel Version: 5.1\nMac Version"))
        << "this device is not among the others";

    settings->cleanupOldDeviceInfos();
    EXPECT_FALSE(kvs()->contains("deviceUUID_OLD"));
    EXPECT_TRUE(kvs()->contains("deviceUUID_RECENT"));
    EXPECT_TRUE(kvs()->contains("deviceUUID_LEGACY"));
    EXPECT_TRUE(kvs()->contains(ownKey()));
}

TEST_F(DevicesTest, SupportTextHeadAndCloudLines)
{
    auto settings = launch();
    QString text = settings->signatureForSupportEmail();
    const QString head = "\n\nCurrent Device:\n\nName: " + QSysInfo::machineHostName() +
                         "\nQuendel Version: 5.1\nMac OS: " + settings->operatingSystemVersionString() +
                         "\nHardware: " + settings->deviceHardwareName() + " \nSync Setting: None \n";
    EXPECT_TRUE(text.startsWith(head)) << qPrintable(text);
    EXPECT_FALSE(text.contains("Last Saved"));
    EXPECT_FALSE(text.contains("Install Date"));

    defaults()->setInteger(1, "CloudKitUserState");
    text = settings->signatureForSupportEmail();
    EXPECT_TRUE(text.contains("Sync Setting: CloudSync \nLast Saved (local): \nLast Saved (iCloud): \nLast Sync: \n"
                              "Last Update: \n"))
        << qPrintable(text);
}

TEST_F(DevicesTest, WithoutTheForegroundAnswerTheKeychainIsLeftAlone)
{
    SharedSettingController settings; // no delegate: counts as the background state
    kvs()->setObject("RecentlyAddedContactsHashesKVS", QVariantMap{{"5", 1.0}});
    settings.initialize();
    EXPECT_TRUE(ownIdentifier().isEmpty());
    for (const QString &key : kvs()->keys())
        EXPECT_FALSE(key.startsWith("deviceUUID_"));
    EXPECT_EQ(settings.recentlyAddedContacts(), (QVariantMap{{"5", 1.0}}));
}

TEST_F(DevicesTest, NoDisplayNameNoEntry)
{
    env->displayName = QString();
    auto settings = launch();
    EXPECT_FALSE(ownIdentifier().isEmpty());
    EXPECT_FALSE(kvs()->contains(ownKey()));
}

TEST_F(DevicesTest, RecentlyAddedContactsExpireAfterThirtyDays)
{
    auto settings = launch();
    const double now = secs(clock->utcNow());
    settings->setRecentlyAddedContacts({{"111", now - 31 * 86400.0}, {"222", now - 29 * 86400.0}});
    settings->savePersonObjectToRecentKVSContacts({18446744073709551615ull});
    const QVariantMap expected{{"222", now - 29 * 86400.0}, {"18446744073709551615", now}};
    EXPECT_EQ(settings->recentlyAddedContacts(), expected);
    EXPECT_EQ(kvs()->dictionary("RecentlyAddedContactsHashesKVS"), expected);
}

TEST_F(DevicesTest, BeforeTheSharedListIsReadNothingIsAddedOrOverwritten)
{
    kvs()->setObject("RecentlyAddedContactsHashesKVS", QVariantMap{{"9", 1.0}});
    SharedSettingController settings;
    settings.savePersonObjectToRecentKVSContacts({42});
    EXPECT_TRUE(settings.recentlyAddedContacts().isEmpty());
    EXPECT_EQ(kvs()->dictionary("RecentlyAddedContactsHashesKVS"), (QVariantMap{{"9", 1.0}}));
}

// A keychain that cannot keep the device identifier must not put a new device into the shared list on every
// launch: each run says so once, uses one identifier of its own, and registers nothing.
TEST_F(DevicesTest, AnUnusableKeychainRegistersNoNewDeviceOnAnyLaunch)
{
    QString settingsFolder;
    const struct {
        const char *name;
        std::function<void()> damage;
    } rows[] = {
        {"keychain is a folder",
         [&] { QDir().mkpath(settingsFolder + "/keychain/inside"); }},
        {"keychain is garbage",
         [&] {
             QDir().mkpath(settingsFolder);
             QFile f(settingsFolder + "/keychain");
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write("QuendelKeychain 1\n0123456789abcdef\t{\"svce\":\"LocalUUID\",\"acct\":\"pin\",\"data\":\"QUJD\"}\n");
         }},
        {"keychain cannot be written",
         [&] {
             // A file where the keychain's folder should be: nothing can be stored below it.
             QDir(settingsFolder).removeRecursively();
             QFile f(settingsFolder);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        settingsFolder = home->configHome() + "/Quendel";
        row.damage();
        for (int run = 0; run < 2; ++run) {
            alert->alerts.clear();
            auto settings = launch();
            for (const QString &key : kvs()->keys())
                EXPECT_FALSE(key.startsWith("deviceUUID_")) << key.toStdString();
            const auto alerts = alert->all();
            const auto told = std::count_if(alerts.begin(), alerts.end(), [](const RecordedAlert &a) {
                return a.title == "This Computer's Identity Cannot Be Kept";
            });
            EXPECT_EQ(told, 1) << "said once in run " << run;
            // Within the run, every later use of the identifier finds the run's own.
            settings->updateDeviceInfoDictionary();
            settings->cleanupOldDeviceInfos();
            for (const QString &key : kvs()->keys())
                EXPECT_FALSE(key.startsWith("deviceUUID_")) << key.toStdString();
        }
    }
}
