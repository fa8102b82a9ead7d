#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>

class Log;

// A title that log entries can carry.
class LogTitle : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("LogTitle");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString title() const;
    void setTitle(const QString &value);
    QString normalizedTitle() const;
    void setNormalizedTitle(const QString &value);
    qint64 displayOrder() const;
    void setDisplayOrder(qint64 value);

    QList<Log *> log() const;
    void setLog(const QList<Log *> &objects);
    void addLogObject(Log *object);
    void removeLogObject(Log *object);
};
