#include "QuendelKit/Entities/PersonAddress.h"

#include "QuendelKit/Entities/ContactDetailSupport.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Infra/QDLog.h"

#include <QCollator>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

using namespace entity_values;
using platform::store::Predicate;

namespace {

QString joinedAddressParts(const QStringList &parts)
{
    // Each character of the newline set becomes one blank, so a CR LF pair gives two.
    static const QRegularExpression newline(QStringLiteral("[\\n\\r\\x{2028}\\x{2029}\\x{0085}\\x{000B}\\x{000C}]"));
    QString joined = parts.join(QStringLiteral(", "));
    joined.replace(newline, QStringLiteral(" "));
    return joined;
}

QStringList nonEmpty(const QStringList &values)
{
    QStringList kept;
    for (const QString &value : values) {
        if (!value.isEmpty())
            kept.append(value);
    }
    return kept;
}

// Every ISO country the locale data knows, by code in code order, with its name in the current locale's
// words.
const QMap<QString, QString> &countryNamesByCode()
{
    static const QMap<QString, QString> names = [] {
        QMap<QString, QString> byCode;
        for (int value = 1; value <= int(QLocale::LastTerritory); ++value) {
            const auto territory = QLocale::Territory(value);
            const QString code = QLocale::territoryToCode(territory);
            if (code.size() != 2 || byCode.contains(code))
                continue;
            const QString name = QLocale::territoryToString(territory);
            if (!name.isEmpty())
                byCode.insert(code, name);
        }
        return byCode;
    }();
    return names;
}

} // namespace

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
    const QString previous = addressLabel();
    setValue(QStringLiteral("addressLabel"), fromString(value));
    Person *owner = person();
    if (contact_detail::wasSaved(*this) && contact_detail::isLinkedPublic(owner))
        PersonAddressBookBridge::shared().updatePersonAddressLabelInAddressBook(*owner, *this, previous);
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
    setCountryCode(countryCodeFromCountryName(value));
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
    return joinedAddressParts(nonEmpty({street(), city(), state(), zip(), country()}));
}
QString PersonAddress::addressStringWithoutCountry() const
{
    return joinedAddressParts(nonEmpty({street(), city(), state(), zip()}));
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

QVariantMap PersonAddress::addressInDictionaryFormat() const
{
    QVariantMap entry;
    const std::pair<QString, QString> fields[] = {
        {address_book::AddressStreetKey, street()},   {address_book::AddressCityKey, city()},
        {address_book::AddressCountryKey, country()}, {address_book::AddressCountryCodeKey, countryCode()},
        {address_book::AddressStateKey, state()},     {address_book::AddressZIPKey, zip()},
    };
    for (const auto &[key, value] : fields) {
        if (!value.isNull())
            entry.insert(key, value);
    }
    return entry;
}

QString PersonAddress::makeAddressStringFromRecord(const QVariantMap &record)
{
    QStringList parts;
    for (const QString &key :
         {address_book::AddressStreetKey, address_book::AddressCityKey, address_book::AddressStateKey,
          address_book::AddressZIPKey, address_book::AddressCountryKey}) {
        if (record.contains(key))
            parts.append(record.value(key).toString());
    }
    return joinedAddressParts(parts);
}

QString PersonAddress::addressBookKeyForProperty(const QString &fieldKey)
{
    static const QMap<QString, QString> keys = {
        {QStringLiteral("street"), address_book::AddressStreetKey},
        {QStringLiteral("city"), address_book::AddressCityKey},
        {QStringLiteral("state"), address_book::AddressStateKey},
        {QStringLiteral("zip"), address_book::AddressZIPKey},
        {QStringLiteral("country"), address_book::AddressCountryKey},
        {QStringLiteral("countryCode"), address_book::AddressCountryCodeKey},
    };
    return keys.value(fieldKey);
}

QString PersonAddress::countryCodeFromCountryName(const QString &name)
{
    if (name.isEmpty())
        return QString();
    const QMap<QString, QString> &names = countryNamesByCode();
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        if (it.value() == name)
            return it.key();
    }
    return QString();
}

QString PersonAddress::countryNameForCode(const QString &code)
{
    return countryNamesByCode().value(code);
}

