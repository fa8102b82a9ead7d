// The device registry shared by the user's computers, the support text and the recently-added contacts.
#include "Settings/SharedSettingController.h"

#include "Infra/QDSSKeychain.h"
#include "Settings/SettingsFormat.h"
#include "Settings/SettingsLog.h"

#include "platform/core/Clock.h"
#include "platform/core/StandardPaths.h"
#include "platform/core/UserDefaults.h"
#include "platform/keychain/Keychain.h"
#include "platform/kvstore/KeyValueStore.h"

using platform::core::Clock;
using platform::core::QDError;
using platform::core::UserDefaults;
namespace K = QDSettingsKeys;

namespace {

constexpr double kRefreshAgeSeconds = 600;
constexpr double kPruneAgeSeconds = 31536000;
constexpr double kRecentlyAddedAgeSeconds = 2592000;

double secondsSince1970(const QDateTime &when)
{
    return double(when.toMSecsSinceEpoch()) / 1000.0;
}

QDateTime dateFromSeconds(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0), Qt::UTC);
}

// Entries written by older versions may hold a date where a number of seconds is expected.
double secondsValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return secondsSince1970(value.toDateTime());
    return value.toDouble();
}

QString mediumDate(const QDateTime &when)
{
    return settingsFormatDate(when, SettingsDateStyle::Medium);
}

} // namespace

QString SharedSettingController::deviceIdentifier(bool reportErrors, QDError *keychainError)
{
    {
        // Once this run found the keychain unusable, it keeps the one identifier it made for itself.
        std::lock_guard lock(m_mutex);
        if (!m_runDeviceIdentifier.isEmpty())
            return m_runDeviceIdentifier;
    }
    QDError error;
    const QString identifier =
        QDSSKeychain::passwordForService(K::DeviceKeychainService, K::DeviceKeychainAccount, &error);
    if (reportErrors && !error.isNull() && identifier.isEmpty())
        settingsActivityLog(
            QStringLiteral("SharedSettings: ERROR IN QDSSKeychain passwordForService = %1").arg(error.toString()));
    if (keychainError)
        *keychainError = error;
    return identifier;
}

void SharedSettingController::initializeDevicesList()
{
    auto kvs = keyValueStore();
    if (!kvs || !isCloudKitUserLoggedIn())
        return;

    const auto delegate = sharedSettingsDelegate();
    const std::optional<bool> background = delegate ? delegate->isApplicationBackgroundState() : std::nullopt;
    if (background.has_value() && !*background) {
        QDError keychainError;
        QString identifier = deviceIdentifier(true, &keychainError);
        bool registrable = true;
        if (identifier.isEmpty()) {
            // Only a keychain that could be read and lacks the item gets a new identifier: on a damaged one
            // the old identifier may still be on a line that cannot be read.
            const bool absent = keychainError.isNull() || keychainError.code() == platform::keychain::ItemNotFound;
            if (absent) {
                settingsActivityLog(
                    QStringLiteral("SharedSettings: initializeDevicesList - localUUID is nil; generate one"));
                identifier = platform::core::StandardPaths::uuidString();
                QDError saveError;
                if (!QDSSKeychain::setPassword(identifier, K::DeviceKeychainService, K::DeviceKeychainAccount,
                                               &saveError))
                    keychainError = saveError;
                else
                    keychainError = QDError();
            }
            if (!keychainError.isNull()) {
                // An identifier that cannot be kept would be a new device on every launch: this run uses
                // its own and the shared list is left alone until the keychain can keep one.
                registrable = false;
                {
                    std::lock_guard lock(m_mutex);
                    if (m_runDeviceIdentifier.isEmpty())
                        m_runDeviceIdentifier = identifier.isEmpty() ? platform::core::StandardPaths::uuidString()
                                                                     : identifier;
                }
                reportFailure(QStringLiteral("keychain-device"),
                              QStringLiteral("This Computer's Identity Cannot Be Kept"),
                              platform::keychain::Keychain::defaultFilePath(),
                              QDError::withDescription(
                                  keychainError.domain(), keychainError.code(),
                                  QStringLiteral("%1 This computer is not added to the list of your devices until "
                                                 "the keychain can keep its identity.")
                                      .arg(keychainError.localizedDescription().isEmpty()
                                               ? platform::keychain::statusMessage(keychainError.code())
                                               : keychainError.localizedDescription())));
            }
        }
        const QString key = K::DeviceKeyPrefix + identifier;
        if (!registrable) {
            settingsLog(QStringLiteral("initializeDevicesList - the keychain cannot keep this computer's identity; "
                                       "not added to the devices"));
        } else if (kvs->contains(key)) {
            updateDeviceInfoDictionary();
            cleanupOldDeviceInfos();
        } else if (const std::optional<QVariantMap> info = makeDeviceInfoDictionary()) {
            settingsLog(QStringLiteral("initializeDevicesList - add this as new device with UUID = %1").arg(key));
            kvs->setObject(key, *info);
            kvs->synchronize();
        }
    }

    const QVariantMap recent = kvs->dictionary(K::RecentlyAddedContactsKVS);
    setRecentlyAddedContacts(recent);
    settingsLog(QStringLiteral("RECENTLY ADDED COUNT = %1").arg(recent.size()));
    QStringList entries;
    for (auto it = recent.cbegin(); it != recent.cend(); ++it)
        entries << it.key() + QStringLiteral(" = ") + it.value().toString();
    settingsLog(QStringLiteral("RECENTLY ADDED LIST = {%1}").arg(entries.join(QStringLiteral("; "))));
}

