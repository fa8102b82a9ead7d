#pragma once

#include "platform/core/QDError.h"
#include "platform/maps/Gazetteer.h"
#include "platform/maps/Placemark.h"

#include <QList>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace platform::maps {

// Turns addresses into positions and positions into addresses. Each request is answered exactly once,
// on the main thread: placemarks (best first) and a null error, or no placemarks and an error of
// GeocoderError::Domain whose code tells a missing result (NoResult) from a failure worth retrying.
class Geocoder
{
public:
    using Completion = std::function<void(const QList<Placemark> &placemarks, const core::QDError &error)>;

    virtual ~Geocoder() = default;

    // An address entry with the AddressKey keys (present fields only).
    virtual void geocodeAddressDictionary(const QVariantMap &address, Completion completion) = 0;
    virtual void geocodeAddressString(const QString &text, Completion completion) = 0;
    virtual void reverseGeocodeLocation(const Coordinate &coordinate, Completion completion) = 0;
    // Whether answers need the network (callers hold requests back while it is down).
    virtual bool usesNetwork() const { return false; }

    // The user default holding the address of a geocoding web service; empty means offline only.
    static inline const QString ServiceURLKey = QStringLiteral("GeocodingServiceURL");

    // The geocoder the program uses: the web service when the user set one, else the offline gazetteer,
    // decided again at each request, so a changed address is used at once. A test installs its own maker;
    // null restores the default one.
    static std::shared_ptr<Geocoder> make();
    using Factory = std::function<std::shared_ptr<Geocoder>()>;
    static void setFactory(Factory factory);

    static core::QDError error(int code, const QString &description = {});
};

// Answers from a city gazetteer, without a network: street-level detail is not known, so an address
// lands on its city's centre.
class OfflineGeocoder : public Geocoder
{
public:
    // The shared system gazetteer when none is given.
    explicit OfflineGeocoder(std::shared_ptr<const Gazetteer> gazetteer = {});

    void geocodeAddressDictionary(const QVariantMap &address, Completion completion) override;
    void geocodeAddressString(const QString &text, Completion completion) override;
    void reverseGeocodeLocation(const Coordinate &coordinate, Completion completion) override;

    // The same answers at once on the calling thread.
    QList<Placemark> lookupAddress(const QVariantMap &address) const;
    QList<Placemark> lookupText(const QString &text) const;
    QList<Placemark> lookupLocation(const Coordinate &coordinate) const;

private:
    const Gazetteer &gazetteer() const;
    static void answer(QList<Placemark> placemarks, Completion completion);

    mutable std::shared_ptr<const Gazetteer> m_gazetteer;
};

} // namespace platform::maps
