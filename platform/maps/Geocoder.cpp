#include "platform/maps/Geocoder.h"

#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"
#include "platform/maps/WebGeocoder.h"

#include <mutex>

namespace platform::maps {

namespace {
std::mutex g_factoryMutex;
Geocoder::Factory g_factory;

Placemark placemarkOf(const Gazetteer::City &city)
{
    Placemark p;
    p.locality = city.name;
    p.administrativeArea = city.state;
    p.country = city.country;
    p.countryCode = city.countryCode;
    p.coordinate = city.coordinate;
    return p;
}
} // namespace

namespace {

// Follows the service address in the user defaults: every request goes to the address set at that moment,
// so an address changed in the preferences is used from the next request on by everything holding a
// geocoder (the background queue lives as long as the store). Requests already sent are answered by the
// service they went to.
class ConfiguredGeocoder final : public Geocoder
{
public:
    void geocodeAddressDictionary(const QVariantMap &address, Completion completion) override
    {
        current()->geocodeAddressDictionary(address, std::move(completion));
    }
    void geocodeAddressString(const QString &text, Completion completion) override
    {
        current()->geocodeAddressString(text, std::move(completion));
    }
    void reverseGeocodeLocation(const Coordinate &coordinate, Completion completion) override
    {
        current()->reverseGeocodeLocation(coordinate, std::move(completion));
    }
    bool usesNetwork() const override { return current()->usesNetwork(); }

private:
    static QString serviceAddress()
    {
        return core::UserDefaults::standardUserDefaults()->stringForKey(Geocoder::ServiceURLKey).trimmed();
    }

    std::shared_ptr<Geocoder> current() const
    {
        const QString address = serviceAddress();
        std::lock_guard lock(m_mutex);
        if (!m_current || address != m_address) {
            m_address = address;
            if (address.isEmpty())
                m_current = std::make_shared<OfflineGeocoder>();
            else
                m_current = std::make_shared<WebGeocoder>(QUrl(address));
        }
        return m_current;
    }

    mutable std::mutex m_mutex;
    mutable QString m_address;
    mutable std::shared_ptr<Geocoder> m_current;
};

} // namespace

std::shared_ptr<Geocoder> Geocoder::make()
{
    {
        std::lock_guard lock(g_factoryMutex);
        if (g_factory)
            return g_factory();
    }
    return std::make_shared<ConfiguredGeocoder>();
}

void Geocoder::setFactory(Factory factory)
{
    std::lock_guard lock(g_factoryMutex);
    g_factory = std::move(factory);
}

core::QDError Geocoder::error(int code, const QString &description)
{
    if (description.isEmpty())
        return core::QDError(GeocoderError::Domain, code);
    return core::QDError::withDescription(GeocoderError::Domain, code, description);
}

OfflineGeocoder::OfflineGeocoder(std::shared_ptr<const Gazetteer> gazetteer) : m_gazetteer(std::move(gazetteer)) {}

const Gazetteer &OfflineGeocoder::gazetteer() const
{
    if (!m_gazetteer)
        m_gazetteer = Gazetteer::shared();
    return *m_gazetteer;
}

QList<Placemark> OfflineGeocoder::lookupAddress(const QVariantMap &address) const
{
    const auto city = gazetteer().match(address.value(AddressKey::City).toString(),
                                        address.value(AddressKey::State).toString(),
                                        address.value(AddressKey::Country).toString(),
                                        address.value(AddressKey::CountryCode).toString());
    if (!city)
        return {};
    Placemark p = placemarkOf(*city);
    p.thoroughfare = address.value(AddressKey::Street).toString().simplified();
    p.postalCode = address.value(AddressKey::ZIP).toString();
    return {p};
}

QList<Placemark> OfflineGeocoder::lookupText(const QString &text) const
{
    const auto city = gazetteer().matchText(text);
    return city ? QList<Placemark>{placemarkOf(*city)} : QList<Placemark>{};
}

QList<Placemark> OfflineGeocoder::lookupLocation(const Coordinate &coordinate) const
{
    if (!coordinate.isValid())
        return {};
    const auto city = gazetteer().nearest(coordinate);
    if (!city)
        return {};
    Placemark p = placemarkOf(*city);
    p.coordinate = coordinate;
    return {p};
}

void OfflineGeocoder::answer(QList<Placemark> placemarks, Completion completion)
{
    core::dispatchAsyncMain([placemarks = std::move(placemarks), completion = std::move(completion)] {
        if (!completion)
            return;
        if (placemarks.isEmpty())
            completion({}, error(GeocoderError::NoResult, QStringLiteral("No result for the address")));
        else
            completion(placemarks, {});
    });
}

void OfflineGeocoder::geocodeAddressDictionary(const QVariantMap &address, Completion completion)
{
    answer(lookupAddress(address), std::move(completion));
}

void OfflineGeocoder::geocodeAddressString(const QString &text, Completion completion)
{
    answer(lookupText(text), std::move(completion));
}

void OfflineGeocoder::reverseGeocodeLocation(const Coordinate &coordinate, Completion completion)
{
    answer(lookupLocation(coordinate), std::move(completion));
}

} // namespace platform::maps
