#include "Mac/Map/AddLocationViewControllerMac.h"

#include "Mac/Shell/PlainTextLabel.h"

#include "QuendelKit/Entities/Location.h"

#include "platform/maps/Geocoder.h"
#include "platform/maps/MapView.h"
#include "platform/maps/UserLocation.h"
#include "platform/ui/AlertPresenter.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using platform::maps::Coordinate;

namespace {

constexpr double PinGrabRadius = 16;
const QString LatitudeKey = QStringLiteral("latitude");
const QString LongitudeKey = QStringLiteral("longitude");

} // namespace

AddLocationViewControllerMac::AddLocationViewControllerMac(const QString &nibName, ContextPtr context, QWidget *parent)
    : QWidget(parent), m_context(std::move(context))
{
    setObjectName(nibName);
    setAccessibleName(QStringLiteral("Location editor"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    auto *form = new QFormLayout;
    m_nameField = new QLineEdit(this);
    m_nameField->setObjectName(QStringLiteral("locationNameTextField"));
    m_nameField->setAccessibleName(QStringLiteral("Location name"));
    m_nameField->setPlaceholderText(QStringLiteral("Name"));
    form->addRow(QStringLiteral("Name:"), m_nameField);
    m_addressField = new QLineEdit(this);
    m_addressField->setObjectName(QStringLiteral("addressTextField"));
    m_addressField->setAccessibleName(QStringLiteral("Location address"));
    m_addressField->setPlaceholderText(QStringLiteral("Address"));
    form->addRow(QStringLiteral("Address:"), m_addressField);
    layout->addLayout(form);

    m_mapView = new platform::maps::MapView(this);
    m_mapView->setObjectName(QStringLiteral("locationMapView"));
    m_mapView->setAccessibleName(QStringLiteral("Location map"));
    m_mapView->setMinimumSize(360, 240);
    m_mapView->setToolTip(QStringLiteral("Drag the pin to the place"));
    m_mapView->installEventFilter(this);
    layout->addWidget(m_mapView, 1);

    auto *status = new QHBoxLayout;
    m_progressSpinner = new QProgressBar(this);
    m_progressSpinner->setRange(0, 0);
    m_progressSpinner->setMaximumWidth(60);
    m_progressSpinner->hide();
    m_messageLabel = new PlainTextLabel(this);
    m_messageLabel->setObjectName(QStringLiteral("messageLabel"));
    m_messageLabel->hide();
    status->addWidget(m_progressSpinner);
    status->addWidget(m_messageLabel, 1);
    layout->addLayout(status);

    auto *buttons = new QHBoxLayout;
    m_backButton = new QPushButton(QStringLiteral("Back"), this);
    m_backButton->setAccessibleName(QStringLiteral("Back"));
    m_removeButton = new QPushButton(QStringLiteral("Remove"), this);
    m_removeButton->setAccessibleName(QStringLiteral("Remove pin"));
    m_removeButton->hide();
    m_doneButton = new QPushButton(QStringLiteral("Done"), this);
    m_doneButton->setAccessibleName(QStringLiteral("Done"));
    m_doneButton->setEnabled(false);
    // Return in the address field looks the address up; it presses no button.
    for (QPushButton *button : {m_backButton, m_removeButton, m_doneButton})
        button->setAutoDefault(false);
    buttons->addWidget(m_backButton);
    buttons->addWidget(m_removeButton);
    buttons->addStretch(1);
    buttons->addWidget(m_doneButton);
    layout->addLayout(buttons);

    connect(m_backButton, &QPushButton::clicked, this, &AddLocationViewControllerMac::backButtonPressed);
    connect(m_removeButton, &QPushButton::clicked, this, &AddLocationViewControllerMac::removeButtonPressed);
    connect(m_doneButton, &QPushButton::clicked, this, &AddLocationViewControllerMac::doneButtonClicked);
    // Emptying the name field still leaves Done enabled: an empty name is a valid choice.
    connect(m_nameField, &QLineEdit::textEdited, this, [this] { m_doneButton->setEnabled(true); });
    connect(m_addressField, &QLineEdit::editingFinished, this, &AddLocationViewControllerMac::addressEditingEnded);
}

AddLocationViewControllerMac::~AddLocationViewControllerMac()
{
    *m_alive = false;
}

void AddLocationViewControllerMac::showEvent(QShowEvent *event)
{
    awakeFromNib();
    QWidget::showEvent(event);
}

void AddLocationViewControllerMac::awakeFromNib()
{
    if (m_alreadyLoadedView)
        return;
    m_alreadyLoadedView = true;
    if (m_locationObject) {
        QString name;
        QString address;
        QVariant latitude;
        QVariant longitude;
        m_context->performAndWait([&] {
            name = m_locationObject->locationName();
            address = m_locationObject->locationAddress();
            latitude = m_locationObject->value(LatitudeKey);
            longitude = m_locationObject->value(LongitudeKey);
        });
        if (!name.isNull()) {
            m_nameField->setText(name);
            m_doneButton->setEnabled(true);
        }
        if (!address.isNull()) {
            address.replace(QLatin1Char('\n'), QLatin1Char(' '));
            m_addressField->setText(address);
            m_lastLookedUp = address;
        }
        const Coordinate place{latitude.toDouble(), longitude.toDouble()};
        if (latitude.isValid() && longitude.isValid() && !latitude.isNull() && place.isValid()) {
            placePin(place);
            m_mapView->setShowsUserLocation(false);
            m_current = place;
            commonZoomToLocation();
        }
        return;
    }
    // A new place starts where the user is.
    m_mapView->setShowsUserLocation(true);
    m_locationManager = platform::maps::UserLocationProvider::make(this);
    if (!m_locationManager)
        return;
    connect(m_locationManager.get(), &platform::maps::UserLocationProvider::locationUpdated, this,
            [this](double latitude, double longitude) { mapViewDidUpdateUserLocation({latitude, longitude}); });
    connect(m_locationManager.get(), &platform::maps::UserLocationProvider::failed, this,
            [this](const QString &) { mapViewDidFailToLocateUser(); });
    showMessage(QStringLiteral("Getting User Location"), true);
    m_locationManager->startUpdatingLocation();
}

void AddLocationViewControllerMac::showMessage(const QString &text, bool spinning)
{
    m_messageLabel->setText(text);
    m_messageLabel->setVisible(!text.isEmpty());
    m_progressSpinner->setVisible(spinning);
}

void AddLocationViewControllerMac::mapViewDidUpdateUserLocation(const Coordinate &location)
{
    if (!location.isValid())
        return;
    m_mapView->setUserLocation(location);
    if (m_current && platform::maps::distanceMetres(*m_current, location) <= IgnoreMovesWithinMetres)
        return;
    m_current = location;
    startGeocodingWithCoordinate(location);
    commonZoomToLocation();
    placePin(location);
}

void AddLocationViewControllerMac::mapViewDidFailToLocateUser()
{
    showMessage(QStringLiteral("Error Getting Location"), false);
}

void AddLocationViewControllerMac::placePin(const Coordinate &coordinate)
{
    if (!m_pin)
        m_pin = LocationAnnotation{};
    m_pin->coordinate = coordinate;
    m_mapView->removeAnnotation(PinKey);
    platform::maps::MapAnnotation pin;
    pin.key = PinKey;
    pin.coordinate = coordinate;
    pin.title = LocationAnnotation::Title;
    pin.color = QColor(0xd0, 0x30, 0x30);
    // The pin has nothing more to tell than where it is.
    pin.showsCallout = false;
    m_mapView->addAnnotation(pin);
    m_pinOnMap = true;
    m_mapView->selectAnnotation(PinKey, false);
}

void AddLocationViewControllerMac::commonZoomToLocation()
{
    showMessage(QString(), false);
    m_removeButton->show();
    zoomCurrentLocation(0.1);
}

void AddLocationViewControllerMac::zoomCurrentLocation(double span)
{
    if (!m_current)
        return;
    m_mapView->setRegion({*m_current, span, span}, true);
}

void AddLocationViewControllerMac::addressEditingEnded()
{
    const QString text = m_addressField->text();
    // Leaving the field again without a change looks nothing up again.
    if (text.trimmed().isEmpty() || text == m_lastLookedUp)
        return;
    m_lastLookedUp = text;
    auto geocoder = platform::maps::Geocoder::make();
    if (!geocoder)
        return;
    std::weak_ptr<bool> alive = m_alive;
    QPointer<AddLocationViewControllerMac> self(this);
    geocoder->geocodeAddressString(text, [self, alive, text, geocoder](const QList<platform::maps::Placemark> &placemarks,
                                                                       const platform::core::QDError &) {
        if (alive.expired() || !self)
            return;
        if (placemarks.isEmpty()) {
            platform::ui::AlertSpec alert;
            alert.messageText = QStringLiteral("Error");
            alert.informativeText = QStringLiteral("Address is invalid");
            platform::ui::AlertPresenter::shared().beginSheet(alert, self->window());
            return;
        }
        const Coordinate place = placemarks.first().coordinate;
        self->m_savedAddress = text;
        self->showMessage(QString(), false);
        self->placePin(place);
        self->m_current = place;
        self->m_removeButton->show();
        self->m_mapView->setRegion({place, 0.02, 0.02}, true);
    });
}

void AddLocationViewControllerMac::pinDragEnded(const Coordinate &coordinate)
{
    if (!coordinate.isValid())
        return;
    placePin(coordinate);
    startGeocodingWithCoordinate(coordinate);
}

void AddLocationViewControllerMac::startGeocodingWithCoordinate(const Coordinate &coordinate)
{
    if (!m_clGeocoder)
        m_clGeocoder = platform::maps::Geocoder::make();
    if (!m_clGeocoder)
        return;
    std::weak_ptr<bool> alive = m_alive;
    QPointer<AddLocationViewControllerMac> self(this);
    m_clGeocoder->reverseGeocodeLocation(coordinate, [self, alive](const QList<platform::maps::Placemark> &placemarks,
                                                                   const platform::core::QDError &) {
        if (alive.expired() || !self || placemarks.isEmpty())
            return;
        self->saveMKPlacemarkInfo(placemarks.first());
    });
}

void AddLocationViewControllerMac::saveMKPlacemarkInfo(const platform::maps::Placemark &placemark)
{
    m_savePlacemark = placemark;
    m_savedAddress = addressStringFromPlacemark(placemark);
    m_addressField->setText(m_savedAddress);
    m_lastLookedUp = m_savedAddress;
    if (m_pin)
        m_pin->address = m_savedAddress;
}

QString AddLocationViewControllerMac::addressStringFromPlacemark(const platform::maps::Placemark &placemark)
{
    QStringList parts;
    for (const QString &part : {placemark.subThoroughfare, placemark.thoroughfare, placemark.locality,
                                placemark.administrativeArea, placemark.postalCode})
        if (!part.isEmpty())
            parts << part;
    if (!placemark.country.isEmpty())
        parts << placemark.country;
    else if (!placemark.countryCode.isEmpty())
        parts << placemark.countryCode;
    return parts.join(QStringLiteral(", "));
}

void AddLocationViewControllerMac::removeButtonPressed()
{
    m_addressField->clear();
    m_lastLookedUp.clear();
    m_mapView->removeAnnotation(PinKey);
    m_pinOnMap = false;
}

void AddLocationViewControllerMac::backButtonPressed()
{
    if (m_delegate)
        m_delegate->backButtonSelected();
}

void AddLocationViewControllerMac::doneButtonClicked()
{
    const bool editing = m_locationObject != nullptr;
    const QString name = m_nameField->text();
    // A pin taken off the map leaves no coordinate behind.
    const std::optional<Coordinate> pin = m_pin && m_pinOnMap ? std::optional(m_pin->coordinate) : std::nullopt;
    bool saved = false;
    platform::core::QDError error;
    m_context->performAndWait([&] {
        if (!m_locationObject) {
            m_locationObject = m_context->insertNewObject<Location>(Location::EntityName);
            if (!m_locationObject)
                return;
            platform::store::FetchRequest request = Location::fetchRequest();
            const qint64 count = m_context->countForFetchRequest(request);
            m_locationObject->setDisplayOrder(std::max<qint64>(0, count - 1));
        }
        m_locationObject->setLocationName(name);
        if (pin && pin->latitude != 0 && pin->longitude != 0) {
            m_locationObject->setLatitude(pin->latitude);
            m_locationObject->setLongitude(pin->longitude);
        } else {
            m_locationObject->setValue(LatitudeKey, QVariant());
            m_locationObject->setValue(LongitudeKey, QVariant());
        }
        m_locationObject->setLocationAddress(m_savedAddress.isEmpty() ? QString() : m_savedAddress);
        saved = m_context->save(&error);
    });
    if (!m_locationObject)
        return;
    if (!saved) {
        // Nothing is reported as added when it did not reach the store.
        platform::ui::AlertSpec alert;
        alert.messageText = QStringLiteral("Unable to save");
        alert.informativeText = QStringLiteral("The location could not be saved: %1").arg(error.localizedDescription());
        platform::ui::AlertPresenter::shared().beginSheet(alert, window());
        return;
    }
    if (!m_delegate)
        return;
    if (editing)
        m_delegate->updatedExistingLocationItem(m_locationObject);
    else
        m_delegate->addedNewLocationItem(m_locationObject);
}

bool AddLocationViewControllerMac::eventFilter(QObject *watched, QEvent *event)
{
    // The pin is dragged with the mouse; anywhere else the map pans as usual.
    if (watched != m_mapView || !m_pin || !m_pinOnMap)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QPointF tip = m_mapView->pointForCoordinate(m_pin->coordinate);
        const QPointF at = mouse->position();
        // The pin stands above its point.
        const bool onPin = std::abs(at.x() - tip.x()) <= PinGrabRadius && at.y() <= tip.y() + 4
                           && at.y() >= tip.y() - 3 * PinGrabRadius;
        if (mouse->button() == Qt::LeftButton && onPin) {
            m_draggingPin = true;
            m_pin->address.clear();
            return true;
        }
        break;
    }
    case QEvent::MouseMove:
        if (m_draggingPin) {
            const Coordinate at = m_mapView->coordinateForPoint(static_cast<QMouseEvent *>(event)->position());
            if (at.isValid()) {
                m_mapView->removeAnnotation(PinKey);
                placePin(at);
            }
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (m_draggingPin) {
            m_draggingPin = false;
            pinDragEnded(m_mapView->coordinateForPoint(static_cast<QMouseEvent *>(event)->position()));
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
