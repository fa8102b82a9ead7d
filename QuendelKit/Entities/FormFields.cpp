#include "QuendelKit/Entities/FormFields.h"

#include "QuendelKit/Entities/CurrencyData.h"
#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FormFieldType.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/UserFields.h"

using namespace entity_values;

platform::store::FetchRequest FormFields::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString FormFields::formFieldName() const
{
    return string(*this, QStringLiteral("formFieldName"));
}
void FormFields::setFormFieldName(const QString &value)
{
    setValue(QStringLiteral("formFieldName"), fromString(value));
}
QString FormFields::formFieldDefaultValue() const
{
    return string(*this, QStringLiteral("formFieldDefaultValue"));
}
void FormFields::setFormFieldDefaultValue(const QString &value)
{
    setValue(QStringLiteral("formFieldDefaultValue"), fromString(value));
}
QString FormFields::formFieldProperty() const
{
    return string(*this, QStringLiteral("formFieldProperty"));
}
void FormFields::setFormFieldProperty(const QString &value)
{
    setValue(QStringLiteral("formFieldProperty"), fromString(value));
}
qint64 FormFields::formFieldDisplayOrder() const
{
    return integer(*this, QStringLiteral("formFieldDisplayOrder"));
}
void FormFields::setFormFieldDisplayOrder(qint64 value)
{
    setValue(QStringLiteral("formFieldDisplayOrder"), QVariant(value));
}
bool FormFields::isAlwaysVisible() const
{
    return boolean(*this, QStringLiteral("isAlwaysVisible"));
}
void FormFields::setIsAlwaysVisible(bool value)
{
    setValue(QStringLiteral("isAlwaysVisible"), QVariant(value));
}

FormFieldType *FormFields::fieldtype() const
{
    return toOne<FormFieldType>(*this, QStringLiteral("fieldtype"));
}
void FormFields::setFieldtype(FormFieldType *object)
{
    setRelatedObject(QStringLiteral("fieldtype"), object);
    updateFieldValidationTypeWithField(object);
}

QList<FormFieldsList *> FormFields::fieldslist() const
{
    return toMany<FormFieldsList>(*this, QStringLiteral("fieldslist"));
}
void FormFields::setFieldslist(const QList<FormFieldsList *> &objects)
{
    setRelatedObjects(QStringLiteral("fieldslist"), objectList(objects));
}
void FormFields::addFieldslistObject(FormFieldsList *object)
{
    addRelatedObject(QStringLiteral("fieldslist"), object);
}
void FormFields::removeFieldslistObject(FormFieldsList *object)
{
    removeRelatedObject(QStringLiteral("fieldslist"), object);
}

FormFieldsList *FormFields::listdefault() const
{
    return toOne<FormFieldsList>(*this, QStringLiteral("listdefault"));
}
void FormFields::setListdefault(FormFieldsList *object)
{
    setRelatedObject(QStringLiteral("listdefault"), object);
}

CurrencyData *FormFields::currencydefault() const
{
    return toOne<CurrencyData>(*this, QStringLiteral("currencydefault"));
}
void FormFields::setCurrencydefault(CurrencyData *object)
{
    setRelatedObject(QStringLiteral("currencydefault"), object);
}

QList<UserFields *> FormFields::userfields() const
{
    return toMany<UserFields>(*this, QStringLiteral("userfields"));
}
void FormFields::setUserfields(const QList<UserFields *> &objects)
{
    setRelatedObjects(QStringLiteral("userfields"), objectList(objects));
}
void FormFields::addUserfieldsObject(UserFields *object)
{
    addRelatedObject(QStringLiteral("userfields"), object);
}
void FormFields::removeUserfieldsObject(UserFields *object)
{
    removeRelatedObject(QStringLiteral("userfields"), object);
}
