#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "QuendelKit/Entities/ToDoAlert_Mac.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/Model.h"

#include <QString>
#include <QStringList>
#include <QVariant>

class ToDo;

// One alert of a to-do.
class ToDoAlert : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("ToDoAlert");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // ---- Notification upkeep (ToDoAlert+Notifications.cpp) ----

    // Keys of the save sets the save listener passes on.
    static inline const QString InsertedObjectsKey = QStringLiteral("insertedObjects");
    static inline const QString UpdatedObjectsKey = QStringLiteral("updatedObjects");
    static inline const QString DeletedObjectsKey = QStringLiteral("deletedObjects");
    // The change keys of the older shared cloud store's imports.
    static inline const QString CloudInsertedKey = QStringLiteral("inserted");
    static inline const QString CloudUpdatedKey = QStringLiteral("updated");
    static inline const QString CloudDeletedKey = QStringLiteral("deleted");

    // A new notification under a new identifier.
    void createNewLocalNotification();
    // Replaces the notification by one with the to-do's current data (or makes one), or removes it when the
    // alert has no offset.
    void updateExistingLocalNotification();
    void deleteExistingLocalNotification();
    // The alert's notification: the one held, else the first scheduled, else the first delivered one whose
    // identifier is this alert's. Null when there is none.
    UserNotificationPtr localNotificationObject();
    void setLocalNotificationObject(UserNotificationPtr notification) { m_notification = std::move(notification); }
    void createBadgeNotificationWithDueDate(const QDateTime &) {}
    // The moment the notification is due: the to-do's start moved by the offset; invalid without a start.
    QDateTime deliveryDate() const;

    // Called by the save listener for the inserted, updated and deleted sets of a main-context save.
    void handleContextSaveNotificationWithKey(const QString &key);
    void handleCloudKitInserted() override { handleCloudInsertedNotification(); }
    void handleCloudKitUpdated() override { handleCloudUpdateNotification(); }
    void handleCloudKitDeleted() override { handleCloudDeleteNotification(); }
    // Called for an alert an import of the older shared cloud store touched, with that store's change key.
    void handleCloudNotification(const QString &key);
    void handleCloudInsertedNotification();
    void handleCloudUpdateNotification();
    void handleCloudDeleteNotification() { deleteExistingLocalNotification(); }

    // After a restore: every alert with an identifier gets its notification again under that identifier;
    // the context is saved.
    static void scheduleAllNotificationsWithContext(platform::store::ManagedObjectContext *context);
    // The one alert with that identifier; null when there is none or more than one.
    static ToDoAlert *findAlertByAlertGUID(const QString &identifier, platform::store::ManagedObjectContext *context);
    static void displayAllLocalNotifications() { ToDoAlert_Mac::shared().displayAllLocalNotifications_Mac(); }

    QVariant alertInterval() const;
    void setAlertInterval(const QVariant &value);
    QVariant localNotification() const;
    void setLocalNotification(const QVariant &value);
    QString alertIdentifier() const;
    void setAlertIdentifier(const QString &value);
    qint64 alertStatus() const;
    void setAlertStatus(qint64 value);

    ToDo *todo() const;
    void setTodo(ToDo *object);

private:
    UserNotificationPtr m_notification;
};

// The stored form of an alert's notification identifier. Values written before identifiers were strings hold
// an archived notification object: such a value reads as a fresh identifier.
class NotificationTransformer : public platform::store::ValueTransformer
{
public:
    static inline const QString TransformerName = QStringLiteral("NotificationTransformer");
    // The class names an archived notification object carries under "$class".
    static inline const QString ArchivedClassKey = QStringLiteral("$class");
    static inline const QStringList NotificationClassNames = {QStringLiteral("UILocalNotification"),
                                                              QStringLiteral("NSUserNotification")};

    QByteArray transformedValue(const QVariant &value) const override;
    QVariant reverseTransformedValue(const QByteArray &data) const override;
    static bool allowsReverseTransformation() { return true; }
};
