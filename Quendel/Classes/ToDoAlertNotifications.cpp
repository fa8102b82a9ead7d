#include "Classes/ToDoAlertNotifications.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoAlert.h"
#include "QuendelKit/Entities/ToDoTitle.h"

#include "platform/core/Clock.h"
#include "platform/core/DateComponents.h"

#include <QLocale>

using platform::notify::ScheduledNotification;

namespace {

QString identifierOf(const UserNotification &notification)
{
    return notification.userInfo.value(ToDoAlert_Mac::NotificationGUIDKey).toString();
}

QVariant repeatOf(const ToDo &todo)
{
    const QVariant repeat = todo.todoRepeatInterval();
    return platform::core::DateComponents::isDateComponents(repeat) ? repeat : QVariant();
}

} // namespace

ToDoAlertNotifications::ToDoAlertNotifications(platform::notify::NotificationCenter *center) : m_center(center) {}

QString ToDoAlertNotifications::makeAlertBodyNoteWithTodo(const ToDo &todo)
{
    const Person *person = todo.person();
    const QString name = person ? person->displayName() : QString();
    if (const ToDoTitle *title = todo.todotitle())
        return QStringLiteral("%1 : %2").arg(title->title(), name);
    return name;
}

QString ToDoAlertNotifications::formattedStringForTodoStartDate(const ToDo &todo)
{
    return QLocale().toString(todo.todoStartDate().toLocalTime().date(), QLocale::LongFormat);
}

QVariantMap ToDoAlertNotifications::userInfoFor(const ToDo &todo, const QString &uuid)
{
    QVariantMap info{{NotificationGUIDKey, uuid}};
    if (const Person *person = todo.person(); person && !person->guid().isEmpty())
        info.insert(PersonGUIDKey, person->guid());
    return info;
}

ScheduledNotification ToDoAlertNotifications::toScheduled(const UserNotification &notification)
{
    ScheduledNotification scheduled;
    scheduled.identifier = identifierOf(notification);
    scheduled.title = notification.title;
    scheduled.informativeText = notification.informativeText;
    scheduled.actionButtonTitle = notification.actionButtonTitle;
    scheduled.deliveryDate = notification.deliveryDate;
    scheduled.repeatInterval = notification.deliveryRepeatInterval;
    scheduled.userInfo = notification.userInfo;
    return scheduled;
}

UserNotificationPtr ToDoAlertNotifications::fromScheduled(const ScheduledNotification &scheduled)
{
    auto notification = std::make_shared<UserNotification>();
    notification->title = scheduled.title;
    notification->informativeText = scheduled.informativeText;
    notification->actionButtonTitle = scheduled.actionButtonTitle;
    notification->deliveryDate = scheduled.deliveryDate;
    notification->deliveryRepeatInterval = scheduled.repeatInterval;
    notification->userInfo = scheduled.userInfo;
    return notification;
}

bool ToDoAlertNotifications::scheduleIfDue(UserNotification &notification)
{
    if (!m_center || !notification.deliveryDate.isValid())
        return false;
    const QDateTime now = platform::core::Clock::now();
    if (notification.deliveryDate <= now) {
        const QDateTime next = platform::notify::NotificationCenter::nextDeliveryDate(
            notification.deliveryDate, notification.deliveryRepeatInterval, now.addMSecs(1));
        if (!next.isValid())
            return false;
        notification.deliveryDate = next;
    }
    m_center->scheduleNotification(toScheduled(notification));
    return true;
}

UserNotificationPtr ToDoAlertNotifications::createAndScheduleLocalNotificationWithUUID_Mac(ToDoAlert &alert,
                                                                                          const QString &uuid)
{
    const ToDo *todo = alert.todo();
    if (!todo || !todo->todoStartDate().isValid())
        return nullptr;
    auto notification = std::make_shared<UserNotification>();
    notification->title = makeAlertBodyNoteWithTodo(*todo);
    notification->informativeText = formattedStringForTodoStartDate(*todo);
    notification->deliveryDate = alert.deliveryDate();
    notification->actionButtonTitle = ViewContactTitle;
    notification->soundName = QStringLiteral("default");
    notification->deliveryRepeatInterval = repeatOf(*todo);
    notification->userInfo = userInfoFor(*todo, uuid);
    if (m_center) {
        if (const UserNotificationPtr held = alert.localNotificationObject())
            m_center->removeScheduledNotification(identifierOf(*held));
        m_center->removeScheduledNotification(uuid);
    }
    scheduleIfDue(*notification);
    // The UUID is kept also when nothing was scheduled, so the notification can be found and withdrawn later.
    alert.setLocalNotification(uuid);
    return notification;
}

UserNotificationPtr ToDoAlertNotifications::createAndScheduleUpdatedNotificationWithExistingNotification_Mac(
    ToDoAlert &alert, const UserNotificationPtr &existing)
{
    const ToDo *todo = alert.todo();
    QVariantMap info = existing ? existing->userInfo : QVariantMap();
    QString uuid = info.value(NotificationGUIDKey).toString();
    if (uuid.isEmpty())
        uuid = alert.localNotification().toString();
    if (uuid.isEmpty())
        return existing;
    if (m_center) {
        m_center->removeScheduledNotification(uuid);
        m_center->removeDeliveredNotification(uuid);
    }
    if (!todo)
        return existing;
    auto notification = std::make_shared<UserNotification>();
    notification->title = makeAlertBodyNoteWithTodo(*todo);
    notification->informativeText = formattedStringForTodoStartDate(*todo);
    notification->actionButtonTitle = existing ? existing->actionButtonTitle : ViewContactTitle;
    notification->soundName = existing ? existing->soundName : QStringLiteral("default");
    notification->deliveryRepeatInterval = repeatOf(*todo);
    notification->deliveryDate = alert.deliveryDate();
    // The to-do may have changed contact; the UUID stays.
    const QVariantMap fresh = userInfoFor(*todo, uuid);
    info.insert(NotificationGUIDKey, uuid);
    if (fresh.contains(PersonGUIDKey))
        info.insert(PersonGUIDKey, fresh.value(PersonGUIDKey));
    notification->userInfo = info;
    scheduleIfDue(*notification);
    return notification;
}

void ToDoAlertNotifications::deleteExistingLocalNotification_Mac(ToDoAlert &alert)
{
    if (!m_center)
        return;
    QString uuid;
    if (const UserNotificationPtr held = alert.localNotificationObject())
        uuid = identifierOf(*held);
    if (uuid.isEmpty())
        uuid = alert.localNotification().toString();
    if (uuid.isEmpty())
        return;
    if (m_center->removeScheduledNotification(uuid))
        return;
    m_center->removeDeliveredNotification(uuid);
}

QList<UserNotificationPtr> ToDoAlertNotifications::scheduledNotifications()
{
    QList<UserNotificationPtr> list;
    if (m_center)
        for (const ScheduledNotification &n : m_center->scheduledNotifications())
            list.append(fromScheduled(n));
    return list;
}

QList<UserNotificationPtr> ToDoAlertNotifications::deliveredNotifications()
{
    QList<UserNotificationPtr> list;
    if (m_center)
        for (const ScheduledNotification &n : m_center->deliveredNotifications())
            list.append(fromScheduled(n));
    return list;
}
