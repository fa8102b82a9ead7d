// Settings kept equal on the user's computers through the shared key-value store.
#include "Settings/SharedSettingController.h"

#include "Settings/SettingsFormat.h"
#include "Settings/SettingsLog.h"

#include "platform/core/PropertyList.h"
#include "platform/kvstore/KeyValueStore.h"

using platform::core::Notification;
using platform::core::NotificationCenter;
using platform::core::QDError;
using platform::kvstore::KeyValueStore;
namespace K = QDSettingsKeys;

namespace {

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isValid() != b.isValid())
        return false;
    return !a.isValid() || a == b;
}

} // namespace

void SharedSettingController::observeSharedStoreFile()
{
    auto kvs = keyValueStore();
    if (!kvs)
        return;
    // A shared file this version cannot use is kept aside by the store; the user hears where it went.
    m_observers.emplace_back(platform::kvstore::FileKeptAsideNotification, kvs.get(), [this](const Notification &n) {
        const QString path = n.userInfo.value(platform::kvstore::FilePathKey).toString();
        const QString aside = n.userInfo.value(platform::kvstore::KeptAsidePathKey).toString();
        QDError error = QDError::withDescription(
            QuendelErrorDomain, platform::core::PropertyList::MalformedError,
            QStringLiteral("The shared settings file is damaged or was written by another version. It was kept as %1 "
                           "and the shared settings start again from this computer's.")
                .arg(aside));
        error.setUserInfoValue(QStringLiteral("KeptAsidePath"), aside);
        reportFailure(QStringLiteral("kvs-read"), QStringLiteral("Shared Settings Could Not Be Read"), path, error);
    });
}

void SharedSettingController::initKVStore()
{
    settingsLog(QStringLiteral("initKVStore"));
    auto kvs = keyValueStore();
    if (!kvs || !isCloudKitUserLoggedIn())
        return;
    if (!kvs->synchronize())
        settingsLog(QStringLiteral("initKVStore: iCloud not available"));

    m_observers.emplace_back(platform::kvstore::DidChangeExternallyNotification, kvs.get(),
                             [this](const Notification &n) { updateKVStoreItems(n); });

    static const std::pair<const char *, const char *> keys[] = {
        {"display_setting_sortOrder", "initKVStore: sortOrder different ... updating local variable"},
        {"display_setting_displayOrder", "initKVStore: display order different ... updating local variable"},
        {"todo_setting_default_day", "initKVStore: default day different ... updating local variable"},
        {"todo_setting_default_hour", "initKVStore: default hour different ... updating local variable"},
        {"todo_setting_default_minute", "initKVStore: default minute different ... updating local variable"},
    };
    for (const auto &[plainKey, line] : keys) {
        const QString key = QLatin1String(plainKey);
        const QVariant shared = kvs->object(K::KVSSuffixFormat.arg(key));
        // A store without the key removes a non-zero local value for this run; the next start's defaults
        // put it back.
        if (DataPlistValues::toInteger(shared) != dataPlistValues().integerValue(key)) {
            settingsLog(QLatin1String(line));
            dataPlistValues().setValue(key, shared);
        }
    }
    if (DataPlistValues::toInteger(kvs->object(QStringLiteral("kCoreDataUpdatePinColorChanges_3.9_kvs"))) == 1)
        dataPlistValues().setValue(QStringLiteral("kCoreDataUpdatePinColorChanges_3.9"), qint64(1));
}

