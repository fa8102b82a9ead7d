#include "platform/store/StoreNotifications.h"

#include "platform/core/NotificationCenter.h"

namespace platform::store {

namespace {
QList<ManagedObjectID> idsOf(const std::vector<ObjectChange> &changes)
{
    QList<ManagedObjectID> ids;
    ids.reserve(qsizetype(changes.size()));
    for (const ObjectChange &change : changes)
        ids << change.objectID;
    return ids;
}
} // namespace

QList<ManagedObjectID> SaveChanges::insertedIDs() const { return idsOf(inserted); }
QList<ManagedObjectID> SaveChanges::updatedIDs() const { return idsOf(updated); }
QList<ManagedObjectID> SaveChanges::deletedIDs() const { return idsOf(deleted); }

QStringList SaveChanges::changedKeysFor(const ManagedObjectID &id) const
{
    for (const ObjectChange &change : updated)
        if (change.objectID == id)
            return change.changedKeys;
    return {};
}

std::shared_ptr<const SaveChanges> SaveChanges::fromNotification(const platform::core::Notification &notification)
{
    const QVariant value = notification.userInfo.value(ChangesKey);
    if (!value.canConvert<std::shared_ptr<const SaveChanges>>())
        return {};
    return value.value<std::shared_ptr<const SaveChanges>>();
}

} // namespace platform::store
