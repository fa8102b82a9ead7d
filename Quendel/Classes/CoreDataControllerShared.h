#pragma once

#include "GeocoderRequestQueue.h"

#include "QuendelKit/CoreDataControllerBase.h"

#include "platform/core/DispatchQueue.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/QDError.h"
#include "platform/store/StoreCoordinator.h"

#include <QString>

#include <memory>
#include <mutex>

class MCPersistentStoreMigrator;

// What the store controller asks of the window that follows its store work. Every operation is optional:
// a window that does not implement one answers false from its implements...() question.
class CoreDataControllerViewDelegate
{
public:
    virtual ~CoreDataControllerViewDelegate() = default;
    virtual bool implementsUpdateProgressBarWithValue() const { return false; }
    // Progress of a seeding, 0.1 at its start and close to 1 after the last entity; on the main thread.
    virtual void updateProgressBarWithValue(double value) {}
};

// The application's store controller: the one owner of the coordinator, the main context and the store in
// the coordinator. It chooses the store when the coordinator is first needed (an in-memory store under the
// test environment, otherwise "Quendel.sqlite" in the data folder, migrated on open), brings a freshly
// loaded store up to date (the default titles of a new database), and offers the hooks through which a
// store swap drops the main context and builds a new one.
//
// The desktop subclass supplies the swap hooks; this class declares them. A controller made with the plain
// constructor is a bare helper for store copies: no work queue, no observer, no callback, and it never
// loads a store.
class CoreDataControllerShared : public CoreDataControllerBase
{
public:
    static inline const QString LocalStoreFileName = QStringLiteral("Quendel.sqlite");
    static inline const QString TestStoreFileName = QStringLiteral("QuendelTest.sqlite");
    static inline const QString FilterMainQueueLabel = QStringLiteral("com.morvane.QDFilterMainQueue");
    // Posted by the save listener with an inserted or changed address record as object (the record's
    // address as a `const platform::store::ManagedObject *`).
    static inline const QString PersonAddressGeocodeOnLoadNotification =
        QStringLiteral("PersonAddressGeocodeOnLoadNotifcation");
    // Posted with no object before the main context is dropped: every holder lets go of it and stops.
    static inline const QString RestoreDBPreparationNotification = QStringLiteral("RestoreDBPreparationNotification");
    // Posted with the new main context (its address) as object once a new one is in place over a store.
    static inline const QString RestoreDBNotification = QStringLiteral("RestoreDBNotification");
    static inline const QString LoadLocalStoreErrorKey = QStringLiteral("LoadLocalStore");
    // Records saved in a context of this name are copies of records that were already geocoded.
    static inline const QString MigrateStoreDestinationContextName = QStringLiteral("MCMigrateStoreDestinationContext");
    // Data-plist flag: the default log and to-do titles have been seeded.
    static inline const QString OneTimeAddToTitlesKey = QStringLiteral("CoreData_OneTimeAddToTitles");
    // Store-metadata flag: this store file had its default titles seeded. A store made anew (deleted, empty
    // or lost file) lacks it even when the data plist says the titles were seeded once.
    static inline const QString StoreTitlesSeededKey = QStringLiteral("QuendelDefaultTitlesSeeded");

    static inline const QString CloudTurnedOffAlertTitle = QStringLiteral("iCloud Turned Off");
    static inline const QString CloudTurnedOffAlertMessage = QStringLiteral("Data moved to local storage");
    static inline const QString UnopenableStoreAlertTitle = QStringLiteral("Your Data Could Not Be Opened");

    // A bare controller (store copies and backup fetches only).
    CoreDataControllerShared();
    // The application's controller: keeps the callback, makes the work queue and observes addresses to
    // geocode. Loads nothing until the coordinator or the main context is first asked for.
    explicit CoreDataControllerShared(LoadCompletionBlock loadCompletionBlock);
    ~CoreDataControllerShared() override;

    // The loaded coordinator. The first request makes it and loads the store into it, with the one-time
    // updates; a request made from inside that load gets the same coordinator, already holding the store.
    std::shared_ptr<platform::store::StoreCoordinator> persistentStoreCoordinator() override;

    // Chooses the store for the coordinator: the local store (the older shared cloud store is not in use).
    virtual void loadPersistentStores();
    // Adds the local store, then brings it up to date.
    void loadLocalStore();
    // Adds "Quendel.sqlite" from the data folder to the coordinator, migrating an older file. With
    // deleteExisting the file is removed first, so the store starts empty. Null when the store cannot be
    // added: the user is told why and the program quits; the file is left as it was.
    std::shared_ptr<platform::store::PersistentStore> loadLocalStoreIntoPSCWithDelete(bool deleteExisting);
    // Adds the in-memory test store, then brings it up to date. It starts empty at every launch.
    void loadTestFrameworkStore();
    // Removes the coordinator's store, if it holds one.
    void dropLocalStore();

