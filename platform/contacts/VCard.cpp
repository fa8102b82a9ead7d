#include "platform/contacts/VCard.h"

#include <QStringDecoder>

namespace platform::contacts {

using platform::core::QDError;

bool VCardProperty::hasParameter(const QString &paramName) const
{
    for (const VCardParameter &p : parameters)
        if (p.name == paramName)
            return true;
    return false;
}

QStringList VCardProperty::parameterValues(const QString &paramName) const
{
    QStringList values;
    for (const VCardParameter &p : parameters)
        if (p.name == paramName)
            values += p.values;
    return values;
}

QStringList VCardProperty::types() const
{
    QStringList result;
    for (const VCardParameter &p : parameters) {
        if (p.name != QLatin1String("TYPE"))
            continue;
        for (const QString &v : p.values)
            for (const QString &part : v.split(QLatin1Char(','), Qt::SkipEmptyParts))
                result << part.trimmed().toLower();
    }
    return result;
}

void VCardProperty::setParameter(const QString &paramName, const QStringList &values)
{
    removeParameter(paramName);
    if (!values.isEmpty())
        parameters.append({paramName, values});
}

void VCardProperty::removeParameter(const QString &paramName)
{
    parameters.removeIf([&](const VCardParameter &p) { return p.name == paramName; });
}

const VCardProperty *VCard::property(const QString &propertyName) const
{
    for (const VCardProperty &p : properties)
        if (p.name == propertyName)
            return &p;
    return nullptr;
}

VCardProperty *VCard::property(const QString &propertyName)
{
    for (VCardProperty &p : properties)
        if (p.name == propertyName)
            return &p;
    return nullptr;
}

QList<VCardProperty> VCard::all(const QString &propertyName) const
{
    QList<VCardProperty> result;
    for (const VCardProperty &p : properties)
        if (p.name == propertyName)
            result << p;
    return result;
}

void VCard::removeAll(const QString &propertyName)
{
    properties.removeIf([&](const VCardProperty &p) { return p.name == propertyName; });
}

namespace {

QDError codecError(qint64 code, const QString &text, int line)
{
    QDError error = QDError::withDescription(VCardErrorDomain, code, text);
    if (line > 0)
        error.setUserInfoValue(QStringLiteral("line"), line);
    return error;
}

struct LogicalLine
{
    QByteArray text;
    int number = 0;
};

// The part of a line before its first colon outside quotes, or -1 when there is none.
qsizetype headerEnd(const QByteArray &line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted)
            return i;
    }
    return -1;
}

bool isQuotedPrintable(const QByteArray &line)
{
    const qsizetype end = headerEnd(line);
    return end > 0 && line.left(end).toUpper().contains("QUOTED-PRINTABLE");
}

QList<LogicalLine> logicalLines(const QByteArray &data)
{
    QList<QByteArray> physical;
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (c == '\r' || c == '\n') {
            physical << data.mid(start, i - start);
            if (c == '\r' && i + 1 < data.size() && data.at(i + 1) == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < data.size())
        physical << data.mid(start);

    QList<LogicalLine> lines;
    for (int n = 0; n < physical.size(); ++n) {
        const QByteArray &line = physical.at(n);
        if (!lines.isEmpty() && !line.isEmpty() && (line.at(0) == ' ' || line.at(0) == '\t')) {
            lines.last().text += line.mid(1);
            continue;
        }
        // A quoted-printable soft break ends the physical line with "=" and carries on unindented.
        if (!lines.isEmpty() && lines.last().text.endsWith('=') && isQuotedPrintable(lines.last().text)) {
            lines.last().text.chop(1);
            lines.last().text += line;
            continue;
        }
        if (line.trimmed().isEmpty())
            continue;
        lines.append({line, n + 1});
    }
    return lines;
}

QString decodeParameterValue(QByteArray v)
{
    v = v.trimmed();
    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
        v = v.mid(1, v.size() - 2);
    QString text = QString::fromUtf8(v);
    if (!text.contains(QLatin1Char('^')))
        return text;
    // Caret escapes of parameter values: ^n, ^' and ^^.
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('^') && i + 1 < text.size()) {
            const QChar next = text.at(i + 1);
            if (next == QLatin1Char('n') || next == QLatin1Char('N')) {
                out += QLatin1Char('\n');
                ++i;
                continue;
            }
            if (next == QLatin1Char('\'')) {
                out += QLatin1Char('"');
                ++i;
                continue;
            }
            if (next == QLatin1Char('^')) {
                out += QLatin1Char('^');
                ++i;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

QList<QByteArray> splitOutsideQuotes(const QByteArray &text, char separator)
{
    QList<QByteArray> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '"')
            quoted = !quoted;
        else if (c == separator && !quoted) {
            parts << text.mid(start, i - start);
            start = i + 1;
        }
    }
    parts << text.mid(start);
    return parts;
}

bool validName(const QByteArray &name)
{
    if (name.isEmpty())
        return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c == '=' && i + 2 < in.size()) {
            const int hi = hexValue(in.at(i + 1));
            const int lo = hexValue(in.at(i + 2));
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        if (c == '=' && i == in.size() - 1)
            continue;
        out += c;
    }
    return out;
}

