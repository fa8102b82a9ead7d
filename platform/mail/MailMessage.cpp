#include "platform/mail/MailMessage.h"

#include <QFileInfo>

namespace platform::mail {

namespace {

QString withoutControlCharacters(const QString &text, QChar replacement)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            if (!replacement.isNull())
                out += replacement;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QStringList cleanRecipients(const QStringList &recipients)
{
    QStringList out;
    for (const QString &recipient : recipients) {
        const QString clean = withoutControlCharacters(recipient, QChar()).trimmed();
        if (!clean.isEmpty())
            out << clean;
    }
    return out;
}

QString cleanSubject(const QString &subject)
{
    return withoutControlCharacters(subject, QLatin1Char(' '));
}

QString percentEncode(const QString &text, bool keepAt)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding(keepAt ? QByteArrayLiteral("@") : QByteArray()));
}

QString mailtoText(const MailMessage &message)
{
    QStringList to;
    for (const QString &recipient : cleanRecipients(message.recipients))
        to << percentEncode(recipient, true);
    QStringList query;
    const QString subject = cleanSubject(message.subject);
    if (!subject.isEmpty())
        query << QStringLiteral("subject=") + percentEncode(subject);
    if (!message.body.isEmpty()) {
        QString body = message.body;
        body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        body.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        query << QStringLiteral("body=") + percentEncode(body);
    }
    QString text = QStringLiteral("mailto:") + to.join(QLatin1Char(','));
    if (!query.isEmpty())
        text += QLatin1Char('?') + query.join(QLatin1Char('&'));
    return text;
}

QUrl mailtoUrl(const MailMessage &message)
{
    return QUrl(mailtoText(message), QUrl::StrictMode);
}

QStringList xdgEmailArguments(const MailMessage &message)
{
    QStringList args{QStringLiteral("--utf8")};
    const QString subject = cleanSubject(message.subject);
    if (!subject.isEmpty())
        args << QStringLiteral("--subject") << subject;
    if (!message.body.isEmpty())
        args << QStringLiteral("--body") << message.body;
    for (const QString &file : message.attachments) {
        const QFileInfo info(file);
        if (info.isFile())
            args << QStringLiteral("--attach") << info.absoluteFilePath();
    }
    MailMessage recipientsOnly;
    recipientsOnly.recipients = message.recipients;
    args << mailtoText(recipientsOnly);
    return args;
}

} // namespace platform::mail
