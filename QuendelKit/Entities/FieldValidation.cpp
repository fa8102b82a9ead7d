#include "QuendelKit/Entities/FieldValidation.h"

NumberFormatter &FieldValidation::currencyFormatter()
{
    if (!m_currencyFormatter) {
        m_currencyFormatter.emplace(NumberFormatter::Style::Currency, true);
        m_isCurrencySymbolAtStart = checkCurrencySymbolAtStart();
    }
    return *m_currencyFormatter;
}

NumberFormatter &FieldValidation::numberFormatter()
{
    if (!m_numberFormatter)
        m_numberFormatter.emplace(NumberFormatter::Style::Decimal, false);
    return *m_numberFormatter;
}

DateFormatter &FieldValidation::dateFormatter()
{
    if (!m_dateFormatter)
        m_dateFormatter.emplace(DateFormatter::Style::Medium);
    return *m_dateFormatter;
}

const QSet<QChar> &FieldValidation::currencySet()
{
    if (!m_currencySet) {
        QSet<QChar> set;
        for (char16_t digit = u'0'; digit <= u'9'; ++digit)
            set.insert(QChar(digit));
        const NumberFormatter &formatter = currencyFormatter();
        const QLocale locale = formatter.locale();
        for (const QString &part : {formatter.currencySymbol(), locale.groupSeparator(), locale.decimalPoint()}) {
            for (const QChar c : part)
                set.insert(c);
        }
        m_currencySet = std::move(set);
    }
    return *m_currencySet;
}

bool FieldValidation::checkCurrencySymbolAtStart()
{
    if (!m_currencyFormatter)
        m_currencyFormatter.emplace(NumberFormatter::Style::Currency, true);
    const QString text = m_currencyFormatter->stringFromNumber(QStringLiteral("10"));
    const QString symbol = m_currencyFormatter->currencySymbol();
    return !symbol.isEmpty() && text.trimmed().endsWith(symbol);
}

bool FieldValidation::isNumberValueValidWithString(const QString &text)
{
    if (m_validationType != Number || text.isEmpty())
        return true;
    return !numberFormatter().numberFromString(text).isNull();
}

bool FieldValidation::isCurrencyValueValidWithString(const QString &text)
{
    if (m_validationType != Currency || text.isEmpty())
        return true;
    return !currencyFormatter().numberFromString(text).isNull();
}

QString FieldValidation::defaultTextWithNumberString(const QString &text)
{
    return numberFormatter().numberFromString(text);
}

QString FieldValidation::defaultTextWithCurrency(const QString &amount)
{
    NumberFormatter &formatter = currencyFormatter();
    const QString symbol = formatter.currencySymbol();
    // A locale whose symbol is the single character "." writes the plain amount followed by it.
    if (m_isCurrencySymbolAtStart && symbol == QLatin1String("."))
        return NumberFormatter::canonicalDecimal(amount) + symbol;
    return formatter.stringFromNumber(amount);
}

QString FieldValidation::defaultTextWithDateString(const QString &text)
{
    if (text.isNull())
        return QStringLiteral("");
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(qint64(text.toDouble() * 1000.0), Qt::UTC);
    return dateFormatter().stringFromDate(moment);
}
