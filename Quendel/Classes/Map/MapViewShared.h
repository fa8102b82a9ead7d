#pragma once

#include "QuendelKit/Entities/GeoCoordinate.h"

#include "platform/maps/MapView.h"

#include <QColor>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

class GeocoderRequestQueue;
class Location;
class Person;
class PersonAddress;
namespace platform::store {
class ManagedObject;
class ManagedObjectContext;
} // namespace platform::store

// The map logic that needs no window: which records become pins and how they look, where pins that share
// one spot are drawn, the search and group filters of the Map section's lists, and the printable list.
class MapViewShared
{
public:
    using ContextPtr = std::shared_ptr<platform::store::ManagedObjectContext>;

    // Six metres of circle per pin of a group sharing one spot; the earth's radius of the spreading.
    static constexpr double SpreadMetresPerPin = 12 * 0.5;
    static constexpr double SpreadEarthRadius = 6378100;

    explicit MapViewShared(ContextPtr context);

    QColor defaultTintColor() const { return m_defaultTintColor; }
    void setDefaultTintColor(const QColor &color) { m_defaultTintColor = color; }
    std::optional<GeoCoordinate> current() const { return m_current; }
    void setCurrent(const GeoCoordinate &location) { m_current = location; }
    QString currentLocationString() const { return m_currentLocationString; }
    void setCurrentLocationString(const QString &text) { m_currentLocationString = text; }

    // ---- Pins ----
    static QColor greenPinColor() { return QColor(0x2e, 0xa0, 0x43); }
    static QColor redPinColor() { return QColor(0xd9, 0x30, 0x25); }
    static QColor purplePinColor() { return QColor(0x8e, 0x44, 0xad); }
    QColor getColorForAddressAnnotation(const PersonAddress *address) const;
    QColor getDefaultPinColor() const;
    static QColor pinColorForLocation(const Location *place);
    // The key a record's pin has on the map.
    static QString annotationKey(const platform::store::ManagedObject *record);
    platform::maps::MapAnnotation annotationFor(const platform::store::ManagedObject *record,
                                                const GeoCoordinate &shownAt) const;

    // Which of the records are shown, and where: an address geocoded (status 1) with a valid position; an
    // address waiting (status 0) with a stored position, which then counts as geocoded; any saved place. An
    // address waiting without a position goes to `queue`. Pins at one spot are drawn spread around it;
    // the stored positions stay as they are.
    QList<platform::maps::MapAnnotation> loadAllAnnotations(const QList<platform::store::ManagedObject *> &records,
                                                            GeocoderRequestQueue *queue) const;
    // The drawn position of each record that shares its exact spot with others; near 0°, 0° nothing moves.
    static QHash<const platform::store::ManagedObject *, GeoCoordinate>
    spreadPositions(const QList<platform::store::ManagedObject *> &records);
    // The great-circle destination from `from` on `bearing` (radians) after `metres`.
    static GeoCoordinate calculateCoordinateFrom(const GeoCoordinate &from, double bearing, double metres);

    // ---- Filters ----
    // Addresses by their text, their contact's display name or company, ignoring case and accents.
    static bool personAddressMatchesSearch(const PersonAddress *address, const QString &text);
    // Places by their address text the same way, and by their name as typed (case and accents count).
    static bool locationMatchesSearch(const Location *place, const QString &text);
    static bool personAddressInGroup(const PersonAddress *address, const QSet<const Person *> &members);
    // Places that a to-do or a log of one of the members refers to.
    static bool locationInGroup(const Location *place, const QSet<const Person *> &members);

    // ---- Printing ----
    struct PrintEntry
    {
        QString name;
        QString address;
        double distance = -1; // metres; -1 for none
    };
    // The entries of the visible records, by distance from `current`, nearest first.
    QList<PrintEntry> printEntries(const QList<platform::store::ManagedObject *> &visible) const;
    // The printout's text (HTML); `distanceText` formats metres as the locale measures.
    QString printableText(const QList<PrintEntry> &entries, const QDateTime &now, const QLocale &locale) const;

private:
    ContextPtr m_context;
    QColor m_defaultTintColor;
    std::optional<GeoCoordinate> m_current;
    QString m_currentLocationString;
};
