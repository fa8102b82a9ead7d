#include "Classes/Map/MapViewShared.h"

#include "Classes/GeocoderRequestQueue.h"
#include "Mac/Shell/NSColor_Expanded.h"

#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/LocationsListSetup.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/UserFields.h"

#include "platform/maps/Gazetteer.h"
#include "platform/store/ManagedObjectContext.h"

#include <QMap>

#include <cstring>

#include <algorithm>
#include <cmath>

using platform::store::ManagedObject;

MapViewShared::MapViewShared(ContextPtr context) : m_context(std::move(context))
{
    m_defaultTintColor = getDefaultPinColor();
}

// ---- Pins ----

QColor MapViewShared::getDefaultPinColor() const
{
    if (m_context) {
        if (FormFields *field = FormFields::getPinColorFieldWithMOC(m_context.get())) {
            if (FormFieldsList *item = field->listdefault()) {
                const QColor color = NSColor_Expanded::colorWithHexString(item->fieldListAlternateValue());
                if (!item->fieldListAlternateValue().isEmpty() && color.isValid())
                    return color;
            }
        }
    }
    return greenPinColor();
}

QColor MapViewShared::getColorForAddressAnnotation(const PersonAddress *address) const
{
    const Person *person = address ? address->person() : nullptr;
    if (person) {
        for (UserFields *value : person->userfields()) {
            const FormFields *field = value->formfield();
            if (!field || field->formFieldName().compare(FormFields::PinColorFieldName, Qt::CaseInsensitive) != 0)
                continue;
            if (FormFieldsList *item = value->listvalue()) {
                const QColor color = NSColor_Expanded::colorWithHexString(item->fieldListAlternateValue());
                if (color.isValid())
                    return color;
            }
            break;
        }
    }
    return m_defaultTintColor;
}

QColor MapViewShared::pinColorForLocation(const Location *place)
{
    return place && !place->todoFromLocation().isEmpty() ? redPinColor() : purplePinColor();
}

QString MapViewShared::annotationKey(const ManagedObject *record)
{
    // The record object of the main context stands for its pin; its identifier changes when it is first saved.
    return record ? QString::number(reinterpret_cast<quintptr>(record), 16) : QString();
}

platform::maps::MapAnnotation MapViewShared::annotationFor(const ManagedObject *record, const GeoCoordinate &shownAt) const
{
    platform::maps::MapAnnotation pin;
    pin.key = annotationKey(record);
    pin.coordinate = {shownAt.latitude, shownAt.longitude};
    if (const auto *address = dynamic_cast<const PersonAddress *>(record)) {
        pin.color = getColorForAddressAnnotation(address);
        pin.title = address->title();
        pin.subtitle = address->subtitle();
    } else if (const auto *place = dynamic_cast<const Location *>(record)) {
        pin.color = pinColorForLocation(place);
        pin.title = place->title();
        pin.subtitle = place->subtitle();
    }
    return pin;
}

GeoCoordinate MapViewShared::calculateCoordinateFrom(const GeoCoordinate &from, double bearing, double metres)
{
    const double delta = metres / SpreadEarthRadius;
    const double phi = from.latitude * M_PI / 180.0;
    const double lambda = from.longitude * M_PI / 180.0;
    const double phi2 = std::asin(std::sin(phi) * std::cos(delta) + std::cos(phi) * std::sin(delta) * std::cos(bearing));
    const double lambda2 = lambda + std::atan2(std::sin(bearing) * std::sin(delta) * std::cos(phi),
                                               std::cos(delta) - std::sin(phi) * std::sin(phi2));
    return {phi2 * 180.0 / M_PI, lambda2 * 180.0 / M_PI};
}

namespace {
GeoCoordinate storedCoordinate(const ManagedObject *record)
{
    if (const auto *address = dynamic_cast<const PersonAddress *>(record))
        return {address->latitude(), address->longitude()};
    if (const auto *place = dynamic_cast<const Location *>(record))
        return {place->latitude(), place->longitude()};
    return {};
}
} // namespace

QHash<const ManagedObject *, GeoCoordinate> MapViewShared::spreadPositions(const QList<ManagedObject *> &records)
{
    // Grouped by the exact bits of the position, in the records' order.
    QMap<QPair<quint64, quint64>, QList<const ManagedObject *>> groups;
    QList<QPair<quint64, quint64>> order;
    for (const ManagedObject *record : records) {
        const GeoCoordinate c = storedCoordinate(record);
        if (std::fabs(c.latitude) < 1 && std::fabs(c.longitude) < 1)
            continue;
        QPair<quint64, quint64> key;
        std::memcpy(&key.first, &c.latitude, 8);
        std::memcpy(&key.second, &c.longitude, 8);
        if (!groups.contains(key))
            order << key;
        groups[key] << record;
    }
    QHash<const ManagedObject *, GeoCoordinate> moved;
    for (const auto &key : order) {
        const QList<const ManagedObject *> &group = groups.value(key);
        const qsizetype n = group.size();
        if (n < 2)
            continue;
        const double distance = double(n) * SpreadMetresPerPin;
        for (qsizetype i = 0; i < n; ++i)
            moved.insert(group.at(i), calculateCoordinateFrom(storedCoordinate(group.at(i)), double(i) * (2 * M_PI / double(n)),
                                                              distance));
    }
    return moved;
}