std::optional<QVariantMap> SharedSettingController::makeDeviceInfoDictionary()
{
    const auto env = environment();
    const QString product = env->bundleDisplayName();
    if (product.isNull())
        return std::nullopt;
    const QString name = deviceName();
    const QString model = deviceHardwareName();
    const QString system = deviceSystemName();
    const QString version = operatingSystemVersionString();
    settingsLog(QStringLiteral("device name = %1").arg(name));
    settingsLog(QStringLiteral("device deviceModelName = %1").arg(model));
    settingsLog(QStringLiteral("device systemName = %1").arg(system));
    settingsLog(QStringLiteral("device OSVersionName = %1").arg(version));
    const qint64 contacts = getTotalLocalContactsCount();

    const QDateTime now = Clock::now();
    const QDateTime installed = dataPlistValues().dateValue(QStringLiteral("first_time_download_date"));
    return QVariantMap{
        {QStringLiteral("Name"), name},
        {QStringLiteral("System"), system},
        {QStringLiteral("Version"), version},
        {QStringLiteral("Model"), model},
        {QStringLiteral("Product"), product},
        {QStringLiteral("CreatedDateString"), mediumDate(now)},
        {QStringLiteral("CreatedDate"), secondsSince1970(installed.isValid() ? installed : now)},
        {QStringLiteral("ActiveDate"), secondsSince1970(now)},
        {QStringLiteral("QDVersion"), env->bundleShortVersion()},
        {QStringLiteral("SyncSetting"), syncSettingString()},
        {QStringLiteral("TotalContacts"), contacts},
    };
}

void SharedSettingController::updateDeviceInfoDictionary()
{
    auto kvs = keyValueStore();
    if (!kvs || !isCloudKitUserLoggedIn())
        return;
    const QString identifier = deviceIdentifier(false);
    if (identifier.isEmpty())
        return;
    {
        // This run's own identifier dies with the run: writing it would add a device to the list.
        std::lock_guard lock(m_mutex);
        if (!m_runDeviceIdentifier.isEmpty())
            return;
    }
    const QString key = K::DeviceKeyPrefix + identifier;
    QVariantMap info = kvs->dictionary(key);
    const bool changed = checkDictionaryInfoUpdate(info);

    if (info.value(QStringLiteral("ActiveDate")).typeId() == QMetaType::QDateTime)
        info.remove(QStringLiteral("ActiveDate"));
    const double now = secondsSince1970(Clock::now());
    bool activeSet = false;
    if (info.value(QStringLiteral("ActiveDate")).toDouble() < now - kRefreshAgeSeconds) {
        info.insert(QStringLiteral("ActiveDate"), now);
        activeSet = true;
    }
    if (activeSet || changed) {
        settingsLog(QStringLiteral("kvs: update kvs store with new local info - localID = %1").arg(key));
        kvs->setObject(key, info);
        kvs->synchronize();
    }
}

