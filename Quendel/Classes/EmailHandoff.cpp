#include "Classes/EmailHandoff.h"

#include "Classes/QDAlertDisplayMac.h"

#include "QuendelKit/Infra/QDLog.h"

#include "platform/mail/MailHandoff.h"

#include <QTextDocument>

namespace EmailHandoff {

void sendEmail(const QString &subject, const QString &body, const QList<QUrl> &fileAttachments,
               const QStringList &recipients, bool isHTML, bool cleanupFiles, Completion done)
{
    platform::mail::MailMessage message;
    message.subject = subject;
    // The desktop's mail hand-off carries plain text only: an HTML body goes as the text it shows, not as
    // its markup.
    if (isHTML && !body.isEmpty()) {
        QTextDocument document;
        document.setHtml(body);
        message.body = document.toPlainText();
    } else {
        message.body = body;
    }
    message.recipients = recipients;
    message.isHTML = isHTML;
    message.cleanupAttachments = cleanupFiles;
    for (const QUrl &url : fileAttachments) {
        if (url.isLocalFile())
            message.attachments << url.toLocalFile();
    }
    platform::mail::MailHandoff::shared().send(message, [done](const platform::mail::HandoffResult &result) {
        using platform::mail::HandoffStatus;
        auto alerts = QDAlertDisplayMac::sharedAlert();
        switch (result.status) {
        case HandoffStatus::Sent:
            break;
        case HandoffStatus::SentWithoutAttachments:
            alerts->showAlertWithTitle(CannotAddAttachmentsTitle, CannotAddAttachmentsMessage,
                                       [](const platform::ui::AlertResult &) {});
            break;
        case HandoffStatus::NoMailHandler:
            QDLogError(QStringLiteral("Email: no mail program - %1").arg(result.detail));
            alerts->showAlertWithTitle(CannotSendTitle, NoMailProgramMessage, [](const platform::ui::AlertResult &) {});
            break;
        case HandoffStatus::Failed:
            QDLogError(QStringLiteral("Email: the mail program refused the message - %1").arg(result.detail));
            alerts->showAlertWithTitle(CannotSendTitle, CannotSendMessage, [](const platform::ui::AlertResult &) {});
            break;
        }
        if (done)
            done(result.handedOff());
    });
}

} // namespace EmailHandoff
