#include "QuendelKit/Entities/Emails.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest Emails::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString Emails::emailAddress() const
{
    return string(*this, QStringLiteral("emailAddress"));
}
void Emails::setEmailAddress(const QString &value)
{
    setValue(QStringLiteral("emailAddress"), fromString(value));
}
QString Emails::label() const
{
    return string(*this, QStringLiteral("label"));
}
void Emails::setLabel(const QString &value)
{
    setValue(QStringLiteral("label"), fromString(value));
}
QString Emails::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void Emails::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}

Person *Emails::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void Emails::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}
