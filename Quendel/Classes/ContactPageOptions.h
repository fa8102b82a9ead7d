#pragma once

#include <QList>
#include <QString>
#include <QUrl>

class FileAttachments;
class Log;
class Person;

namespace platform::core {
class QDError;
}
namespace platform::store {
class ManagedObjectContext;
}

// What the contact page's e-mail, message and call buttons need besides their widgets: the note of an
// e-mail's automatic log entry, the automatic log entry itself and the URL that dials a number the way the
// user chose in the preferences.
class ContactPageOptions
{
public:
    static inline const QString DialingOptionKey = QStringLiteral("settings_dialing_options");
    static inline const QString UseSkype = QStringLiteral("settings_phone_use_skype");
    static inline const QString UseFacetime = QStringLiteral("settings_phone_use_facetime");
    static inline const QString UsePhoneURL = QStringLiteral("settings_phone_use_phone_url");

    // Null when both subject and body are empty.
    static QString createNoteForEmailDraftWithSubject(const QString &subject, const QString &body,
                                                      const QList<FileAttachments *> &attachments,
                                                      const QString &templateName);
    // A new log for `person` dated now, titled by the first log title equal to `titleText` (or "SMS" for
    // "Message"), saved. Null when the context could not save it (then `error` tells why and the log is
    // taken out of the context again).
    static Log *addAutoLogObjectWithPerson(Person *person, const QString &text, const QString &titleText,
                                           platform::store::ManagedObjectContext *context,
                                           platform::core::QDError *error = nullptr);

    // 1 Skype, 2 FaceTime, 0 anything else.
    static int phoneOptionSetting();
    // "Skype", "Facetime Audio", "iPhone over WiFi", or null.
    static QString phonePreferenceString();
    static QUrl URLForDialPreferencesWithNumber(const QString &number);
    static QUrl buildURLForPhoneWithNumber(const QString &number);
    static QUrl buildURLForFacetimeAudioWithNumber(const QString &number);
    static QUrl buildURLForSkypeWithNumber(const QString &number);
    // The number without punctuation and white space ("+" stays).
    static QString normalizedStringFromNumber(const QString &number);
    // The alert shown when the dial URL found no taker: title and message.
    static QPair<QString, QString> callFailureAlert();

private:
    static QString dialingOption();
};
