#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>

class Person;

// One website of a contact.
class PersonWebsite : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("PersonWebsite");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString websiteURL() const;
    void setWebsiteURL(const QString &value);
    QString websiteLabel() const;
    void setWebsiteLabel(const QString &value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);

    Person *person() const;
    void setPerson(Person *object);
};
