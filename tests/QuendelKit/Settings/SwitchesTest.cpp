#include "SettingsFixture.h"

using namespace settings_test;

TEST_F(SettingsTest, SyncSwitchPrecedence)
{
    struct Case
    {
        bool dropbox;
        bool useICloud;
        qint64 cloudKitState; // -1: not stored
        bool uiTest;
        const char *syncSetting;
        bool cloudKitEnabled;
        bool iCloudInApp;
    };
    const Case cases[] = {
        {false, false, -1, false, "None", false, false},    {false, false, 0, false, "None", false, false},
        {false, false, 1, false, "CloudSync", true, false}, {false, false, 3, false, "CloudSync", true, false},
        {false, true, 3, false, "iCloud", true, true},      {true, true, 3, false, "Dropbox", true, true},
        {true, false, -1, false, "Dropbox", false, false},  {false, false, 3, true, "None", false, false},
        {false, true, 1, true, "iCloud", false, false},
    };
    SharedSettingController settings;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.syncSetting << " dropbox=" << c.dropbox << " icloud=" << c.useICloud
                                        << " state=" << c.cloudKitState << " uiTest=" << c.uiTest);
        settings.setIsDropboxEnabled(c.dropbox);
        dataPlistValues().setValue("use_icloud", c.useICloud);
        if (c.cloudKitState < 0)
            defaults()->removeObjectForKey("CloudKitUserState");
        else
            defaults()->setInteger(c.cloudKitState, "CloudKitUserState");
        if (c.uiTest)
            qputenv("isUITest", "");
        else
            qunsetenv("isUITest");
        EXPECT_EQ(settings.syncSettingString(), c.syncSetting);
        EXPECT_EQ(settings.isCloudKitEnabled(), c.cloudKitEnabled);
        EXPECT_EQ(iCloudEnabledInApp(), c.iCloudInApp);
    }
    EXPECT_FALSE(settings.useContactsFramework());
}

TEST_F(SettingsTest, SwitchingTheCloudSyncOffDropsItsTokens)
{
    SharedSettingController settings;
    defaults()->setObject(QByteArray("p"), "PrivateZoneNotificationChangeToken");
    defaults()->setObject(QByteArray("s"), "SharedZoneNotificationChangeToken");
    settings.changeCloudKitSyncSettingWithState(2);
    EXPECT_EQ(defaults()->integerForKey("CloudKitUserState"), 2);
    EXPECT_TRUE(defaults()->objectForKey("PrivateZoneNotificationChangeToken").isValid());
    settings.changeCloudKitSyncSettingWithState(0);
    for (const char *key :
         {"CloudKitUserState", "PrivateZoneNotificationChangeToken", "SharedZoneNotificationChangeToken"})
        EXPECT_FALSE(defaults()->objectForKey(key).isValid()) << key;
}

TEST_F(SettingsTest, SwitchingTheOlderCloudStoreOnAndOff)
{
    env->container = home->path() + "/Container";
    SharedSettingController settings;
    dataPlistValues().update([](QVariantMap &p) {
        p.insert("iCloudStartedUbiquity", true);
        p.insert("iCloudStorageURL", "/somewhere/else");
    });
    settings.changeCloudSyncSettingTo(true);
    QVariantMap plist = readDataPlistFile();
    EXPECT_TRUE(plist.value("use_icloud").toBool());
    EXPECT_FALSE(plist.contains("iCloudStartedUbiquity"));
    EXPECT_EQ(plist.value("iCloudLastUpdateKey").toDateTime(), clock->utcNow());
    EXPECT_EQ(plist.value("iCloudLastSaveDateKey").toDateTime(), clock->utcNow());
    EXPECT_EQ(plist.value("CheckForIOS7UpgradeToCloud").toLongLong(), 0);
    EXPECT_EQ(settings.urlForCloudAttachmentWithName("a.pdf").toLocalFile(),
              "/somewhere/else/FileAttachmentsCloud/a.pdf");

    settings.changeCloudSyncSettingTo(false);
    plist = readDataPlistFile();
    EXPECT_FALSE(plist.value("use_icloud").toBool());
    EXPECT_TRUE(plist.contains("use_icloud"));
    EXPECT_FALSE(plist.contains("iCloudStorageURL"));
    EXPECT_EQ(settings.urlForCloudAttachmentWithName("a.pdf").toLocalFile(),
              env->container + "/FileAttachmentsCloud/a.pdf");
}

TEST_F(SettingsTest, SwitchingDropboxOffForgetsItsRevision)
{
    SharedSettingController settings;
    dataPlistValues().setValue("DropBoxParentRev", "rev1");
    settings.changeDropboxSyncSettingTo(true);
    EXPECT_TRUE(settings.isDropboxEnabled());
    EXPECT_TRUE(dataPlistValues().contains("DropBoxParentRev"));
    settings.changeDropboxSyncSettingTo(false);
    EXPECT_FALSE(settings.isDropboxEnabled());
    EXPECT_FALSE(readDataPlistFile().contains("DropBoxParentRev"));
}

TEST_F(SettingsTest, ReviewPromptCounting)
{
    SharedSettingController settings;
    QList<int> yes;
    for (int i = 1; i <= 100; ++i) {
        if (settings.shouldShowReviewPromptForAddedLog())
            yes << i;
    }
    EXPECT_EQ(yes, (QList<int>{25, 50, 100}));
    EXPECT_EQ(readDataPlistFile().value("totalCountLogs").toLongLong(), 100);
}

TEST_F(SettingsTest, ReviewPromptType)
{
    SharedSettingController settings;
    EXPECT_EQ(settings.showReviewPromptType(), 1);
    dataPlistValues().setValue("ShowReviewPromptDate", clock->utcNow().addDays(-31));
    EXPECT_EQ(settings.showReviewPromptType(), 2);
    dataPlistValues().setValue("ShowReviewPromptDate", clock->utcNow().addDays(-29));
    EXPECT_EQ(settings.showReviewPromptType(), 0);
    dataPlistValues().setValue("ShowReviewPromptDate", clock->utcNow().addDays(-31));
    dataPlistValues().setValue("never_prompt_user_review", true);
    EXPECT_EQ(settings.showReviewPromptType(), 0);
    dataPlistValues().remove("never_prompt_user_review");
    dataPlistValues().setValue("already_pressed_review_in_itunes_on_launch", 1);
    EXPECT_EQ(settings.showReviewPromptType(), 0);
}
