#include "platform/maps/UserLocation.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QTimer>

#include <mutex>

namespace platform::maps {

namespace {
std::mutex g_factoryMutex;
UserLocationProvider::Factory g_factory;

const QString Service = QStringLiteral("org.freedesktop.GeoClue2");
const QString ManagerPath = QStringLiteral("/org/freedesktop/GeoClue2/Manager");
const QString ManagerInterface = QStringLiteral("org.freedesktop.GeoClue2.Manager");
const QString ClientInterface = QStringLiteral("org.freedesktop.GeoClue2.Client");
const QString LocationInterface = QStringLiteral("org.freedesktop.GeoClue2.Location");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
} // namespace

std::unique_ptr<UserLocationProvider> UserLocationProvider::make(QObject *parent)
{
    {
        std::lock_guard lock(g_factoryMutex);
        if (g_factory)
            return g_factory(parent);
    }
    return std::make_unique<GeoClueLocationProvider>(parent);
}

void UserLocationProvider::setFactory(Factory factory)
{
    std::lock_guard lock(g_factoryMutex);
    g_factory = std::move(factory);
}

GeoClueLocationProvider::GeoClueLocationProvider(QObject *parent) : UserLocationProvider(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected() && bus.interface()) {
        const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
        const bool present = bus.interface()->isServiceRegistered(Service).value() ||
                             (activatable.isValid() && activatable.value().contains(Service));
        m_status = present ? Authorized : NotDetermined;
    }
}

GeoClueLocationProvider::~GeoClueLocationProvider()
{
    if (m_started && !m_clientPath.isEmpty()) {
        QDBusInterface client(Service, m_clientPath, ClientInterface, QDBusConnection::systemBus());
        client.asyncCall(QStringLiteral("Stop"));
    }
}

void GeoClueLocationProvider::fail(const QString &reason)
{
    // Reported on the next turn of the event loop, as every answer of the service is.
    QTimer::singleShot(0, this, [this, reason] { emit failed(reason); });
}

void GeoClueLocationProvider::startUpdatingLocation()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        fail(QStringLiteral("No system bus"));
        return;
    }
    if (m_started)
        return;
    QDBusInterface manager(Service, ManagerPath, ManagerInterface, bus);
    if (!manager.isValid()) {
        fail(QStringLiteral("No location service"));
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(manager.asyncCall(QStringLiteral("GetClient")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *call;
        if (reply.isError()) {
            m_status = Denied;
            emit authorizationChanged(m_status);
            fail(reply.error().message());
            return;
        }
        m_clientPath = reply.value().path();
        QDBusConnection bus = QDBusConnection::systemBus();
        QDBusInterface properties(Service, m_clientPath, PropertiesInterface, bus);
        properties.call(QStringLiteral("Set"), ClientInterface, QStringLiteral("DesktopId"),
                        QVariant::fromValue(QDBusVariant(QStringLiteral("quendel"))));
        // Street level is what the distances need.
        properties.call(QStringLiteral("Set"), ClientInterface, QStringLiteral("RequestedAccuracyLevel"),
                        QVariant::fromValue(QDBusVariant(quint32(6))));
        bus.connect(Service, m_clientPath, ClientInterface, QStringLiteral("LocationUpdated"), this,
                    SLOT(onLocationUpdated(QDBusObjectPath, QDBusObjectPath)));
        QDBusInterface client(Service, m_clientPath, ClientInterface, bus);
        auto *start = new QDBusPendingCallWatcher(client.asyncCall(QStringLiteral("Start")), this);
        connect(start, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *started) {
            started->deleteLater();
            const QDBusPendingReply<> result = *started;
            if (result.isError()) {
                m_status = Denied;
                emit authorizationChanged(m_status);
                fail(result.error().message());
                return;
            }
            m_started = true;
            if (m_status != Authorized) {
                m_status = Authorized;
                emit authorizationChanged(m_status);
            }
            // A client that already has a fix reports it through its property, not the signal.
            QDBusInterface props(Service, m_clientPath, PropertiesInterface, QDBusConnection::systemBus());
            const QDBusReply<QVariant> location =
                props.call(QStringLiteral("Get"), ClientInterface, QStringLiteral("Location"));
            if (location.isValid()) {
                const QString path = qvariant_cast<QDBusObjectPath>(location.value()).path();
                if (!path.isEmpty() && path != QLatin1String("/"))
                    readLocation(path);
            }
        });
    });
}

void GeoClueLocationProvider::stopUpdatingLocation()
{
    if (!m_started || m_clientPath.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    bus.disconnect(Service, m_clientPath, ClientInterface, QStringLiteral("LocationUpdated"), this,
                   SLOT(onLocationUpdated(QDBusObjectPath, QDBusObjectPath)));
    QDBusInterface client(Service, m_clientPath, ClientInterface, bus);
    client.asyncCall(QStringLiteral("Stop"));
    m_started = false;
}

void GeoClueLocationProvider::onLocationUpdated(const QDBusObjectPath &, const QDBusObjectPath &newPath)
{
    readLocation(newPath.path());
}

void GeoClueLocationProvider::readLocation(const QString &path)
{
    QDBusInterface properties(Service, path, PropertiesInterface, QDBusConnection::systemBus());
    const QDBusReply<QVariantMap> all = properties.call(QStringLiteral("GetAll"), LocationInterface);
    if (!all.isValid()) {
        fail(all.error().message());
        return;
    }
    const Coordinate c{all.value().value(QStringLiteral("Latitude")).toDouble(),
                       all.value().value(QStringLiteral("Longitude")).toDouble()};
    if (c.isValid())
        emit locationUpdated(c.latitude, c.longitude);
}

void FixedLocationProvider::startUpdatingLocation()
{
    QTimer::singleShot(0, this, [this] {
        if (m_status == Denied) {
            emit authorizationChanged(Denied);
            return;
        }
        if (m_hasLocation)
            emit locationUpdated(m_location.latitude, m_location.longitude);
        else
            emit failed(QStringLiteral("No location"));
    });
}

void FixedLocationProvider::moveTo(const Coordinate &location)
{
    setLocation(location);
    emit locationUpdated(location.latitude, location.longitude);
}

} // namespace platform::maps
