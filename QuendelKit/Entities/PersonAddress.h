#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>

class Person;

// A postal address of a contact, with its geocoded position.
class PersonAddress : public NSManagedObjectQDBase
{
public:
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
    QString addressString() const;
    void setAddressString(const QString &value);
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

private:
    double m_distance = 0;
    qint64 m_retries = 0;
    qint64 m_temporaryState = 0;
};
