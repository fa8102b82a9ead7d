#include "CoreDataControllerShared.h"

#include "Backups/DBFileRestore.h"
#include "DefaultTitles.h"
#include "StoreFileCompanions.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/QDAlertDisplay.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/StandardPaths.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

using platform::core::QDError;
using platform::core::StandardPaths;
using platform::store::ContextPtr;
using platform::store::ManagedObjectContext;
using platform::store::PersistentStore;
using platform::store::StoreCoordinator;
using platform::store::StoreOptions;
using platform::store::StoreType;

namespace {

// Both stores open with automatic migration of an older file to the current model.
StoreOptions storeOptions()
{
    StoreOptions options;
    options.migrateAutomatically = true;
    return options;
}

} // namespace

CoreDataControllerShared::CoreDataControllerShared() = default;

CoreDataControllerShared::CoreDataControllerShared(LoadCompletionBlock loadCompletionBlock)
    : CoreDataControllerBase(std::move(loadCompletionBlock)), m_loadsStores(true)
{
    isIOS = false;
    m_filterMainQueue = platform::core::DispatchQueue::serial(FilterMainQueueLabel);
    m_geocodeObserver = platform::core::ScopedObserver(
        PersonAddressGeocodeOnLoadNotification, nullptr,
        [this](const platform::core::Notification &notification) { receivedPersonAddressToGeocode(notification); });
}

CoreDataControllerShared::~CoreDataControllerShared()
{
    // Before any member goes: a save on another thread may be posting an address right now.
    m_geocodeObserver.reset();
}

// ---- Loading ----

std::shared_ptr<StoreCoordinator> CoreDataControllerShared::persistentStoreCoordinator()
{
    if (auto loaded = loadedPersistentStoreCoordinator())
        return loaded;
    // The base keeps the new coordinator before anything is loaded into it, so a one-time update that asks
    // for the main context while the load runs gets this same coordinator instead of starting a second load.
    std::shared_ptr<StoreCoordinator> coordinator = CoreDataControllerBase::persistentStoreCoordinator();
    if (!m_loadsStores)
        return coordinator;
    if (SharedSettingController::sharedSettings().isUITestingEnabled())
        loadTestFrameworkStore();
    else
        loadPersistentStores();
    return coordinator;
}

void CoreDataControllerShared::loadPersistentStores()
{
    const SharedSettingController &settings = SharedSettingController::sharedSettings();
    QDSystemLog(QStringLiteral("CDC: icloud enabled = %1, Dropbox = %2, CloudKit = %3")
                    .arg(int(iCloudEnabledInApp()))
                    .arg(int(settings.isDropboxEnabled()))
                    .arg(int(settings.isCloudKitEnabled())));
    // The older shared cloud store needs a signed-in cloud account, which this program never has; the local
    // store is the one in use.
    loadLocalStore();
}

void CoreDataControllerShared::loadLocalStore()
{
    // A restore stopped half-way is finished before its store is opened, so the store and its files match.
    DBFileRestore::recoverInterruptedRestore();
    storeLoaded(loadLocalStoreIntoPSCWithDelete(false));
}

void CoreDataControllerShared::loadTestFrameworkStore()
{
    const std::shared_ptr<StoreCoordinator> coordinator = CoreDataControllerBase::persistentStoreCoordinator();
    const QString path = QDir(StandardPaths::dataFolderPath()).filePath(TestStoreFileName);
    QDError error;
    std::shared_ptr<PersistentStore> store =
        coordinator->addPersistentStore(StoreType::InMemory, path, storeOptions(), &error);
    if (!store) {
        m_storeLoadError = error;
        reportUnopenableStore(path, error);
    }
    storeLoaded(store);
}

void CoreDataControllerShared::storeLoaded(const std::shared_ptr<PersistentStore> &store)
{
    m_localStore = store;
    if (!store) {
        // The program is on its way out (the user was told); writing one-time flags for a store that is not
        // there would only mark work as done that never happened.
        QDLogInfo(QStringLiteral("CDC: no store was added; the one-time updates wait for the next launch"));
        return;
    }
    m_storeLoadError = QDError();
    oneTimeDatabaseUpdates(false);
    customPostProcessingForStoreWithNameNormalization(store);
}

