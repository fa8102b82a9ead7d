#pragma once

#include "QuendelKit/Entities/FieldFormatters.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QString>

#include <optional>

class FormFields;
class UserFields;

// An amount in a currency, with the locale it is shown in.
class CurrencyData : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("CurrencyData");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // The amount as an exact plain decimal string ("12.5").
    QString currencyValue() const;
    // Also sets the owning value's text to the amount.
    void setCurrencyValue(const QString &value);
    QString currencyCode() const;
    void setCurrencyCode(const QString &value);
    QString localeIdentifier() const;
    void setLocaleIdentifier(const QString &value);

    FormFields *formfield() const;
    void setFormfield(FormFields *object);
    UserFields *userfield() const;
    void setUserfield(UserFields *object);

    // Shows the amount in the currency form of the stored locale (the current locale until one is stored).
    NumberFormatter &currencyFormatter();
    void setCurrencyFormatter(const NumberFormatter &formatter) { m_currencyFormatter = formatter; }

private:
    std::optional<NumberFormatter> m_currencyFormatter;
};
