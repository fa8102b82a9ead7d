#pragma once

#include "platform/mail/MailMessage.h"

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace platform::mail {

// Hands a URL (tel:, mailto:, ...) to the program the desktop has for it; false when none took it.
// Tests replace the opener to see what would be handed on.
using UrlOpener = std::function<bool(const QUrl &url)>;
bool openUrl(const QUrl &url);
// Null restores the desktop's own opener.
void setUrlOpener(UrlOpener opener);

// The one way the program hands an e-mail to the user's mail program. The desktop's e-mail command (found on
// PATH each time) takes subject, body, recipients and attachments; without it a mailto: URL goes to the
// desktop, which cannot carry attachments. Main thread only.
class MailHandoff : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultCleanupDelayMs = 8000;
    // A mail program that stays in the foreground keeps the command running: after this long the message
    // counts as handed on.
    static constexpr int LauncherGraceMs = 4000;

    static MailHandoff &shared();

    using Completion = std::function<void(const HandoffResult &result)>;
    // Hands the message on; `done` runs once, on the main thread, when the mail program took it or refused
    // it. Attachments marked for clean-up are removed `cleanupDelayMs()` after this hand-off ended, whether
    // it succeeded or not; files of other hand-offs are not touched.
    void send(const MailMessage &message, Completion done = {});

    // Removes the files once the clean-up delay has passed (files dragged out to other programs).
    void scheduleCleanup(const QStringList &files);

    // The command's name or path; empty means never use a command (always the mailto: URL).
    QString commandName() const { return m_commandName; }
    void setCommandName(const QString &name) { m_commandName = name; }
    static QString defaultCommandName() { return QStringLiteral("xdg-email"); }
    int cleanupDelayMs() const { return m_cleanupDelayMs; }
    void setCleanupDelayMs(int ms) { m_cleanupDelayMs = ms; }

signals:
    // After each hand-off, with its result (for the log and for tests).
    void handedOff(const platform::mail::MailMessage &message, const platform::mail::HandoffResult &result);

private:
    MailHandoff() = default;
    void finish(const MailMessage &message, const HandoffResult &result, const Completion &done);

    QString m_commandName = defaultCommandName();
    int m_cleanupDelayMs = DefaultCleanupDelayMs;
};

} // namespace platform::mail
