#include "Classes/ContactPageOptions.h"

#include "QuendelKit/Entities/FileAttachments.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"

#include "platform/core/Clock.h"
#include "platform/core/QDError.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"

#include <QStandardPaths>

QString ContactPageOptions::createNoteForEmailDraftWithSubject(const QString &subject, const QString &body,
                                                               const QList<FileAttachments *> &attachments,
                                                               const QString &templateName)
{
    if (subject.isEmpty() && body.isEmpty())
        return QString();
    QStringList parts;
    if (!subject.isEmpty()) {
        QString first = subject;
        if (attachments.size() == 1)
            first += QStringLiteral(" (1 Attachment)");
        else if (attachments.size() > 1)
            first += QStringLiteral(" (%1 Attachments)").arg(attachments.size());
        parts << first;
    }
    if (!body.isEmpty())
        parts << body;
    QString note = parts.join(QStringLiteral(": "));
    if (!attachments.isEmpty()) {
        note += QStringLiteral("\n\nAttachments:\n");
        for (FileAttachments *file : attachments) {
            const QString name = file->fileRenamedName().isEmpty() ? file->fileName() : file->fileRenamedName();
            note += QStringLiteral("- %1\n").arg(name);
        }
    }
    if (!templateName.isEmpty())
        note.prepend(QStringLiteral("[Template Name = %1]\n").arg(templateName));
    return note;
}

Log *ContactPageOptions::addAutoLogObjectWithPerson(Person *person, const QString &text, const QString &titleText,
                                                    platform::store::ManagedObjectContext *context,
                                                    platform::core::QDError *error)
{
    if (!context)
        return nullptr;
    auto *log = context->insertNewObject<Log>(Log::EntityName);
    log->setPerson(person);
    log->setLogDate(platform::core::Clock::now());
    for (LogTitle *title : LogTitle::loadAllLogTitlesInContext(context)) {
        if (title->title() == titleText
            || (titleText == QLatin1String("Message") && title->title() == QLatin1String("SMS"))) {
            log->setTitle(title);
            break;
        }
    }
    log->setLogNote(text.isEmpty() ? QStringLiteral("Auto-Add from %1").arg(titleText) : text);
    platform::core::QDError saveError;
    if (!context->save(&saveError)) {
        // A log that could not be stored would go out with the next unrelated save, or block it.
        context->deleteObject(log);
        if (error)
            *error = saveError;
        return nullptr;
    }
    return log;
}

QString ContactPageOptions::dialingOption()
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    const QString value = defaults ? defaults->stringForKey(DialingOptionKey) : QString();
    return value.isNull() ? UseSkype : value;
}

int ContactPageOptions::phoneOptionSetting()
{
    const QString option = dialingOption();
    if (option == UseSkype)
        return 1;
    if (option == UseFacetime)
        return 2;
    return 0;
}

QString ContactPageOptions::phonePreferenceString()
{
    const QString option = dialingOption();
    if (option == UseSkype)
        return QStringLiteral("Skype");
    if (option == UseFacetime)
        return QStringLiteral("Facetime Audio");
    if (option == UsePhoneURL)
        return QStringLiteral("iPhone over WiFi");
    return QString();
}

QString ContactPageOptions::normalizedStringFromNumber(const QString &number)
{
    QString out;
    for (const QChar c : number) {
        if (!c.isPunct() && !c.isSpace())
            out += c;
    }
    return out;
}

namespace {

// Everything but letters, digits, "-._~" and "+" is encoded: a number typed with "?", "#" or "&" can add
// nothing to the URL.
QString encodedNumber(const QString &number)
{
    return QString::fromLatin1(number.toUtf8().toPercentEncoding(QByteArrayLiteral("+")));
}

} // namespace

QUrl ContactPageOptions::buildURLForPhoneWithNumber(const QString &number)
{
    return QUrl(QStringLiteral("tel:%1").arg(encodedNumber(number)), QUrl::StrictMode);
}

QUrl ContactPageOptions::buildURLForFacetimeAudioWithNumber(const QString &number)
{
    // Without "//": a number after it would be read as a host name, and digits as an IP address.
    return QUrl(QStringLiteral("facetime-audio:%1").arg(encodedNumber(normalizedStringFromNumber(number))),
                QUrl::StrictMode);
}

QUrl ContactPageOptions::buildURLForSkypeWithNumber(const QString &number)
{
    return QUrl(QStringLiteral("skype:%1?call").arg(encodedNumber(normalizedStringFromNumber(number))),
                QUrl::StrictMode);
}

QUrl ContactPageOptions::URLForDialPreferencesWithNumber(const QString &number)
{
    const QString option = dialingOption();
    if (option == UseFacetime)
        return buildURLForFacetimeAudioWithNumber(number);
    if (option == UseSkype)
        return buildURLForSkypeWithNumber(number);
    return buildURLForPhoneWithNumber(number);
}

QPair<QString, QString> ContactPageOptions::callFailureAlert()
{
    switch (phoneOptionSetting()) {
    case 1:
        if (QStandardPaths::findExecutable(QStringLiteral("skype")).isEmpty()
            && QStandardPaths::findExecutable(QStringLiteral("skypeforlinux")).isEmpty())
            return {QStringLiteral("Skype Required"),
                    QStringLiteral("You need to install Skype to make a phone call, or switch to using Facetime "
                                   "Audio from Preferences")};
        return {QStringLiteral("Could not make Skype call"),
                QStringLiteral("Please make sure Skype is installed and configured correctly to make calls. You can "
                               "also choose another option in More -> Settings -> Contact Options")};
    case 2:
        return {QStringLiteral("Could not make FaceTime call"),
                QStringLiteral("Please make sure Facetime is setup correctly on your device. You can also choose "
                               "another option in More -> Settings -> Contact Options")};
    default:
        return {QStringLiteral("Could not dial with iPhone"),
                QStringLiteral("Your device might not have been setup to use your iPhone to make phone calls. Make "
                               "sure both are on the same WiFi, and using the same iCloud account. Also check "
                               "configurations settings as mentioned in our FAQ")};
    }
}
