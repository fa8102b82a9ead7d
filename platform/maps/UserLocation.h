#pragma once

#include "platform/maps/Placemark.h"

#include <QDBusObjectPath>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace platform::maps {

// Where the user is, from the desktop's location service. Signals come on the main thread.
class UserLocationProvider : public QObject
{
    Q_OBJECT
public:
    enum Authorization { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3 };

    using QObject::QObject;
    ~UserLocationProvider() override = default;

    virtual Authorization authorizationStatus() const = 0;
    // Asks for locations; the answer is locationUpdated (possibly several times) or failed.
    virtual void startUpdatingLocation() = 0;
    virtual void stopUpdatingLocation() = 0;

    // The provider the program uses: the session's location service when there is one. A test installs
    // its own maker; null restores the default one.
    static std::unique_ptr<UserLocationProvider> make(QObject *parent = nullptr);
    using Factory = std::function<std::unique_ptr<UserLocationProvider>(QObject *parent)>;
    static void setFactory(Factory factory);

signals:
    void authorizationChanged(int status);
    void locationUpdated(double latitude, double longitude);
    void failed(const QString &reason);
};

// The desktop location service on the system bus: a client is asked of its manager, started, and each
// location it reports is read. No service, or a refusal, is a failure.
class GeoClueLocationProvider : public UserLocationProvider
{
    Q_OBJECT
public:
    explicit GeoClueLocationProvider(QObject *parent = nullptr);
    ~GeoClueLocationProvider() override;

    Authorization authorizationStatus() const override { return m_status; }
    void startUpdatingLocation() override;
    void stopUpdatingLocation() override;

private slots:
    void onLocationUpdated(const QDBusObjectPath &oldPath, const QDBusObjectPath &newPath);

private:
    void fail(const QString &reason);
    void readLocation(const QString &path);

    Authorization m_status = NotDetermined;
    QString m_clientPath;
    bool m_started = false;
};

// A location given by whoever makes it (a test, or a place the user typed in): reports it on start, or
// reports a failure when none is set.
class FixedLocationProvider : public UserLocationProvider
{
    Q_OBJECT
public:
    explicit FixedLocationProvider(QObject *parent = nullptr) : UserLocationProvider(parent) {}

    void setLocation(const Coordinate &location) { m_location = location; m_hasLocation = true; }
    void setAuthorization(Authorization status) { m_status = status; }

    Authorization authorizationStatus() const override { return m_status; }
    void startUpdatingLocation() override;
    void stopUpdatingLocation() override {}
    // Reports a new location now, as a moving user would.
    void moveTo(const Coordinate &location);

private:
    Authorization m_status = Authorized;
    Coordinate m_location;
    bool m_hasLocation = false;
};

} // namespace platform::maps
