#include "platform/maps/Gazetteer.h"
#include "platform/maps/Geocoder.h"
#include "platform/maps/WebGeocoder.h"

#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace platform::maps;

namespace {

struct Answer
{
    QList<Placemark> placemarks;
    platform::core::QDError error;
    bool onMainThread = false;
    int calls = 0;
};

Geocoder::Completion recorder(Answer &answer)
{
    return [&answer](const QList<Placemark> &placemarks, const platform::core::QDError &error) {
        answer.placemarks = placemarks;
        answer.error = error;
        answer.onMainThread = platform::core::isMainThread();
        ++answer.calls;
    };
}

bool waitFor(const Answer &answer, int calls = 1, int ms = 8000)
{
    return QTest::qWaitFor([&] { return answer.calls >= calls; }, ms);
}

} // namespace

TEST(Gazetteer, TheSystemTableHoldsTheWorldsCities)
{
    const auto table = Gazetteer::shared();
    ASSERT_TRUE(table);
    EXPECT_GT(table->count(), 20000);
}

TEST(Gazetteer, MatchesCityRegionAndCountryWithAccentsFolded)
{
    const auto table = Gazetteer::shared();
    struct Case
    {
        const char *city, *state, *country, *code;
        const char *expectedState;
        double lat, lon;
    };
    const Case cases[] = {
        {"Zürich", "", "", "CH", "Canton of Zurich", 47.37, 8.55},
        {"zurich", "Zurich", "Switzerland", "", "Canton of Zurich", 47.37, 8.55},
        {"Springfield", "Illinois", "", "US", "Illinois", 39.80, -89.64},
        {"Springfield", "Massachusetts", "USA", "", "Massachusetts", 42.10, -72.59},
        // No region: the most populous of the country's cities of that name.
        {"Springfield", "", "", "US", "Missouri", 37.22, -93.30},
        {"Munich", "Bavaria", "Germany", "DE", "Bavaria", 48.14, 11.58},
        {"SAO PAULO", "", "Brazil", "", "São Paulo", -23.55, -46.64},
    };
    for (const Case &c : cases) {
        const auto city = table->match(QString::fromUtf8(c.city), QString::fromUtf8(c.state),
                                       QString::fromUtf8(c.country), QString::fromUtf8(c.code));
        ASSERT_TRUE(city.has_value()) << c.city;
        EXPECT_EQ(city->state, QString::fromUtf8(c.expectedState)) << c.city;
        EXPECT_NEAR(city->coordinate.latitude, c.lat, 0.02) << c.city;
        EXPECT_NEAR(city->coordinate.longitude, c.lon, 0.02) << c.city;
    }
    EXPECT_FALSE(table->match(QStringLiteral("Xyzzyville"), {}, {}, {}).has_value());
    EXPECT_FALSE(table->match({}, QStringLiteral("Bavaria"), {}, QStringLiteral("DE")).has_value());
    // A country code that none of the cities of that name has rules them all out.
    EXPECT_FALSE(table->match(QStringLiteral("Munich"), {}, {}, QStringLiteral("JP")).has_value());
}

TEST(Gazetteer, FreeTextAndNearestCity)
{
    const auto table = Gazetteer::shared();
    const auto london = table->matchText(QStringLiteral("10 Downing Street, London, SW1A 2AA, United Kingdom"));
    ASSERT_TRUE(london.has_value());
    EXPECT_EQ(london->countryCode, QStringLiteral("GB"));
    const auto springfield = table->matchText(QStringLiteral("Springfield, Oregon"));
    ASSERT_TRUE(springfield.has_value());
    EXPECT_EQ(springfield->state, QStringLiteral("Oregon"));
    EXPECT_FALSE(table->matchText(QStringLiteral("12345, ,")).has_value());

    const auto near = table->nearest({48.15, 11.56});
    ASSERT_TRUE(near.has_value());
    EXPECT_EQ(near->name, QStringLiteral("Munich"));
    EXPECT_FALSE(table->nearest({-60.0, -140.0}).has_value()); // the open Southern Ocean
    EXPECT_EQ(Gazetteer::fold(QStringLiteral("  Straße  des 17. Juni ")), QStringLiteral("strasse des 17 juni"));
}