bool SharedSettingController::checkDictionaryInfoUpdate(QVariantMap &info)
{
    bool changed = false;
    const QString version = operatingSystemVersionString();
    if (info.value(QStringLiteral("Version")).toString() != version ||
        info.value(QStringLiteral("Version")).typeId() != QMetaType::QString) {
        info.insert(QStringLiteral("Version"), version);
        changed = true;
    }
    const QString qdVersion = environment()->bundleShortVersion();
    if (info.value(QStringLiteral("QDVersion")).toString() != qdVersion ||
        info.value(QStringLiteral("QDVersion")).typeId() != QMetaType::QString) {
        info.insert(QStringLiteral("QDVersion"), qdVersion);
        changed = true;
    }
    const QString sync = syncSettingString();
    if (info.value(QStringLiteral("SyncSetting")).toString() != sync) {
        info.insert(QStringLiteral("SyncSetting"), sync);
        changed = true;
    }
    const qint64 contacts = getTotalLocalContactsCount();
    if (info.value(QStringLiteral("TotalContacts")).toLongLong() != contacts) {
        info.insert(QStringLiteral("TotalContacts"), contacts);
        changed = true;
    }
    return changed;
}

void SharedSettingController::cleanupOldDeviceInfos()
{
    auto kvs = keyValueStore();
    if (!kvs)
        return;
    const double now = secondsSince1970(Clock::now());
    for (const QString &key : kvs->keys()) {
        if (!key.contains(K::DeviceKeyPrefix))
            continue;
        const double active = secondsValue(kvs->dictionary(key).value(QStringLiteral("ActiveDate")));
        if (now > active + kPruneAgeSeconds)
            kvs->removeObject(key);
    }
    kvs->synchronize();
}

qint64 SharedSettingController::getTotalLocalContactsCount()
{
    auto bridge = contactsBridge();
    if (globalContactStore() && bridge->isContactsAccessAuthorized()) {
        if (const std::optional<qint64> count = bridge->contactStoreCount())
            settingsLog(QStringLiteral("** total count for CNContacts = %1").arg(*count));
    }
    const qint64 count = bridge->addressBookPeopleCount();
    settingsLog(QStringLiteral("count from AddressBook = %1").arg(count));
    return count;
}

QString SharedSettingController::deviceName() const
{
    return environment()->hostName();
}
QString SharedSettingController::deviceHardwareName() const
{
    return environment()->hardwareModel();
}
QString SharedSettingController::deviceSystemName() const
{
    return QStringLiteral("Mac");
}
QString SharedSettingController::operatingSystemVersionString() const
{
    return environment()->operatingSystemVersion();
}

