#include "platform/maps/WebGeocoder.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"

#include <QJsonDocument>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>

#include <deque>

namespace platform::maps {

// Lives on the main thread; every member is touched there only.
class WebGeocoderQueue : public std::enable_shared_from_this<WebGeocoderQueue>
{
public:
    WebGeocoderQueue(qint64 intervalMs, qint64 timeoutMs) : m_intervalMs(intervalMs), m_timeoutMs(timeoutMs) {}
    ~WebGeocoderQueue() { delete m_network; }

    void enqueue(QUrl url, Geocoder::Completion completion)
    {
        m_waiting.push_back({std::move(url), std::move(completion)});
        pump();
    }

private:
    struct Request
    {
        QUrl url;
        Geocoder::Completion completion;
    };

    void pump()
    {
        if (m_busy || m_scheduled || m_waiting.empty())
            return;
        const qint64 now = core::Clock::monotonicMs();
        const qint64 wait = m_lastSentMs < 0 ? 0 : m_lastSentMs + m_intervalMs - now;
        if (wait > 0) {
            m_scheduled = true;
            std::weak_ptr<WebGeocoderQueue> weak = weak_from_this();
            core::dispatchAfter(wait, [weak] {
                if (auto self = weak.lock()) {
                    self->m_scheduled = false;
                    self->pump();
                }
            });
            return;
        }
        Request request = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_busy = true;
        m_lastSentMs = now;
        if (!m_network)
            m_network = new QNetworkAccessManager;
        QNetworkRequest http(request.url);
        http.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Quendel/1.0 (desktop journal)"));
        http.setRawHeader("Accept", "application/json");
        http.setTransferTimeout(int(m_timeoutMs));
        QNetworkReply *reply = m_network->get(http);
        std::shared_ptr<WebGeocoderQueue> self = shared_from_this();
        QObject::connect(reply, &QNetworkReply::finished, reply,
                         [self, reply, completion = std::move(request.completion)] {
                             reply->deleteLater();
                             self->m_busy = false;
                             finish(reply, completion);
                             self->pump();
                         });
    }

    static void finish(QNetworkReply *reply, const Geocoder::Completion &completion)
    {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError && (status == 0 || status == 429 || status >= 500)) {
            completion({}, Geocoder::error(GeocoderError::Network, reply->errorString()));
            return;
        }
        if (status == 429 || status >= 500) {
            completion({}, Geocoder::error(GeocoderError::Network, QStringLiteral("HTTP %1").arg(status)));
            return;
        }
        if (status >= 400) {
            completion({}, Geocoder::error(GeocoderError::Unknown, QStringLiteral("HTTP %1").arg(status)));
            return;
        }
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            completion({}, Geocoder::error(GeocoderError::Unknown, parseError.errorString()));
            return;
        }
        QVariantList objects;
        if (document.isArray())
            objects = document.toVariant().toList();
        else if (document.isObject()) {
            const QVariantMap object = document.toVariant().toMap();
            if (!object.contains(QStringLiteral("error")))
                objects << object;
        }
        QList<Placemark> placemarks;
        for (const QVariant &object : objects) {
            Placemark p;
            if (WebGeocoder::placemarkFromJson(object.toMap(), &p))
                placemarks << p;
        }
        if (placemarks.isEmpty())
            completion({}, Geocoder::error(GeocoderError::NoResult, QStringLiteral("No result for the address")));
        else
            completion(placemarks, {});
    }

    qint64 m_intervalMs;
    qint64 m_timeoutMs;
    qint64 m_lastSentMs = -1;
    bool m_busy = false;
    bool m_scheduled = false;
    std::deque<Request> m_waiting;
    QNetworkAccessManager *m_network = nullptr;
};

WebGeocoder::WebGeocoder(const QUrl &serviceURL, qint64 minimumIntervalMs, qint64 timeoutMs)
    : m_serviceURL(serviceURL), m_queue(std::make_shared<WebGeocoderQueue>(minimumIntervalMs, timeoutMs))
{
}

