#include "QuendelKit/Entities/FieldFormatters.h"

#include <QRegularExpression>

#include <cmath>

namespace {

bool isBlank(QChar c)
{
    return c.isSpace() || c == QChar(0x00A0) || c == QChar(0x202F) || c == QChar(0x2009);
}

// The number of fraction digits an amount shows: its own, at most the maximum.
int shownFractionDigits(const QString &plain)
{
    const qsizetype point = plain.indexOf(QLatin1Char('.'));
    if (point < 0)
        return 0;
    return int(std::min<qsizetype>(plain.size() - point - 1, NumberFormatter::MaximumFractionDigits));
}

// The amount rounded to the shown digits, without the zeros the rounding left at the end.
QString roundedText(double value, int digits, const QLocale &locale, bool currency, const QString &symbol)
{
    QString plain = QString::number(value, 'f', digits);
    int shown = digits;
    while (shown > NumberFormatter::MinimumFractionDigits && plain.endsWith(QLatin1Char('0'))) {
        plain.chop(1);
        --shown;
    }
    return currency ? locale.toCurrencyString(value, symbol, shown) : locale.toString(value, 'f', shown);
}

} // namespace

QString NumberFormatter::canonicalDecimal(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral("^([-+]?)([0-9]*)(?:\\.([0-9]*))?$"));
    const QRegularExpressionMatch match = plain.match(text);
    if (!match.hasMatch())
        return QString();
    QString integer = match.captured(2);
    QString fraction = match.captured(3);
    if (integer.isEmpty() && fraction.isEmpty())
        return QString();
    while (integer.size() > 1 && integer.startsWith(QLatin1Char('0')))
        integer.remove(0, 1);
    if (integer.isEmpty())
        integer = QStringLiteral("0");
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    QString result = integer;
    if (!fraction.isEmpty())
        result += QLatin1Char('.') + fraction;
    const bool zero = result == QLatin1String("0");
    if (match.captured(1) == QLatin1String("-") && !zero)
        result.prepend(QLatin1Char('-'));
    return result;
}

QString NumberFormatter::stringFromNumber(const QString &plainDecimal) const
{
    const QString canonical = canonicalDecimal(plainDecimal.trimmed());
    if (canonical.isNull())
        return QString();
    bool ok = false;
    const double value = canonical.toDouble(&ok);
    if (!ok)
        return QString();
    const QLocale loc = locale();
    return roundedText(value, shownFractionDigits(canonical), loc, m_style == Style::Currency, currencySymbol());
}

QString NumberFormatter::numberFromString(const QString &input) const
{
    const QLocale loc = locale();
    QString text = input;
    bool negative = false;
    if (m_lenient) {
        for (const QString &mark : {currencySymbol(), currencyCode()}) {
            if (!mark.isEmpty())
                text.remove(mark);
        }
        text.remove(QRegularExpression(QStringLiteral("[\\s\\x{00A0}\\x{202F}\\x{2009}]")));
        if (text.startsWith(QLatin1Char('(')) && text.endsWith(QLatin1Char(')'))) {
            negative = true;
            text = text.mid(1, text.size() - 2);
        }
    } else {
        while (!text.isEmpty() && isBlank(text.front()))
            text.remove(0, 1);
        while (!text.isEmpty() && isBlank(text.back()))
            text.chop(1);
    }
    const QString minus = loc.negativeSign();
    if (text.startsWith(minus) || text.startsWith(QLatin1Char('-')) || text.startsWith(QChar(0x2212))) {
        negative = !negative;
        text.remove(0, text.startsWith(minus) ? minus.size() : 1);
    } else if (text.startsWith(loc.positiveSign()) || text.startsWith(QLatin1Char('+'))) {
        text.remove(0, 1);
    }
    if (m_lenient && (text.endsWith(minus) || text.endsWith(QLatin1Char('-')))) {
        negative = !negative;
        text.chop(1);
    }

    const QString group = loc.groupSeparator();
    const QString decimal = loc.decimalPoint();
    const bool blankGroup = group.size() == 1 && isBlank(group.front());
    QString integer;
    QString fraction;
    bool seenPoint = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isDigit()) {
            const int digit = c.digitValue();
            if (digit < 0)
                return QString();
            (seenPoint ? fraction : integer) += QChar(u'0' + digit);
        } else if (!seenPoint && text.mid(i, decimal.size()) == decimal) {
            seenPoint = true;
            i += decimal.size() - 1;
        } else if (!seenPoint && !integer.isEmpty() && (text.mid(i, group.size()) == group || (blankGroup && isBlank(c)))) {
            i += (text.mid(i, group.size()) == group ? group.size() : 1) - 1;
        } else {
            return QString();
        }
    }
    if (integer.isEmpty() && fraction.isEmpty())
        return QString();
    return canonicalDecimal((negative ? QStringLiteral("-") : QString()) + (integer.isEmpty() ? QStringLiteral("0") : integer) +
                            (fraction.isEmpty() ? QString() : QLatin1Char('.') + fraction));
}

QString DateFormatter::mediumDate(const QDateTime &date, const QLocale &locale)
{
    if (!date.isValid())
        return QString();
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*"));
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.remove(weekday);
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return locale.toString(date.toLocalTime().date(), format.trimmed());
}

QString DateFormatter::stringFromDate(const QDateTime &date) const
{
    if (!date.isValid())
        return QString();
    if (m_style == Style::Short)
        return QLocale().toString(date.toLocalTime().date(), QLocale::ShortFormat);
    return mediumDate(date);
}
