#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>

class Person;

// One e-mail address of a contact.
class Emails : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("Emails");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString emailAddress() const;
    void setEmailAddress(const QString &value);
    QString label() const;
    void setLabel(const QString &value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);

    Person *person() const;
    void setPerson(Person *object);
};
