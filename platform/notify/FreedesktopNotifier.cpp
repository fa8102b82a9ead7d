#include "platform/notify/FreedesktopNotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QPointer>

namespace platform::notify {

namespace {

// The service may show markup in the body; user texts are shown as they were typed.
QString plainBody(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

FreedesktopNotifier::FreedesktopNotifier(const QDBusConnection &connection, const QString &applicationName,
                                         QObject *parent)
    : QObject(parent), m_connection(connection), m_applicationName(applicationName)
{
    m_connection.connect(ServiceName, ObjectPath, InterfaceName, QStringLiteral("ActionInvoked"), this,
                         SLOT(onActionInvoked(uint, QString)));
    m_connection.connect(ServiceName, ObjectPath, InterfaceName, QStringLiteral("NotificationClosed"), this,
                         SLOT(onNotificationClosed(uint, uint)));
}

bool FreedesktopNotifier::isServiceAvailable(const QDBusConnection &connection)
{
    if (!connection.isConnected() || !connection.interface())
        return false;
    if (connection.interface()->isServiceRegistered(ServiceName))
        return true;
    const QDBusReply<QStringList> activatable = connection.interface()->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(ServiceName);
}

QVariantList FreedesktopNotifier::notifyArguments(const ScheduledNotification &notification,
                                                  const QString &applicationName, const QString &iconName)
{
    QStringList actions{DefaultActionKey, notification.actionButtonTitle};
    if (!notification.actionButtonTitle.isEmpty())
        actions << QStringLiteral("view") << notification.actionButtonTitle;
    const QVariantMap hints{{QStringLiteral("category"), QStringLiteral("x-quendel.reminder")},
                            {QStringLiteral("desktop-entry"), applicationName.toLower()}};
    return {applicationName,
            uint(0),
            iconName,
            notification.title,
            plainBody(notification.informativeText),
            actions,
            hints,
            int(-1)};
}

void FreedesktopNotifier::show(const ScheduledNotification &notification)
{
    QDBusMessage call = QDBusMessage::createMethodCall(ServiceName, ObjectPath, InterfaceName, QStringLiteral("Notify"));
    QVariantList arguments = notifyArguments(notification, m_applicationName, QStringLiteral("appointment-soon"));
    // A notification shown again replaces its earlier bubble.
    arguments[1] = QVariant::fromValue(m_serverIds.value(notification.identifier));
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
    const QString identifier = notification.identifier;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, identifier](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isValid())
            m_serverIds.insert(identifier, reply.value());
        else
            qWarning("Notifications: the desktop refused a notification: %s", qPrintable(reply.error().message()));
        w->deleteLater();
    });
}

void FreedesktopNotifier::withdraw(const QString &identifier)
{
    const uint id = m_serverIds.take(identifier);
    if (id == 0)
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(ServiceName, ObjectPath, InterfaceName, QStringLiteral("CloseNotification"));
    call.setArguments({QVariant::fromValue(id)});
    m_connection.asyncCall(call);
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString &)
{
    const QString identifier = m_serverIds.key(id);
    if (!identifier.isNull())
        activated(identifier);
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint)
{
    const QString identifier = m_serverIds.key(id);
    if (!identifier.isNull())
        m_serverIds.remove(identifier);
}

} // namespace platform::notify
