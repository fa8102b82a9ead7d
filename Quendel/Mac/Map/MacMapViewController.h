#pragma once

#include "Classes/Map/CLGeocoderRequestQueue.h"
#include "Classes/Map/MapViewShared.h"
#include "Mac/Shell/MainWindowManagerViewController.h"

#include "QuendelKit/Entities/LocationsListSetup.h"

#include "platform/core/NotificationCenter.h"

#include <QPointer>
#include <QSet>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Location;
class Person;
class PersonAddress;
class QLabel;
class QProgressBar;
class QStandardItemModel;
class QTreeView;
namespace platform::maps {
class MapView;
class UserLocationProvider;
} // namespace platform::maps
namespace platform::store {
class ManagedObject;
}

// The Map section: a map with a pin per contact address and saved place, and beside it a list of the same
// records grouped by their distance from the user; a status bar under the map tells what the user's
// location and the background geocoding are doing. The toolbar's search narrows the list, the window's
// group narrows list and map; the toolbar's Add button prints the map with its list.
class MacMapViewController : public MainWindowManagerViewController, public CLCustomGeocodeDelegate
{
    Q_OBJECT
public:
    static constexpr int BarHeight = 30;
    static inline const QString GroupChangeNotification = QStringLiteral("GroupChangeNotification");
    static inline const QString PersonDisplayNameChangedNotification =
        QStringLiteral("PersonDisplayNameChangedNotification");

    explicit MacMapViewController(ContextPtr context, QWidget *parent = nullptr);
    ~MacMapViewController() override;

    // Where the geocoding queue is found (the store controller's).
    void setRequestQueueProvider(std::function<std::shared_ptr<GeocoderRequestQueue>()> provider)
    {
        m_requestQueue = std::move(provider);
    }
    void setShowContactPage(std::function<void(Person *)> handler) { m_showContactPage = std::move(handler); }

    platform::maps::MapView *mapView() const { return m_mapView; }
    QTreeView *locationsListOutlineView() const { return m_outline; }
    MapViewShared &mapviewShared() { return m_shared; }
    QString barMessage() const;
    bool isBarShown() const { return m_barShown; }
    bool loadedMapFirstTime() const { return m_loadedMapFirstTime; }

    // Section contract.
    void awakeFromNib() override;
    void searchResultsWithString(const QString &text) override;
    void groupChangedNotification(const platform::core::Notification &notification) override;
    void prepareForDBRestore(const platform::core::Notification &notification) override;
    void databaseRestoredNotification(const platform::core::Notification &notification) override;

    void setupSidebarDictionaryWithLoadMapPins(bool loadPins);
    void loadAllAnnotationsOnMap();
    void addPersonAddressObjectToMap(platform::store::ManagedObject *record);
    void updatePersonAddressObject(platform::store::ManagedObject *record);
    void deletePersonAddressObjectFromMap(platform::store::ManagedObject *record);
    // Shows an address's row and pin (after the first location; before it, it waits for it).
    void selectPersonAddressInList(PersonAddress *address);
    // The list's current row on the map.
    void selectedLocationItem();
    // The map with its list, through the print dialog.
    void printMapView();
    // The printout's picture and text (HTML) of what the map shows now.
    std::pair<QImage, QString> printableMap() const;
    // The members of the group that filters the section; unset for all contacts.
    void setGroupMembers(std::optional<QSet<const Person *>> members);

    // CLCustomGeocodeDelegate (any thread).
    void geocodeSendingRequest() override;
    void geocoderReceivedResponseWithStackStatus(bool idle) override;

    // The user's location.
    void userLocationUpdated(double latitude, double longitude);
    void userLocationFailed();
    void authorizationChanged(int status);
    void zoomCurrentLocation();

protected:
    void loadView() override;
    bool handlesDeleteCommand() const override { return false; }
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Group
    {
        QString key;
        QList<platform::store::ManagedObject *> rows;
    };

    QList<PersonAddress *> arrangedAddresses() const;
    QList<Location *> arrangedLocations() const;
    bool passesFilters(platform::store::ManagedObject *record) const;
    void reloadOutline();
    void showBottomBar();
    void hideBottomBar();
    void setBar(const QString &text, bool spinning);
    void removeFillerIfShown();
    void updateFiller();
    void personAddressUpdated(const platform::core::Notification &notification);
    void locationUpdated(const platform::core::Notification &notification);
    void calloutInfo(const QString &key);
    platform::store::ManagedObject *recordForKey(const QString &key) const;
    platform::store::ManagedObject *selectedRecord() const;
    void selectRecordInList(platform::store::ManagedObject *record);
    void addRecordPin(platform::store::ManagedObject *record);

    MapViewShared m_shared;
    LocationsListSetup m_listSetup;
    std::optional<GeoCoordinate> m_current;
    QList<Group> m_groups;
    QString m_searchText;
    std::optional<QSet<const Person *>> m_groupMembers;
    PersonAddress *m_addressSelectedFromInfo = nullptr;
    bool m_loadedMapFirstTime = false;
    bool m_loadedArrayController = false;
    std::atomic<bool> m_geocodeStackAreEmptyMessage{true};
    bool m_barShown = false;
    bool m_setUp = false;

    platform::maps::MapView *m_mapView = nullptr;
    QTreeView *m_outline = nullptr;
    QStandardItemModel *m_model = nullptr;
    QWidget *m_barView = nullptr;
    QLabel *m_barMessageLabel = nullptr;
    QProgressBar *m_barSpinner = nullptr;
    QLabel *m_filler = nullptr;
    std::unique_ptr<platform::maps::UserLocationProvider> m_locationManager;
    std::function<std::shared_ptr<GeocoderRequestQueue>()> m_requestQueue;
    std::function<void(Person *)> m_showContactPage;
    std::vector<platform::core::ScopedObserver> m_observers;
    std::shared_ptr<CLGeocoderRequestQueue> m_delegateOf;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
