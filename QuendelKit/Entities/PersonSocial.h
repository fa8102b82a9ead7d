#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>

class Person;

// A social-network link of a contact (kept in the schema; nothing creates it).
class PersonSocial : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("PersonSocial");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString serviceName() const;
    void setServiceName(const QString &value);
    QString socialURL() const;
    void setSocialURL(const QString &value);
    QString userIdentifier() const;
    void setUserIdentifier(const QString &value);
    QString userName() const;
    void setUserName(const QString &value);
    QString localIdentifier() const;
    void setLocalIdentifier(const QString &value);
    qint64 serviceType() const;
    void setServiceType(qint64 value);

    Person *person() const;
    void setPerson(Person *object);
};
