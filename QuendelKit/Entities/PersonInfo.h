#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QString>
#include <QVariantMap>

class Person;

// Further fields of a contact; at most one per contact.
class PersonInfo : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("PersonInfo");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString middleName() const;
    void setMiddleName(const QString &value);
    QString nickname() const;
    void setNickname(const QString &value);
    QString jobDescription() const;
    void setJobDescription(const QString &value);
    QString normalizedJobDescription() const;
    void setNormalizedJobDescription(const QString &value);
    QString departmentName() const;
    void setDepartmentName(const QString &value);
    QString phoneticFirstName() const;
    void setPhoneticFirstName(const QString &value);
    QString phoneticMiddleName() const;
    void setPhoneticMiddleName(const QString &value);
    QString phoneticLastName() const;
    void setPhoneticLastName(const QString &value);
    QString previousFamilyName() const;
    void setPreviousFamilyName(const QString &value);
    QDateTime birthday() const;
    void setBirthday(const QDateTime &value);

    Person *person() const;
    void setPerson(Person *object);

    // Refreshing a field from the linked address-book record (its properties by name): the field takes
    // the record's value when the two differ and are not both empty, even an empty one. true when changed.
    bool checkAndUpdateStringProperty(const QString &attribute, const QString &property, const QVariantMap &record);
    // The same from a system contact (its values by key), which never clears a field.
    bool checkAndUpdateStringPropertyWithContact(const QString &attribute, const QString &key, const QVariantMap &contact);
};
