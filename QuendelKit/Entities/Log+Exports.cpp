#include "QuendelKit/Entities/Log.h"

#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"

namespace {

QString contactName(const Person *person)
{
    return person ? person->displayName() : QString();
}

QString companyOf(const Person *person)
{
    return person ? person->companyName() : QString();
}

QString titleText(const LogTitle *title)
{
    return title ? title->title() : QString();
}

// The note as lines: every newline character ends a line, and an empty stretch between two of them is a
// line of its own.
QStringList noteLines(const QString &note)
{
    QStringList lines;
    QString current;
    for (const QChar c : note) {
        switch (c.unicode()) {
        case 0x000A:
        case 0x000B:
        case 0x000C:
        case 0x000D:
        case 0x0085:
        case 0x2028:
        case 0x2029:
            lines.append(current);
            current.clear();
            break;
        default:
            current += c;
        }
    }
    lines.append(current);
    return lines;
}

} // namespace

std::optional<StyledText> Log::getDetailAttributedStringWithBoldTitle(bool boldTitle, const QString &firstString,
                                                                      const QString &secondString,
                                                                      const QString &separatorString, double fontSize,
                                                                      int)
{
    return StyledText::detailText(boldTitle, firstString, secondString, separatorString, fontSize);
}

std::optional<StyledText> Log::getDetailAttributedStringForNameAndCompany() const
{
    const Person *contact = person();
    const QString name = contactName(contact);
    QString company = companyOf(contact);
    if (company == name)
        company = QString();
    return getDetailAttributedStringWithBoldTitle(true, name, company, QStringLiteral(" - "), 14.0, 1);
}

std::optional<StyledText> Log::getDetailAttributedStringForTitleAndNoteWithBoldTitle(bool boldTitle) const
{
    return getDetailAttributedStringWithBoldTitle(boldTitle, titleText(title()), logNote(), QStringLiteral(":  "), 13.0,
                                                  0);
}

void Log::addLogToEmailBody(QString &body) const
{
    const auto html = ExportText::escapeHTML;
    const Person *contact = person();
    body += QStringLiteral("<br><b>Date:</b> %1 <br>").arg(html(ExportText::longDateMediumTime(logDate())));
    body += QStringLiteral("<b>Contact: </b> %1 <br>").arg(html(contactName(contact)));
    if (const QString company = companyOf(contact); !company.isEmpty())
        body += QStringLiteral("<b>Company Name: </b> %1 <br>").arg(html(company));
    if (const LogTitle *entryTitle = title())
        body += QStringLiteral("<b>Title:</b> %1 <br>").arg(html(entryTitle->title()));
    else
        body += QStringLiteral("<b>Title:</b>  <br>");
    const Location *location = logLocation();
    if (const QString place = location ? location->locationName() : QString(); !place.isEmpty()) {
        body += QStringLiteral("<b>Location:</b> %1 <br>").arg(html(place));
        if (const QString address = location->locationAddress(); !address.isEmpty())
            body += QStringLiteral("<b>Address:</b> %1 <br>").arg(html(address));
    } else {
        body += QStringLiteral("<b>Location:</b> <br>");
    }
    const QString note = logNote();
    if (note.isNull()) {
        body += QStringLiteral("<b>Note:</b> <br>");
        return;
    }
    const QStringList lines = noteLines(note);
    body += QStringLiteral("<b>Note:</b> %1<br>").arg(html(lines.first()));
    for (qsizetype i = 1; i < lines.size(); ++i)
        body += html(lines.at(i)) + QStringLiteral("<br>");
}

QString Log::shareLogDataString() const
{
    const Person *contact = person();
    QString text = QStringLiteral("Quendel - Exported Log\n");
    text += QStringLiteral("Date: %1\n").arg(ExportText::longDateMediumTime(logDate()));
    text += QStringLiteral("Contact: %1\n").arg(contactName(contact));
    if (const QString company = companyOf(contact); !company.isEmpty())
        text += QStringLiteral("Company Name: %1\n").arg(company);
    if (const LogTitle *entryTitle = title())
        text += QStringLiteral("Title: %1\n").arg(entryTitle->title());
    const Location *location = logLocation();
    if (const QString place = location ? location->locationName() : QString(); !place.isEmpty()) {
        text += QStringLiteral("Location: %1\n").arg(place);
        if (const QString address = location->locationAddress(); !address.isEmpty())
            text += QStringLiteral("Address: %1\n").arg(address);
    }
    if (const QString note = logNote(); !note.isEmpty())
        text += QStringLiteral("Note: %1\n").arg(note);
    return text;
}

void Log::addLogToCSVBody(QString &body) const
{
    const Person *contact = person();
    const Location *location = logLocation();
    const QStringList fields = {
        ExportText::longDateMediumTime(logDate()),
        contactName(contact),
        companyOf(contact),
        titleText(title()),
        location ? location->locationName() : QString(),
        logNote(),
    };
    QStringList escaped;
    for (const QString &field : fields)
        escaped.append(escapeString(field.isNull() ? QString(QLatin1String("")) : field));
    body += escaped.join(QLatin1Char(',')) + QLatin1Char('\n');
}

QString Log::referenceURLString() const
{
    return objectID().URIRepresentation().toString();
}

QString Log::titleForIndex() const
{
    QString text = QStringLiteral("[Log] %1").arg(contactName(person()));
    if (const QString entryTitle = titleText(title()); !entryTitle.isEmpty())
        text += QStringLiteral(": %1").arg(entryTitle);
    if (const Location *location = logLocation(); location && !location->locationName().isEmpty())
        text += QStringLiteral(" at %1").arg(location->locationName());
    return text;
}

QString Log::contentDescriptionForIndex() const
{
    const QString date = ExportText::shortDateShortTime(logDate());
    if (const QString note = logNote(); !note.isEmpty())
        return QStringLiteral("%1: %2").arg(date, note);
    return date;
}
