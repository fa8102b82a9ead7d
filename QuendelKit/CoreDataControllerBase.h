#pragma once

#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Model.h"
#include "platform/store/StoreCoordinator.h"

#include <QString>

#include <functional>
#include <memory>

// The three objects through which the program reaches its store: the model, the coordinator and the one
// main-queue context. Each is made on first request; every new main context runs the load-completion
// callback. The application's store controller derives from it and opens the store in its coordinator.
class CoreDataControllerBase
{
public:
    using LoadCompletionBlock = std::function<void()>;

    static inline const QString MainContextName = QStringLiteral("QDMainThreadContext");
    static inline const QString CoordinatorName = QStringLiteral("CoreDataControllerBasePSC");
    // Posted by the older shared cloud store with the coordinator as object when it imported changes made
    // on another computer; the user info is a did-save notice's ("changes" and the object lists).
    static inline const QString PersistentStoreDidImportUbiquitousContentChangesNotification =
        QStringLiteral("PersistentStoreDidImportUbiquitousContentChangesNotification");
    static inline const QString RefreshAllViewsAfterCloudChangesNotification =
        QStringLiteral("RefreshAllViewsAfterCloudChanges");

    // Keeps the callback; loads nothing.
    explicit CoreDataControllerBase(LoadCompletionBlock loadCompletionBlock = {});
    virtual ~CoreDataControllerBase();
    CoreDataControllerBase(const CoreDataControllerBase &) = delete;
    CoreDataControllerBase &operator=(const CoreDataControllerBase &) = delete;

    // Read by the application's store controller; never true on this platform.
    bool isIOS = false;

    // The model "Quendel", built on first use and kept.
    std::shared_ptr<const platform::store::ManagedObjectModel> managedObjectModel();
    void setManagedObjectModel(std::shared_ptr<const platform::store::ManagedObjectModel> model);

    // A coordinator over the model, made on first use; it holds no store. The application's store controller
    // replaces this to choose, migrate and open the store file.
    virtual std::shared_ptr<platform::store::StoreCoordinator> persistentStoreCoordinator();
    void setPersistentStoreCoordinator(std::shared_ptr<platform::store::StoreCoordinator> coordinator);
    // The kept coordinator; never makes one.
    std::shared_ptr<platform::store::StoreCoordinator> loadedPersistentStoreCoordinator() const;

    // The main context, made on first use and again after it was set to null; null when there is no
    // coordinator.
    platform::store::ContextPtr managedObjectContext();
    void setManagedObjectContext(platform::store::ContextPtr context);

    const LoadCompletionBlock &loadCompletionBlock() const { return m_loadCompletionBlock; }
    void setLoadCompletionBlock(LoadCompletionBlock block) { m_loadCompletionBlock = std::move(block); }

    // Merges an import of the older shared cloud store into the main context while the caller waits, then
    // asks every view to refresh. False when that store is off or the merge failed.
    virtual bool mergeChangesFrom_iCloud(const platform::core::Notification &notification);

protected:
    // Whether the older shared cloud store is in use; the settings object's answer.
    virtual bool isOlderCloudStoreEnabled() const;

private:
    LoadCompletionBlock m_loadCompletionBlock;
    std::shared_ptr<const platform::store::ManagedObjectModel> m_model;
    std::shared_ptr<platform::store::StoreCoordinator> m_coordinator;
    platform::store::ContextPtr m_context;
    platform::core::ScopedObserver m_importObserver;
};
