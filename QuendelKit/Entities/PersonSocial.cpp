#include "QuendelKit/Entities/PersonSocial.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest PersonSocial::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString PersonSocial::serviceName() const
{
    return string(*this, QStringLiteral("serviceName"));
}
void PersonSocial::setServiceName(const QString &value)
{
    setValue(QStringLiteral("serviceName"), fromString(value));
}
QString PersonSocial::socialURL() const
{
    return string(*this, QStringLiteral("socialURL"));
}
void PersonSocial::setSocialURL(const QString &value)
{
    setValue(QStringLiteral("socialURL"), fromString(value));
}
QString PersonSocial::userIdentifier() const
{
    return string(*this, QStringLiteral("userIdentifier"));
}
void PersonSocial::setUserIdentifier(const QString &value)
{
    setValue(QStringLiteral("userIdentifier"), fromString(value));
}
QString PersonSocial::userName() const
{
    return string(*this, QStringLiteral("userName"));
}
void PersonSocial::setUserName(const QString &value)
{
    setValue(QStringLiteral("userName"), fromString(value));
}
QString PersonSocial::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void PersonSocial::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}
qint64 PersonSocial::serviceType() const
{
    return integer(*this, QStringLiteral("serviceType"));
}
void PersonSocial::setServiceType(qint64 value)
{
    setValue(QStringLiteral("serviceType"), QVariant(value));
}

Person *PersonSocial::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void PersonSocial::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}
