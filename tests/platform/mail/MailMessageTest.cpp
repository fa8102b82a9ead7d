#include "platform/mail/MailMessage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace platform::mail;

namespace {

struct MailtoCase
{
    const char *name;
    QStringList recipients;
    QString subject;
    QString body;
    QString expected;
};

// Hostile and ordinary input; each line is what the mail program receives.
const MailtoCase mailtoCases[] = {
    {"plain", {QStringLiteral("ann@example.org")}, QStringLiteral("Hi"), QStringLiteral("Text"),
     QStringLiteral("mailto:ann@example.org?subject=Hi&body=Text")},
    {"every recipient kept", {QStringLiteral("a@x.org"), QStringLiteral("b@y.org"), QStringLiteral("c@z.org")},
     QString(), QString(), QStringLiteral("mailto:a@x.org,b@y.org,c@z.org")},
    {"nothing at all", {}, QString(), QString(), QStringLiteral("mailto:")},
    {"no recipient", {}, QStringLiteral("S"), QString(), QStringLiteral("mailto:?subject=S")},
    {"ampersand and equals cannot add a header", {QStringLiteral("a@x.org")}, QStringLiteral("x&bcc=evil@x.org"),
     QStringLiteral("a=b&c"), QStringLiteral("mailto:a@x.org?subject=x%26bcc%3Devil%40x.org&body=a%3Db%26c")},
    {"question mark and hash in a recipient", {QStringLiteral("a@x.org?cc=evil@y.org#f")}, QString(), QString(),
     QStringLiteral("mailto:a@x.org%3Fcc%3Devil@y.org%23f")},
    {"line breaks in the subject become blanks", {}, QStringLiteral("one\r\nBcc: evil@x.org"), QString(),
     QStringLiteral("mailto:?subject=one%20%20Bcc%3A%20evil%40x.org")},
    {"line breaks of the body travel as CR LF", {}, QString(), QStringLiteral("a\nb\r\nc\rd"),
     QStringLiteral("mailto:?body=a%0D%0Ab%0D%0Ac%0D%0Ad")},
    {"percent, plus and blanks", {}, QStringLiteral("100% + more"), QString(),
     QStringLiteral("mailto:?subject=100%25%20%2B%20more")},
    {"control characters and blanks around a recipient", {QStringLiteral("  a@x.org\n"), QStringLiteral("\t"), QString()},
     QString(), QString(), QStringLiteral("mailto:a@x.org")},
    {"comma inside a recipient stays inside it", {QStringLiteral("a@x.org,b@y.org")}, QString(), QString(),
     QStringLiteral("mailto:a@x.org%2Cb@y.org")},
    {"non-ASCII as UTF-8", {QStringLiteral("zoë@exämple.org")}, QStringLiteral("Grüße"), QStringLiteral("€"),
     QStringLiteral("mailto:zo%C3%AB@ex%C3%A4mple.org?subject=Gr%C3%BC%C3%9Fe&body=%E2%82%AC")},
    {"a lone hyphenated recipient", {QStringLiteral("--attach=/etc/passwd")}, QString(), QString(),
     QStringLiteral("mailto:--attach%3D%2Fetc%2Fpasswd")},
};

TEST(MailMessageTest, MailtoTextEncodesEveryReservedCharacterAndKeepsEveryRecipient)
{
    for (const MailtoCase &c : mailtoCases) {
        MailMessage message;
        message.recipients = c.recipients;
        message.subject = c.subject;
        message.body = c.body;
        EXPECT_EQ(mailtoText(message), c.expected) << c.name;
        const QUrl url = mailtoUrl(message);
        EXPECT_TRUE(url.isValid()) << c.name;
        // Whatever the input, the query names at most a subject and a body.
        for (const auto &item : QUrlQuery(url).queryItems())
            EXPECT_TRUE(item.first == QStringLiteral("subject") || item.first == QStringLiteral("body")) << c.name;
    }
}

TEST(MailMessageTest, MailtoRoundTripsTheTexts)
{
    MailMessage message;
    message.subject = QStringLiteral("a&b=c?d#e%f+g h");
    message.body = QStringLiteral("x&subject=y\nz");
    const QUrlQuery query(mailtoUrl(message));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), message.subject);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded), QStringLiteral("x&subject=y\r\nz"));
}

TEST(MailMessageTest, CommandArgumentsKeepValuesOutOfOptionPlaces)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("--body notes.txt"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    struct Case
    {
        const char *name;
        MailMessage message;
        QStringList expected;
    };
    MailMessage hostile;
    hostile.recipients = {QStringLiteral("--attach"), QStringLiteral("b@y.org"), QStringLiteral("-x")};
    hostile.subject = QStringLiteral("--body");
    hostile.body = QStringLiteral("--attach /etc/passwd");
    hostile.attachments = {file, dir.filePath(QStringLiteral("missing.txt"))};

    MailMessage empty;

    MailMessage multiline;
    multiline.recipients = {QStringLiteral("a@x.org")};
    multiline.subject = QStringLiteral("line\nBcc: evil@x.org");
    multiline.body = QStringLiteral("one\ntwo");

    const Case cases[] = {
        {"hostile values", hostile,
         {QStringLiteral("--utf8"), QStringLiteral("--subject"), QStringLiteral("--body"), QStringLiteral("--body"),
          QStringLiteral("--attach /etc/passwd"), QStringLiteral("--attach"), QFileInfo(file).absoluteFilePath(),
          QStringLiteral("mailto:--attach,b@y.org,-x")}},
        {"nothing", empty, {QStringLiteral("--utf8"), QStringLiteral("mailto:")}},
        {"line breaks", multiline,
         {QStringLiteral("--utf8"), QStringLiteral("--subject"), QStringLiteral("line Bcc: evil@x.org"),
          QStringLiteral("--body"), QStringLiteral("one\ntwo"), QStringLiteral("mailto:a@x.org")}},
    };
    for (const Case &c : cases) {
        const QStringList args = xdgEmailArguments(c.message);
        EXPECT_EQ(args, c.expected) << c.name;
        // The last argument is always our own address list, so no recipient can be read as an option.
        EXPECT_TRUE(args.last().startsWith(QStringLiteral("mailto:"))) << c.name;
    }
}

} // namespace