TEST(OfflineGeocoder, AnswersOnceOnTheMainThreadWithNoResultAsCode8)
{
    OfflineGeocoder geocoder;
    Answer found;
    Answer missing;
    Answer reverse;
    platform::core::detail::runOnWorker([&] {
        geocoder.geocodeAddressDictionary({{AddressKey::Street, QStringLiteral("1 Bahnhofstrasse")},
                                           {AddressKey::City, QStringLiteral("Zürich")},
                                           {AddressKey::CountryCode, QStringLiteral("ch")}},
                                          recorder(found));
        geocoder.geocodeAddressDictionary({{AddressKey::City, QStringLiteral("Nowhere Town")}}, recorder(missing));
        geocoder.reverseGeocodeLocation({40.71, -74.0}, recorder(reverse));
    });
    ASSERT_TRUE(waitFor(found) && waitFor(missing) && waitFor(reverse));
    QTest::qWait(20);
    EXPECT_EQ(found.calls, 1);
    EXPECT_TRUE(found.onMainThread);
    ASSERT_EQ(found.placemarks.size(), 1);
    EXPECT_EQ(found.placemarks.first().locality, QStringLiteral("Zurich"));
    EXPECT_EQ(found.placemarks.first().thoroughfare, QStringLiteral("1 Bahnhofstrasse"));
    EXPECT_TRUE(found.error.isNull());
    EXPECT_TRUE(missing.placemarks.isEmpty());
    EXPECT_EQ(missing.error.domain(), GeocoderError::Domain);
    EXPECT_EQ(missing.error.code(), GeocoderError::NoResult);
    ASSERT_EQ(reverse.placemarks.size(), 1);
    EXPECT_EQ(reverse.placemarks.first().countryCode, QStringLiteral("US"));
    EXPECT_DOUBLE_EQ(reverse.placemarks.first().coordinate.latitude, 40.71);
}

// ---- The web service, played by a small HTTP server of the test's own ----

namespace {

class FakeService : public QObject
{
public:
    struct Reply
    {
        int status = 200;
        QByteArray body;
        bool hangUp = false;
    };

    FakeService()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
            }
        });
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/api").arg(m_server.serverPort())); }
    QList<Reply> replies;
    QList<QUrl> requests;
    QList<qint64> times;
    QElapsedTimer clock;

private:
    void serve(QTcpSocket *socket)
    {
        const QByteArray head = socket->readAll();
        const QList<QByteArray> words = head.split(' ');
        requests << QUrl(QString::fromLatin1(words.value(1)));
        times << clock.elapsed();
        const Reply reply = replies.isEmpty() ? Reply{200, "[]"} : replies.takeFirst();
        if (reply.hangUp) {
            socket->abort();
            return;
        }
        QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\nContent-Type: application/json\r\n" +
                         "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n" +
                         reply.body;
        socket->write(out);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
};

const QByteArray ZurichAnswer = R"([{"lat":"47.3717","lon":"8.5423","display_name":"x",
  "address":{"house_number":"1","road":"Bahnhofstrasse","city":"Zürich","state":"Zürich",
             "postcode":"8001","country":"Schweiz","country_code":"ch"}}])";

} // namespace

TEST(WebGeocoder, AsksTheServiceAndReadsItsAnswer)
{
    FakeService service;
    service.clock.start();
    service.replies << FakeService::Reply{200, ZurichAnswer};
    WebGeocoder geocoder(service.url());
    Answer answer;
    geocoder.geocodeAddressDictionary({{AddressKey::Street, QStringLiteral("Bahnhofstrasse 1")},
                                       {AddressKey::City, QStringLiteral("Zürich")},
                                       {AddressKey::CountryCode, QStringLiteral("CH")}},
                                      recorder(answer));
    ASSERT_TRUE(waitFor(answer));
    ASSERT_EQ(service.requests.size(), 1);
    EXPECT_EQ(service.requests.first().path(), QStringLiteral("/api/search"));
    const QUrlQuery query(service.requests.first());
    EXPECT_EQ(query.queryItemValue(QStringLiteral("city"), QUrl::FullyDecoded), QStringLiteral("Zürich"));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("street"), QUrl::FullyDecoded), QStringLiteral("Bahnhofstrasse 1"));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("countrycodes")), QStringLiteral("ch"));
    EXPECT_TRUE(answer.onMainThread);
    ASSERT_EQ(answer.placemarks.size(), 1);
    const Placemark &p = answer.placemarks.first();
    EXPECT_DOUBLE_EQ(p.coordinate.latitude, 47.3717);
    EXPECT_EQ(p.thoroughfare, QStringLiteral("Bahnhofstrasse"));
    EXPECT_EQ(p.subThoroughfare, QStringLiteral("1"));
    EXPECT_EQ(p.locality, QStringLiteral("Zürich"));
    EXPECT_EQ(p.countryCode, QStringLiteral("CH"));
}

