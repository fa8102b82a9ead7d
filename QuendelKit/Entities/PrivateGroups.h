#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>

class Person;

// A group of contacts kept only in this store.
class PrivateGroups : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("PrivateGroups");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString groupName() const;
    void setGroupName(const QString &value);
    qint64 groupDisplayOrder() const;
    void setGroupDisplayOrder(qint64 value);

    QList<Person *> members() const;
    void setMembers(const QList<Person *> &objects);
    void addMembersObject(Person *object);
    void removeMembersObject(Person *object);
};
