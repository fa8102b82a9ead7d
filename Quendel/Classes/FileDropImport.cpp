#include "Classes/FileDropImport.h"

#include "Classes/QDAlertDisplayMac.h"

#include "QuendelKit/Entities/FileAttachments.h"

#include "platform/store/ManagedObjectContext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

using platform::core::QDError;
using platform::store::ManagedObjectContext;

namespace {

bool isUnwanted(QChar c)
{
    return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
           c.category() == QChar::Other_Surrogate || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The longest front part of `text` whose UTF-8 takes at most `bytes`, never cutting a surrogate pair.
QString leftByUtf8(const QString &text, int bytes)
{
    int used = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype step = text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
        const int size = int(text.mid(end, step).toUtf8().size());
        if (used + size > bytes)
            break;
        used += size;
        end += step;
    }
    return text.left(end);
}

// The text of one RFC 2047 encoded word's payload.
QString decodeWord(const QString &charset, const QString &encoding, const QString &payload)
{
    QByteArray bytes;
    if (encoding.compare(QLatin1String("B"), Qt::CaseInsensitive) == 0) {
        bytes = QByteArray::fromBase64(payload.toLatin1());
    } else {
        QByteArray raw = payload.toLatin1();
        raw.replace('_', ' ');
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw.at(i) == '=' && i + 2 < raw.size()) {
                bool ok = false;
                const int value = raw.mid(i + 1, 2).toInt(&ok, 16);
                if (ok) {
                    bytes.append(char(value));
                    i += 2;
                    continue;
                }
            }
            bytes.append(raw.at(i));
        }
    }
    QStringDecoder decoder(charset.toLatin1().constData());
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

QString decodeHeader(const QString &value)
{
    static const QRegularExpression word(QStringLiteral("=\\?([^?]+)\\?([BbQq])\\?([^?]*)\\?="));
    static const QRegularExpression gap(QStringLiteral("(\\?=)\\s+(=\\?)"));
    QString joined = value;
    // White space between two encoded words is not part of the text.
    joined.replace(gap, QStringLiteral("\\1\\2"));
    QString out;
    qsizetype at = 0;
    QRegularExpressionMatchIterator it = word.globalMatch(joined);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        out += joined.mid(at, match.capturedStart() - at);
        out += decodeWord(match.captured(1), match.captured(2), match.captured(3));
        at = match.capturedEnd();
    }
    out += joined.mid(at);
    return out;
}

QDError stagingError(const QString &name)
{
    return QDError::withDescription(QuendelErrorDomain, FileAttachments::SaveError,
                                    QStringLiteral("There was a problem saving this file %1. Please try later").arg(name));
}

// One import: a private folder for what has to be written first, removed with everything in it at the end.
class Import
{
public:
    Import(Person *person, ManagedObjectContext *context) : m_person(person), m_context(context) {}

    // Stages `bytes` (or the file at `source`) under `name` in a folder of its own, so names never collide.
    QString stage(const QString &name, const QString &source, const QByteArray &bytes)
    {
        if (!m_staging) {
            m_staging = std::make_unique<QTemporaryDir>();
            if (!m_staging->isValid())
                return QString();
        }
        const QString folder = m_staging->filePath(QString::number(m_count++));
        if (!m_staging->isValid() || !QDir().mkpath(folder))
            return QString();
        const QString target = QDir(folder).filePath(name);
        if (!source.isNull())
            return QFile::copy(source, target) ? target : QString();
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QString();
        return target;
    }

    void add(const QString &path, const QString &shownName)
    {
        QDError error;
        if (path.isEmpty()) {
            fail(shownName, stagingError(shownName));
            return;
        }
        if (FileAttachments::createFileAttachmentWithArray({path}, m_person, m_context, true, &error))
            ++m_result.added;
        else
            fail(shownName, error);
    }

    void addFile(const QString &path)
    {
        const QString original = QFileInfo(path).fileName();
        const QString clean = FileDropImport::sanitizedFileName(original);
        if (!QFileInfo(path).isFile()) {
            fail(clean, stagingError(clean));
            return;
        }
        add(clean == original ? path : stage(clean, path, {}), clean);
    }

