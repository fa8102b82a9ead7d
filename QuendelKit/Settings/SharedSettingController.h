#pragma once

#include "Settings/DataPlistValues.h"
#include "Settings/QDAlertDisplay.h"
#include "Settings/SettingsServices.h"
#include "Settings/SharedSettingsDelegate.h"

#include "platform/core/DispatchQueue.h"
#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObjectID.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QDFileLogger;
namespace platform::kvstore {
class KeyValueStore;
}
class QDReachability;

// Names the settings object shares with the rest of the program.
namespace QDSettingsKeys {
inline const QString DataPlistFileName = QStringLiteral("data.plist");
inline const QString FirstTimeDownloadKey = QStringLiteral("first_time_download");
inline const QString FileAttachmentsFolder = QStringLiteral("FileAttachments");
inline const QString FileAttachmentsTestingFolder = QStringLiteral("FileAttachmentsTesting");
inline const QString PersonImageReferencesFolder = QStringLiteral("PersonImageReferences");
inline const QString PersonImageReferencesTestingFolder = QStringLiteral("PersonImageReferencesTesting");
inline const QString DropboxFileName = QStringLiteral("FileAttachmentsDropBox.plist");
inline const QString ContactsReferenceFileName = QStringLiteral("ContactsReferenceIdentifiers.plist");
inline const QString ContactsUniqueFileName = QStringLiteral("ContactsUniqueIdentifiers.plist");
inline const QString FileAttachmentsCloudFolder = QStringLiteral("FileAttachmentsCloud");
inline const QString PersonImageReferencesCloudFolder = QStringLiteral("PersonImageReferencesCloud");
inline const QString UbiquityContainerIdentifier = QStringLiteral("K4TQ8WZ2MD.com.quendel.icloud");
inline const QString AppGroupIdentifier = QStringLiteral("group.com.morvane.quendelGroup");
inline const QString UITestEnvironmentKey = QStringLiteral("isUITest");
inline const QString KVSSuffixFormat = QStringLiteral("%1_kvs");
inline const QString DeviceKeyPrefix = QStringLiteral("deviceUUID_");
inline const QString RecentlyAddedContactsKVS = QStringLiteral("RecentlyAddedContactsHashesKVS");
inline const QString SortOrderNotification = QStringLiteral("Notification_display_setting_sortOrder");
inline const QString DisplayOrderNotification = QStringLiteral("Notification_display_setting_displayOrder");
inline const QString DeviceKeychainService = QStringLiteral("LocalUUID");
inline const QString DeviceKeychainAccount = QStringLiteral("pin");
// User-defaults key naming the folder of the key-value store shared with the user's other computers.
inline const QString SharedStoreFolderDefaultsKey = QStringLiteral("SharedKeyValueStoreFolder");
} // namespace QDSettingsKeys

// true when the older shared cloud store is on ("use_icloud") and the program is not under UI test.
bool iCloudEnabledInApp();

// The one process-wide settings object: the data folder and the folders in it, the data plist, the
// key-value mirrors shared with the user's other computers, the device registry, the contact-identifier
// caches and the sync-mode switches.
//
// Creation settles the data folder and loads the data plist; initialize() brings up everything else.
// A data folder that cannot be made and a settings file that cannot be read or written are reported
// through the alert service, once per kind of failure until it goes away.
class SharedSettingController
{
public:
    // The one object, made on first use (safely against concurrent first calls) and kept for good.
    static SharedSettingController &sharedSettings();

    // Creation (the `init` step). Only sharedSettings() and tests that simulate a new launch make one.
    SharedSettingController();
    ~SharedSettingController();
    SharedSettingController(const SharedSettingController &) = delete;
    SharedSettingController &operator=(const SharedSettingController &) = delete;

    // Start-up of everything else, once, on the main thread, after setSharedSettingsDelegate().
    void initialize();

    // Where the settings object learns about the machine and the system contacts; set before use.
    static void setEnvironment(std::shared_ptr<SettingsEnvironment> environment);
    static std::shared_ptr<SettingsEnvironment> environment();
    static void setContactsBridge(std::shared_ptr<SettingsContactsBridge> bridge);
    static std::shared_ptr<SettingsContactsBridge> contactsBridge();

