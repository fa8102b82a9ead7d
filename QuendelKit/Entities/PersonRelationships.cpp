#include "QuendelKit/Entities/PersonRelationships.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest PersonRelationships::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString PersonRelationships::relationshipLabel() const
{
    return string(*this, QStringLiteral("relationshipLabel"));
}
void PersonRelationships::setRelationshipLabel(const QString &value)
{
    setValue(QStringLiteral("relationshipLabel"), fromString(value));
}
QString PersonRelationships::relatedName() const
{
    return string(*this, QStringLiteral("relatedName"));
}
void PersonRelationships::setRelatedName(const QString &value)
{
    setValue(QStringLiteral("relatedName"), fromString(value));
}
QString PersonRelationships::relatedIPersonGUID() const
{
    return string(*this, QStringLiteral("relatedIPersonGUID"));
}
void PersonRelationships::setRelatedIPersonGUID(const QString &value)
{
    setValue(QStringLiteral("relatedIPersonGUID"), fromString(value));
}
QString PersonRelationships::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void PersonRelationships::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}

Person *PersonRelationships::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void PersonRelationships::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}