    // Seeds the default titles into a new database, once (remembered in the data plist); with force a new
    // context seeds them again, but only into lists that are still empty. Then, once, removes the obsolete
    // "Add Other" title of each list.
    void oneTimeDatabaseUpdates(bool force);
    // Deletes the first title called "Add Other" (letter case aside) of the log titles (0) or the to-do
    // titles (1), numbers the others again from 0 and saves the main context. False when the save failed.
    bool removeAddOtherFromTitles(int which);
    // The updates a freshly loaded store gets, each once per store file (remembered in its metadata): the
    // name mark (only on the launch the counter says), then the three below. Nothing runs on a read-only
    // store.
    void customPostProcessingForStoreWithNameNormalization(const std::shared_ptr<platform::store::PersistentStore> &store);
    // The three updates below, in this order, without the name mark.
    void customPostProcessingForStore(const std::shared_ptr<platform::store::PersistentStore> &store);
    // Creates the custom-field types when the store is not marked as having them.
    void customPostProcessingForStoreForFieldTypes(const std::shared_ptr<platform::store::PersistentStore> &store);
    // Creates the pin colour field when the store is not marked as having it.
    void customPostProcessingForPinColor(const std::shared_ptr<platform::store::PersistentStore> &store);
    // Moves contact pictures kept inside the store into picture files, when the store is not marked as done
    // (or a Dropbox archive is waiting for its first fetch since the tokens changed).
    void customPostProcessingForMigratingPrivateImages(const std::shared_ptr<platform::store::PersistentStore> &store);
    void oneTimeMigrationForPrivateImagesForStore(const std::shared_ptr<platform::store::PersistentStore> &store);
    // Marks the store as name-normalised and saves the context's pending changes.
    void processNormalizePersonAndLetterKeyForStore(const std::shared_ptr<platform::store::PersistentStore> &store,
                                                    const platform::store::ContextPtr &context);

    // Data-plist flag: the "Add Other" titles have been removed.
    static inline const QString RemoveAddOtherRowKey = QStringLiteral("CoreData_RemoveAddOtherRow");
    static inline const QString AddOtherTitle = QStringLiteral("Add Other");
    // Store-metadata flags of the updates above.
    static inline const QString MigratePrivateImagesKey = QStringLiteral("OneTime_MigratePrivateImages");
    static inline const QString NormalizePersonNameAndLetterKey = QStringLiteral("NormalizePersonNameAndLetter");
    // User default: 1 while the picture move runs, 2 once it finished.
    static inline const QString PersonImageMigrationStartedKey = QStringLiteral("PersonImageMigrationStarted");
    // Data-plist keys the picture move reads or raises.
    static inline const QString DropBoxParentRevKey = QStringLiteral("DropBoxParentRev");
    static inline const QString DropboxV2MigrateTokensDoneKey = QStringLiteral("DropboxV2MigrateTokensDone");
    static inline const QString CountDropboxUnsavedChangesKey = QStringLiteral("count_dropbox_unsaved_changes");
    // User default raised once per launch after the store has loaded.
    static inline const QString CountAppLaunchKey = QStringLiteral("count_app_launch");

    // ---- Store copies ----
    // Work files of a full backup in the data folder: the store filled record by record, then its
    // single-file copy that goes into the archive.
    static inline const QString BackupWorkStoreFileName = QStringLiteral("QuendelAutoBackup.sqlite");
    static inline const QString BackupStoreCopyFileName = QStringLiteral("QuendelCopy.sqlite");
    // The outgoing cloud queue: it belongs to this device's sync state, not to the data, and is never copied.
    static inline const QString CloudProcessItemEntityName = QStringLiteral("QDCloudProcessItem");
    // Records a seeding copies, and saves, at a time.
    static constexpr unsigned SeedBatchSize = 500;

