// One contact as text for the reports and e-mails: an HTML block, a CSV row and a plain-text card.

#include "QuendelKit/Entities/CurrencyData.h"
#include "QuendelKit/Entities/Emails.h"
#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Entities/FormFields.h"
#include "QuendelKit/Entities/FormFieldsList.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Entities/PersonInfo.h"
#include "QuendelKit/Entities/Phones.h"
#include "QuendelKit/Entities/UserFields.h"
#include "QuendelKit/Infra/QDLog.h"

#include <QLocale>
#include <QRegularExpression>

namespace {

// A custom value as the user reads it, in the CSV rows with the short date form.
QString formattedValue(const UserFields *value, bool shortDate)
{
    auto *mutableValue = const_cast<UserFields *>(value);
    if (!shortDate)
        return mutableValue->getFormattedStringValue();
    mutableValue->dateFormatter().setDateStyle(DateFormatter::Style::Short);
    const QString text = mutableValue->getFormattedStringValue();
    mutableValue->dateFormatter().setDateStyle(DateFormatter::Style::Medium);
    return text;
}

struct Part
{
    QString label;
    QString value;
};

QList<Part> emailParts(const Person &person)
{
    QList<Part> parts;
    for (const Emails *email : person.emails())
        parts.append({email->label(), email->emailAddress()});
    return parts;
}

QList<Part> phoneParts(const Person &person, bool normalized)
{
    QList<Part> parts;
    for (const Phones *phone : person.phones())
        parts.append({phone->label(), normalized ? Person::normalizedStringFromNumberForReporting(phone->phoneNumber())
                                                 : phone->phoneNumber()});
    return parts;
}

QList<Part> addressParts(const Person &person)
{
    QList<Part> parts;
    for (const PersonAddress *address : person.addresses())
        parts.append({address->addressLabel(), address->addressString()});
    return parts;
}

// Two columns for mailing: none gives ",", one gives "value,", two or more the first two.
QString mailingColumns(const QList<Part> &parts, bool escape)
{
    const auto text = [escape](const QString &value) {
        return escape ? NSManagedObjectQDBase::escapeString(value) : value;
    };
    if (parts.isEmpty())
        return QStringLiteral(",");
    if (parts.size() == 1)
        return text(parts[0].value) + QLatin1Char(',');
    return text(parts[0].value) + QLatin1Char(',') + text(parts[1].value);
}

// One column: "label:value", the later ones after "/ ".
QString labelledColumn(const QList<Part> &parts)
{
    QString column;
    for (int i = 0; i < parts.size(); ++i) {
        if (i > 0)
            column += QStringLiteral("/ ");
        column += parts[i].label + QLatin1Char(':') + parts[i].value;
    }
    return column;
}

} // namespace

QString Person::normalizedStringFromNumberForReporting(const QString &number)
{
    static const QRegularExpression blanks(QStringLiteral("[\\s\\x{2028}\\x{2029}\\x{0085}]"));
    QString compact = number;
    compact.remove(blanks);
    return compact;
}

void Person::addPersonDataToEmailBody(QString &body) const
{
    // Values are escaped: a name or note holding markup must not become part of the mail's HTML.
    const auto html = [](const QString &value) { return ExportText::escapeHTML(value); };
    PersonInfo *info = personinfo();
    body += QStringLiteral("<br><b>Name: %1 </b><br>").arg(html(displayName()));
    if (!companyName().isNull())
        body += QStringLiteral("<b>Company: </b> %1 <br>").arg(html(companyName()));
    if (info && !info->departmentName().isNull())
        body += QStringLiteral("<b>Department: </b> %1 <br>").arg(html(info->departmentName()));
    if (info && !info->jobDescription().isNull())
        body += QStringLiteral("<b>Job Title: </b> %1 <br>").arg(html(info->jobDescription()));
    const auto section = [&](const QString &title, const QList<Part> &parts) {
        if (parts.isEmpty())
            return;
        body += QStringLiteral("<u>%1</u><br>").arg(title);
        for (const Part &part : parts)
            body += QStringLiteral("%1: %2 <br>").arg(html(part.label), html(part.value));
    };
    section(QStringLiteral("Emails"), emailParts(*this));
    section(QStringLiteral("Phones"), phoneParts(*this, false));
    section(QStringLiteral("Address"), addressParts(*this));
    QList<Part> fields;
    for (const UserFields *value : userfields())
        fields.append(
            {value->formfield() ? value->formfield()->formFieldName() : QString(), formattedValue(value, false)});
    section(QStringLiteral("User Fields"), fields);
}

