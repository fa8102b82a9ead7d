#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QString>

class Person;

// A dated entry of a contact (kept in the schema; nothing creates it).
class PersonDate : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("PersonDate");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString dateLabel() const;
    void setDateLabel(const QString &value);
    QDateTime dateValue() const;
    void setDateValue(const QDateTime &value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);

    Person *person() const;
    void setPerson(Person *object);
};
