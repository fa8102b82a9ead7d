// Which sync mode is on, the review prompt counter and the reachability watcher.
#include "Settings/SharedSettingController.h"

#include "Settings/SettingsLog.h"

#include "platform/core/Clock.h"
#include "platform/core/StandardPaths.h"
#include "platform/core/UserDefaults.h"
#include "platform/kvstore/KeyValueStore.h"

using platform::core::Clock;
using platform::core::Notification;
using platform::core::UserDefaults;

bool iCloudEnabledInApp()
{
    return dataPlistValues().boolValue(QStringLiteral("use_icloud")) && !platform::core::StandardPaths::isUITest();
}

bool SharedSettingController::isCloudKitEnabled() const
{
    if (isUITestingEnabled())
        return false;
    return UserDefaults::standardUserDefaults()->integerForKey(QStringLiteral("CloudKitUserState")) != 0;
}

void SharedSettingController::changeCloudKitSyncSettingWithState(qint64 state)
{
    auto defaults = UserDefaults::standardUserDefaults();
    if (state == 0) {
        defaults->removeObjectForKey(QStringLiteral("CloudKitUserState"));
        defaults->removeObjectForKey(QStringLiteral("PrivateZoneNotificationChangeToken"));
        defaults->removeObjectForKey(QStringLiteral("SharedZoneNotificationChangeToken"));
    } else {
        defaults->setInteger(state, QStringLiteral("CloudKitUserState"));
    }
    updateDeviceInfoDictionary();
}

bool SharedSettingController::isCloudKitUserLoggedIn() const
{
    auto kvs = keyValueStore();
    return kvs && kvs->isAccountAvailable();
}

void SharedSettingController::changeCloudSyncSettingTo(bool on)
{
    const QDateTime now = Clock::now();
    dataPlistValues().update([&](QVariantMap &plist) {
        plist.insert(QStringLiteral("use_icloud"), on);
        plist.remove(QStringLiteral("iCloudStartedUbiquity"));
        if (on) {
            plist.insert(QStringLiteral("iCloudLastUpdateKey"), now);
            plist.insert(QStringLiteral("iCloudLastSaveDateKey"), now);
            plist.insert(QStringLiteral("CheckForIOS7UpgradeToCloud"), qint64(0));
        } else {
            plist.remove(QStringLiteral("iCloudStorageURL"));
        }
    });
    saveDataPlist();
    updateDeviceInfoDictionary();
}

void SharedSettingController::changeDropboxSyncSettingTo(bool on)
{
    setIsDropboxEnabled(on);
    if (!on) {
        dataPlistValues().remove(QStringLiteral("DropBoxParentRev"));
        saveDataPlist();
    }
    updateDeviceInfoDictionary();
}

QString SharedSettingController::syncSettingString() const
{
    if (isDropboxEnabled())
        return QStringLiteral("Dropbox");
    if (dataPlistValues().boolValue(QStringLiteral("use_icloud")))
        return QStringLiteral("iCloud");
    if (isCloudKitEnabled())
        return QStringLiteral("CloudSync");
    return QStringLiteral("None");
}

bool SharedSettingController::shouldShowReviewPromptForAddedLog()
{
    qint64 count = 0;
    dataPlistValues().update([&](QVariantMap &plist) {
        count = DataPlistValues::toInteger(plist.value(QStringLiteral("totalCountLogs"))) + 1;
        plist.insert(QStringLiteral("totalCountLogs"), count);
    });
    saveDataPlist();
    return count == 25 || (count > 0 && count % 50 == 0);
}

int SharedSettingController::showReviewPromptType() const
{
    if (dataPlistValues().boolValue(QStringLiteral("never_prompt_user_review")) ||
        dataPlistValues().boolValue(QStringLiteral("already_pressed_review_in_itunes_on_launch")))
        return 0;
    const QDateTime shown = dataPlistValues().dateValue(QStringLiteral("ShowReviewPromptDate"));
    const qint64 shownMs = shown.isValid() ? shown.toMSecsSinceEpoch() : 0;
    if (!(Clock::now().toMSecsSinceEpoch() > shownMs + 2592000LL * 1000))
        return 0;
    return dataPlistValues().contains(QStringLiteral("ShowReviewPromptDate")) ? 2 : 1;
}