void Person::addPersonToCSVBody(QString &body, const QList<FormFields *> &allFields, bool mailingType) const
{
    PersonInfo *info = personinfo();
    const auto orEmpty = [](const QString &value) { return value.isNull() ? QString(QLatin1String("")) : value; };
    const QString company = orEmpty(companyName());
    const QString department = orEmpty(info ? info->departmentName() : QString());
    const QString jobTitle = orEmpty(info ? info->jobDescription() : QString());
    const QString notes = orEmpty(notesField());

    const QList<Part> emails = emailParts(*this);
    const QList<Part> phones = phoneParts(*this, true);
    const QList<Part> addresses = addressParts(*this);
    // Labels are free text and a number may hold a dialling pause (","): unescaped, either would push the
    // later values into the wrong columns.
    const QString emailText = mailingType ? mailingColumns(emails, true) : escapeString(labelledColumn(emails));
    const QString phoneText = mailingType ? mailingColumns(phones, true) : escapeString(labelledColumn(phones));
    const QString addressText = mailingType ? mailingColumns(addresses, true) : escapeString(labelledColumn(addresses));

    QString userFieldsString;
    const QList<UserFields *> values = userfields();
    for (int i = 0; i < allFields.size(); ++i) {
        const bool last = i == allFields.size() - 1;
        const UserFields *match = nullptr;
        for (const UserFields *value : values) {
            if (value->formfield() == allFields[i]) {
                match = value;
                break;
            }
        }
        if (match)
            userFieldsString += escapeString(formattedValue(match, true));
        if (!last)
            userFieldsString += QLatin1Char(',');
    }
    QDLogVerbose(QStringLiteral("userFieldsString = %1").arg(userFieldsString));

    body += QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9\n")
                .arg(escapeString(displayName()), escapeString(company), escapeString(department),
                     escapeString(jobTitle), emailText, phoneText, addressText, userFieldsString, escapeString(notes));
}

void Person::addPersonInfoToMutableString(QString &text) const
{
    PersonInfo *info = personinfo();
    text = QStringLiteral("- Quendel - Contact Info - \n");
    text += QStringLiteral("Name: %1\n").arg(displayName());
    if (!companyName().isNull())
        text += QStringLiteral("Company: %1\n").arg(companyName());
    if (info && !info->departmentName().isNull())
        text += QStringLiteral("Department: %1\n").arg(info->departmentName());
    if (info && !info->jobDescription().isNull())
        text += QStringLiteral("Job Title: %1\n").arg(info->jobDescription());
    const auto section = [&](const QString &title, const QList<Part> &parts) {
        if (parts.isEmpty())
            return;
        text += QStringLiteral("\n%1\n").arg(title);
        for (const Part &part : parts)
            text += QStringLiteral("%1: %2\n").arg(part.label, part.value);
    };
    section(QStringLiteral("Emails"), emailParts(*this));
    section(QStringLiteral("Phones"), phoneParts(*this, false));
    section(QStringLiteral("Addresses"), addressParts(*this));
    QList<Part> fields;
    for (const UserFields *value : userfields())
        fields.append(
            {value->formfield() ? value->formfield()->formFieldName() : QString(), formattedValue(value, false)});
    section(QStringLiteral("User Fields"), fields);
}

bool Person::updateWithPinColorListItem(FormFieldsList *item)
{
    UserFields *pinValue = nullptr;
    for (UserFields *value : userfields()) {
        if (value->formfield() && value->formfield()->formFieldName() == FormFields::PinColorFieldName) {
            pinValue = value;
            break;
        }
    }
    platform::store::ManagedObjectContext *context = managedObjectContext();
    bool updated = false;
    if (pinValue) {
        QDLogInfo(QStringLiteral("Person-category: updateWithPinColorString: update exitsing pin color"));
        pinValue->setListvalue(item);
        pinValue->setFieldValue(item ? item->title() : QString());
        updated = true;
    } else if (context) {
        QDLogInfo(QStringLiteral("Person-category: updateWithPinColorString: create new pin color field"));
        auto *value = context->insertNewObject<UserFields>(UserFields::EntityName);
        value->setPerson(this);
        value->setFormfield(FormFields::getPinColorFieldWithMOC(context));
        value->setListvalue(item);
        value->setFieldValue(item ? item->title() : QString());
    }
    if (context) {
        platform::core::QDError error;
        if (!context->save(&error))
            QDLogError(QStringLiteral("Unresolved error %1, %2").arg(error.toString(), error.domain()));
    }
    return updated;
}
