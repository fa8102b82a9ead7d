#pragma once

#include "QuendelKit/Entities/ToDoAlert_Mac.h"

#include "platform/notify/NotificationCenter.h"

#include <QPointer>

class ToDo;

// The application's alert notifications, installed into the kit at launch: one notification per alert, due at
// the to-do's start moved by the alert's offset, repeating as the to-do repeats, named by the alert's UUID.
// A time that has passed is scheduled again only for a repeating to-do, at its next time to come.
class ToDoAlertNotifications : public ToDoAlert_Mac
{
public:
    static inline const QString ViewContactTitle = QStringLiteral("View Contact");

    explicit ToDoAlertNotifications(platform::notify::NotificationCenter *center);

    // "<title> : <contact>", or the contact's name alone.
    static QString makeAlertBodyNoteWithTodo(const ToDo &todo);
    // The start's day in the long style, without the time.
    static QString formattedStringForTodoStartDate(const ToDo &todo);
    // The user info: the alert's UUID always, the contact's guid when it has one.
    static QVariantMap userInfoFor(const ToDo &todo, const QString &uuid);

    static platform::notify::ScheduledNotification toScheduled(const UserNotification &notification);
    static UserNotificationPtr fromScheduled(const platform::notify::ScheduledNotification &notification);

    UserNotificationPtr createAndScheduleLocalNotificationWithUUID_Mac(ToDoAlert &alert, const QString &uuid) override;
    UserNotificationPtr createAndScheduleUpdatedNotificationWithExistingNotification_Mac(
        ToDoAlert &alert, const UserNotificationPtr &existing) override;
    void deleteExistingLocalNotification_Mac(ToDoAlert &alert) override;
    QList<UserNotificationPtr> scheduledNotifications() override;
    QList<UserNotificationPtr> deliveredNotifications() override;

private:
    // Schedules `notification` when its time is to come; a passed time of a repeating one moves on to the next
    // time to come. False when nothing was scheduled.
    bool scheduleIfDue(UserNotification &notification);

    QPointer<platform::notify::NotificationCenter> m_center;
};