QStringList PersonAddress::sortedListOfCountryNames()
{
    QStringList names = countryNamesByCode().values();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(),
              [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    return names;
}

QStringList PersonAddress::addressFormatForCountryCode(const QString &code)
{
    if (code == QLatin1String("US"))
        return {QStringLiteral("Street"), QStringLiteral("City"), QStringLiteral("State"), QStringLiteral("Zip")};
    if (code == QLatin1String("CA"))
        return {QStringLiteral("Street"), QStringLiteral("Suburb"), QStringLiteral("State"),
                QStringLiteral("Postal Code")};
    if (code == QLatin1String("GB"))
        return {QStringLiteral("Street"), QStringLiteral("City"), QStringLiteral("County"), QStringLiteral("Postcode")};
    return {QStringLiteral("Street"), QStringLiteral("City"), QStringLiteral("Province"),
            QStringLiteral("Postal Code")};
}

void PersonAddress::updateAddressWithAddressDictionary(const QVariantMap &record)
{
    const auto incoming = [&](const QString &key) {
        const QVariant value = record.value(key);
        return value.isValid() && !value.isNull() ? value.toString() : QString();
    };
    const auto changed = [](const QString &stored, const QString &value) { return stored.isNull() || stored != value; };
    if (changed(street(), incoming(address_book::AddressStreetKey)))
        setStreet(incoming(address_book::AddressStreetKey));
    if (changed(city(), incoming(address_book::AddressCityKey)))
        setCity(incoming(address_book::AddressCityKey));
    if (changed(state(), incoming(address_book::AddressStateKey)))
        setState(incoming(address_book::AddressStateKey));
    if (changed(zip(), incoming(address_book::AddressZIPKey)))
        setZip(incoming(address_book::AddressZIPKey));
    if (changed(country(), incoming(address_book::AddressCountryKey)))
        setCountry(incoming(address_book::AddressCountryKey));
    if (changed(countryCode(), incoming(address_book::AddressCountryCodeKey)))
        setCountryCode(incoming(address_book::AddressCountryCodeKey));
    discardPosition();
}

void PersonAddress::discardPosition()
{
    setLongitude(DiscardedCoordinate);
    setLatitude(DiscardedCoordinate);
    setGeocodeStatus(0);
}

PersonAddress::Coordinate PersonAddress::coordinate() const
{
    return {latitude(), longitude()};
}

void PersonAddress::setCoordinate(const Coordinate &coordinate)
{
    setLatitude(coordinate.latitude);
    setLongitude(coordinate.longitude);
}

bool PersonAddress::isValidCoordinate() const
{
    return !(std::fabs(latitude()) < 0.5 && std::fabs(longitude()) < 0.5);
}

void PersonAddress::calculateDistanceForAddressWithLocation(const Coordinate &location, bool)
{
    if (!isValidCoordinate()) {
        setDistance(-1);
        return;
    }
    setDistance(geodesicDistance(location, coordinate()));
}

MapItem PersonAddress::mapItemForPersonAddress() const
{
    MapItem item;
    item.coordinate = coordinate();
    item.addressDictionary = addressInDictionaryFormat();
    if (const Person *owner = person()) {
        item.name = owner->displayName();
        if (const QList<Phones *> phones = owner->phones(); !phones.isEmpty())
            item.phoneNumber = phones.first()->phoneNumber();
    }
    return item;
}

QString PersonAddress::title() const
{
    Person *owner = person();
    if (!owner)
        return QString();
    const QString name = owner->displayName();
    const QString company = owner->companyName();
    if (!company.isEmpty() && company != name)
        return QStringLiteral("%1 - %2").arg(name, company);
    return name;
}

QString PersonAddress::subtitle() const
{
    return addressString();
}

void PersonAddress::prepareForDeletion()
{
    NSManagedObjectQDBase::prepareForDeletion();
    Person *owner = person();
    if (!deleteFromAddressBook() || !owner)
        return;
    QDLogInfo(QStringLiteral("PersonAddress - prepareForDeletion - %1, localID = %2, cloudKitID = %3")
                  .arg(addressString(), localIdentifier(), cloudKitID()));
    PersonAddressBookBridge::shared().deletePersonAddressFromAddressBook(*owner, *this);
}

void PersonAddress::handleCloudKitInserted()
{
    Person *owner = person();
    if (!owner || owner->isContactPrivate() || owner->contactIdentifier().isEmpty())
        return;
    const auto entries =
        PersonAddressBookBridge::shared().multiValueEntries(*owner, PersonAddressBookBridge::DetailKind::Address);
    if (!entries)
        return;
    for (const PersonAddressBookBridge::Entry &entry : *entries) {
        if (entry.value == addressString() && entry.label == addressLabel()) {
            setLocalIdentifier(entry.identifier);
            QDLogInfo(QStringLiteral("address and label matching; setting local id = %1").arg(entry.identifier));
            return;
        }
    }
}

bool PersonAddress::checkIfDuplicateRecord()
{
    Person *owner = person();
    if (!owner)
        return false;
    const QString text = addressString();
    for (PersonAddress *other : owner->addresses()) {
        if (other == this || other->objectID() == objectID())
            continue;
        if (other->addressString() == text && contact_detail::sameText(other->addressLabel(), addressLabel())) {
            QDLogInfo(QStringLiteral("PersonAddress - checkIfDuplicateRecord returning YES"));
            return true;
        }
    }
    return false;
}

platform::store::ManagedObject *PersonAddress::duplicateRecordToRemove()
{
    using namespace contact_detail;
    const Predicate predicate = Predicate::andOf({
        Predicate::equal(QStringLiteral("person"), person()),
        equalOrNil(QStringLiteral("street"), street()),
        equalOrNil(QStringLiteral("city"), city()),
        equalOrNil(QStringLiteral("state"), state()),
        equalOrNil(QStringLiteral("zip"), zip()),
        equalOrNil(QStringLiteral("country"), country()),
        equalOrNil(QStringLiteral("countryCode"), countryCode()),
        equalOrNil(QStringLiteral("addressLabel"), addressLabel()),
    });
    return newestOfDuplicates(*this, predicate);
}
