#pragma once

#include "platform/core/NotificationCenter.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class PersonAddress;
namespace platform::store {
class ManagedObjectContext;
}

// The saves of the main context as the map hears of them: an address inserted or deleted, or given a real
// position, is announced before the save ("PersonAddressDidSaveNotification"); a place changed in any
// way after it ("LocationDidSaveNotification"); an address that is new or whose text changed is handed on
// for geocoding after the save ("PersonAddressGeocodeOnLoadNotifcation"). Each notice carries the record
// and {"Key": "insertedObjects" | "updatedObjects" | "deletedObjects"}.
class MapSaveNotices
{
public:
    static inline const QString PersonAddressDidSaveNotification = QStringLiteral("PersonAddressDidSaveNotification");
    static inline const QString LocationDidSaveNotification = QStringLiteral("LocationDidSaveNotification");
    static inline const QString PersonAddressGeocodeOnLoadNotification =
        QStringLiteral("PersonAddressGeocodeOnLoadNotifcation");

    explicit MapSaveNotices(std::shared_ptr<platform::store::ManagedObjectContext> mainContext);
    ~MapSaveNotices();

private:
    void willSave();
    void didSave(const platform::core::Notification &notification);

    std::weak_ptr<platform::store::ManagedObjectContext> m_context;
    std::vector<platform::core::ScopedObserver> m_observers;
    // Addresses whose text changed, collected before a save and handed on for geocoding after it.
    QList<PersonAddress *> m_updatedAddresses;
};
