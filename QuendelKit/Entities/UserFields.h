#pragma once

#include "QuendelKit/Entities/FieldFormatters.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QString>

#include <optional>

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

    // ---- Values (UserFields+Values.cpp) ----

    // Posted when a value of the "Pin Color" field is deleted, with the value as object.
    static inline const QString UpdatedPinColorUserFieldNotification = QStringLiteral("UpdatedPinColorUserField");
    static inline const QString NotificationKey = QStringLiteral("Key");
    static inline const QString DeletedObjectsKey = QStringLiteral("deletedObjects");

    // One of the field's values that belongs to the contact, or null.
    static UserFields *userFieldForFormField(const FormFields *field, const Person *person);

    // The value as the user reads it, by the field's type: an amount in its own currency and locale, a date,
    // a number in the current locale, a list choice's title, or the text.
    QString getFormattedStringValue();
    // Fills a new value from its field's default.
    void setupDefaultValue();
    // Stores typed text by the field's type: text as it is, an amount (0 when unreadable), or a number's
    // plain decimal string (none when unreadable).
    void saveFieldWithText(const QString &text);
    // The field's first choice with that title (or none), and its title as the text.
    void saveFieldWithListTitle(const QString &title);
    // Stores the date when the field is a date field.
    void saveFieldWithDate(const QDateTime &date);

    DateFormatter &dateFormatter();
    NumberFormatter &numberFormatter();

    QString fieldValue() const;
    void setFieldValue(const QString &value);
    QString normalizedFieldValue() const;
    void setNormalizedFieldValue(const QString &value);
    QString noteField() const;
    void setNoteField(const QString &value);
    QDateTime dateValue() const;
    // Also keeps the text in step: the date in the medium form.
    void setDateValue(const QDateTime &value);

    Person *person() const;
    void setPerson(Person *object);
    FormFields *formfield() const;
    void setFormfield(FormFields *object);
    FormFieldsList *listvalue() const;
    void setListvalue(FormFieldsList *object);
    CurrencyData *currencyvalue() const;
    void setCurrencyvalue(CurrencyData *object);

protected:
    void prepareForDeletion() override;

private:
    std::optional<DateFormatter> m_dateFormatter;
    std::optional<NumberFormatter> m_numberFormatter;
};
