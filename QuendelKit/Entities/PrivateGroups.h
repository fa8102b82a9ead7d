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

    // Every group by display order; empty when the fetch fails. Runs on the context's queue.
    static QList<PrivateGroups *> loadAllPrivateGroupsWithMOC(platform::store::ManagedObjectContext *context);
    // A new group with the contacts, saved; null when a group of exactly that name exists.
    static PrivateGroups *createNewPrivateContactsGroupWithName(const QString &name, const QList<Person *> &contacts,
                                                                platform::store::ManagedObjectContext *context);
    // A new group after the others (order 1 when it is the first), with the contacts; no name test, nothing
    // saved.
    static PrivateGroups *actuallyCreateNewPrivateContactsGroupWithName(const QString &name,
                                                                        const QList<Person *> &contacts,
                                                                        platform::store::ManagedObjectContext *context);
    // A new empty group at order 0; nothing saved.
    static PrivateGroups *createPrivateGroupWithName(const QString &name, platform::store::ManagedObjectContext *context);
    // Makes the members equal to the list and saves; a failed save is only logged.
    void updateGroupWithContactsList(const QList<Person *> &contacts);

    QString groupName() const;
    void setGroupName(const QString &value);
    qint64 groupDisplayOrder() const;
    void setGroupDisplayOrder(qint64 value);

    QList<Person *> members() const;
    void setMembers(const QList<Person *> &objects);
    void addMembersObject(Person *object);
    void removeMembersObject(Person *object);
};
