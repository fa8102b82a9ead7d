#pragma once

#include "QuendelKit/Entities/FieldFormatters.h"

#include <QSet>
#include <QString>
#include <QVariant>

// How a custom field's definition formats and checks what the user types for it, by the field's type. Its
// formatters follow the current locale; each is made on first use and kept.
class FieldValidation
{
public:
    enum ValidationType : qint32 { Text = 1, Number = 2, Currency = 3, Date = 4, List = 5 };

    qint32 validationType() const { return m_validationType; }
    void setValidationType(qint32 type) { m_validationType = type; }
    // True when the current locale writes its currency symbol after the amount; computed when the currency
    // formatter is made.
    bool isCurrencySymbolAtStart() const { return m_isCurrencySymbolAtStart; }
    void setIsCurrencySymbolAtStart(bool value) { m_isCurrencySymbolAtStart = value; }

    NumberFormatter &currencyFormatter();
    NumberFormatter &numberFormatter();
    DateFormatter &dateFormatter();
    // The characters a currency text may hold: digits, the currency symbol and the separators.
    const QSet<QChar> &currencySet();

    bool checkCurrencySymbolAtStart();
    // False only for a non-empty text the field's number (or currency) formatter cannot read, and only for
    // a field of that type.
    bool isNumberValueValidWithString(const QString &text);
    bool isCurrencyValueValidWithString(const QString &text);
    // The plain decimal string of a number as typed; null when it cannot be read.
    QString defaultTextWithNumberString(const QString &text);
    // The amount (plain decimal string) in the current locale's currency form.
    QString defaultTextWithCurrency(const QString &amount);
    // The moment `text` seconds after 1970 in the medium date form; "" without a text.
    QString defaultTextWithDateString(const QString &text);
    QVariant defaultTextWithValue(const QVariant &value) const { return value; }

private:
    qint32 m_validationType = Text;
    bool m_isCurrencySymbolAtStart = false;
    std::optional<NumberFormatter> m_currencyFormatter;
    std::optional<NumberFormatter> m_numberFormatter;
    std::optional<DateFormatter> m_dateFormatter;
    std::optional<QSet<QChar>> m_currencySet;
};