QString CoreDataControllerShared::localStorePath(QDError *error)
{
    const QString folder = StandardPaths::dataFolder(error);
    if (folder.isNull())
        return QString();
    return QDir(folder).filePath(LocalStoreFileName);
}

std::shared_ptr<PersistentStore> CoreDataControllerShared::loadLocalStoreIntoPSCWithDelete(bool deleteExisting)
{
    const std::shared_ptr<StoreCoordinator> coordinator = CoreDataControllerBase::persistentStoreCoordinator();
    QDError error;
    QString path = localStorePath(&error);
    if (path.isNull()) {
        path = QDir(StandardPaths::dataFolderPath()).filePath(LocalStoreFileName);
    } else {
        if (deleteExisting && QFileInfo::exists(path) && !QFile::remove(path))
            QDLogInfo(QStringLiteral("CDC: loadLocalStoreIntoPSCWithDelete - the old store file could not be removed"));
        // A log or journal whose store file is gone belongs to a store that no longer exists: it must never
        // meet the new file, and SQLite would simply delete it. Moved aside, it stays for whoever recovers data.
        StoreFileCompanions::setAsideOrphanedCompanions(path, nullptr, &error);
    }

    std::shared_ptr<PersistentStore> store;
    if (error.isNull())
        store = coordinator->addPersistentStore(StoreType::SQLite, path, storeOptions(), &error);
    if (!store) {
        m_storeLoadError = error;
        QDAlertDisplay::sharedAlert()->showCoreDataError(LoadLocalStoreErrorKey, error);
        reportUnopenableStore(path, error);
        return nullptr;
    }
    return store;
}

void CoreDataControllerShared::dropLocalStore()
{
    const std::shared_ptr<StoreCoordinator> coordinator = loadedPersistentStoreCoordinator();
    if (!coordinator)
        return;
    const auto stores = coordinator->persistentStores();
    if (stores.isEmpty())
        return;
    coordinator->removePersistentStore(stores.first());
    if (m_localStore == stores.first())
        m_localStore.reset();
}

void CoreDataControllerShared::reportUnopenableStore(const QString &path, const QDError &error)
{
    const QString reason = error.isNull() ? QStringLiteral("The reason is not known.") : error.localizedDescription();
    const QString message =
        QStringLiteral("Quendel could not open its data file \"%1\".\n\n%2\n\n"
                       "The file has not been changed, so it can still be recovered or replaced by a backup. "
                       "Quendel will quit now, because nothing you do could be saved.")
            .arg(QDir::toNativeSeparators(path), reason);
    QDLogError(QStringLiteral("🚨🚨 CDC: the store \"%1\" cannot be opened: %2 🚨🚨").arg(path, error.toString()));
    QDAlertDisplay::sharedAlert()->showAlertWithTitle(UnopenableStoreAlertTitle, message);
    quitAfterUnopenableStore();
}

void CoreDataControllerShared::quitAfterUnopenableStore()
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    // Queued, so a load that runs before the event loop starts still ends the program as soon as it does.
    QMetaObject::invokeMethod(
        application, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
}

// ---- One-time updates ----