    // ---- Folders and paths ----
    bool isUITestingEnabled() const;
    // The data folder, made when missing; an empty URL when it cannot be made (reported).
    QUrl applicationSupportDirectoryURL() const;
    QString applicationSupportPath() const;
    QString dataFilePath(const QString &fileName) const;
    QString dataFilePathWithTransfer(const QString &fileName) const;
    QString temporaryFilePath(const QString &fileName) const;
    QString pathForAttachmentWithName(const QString &name) const;
    QString pathForPersonReferenceWithName(const QString &name) const;
    QUrl urlForCloudAttachmentWithName(const QString &name) const;
    QUrl urlForCloudPersonImageReferenceWithName(const QString &name) const;
    void initAttachmentsDirectory();
    void createDirectoryAtURL(const QUrl &url) const;
    QString dropboxFile();
    void cleanupFileAttachmentsFileWithFilesToLoad(const QStringList &files);
    // One read-change-write of the Dropbox change list under the list's lock: `change` edits the whole
    // dictionary and answers whether to write it. A missing or unreadable list is left as it is (the change
    // is lost and logged); false when nothing was written.
    bool changeDropboxList(const std::function<bool(QVariantMap &)> &change);

    QUrl localFileAttachmentsDirectoryURL() const;
    QUrl localPersonImagesDirectoryURL() const;
    bool isDropboxEnabled() const { return m_isDropboxEnabled.load(); }
    void setIsDropboxEnabled(bool enabled) { m_isDropboxEnabled.store(enabled); }
    std::shared_ptr<SharedSettingsDelegate> sharedSettingsDelegate() const;
    void setSharedSettingsDelegate(std::shared_ptr<SharedSettingsDelegate> delegate);
    std::shared_ptr<QDReachability> reachabilityStatus() const;
    void setReachabilityStatus(std::shared_ptr<QDReachability> reachability);
    std::shared_ptr<platform::core::DispatchQueue> dictionaryQueue() const { return m_dictionaryQueue; }
    std::shared_ptr<platform::core::DispatchQueue> imageCacheQueue() const { return m_imageCacheQueue; }
    std::shared_ptr<QObject> globalContactStore() const;
    std::shared_ptr<QDFileLogger> qdFileLogger() const;
    std::shared_ptr<QDFileLogger> incomingLogger() const;

    // ---- Data plist ----
    void addValuesToPlist();
    // Reads the data plist from its file; without a file this is the first run of an installation.
    void loadDataPlist();
    // Writes dataPlistValues() whole to plistFilePath(); a failure is reported and answered false.
    bool saveDataPlist();
    // Changes a setting and its key-value mirror ("<key>_kvs") together; an invalid value removes both.
    void updatePlistAndKVSWithKey(const QString &key, const QVariant &value);

    // ---- Key-value mirrors ----
    void initKVStore();
    void updateKVStoreItems(const platform::core::Notification &notification);
    QString messageForExistingCloudKitSyncWithKVSDate() const;
    QString messageForExistingCloudSyncWithKVSDate() const;

    // ---- Device registry and support text ----
    void initializeDevicesList();
    // Null when the program has no display name.
    std::optional<QVariantMap> makeDeviceInfoDictionary();
    void updateDeviceInfoDictionary();
    bool checkDictionaryInfoUpdate(QVariantMap &info);
    void cleanupOldDeviceInfos();
    qint64 getTotalLocalContactsCount();
    QString deviceName() const;
    QString deviceHardwareName() const;
    QString deviceSystemName() const;
    QString operatingSystemVersionString() const;
    QString signatureForSupportEmail();
    // Records contacts in the shared recently-added list; each entry is a contact's customHashForPerson.
    void savePersonObjectToRecentKVSContacts(const QList<quint64> &personHashes);
    QVariantMap recentlyAddedContacts() const;
    void setRecentlyAddedContacts(const QVariantMap &contacts);

    // ---- Contact identifier and hash caches ----
    void initializeCaches();
    void setContactReferenceID(const QString &referenceID, const platform::store::ManagedObjectID &objectID);
    QString contactReferenceIDForObjectID(const platform::store::ManagedObjectID &objectID);
    void setContactUniqueIdentifer(const QString &identifier, const platform::store::ManagedObjectID &objectID);
    QString contactUniqueIdentiferForObjectID(const platform::store::ManagedObjectID &objectID);
    void cleanupContactReferenceIDWithObjectID(const platform::store::ManagedObjectID &objectID);
    bool contactReferenceIDExists(const QString &identifier) const;
    platform::store::ManagedObjectID objectIDForContactReferenceID(const QString &identifier) const;
    bool writeToContactsReferenceFile();
    void cleanUpCaches();
    void addContactIdentifiersToLastChecked(const QStringList &identifiers);
    void loadAllContactHashes();
    void loadAllContactHashesForAddressBook();
    QVariant contactFromAllHashesListWithPersonHash(quint64 hash) const;
    QVariant abRecordFromAllHashesListWithPersonHash(quint64 hash) const;
    QHash<quint64, QString> contactsHashValuesCache() const;
    void setContactsHashValuesCache(const QHash<quint64, QString> &cache);