TEST(WebGeocoder, ErrorsMapOntoTheCodesTheQueueBranchesOn)
{
    FakeService service;
    service.clock.start();
    // Each answer in turn; the geocoder spaces them a second apart, so keep the table short.
    service.replies << FakeService::Reply{200, "[]"} << FakeService::Reply{503, "busy"}
                    << FakeService::Reply{200, "not json"} << FakeService::Reply{200, "", true}
                    // The network layer sends a request once more after the connection was dropped.
                    << FakeService::Reply{200, "", true};
    WebGeocoder geocoder(service.url(), 50);
    Answer empty, busy, garbage, hungUp;
    geocoder.geocodeAddressString(QStringLiteral("a"), recorder(empty));
    geocoder.geocodeAddressString(QStringLiteral("b"), recorder(busy));
    geocoder.geocodeAddressString(QStringLiteral("c"), recorder(garbage));
    geocoder.geocodeAddressString(QStringLiteral("d"), recorder(hungUp));
    ASSERT_TRUE(waitFor(empty) && waitFor(busy) && waitFor(garbage) && waitFor(hungUp));
    EXPECT_EQ(empty.error.code(), GeocoderError::NoResult);
    EXPECT_EQ(busy.error.code(), GeocoderError::Network);
    EXPECT_EQ(garbage.error.code(), GeocoderError::Unknown);
    EXPECT_EQ(hungUp.error.code(), GeocoderError::Network);

    // Nobody listening at all.
    WebGeocoder nowhere(QUrl(QStringLiteral("http://127.0.0.1:1/")));
    Answer refused;
    nowhere.reverseGeocodeLocation({1, 2}, recorder(refused));
    ASSERT_TRUE(waitFor(refused));
    EXPECT_EQ(refused.error.code(), GeocoderError::Network);
    EXPECT_EQ(refused.calls, 1);
}

TEST(WebGeocoder, SendsAtMostOneRequestASecond)
{
    FakeService service;
    service.clock.start();
    service.replies << FakeService::Reply{200, ZurichAnswer} << FakeService::Reply{200, ZurichAnswer}
                    << FakeService::Reply{200, ZurichAnswer};
    WebGeocoder geocoder(service.url());
    Answer a, b, c;
    geocoder.geocodeAddressString(QStringLiteral("Zürich"), recorder(a));
    geocoder.geocodeAddressString(QStringLiteral("Zürich"), recorder(b));
    geocoder.reverseGeocodeLocation({47.37, 8.54}, recorder(c));
    ASSERT_TRUE(waitFor(a) && waitFor(b) && waitFor(c));
    ASSERT_EQ(service.times.size(), 3);
    EXPECT_GE(service.times.at(1) - service.times.at(0), 950);
    EXPECT_GE(service.times.at(2) - service.times.at(1), 950);
    EXPECT_EQ(service.requests.at(2).path(), QStringLiteral("/api/reverse"));
}

TEST(Geocoder, TheProgramsGeocoderFollowsTheServiceAddressFromRequestToRequest)
{
    const auto defaults = platform::core::UserDefaults::standardUserDefaults();
    FakeService first, second;
    first.clock.start();
    second.clock.start();
    first.replies << FakeService::Reply{200, ZurichAnswer};
    second.replies << FakeService::Reply{200, ZurichAnswer};
    defaults->removeObjectForKey(Geocoder::ServiceURLKey);
    // Made before any service is set, as the store's queue is at start.
    const std::shared_ptr<Geocoder> geocoder = Geocoder::make();
    EXPECT_FALSE(geocoder->usesNetwork());

    struct Step
    {
        QString address; // the user default at the request; empty: none
        FakeService *expected; // the service asked, null: answered offline
    };
    const Step steps[] = {
        {first.url().toString(), &first},
        {QStringLiteral("  ") + second.url().toString() + QStringLiteral(" "), &second},
        {QString(), nullptr},
    };
    for (const Step &step : steps) {
        if (step.address.isEmpty())
            defaults->removeObjectForKey(Geocoder::ServiceURLKey);
        else
            defaults->setObject(step.address, Geocoder::ServiceURLKey);
        const qsizetype before = first.requests.size() + second.requests.size();
        Answer answer;
        geocoder->geocodeAddressString(QStringLiteral("Zürich"), recorder(answer));
        ASSERT_TRUE(waitFor(answer)) << step.address.toStdString();
        ASSERT_EQ(answer.placemarks.size(), 1) << step.address.toStdString();
        if (step.expected) {
            EXPECT_EQ(step.expected->requests.size(), 1) << step.address.toStdString();
            EXPECT_EQ(first.requests.size() + second.requests.size(), before + 1);
            // The service's street-level answer, not the city's centre.
            EXPECT_EQ(answer.placemarks.first().thoroughfare, QStringLiteral("Bahnhofstrasse"));
        } else {
            EXPECT_EQ(first.requests.size() + second.requests.size(), before);
            EXPECT_TRUE(answer.placemarks.first().thoroughfare.isEmpty());
        }
    }
    defaults->removeObjectForKey(Geocoder::ServiceURLKey);
}

TEST(WebGeocoder, AServiceOnThisMachineNeedsNoNetwork)
{
    const struct
    {
        const char *url;
        bool network;
    } cases[] = {
        {"http://127.0.0.1:8080/api", false},
        {"http://localhost/api", false},
        {"http://[::1]:9000/", false},
        {"https://geocoder.example.org/search", true},
        {"http://10.0.0.5/api", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(WebGeocoder(QUrl(QString::fromLatin1(c.url))).usesNetwork(), c.network) << c.url;
}
