#pragma once

#include "platform/maps/Placemark.h"
#include "platform/store/ManagedObjectContext.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class Location;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
namespace platform::maps {
class Geocoder;
class MapView;
class UserLocationProvider;
} // namespace platform::maps

// Who hears what the location editor did.
class AddLocationItemDelegate
{
public:
    virtual ~AddLocationItemDelegate() = default;
    virtual void addedNewLocationItem(Location *location) = 0;
    virtual void backButtonSelected() = 0;
    virtual void updatedExistingLocationItem(Location *location) {}
};

// The pin of the place being edited.
struct LocationAnnotation
{
    platform::maps::Coordinate coordinate;
    QString address;
    static inline const QString Title = QStringLiteral("Pick and Drag");
};

// Adds a saved place or edits one: a name, an address and a pin on a small map. A typed address is looked
// up and the pin goes there; the pin dragged (or put at the user's position) has the address under it
// looked up and shown. Done stores the place in the editor's context.
class AddLocationViewControllerMac : public QWidget
{
    Q_OBJECT
public:
    using ContextPtr = platform::store::ContextPtr;
    using Coordinate = platform::maps::Coordinate;

    static inline const QString NibName = QStringLiteral("AddLocationViewControllerMac");
    static inline const QString PinKey = QStringLiteral("locationViewID");
    static constexpr double IgnoreMovesWithinMetres = 100;

    AddLocationViewControllerMac(const QString &nibName, ContextPtr context, QWidget *parent = nullptr);
    ~AddLocationViewControllerMac() override;

    Location *locationObject() const { return m_locationObject; }
    void setLocationObject(Location *location) { m_locationObject = location; }
    AddLocationItemDelegate *delegate() const { return m_delegate; }
    void setDelegate(AddLocationItemDelegate *delegate) { m_delegate = delegate; }

    void awakeFromNib();

    // ---- Actions ----
    void doneButtonClicked();
    void backButtonPressed();
    void removeButtonPressed();
    // The address field was left with a text: look it up.
    void addressEditingEnded();
    void mapViewDidUpdateUserLocation(const Coordinate &location);
    void mapViewDidFailToLocateUser();
    // The pin was dragged to `coordinate`.
    void pinDragEnded(const Coordinate &coordinate);
    void startGeocodingWithCoordinate(const Coordinate &coordinate);
    void saveMKPlacemarkInfo(const platform::maps::Placemark &placemark);
    static QString addressStringFromPlacemark(const platform::maps::Placemark &placemark);

    // ---- State ----
    const std::optional<LocationAnnotation> &pinAnnotation() const { return m_pin; }
    const QString &savedAddress() const { return m_savedAddress; }
    std::optional<Coordinate> current() const { return m_current; }

    QLineEdit *locationNameTextField() const { return m_nameField; }
    QLineEdit *addressTextField() const { return m_addressField; }
    platform::maps::MapView *locationMapView() const { return m_mapView; }
    QPushButton *doneButton() const { return m_doneButton; }
    QPushButton *removeButton() const { return m_removeButton; }
    QLabel *messageLabel() const { return m_messageLabel; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void placePin(const Coordinate &coordinate);
    void commonZoomToLocation();
    void zoomCurrentLocation(double span);
    void showMessage(const QString &text, bool spinning);

    ContextPtr m_context;
    Location *m_locationObject = nullptr;
    AddLocationItemDelegate *m_delegate = nullptr;
    std::optional<Coordinate> m_current;
    std::optional<LocationAnnotation> m_pin;
    bool m_pinOnMap = false;
    QString m_savedAddress;
    std::optional<platform::maps::Placemark> m_savePlacemark;
    std::shared_ptr<platform::maps::Geocoder> m_clGeocoder;
    std::unique_ptr<platform::maps::UserLocationProvider> m_locationManager;
    bool m_alreadyLoadedView = false;
    bool m_draggingPin = false;
    QString m_lastLookedUp;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

    QLineEdit *m_nameField = nullptr;
    QLineEdit *m_addressField = nullptr;
    platform::maps::MapView *m_mapView = nullptr;
    QPushButton *m_doneButton = nullptr;
    QPushButton *m_backButton = nullptr;
    QPushButton *m_removeButton = nullptr;
    QProgressBar *m_progressSpinner = nullptr;
    QLabel *m_messageLabel = nullptr;
};
