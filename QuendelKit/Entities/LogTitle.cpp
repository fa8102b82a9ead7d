#include "QuendelKit/Entities/LogTitle.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Log.h"

using namespace entity_values;

platform::store::FetchRequest LogTitle::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString LogTitle::title() const
{
    return string(*this, QStringLiteral("title"));
}
void LogTitle::setTitle(const QString &value)
{
    setValue(QStringLiteral("title"), fromString(value));
}
QString LogTitle::normalizedTitle() const
{
    return string(*this, QStringLiteral("normalizedTitle"));
}
void LogTitle::setNormalizedTitle(const QString &value)
{
    setValue(QStringLiteral("normalizedTitle"), fromString(value));
}
qint64 LogTitle::displayOrder() const
{
    return integer(*this, QStringLiteral("displayOrder"));
}
void LogTitle::setDisplayOrder(qint64 value)
{
    setValue(QStringLiteral("displayOrder"), QVariant(value));
}

QList<Log *> LogTitle::log() const
{
    return toMany<Log>(*this, QStringLiteral("log"));
}
void LogTitle::setLog(const QList<Log *> &objects)
{
    setRelatedObjects(QStringLiteral("log"), objectList(objects));
}
void LogTitle::addLogObject(Log *object)
{
    addRelatedObject(QStringLiteral("log"), object);
}
void LogTitle::removeLogObject(Log *object)
{
    removeRelatedObject(QStringLiteral("log"), object);
}
