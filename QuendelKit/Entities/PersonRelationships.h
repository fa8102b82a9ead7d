#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>

class Person;

// A related person of a contact (kept in the schema; nothing creates it).
class PersonRelationships : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("PersonRelationships");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString relationshipLabel() const;
    void setRelationshipLabel(const QString &value);
    QString relatedName() const;
    void setRelatedName(const QString &value);
    QString relatedIPersonGUID() const;
    void setRelatedIPersonGUID(const QString &value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);

    Person *person() const;
    void setPerson(Person *object);
};
