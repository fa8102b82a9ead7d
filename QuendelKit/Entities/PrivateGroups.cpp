#include "QuendelKit/Entities/PrivateGroups.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/store/SortDescriptor.h"

using namespace entity_values;

platform::store::FetchRequest PrivateGroups::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString PrivateGroups::groupName() const
{
    return string(*this, QStringLiteral("groupName"));
}
void PrivateGroups::setGroupName(const QString &value)
{
    setValue(QStringLiteral("groupName"), fromString(value));
}
qint64 PrivateGroups::groupDisplayOrder() const
{
    return integer(*this, QStringLiteral("groupDisplayOrder"));
}
void PrivateGroups::setGroupDisplayOrder(qint64 value)
{
    setValue(QStringLiteral("groupDisplayOrder"), QVariant(value));
}

QList<Person *> PrivateGroups::members() const
{
    return toMany<Person>(*this, QStringLiteral("members"));
}
void PrivateGroups::setMembers(const QList<Person *> &objects)
{
    setRelatedObjects(QStringLiteral("members"), objectList(objects));
}
void PrivateGroups::addMembersObject(Person *object)
{
    addRelatedObject(QStringLiteral("members"), object);
}
void PrivateGroups::removeMembersObject(Person *object)
{
    removeRelatedObject(QStringLiteral("members"), object);
}

QList<PrivateGroups *> PrivateGroups::loadAllPrivateGroupsWithMOC(platform::store::ManagedObjectContext *context)
{
    QList<PrivateGroups *> groups;
    if (!context)
        return groups;
    context->performAndWait([&] {
        platform::store::FetchRequest request = fetchRequest();
        request.setSortDescriptors({platform::store::SortDescriptor(QStringLiteral("groupDisplayOrder"), true)});
        for (platform::store::ManagedObject *object : context->executeFetchRequest(request)) {
            if (auto *group = dynamic_cast<PrivateGroups *>(object))
                groups.append(group);
        }
    });
    return groups;
}

PrivateGroups *PrivateGroups::createNewPrivateContactsGroupWithName(const QString &name, const QList<Person *> &contacts,
                                                                    platform::store::ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    for (const PrivateGroups *group : loadAllPrivateGroupsWithMOC(context)) {
        if (group->groupName() == name)
            return nullptr;
    }
    PrivateGroups *group = actuallyCreateNewPrivateContactsGroupWithName(name, contacts, context);
    platform::core::QDError error;
    if (!context->save(&error))
        QDLogError(QStringLiteral("Unresolved error %1, %2").arg(error.toString(), error.domain()));
    return group;
}

PrivateGroups *PrivateGroups::actuallyCreateNewPrivateContactsGroupWithName(const QString &name,
                                                                            const QList<Person *> &contacts,
                                                                            platform::store::ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    const QList<PrivateGroups *> existing = loadAllPrivateGroupsWithMOC(context);
    auto *group = context->insertNewObject<PrivateGroups>(EntityName);
    if (!group)
        return nullptr;
    group->setGroupName(name);
    group->setGroupDisplayOrder(existing.isEmpty() ? 1 : existing.last()->groupDisplayOrder() + 1);
    for (Person *person : contacts)
        group->addMembersObject(person);
    return group;
}

PrivateGroups *PrivateGroups::createPrivateGroupWithName(const QString &name,
                                                         platform::store::ManagedObjectContext *context)
{
    auto *group = context ? context->insertNewObject<PrivateGroups>(EntityName) : nullptr;
    if (group) {
        group->setGroupName(name);
        group->setGroupDisplayOrder(0);
    }
    return group;
}

void PrivateGroups::updateGroupWithContactsList(const QList<Person *> &contacts)
{
    const QList<Person *> current = members();
    for (Person *member : current) {
        if (!contacts.contains(member))
            removeMembersObject(member);
    }
    for (Person *person : contacts) {
        if (!current.contains(person))
            addMembersObject(person);
    }
    if (platform::store::ManagedObjectContext *context = managedObjectContext()) {
        platform::core::QDError error;
        if (!context->save(&error))
            QDLogError(QStringLiteral("Unresolved error %1, %2").arg(error.toString(), error.domain()));
    }
}
