#include "QuendelKit/Entities/ExportText.h"

#include <QLocale>
#include <QRegularExpression>

QString ExportText::escapeHTML(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '&':
            escaped += QLatin1String("&amp;");
            break;
        case '<':
            escaped += QLatin1String("&lt;");
            break;
        case '>':
            escaped += QLatin1String("&gt;");
            break;
        case '"':
            escaped += QLatin1String("&quot;");
            break;
        case '\'':
            escaped += QLatin1String("&#39;");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString ExportText::longDateMediumTime(const QDateTime &when)
{
    if (!when.isValid())
        return QString();
    const QLocale locale;
    const QDateTime local = when.toLocalTime();
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*"));
    static const QRegularExpression zone(QStringLiteral("\\s*\\(?\\bt{1,4}\\b\\)?"));
    QString dateFormat = locale.dateFormat(QLocale::LongFormat);
    dateFormat.remove(weekday);
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(zone);
    return locale.toString(local.date(), dateFormat.trimmed()) + QStringLiteral(", ") +
           locale.toString(local.time(), timeFormat.trimmed());
}

QString ExportText::shortDateShortTime(const QDateTime &when)
{
    if (!when.isValid())
        return QString();
    const QLocale locale;
    const QDateTime local = when.toLocalTime();
    return locale.toString(local.date(), QLocale::ShortFormat) + QStringLiteral(", ") +
           locale.toString(local.time(), QLocale::ShortFormat);
}
