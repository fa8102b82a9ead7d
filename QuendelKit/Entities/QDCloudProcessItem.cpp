#include "QuendelKit/Entities/QDCloudProcessItem.h"

#include "QuendelKit/Entities/EntityValues.h"

using namespace entity_values;

platform::store::FetchRequest QDCloudProcessItem::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString QDCloudProcessItem::objectTableName() const
{
    return string(*this, QStringLiteral("objectTableName"));
}
void QDCloudProcessItem::setObjectTableName(const QString &value)
{
    setValue(QStringLiteral("objectTableName"), fromString(value));
}
QString QDCloudProcessItem::objectCloudID() const
{
    return string(*this, QStringLiteral("objectCloudID"));
}
void QDCloudProcessItem::setObjectCloudID(const QString &value)
{
    setValue(QStringLiteral("objectCloudID"), fromString(value));
}
QString QDCloudProcessItem::objectLocalURL() const
{
    return string(*this, QStringLiteral("objectLocalURL"));
}
void QDCloudProcessItem::setObjectLocalURL(const QString &value)
{
    setValue(QStringLiteral("objectLocalURL"), fromString(value));
}
qint64 QDCloudProcessItem::operationType() const
{
    return integer(*this, QStringLiteral("operationType"));
}
void QDCloudProcessItem::setOperationType(qint64 value)
{
    setValue(QStringLiteral("operationType"), QVariant(value));
}
qint64 QDCloudProcessItem::operationStatus() const
{
    return integer(*this, QStringLiteral("operationStatus"));
}
void QDCloudProcessItem::setOperationStatus(qint64 value)
{
    setValue(QStringLiteral("operationStatus"), QVariant(value));
}
QByteArray QDCloudProcessItem::properties() const
{
    return data(*this, QStringLiteral("properties"));
}
void QDCloudProcessItem::setProperties(const QByteArray &value)
{
    setValue(QStringLiteral("properties"), fromData(value));
}
QVariant QDCloudProcessItem::operationErrorDetails() const
{
    return value(QStringLiteral("operationErrorDetails"));
}
void QDCloudProcessItem::setOperationErrorDetails(const QVariant &value)
{
    setValue(QStringLiteral("operationErrorDetails"), value);
}
QDateTime QDCloudProcessItem::dateCreated() const
{
    return date(*this, QStringLiteral("dateCreated"));
}
void QDCloudProcessItem::setDateCreated(const QDateTime &value)
{
    setValue(QStringLiteral("dateCreated"), fromDate(value));
}
QDateTime QDCloudProcessItem::dateCompleted() const
{
    return date(*this, QStringLiteral("dateCompleted"));
}
void QDCloudProcessItem::setDateCompleted(const QDateTime &value)
{
    setValue(QStringLiteral("dateCompleted"), fromDate(value));
}
