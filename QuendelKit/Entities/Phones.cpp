#include "QuendelKit/Entities/Phones.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest Phones::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString Phones::phoneNumber() const
{
    return string(*this, QStringLiteral("phoneNumber"));
}
void Phones::setPhoneNumber(const QString &value)
{
    setValue(QStringLiteral("phoneNumber"), fromString(value));
}
QString Phones::label() const
{
    return string(*this, QStringLiteral("label"));
}
void Phones::setLabel(const QString &value)
{
    setValue(QStringLiteral("label"), fromString(value));
}
QString Phones::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void Phones::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}

Person *Phones::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void Phones::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}