    // A whole single-file copy of the store the coordinator holds, made record by record (so it carries
    // nothing of the source file but its records and metadata), as "QuendelCopy.sqlite" in the data folder.
    // Its path, or null with the error; no work file stays behind either way.
    QString makeiCloudBackupWithObjectCopyWithPSC(const std::shared_ptr<platform::store::StoreCoordinator> &coordinator,
                                                  platform::core::QDError *error = nullptr);
    // Copies the store file at source to destination, replacing it: a plain file copy when the store
    // folder holds no log beside "Quendel.sqlite", else the store's own copy, which takes in whatever the
    // log still holds. The copy is always one file.
    static bool backupDatabaseAtURL(const QString &source, const QString &destination,
                                    platform::core::QDError *error = nullptr);
    // Whether the folder of source holds anything besides "Quendel.sqlite" itself among the files whose
    // names begin with it (a log or its index), or no such file at all: then only the store's own copy is safe.
    static bool isDatabaseWithWALOptions(const QString &source);
    // The store's own copy of source onto destination, through the coordinator: an existing destination is
    // destroyed first (when that fails the copy fails). False with the error when there is no source or any
    // step failed.
    static bool backupWALDatabaseAtURL(const QString &source, const QString &destination,
                                       const std::shared_ptr<platform::store::StoreCoordinator> &coordinator,
                                       platform::core::QDError *error = nullptr);
    // Copies every record of the seed store into the target store, record by record through the
    // whole-store copier, every entity but the outgoing cloud queue, then links the copies. The target
    // keeps its own metadata for the keys it has and takes the seed's others. Progress goes to the view
    // delegate on the main queue. False with the error when the copy could not begin or any entity or link
    // pass failed: then the target is incomplete and must not be used as a copy.
    bool seedStoreWithMCPersistenStore(const std::shared_ptr<platform::store::StoreCoordinator> &targetCoordinator,
                                       const std::shared_ptr<platform::store::PersistentStore> &target,
                                       const std::shared_ptr<platform::store::PersistentStore> &seed,
                                       platform::core::QDError *error = nullptr);
    // Destroys the store at the path through the coordinator (taking it out of the coordinator when it is
    // its store) and removes its files. When the destruction fails nothing is touched and false comes back.
    static bool cleanUpDatabaseFileAtURL(const QString &path,
                                         const std::shared_ptr<platform::store::StoreCoordinator> &coordinator,
                                         platform::core::QDError *error = nullptr);
    // Removes a store file that no coordinator holds, with its "-wal" and "-shm" companions.
    static bool cleanUpDatabaseFileAtPath(const QString &path, platform::core::QDError *error = nullptr);
    // The whole-store copier while a seeding runs; null otherwise.
    const std::shared_ptr<MCPersistentStoreMigrator> &migrator() const { return m_migrator; }

    // The window that wants progress while a store is seeded (weak).
    std::weak_ptr<CoreDataControllerViewDelegate> viewDelegate() const { return m_viewDelegate; }
    void setViewDelegate(std::weak_ptr<CoreDataControllerViewDelegate> delegate) { m_viewDelegate = std::move(delegate); }

    // Runs the load-completion callback again on the present main context (after the data was replaced
    // by a whole download).
    void reloadCompletionBlock();

    // ---- Supplied by the desktop subclass ----
    virtual void updateVisualsWithAddUbiquityStart(bool isStart, bool isForcedChange);
    virtual void updateVisualsWithAddUbiquityFinish(bool isFinish);
    virtual void updateVisualsFallbackStore();
    virtual void handleDeleteAll();
    // First half of a store swap: tells every holder to let go of the main context, empties the settings
    // object's caches and drops the main context and the model. The coordinator stays.
    virtual void cleanUpViewsBeforeRestoreWithDebugKey(const QString &debugKey);
    // Second half: makes a new main context (and, when the coordinator was dropped too, loads the store
    // again), which runs the load-completion callback, and announces it when the coordinator holds a store.
    virtual void reInitializePSCAfterCloudSettingChangeAndShowAlert(bool showAlert);

    // Hands an address record to the geocoding queue, unless it was written by a whole-store copy.
    void receivedPersonAddressToGeocode(const platform::core::Notification &notification);

    // ---- State ----
    // The serial work queue of list filtering and store switching; null in a bare controller.
    std::shared_ptr<platform::core::DispatchQueue> filterMainQueue() const { return m_filterMainQueue; }
    // The geocoding queue; null until the load-completion callback sets it (requests are dropped till then).
    std::shared_ptr<GeocoderRequestQueue> requestQueue() const;
    void setRequestQueue(std::shared_ptr<GeocoderRequestQueue> queue);
    // The store added by the last load; null when the add failed.
    std::shared_ptr<platform::store::PersistentStore> localStore() const { return m_localStore; }
    // Why the last load added no store; null after a successful load.
    const platform::core::QDError &storeLoadError() const { return m_storeLoadError; }

    // Where the local store lives: "Quendel.sqlite" in the data folder (made when missing). Null with the
    // error when the data folder cannot be made.
    static QString localStorePath(platform::core::QDError *error = nullptr);

protected:
    // Tells the user that the store cannot be opened, with the reason and the untouched file's place,
    // through the alert service; then quitAfterUnopenableStore().
    virtual void reportUnopenableStore(const QString &path, const platform::core::QDError &error);
    // Ends the program once its event loop runs: without a store nothing the user does could be kept.
    virtual void quitAfterUnopenableStore();

private:
    void storeLoaded(const std::shared_ptr<platform::store::PersistentStore> &store);

    bool m_loadsStores = false;
    std::shared_ptr<MCPersistentStoreMigrator> m_migrator;
    std::weak_ptr<CoreDataControllerViewDelegate> m_viewDelegate;
    std::shared_ptr<platform::core::DispatchQueue> m_filterMainQueue;
    std::shared_ptr<platform::store::PersistentStore> m_localStore;
    platform::core::QDError m_storeLoadError;
    mutable std::mutex m_requestQueueMutex;
    std::shared_ptr<GeocoderRequestQueue> m_requestQueue;
    platform::core::ScopedObserver m_geocodeObserver;
};
