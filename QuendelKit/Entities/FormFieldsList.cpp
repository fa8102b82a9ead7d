#include "QuendelKit/Entities/FormFieldsList.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/UserFields.h"

using namespace entity_values;

platform::store::FetchRequest FormFieldsList::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString FormFieldsList::title() const
{
    return string(*this, QStringLiteral("title"));
}
void FormFieldsList::setTitle(const QString &value)
{
    setValue(QStringLiteral("title"), fromString(value));
}
QString FormFieldsList::fieldListAlternateValue() const
{
    return string(*this, QStringLiteral("fieldListAlternateValue"));
}
void FormFieldsList::setFieldListAlternateValue(const QString &value)
{
    setValue(QStringLiteral("fieldListAlternateValue"), fromString(value));
}
QByteArray FormFieldsList::fieldListData() const
{
    return data(*this, QStringLiteral("fieldListData"));
}
void FormFieldsList::setFieldListData(const QByteArray &value)
{
    setValue(QStringLiteral("fieldListData"), fromData(value));
}
qint64 FormFieldsList::fieldsListDisplayOrder() const
{
    return integer(*this, QStringLiteral("fieldsListDisplayOrder"));
}
void FormFieldsList::setFieldsListDisplayOrder(qint64 value)
{
    setValue(QStringLiteral("fieldsListDisplayOrder"), QVariant(value));
}

FormFields *FormFieldsList::targetfield() const
{
    return toOne<FormFields>(*this, QStringLiteral("targetfield"));
}
void FormFieldsList::setTargetfield(FormFields *object)
{
    setRelatedObject(QStringLiteral("targetfield"), object);
}

FormFields *FormFieldsList::targetdefault() const
{
    return toOne<FormFields>(*this, QStringLiteral("targetdefault"));
}
void FormFieldsList::setTargetdefault(FormFields *object)
{
    setRelatedObject(QStringLiteral("targetdefault"), object);
}

QList<UserFields *> FormFieldsList::userfield() const
{
    return toMany<UserFields>(*this, QStringLiteral("userfield"));
}
void FormFieldsList::setUserfield(const QList<UserFields *> &objects)
{
    setRelatedObjects(QStringLiteral("userfield"), objectList(objects));
}
void FormFieldsList::addUserfieldObject(UserFields *object)
{
    addRelatedObject(QStringLiteral("userfield"), object);
}
void FormFieldsList::removeUserfieldObject(UserFields *object)
{
    removeRelatedObject(QStringLiteral("userfield"), object);
}