QString SharedSettingController::signatureForSupportEmail()
{
    const auto env = environment();
    QString text = QStringLiteral("\n\nCurrent Device:");
    text += QStringLiteral("\n\nName: %1\nQuendel Version: %2\nMac OS: %3\n")
                .arg(deviceName(), env->bundleShortVersion(), operatingSystemVersionString());
    text += QStringLiteral("Hardware: %1 \n").arg(deviceHardwareName());
    const QDateTime installed = dataPlistValues().dateValue(QStringLiteral("first_time_download_date"));
    if (dataPlistValues().contains(QStringLiteral("first_time_download_date")))
        text += QStringLiteral("Install Date: %1 \n").arg(mediumDate(installed));
    text += QStringLiteral("Sync Setting: %1 \n").arg(syncSettingString());

    auto kvs = keyValueStore();
    if (isCloudKitEnabled()) {
        auto defaults = UserDefaults::standardUserDefaults();
        text += QStringLiteral("Last Saved (local): %1\n")
                    .arg(mediumDate(defaults->dateForKey(QStringLiteral("CloudKitLastSaveDateKey"))));
        text += QStringLiteral("Last Saved (iCloud): %1\n")
                    .arg(mediumDate(kvs ? kvs->date(QStringLiteral("CloudKitLastSaveDateKey_KVS")) : QDateTime()));
        text += QStringLiteral("Last Sync: %1\n")
                    .arg(mediumDate(defaults->dateForKey(QStringLiteral("CloudKitLastDataSyncDate"))));
        text += QStringLiteral("Last Update: %1\n")
                    .arg(mediumDate(defaults->dateForKey(QStringLiteral("CloudKitLastUpdateKey"))));
    }

    if (kvs) {
        const QString ownKey = K::DeviceKeyPrefix + deviceIdentifier(false);
        const double now = secondsSince1970(Clock::now());
        bool first = true;
        const QVariantMap all = kvs->dictionaryRepresentation();
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            if (!it.key().contains(K::DeviceKeyPrefix) || it.key() == ownKey)
                continue;
            const QVariantMap entry = it.value().toMap();
            const double active = secondsValue(entry.value(QStringLiteral("ActiveDate")));
            if (active < now - kPruneAgeSeconds)
                continue;
            if (first) {
                text += QStringLiteral("\n\nOther Devices: \n");
                first = false;
            }
            text +=
                QStringLiteral("\n\nName: %1\nQuendel Version: %2\n%3 Version: %4\nHardware: %5\nInstall Date: "
                               "%6\nLast Active: %7\nSync Setting: %8\n\n")
                    .arg(entry.value(QStringLiteral("Name")).toString(),
                         entry.value(QStringLiteral("QDVersion")).toString(),
                         entry.value(QStringLiteral("System")).toString(),
                         entry.value(QStringLiteral("Version")).toString(),
                         entry.value(QStringLiteral("Model")).toString(),
                         mediumDate(dateFromSeconds(secondsValue(entry.value(QStringLiteral("CreatedDate"))))),
                         mediumDate(dateFromSeconds(active)), entry.value(QStringLiteral("SyncSetting")).toString());
        }
    }
    return text;
}

void SharedSettingController::savePersonObjectToRecentKVSContacts(const QList<quint64> &personHashes)
{
    settingsLog(QStringLiteral("SharedSettings: called savePersonObjectToRecentKVSContacts"));
    const double now = secondsSince1970(Clock::now());
    QVariantMap snapshot;
    {
        std::lock_guard lock(m_recentMutex);
        // Before the list was read from the shared store there is nothing to add to, and writing a
        // fresh list would wipe what the other devices recorded.
        if (!m_recentLoaded)
            return;
        QStringList expired;
        for (auto it = m_recentlyAddedContacts.cbegin(); it != m_recentlyAddedContacts.cend(); ++it) {
            if (it.value().toDouble() + kRecentlyAddedAgeSeconds < now)
                expired << it.key();
        }
        if (!expired.isEmpty()) {
            settingsLog(
                QStringLiteral("removing keys in recentlyAddedContacts = %1").arg(expired.join(QStringLiteral(", "))));
            for (const QString &key : std::as_const(expired))
                m_recentlyAddedContacts.remove(key);
        }
        for (quint64 hash : personHashes)
            m_recentlyAddedContacts.insert(QString::number(hash), now);
        snapshot = m_recentlyAddedContacts;
    }
    auto kvs = keyValueStore();
    if (kvs)
        kvs->setObject(K::RecentlyAddedContactsKVS, snapshot);
    updateDeviceInfoDictionary();
    if (kvs)
        kvs->synchronize();
}

QVariantMap SharedSettingController::recentlyAddedContacts() const
{
    std::lock_guard lock(m_recentMutex);
    return m_recentlyAddedContacts;
}

void SharedSettingController::setRecentlyAddedContacts(const QVariantMap &contacts)
{
    std::lock_guard lock(m_recentMutex);
    m_recentlyAddedContacts = contacts;
    m_recentLoaded = true;
}
