#pragma once

#include "QDLog.h"

#include <QLocale>

#include <mutex>

// The line format of the incoming-changes log: "<local date and time>| <text>" for lines of context 2,
// nothing for any other line, so that log holds the downloaded changes alone.
class CustomLogFormatter : public QDLogFormatter
{
public:
    // A locale and a pattern, as a date formatter is; an empty pattern formats nothing.
    struct DateFormatter
    {
        QLocale locale;
        QString dateFormat;
        QString stringFromDate(const QDateTime &date) const;
    };

    static inline const QString DateFormatTemplate = QStringLiteral("MM/dd/yy HH:mm:ss");

    // Prepares the date formatter anew for the current locale.
    void didAddToLogger(QDLogger *logger) override;
    QString formatLogMessage(const QDLogMessage &message) override;

    DateFormatter dateFormatter() const;
    DateFormatter timeFormatter() const;

    // The locale's own way of showing the fields of `dateTemplate` (letters M, d, y, H, h, m, s): the
    // locale's short date-and-time pattern with its order and separators, its fields set to the widths
    // the template asks for, a 24-hour clock when the template asks for "H", and seconds when the
    // template has them.
    static QString localizedDateFormatFromTemplate(const QString &dateTemplate, const QLocale &locale);

private:
    mutable std::mutex m_mutex;
    DateFormatter m_dateFormatter;
    DateFormatter m_timeFormatter; // kept empty: the line shows the date and time in one field
};
