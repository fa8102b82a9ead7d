#pragma once

#include "platform/maps/Geocoder.h"

#include <QUrl>

#include <memory>

namespace platform::maps {

class WebGeocoderQueue;

// Asks a geocoding web service that speaks the common open search interface ("search" and "reverse"
// with JSON answers) for street-level answers. Requests leave one at a time, at most one a second, as
// such services ask of their users; answers come on the main thread. An empty answer is NoResult; a
// connection failure, a time-out, a refusal for too many requests or a server fault is Network; an answer
// that cannot be read is Unknown.
class WebGeocoder : public Geocoder
{
public:
    explicit WebGeocoder(const QUrl &serviceURL, qint64 minimumIntervalMs = 1000, qint64 timeoutMs = 15000);
    ~WebGeocoder() override;

    void geocodeAddressDictionary(const QVariantMap &address, Completion completion) override;
    void geocodeAddressString(const QString &text, Completion completion) override;
    void reverseGeocodeLocation(const Coordinate &coordinate, Completion completion) override;
    // A service on this machine answers without the network.
    bool usesNetwork() const override;

    QUrl serviceURL() const { return m_serviceURL; }

    // The parts of one answer object of the service, exposed for tests.
    static bool placemarkFromJson(const QVariantMap &object, Placemark *out);

private:
    void send(QUrl url, Completion completion);

    QUrl m_serviceURL;
    std::shared_ptr<WebGeocoderQueue> m_queue;
};

} // namespace platform::maps
