#include "QuendelKit/Entities/UserFields.h"

#include "QuendelKit/Entities/CurrencyData.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/Person.h"

using namespace entity_values;

platform::store::FetchRequest UserFields::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString UserFields::fieldValue() const
{
    return string(*this, QStringLiteral("fieldValue"));
}
void UserFields::setFieldValue(const QString &value)
{
    setValue(QStringLiteral("fieldValue"), fromString(value));
}
QString UserFields::normalizedFieldValue() const
{
    return string(*this, QStringLiteral("normalizedFieldValue"));
}
void UserFields::setNormalizedFieldValue(const QString &value)
{
    setValue(QStringLiteral("normalizedFieldValue"), fromString(value));
}
QString UserFields::noteField() const
{
    return string(*this, QStringLiteral("noteField"));
}
void UserFields::setNoteField(const QString &value)
{
    setValue(QStringLiteral("noteField"), fromString(value));
}
QDateTime UserFields::dateValue() const
{
    return date(*this, QStringLiteral("dateValue"));
}
void UserFields::setDateValue(const QDateTime &value)
{
    setValue(QStringLiteral("dateValue"), fromDate(value));
    setPrimitiveValue(QStringLiteral("fieldValue"), fromString(DateFormatter::mediumDate(value)));
}

Person *UserFields::person() const
{
    return toOne<Person>(*this, QStringLiteral("person"));
}
void UserFields::setPerson(Person *object)
{
    setRelatedObject(QStringLiteral("person"), object);
}

FormFields *UserFields::formfield() const
{
    return toOne<FormFields>(*this, QStringLiteral("formfield"));
}
void UserFields::setFormfield(FormFields *object)
{
    setRelatedObject(QStringLiteral("formfield"), object);
}

FormFieldsList *UserFields::listvalue() const
{
    return toOne<FormFieldsList>(*this, QStringLiteral("listvalue"));
}
void UserFields::setListvalue(FormFieldsList *object)
{
    setRelatedObject(QStringLiteral("listvalue"), object);
}

CurrencyData *UserFields::currencyvalue() const
{
    return toOne<CurrencyData>(*this, QStringLiteral("currencyvalue"));
}
void UserFields::setCurrencyvalue(CurrencyData *object)
{
    setRelatedObject(QStringLiteral("currencyvalue"), object);
}
