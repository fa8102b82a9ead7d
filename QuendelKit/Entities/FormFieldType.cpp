#include "QuendelKit/Entities/FormFieldType.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/FormFields.h"

using namespace entity_values;

platform::store::FetchRequest FormFieldType::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString FormFieldType::fieldTypeName() const
{
    return string(*this, QStringLiteral("fieldTypeName"));
}
void FormFieldType::setFieldTypeName(const QString &value)
{
    setValue(QStringLiteral("fieldTypeName"), fromString(value));
}

QList<FormFields *> FormFieldType::formfield() const
{
    return toMany<FormFields>(*this, QStringLiteral("formfield"));
}
void FormFieldType::setFormfield(const QList<FormFields *> &objects)
{
    setRelatedObjects(QStringLiteral("formfield"), objectList(objects));
}
void FormFieldType::addFormfieldObject(FormFields *object)
{
    addRelatedObject(QStringLiteral("formfield"), object);
}
void FormFieldType::removeFormfieldObject(FormFields *object)
{
    removeRelatedObject(QStringLiteral("formfield"), object);
}
