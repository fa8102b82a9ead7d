#pragma once

#include "platform/store/ManagedObject.h"

#include "platform/store/FetchRequest.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

// One local change (insert 0, update 1, delete 2 of one record) waiting to be sent to the cloud. Local bookkeeping: no
// cloud identity, no time stamps.
class QDCloudProcessItem : public platform::store::ManagedObject
{
public:
    static inline const QString EntityName = QStringLiteral("QDCloudProcessItem");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString objectTableName() const;
    void setObjectTableName(const QString &value);
    QString objectCloudID() const;
    void setObjectCloudID(const QString &value);
    QString objectLocalURL() const;
    void setObjectLocalURL(const QString &value);
    qint64 operationType() const;
    void setOperationType(qint64 value);
    qint64 operationStatus() const;
    void setOperationStatus(qint64 value);
    QByteArray properties() const;
    void setProperties(const QByteArray &value);
    QVariant operationErrorDetails() const;
    void setOperationErrorDetails(const QVariant &value);
    QDateTime dateCreated() const;
    void setDateCreated(const QDateTime &value);
    QDateTime dateCompleted() const;
    void setDateCompleted(const QDateTime &value);
};
