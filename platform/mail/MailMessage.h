#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace platform::mail {

// One e-mail handed to the desktop's mail program. Attachments are local file paths.
struct MailMessage
{
    QStringList recipients;
    QString subject;
    QString body;
    QStringList attachments;
    bool isHTML = false;
    // The attachments are temporary copies: they are removed a while after this message's own hand-off.
    bool cleanupAttachments = false;
};

// How a hand-off ended.
enum class HandoffStatus {
    Sent,                   // the mail program took the message, with its attachments
    SentWithoutAttachments, // the mail program took the message, but it could not carry the attachments
    NoMailHandler,          // the desktop has no program for e-mail
    Failed,                 // the mail program was found but refused the message
};

struct HandoffResult
{
    HandoffStatus status = HandoffStatus::Failed;
    QString detail; // what the launcher reported, for the log
    bool handedOff() const { return status == HandoffStatus::Sent || status == HandoffStatus::SentWithoutAttachments; }
};

// The text forms of a message. Every character outside the unreserved set of URLs is percent-encoded, so
// no part can end early or add a header or a recipient of its own; every recipient is kept.

// The recipients as they can be handed on: control characters removed, blanks around trimmed, empty ones
// dropped.
QStringList cleanRecipients(const QStringList &recipients);
// The subject on one line: line breaks and other control characters become blanks.
QString cleanSubject(const QString &subject);
// Percent-encodes everything but letters, digits and "-._~" (and "@" where keepAt says so).
QString percentEncode(const QString &text, bool keepAt = false);
// "mailto:a@x.org,b@y.org?subject=...&body=..." (a part is left out when empty). Line breaks of the body
// travel as CR LF.
QString mailtoText(const MailMessage &message);
QUrl mailtoUrl(const MailMessage &message);
// The arguments of the desktop's e-mail command: "--utf8", then "--subject", "--body" and one "--attach" per
// file that exists, each value in the argument after its option, and last the recipients as one
// "mailto:" address list that we encoded ourselves: no value can be taken for an option.
QStringList xdgEmailArguments(const MailMessage &message);

} // namespace platform::mail
