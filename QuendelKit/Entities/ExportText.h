#pragma once

#include <QDateTime>
#include <QString>

// What the exports of records share: values from the user's data made safe for HTML, and the date forms
// of e-mail bodies, shared texts, CSV rows and search-index texts (user's locale, local time).
class ExportText
{
public:
    // `&`, `<`, `>`, `"` and `'` as character references, so a value can never open markup of its own.
    static QString escapeHTML(const QString &value);

    // The long date without the weekday, then the time with seconds and without the zone:
    // "January 5, 2024, 3:04:05 PM" in American English. Empty for no date.
    static QString longDateMediumTime(const QDateTime &when);
    // The short date and the short time: "1/5/24, 3:04 PM" in American English. Empty for no date.
    static QString shortDateShortTime(const QDateTime &when);
};
