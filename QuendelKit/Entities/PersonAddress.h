#pragma once

#include "QuendelKit/Entities/CloudDuplicateCheckSupport.h"
#include "QuendelKit/Entities/GeoCoordinate.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

class Person;

// A postal address of a contact, with its geocoded position. Its label change and its deletion (with
// `deleteFromAddressBook`) reach the linked system contact; an edited field is written there by the
// contact's `updatePersonAddressInAddressBook`.
class PersonAddress : public NSManagedObjectQDBase, public CloudDuplicateCheckSupport
{
public:
    // A position of a pin: latitude and longitude in degrees.
    using Coordinate = GeoCoordinate;
    // Both coordinates at this value mark a position that was discarded and is to be geocoded again.
    static constexpr double DiscardedCoordinate = 0.000001;

    static inline const QString EntityName = QStringLiteral("PersonAddress");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString addressLabel() const;
    void setAddressLabel(const QString &value);
    QString street() const;
    void setStreet(const QString &value);
    QString city() const;
    void setCity(const QString &value);
    QString state() const;
    void setState(const QString &value);
    QString zip() const;
    void setZip(const QString &value);
    QString country() const;
    void setCountry(const QString &value);
    QString countryCode() const;
    void setCountryCode(const QString &value);
    // Made from the fields each time: the non-empty ones of street, city, state, zip and country joined by
    // ", ", every line break a blank. Nothing is stored into the attribute.
    QString addressString() const;
    void setAddressString(const QString &value);
    QString addressStringWithoutCountry() const;
    // The address as an entry of an address-book record (address_book::Address... keys), for each field
    // that is not null.
    QVariantMap addressInDictionaryFormat() const;
    // The text of an address-book entry, made like addressString (an empty value takes part).
    static QString makeAddressStringFromRecord(const QVariantMap &record);
    // The address-book key of a field key ("street", "city", "state", "zip", "country", "countryCode").
    static QString addressBookKeyForProperty(const QString &fieldKey);

    // Country names are the current locale's words for the ISO countries.
    static QString countryCodeFromCountryName(const QString &name);
    static QString countryNameForCode(const QString &code);
    static QStringList sortedListOfCountryNames();
    // The captions of the four fields of the edit form (street, city, state, postal code).
    static QStringList addressFormatForCountryCode(const QString &code);

    // Takes an entry of the linked address-book record; the position is discarded either way.
    void updateAddressWithAddressDictionary(const QVariantMap &record);
    // Latitude and longitude set to the discarded marker, and the address waits to be geocoded again.
    void discardPosition();

    Coordinate coordinate() const;
    void setCoordinate(const Coordinate &coordinate);
    bool isValidCoordinate() const;
    // Metres from `location` to the address, or -1 when the address has no valid position.
    void calculateDistanceForAddressWithLocation(const Coordinate &location, bool usingMetric);
    // The pin's texts.
    QString title() const;
    QString subtitle() const;
    // The address as a destination for directions: at its position, named after the contact, with its
    // address entry and the contact's first phone number.
    MapItem mapItemForPersonAddress() const;

    void handleCloudKitInserted() override;

    // CloudDuplicateCheckSupport
    bool checkIfDuplicateRecord() override;
    platform::store::ManagedObject *duplicateRecordToRemove() override;
    QString normalizedAddressString() const;
    void setNormalizedAddressString(const QString &value);
    QString contactAddress() const;
    void setContactAddress(const QString &value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);
    double latitude() const;
    void setLatitude(double value);
    double longitude() const;
    void setLongitude(double value);
    qint64 geocodeStatus() const;
    void setGeocodeStatus(qint64 value);

    Person *person() const;
    void setPerson(Person *object);

    // Kept on the object only. Metres from the reference point of the last distance calculation (-1 for an
    // address without a valid position; 0 until one was made).
    double distance() const { return m_distance; }
    void setDistance(double distance) { m_distance = distance; }
    // Geocoding bookkeeping of the background queue.
    qint64 retries() const { return m_retries; }
    void setRetries(qint64 retries) { m_retries = retries; }
    qint64 temporaryState() const { return m_temporaryState; }
    void setTemporaryState(qint64 state) { m_temporaryState = state; }

protected:
    void prepareForDeletion() override;

private:
    double m_distance = 0;
    qint64 m_retries = 0;
    qint64 m_temporaryState = 0;
};
