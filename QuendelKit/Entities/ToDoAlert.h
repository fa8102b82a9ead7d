#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>
#include <QVariant>

class ToDo;

// One alert of a to-do.
class ToDoAlert : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("ToDoAlert");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

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
};
