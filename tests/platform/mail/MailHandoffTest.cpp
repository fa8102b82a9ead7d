#include "platform/mail/MailHandoff.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>

using namespace platform::mail;

namespace {

// A stand-in for the desktop's e-mail command: it writes one argument a line and ends with the given code.
QString writeFakeCommand(const QTemporaryDir &dir, int exitCode)
{
    const QString path = dir.filePath(QStringLiteral("fake-email"));
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"%1\"\nexit %2\n")
                     .arg(dir.filePath(QStringLiteral("args.txt")))
                     .arg(exitCode)
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

class MailHandoffTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        MailHandoff::shared().setCommandName(MailHandoff::defaultCommandName());
        MailHandoff::shared().setCleanupDelayMs(MailHandoff::DefaultCleanupDelayMs);
        setUrlOpener({});
    }

    HandoffResult sendAndWait(const MailMessage &message)
    {
        std::optional<HandoffResult> result;
        MailHandoff::shared().send(message, [&](const HandoffResult &r) { result = r; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
        return result.value_or(HandoffResult{});
    }

    QTemporaryDir dir;
};

TEST_F(MailHandoffTest, TheCommandGetsTheMessageAndItsAttachments)
{
    MailHandoff::shared().setCommandName(writeFakeCommand(dir, 0));
    const QString attachment = dir.filePath(QStringLiteral("report.csv"));
    QFile(attachment).open(QIODevice::WriteOnly);
    MailMessage message;
    message.recipients = {QStringLiteral("a@x.org"), QStringLiteral("b@y.org")};
    message.subject = QStringLiteral("Hello & welcome");
    message.body = QStringLiteral("Body");
    message.attachments = {attachment};
    const HandoffResult result = sendAndWait(message);
    EXPECT_EQ(result.status, HandoffStatus::Sent);
    QFile args(dir.filePath(QStringLiteral("args.txt")));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(args.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              xdgEmailArguments(message));
}

TEST_F(MailHandoffTest, CommandExitCodesDecideTheResult)
{
    const struct
    {
        int exitCode;
        HandoffStatus expected;
    } cases[] = {{0, HandoffStatus::Sent}, {3, HandoffStatus::NoMailHandler}, {4, HandoffStatus::Failed}};
    for (const auto &c : cases) {
        QTemporaryDir own;
        MailHandoff::shared().setCommandName(writeFakeCommand(own, c.exitCode));
        EXPECT_EQ(sendAndWait(MailMessage{}).status, c.expected) << c.exitCode;
    }
}

TEST_F(MailHandoffTest, WithoutTheCommandAMailtoUrlGoesToTheDesktop)
{
    MailHandoff::shared().setCommandName(QString());
    QList<QUrl> opened;
    bool accept = true;
    setUrlOpener([&](const QUrl &url) {
        opened << url;
        return accept;
    });
    MailMessage message;
    message.recipients = {QStringLiteral("a@x.org"), QStringLiteral("b@y.org")};
    message.subject = QStringLiteral("S");
    EXPECT_EQ(sendAndWait(message).status, HandoffStatus::Sent);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().toString(QUrl::FullyEncoded), QStringLiteral("mailto:a@x.org,b@y.org?subject=S"));

    message.attachments = {dir.filePath(QStringLiteral("a.txt"))};
    EXPECT_EQ(sendAndWait(message).status, HandoffStatus::SentWithoutAttachments);

    accept = false;
    EXPECT_EQ(sendAndWait(message).status, HandoffStatus::NoMailHandler);

    // A command that is not on PATH is the same as none.
    MailHandoff::shared().setCommandName(QStringLiteral("no-such-email-command-here"));
    accept = true;
    EXPECT_EQ(sendAndWait(MailMessage{}).status, HandoffStatus::Sent);
}

TEST_F(MailHandoffTest, EachHandOffCleansOnlyItsOwnFilesAfterTheDelay)
{
    MailHandoff::shared().setCommandName(QString());
    setUrlOpener([](const QUrl &) { return true; });
    MailHandoff::shared().setCleanupDelayMs(300);
    auto makeFile = [&](const QString &name) {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    };
    MailMessage first;
    first.attachments = {makeFile(QStringLiteral("first.txt"))};
    first.cleanupAttachments = true;
    MailMessage kept;
    kept.attachments = {makeFile(QStringLiteral("kept.txt"))};
    sendAndWait(first);
    sendAndWait(kept);
    QTest::qWait(150);
    MailMessage second;
    second.attachments = {makeFile(QStringLiteral("second.txt"))};
    second.cleanupAttachments = true;
    sendAndWait(second);
    // The first pass takes only the first file, although the second exists when it runs.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(first.attachments.first()); }, 2000));
    EXPECT_TRUE(QFile::exists(second.attachments.first()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(second.attachments.first()); }, 2000));
    EXPECT_TRUE(QFile::exists(kept.attachments.first()));
}

} // namespace