void SharedSettingController::updateKVStoreItems(const Notification &notification)
{
    settingsLog(QStringLiteral("!! updateKVStoreItems !!"));
    const QVariant reasonValue = notification.userInfo.value(platform::kvstore::ChangeReasonKey);
    if (!reasonValue.isValid())
        return;
    const int reason = reasonValue.toInt();
    auto kvs = keyValueStore();
    if (!kvs)
        return;

    if (reason == platform::kvstore::QuotaViolationChange) {
        for (const QString &key : kvs->keys()) {
            if (key.contains(K::DeviceKeyPrefix))
                kvs->removeObject(key);
        }
        return;
    }
    if (reason != platform::kvstore::ServerChange && reason != platform::kvstore::InitialSyncChange)
        return;

    const bool serverChange = reason == platform::kvstore::ServerChange;
    settingsActivityLog(QStringLiteral("KVSStoreChanged: with reason %1").arg(reason));
    QStringList notifications;
    const QStringList changed = notification.userInfo.value(platform::kvstore::ChangedKeysKey).toStringList();
    for (const QString &key : changed) {
        const QVariant value = kvs->object(key);
        auto differs = [&](const QString &plainKey) { return !sameValue(dataPlistValues().value(plainKey), value); };
        if (key == QLatin1String("display_setting_sortOrder_kvs") ||
            key == QLatin1String("display_setting_displayOrder_kvs")) {
            const bool sort = key.startsWith(QLatin1String("display_setting_sortOrder"));
            const QString plainKey =
                sort ? QStringLiteral("display_setting_sortOrder") : QStringLiteral("display_setting_displayOrder");
            if (!differs(plainKey))
                continue;
            dataPlistValues().setValue(plainKey, value);
            if (serverChange && !iCloudEnabledInApp()) {
                settingsActivityLog(sort
                                        ? QStringLiteral("KVSStoreChanged: post notification for SortOrder change")
                                        : QStringLiteral("KVSStoreChanged: post notification for DisplayOrder change"));
                notifications << (sort ? K::SortOrderNotification : K::DisplayOrderNotification);
            }
            continue;
        }
        static const std::pair<const char *, const char *> plainRules[] = {
            {"settings_remove_from_calendar_on_complete", "KVSStoreChanged: update calendar Remove settings"},
            {"settings_always_add_new_tasks_to_calendar", "KVSStoreChanged: update calendar Add settings"},
            {"todo_setting_default_day", "KVSStoreChanged: update kTodoSettingDefaultDayKVS"},
            {"todo_setting_default_hour", "KVSStoreChanged: update kTodoSettingDefaultHourKVS"},
            {"todo_setting_default_minute", "KVSStoreChanged: update kTodoSettingDefaultMinuteKVS"},
        };
        bool matched = false;
        for (const auto &[plain, line] : plainRules) {
            const QString plainKey = QLatin1String(plain);
            if (key != K::KVSSuffixFormat.arg(plainKey))
                continue;
            matched = true;
            if (differs(plainKey)) {
                settingsActivityLog(QLatin1String(line));
                dataPlistValues().setValue(plainKey, value);
            }
            break;
        }
        if (matched)
            continue;
        if (serverChange && key.startsWith(QLatin1String("kCoreDataUpdatePinColorChanges_3.9"))) {
            settingsActivityLog(QStringLiteral("KVSStoreChanged: update kCoreDataUpdatePinColorChangesComplete_3_9"));
            dataPlistValues().setValue(QStringLiteral("kCoreDataUpdatePinColorChanges_3.9"), value);
            continue;
        }
        if (key == K::RecentlyAddedContactsKVS) {
            const QVariantMap contacts = value.toMap();
            setRecentlyAddedContacts(contacts);
            settingsLog(
                QStringLiteral("KVSStoreChanged: update RecentlyAddedContactsKVS count = %1").arg(contacts.size()));
        }
    }
    saveDataPlist();
    // The contacts list redraws on these, so they go to the main thread whatever thread brought the change.
    for (const QString &name : std::as_const(notifications))
        NotificationCenter::defaultCenter().postOnMain(name);
}

QString SharedSettingController::messageForExistingCloudKitSyncWithKVSDate() const
{
    auto kvs = keyValueStore();
    const QDateTime saved = kvs ? kvs->date(QStringLiteral("CloudKitLastSaveDateKey_KVS")) : QDateTime();
    if (saved.isValid()) {
        return QStringLiteral("You last saved data to this CloudSync account on %1. Syncing with CloudSync will "
                              "replace your existing data on this device with the data from CloudKit\n\nDo you wish "
                              "to continue?")
            .arg(settingsFormatDate(saved, SettingsDateStyle::Short));
    }
    return QStringLiteral("Quendel data already exists on CloudSync. Syncing with CloudSync will replace your existing "
                          "data on this device with the data from CloudSync.\n\nDo you wish to continue?");
}

QString SharedSettingController::messageForExistingCloudSyncWithKVSDate() const
{
    auto kvs = keyValueStore();
    const QDateTime saved = kvs ? kvs->date(QStringLiteral("iCloudLastSaveDateKey_KVS")) : QDateTime();
    const QString intro = QStringLiteral("Please note: this is the old iCloud syncing system. We recommend that you "
                                         "switch to using the more reliable CloudSync system instead.\n\n");
    if (saved.isValid()) {
        return intro + QStringLiteral("You last saved data to this iCloud account on %1. Syncing with iCloud will "
                                      "replace your existing data on this device with the data from iCloud\n\nDo you "
                                      "wish to continue?")
                           .arg(settingsFormatDate(saved, SettingsDateStyle::Short));
    }
    return intro +
           QStringLiteral("Quendel data already exists on iCloud. Syncing with iCloud will replace your "
                          "existing data on this device with the data from iCloud.\n\nDo you wish to continue?");
}
