#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoAlert.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/core/KeyedArchive.h"
#include "platform/store/Predicate.h"

#include <QUuid>

using platform::store::ManagedObjectContext;

namespace {

const QString LocalNotificationKey = QStringLiteral("localNotification");

QString identifierOf(const UserNotificationPtr &notification)
{
    return notification ? notification->userInfo.value(ToDoAlert_Mac::NotificationGUIDKey).toString() : QString();
}

QString newIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

QDateTime ToDoAlert::deliveryDate() const
{
    const ToDo *owner = todo();
    if (!owner || !owner->todoStartDate().isValid())
        return QDateTime();
    return ToDo::dateByAddingComponents(owner->todoStartDate(), alertInterval());
}

UserNotificationPtr ToDoAlert::localNotificationObject()
{
    if (m_notification)
        return m_notification;
    const QString identifier = localNotification().toString();
    ToDoAlert_Mac &hooks = ToDoAlert_Mac::shared();
    for (const auto &list : {hooks.scheduledNotifications(), hooks.deliveredNotifications()}) {
        for (const UserNotificationPtr &notification : list) {
            if (notification && identifierOf(notification) == identifier &&
                notification->userInfo.contains(ToDoAlert_Mac::NotificationGUIDKey)) {
                m_notification = notification;
                return m_notification;
            }
        }
    }
    return nullptr;
}

void ToDoAlert::createNewLocalNotification()
{
    setLocalNotificationObject(ToDoAlert_Mac::shared().createAndScheduleLocalNotificationWithUUID_Mac(*this, newIdentifier()));
}

void ToDoAlert::deleteExistingLocalNotification()
{
    ToDoAlert_Mac::shared().deleteExistingLocalNotification_Mac(*this);
}

void ToDoAlert::updateExistingLocalNotification()
{
    if (!alertInterval().isValid()) {
        deleteExistingLocalNotification();
        return;
    }
    if (UserNotificationPtr existing = localNotificationObject())
        setLocalNotificationObject(
            ToDoAlert_Mac::shared().createAndScheduleUpdatedNotificationWithExistingNotification_Mac(*this, existing));
    else
        createNewLocalNotification();
    const QString identifier = identifierOf(m_notification);
    setPrimitiveValue(LocalNotificationKey, identifier.isNull() ? QVariant() : QVariant(identifier));
    if (iCloudEnabledInApp())
        setModifiedAt(platform::core::Clock::now());
}

void ToDoAlert::handleContextSaveNotificationWithKey(const QString &key)
{
    if (key == InsertedObjectsKey || key == CloudInsertedKey)
        createNewLocalNotification();
    if ((key == UpdatedObjectsKey || key == CloudUpdatedKey) && !changedValues().isEmpty())
        updateExistingLocalNotification();
    if (key == DeletedObjectsKey || key == CloudDeletedKey)
        deleteExistingLocalNotification();
}

void ToDoAlert::handleCloudNotification(const QString &key)
{
    if (key == CloudInsertedKey)
        handleCloudInsertedNotification();
    else if (key == CloudUpdatedKey)
        handleCloudUpdateNotification();
    else if (key == CloudDeletedKey)
        deleteExistingLocalNotification();
}

void ToDoAlert::handleCloudInsertedNotification()
{
    const QDateTime delivery = deliveryDate();
    if (!delivery.isValid())
        return;
    const QString identifier = localNotification().toString();
    if (!identifier.isEmpty() && delivery > platform::core::Clock::now())
        setLocalNotificationObject(
            ToDoAlert_Mac::shared().createAndScheduleLocalNotificationWithUUID_Mac(*this, identifier));
}

void ToDoAlert::handleCloudUpdateNotification()
{
    if (!alertInterval().isValid()) {
        deleteExistingLocalNotification();
        return;
    }
    if (UserNotificationPtr existing = localNotificationObject())
        setLocalNotificationObject(
            ToDoAlert_Mac::shared().createAndScheduleUpdatedNotificationWithExistingNotification_Mac(*this, existing));
}

void ToDoAlert::scheduleAllNotificationsWithContext(ManagedObjectContext *context)
{
    if (!context) {
        QDSystemLog(QStringLiteral("scheduleAllNotificationsWithContext: no context"));
        return;
    }
    context->performAndWait([&] {
        platform::core::QDError error;
        const QList<platform::store::ManagedObject *> objects = context->executeFetchRequest(fetchRequest(), &error);
        if (error) {
            QDSystemLog(QStringLiteral("Error scheduling local notifications after restore!"));
            return;
        }
        for (platform::store::ManagedObject *object : objects) {
            auto *alert = dynamic_cast<ToDoAlert *>(object);
            if (!alert)
                continue;
            const QString identifier = alert->localNotification().toString();
            if (!identifier.isEmpty())
                alert->setLocalNotificationObject(
                    ToDoAlert_Mac::shared().createAndScheduleLocalNotificationWithUUID_Mac(*alert, identifier));
        }
        context->save(nullptr);
    });
}

ToDoAlert *ToDoAlert::findAlertByAlertGUID(const QString &identifier, ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    ToDoAlert *found = nullptr;
    context->performAndWait([&] {
        platform::store::FetchRequest request = fetchRequest();
        platform::core::QDError error;
        const QList<platform::store::ManagedObject *> objects = context->executeFetchRequest(request, &error);
        // The identifier is kept in an archived form, so the match is made on the read values.
        QList<ToDoAlert *> matches;
        for (platform::store::ManagedObject *object : objects) {
            auto *alert = dynamic_cast<ToDoAlert *>(object);
            if (alert && alert->localNotification().toString() == identifier && !identifier.isNull())
                matches.append(alert);
        }
        if (matches.size() == 1)
            found = matches.first();
    });
    return found;
}

QByteArray NotificationTransformer::transformedValue(const QVariant &value) const
{
    platform::core::QDError error;
    const QByteArray data = platform::core::KeyedArchive::archive(value, &error);
    if (error)
        QDLogError(QStringLiteral("NotificationTransformer: value cannot be archived: %1").arg(error.toString()));
    return data;
}

QVariant NotificationTransformer::reverseTransformedValue(const QByteArray &data) const
{
    if (data.isEmpty())
        return {};
    const std::optional<QVariant> value = platform::core::KeyedArchive::unarchive(data, nullptr);
    if (!value)
        return {};
    if (value->typeId() == QMetaType::QVariantMap &&
        NotificationClassNames.contains(value->toMap().value(ArchivedClassKey).toString()))
        return newIdentifier();
    if (value->typeId() == QMetaType::QString)
        return *value;
    return {};
}