bool WebGeocoder::usesNetwork() const
{
    const QString host = m_serviceURL.host();
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 && !QHostAddress(host).isLoopback();
}

WebGeocoder::~WebGeocoder()
{
    // The queue goes on the main thread, where its network objects live; waiting requests still finish.
    core::dispatchAsyncMain([queue = std::move(m_queue)]() mutable { queue.reset(); });
}

bool WebGeocoder::placemarkFromJson(const QVariantMap &object, Placemark *out)
{
    bool latOk = false;
    bool lonOk = false;
    const double lat = object.value(QStringLiteral("lat")).toString().toDouble(&latOk);
    const double lon = object.value(QStringLiteral("lon")).toString().toDouble(&lonOk);
    if (!latOk || !lonOk)
        return false;
    const Coordinate coordinate{lat, lon};
    if (!coordinate.isValid())
        return false;
    const QVariantMap address = object.value(QStringLiteral("address")).toMap();
    const auto first = [&](std::initializer_list<const char *> keys) {
        for (const char *key : keys) {
            const QString value = address.value(QString::fromLatin1(key)).toString();
            if (!value.isEmpty())
                return value;
        }
        return QString();
    };
    out->coordinate = coordinate;
    out->subThoroughfare = first({"house_number"});
    out->thoroughfare = first({"road", "pedestrian", "street"});
    out->locality = first({"city", "town", "village", "municipality", "hamlet"});
    out->administrativeArea = first({"state", "province", "region", "county"});
    out->postalCode = first({"postcode"});
    out->country = first({"country"});
    out->countryCode = first({"country_code"}).toUpper();
    return true;
}

void WebGeocoder::send(QUrl url, Completion completion)
{
    // The completion runs on the main thread, where the queue answers.
    core::dispatchAsyncMain([queue = m_queue, url = std::move(url), completion = std::move(completion)]() mutable {
        queue->enqueue(std::move(url), std::move(completion));
    });
}

namespace {
QUrl endpoint(const QUrl &base, const QString &name, QUrlQuery query)
{
    QUrl url = base;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + name);
    query.addQueryItem(QStringLiteral("format"), QStringLiteral("jsonv2"));
    query.addQueryItem(QStringLiteral("addressdetails"), QStringLiteral("1"));
    url.setQuery(query);
    return url;
}
} // namespace

void WebGeocoder::geocodeAddressDictionary(const QVariantMap &address, Completion completion)
{
    QUrlQuery query;
    const auto add = [&](const QString &key, const QString &name) {
        const QString value = address.value(key).toString().simplified();
        if (!value.isEmpty())
            query.addQueryItem(name, value);
    };
    add(AddressKey::Street, QStringLiteral("street"));
    add(AddressKey::City, QStringLiteral("city"));
    add(AddressKey::State, QStringLiteral("state"));
    add(AddressKey::ZIP, QStringLiteral("postalcode"));
    add(AddressKey::Country, QStringLiteral("country"));
    const QString code = address.value(AddressKey::CountryCode).toString().trimmed();
    if (!code.isEmpty())
        query.addQueryItem(QStringLiteral("countrycodes"), code.toLower());
    query.addQueryItem(QStringLiteral("limit"), QStringLiteral("1"));
    send(endpoint(m_serviceURL, QStringLiteral("search"), query), std::move(completion));
}

void WebGeocoder::geocodeAddressString(const QString &text, Completion completion)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("q"), text.simplified());
    query.addQueryItem(QStringLiteral("limit"), QStringLiteral("1"));
    send(endpoint(m_serviceURL, QStringLiteral("search"), query), std::move(completion));
}

void WebGeocoder::reverseGeocodeLocation(const Coordinate &coordinate, Completion completion)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("lat"), QString::number(coordinate.latitude, 'f', 7));
    query.addQueryItem(QStringLiteral("lon"), QString::number(coordinate.longitude, 'f', 7));
    send(endpoint(m_serviceURL, QStringLiteral("reverse"), query), std::move(completion));
}

} // namespace platform::maps