QList<platform::maps::MapAnnotation> MapViewShared::loadAllAnnotations(const QList<ManagedObject *> &records,
                                                                       GeocoderRequestQueue *queue) const
{
    const QHash<const ManagedObject *, GeoCoordinate> spread = spreadPositions(records);
    QList<platform::maps::MapAnnotation> pins;
    const auto validCoordinate = [](const GeoCoordinate &c) {
        return std::isfinite(c.latitude) && std::isfinite(c.longitude) && std::fabs(c.latitude) <= 90 &&
               std::fabs(c.longitude) <= 180;
    };
    for (ManagedObject *record : records) {
        const GeoCoordinate stored = storedCoordinate(record);
        const GeoCoordinate shown = spread.value(record, stored);
        if (auto *address = dynamic_cast<PersonAddress *>(record)) {
            if (address->geocodeStatus() == 1) {
                if (validCoordinate(stored))
                    pins << annotationFor(record, shown);
            } else if (address->geocodeStatus() == 0) {
                if ((std::fabs(stored.latitude) > 0.001 || std::fabs(stored.longitude) > 0.001) && validCoordinate(stored)) {
                    pins << annotationFor(record, shown);
                    address->setGeocodeStatus(1);
                } else if (queue) {
                    queue->addManagedObject(address);
                }
            }
        } else if (dynamic_cast<Location *>(record)) {
            pins << annotationFor(record, shown);
        }
    }
    return pins;
}

// ---- Filters ----

namespace {
bool foldedContains(const QString &haystack, const QString &needle)
{
    return platform::maps::Gazetteer::fold(haystack).contains(platform::maps::Gazetteer::fold(needle));
}
} // namespace

bool MapViewShared::personAddressMatchesSearch(const PersonAddress *address, const QString &text)
{
    if (!address)
        return false;
    if (text.isEmpty())
        return address->person() != nullptr;
    const Person *person = address->person();
    return foldedContains(address->addressString(), text) ||
           (person && (foldedContains(person->displayName(), text) || foldedContains(person->companyName(), text)));
}

bool MapViewShared::locationMatchesSearch(const Location *place, const QString &text)
{
    if (!place)
        return false;
    if (text.isEmpty())
        return place->latitude() != 0 && place->longitude() != 0;
    return place->locationName().contains(text) || foldedContains(place->locationAddress(), text);
}

bool MapViewShared::personAddressInGroup(const PersonAddress *address, const QSet<const Person *> &members)
{
    return address && members.contains(address->person());
}

bool MapViewShared::locationInGroup(const Location *place, const QSet<const Person *> &members)
{
    if (!place || place->latitude() == 0 || place->longitude() == 0)
        return false;
    for (const ToDo *todo : place->todoFromLocation()) {
        if (members.contains(todo->person()))
            return true;
    }
    for (const Log *log : place->logFromLocation()) {
        if (members.contains(log->person()))
            return true;
    }
    return false;
}

// ---- Printing ----

QList<MapViewShared::PrintEntry> MapViewShared::printEntries(const QList<ManagedObject *> &visible) const
{
    const LocationsListSetup setup;
    QList<PrintEntry> entries;
    for (ManagedObject *record : visible) {
        PrintEntry entry;
        if (auto *address = dynamic_cast<PersonAddress *>(record)) {
            if (m_current)
                address->calculateDistanceForAddressWithLocation(*m_current, false);
            entry.name = address->person() ? address->person()->displayName() : QString();
            entry.address = address->addressString();
            entry.distance = m_current ? address->distance() : -1;
        } else if (auto *place = dynamic_cast<Location *>(record)) {
            if (m_current)
                place->calculateDistanceForAddressWithLocation(*m_current, false);
            entry.name = place->locationName();
            entry.address = place->locationAddress();
            entry.distance = m_current ? place->distance() : -1;
        } else {
            continue;
        }
        entries << entry;
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const PrintEntry &a, const PrintEntry &b) { return a.distance < b.distance; });
    return entries;
}

QString MapViewShared::printableText(const QList<PrintEntry> &entries, const QDateTime &now, const QLocale &locale) const
{
    // Names and addresses are the user's text: escaped, so they print as typed.
    QString text;
    if (!m_currentLocationString.isEmpty())
        text += QStringLiteral("Current Location: %1 <br>").arg(m_currentLocationString.toHtmlEscaped());
    text += QStringLiteral("Current Time: %1 <br><br>")
                .arg(locale.toString(now.toLocalTime(), QLocale::ShortFormat).toHtmlEscaped());
    text += QStringLiteral("<b>Map Locations</b><br><br>");
    int position = 0;
    for (const PrintEntry &entry : entries) {
        const QString distance =
            entry.distance < 0 ? QString() : DistanceLabelTransformer::stringFromDistance(entry.distance, locale);
        text += QStringLiteral("%1. %2 - %3 - %4 <br><br>")
                    .arg(++position)
                    .arg(entry.name.toHtmlEscaped(), entry.address.toHtmlEscaped(), distance.toHtmlEscaped());
    }
    return text;
}