void CoreDataControllerShared::oneTimeDatabaseUpdates(bool force)
{
    DataPlistValues &plist = dataPlistValues();
    const std::shared_ptr<PersistentStore> store = m_localStore;
    const std::shared_ptr<StoreCoordinator> storeCoordinator = store ? loadedPersistentStoreCoordinator() : nullptr;
    // The data plist outlives the store file: a store made anew needs its titles whatever the plist says.
    // Seeding adds only to an empty list, so a store that has titles is left as it is.
    const bool storeSeeded =
        !storeCoordinator || storeCoordinator->metadataForPersistentStore(store).value(StoreTitlesSeededKey).toBool();
    const bool titlesSeeded = plist.boolValue(OneTimeAddToTitlesKey) && storeSeeded;
    bool flagChanged = false;

    if (!titlesSeeded || force) {
        ContextPtr context;
        if (!titlesSeeded && !force) {
            // The main context: on a new database this is where it is first made, so the load-completion
            // callback (and with it the save listener) is in place before the titles are saved.
            context = managedObjectContext();
        } else if (const std::shared_ptr<StoreCoordinator> coordinator = loadedPersistentStoreCoordinator()) {
            context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
            context->setPersistentStoreCoordinator(coordinator);
        }
        if (context) {
            const bool logTitles = DefaultTitles::createLogTitlesForNewDatabaseWithContext(context);
            const bool toDoTitles = DefaultTitles::createToDoTitlesForNewDatabaseWithContext(context);
            bool saved = false;
            QDError error;
            context->performAndWait([&] { saved = !context->hasChanges() || context->save(&error); });
            if (saved && logTitles && toDoTitles) {
                plist.setValue(OneTimeAddToTitlesKey, true);
                flagChanged = true;
                if (storeCoordinator && !storeSeeded) {
                    QVariantMap metadata = storeCoordinator->metadataForPersistentStore(store);
                    metadata.insert(StoreTitlesSeededKey, true);
                    QDError metadataError;
                    if (!storeCoordinator->setMetadata(metadata, store, &metadataError))
                        QDLogError(QStringLiteral("🚨🚨 CDC: oneTimeDatabaseUpdates - the store could not note its "
                                                  "seeded titles: %1 🚨🚨")
                                       .arg(metadataError.toString()));
                }
            } else {
                // Left unset, the next launch tries again; the seeding itself never adds to a list that has
                // titles, so a retry cannot duplicate them.
                QDLogError(
                    QStringLiteral("🚨🚨 CDC: oneTimeDatabaseUpdates - the default titles were not saved: %1 🚨🚨")
                        .arg(error.isNull() ? QStringLiteral("the titles could not be read") : error.toString()));
            }
        }
    }

    if (!plist.boolValue(RemoveAddOtherRowKey)) {
        // Marked done only once both lists were saved without it; a failed save tries again next launch.
        const bool logTitles = removeAddOtherFromTitles(0);
        const bool toDoTitles = removeAddOtherFromTitles(1);
        if (logTitles && toDoTitles)
            plist.setValue(RemoveAddOtherRowKey, true);
        SharedSettingController::sharedSettings().saveDataPlist();
    } else if (flagChanged) {
        SharedSettingController::sharedSettings().saveDataPlist();
    }
}

void CoreDataControllerShared::reloadCompletionBlock()
{
    if (loadCompletionBlock())
        loadCompletionBlock()();
}

// ---- Desktop hooks ----

namespace {
void notSupplied(const char *operation)
{
    QDLogError(QStringLiteral("🚨🚨 CDC: %1 is not supplied by this store controller 🚨🚨").arg(QLatin1String(operation)));
}
} // namespace

void CoreDataControllerShared::updateVisualsWithAddUbiquityStart(bool, bool)
{
    notSupplied("updateVisualsWithAddUbiquityStart");
}

void CoreDataControllerShared::updateVisualsWithAddUbiquityFinish(bool)
{
    notSupplied("updateVisualsWithAddUbiquityFinish");
}

void CoreDataControllerShared::updateVisualsFallbackStore()
{
    notSupplied("updateVisualsFallbackStore");
}

void CoreDataControllerShared::handleDeleteAll()
{
    notSupplied("handleDeleteAll");
}

void CoreDataControllerShared::cleanUpViewsBeforeRestoreWithDebugKey(const QString &)
{
    notSupplied("cleanUpViewsBeforeRestoreWithDebugKey");
}

void CoreDataControllerShared::reInitializePSCAfterCloudSettingChangeAndShowAlert(bool)
{
    notSupplied("reInitializePSCAfterCloudSettingChangeAndShowAlert");
}

// ---- Geocoding ----

std::shared_ptr<GeocoderRequestQueue> CoreDataControllerShared::requestQueue() const
{
    std::lock_guard lock(m_requestQueueMutex);
    return m_requestQueue;
}

void CoreDataControllerShared::setRequestQueue(std::shared_ptr<GeocoderRequestQueue> queue)
{
    std::lock_guard lock(m_requestQueueMutex);
    m_requestQueue = std::move(queue);
}

void CoreDataControllerShared::receivedPersonAddressToGeocode(const platform::core::Notification &notification)
{
    auto *record = static_cast<platform::store::ManagedObject *>(const_cast<void *>(notification.object));
    if (!record)
        return;
    const ManagedObjectContext *context = record->managedObjectContext();
    if (context && context->name() == MigrateStoreDestinationContextName)
        return;
    if (const std::shared_ptr<GeocoderRequestQueue> queue = requestQueue())
        queue->addManagedObject(record);
}
