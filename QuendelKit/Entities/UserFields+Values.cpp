#include "QuendelKit/Entities/CurrencyData.h"
#include "QuendelKit/Entities/FormFieldType.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/UserFields.h"

#include "platform/core/Clock.h"
#include "platform/core/NotificationCenter.h"

UserFields *UserFields::userFieldForFormField(const FormFields *field, const Person *person)
{
    if (!field)
        return nullptr;
    for (UserFields *value : field->userfields()) {
        if (value->person() == person)
            return value;
    }
    return nullptr;
}

DateFormatter &UserFields::dateFormatter()
{
    if (!m_dateFormatter)
        m_dateFormatter.emplace(DateFormatter::Style::Medium);
    return *m_dateFormatter;
}

NumberFormatter &UserFields::numberFormatter()
{
    if (!m_numberFormatter)
        m_numberFormatter.emplace(NumberFormatter::Style::Decimal, false);
    return *m_numberFormatter;
}

QString UserFields::getFormattedStringValue()
{
    const FormFields *field = formfield();
    const FormFieldType *type = field ? field->fieldtype() : nullptr;
    const QString typeName = type ? type->fieldTypeName() : QString();
    if (typeName == FormFieldType::CurrencyTypeName) {
        CurrencyData *amount = currencyvalue();
        // A value without an amount shows nothing rather than a made-up zero.
        if (!amount || amount->currencyValue().isNull())
            return QString();
        return amount->currencyFormatter().stringFromNumber(amount->currencyValue());
    }
    if (typeName == FormFieldType::DateTypeName)
        return dateFormatter().stringFromDate(dateValue());
    if (typeName == FormFieldType::NumberTypeName)
        return numberFormatter().numberFromString(fieldValue());
    if (typeName == FormFieldType::ListTypeName) {
        const FormFieldsList *item = listvalue();
        return item ? item->title() : QString();
    }
    return fieldValue();
}

void UserFields::setupDefaultValue()
{
    FormFields *field = formfield();
    const FormFieldType *type = field ? field->fieldtype() : nullptr;
    if (!type) {
        setFieldValue(field && !field->formFieldDefaultValue().isNull() ? field->formFieldDefaultValue()
                                                                          : QStringLiteral(""));
        return;
    }
    if (type->fieldTypeName() == FormFieldType::CurrencyTypeName) {
        if (currencyvalue())
            return;
        platform::store::ManagedObjectContext *context = managedObjectContext();
        auto *amount = context ? context->insertNewObject<CurrencyData>(CurrencyData::EntityName) : nullptr;
        if (!amount)
            return;
        setCurrencyvalue(amount);
        if (const CurrencyData *fallback = field->currencydefault()) {
            amount->setLocaleIdentifier(fallback->localeIdentifier());
            if (!fallback->localeIdentifier().isEmpty())
                amount->setCurrencyFormatter(
                    NumberFormatter(NumberFormatter::Style::Currency, true, QLocale(fallback->localeIdentifier())));
            amount->setCurrencyCode(fallback->currencyCode());
            amount->setCurrencyValue(fallback->currencyValue());
        } else {
            amount->setLocaleIdentifier(QLocale().name());
            amount->setCurrencyCode(amount->currencyFormatter().currencyCode());
            amount->setCurrencyValue(QStringLiteral("0"));
        }
    } else if (type->isFieldTypeNumber()) {
        const QString fallback = field->formFieldDefaultValue();
        setFieldValue(fallback.isNull() ? QStringLiteral("0") : fallback);
    } else if (type->isFieldTypeList()) {
        if (FormFieldsList *item = field->listdefault()) {
            setListvalue(item);
            setFieldValue(item->title());
        }
    } else if (type->isFieldTypeDate()) {
        const QString fallback = field->formFieldDefaultValue();
        setDateValue(fallback.isNull()
                         ? platform::core::Clock::now()
                         : QDateTime::fromMSecsSinceEpoch(qint64(fallback.toDouble() * 1000.0), Qt::UTC));
    } else {
        const QString fallback = field->formFieldDefaultValue();
        setFieldValue(fallback.isNull() ? QStringLiteral("") : fallback);
    }
}

void UserFields::saveFieldWithText(const QString &text)
{
    const FormFields *field = formfield();
    const FormFieldType *type = field ? field->fieldtype() : nullptr;
    if (!type)
        return;
    if (type->isFieldTypeText()) {
        setFieldValue(text);
    } else if (type->isFieldTypeCurrency()) {
        if (CurrencyData *amount = currencyvalue()) {
            const QString read = amount->currencyFormatter().numberFromString(text);
            amount->setCurrencyValue(read.isNull() ? QStringLiteral("0") : read);
        }
    } else if (type->isFieldTypeNumber()) {
        setFieldValue(numberFormatter().numberFromString(text));
    }
}

void UserFields::saveFieldWithListTitle(const QString &title)
{
    FormFieldsList *match = nullptr;
    if (const FormFields *field = formfield()) {
        for (FormFieldsList *item : field->fieldslist()) {
            if (item->title() == title) {
                match = item;
                break;
            }
        }
    }
    setListvalue(match);
    setFieldValue(match ? match->title() : QString());
}

void UserFields::saveFieldWithDate(const QDateTime &date)
{
    const FormFields *field = formfield();
    if (field && field->fieldtype() && field->fieldtype()->fieldTypeName() == FormFieldType::DateTypeName)
        setDateValue(date);
}

void UserFields::prepareForDeletion()
{
    NSManagedObjectQDBase::prepareForDeletion();
    const FormFields *field = formfield();
    if (field && field->formFieldName() == FormFields::PinColorFieldName)
        platform::core::NotificationCenter::defaultCenter().post(UpdatedPinColorUserFieldNotification, this,
                                                                {{NotificationKey, DeletedObjectsKey}});
}