QString decodeText(const QByteArray &bytes, const QString &charset)
{
    if (!charset.isEmpty() && charset.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0) {
        QStringDecoder decoder(charset.toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    // Cards written by older tools without a charset are often Latin-1.
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

bool parseLine(const LogicalLine &line, VCardProperty *out)
{
    const qsizetype colon = headerEnd(line.text);
    if (colon <= 0)
        return false;
    const QList<QByteArray> head = splitOutsideQuotes(line.text.left(colon), ';');
    QByteArray fullName = head.first().trimmed();
    const qsizetype dot = fullName.lastIndexOf('.');
    if (dot >= 0) {
        out->group = QString::fromUtf8(fullName.left(dot));
        fullName = fullName.mid(dot + 1);
        if (!validName(out->group.toUtf8()))
            return false;
    }
    if (!validName(fullName))
        return false;
    out->name = QString::fromLatin1(fullName).toUpper();

    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArray param = head.at(i).trimmed();
        if (param.isEmpty())
            continue;
        const qsizetype eq = param.indexOf('=');
        VCardParameter parameter;
        if (eq < 0) {
            // A bare 2.1 parameter: an encoding or a type.
            const QString bare = QString::fromUtf8(param).toUpper();
            if (bare == QLatin1String("QUOTED-PRINTABLE") || bare == QLatin1String("BASE64") ||
                bare == QLatin1String("8BIT") || bare == QLatin1String("7BIT"))
                parameter.name = QStringLiteral("ENCODING");
            else
                parameter.name = QStringLiteral("TYPE");
            parameter.values << bare;
        } else {
            const QByteArray name = param.left(eq).trimmed();
            if (!validName(name))
                return false;
            parameter.name = QString::fromLatin1(name).toUpper();
            for (const QByteArray &v : splitOutsideQuotes(param.mid(eq + 1), ','))
                parameter.values << decodeParameterValue(v);
        }
        // Repeated TYPE parameters merge, so TYPE=a;TYPE=b reads like TYPE=a,b.
        bool merged = false;
        for (VCardParameter &existing : out->parameters) {
            if (existing.name == parameter.name) {
                existing.values += parameter.values;
                merged = true;
                break;
            }
        }
        if (!merged)
            out->parameters << parameter;
    }

    QByteArray value = line.text.mid(colon + 1);
    QStringList encodings = out->parameterValues(QStringLiteral("ENCODING"));
    const bool qp = std::any_of(encodings.cbegin(), encodings.cend(), [](const QString &e) {
        return e.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0;
    });
    const QStringList charsets = out->parameterValues(QStringLiteral("CHARSET"));
    if (qp) {
        value = decodeQuotedPrintable(value);
        out->removeParameter(QStringLiteral("ENCODING"));
        QString text = decodeText(value, charsets.value(0));
        // Decoded quoted-printable is plain text; keep it as an escaped value like every other line.
        if (out->name == QLatin1String("N") || out->name == QLatin1String("ADR") || out->name == QLatin1String("ORG"))
            text.replace(QLatin1String("\r\n"), QLatin1String("\\n")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
        else
            text = VCardCodec::escape(text);
        out->value = text;
    } else {
        out->value = decodeText(value, charsets.value(0));
    }
    out->removeParameter(QStringLiteral("CHARSET"));
    return true;
}

} // namespace

QList<VCard> VCardCodec::read(const QByteArray &data, QDError *error)
{
    if (data.size() > MaximumFileSize) {
        setError(error, codecError(TooLargeError, QStringLiteral("The file is larger than a contact card can be."), 0));
        return {};
    }
    QList<VCard> cards;
    VCard current;
    int depth = 0;
    int beginLine = 0;
    for (const LogicalLine &line : logicalLines(data)) {
        const QByteArray upper = line.text.trimmed().toUpper();
        if (upper == "BEGIN:VCARD") {
            if (depth == 0) {
                current = VCard();
                current.version = QStringLiteral("3.0");
                beginLine = line.number;
            }
            ++depth;
            continue;
        }
        if (upper == "END:VCARD") {
            if (depth == 0) {
                setError(error, codecError(MalformedLineError,
                                           QStringLiteral("Line %1 ends a card that was never begun.").arg(line.number),
                                           line.number));
                return {};
            }
            if (--depth == 0)
                cards << current;
            continue;
        }
        if (depth == 0)
            continue; // text between cards is not ours to judge
        if (depth > 1)
            continue; // a card nested in a property of 2.1 is not imported
        VCardProperty property;
        if (!parseLine(line, &property)) {
            setError(error,
                     codecError(MalformedLineError,
                                QStringLiteral("Line %1 is not a valid contact card line.").arg(line.number), line.number));
            return {};
        }
        if (property.name == QLatin1String("VERSION")) {
            current.version = property.value.trimmed();
            continue;
        }
        current.properties << property;
    }
    if (depth > 0) {
        setError(error, codecError(UnterminatedCardError,
                                   QStringLiteral("The card begun on line %1 has no end; the file may be cut short.")
                                       .arg(beginLine),
                                   beginLine));
        return {};
    }
    if (cards.isEmpty()) {
        setError(error, codecError(NoCardError, QStringLiteral("The file holds no contact card."), 0));
        return {};
    }
    return cards;
}

namespace {

QByteArray encodeParameterValue(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('^'), QLatin1String("^^"))
        .replace(QLatin1Char('"'), QLatin1String("^'"))
        .replace(QLatin1String("\r\n"), QLatin1String("^n"))
        .replace(QLatin1Char('\n'), QLatin1String("^n"));
    QByteArray bytes = v.toUtf8();
    if (bytes.contains(':') || bytes.contains(';') || bytes.contains(','))
        bytes = '"' + bytes + '"';
    return bytes;
}

void appendFolded(QByteArray &out, const QByteArray &line)
{
    constexpr qsizetype limit = 75;
    qsizetype pos = 0;
    bool first = true;
    while (pos < line.size()) {
        const qsizetype room = first ? limit : limit - 1;
        qsizetype end = std::min(line.size(), pos + room);
        // Never cut inside a UTF-8 sequence: back up over continuation bytes.
        if (end < line.size())
            while (end > pos + 1 && (uchar(line.at(end)) & 0xC0) == 0x80)
                --end;
        if (!first)
            out += ' ';
        out += line.mid(pos, end - pos);
        out += "\r\n";
        pos = end;
        first = false;
    }
}

} // namespace

QByteArray VCardCodec::write(const VCard &card)
{
    QByteArray out;
    out += "BEGIN:VCARD\r\n";
    out += "VERSION:" + (card.version.isEmpty() ? QByteArray("4.0") : card.version.toUtf8()) + "\r\n";
    for (const VCardProperty &p : card.properties) {
        QByteArray line;
        if (!p.group.isEmpty())
            line += p.group.toUtf8() + '.';
        line += p.name.toUtf8();
        for (const VCardParameter &param : p.parameters) {
            line += ';' + param.name.toUtf8();
            if (param.values.isEmpty())
                continue;
            line += '=';
            for (qsizetype i = 0; i < param.values.size(); ++i) {
                if (i)
                    line += ',';
                line += encodeParameterValue(param.values.at(i));
            }
        }
        line += ':';
        QString value = p.value;
        // A raw newline would end the line; written values never carry one.
        value.replace(QLatin1String("\r\n"), QLatin1String("\\n")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
        value.remove(QLatin1Char('\r'));
        line += value.toUtf8();
        appendFolded(out, line);
    }
    out += "END:VCARD\r\n";
    return out;
}

QString VCardCodec::unescape(const QString &raw)
{
    if (!raw.contains(QLatin1Char('\\')))
        return raw;
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            const QChar next = raw.at(++i);
            if (next == QLatin1Char('n') || next == QLatin1Char('N'))
                out += QLatin1Char('\n');
            else
                out += next;
            continue;
        }
        out += c;
    }
    return out;
}

QString VCardCodec::escape(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            continue;
        else if (c == QLatin1Char(',') || c == QLatin1Char(';')) {
            out += QLatin1Char('\\');
            out += c;
        } else
            out += c;
    }
    return out;
}

QStringList VCardCodec::splitComponents(const QString &raw, QChar separator)
{
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            current += c;
            current += raw.at(++i);
            continue;
        }
        if (c == separator) {
            parts << unescape(current);
            current.clear();
            continue;
        }
        current += c;
    }
    parts << unescape(current);
    return parts;
}

QString VCardCodec::joinComponents(const QStringList &components, QChar separator)
{
    QStringList escaped;
    for (const QString &c : components)
        escaped << escape(c);
    return escaped.join(separator);
}

} // namespace platform::contacts