    void addMessage(const QByteArray &message)
    {
        const QString name = FileDropImport::mailMessageFileName(message);
        add(stage(name, QString(), message), name);
    }

    FileDropImport::Result result() const { return m_result; }

private:
    void fail(const QString &name, const QDError &error)
    {
        m_result.failedNames << name;
        m_result.lastError = error;
    }

    Person *m_person;
    ManagedObjectContext *m_context;
    std::unique_ptr<QTemporaryDir> m_staging;
    int m_count = 0;
    FileDropImport::Result m_result;
};

} // namespace

QString FileDropImport::sanitizedFileName(const QString &name, const QString &fallback)
{
    QString clean;
    clean.reserve(name.size());
    for (QChar c : name) {
        if (isUnwanted(c))
            continue;
        clean += c == QLatin1Char('/') || c == QLatin1Char('\\') ? QLatin1Char('_') : c;
    }
    clean = clean.trimmed();
    if (clean.isEmpty() || clean == QLatin1String(".") || clean == QLatin1String(".."))
        return fallback;
    if (clean.toUtf8().size() <= MaxNameBytes)
        return clean;
    const QFileInfo info(clean);
    QString extension = info.suffix();
    if (extension.size() > MaxExtensionLength || extension.size() == clean.size() - 1)
        extension.clear();
    const QString dotted = extension.isEmpty() ? QString() : QLatin1Char('.') + extension;
    QString base = extension.isEmpty() ? clean : clean.left(clean.size() - dotted.size());
    base = leftByUtf8(base, MaxNameBytes - int(dotted.toUtf8().size())).trimmed();
    if (base.isEmpty())
        return fallback;
    return base + dotted;
}

QStringList FileDropImport::localFilePaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    }
    return paths;
}

bool FileDropImport::canImport(const QMimeData *data)
{
    return data && (!localFilePaths(data).isEmpty() || data->hasFormat(MessageMimeType));
}

QString FileDropImport::mailMessageFileName(const QByteArray &message)
{
    // The header ends at the first empty line; continuation lines start with white space.
    const QString text = QString::fromLatin1(message.left(64 * 1024));
    QString subject;
    bool inSubject = false;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\\r?\\n")));
    for (const QString &line : lines) {
        if (line.isEmpty())
            break;
        if (inSubject && (line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t')))) {
            subject += QLatin1Char(' ') + line.trimmed();
            continue;
        }
        inSubject = false;
        if (line.startsWith(QLatin1String("Subject:"), Qt::CaseInsensitive)) {
            subject = line.mid(8).trimmed();
            inSubject = true;
        }
    }
    const QString decoded = decodeHeader(subject).simplified();
    const QString base = sanitizedFileName(decoded, DefaultMessageName);
    return sanitizedFileName(base + QLatin1Char('.') + MessageExtension);
}

FileDropImport::Result FileDropImport::importMimeData(const QMimeData *data, Person *person, ManagedObjectContext *context)
{
    Import import(person, context);
    if (!data)
        return import.result();
    for (const QString &path : localFilePaths(data))
        import.addFile(path);
    if (data->hasFormat(MessageMimeType)) {
        const QByteArray message = data->data(MessageMimeType);
        if (!message.isEmpty())
            import.addMessage(message);
    }
    return import.result();
}

FileDropImport::Result FileDropImport::importPaths(const QStringList &paths, Person *person, ManagedObjectContext *context)
{
    Import import(person, context);
    for (const QString &path : paths)
        import.addFile(path);
    return import.result();
}

QString FileDropImport::failureMessage(const Result &result)
{
    if (result.failedNames.isEmpty())
        return QString();
    if (result.failedNames.size() == 1)
        return QStringLiteral("The file \"%1\" could not be added. Please try again later.").arg(result.failedNames.first());
    return QStringLiteral("These files could not be added:\n%1\nPlease try again later.")
        .arg(result.failedNames.join(QLatin1Char('\n')));
}

void FileDropImport::reportFailures(const Result &result, QWidget *window)
{
    if (result.ok())
        return;
    QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(QStringLiteral("Error"), failureMessage(result), window);
}
