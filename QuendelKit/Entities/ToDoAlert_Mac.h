#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

class ToDoAlert;

// A user notification as the application builds it for an alert: what it shows, when, how often, and the
// identifiers in its user info.
struct UserNotification
{
    QString title;
    QString informativeText;
    QString actionButtonTitle;
    QString soundName;
    QDateTime deliveryDate;
    // Date components of the repeat, or invalid for none.
    QVariant deliveryRepeatInterval;
    QVariantMap userInfo;
};
using UserNotificationPtr = std::shared_ptr<UserNotification>;

// What the application does for an alert with the system's user notifications: builds, schedules, replaces
// and removes them, and lists the scheduled and delivered ones. The application installs its own at launch;
// until then the default schedules nothing, lists nothing and makes no notification (so no identifier is
// stored on the alert either).
class ToDoAlert_Mac
{
public:
    // Keys of a notification's user info.
    static inline const QString PersonGUIDKey = QStringLiteral("kToDoAlertPersonGUIDKey");
    static inline const QString NotificationGUIDKey = QStringLiteral("kToDoAlertNotificationGUIDKey");

    virtual ~ToDoAlert_Mac() = default;

    // The installed hooks, or the default that does nothing.
    static ToDoAlert_Mac &shared();
    // Null goes back to the default.
    static void install(std::shared_ptr<ToDoAlert_Mac> hooks);

    // Builds the alert's notification under `identifier` for its to-do's start plus the alert's offset,
    // schedules it when that moment is in the future (replacing the one known to the alert), stores the
    // identifier in the alert and returns the notification; null when the to-do has no start date.
    virtual UserNotificationPtr createAndScheduleLocalNotificationWithUUID_Mac(ToDoAlert &, const QString &)
    {
        return nullptr;
    }
    // Replaces `existing` by a notification with the to-do's current texts, repeat and moment, keeping the
    // old user info, sound and button title; schedules it and returns it.
    virtual UserNotificationPtr createAndScheduleUpdatedNotificationWithExistingNotification_Mac(
        ToDoAlert &, const UserNotificationPtr &)
    {
        return nullptr;
    }
    // Removes the alert's notification from the scheduled ones, else from the delivered ones.
    virtual void deleteExistingLocalNotification_Mac(ToDoAlert &) {}
    virtual void displayAllLocalNotifications_Mac() {}
    virtual void create_Mac_BadgeNotificationWithDueDate(ToDoAlert &, const QDateTime &) {}

    // The application's scheduled and delivered notifications, in the system's order.
    virtual QList<UserNotificationPtr> scheduledNotifications() { return {}; }
    virtual QList<UserNotificationPtr> deliveredNotifications() { return {}; }
};