    // ---- Sync-mode switches and prompts ----
    bool isCloudKitEnabled() const;
    void changeCloudKitSyncSettingWithState(qint64 state);
    bool isCloudKitUserLoggedIn() const;
    void changeCloudSyncSettingTo(bool on);
    void changeDropboxSyncSettingTo(bool on);
    QString syncSettingString() const;
    bool useContactsFramework() const { return false; }
    bool shouldShowReviewPromptForAddedLog();
    int showReviewPromptType() const;
    void reachabilityChanged(const platform::core::Notification &notification);

private:
    void initDDLogger();
    // Owner-only modes for the data folder, the settings folder and the keychain, and for new files.
    void makeFilesPrivate();
    // Tells the user when the shared key-value file is kept aside; in place before anything writes to it.
    void observeSharedStoreFile();
    void initReachability();
    std::shared_ptr<platform::kvstore::KeyValueStore> keyValueStore() const;
    QString cloudBasePath() const;
    // This computer's identifier: the keychain's, or this run's own when the keychain proved unusable.
    QString deviceIdentifier(bool reportErrors, platform::core::QDError *keychainError = nullptr);
    void writeContactFiles(const QVariantMap &references, const QVariantMap &uniques);
    // Reports a settings failure once until the same kind of operation succeeds again.
    void reportFailure(const QString &kind, const QString &title, const QString &path,
                       const platform::core::QDError &error) const;
    void clearFailure(const QString &kind) const;
    // A file of ours that could not be read: an unreadable one (permissions, a folder in its place) stays
    // where it is; a damaged one is renamed aside. Either way the user is told, and when the file is still
    // in place `blockedKind` is marked so nothing writes over it this session. Returns whether it was moved.
    bool keepUnreadableFile(const QString &path, const platform::core::QDError &error, const QString &kind,
                            const QString &title, const QString &blockedKind, const QString &consequence);
    bool isBlocked(const QString &blockedKind) const;

    mutable std::mutex m_mutex; // guards the plain fields below
    QString m_applicationSupportPath;
    QUrl m_localFileAttachmentsDirectoryURL;
    QUrl m_localPersonImagesDirectoryURL;
    std::shared_ptr<SharedSettingsDelegate> m_delegate;
    std::shared_ptr<QDReachability> m_reachabilityStatus;
    std::shared_ptr<QObject> m_globalContactStore;
    std::shared_ptr<QDFileLogger> m_qdFileLogger;
    std::shared_ptr<QDFileLogger> m_incomingLogger;
    QString m_runDeviceIdentifier; // set only when the keychain cannot keep one
    std::atomic<bool> m_isDropboxEnabled{false};

    std::once_flag m_dropboxOnce;
    QString m_dropboxFile;
    std::mutex m_dropboxListMutex;

    // The identifier maps, guarded by m_dictionaryQueue (reads shared, writes as barriers).
    QVariantMap m_contactReferenceIDs;
    QVariantMap m_uniqueContactIdentifiersByMOID;
    QHash<QString, platform::store::ManagedObjectID> m_personLookupWithID;
    std::shared_ptr<platform::core::DispatchQueue> m_dictionaryQueue;
    std::shared_ptr<platform::core::DispatchQueue> m_imageCacheQueue;

    // Replaced whole, never filled in place, so a lookup sees either the old or the new scan.
    mutable std::mutex m_hashMutex;
    QHash<quint64, QString> m_contactsHashValuesCache;

    mutable std::mutex m_recentMutex;
    QVariantMap m_recentlyAddedContacts;
    bool m_recentLoaded = false;

    std::vector<platform::core::ScopedObserver> m_observers;
    bool m_initialized = false;

    mutable std::mutex m_failureMutex;
    mutable QSet<QString> m_reportedFailures;
    // Failures reported before the loggers were up; initialize() writes them once the log exists.
    mutable QStringList m_unloggedFailures;
    mutable bool m_failuresReachLog = false;
};
