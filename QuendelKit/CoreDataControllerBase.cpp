#include "QuendelKit/CoreDataControllerBase.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/QuendelModel.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Dispatch.h"

#include <exception>

using platform::store::ContextPtr;
using platform::store::ManagedObjectContext;
using platform::store::StoreCoordinator;

CoreDataControllerBase::CoreDataControllerBase(LoadCompletionBlock loadCompletionBlock)
    : m_loadCompletionBlock(std::move(loadCompletionBlock))
{
    isIOS = false;
}

CoreDataControllerBase::~CoreDataControllerBase() = default;

std::shared_ptr<const platform::store::ManagedObjectModel> CoreDataControllerBase::managedObjectModel()
{
    if (!m_model)
        m_model = QuendelModel::create();
    return m_model;
}

void CoreDataControllerBase::setManagedObjectModel(std::shared_ptr<const platform::store::ManagedObjectModel> model)
{
    m_model = std::move(model);
}

std::shared_ptr<StoreCoordinator> CoreDataControllerBase::persistentStoreCoordinator()
{
    if (!m_coordinator) {
        m_coordinator = std::make_shared<StoreCoordinator>(managedObjectModel());
        m_coordinator->setName(CoordinatorName);
    }
    return m_coordinator;
}

void CoreDataControllerBase::setPersistentStoreCoordinator(std::shared_ptr<StoreCoordinator> coordinator)
{
    m_coordinator = std::move(coordinator);
}

std::shared_ptr<StoreCoordinator> CoreDataControllerBase::loadedPersistentStoreCoordinator() const
{
    return m_coordinator;
}

ContextPtr CoreDataControllerBase::managedObjectContext()
{
    if (m_context)
        return m_context;
    QDLogInfo(QStringLiteral("BEGIN CoreDataController: managedObjectContext loading"));

    const std::shared_ptr<StoreCoordinator> coordinator = persistentStoreCoordinator();
    // Loading the store may run data passes that asked for the main context and so made it already.
    if (m_context)
        return m_context;
    if (!coordinator)
        return nullptr;

    ContextPtr context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    context->setName(MainContextName);
    context->setMergePolicy(platform::store::MergePolicy::ObjectTrump);
    context->performAndWait([&] {
        context->setPersistentStoreCoordinator(coordinator);
        // Replacing the observation keeps exactly one registration however often a context is made.
        m_importObserver.reset();
        m_importObserver = platform::core::ScopedObserver(
            PersistentStoreDidImportUbiquitousContentChangesNotification, coordinator.get(),
            [this](const platform::core::Notification &notification) { mergeChangesFrom_iCloud(notification); });
    });
    m_context = context;

    if (m_loadCompletionBlock) {
        QDLogInfo(QStringLiteral("CoreDataController: managedObjectContext: about to call loadCompletionBlock"));
        m_loadCompletionBlock();
    }
    QDLogInfo(QStringLiteral("END CoreDataController: managedObjectContext loading"));
    return context;
}

void CoreDataControllerBase::setManagedObjectContext(ContextPtr context)
{
    m_context = std::move(context);
}

bool CoreDataControllerBase::isOlderCloudStoreEnabled() const
{
    return iCloudEnabledInApp();
}

bool CoreDataControllerBase::mergeChangesFrom_iCloud(const platform::core::Notification &notification)
{
    QDLogInfo(QStringLiteral("---- CoreData: mergeChangesFrom_iCloud ---- UbiquityDidChangeNotification "));
    if (!isOlderCloudStoreEnabled())
        return false;

    QStringList details;
    for (auto it = notification.userInfo.cbegin(); it != notification.userInfo.cend(); ++it)
        details.append(QStringLiteral("%1 = %2").arg(it.key(), it.value().toString()));
    QDLogInfo(
        QStringLiteral("mergeChangesFrom_iCloud: icloud notification = \n %1").arg(details.join(QLatin1String(", "))));

    const ContextPtr context = m_context;
    if (!context)
        return false;
    bool merged = false;
    context->performAndWait([&] {
        try {
            context->mergeChangesFromContextDidSaveNotification(notification);
            merged = true;
        } catch (const std::exception &exception) {
            QDLogError(QStringLiteral("🚨🚨 CoreData: mergeChangesFrom_iCloud exception = %1 🚨🚨")
                           .arg(QString::fromUtf8(exception.what())));
        }
    });
    if (!merged)
        return false;

    const QVariantMap userInfo = notification.userInfo;
    platform::core::dispatchAsyncMain([userInfo] {
        platform::core::NotificationCenter::defaultCenter().post(RefreshAllViewsAfterCloudChangesNotification, nullptr,
                                                                 userInfo);
    });
    QDLogInfo(QStringLiteral("---- CoreData: mergeChangesFrom_iCloud ---- after sending icloud notification"));
    return true;
}
