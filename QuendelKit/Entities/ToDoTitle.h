#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>

class ToDo;

// A title that to-dos can carry.
class ToDoTitle : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("ToDoTitle");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString title() const;
    void setTitle(const QString &value);
    QString normalizedTitle() const;
    void setNormalizedTitle(const QString &value);
    qint64 displayOrder() const;
    void setDisplayOrder(qint64 value);

    QList<ToDo *> todo() const;
    void setTodo(const QList<ToDo *> &objects);
    void addTodoObject(ToDo *object);
    void removeTodoObject(ToDo *object);
};
