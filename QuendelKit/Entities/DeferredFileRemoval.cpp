#include "QuendelKit/Entities/DeferredFileRemoval.h"

#include "platform/core/NotificationCenter.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreNotifications.h"

#include <QHash>

#include <mutex>

using platform::store::ManagedObjectContext;

namespace {

std::mutex registryMutex;

QHash<QString, std::function<void()>> &registry()
{
    static QHash<QString, std::function<void()>> pending;
    return pending;
}

void runSavedRemovals(const platform::core::Notification &notification)
{
    const auto *context = static_cast<const ManagedObjectContext *>(notification.object);
    if (!context || context->parentContext())
        return;
    const auto changes = platform::store::SaveChanges::fromNotification(notification);
    if (!changes)
        return;
    std::vector<std::function<void()>> due;
    {
        std::lock_guard lock(registryMutex);
        if (registry().isEmpty())
            return;
        for (const platform::store::ManagedObjectID &id : changes->deletedIDs()) {
            auto it = registry().find(id.URIRepresentation().toString());
            if (it != registry().end()) {
                due.push_back(std::move(it.value()));
                registry().erase(it);
            }
        }
    }
    for (const auto &removal : due)
        removal();
}

void observeSaves()
{
    static std::once_flag once;
    std::call_once(once, [] {
        platform::core::NotificationCenter::defaultCenter().addObserver(
            platform::store::ManagedObjectContextDidSaveNotification, nullptr, runSavedRemovals);
    });
}

} // namespace

void DeferredFileRemoval::removeAfterDeletionIsSaved(const platform::store::ManagedObject &object,
                                                     std::function<void()> removal)
{
    if (object.objectID().isTemporaryID())
        return;
    observeSaves();
    std::lock_guard lock(registryMutex);
    registry().insert(object.objectID().URIRepresentation().toString(), std::move(removal));
}

int DeferredFileRemoval::pendingCount()
{
    std::lock_guard lock(registryMutex);
    return int(registry().size());
}
