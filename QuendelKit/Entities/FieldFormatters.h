#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

// Numbers and amounts of custom fields, written and read in a locale's own form: 0 to 2 fraction digits,
// grouping, the locale's separators and currency. Values travel as plain decimal strings ("-1234.5": an
// optional minus, digits, an optional point and digits; no grouping, no trailing fraction zeros).
class NumberFormatter
{
public:
    enum class Style { Decimal, Currency };

    // Without a locale the formatter follows the current default locale at each use.
    explicit NumberFormatter(Style style, bool lenient, std::optional<QLocale> locale = std::nullopt)
        : m_style(style), m_lenient(lenient), m_locale(std::move(locale))
    {
    }

    Style style() const { return m_style; }
    bool isLenient() const { return m_lenient; }
    QLocale locale() const { return m_locale.value_or(QLocale()); }
    void setLocale(std::optional<QLocale> locale) { m_locale = std::move(locale); }
    static constexpr int MinimumFractionDigits = 0;
    static constexpr int MaximumFractionDigits = 2;

    // The text of an amount given as a plain decimal string; empty for a value that is not one.
    QString stringFromNumber(const QString &plainDecimal) const;
    // The plain decimal string of a text in this formatter's form; null when it cannot be read. A lenient
    // currency formatter also reads text without or with another placement of the symbol or code, and a
    // bracketed amount as a negative one.
    QString numberFromString(const QString &text) const;

    QString currencySymbol() const { return locale().currencySymbol(QLocale::CurrencySymbol); }
    QString currencyCode() const { return locale().currencySymbol(QLocale::CurrencyIsoCode); }

    // A plain decimal string with trailing fraction zeros and leading integer zeros dropped; null when the
    // text is not a plain decimal.
    static QString canonicalDecimal(const QString &text);

private:
    Style m_style;
    bool m_lenient;
    std::optional<QLocale> m_locale;
};

// Dates of custom fields in the user's locale and time zone.
class DateFormatter
{
public:
    enum class Style { Short, Medium };

    explicit DateFormatter(Style style = Style::Medium) : m_style(style) {}
    Style dateStyle() const { return m_style; }
    void setDateStyle(Style style) { m_style = style; }
    // Empty for no date.
    QString stringFromDate(const QDateTime &date) const;

    // The medium form: the abbreviated month name, day and year in the locale's order ("Jan 5, 2024").
    static QString mediumDate(const QDateTime &date, const QLocale &locale = QLocale());

private:
    Style m_style;
};
