// The address lookup service chosen in the Preferences: addresses go to it from the moment it is set,
// and back to the offline lookup from the moment it is emptied, without a restart. The service is the
// test's own, on this machine.

#include "RoadsFixture.h"

#include "platform/maps/MapView.h"
#include "platform/maps/UserLocation.h"

#include <QLabel>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>

using namespace roads;

namespace {

// A geocoding service on this machine that answers every search with one place.
class LocalLookupService : public QObject
{
public:
    explicit LocalLookupService(QByteArray answer) : m_answer(std::move(answer))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
        });
    }

    QString address() const { return QStringLiteral("http://127.0.0.1:%1/lookup").arg(m_server.serverPort()); }
    QList<QUrl> requests;

private:
    void serve(QTcpSocket *socket)
    {
        const QList<QByteArray> words = socket->readAll().split(' ');
        requests << QUrl(QString::fromLatin1(words.value(1)));
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(m_answer.size()) + "\r\nConnection: close\r\n\r\n" + m_answer);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QByteArray m_answer;
};

// A street in Zurich, well away from the city's centre where the offline lookup would put it.
const QByteArray StreetAnswer = R"([{"lat":"47.4102","lon":"8.5003","display_name":"x",
  "address":{"house_number":"7","road":"Wehntalerstrasse","city":"Zürich","state":"Zürich",
             "postcode":"8057","country":"Schweiz","country_code":"ch"}}])";

class AddressLookupRoadsTest : public ZurichRoadTest
{
protected:

    // The Preferences' General pane, with its address lookup field.
    QLineEdit *lookupField()
    {
        QWidget *preferences = widgetsNamed(QStringLiteral("Preferences")).value(0);
        if (!preferences)
            preferences = openPreferencesWindow();
        if (!preferences)
            return nullptr;
        choosePreferencesPane(preferences, QStringLiteral("General"));
        return widgetNamed<QLineEdit>(QStringLiteral("Address lookup service"), preferences);
    }

    void openMapSection()
    {
        const auto shown = [] { return !widgetsNamed(QStringLiteral("Map List")).isEmpty(); };
        for (int attempt = 0; attempt < 3 && !shown(); ++attempt) {
            clickRow(widgetNamed<QAbstractItemView>(QStringLiteral("Sections")), QStringLiteral("Map"));
            (void)QTest::qWaitFor(shown, 2000);
        }
        ASSERT_TRUE(shown());
    }

    // The map's pin of a contact, once it is there.
    std::optional<platform::maps::Coordinate> pinOf(const QString &name, int timeoutMs = 20000)
    {
        std::optional<platform::maps::Coordinate> found;
        (void)QTest::qWaitFor([&] {
            auto *map = widgetNamed<platform::maps::MapView>(QStringLiteral("Map"));
            for (const platform::maps::MapAnnotation &pin : map ? map->annotations() : QList<platform::maps::MapAnnotation>{}) {
                if (pin.title == name)
                    found = pin.coordinate;
            }
            return found.has_value();
        }, timeoutMs);
        return found;
    }
};

} // namespace

TEST_F(AddressLookupRoadsTest, AServiceSetInThePreferencesIsUsedAtOnceAndEmptyingItGoesBackOffline)
{
    LocalLookupService service(StreetAnswer);
    start();

    // The store's geocoding queue was made at start, before any service was set.
    QLineEdit *field = lookupField();
    ASSERT_NE(field, nullptr);
    replaceText(field, service.address());
    EXPECT_TRUE(widgetNamed<QLabel>(QStringLiteral("Address lookup status"))->text().startsWith(
        QStringLiteral("Addresses are sent to this service")));

    addContactThroughTheSheet(QStringLiteral("Ann"), QStringLiteral("Alpha"),
                              {{QStringLiteral("Addresses new city"), QStringLiteral("Zurich"), false}});
    openMapSection();
    const std::optional<platform::maps::Coordinate> ann = pinOf(QStringLiteral("Ann Alpha"));
    ASSERT_TRUE(ann.has_value()) << windowsOnShow();
    ASSERT_EQ(service.requests.size(), 1);
    EXPECT_EQ(service.requests.first().path(), QStringLiteral("/lookup/search"));
    // Placed where the service said, not on the city's centre.
    EXPECT_NEAR(ann->latitude, 47.4102, 1e-4);
    EXPECT_NEAR(ann->longitude, 8.5003, 1e-4);

    // Emptied: the next address is found offline, and the service hears nothing more.
    field = lookupField();
    ASSERT_NE(field, nullptr);
    activateWindowOf(field);
    QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Return);
    settle();
    clickRow(widgetNamed<QAbstractItemView>(QStringLiteral("Sections")), QStringLiteral("Contacts"));
    ASSERT_TRUE(QTest::qWaitFor([] { return !widgetsNamed(QStringLiteral("Contacts")).isEmpty(); }, 3000));
    addContactThroughTheSheet(QStringLiteral("Bob"), QStringLiteral("Beta"),
                              {{QStringLiteral("Addresses new city"), QStringLiteral("Bern"), false}});
    openMapSection();
    const std::optional<platform::maps::Coordinate> bob = pinOf(QStringLiteral("Bob Beta"));
    ASSERT_TRUE(bob.has_value()) << windowsOnShow();
    EXPECT_NEAR(bob->latitude, 46.948, 0.02);
    EXPECT_NEAR(bob->longitude, 7.447, 0.02);
    EXPECT_EQ(service.requests.size(), 1);
    quitThroughTheMenu();
}
