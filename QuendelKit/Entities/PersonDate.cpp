#include "QuendelKit/Entities/PersonDate.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest PersonDate::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString PersonDate::dateLabel() const
{
    return string(*this, QStringLiteral("dateLabel"));
}
void PersonDate::setDateLabel(const QString &value)
{
    setValue(QStringLiteral("dateLabel"), fromString(value));
}
QDateTime PersonDate::dateValue() const
{
    return date(*this, QStringLiteral("dateValue"));
}
void PersonDate::setDateValue(const QDateTime &value)
{
    setValue(QStringLiteral("dateValue"), fromDate(value));
}
QString PersonDate::localIdentifier() const
{
    return string(*this, QStringLiteral("localIdentifier"));
}
void PersonDate::setLocalIdentifier(const QString &value)
{
    setValue(QStringLiteral("localIdentifier"), fromString(value));
}

Person *PersonDate::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void PersonDate::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}
