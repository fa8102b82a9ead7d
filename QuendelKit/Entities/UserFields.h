#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QString>

class CurrencyData;
class FormFields;
class FormFieldsList;
class Person;

// One contact's value of one custom field.
class UserFields : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("UserFields");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString fieldValue() const;
    void setFieldValue(const QString &value);
    QString normalizedFieldValue() const;
    void setNormalizedFieldValue(const QString &value);
    QString noteField() const;
    void setNoteField(const QString &value);
    QDateTime dateValue() const;
    void setDateValue(const QDateTime &value);

    Person *person() const;
    void setPerson(Person *object);
    FormFields *formfield() const;
    void setFormfield(FormFields *object);
    FormFieldsList *listvalue() const;
    void setListvalue(FormFieldsList *object);
    CurrencyData *currencyvalue() const;
    void setCurrencyvalue(CurrencyData *object);
};
