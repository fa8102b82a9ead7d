#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace platform::core {
class Timer;
}

namespace platform::notify {

// One notification as the program hands it over: what it shows, when, how often, and the caller's own
// information. `identifier` names it for replacing and withdrawing.
struct ScheduledNotification
{
    QString identifier;
    QString title;
    QString informativeText;
    QString actionButtonTitle;
    QDateTime deliveryDate;
    // Date components (platform::core::DateComponents) of the repeat, or invalid for none.
    QVariant repeatInterval;
    QVariantMap userInfo;
    // When it was shown; invalid while it waits.
    QDateTime actualDeliveryDate;

    QVariantMap toMap() const;
    static ScheduledNotification fromMap(const QVariantMap &map);
};

// What shows a due notification to the user: the desktop's notification service, or a fallback inside the
// program's window. It reports the user's click on a notification by its identifier.
class DesktopNotifier
{
public:
    virtual ~DesktopNotifier() = default;
    virtual void show(const ScheduledNotification &notification) = 0;
    virtual void withdraw(const QString &identifier) = 0;
    void setActivationHandler(std::function<void(const QString &identifier)> handler)
    {
        m_activated = std::move(handler);
    }

protected:
    void activated(const QString &identifier) const
    {
        if (m_activated)
            m_activated(identifier);
    }

private:
    std::function<void(const QString &)> m_activated;
};

// The program's notifications: waiting ones fire at their time on the current clock (Clock.h), then move to
// the delivered ones; a repeating one is scheduled again at its next time that has not passed. The lists are
// kept in a file, so notifications survive a restart, and one whose time passed while the program was not
// running is shown when it starts. Main thread only.
class NotificationCenter : public QObject
{
    Q_OBJECT
public:
    // `storePath` may be empty: then nothing is kept across runs.
    explicit NotificationCenter(const QString &storePath, QObject *parent = nullptr);
    ~NotificationCenter() override;

    void setNotifier(std::shared_ptr<DesktopNotifier> notifier);
    DesktopNotifier *notifier() const { return m_notifier.get(); }
    // Called with a notification the user clicked.
    void setActivationHandler(std::function<void(const ScheduledNotification &)> handler)
    {
        m_activation = std::move(handler);
    }

    // Schedules `notification`, replacing the waiting one with the same identifier. A time that has passed is
    // shown at once.
    void scheduleNotification(const ScheduledNotification &notification);
    QList<ScheduledNotification> scheduledNotifications() const { return m_scheduled; }
    QList<ScheduledNotification> deliveredNotifications() const { return m_delivered; }
    bool removeScheduledNotification(const QString &identifier);
    bool removeDeliveredNotification(const QString &identifier);
    void removeAllScheduledNotifications();
    void removeAllDeliveredNotifications();

    // Shows every waiting notification whose time has come; the timer calls it.
    void deliverDueNotifications();
    // Reads the kept lists (a damaged file is set aside and reported) and shows what fell due meanwhile.
    bool load(QString *problem = nullptr);

    // The first time not before `now` reached from `date` by whole repeat steps; invalid when the repeat
    // does not move a date forward.
    static QDateTime nextDeliveryDate(const QDateTime &date, const QVariant &repeat, const QDateTime &now);

private:
    void activate(const QString &identifier);
    void rearm();
    void persist();

    QString m_storePath;
    std::shared_ptr<DesktopNotifier> m_notifier;
    std::function<void(const ScheduledNotification &)> m_activation;
    QList<ScheduledNotification> m_scheduled;
    QList<ScheduledNotification> m_delivered;
    std::shared_ptr<platform::core::Timer> m_timer;
};

} // namespace platform::notify
