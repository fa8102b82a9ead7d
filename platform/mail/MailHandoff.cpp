#include "platform/mail/MailHandoff.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <memory>

namespace platform::mail {

namespace {

UrlOpener &urlOpenerSlot()
{
    static UrlOpener opener;
    return opener;
}

// The command's exit codes for "no program can do it" (a tool or a handler is missing).
bool meansNoHandler(int exitCode)
{
    return exitCode == 3 || exitCode == 127;
}

} // namespace

bool openUrl(const QUrl &url)
{
    if (!url.isValid())
        return false;
    if (const UrlOpener &opener = urlOpenerSlot())
        return opener(url);
    return QDesktopServices::openUrl(url);
}

void setUrlOpener(UrlOpener opener)
{
    urlOpenerSlot() = std::move(opener);
}

MailHandoff &MailHandoff::shared()
{
    static MailHandoff *handoff = new MailHandoff;
    return *handoff;
}

void MailHandoff::send(const MailMessage &message, Completion done)
{
    const QString command = m_commandName.isEmpty() ? QString()
        : QFileInfo(m_commandName).isAbsolute()     ? m_commandName
                                                    : QStandardPaths::findExecutable(m_commandName);
    if (command.isEmpty() || !QFileInfo(command).isExecutable()) {
        HandoffResult result;
        if (openUrl(mailtoUrl(message))) {
            // A mailto: address cannot carry files.
            result.status = message.attachments.isEmpty() ? HandoffStatus::Sent : HandoffStatus::SentWithoutAttachments;
        } else {
            result.status = HandoffStatus::NoMailHandler;
            result.detail = QStringLiteral("no program opens mailto: addresses");
        }
        finish(message, result, done);
        return;
    }

    // The process object lives until the command ends, also past the grace time: a mail program in the
    // foreground must not be ended with us. It is not parented, so quitting the program leaves it running.
    auto *process = new QProcess;
    process->setProgram(command);
    process->setArguments(xdgEmailArguments(message));
    process->setProcessChannelMode(QProcess::MergedChannels);
    auto reported = std::make_shared<bool>(false);
    auto report = [this, message, done, reported](const HandoffResult &result) {
        if (*reported)
            return;
        *reported = true;
        finish(message, result, done);
    };
    QObject::connect(process, &QProcess::finished, process, [process, report](int exitCode, QProcess::ExitStatus status) {
        HandoffResult result;
        const QString output = QString::fromLocal8Bit(process->readAll()).trimmed();
        if (status == QProcess::NormalExit && exitCode == 0) {
            result.status = HandoffStatus::Sent;
        } else {
            result.status = status == QProcess::NormalExit && meansNoHandler(exitCode) ? HandoffStatus::NoMailHandler
                                                                                        : HandoffStatus::Failed;
            result.detail = QStringLiteral("exit %1: %2").arg(exitCode).arg(output);
        }
        report(result);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, report](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        report({HandoffStatus::NoMailHandler, process->errorString()});
        process->deleteLater();
    });
    QPointer<QProcess> watched(process);
    QTimer::singleShot(LauncherGraceMs, this, [watched, report] {
        if (watched && watched->state() == QProcess::Running)
            report({HandoffStatus::Sent, QStringLiteral("the mail program is still starting")});
    });
    process->start();
}

void MailHandoff::finish(const MailMessage &message, const HandoffResult &result, const Completion &done)
{
    if (message.cleanupAttachments && !message.attachments.isEmpty())
        scheduleCleanup(message.attachments);
    emit handedOff(message, result);
    if (done)
        done(result);
}

void MailHandoff::scheduleCleanup(const QStringList &files)
{
    if (files.isEmpty())
        return;
    // Each call removes only its own files: a later hand-off's copies get their own full delay.
    QTimer::singleShot(m_cleanupDelayMs, this, [files] {
        for (const QString &file : files) {
            if (QFileInfo(file).isFile())
                QFile::remove(file);
        }
    });
}

} // namespace platform::mail
