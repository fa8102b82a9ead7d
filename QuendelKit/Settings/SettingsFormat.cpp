#include "Settings/SettingsFormat.h"

#include <QLocale>
#include <QRegularExpression>

QString settingsFormatDate(const QDateTime &when, SettingsDateStyle dateStyle)
{
    if (!when.isValid())
        return QString();
    const QLocale locale;
    const QDateTime local = when.toLocalTime();
    QString dateText;
    if (dateStyle == SettingsDateStyle::Short) {
        dateText = locale.toString(local.date(), QLocale::ShortFormat);
    } else {
        // The medium style: the long form with an abbreviated month and without the weekday.
        QString format = locale.dateFormat(QLocale::LongFormat);
        format.remove(QRegularExpression(QStringLiteral("d{4}[,.]?\\s*")));
        format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
        dateText = locale.toString(local.date(), format.trimmed());
    }
    return dateText + QStringLiteral(", ") + locale.toString(local.time(), QLocale::ShortFormat);
}
