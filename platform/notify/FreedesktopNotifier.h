#pragma once

#include "platform/notify/NotificationCenter.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QVariantList>

namespace platform::notify {

// Shows notifications through the desktop's notification service (org.freedesktop.Notifications on the
// session bus), each with the action that opens what it is about; a click on that action or on the
// notification itself comes back as an activation.
class FreedesktopNotifier : public QObject, public DesktopNotifier
{
    Q_OBJECT
public:
    static inline const QString ServiceName = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString ObjectPath = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString InterfaceName = QStringLiteral("org.freedesktop.Notifications");
    // The action key the service reports for a click on the notification's body.
    static inline const QString DefaultActionKey = QStringLiteral("default");

    FreedesktopNotifier(const QDBusConnection &connection, const QString &applicationName, QObject *parent = nullptr);

    // Whether the bus is there and has (or can start) the notification service.
    static bool isServiceAvailable(const QDBusConnection &connection);

    // The arguments of the service's Notify call for `notification`: application name, the id it replaces
    // (0), icon, summary, body (as plain text), actions, hints and timeout (-1: the service decides).
    static QVariantList notifyArguments(const ScheduledNotification &notification, const QString &applicationName,
                                        const QString &iconName);

    void show(const ScheduledNotification &notification) override;
    void withdraw(const QString &identifier) override;

    // The service's id of a shown notification; 0 when none is known.
    uint serverIdFor(const QString &identifier) const { return m_serverIds.value(identifier); }

private slots:
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_connection;
    QString m_applicationName;
    QHash<QString, uint> m_serverIds;
};

} // namespace platform::notify
