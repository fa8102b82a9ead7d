#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// The program's one way to hand an e-mail to the user's mail program, with the alerts the user sees when
// the desktop cannot take it. Every part of the program that writes an e-mail goes through here.
namespace EmailHandoff {

inline const QString CannotSendTitle = QStringLiteral("Cannot send email");
inline const QString CannotSendMessage =
    QStringLiteral("Please check if you have the Mail app configured correctly to send emails");
inline const QString NoMailProgramMessage =
    QStringLiteral("No program on this computer is set up to write e-mails. Please choose a default e-mail "
                   "program in the desktop's settings.");
inline const QString CannotAddAttachmentsTitle = QStringLiteral("Cannot Add Attachments");
inline const QString CannotAddAttachmentsMessage =
    QStringLiteral("Please note: File Attachments cannot be directly added to email clients other than Mail.app");

// `handedOff` is true once the mail program took the message (also when it could not take the attachments).
using Completion = std::function<void(bool handedOff)>;

// Hands the message on; `done` runs on the main thread once the mail program took or refused it. With
// `cleanupFiles` the attachments are temporary copies, removed a while after this hand-off.
void sendEmail(const QString &subject, const QString &body, const QList<QUrl> &fileAttachments,
               const QStringList &recipients, bool isHTML, bool cleanupFiles, Completion done = {});

} // namespace EmailHandoff
