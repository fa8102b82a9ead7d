#include "QuendelKit/Entities/PersonAddress.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest PersonAddress::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString PersonAddress::addressLabel() const
{
    return string(*this, QStringLiteral("addressLabel"));
}
void PersonAddress::setAddressLabel(const QString &value)
{
    setValue(QStringLiteral("addressLabel"), fromString(value));
}
QString PersonAddress::street() const
{
    return string(*this, QStringLiteral("street"));
}
void PersonAddress::setStreet(const QString &value)
{
    setValue(QStringLiteral("street"), fromString(value));
}
QString PersonAddress::city() const
{
    return string(*this, QStringLiteral("city"));
}
void PersonAddress::setCity(const QString &value)
{
    setValue(QStringLiteral("city"), fromString(value));
}
QString PersonAddress::state() const
{
    return string(*this, QStringLiteral("state"));
}
void PersonAddress::setState(const QString &value)
{
    setValue(QStringLiteral("state"), fromString(value));
}
QString PersonAddress::zip() const
{
    return string(*this, QStringLiteral("zip"));
}
void PersonAddress::setZip(const QString &value)
{
    setValue(QStringLiteral("zip"), fromString(value));
}
QString PersonAddress::country() const
{
    return string(*this, QStringLiteral("country"));
}
void PersonAddress::setCountry(const QString &value)
{
    setValue(QStringLiteral("country"), fromString(value));
}
QString PersonAddress::countryCode() const
{
    return string(*this, QStringLiteral("countryCode"));
}
void PersonAddress::setCountryCode(const QString &value)
{
    setValue(QStringLiteral("countryCode"), fromString(value));
}
QString PersonAddress::addressString() const
{
    return string(*this, QStringLiteral("addressString"));
}
void PersonAddress::setAddressString(const QString &value)
{
    setValue(QStringLiteral("addressString"), fromString(value));
}
QString PersonAddress::normalizedAddressString() const
{
    return string(*this, QStringLiteral("normalizedAddressString"));
}
void PersonAddress::setNormalizedAddressString(const QString &value)
{
    setValue(QStringLiteral("normalizedAddressString"), fromString(value));
}
QString PersonAddress::contactAddress() const
{
    return string(*this, QStringLiteral("contactAddress"));
}
void PersonAddress::setContactAddress(const QString &value)
{
    setValue(QStringLiteral("contactAddress"), fromString(value));
}
QString PersonAddress::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void PersonAddress::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}
double PersonAddress::latitude() const
{
    return real(*this, QStringLiteral("latitude"));
}
void PersonAddress::setLatitude(double value)
{
    setValue(QStringLiteral("latitude"), QVariant(value));
}
double PersonAddress::longitude() const
{
    return real(*this, QStringLiteral("longitude"));
}
void PersonAddress::setLongitude(double value)
{
    setValue(QStringLiteral("longitude"), QVariant(value));
}
qint64 PersonAddress::geocodeStatus() const
{
    return integer(*this, QStringLiteral("geocodeStatus"));
}
void PersonAddress::setGeocodeStatus(qint64 value)
{
    setValue(QStringLiteral("geocodeStatus"), QVariant(value));
}

Person *PersonAddress::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void PersonAddress::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}
