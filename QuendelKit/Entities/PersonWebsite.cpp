#include "QuendelKit/Entities/PersonWebsite.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest PersonWebsite::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString PersonWebsite::websiteURL() const
{
    return string(*this, QStringLiteral("websiteURL"));
}
void PersonWebsite::setWebsiteURL(const QString &value)
{
    setValue(QStringLiteral("websiteURL"), fromString(value));
}
QString PersonWebsite::websiteLabel() const
{
    return string(*this, QStringLiteral("websiteLabel"));
}
void PersonWebsite::setWebsiteLabel(const QString &value)
{
    setValue(QStringLiteral("websiteLabel"), fromString(value));
}
QString PersonWebsite::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void PersonWebsite::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}

Person *PersonWebsite::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void PersonWebsite::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}
