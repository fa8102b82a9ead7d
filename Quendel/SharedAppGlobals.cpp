#include "SharedAppGlobals.h"

#include "AppDelegate.h"
#include "Mac/Shell/CoreDataControllerMac.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/QuendelModel.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Dispatch.h"

#include <QDir>

using platform::core::QDError;
using platform::store::ManagedObjectModel;
using platform::store::StoreCoordinator;
using platform::store::StoreOptions;
using platform::store::StoreType;

SharedAppGlobals &SharedAppGlobals::sharedAppGlobals()
{
    static SharedAppGlobals *globals = new SharedAppGlobals; // never released: callers on other threads may outlive main
    return *globals;
}

// ---- Pending data-model update ----

bool SharedAppGlobals::shouldLoadUpdatingDatabasePage()
{
    DataPlistValues &plist = dataPlistValues();
    if (plist.boolValue(MigrationCompleteKey))
        return false;
    if (!SharedSettingController::sharedSettings().isDropboxEnabled())
        return true;
    // The Dropbox copy stands in for the backup; the flag is written with the next write of the plist.
    plist.setValue(MigrationCompleteKey, true);
    return false;
}

// ---- Read-only coordinator for backups ----

std::shared_ptr<const ManagedObjectModel> SharedAppGlobals::managedObjectModelForURL(const QString &path,
                                                                                      const StoreOptions &)
{
    QDError error;
    const QVariantMap metadata = StoreCoordinator::metadataForPersistentStoreOfType(StoreType::SQLite, path, &error);
    if (metadata.isEmpty()) {
        QDLogError(QStringLiteral("🚨🚨 ManagedObjectModelForURL error = %1 🚨🚨").arg(error.toString()));
        return nullptr;
    }
    QDLogInfo(QStringLiteral("ManagedObjectModelForURL - metadataForPersistentStoreOfType worked"));
    std::shared_ptr<const ManagedObjectModel> model = QuendelModel::create();
    if (model->isConfigurationCompatibleWithStoreMetadata(metadata) || model->canMigrateStoreWithMetadata(metadata))
        return model;
    return nullptr;
}

std::shared_ptr<StoreCoordinator> SharedAppGlobals::persistentCoordinatorForDatabaseUpdate()
{
    StoreOptions options;
    options.readOnly = true;
    options.migrateAutomatically = false;

    SharedSettingController &settings = SharedSettingController::sharedSettings();
    QString storePath;
    if (iCloudEnabledInApp()) {
        storePath = dataPlistValues().stringValue(CloudStoreFilepathKey);
        QDLogInfo(QStringLiteral("persistentCoordinatorForDatabaseUpdate - storeURL from plist = %1").arg(storePath));
        const QString container =
            SharedSettingController::environment()->ubiquityContainerPath(QDSettingsKeys::UbiquityContainerIdentifier);
        if (container.isNull()) {
            QDLogInfo(QStringLiteral("DatabaseUpgradeBackupViewController - baseURL is nil"));
            return nullptr;
        }
    } else {
        const QString folder = settings.applicationSupportPath();
        if (folder.isEmpty())
            return nullptr;
        storePath = QDir(folder).filePath(QStringLiteral("Quendel.sqlite"));
        QDLogInfo(QStringLiteral("persistentCoordinatorForDatabaseUpdate - storeURL from URLs = %1").arg(storePath));
    }
    if (storePath.isEmpty())
        return nullptr;

    std::shared_ptr<const ManagedObjectModel> model = managedObjectModelForURL(storePath, options);
    if (!model) {
        QDLogInfo(QStringLiteral("DatabaseUpdatePSC - backupPSC is nil, get model directly"));
        model = QuendelModel::create();
        if (!model) {
            QDLogInfo(QStringLiteral("DatabaseUpdatePSC - backupPSC model still empty"));
            QDLogInfo(QStringLiteral("DatabaseUpdatePSC - backupPSC is nil, probably because model didn't match"));
            return nullptr;
        }
        QDLogInfo(QStringLiteral("DatabaseUpdatePSC - backupPSC model now works"));
    }

    auto coordinator = std::make_shared<StoreCoordinator>(model);
    coordinator->setName(BackupCoordinatorName);
    QDError error;
    const auto store = coordinator->addPersistentStore(StoreType::SQLite, storePath, options, &error);
    QDLogInfo(QStringLiteral("DatabaseUpdatePSC - store added = %1").arg(store ? store->path() : QStringLiteral("(null)")));
    if (!store) {
        QDLogError(QStringLiteral("🚨🚨 DatabaseUpdatePSC error adding store = %1 🚨🚨").arg(error.toString()));
        // A coordinator without its store would let a backup "succeed" with nothing in it.
        return nullptr;
    }
    return coordinator;
}

// ---- Activity spinner ----

void SharedAppGlobals::showNetworkActivityIndicator()
{
    platform::core::dispatchAsyncMain([this] {
        if (m_isActivityAnimating)
            return;
        m_isActivityAnimating = true;
        if (AppDelegate *delegate = appDelegateInstance())
            delegate->setActivityIndicatorAnimating(true);
    });
}

void SharedAppGlobals::hideNetworkActivityIndicator()
{
    platform::core::dispatchAsyncMain([this] {
        if (!m_isActivityAnimating)
            return;
        m_isActivityAnimating = false;
        if (AppDelegate *delegate = appDelegateInstance())
            delegate->setActivityIndicatorAnimating(false);
    });
}

// ---- Analytics ----

QString SharedAppGlobals::analyticsEventText(const QString &name, const QVariantMap &parameters)
{
    QString text = name;
    text.replace(QLatin1Char(' '), QLatin1Char('-'));
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        // A yes/no parameter is a number like any other: "1" or "0".
        const QVariant &value = it.value();
        const QString shown = value.typeId() == QMetaType::Bool ? QString::number(int(value.toBool())) : value.toString();
        text += QStringLiteral("[%1-%2]").arg(it.key(), shown);
    }
    return text;
}

void SharedAppGlobals::logAnalyticsEvent(const QString &name)
{
    logAnalyticsEvent(name, {});
}

void SharedAppGlobals::logAnalyticsEvent(const QString &name, const QVariantMap &parameters)
{
    const QString text = analyticsEventText(name, parameters);
    EventSink sink;
    {
        std::lock_guard lock(m_sinkMutex);
        sink = m_sink;
    }
    if (sink)
        sink(text);
    else
        QDLogDebug(QStringLiteral("Analytics event: %1").arg(text));
}

void SharedAppGlobals::setEventSink(EventSink sink)
{
    std::lock_guard lock(m_sinkMutex);
    m_sink = std::move(sink);
}

// ---- Accessors ----

AppDelegate *appDelegateInstance()
{
    return AppDelegate::instance();
}

platform::store::ContextPtr appMainManagedObjectContext()
{
    AppDelegate *delegate = appDelegateInstance();
    return delegate ? delegate->managedObjectContext() : nullptr;
}

std::shared_ptr<CoreDataControllerMac> appCoreDataController()
{
    AppDelegate *delegate = appDelegateInstance();
    return delegate ? delegate->coreDataController() : nullptr;
}
