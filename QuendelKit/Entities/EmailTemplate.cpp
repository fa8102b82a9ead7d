#include "QuendelKit/Entities/EmailTemplate.h"

#include "QuendelKit/Entities/EntityValues.h"

using namespace entity_values;

platform::store::FetchRequest EmailTemplate::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString EmailTemplate::templateName() const
{
    return string(*this, QStringLiteral("templateName"));
}
void EmailTemplate::setTemplateName(const QString &value)
{
    setValue(QStringLiteral("templateName"), fromString(value));
}
qint64 EmailTemplate::displayOrder() const
{
    return integer(*this, QStringLiteral("displayOrder"));
}
void EmailTemplate::setDisplayOrder(qint64 value)
{
    setValue(QStringLiteral("displayOrder"), QVariant(value));
}
QVariant EmailTemplate::templateProperties() const
{
    return value(QStringLiteral("templateProperties"));
}
void EmailTemplate::setTemplateProperties(const QVariant &value)
{
    setValue(QStringLiteral("templateProperties"), value);
}
