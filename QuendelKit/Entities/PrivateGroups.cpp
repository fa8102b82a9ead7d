#include "QuendelKit/Entities/PrivateGroups.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"

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
