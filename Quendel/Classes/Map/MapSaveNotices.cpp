#include "Classes/Map/MapSaveNotices.h"

#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/PersonAddress.h"

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreNotifications.h"

#include <cmath>

using platform::core::Notification;
using platform::core::NotificationCenter;
using platform::store::ManagedObject;
using platform::store::ManagedObjectContext;

namespace {
QVariantMap keyed(const QString &group)
{
    return {{QStringLiteral("Key"), group}};
}
} // namespace

MapSaveNotices::MapSaveNotices(std::shared_ptr<ManagedObjectContext> mainContext) : m_context(mainContext)
{
    ManagedObjectContext *context = mainContext.get();
    m_observers.emplace_back(platform::store::ManagedObjectContextWillSaveNotification, context,
                             [this](const Notification &) { willSave(); });
    m_observers.emplace_back(platform::store::ManagedObjectContextDidSaveNotification, context,
                             [this](const Notification &n) { didSave(n); });
}

MapSaveNotices::~MapSaveNotices() = default;

void MapSaveNotices::willSave()
{
    const std::shared_ptr<ManagedObjectContext> context = m_context.lock();
    if (!context)
        return;
    NotificationCenter &center = NotificationCenter::defaultCenter();
    const auto announce = [&](const QList<ManagedObject *> &objects, const QString &group) {
        for (ManagedObject *object : objects) {
            if (auto *address = dynamic_cast<PersonAddress *>(object))
                center.post(PersonAddressDidSaveNotification, address, keyed(group));
        }
    };
    announce(context->insertedObjects(), platform::store::InsertedObjectsKey);
    announce(context->deletedObjects(), platform::store::DeletedObjectsKey);
    static const QStringList textKeys = {QStringLiteral("street"), QStringLiteral("city"), QStringLiteral("state"),
                                         QStringLiteral("zip"), QStringLiteral("country")};
    for (ManagedObject *object : context->updatedObjects()) {
        auto *address = dynamic_cast<PersonAddress *>(object);
        if (!address)
            continue;
        const QStringList changed = address->changedKeys();
        if (std::any_of(textKeys.begin(), textKeys.end(), [&](const QString &key) { return changed.contains(key); })) {
            if (!m_updatedAddresses.contains(address))
                m_updatedAddresses << address;
            continue;
        }
        if (changed.contains(QStringLiteral("latitude")) || changed.contains(QStringLiteral("longitude"))) {
            const bool realPosition = std::fabs(address->latitude()) > 0.001 && std::fabs(address->longitude()) > 0.001;
            if (realPosition || address->geocodeStatus() == 2)
                center.post(PersonAddressDidSaveNotification, address, keyed(platform::store::UpdatedObjectsKey));
        }
    }
}

void MapSaveNotices::didSave(const Notification &notification)
{
    NotificationCenter &center = NotificationCenter::defaultCenter();
    for (const QString &group : {platform::store::InsertedObjectsKey, platform::store::UpdatedObjectsKey,
                                 platform::store::DeletedObjectsKey}) {
        const auto objects = notification.userInfo.value(group).value<ManagedObject::ObjectList>();
        for (ManagedObject *object : objects) {
            if (auto *place = dynamic_cast<Location *>(object))
                center.post(LocationDidSaveNotification, place, keyed(group));
            else if (group == platform::store::InsertedObjectsKey && dynamic_cast<PersonAddress *>(object))
                center.post(PersonAddressGeocodeOnLoadNotification, object);
        }
    }
    const QList<PersonAddress *> updated = std::exchange(m_updatedAddresses, {});
    for (PersonAddress *address : updated)
        center.post(PersonAddressGeocodeOnLoadNotification, address);
}
