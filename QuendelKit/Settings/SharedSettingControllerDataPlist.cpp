// The data plist: the defaults written at every start, saving, and settings mirrored to the key-value store.
#include "Settings/SharedSettingController.h"

#include "Settings/SettingsLog.h"

#include "platform/core/Clock.h"
#include "platform/core/DateComponents.h"
#include "platform/core/KeyedArchive.h"
#include "platform/core/UserDefaults.h"
#include "platform/kvstore/KeyValueStore.h"

using platform::core::Clock;
using platform::core::DateComponents;
using platform::core::KeyedArchive;
using platform::core::QDError;
using platform::core::UserDefaults;
namespace K = QDSettingsKeys;

namespace {

struct Mirror
{
    QString key;
    QVariant value;
    QString logLine;
};

} // namespace

void SharedSettingController::addValuesToPlist()
{
    const QDateTime now = Clock::now();
    const qint64 sortOrder = getDefaultContactsSortOrdering();
    const qint64 displayOrder = getDefaultNameDisplayOrdering();
    DateComponents backupInterval;
    backupInterval.setHour(0);
    backupInterval.setDay(1);
    backupInterval.setWeekOfYear(0);
    const QByteArray archivedInterval = KeyedArchive::archive(backupInterval.toVariant());

    QList<Mirror> mirrors;
    QStringList lines;
    // One pass under the dictionary's lock, top to bottom: each row sees what the rows above it wrote.
    dataPlistValues().update([&](QVariantMap &plist) {
        auto missing = [&plist](const char *key) { return !plist.contains(QLatin1String(key)); };
        auto set = [&plist](const char *key, const QVariant &value) { plist.insert(QLatin1String(key), value); };
        auto lowerLogCount = [&](qint64 to) {
            if (DataPlistValues::toInteger(plist.value(QStringLiteral("totalCountLogs"))) >= 51) {
                set("totalCountLogs", to);
                set("already_pressed_review_in_itunes_on_launch", qint64(0));
                plist.remove(QStringLiteral("ShowReviewPromptDate"));
            }
        };

        if (missing("settings_remove_from_calendar_on_complete")) {
            set("settings_remove_from_calendar_on_complete", qint64(1));
            mirrors << Mirror{QStringLiteral("settings_remove_from_calendar_on_complete_kvs"), qint64(1),
                              QStringLiteral("KVS: setting intial Calendar Remove settings to 1")};
        }
        if (missing("settings_always_add_new_tasks_to_calendar")) {
            set("settings_always_add_new_tasks_to_calendar", qint64(0));
            mirrors << Mirror{QStringLiteral("settings_always_add_new_tasks_to_calendar_kvs"), qint64(0),
                              QStringLiteral("KVS: setting intial Calendar Add settings to 0")};
        }
        if (missing("use_icloud"))
            set("use_icloud", false);
        if (missing("lastCheckedForNewContactsTime"))
            set("lastCheckedForNewContactsTime", now);
        if (missing("auto_import_contacts"))
            set("auto_import_contacts", false);
        if (missing("OneTimeUpgradeFrom33To34"))
            set("OneTimeUpgradeFrom33To34", false);
        if (missing("display_setting_show_calendar_signiture"))
            set("display_setting_show_calendar_signiture", true);
        if (missing("todo_setting_default_day")) {
            set("todo_setting_default_day", qint64(0));
            set("todo_setting_default_hour", qint64(23));
            set("todo_setting_default_minute", qint64(0));
        }
        if (missing("ContactSettingsDraftEmailOption"))
            set("ContactSettingsDraftEmailOption", true);
        if (missing("display_setting_sortOrder")) {
            set("display_setting_sortOrder", sortOrder);
            mirrors << Mirror{
                QStringLiteral("display_setting_sortOrder_kvs"), sortOrder,
                QStringLiteral("KVS: setting intial sort order since none exists, value = %1").arg(sortOrder)};
        }
        if (missing("display_setting_displayOrder")) {
            set("display_setting_displayOrder", displayOrder);
            mirrors << Mirror{
                QStringLiteral("display_setting_displayOrder_kvs"), displayOrder,
                QStringLiteral("KVS: setting intial Display Order since none exists: value = %1").arg(displayOrder)};
        }
        if (missing("HasShownFieldsIntoMessage"))
            set("HasShownFieldsIntoMessage", qint64(1));
        if (missing("AutoBackupEnabled")) {
            set("AutoBackupEnabled", true);
            set("AutoBackupMaximumLimit", qint64(10));
            set("AutoBackupInterval", archivedInterval);
        }
        if (missing("settings_dialing_options"))
            set("settings_dialing_options", QStringLiteral("settings_phone_use_skype"));
        if (missing("has_shown_whats_new:Mac1.4.4_VERSION")) {
            set("has_shown_whats_new:Mac1.4.4_VERSION", true);
            lines << QStringLiteral("update to kPlistWhatsNewMac144_VERSION");
            lowerLogCount(40);
        }
        if (missing("has_shown_whats_new:4.0.1_VERSION")) {
            set("has_shown_whats_new:4.0.1_VERSION", true);
            lines << QStringLiteral("setting kPlistWhatsNew4_0_1_VERSION to YES");
            lowerLogCount(20);
            plist.remove(QStringLiteral("last_downloaded_FAQ_date"));
        }
    });
    for (const QString &line : std::as_const(lines))
        settingsLog(line);

    // The store decides for itself whether the mirrors ever leave this machine.
    if (auto kvs = keyValueStore()) {
        for (const Mirror &mirror : std::as_const(mirrors)) {
            if (kvs->contains(mirror.key))
                continue;
            settingsLog(mirror.logLine);
            kvs->setObject(mirror.key, mirror.value);
        }
    }

    auto defaults = UserDefaults::standardUserDefaults();
    for (const char *key : {"HockeyDebug-AutoBackupCount", "HockeyDebug-LogsCount", "HockeyDebug-ToDosCount",
                            "HockeyDebug-AddContactCount"})
        defaults->setInteger(0, QLatin1String(key));

    saveDataPlist();
}

bool SharedSettingController::saveDataPlist()
{
    const QString path = plistFilePath();
    {
        std::lock_guard lock(m_failureMutex);
        if (m_reportedFailures.contains(QStringLiteral("data-plist-blocked")))
            return false;
    }
    QDError error;
    if (!dataPlistValues().writeToFile(path, &error)) {
        reportFailure(QStringLiteral("data-plist-write"), QStringLiteral("Settings Could Not Be Saved"), path, error);
        return false;
    }
    clearFailure(QStringLiteral("data-plist-write"));
    return true;
}

void SharedSettingController::updatePlistAndKVSWithKey(const QString &key, const QVariant &value)
{
    auto kvs = keyValueStore();
    const QString mirrorKey = K::KVSSuffixFormat.arg(key);
    if (value.isValid()) {
        dataPlistValues().setValue(key, value);
        if (kvs)
            kvs->setObject(mirrorKey, value);
    } else {
        dataPlistValues().remove(key);
        if (kvs)
            kvs->removeObject(mirrorKey);
    }
    saveDataPlist();
    if (kvs)
        kvs->synchronize();
}
