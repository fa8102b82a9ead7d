#include "platform/core/PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSaveFile>
#include <QStringList>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

namespace platform::core {

namespace {

void ensureLibxmlInitialised()
{
    // The parser's global tables must be set up once before threads use it concurrently.
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

struct DocFree {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
struct CtxtFree {
    void operator()(xmlParserCtxt *ctxt) const { xmlFreeParserCtxt(ctxt); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;
using CtxtPtr = std::unique_ptr<xmlParserCtxt, CtxtFree>;

const xmlChar *X(const char *s) { return reinterpret_cast<const xmlChar *>(s); }

bool nameIs(const xmlNode *node, const char *name) { return xmlStrEqual(node->name, X(name)); }

QString nodeName(const xmlNode *node) { return QString::fromUtf8(reinterpret_cast<const char *>(node->name)); }

// The C locale, strict: "1,000" is not a number.
const QLocale &strictC()
{
    static const QLocale locale = [] {
        QLocale l = QLocale::c();
        l.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
        return l;
    }();
    return locale;
}

bool isXmlBlank(const xmlChar *text)
{
    if (!text)
        return true;
    for (const xmlChar *p = text; *p; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
            return false;
    }
    return true;
}

QDError readError(qint64 code, const QString &path, const QString &detail)
{
    QVariantMap info;
    QString description;
    if (path.isEmpty()) {
        description = QStringLiteral("The property list couldn\u2019t be read: %1").arg(detail);
    } else {
        description = QStringLiteral("The file \u201c%1\u201d couldn\u2019t be read: %2").arg(path, detail);
        info.insert(QDError::FilePathKey, path);
    }
    return QDError::withDescription(QuendelErrorDomain, code, description, info);
}

QDError writeError(qint64 code, const QString &path, const QString &detail)
{
    QVariantMap info;
    QString description;
    if (path.isEmpty()) {
        description = QStringLiteral("The property list couldn\u2019t be written: %1").arg(detail);
    } else {
        description = QStringLiteral("The file \u201c%1\u201d couldn\u2019t be saved: %2").arg(path, detail);
        info.insert(QDError::FilePathKey, path);
    }
    return QDError::withDescription(QuendelErrorDomain, code, description, info);
}

// ---- reading ----

class TreeReader
{
public:
    QString detail; // first problem found

    bool fail(const xmlNode *node, const QString &what)
    {
        if (detail.isEmpty()) {
            const long line = node ? xmlGetLineNo(node) : -1;
            detail = line > 0 ? QStringLiteral("%1 (line %2).").arg(what).arg(line) : what + QLatin1Char('.');
        }
        return false;
    }

    // The character data of a leaf element. Anything but text (an element, an unexpanded entity) is refused.
    bool leafText(const xmlNode *element, QString &out)
    {
        QByteArray utf8;
        for (const xmlNode *child = element->children; child; child = child->next) {
            switch (child->type) {
            case XML_TEXT_NODE:
            case XML_CDATA_SECTION_NODE:
                if (child->content)
                    utf8.append(reinterpret_cast<const char *>(child->content));
                break;
            case XML_COMMENT_NODE:
            case XML_PI_NODE:
                break;
            case XML_ENTITY_REF_NODE:
                return fail(child, QStringLiteral("entity references are not supported in <%1>").arg(nodeName(element)));
            default:
                return fail(child, QStringLiteral("<%1> must hold only text").arg(nodeName(element)));
            }
        }
        out = QString::fromUtf8(utf8);
        return true;
    }

    bool value(const xmlNode *node, QVariant &out, int depth)
    {
        if (depth > PropertyList::MaxDepth)
            return fail(node, QStringLiteral("values are nested more than %1 levels deep").arg(PropertyList::MaxDepth));
        if (nameIs(node, "dict"))
            return dict(node, out, depth);
        if (nameIs(node, "array"))
            return array(node, out, depth);
        if (nameIs(node, "true") || nameIs(node, "false")) {
            QString text;
            if (!leafText(node, text))
                return false;
            if (!text.trimmed().isEmpty())
                return fail(node, QStringLiteral("<%1/> must be empty").arg(nodeName(node)));
            out = QVariant(nameIs(node, "true"));
            return true;
        }
        QString text;
        if (nameIs(node, "string")) {
            if (!leafText(node, text))
                return false;
            out = QVariant(text.isNull() ? QStringLiteral("") : text);
            return true;
        }
        if (nameIs(node, "integer")) {
            if (!leafText(node, text))
                return false;
            return integer(node, text.trimmed(), out);
        }
        if (nameIs(node, "real")) {
            if (!leafText(node, text))
                return false;
            return real(node, text.trimmed(), out);
        }
        if (nameIs(node, "date")) {
            if (!leafText(node, text))
                return false;
            return date(node, text.trimmed(), out);
        }
        if (nameIs(node, "data")) {
            if (!leafText(node, text))
                return false;
            QByteArray compact;
            compact.reserve(text.size());
            for (QChar c : text) {
                if (!c.isSpace())
                    compact.append(char(c.unicode() < 0x80 ? c.unicode() : '!'));
            }
            auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                return fail(node, QStringLiteral("<data> does not hold valid base64"));
            QByteArray bytes = decoded.decoded;
            if (bytes.isNull())
                bytes = QByteArray("");
            out = QVariant(bytes);
            return true;
        }
        return fail(node, QStringLiteral("unknown element <%1>").arg(nodeName(node)));
    }

    bool integer(const xmlNode *node, const QString &text, QVariant &out)
    {
        QString digits = text;
        bool negative = false;
        if (digits.startsWith(QLatin1Char('-')) || digits.startsWith(QLatin1Char('+'))) {
            negative = digits.startsWith(QLatin1Char('-'));
            digits.remove(0, 1);
        }
        int base = 10;
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
            base = 16;
            digits.remove(0, 2);
        }
        bool digitsOnly = !digits.isEmpty();
        for (QChar c : digits) {
            const bool ok = base == 10 ? (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                                       : (c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')));
            if (!ok || c.unicode() >= 0x80)
                digitsOnly = false;
        }
        bool ok = false;
        const quint64 magnitude = digitsOnly ? digits.toULongLong(&ok, base) : 0;
        if (!ok)
            return fail(node, QStringLiteral("\u201c%1\u201d is not an integer").arg(text));
        constexpr quint64 maxSigned = quint64(std::numeric_limits<qint64>::max());
        if (negative) {
            if (magnitude > maxSigned + 1)
                return fail(node, QStringLiteral("the integer %1 is out of range").arg(text));
            out = QVariant(magnitude == maxSigned + 1 ? std::numeric_limits<qint64>::min() : -qint64(magnitude));
        } else if (magnitude > maxSigned) {
            out = QVariant(magnitude);
        } else {
            out = QVariant(qint64(magnitude));
        }
        return true;
    }

    bool real(const xmlNode *node, const QString &text, QVariant &out)
    {
        const QString lower = text.toLower();
        if (lower == QLatin1String("nan")) {
            out = QVariant(std::numeric_limits<double>::quiet_NaN());
            return true;
        }
        if (lower == QLatin1String("inf") || lower == QLatin1String("+inf") || lower == QLatin1String("infinity")
            || lower == QLatin1String("+infinity")) {
            out = QVariant(std::numeric_limits<double>::infinity());
            return true;
        }
        if (lower == QLatin1String("-inf") || lower == QLatin1String("-infinity")) {
            out = QVariant(-std::numeric_limits<double>::infinity());
            return true;
        }
        bool ok = false;
        const double d = strictC().toDouble(text, &ok);
        if (!ok || text.isEmpty())
            return fail(node, QStringLiteral("\u201c%1\u201d is not a number").arg(text));
        out = QVariant(d);
        return true;
    }

    bool date(const xmlNode *node, const QString &text, QVariant &out)
    {
        // Dates are written in UTC with a trailing "Z"; one without a zone is taken as UTC as well.
        QDateTime d;
        const bool hasZone = text.endsWith(QLatin1Char('Z'))
            || (text.size() > 19 && (text.at(text.size() - 6) == QLatin1Char('+') || text.at(text.size() - 6) == QLatin1Char('-')));
        if (text.size() >= 19 && text.at(4) == QLatin1Char('-') && text.at(10) == QLatin1Char('T'))
            d = QDateTime::fromString(hasZone ? text : text + QLatin1Char('Z'), Qt::ISODateWithMs);
        if (!d.isValid())
            return fail(node, QStringLiteral("\u201c%1\u201d is not a date").arg(text));
        out = QVariant(d.toUTC());
        return true;
    }

    bool dict(const xmlNode *node, QVariant &out, int depth)
    {
        QVariantMap map;
        const xmlNode *pendingKey = nullptr;
        QString key;
        for (const xmlNode *child = node->children; child; child = child->next) {
            if (!structural(node, child))
                return false;
            if (child->type != XML_ELEMENT_NODE)
                continue;
            if (!pendingKey) {
                if (!nameIs(child, "key"))
                    return fail(child, QStringLiteral("expected <key> in <dict>, found <%1>").arg(nodeName(child)));
                if (!leafText(child, key))
                    return false;
                if (key.isNull())
                    key = QStringLiteral("");
                pendingKey = child;
                continue;
            }
            if (nameIs(child, "key"))
                return fail(child, QStringLiteral("the key \u201c%1\u201d has no value").arg(key));
            QVariant item;
            if (!value(child, item, depth + 1))
                return false;
            map.insert(key, item);
            pendingKey = nullptr;
        }
        if (pendingKey)
            return fail(pendingKey, QStringLiteral("the key \u201c%1\u201d has no value").arg(key));
        out = QVariant(map);
        return true;
    }

    bool array(const xmlNode *node, QVariant &out, int depth)
    {
        QVariantList list;
        for (const xmlNode *child = node->children; child; child = child->next) {
            if (!structural(node, child))
                return false;
            if (child->type != XML_ELEMENT_NODE)
                continue;
            QVariant item;
            if (!value(child, item, depth + 1))
                return false;
            list.append(item);
        }
        out = QVariant(list);
        return true;
    }

    // Inside a container only elements, blank text, comments and processing instructions may appear.
    bool structural(const xmlNode *parent, const xmlNode *child)
    {
        switch (child->type) {
        case XML_ELEMENT_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
            return true;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (isXmlBlank(child->content))
                return true;
            return fail(child, QStringLiteral("unexpected text in <%1>").arg(nodeName(parent)));
        default:
            return fail(child, QStringLiteral("unexpected content in <%1>").arg(nodeName(parent)));
        }
    }
};

bool isValueElementName(const xmlNode *node)
{
    static const char *const names[] = {"dict", "array", "string", "integer", "real", "true", "false", "date", "data"};
    for (const char *name : names) {
        if (nameIs(node, name))
            return true;
    }
    return false;
}

// ---- writing ----

// XML 1.0 cannot carry these characters at all (not even as character references), so a string holding
// one could be written but never read back.
bool isXmlWritable(const QString &text, QString *why)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) {
            *why = QStringLiteral("the text contains the control character U+%1").arg(int(c), 4, 16, QLatin1Char('0'));
            return false;
        }
        if (c == 0xFFFE || c == 0xFFFF) {
            *why = QStringLiteral("the text contains the non-character U+%1").arg(int(c), 4, 16, QLatin1Char('0')).toUpper();
            return false;
        }
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
                ++i;
                continue;
            }
            *why = QStringLiteral("the text contains an unpaired surrogate");
            return false;
        }
        if (QChar::isLowSurrogate(c)) {
            *why = QStringLiteral("the text contains an unpaired surrogate");
            return false;
        }
    }
    return true;
}

class TreeWriter
{
public:
    QString detail;

    bool fail(const QString &what)
    {
        if (detail.isEmpty())
            detail = what;
        return false;
    }

    xmlNode *leaf(xmlNode *parent, const char *name, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        // xmlNewTextChild stores the text as it is; the serialiser escapes it.
        return xmlNewTextChild(parent, nullptr, X(name), X(utf8.constData()));
    }

    bool checkedLeaf(xmlNode *parent, const char *name, const QString &text)
    {
        QString why;
        if (!isXmlWritable(text, &why))
            return fail(why);
        leaf(parent, name, text);
        return true;
    }

    bool value(xmlNode *parent, const QVariant &v, int depth)
    {
        if (depth > PropertyList::MaxDepth)
            return fail(QStringLiteral("values are nested more than %1 levels deep").arg(PropertyList::MaxDepth));
        if (!v.isValid())
            return fail(QStringLiteral("a property list cannot hold an empty value"));
        switch (v.typeId()) {
        case QMetaType::Bool:
            xmlNewChild(parent, nullptr, X(v.toBool() ? "true" : "false"), nullptr);
            return true;
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::Long:
        case QMetaType::LongLong:
            leaf(parent, "integer", QString::number(v.toLongLong()));
            return true;
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::UChar:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            leaf(parent, "integer", QString::number(v.toULongLong()));
            return true;
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = v.toDouble();
            QString text;
            if (std::isnan(d))
                text = QStringLiteral("nan");
            else if (std::isinf(d))
                text = d > 0 ? QStringLiteral("+infinity") : QStringLiteral("-infinity");
            else
                text = QString::number(d, 'g', QLocale::FloatingPointShortest);
            leaf(parent, "real", text);
            return true;
        }
        case QMetaType::QString:
            return checkedLeaf(parent, "string", v.toString());
        case QMetaType::QByteArray:
            leaf(parent, "data", QString::fromLatin1(v.toByteArray().toBase64()));
            return true;
        case QMetaType::QDateTime: {
            const QDateTime d = v.toDateTime();
            if (!d.isValid())
                return fail(QStringLiteral("a property list cannot hold an invalid date"));
            const QDateTime utc = d.toUTC();
            // An XML property list carries whole seconds in UTC; other readers reject a fraction, so it is dropped.
            const QString text = utc.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss'Z'"));
            if (utc.date().year() < 0 || utc.date().year() > 9999)
                return fail(QStringLiteral("the date %1 is outside the years 0 to 9999").arg(utc.toString(Qt::ISODate)));
            leaf(parent, "date", text);
            return true;
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList: {
            xmlNode *node = xmlNewChild(parent, nullptr, X("array"), nullptr);
            const QVariantList list = v.toList();
            for (const QVariant &item : list) {
                if (!value(node, item, depth + 1))
                    return false;
            }
            return true;
        }
        case QMetaType::QVariantMap:
            return map(parent, v.toMap(), depth);
        case QMetaType::QVariantHash: {
            QVariantMap sorted;
            const QVariantHash hash = v.toHash();
            for (auto it = hash.constBegin(); it != hash.constEnd(); ++it)
                sorted.insert(it.key(), it.value());
            return map(parent, sorted, depth);
        }
        case QMetaType::Nullptr:
            return fail(QStringLiteral("a property list cannot hold the null marker"));
        default:
            return fail(QStringLiteral("a property list cannot hold a value of type %1")
                            .arg(QString::fromLatin1(v.metaType().name() ? v.metaType().name() : "unknown")));
        }
    }

    bool map(xmlNode *parent, const QVariantMap &m, int depth)
    {
        xmlNode *node = xmlNewChild(parent, nullptr, X("dict"), nullptr);
        for (auto it = m.constBegin(); it != m.constEnd(); ++it) {
            if (!checkedLeaf(node, "key", it.key()))
                return false;
            if (!value(node, it.value(), depth + 1))
                return false;
        }
        return true;
    }
};

std::optional<QByteArray> serialise(const QVariant &value, QString &detail)
{
    ensureLibxmlInitialised();
    DocPtr doc(xmlNewDoc(X("1.0")));
    xmlNode *plist = xmlNewDocNode(doc.get(), nullptr, X("plist"), nullptr);
    xmlNewProp(plist, X("version"), X("1.0"));
    xmlDocSetRootElement(doc.get(), plist);

    TreeWriter writer;
    if (!writer.value(plist, value, 0)) {
        detail = writer.detail + QLatin1Char('.');
        return std::nullopt;
    }
    xmlChar *mem = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc.get(), &mem, &size, "UTF-8", 1);
    if (!mem) {
        detail = QStringLiteral("out of memory.");
        return std::nullopt;
    }
    QByteArray out(reinterpret_cast<const char *>(mem), size);
    xmlFree(mem);
    return out;
}

} // namespace

std::optional<QVariant> PropertyList::fromData(const QByteArray &data, QDError *error, const QString &sourcePath)
{
    if (data.isEmpty()) {
        setError(error, readError(MalformedError, sourcePath, QStringLiteral("the property list is empty.")));
        return std::nullopt;
    }
    if (data.startsWith("bplist")) {
        setError(error, readError(UnsupportedFormatError, sourcePath,
                                  QStringLiteral("binary property lists are not supported.")));
        return std::nullopt;
    }
    if (data.size() > MaxInputSize) {
        setError(error, readError(TooLargeError, sourcePath,
                                  QStringLiteral("the property list is larger than %1 bytes.").arg(MaxInputSize)));
        return std::nullopt;
    }

    ensureLibxmlInitialised();
    CtxtPtr ctxt(xmlNewParserCtxt());
    if (!ctxt) {
        setError(error, readError(FileReadError, sourcePath, QStringLiteral("out of memory.")));
        return std::nullopt;
    }
    // No network, no external subset, no entity substitution; the parser's own size and depth limits stay on.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
    DocPtr doc(xmlCtxtReadMemory(ctxt.get(), data.constData(), int(data.size()), nullptr, nullptr, options));
    if (!doc || !ctxt->wellFormed) {
        QString detail = QStringLiteral("the XML is not well-formed");
        if (const xmlError *e = xmlCtxtGetLastError(ctxt.get()); e && e->message) {
            detail = QString::fromUtf8(e->message).simplified();
            if (e->line > 0)
                detail += QStringLiteral(" (line %1)").arg(e->line);
        }
        setError(error, readError(MalformedError, sourcePath, detail + QLatin1Char('.')));
        return std::nullopt;
    }

    const xmlNode *root = xmlDocGetRootElement(doc.get());
    TreeReader reader;
    const xmlNode *valueNode = nullptr;
    if (root && nameIs(root, "plist")) {
        for (const xmlNode *child = root->children; child; child = child->next) {
            if (!reader.structural(root, child))
                break;
            if (child->type != XML_ELEMENT_NODE)
                continue;
            if (valueNode) {
                reader.fail(child, QStringLiteral("<plist> holds more than one value"));
                break;
            }
            valueNode = child;
        }
        if (!valueNode && reader.detail.isEmpty())
            reader.fail(root, QStringLiteral("<plist> holds no value"));
    } else if (root && isValueElementName(root)) {
        valueNode = root;
    } else {
        reader.fail(root, root ? QStringLiteral("the root element <%1> is not a property list").arg(nodeName(root))
                               : QStringLiteral("the document has no root element"));
    }
    if (!reader.detail.isEmpty()) {
        setError(error, readError(MalformedError, sourcePath, reader.detail));
        return std::nullopt;
    }
    QVariant result;
    if (!reader.value(valueNode, result, 0)) {
        setError(error, readError(MalformedError, sourcePath, reader.detail));
        return std::nullopt;
    }
    if (error)
        *error = QDError();
    return result;
}

std::optional<QVariant> PropertyList::readFile(const QString &path, QDError *error)
{
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        setError(error, readError(FileNotFoundError, path, QStringLiteral("there is no such file.")));
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, readError(FileReadError, path, file.errorString() + QLatin1Char('.')));
        return std::nullopt;
    }
    // Read one byte past the limit, so a file that grows while being read is still caught.
    const QByteArray data = file.read(MaxInputSize + 1);
    if (file.error() != QFileDevice::NoError) {
        setError(error, readError(FileReadError, path, file.errorString() + QLatin1Char('.')));
        return std::nullopt;
    }
    if (data.size() > MaxInputSize) {
        setError(error, readError(TooLargeError, path,
                                  QStringLiteral("the file is larger than %1 bytes.").arg(MaxInputSize)));
        return std::nullopt;
    }
    return fromData(data, error, path);
}

std::optional<QVariantMap> PropertyList::readDictionaryFile(const QString &path, QDError *error)
{
    const auto value = readFile(path, error);
    if (!value)
        return std::nullopt;
    if (value->typeId() != QMetaType::QVariantMap) {
        setError(error, readError(WrongRootError, path, QStringLiteral("the property list is not a dictionary.")));
        return std::nullopt;
    }
    return value->toMap();
}

std::optional<QVariantList> PropertyList::readArrayFile(const QString &path, QDError *error)
{
    const auto value = readFile(path, error);
    if (!value)
        return std::nullopt;
    if (value->typeId() != QMetaType::QVariantList) {
        setError(error, readError(WrongRootError, path, QStringLiteral("the property list is not an array.")));
        return std::nullopt;
    }
    return value->toList();
}

std::optional<QByteArray> PropertyList::toData(const QVariant &value, QDError *error)
{
    QString detail;
    auto data = serialise(value, detail);
    if (!data) {
        setError(error, writeError(InvalidValueError, QString(), detail));
        return std::nullopt;
    }
    if (error)
        *error = QDError();
    return data;
}

bool PropertyList::writeFile(const QVariant &value, const QString &path, QDError *error)
{
    QString detail;
    const auto data = serialise(value, detail);
    if (!data)
        return setError(error, writeError(InvalidValueError, path, detail));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return setError(error, writeError(FileWriteError, path, file.errorString() + QLatin1Char('.')));
    if (file.write(*data) != data->size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return setError(error, writeError(FileWriteError, path, why + QLatin1Char('.')));
    }
    if (!file.commit())
        return setError(error, writeError(FileWriteError, path, file.errorString() + QLatin1Char('.')));
    if (error)
        *error = QDError();
    return true;
}

} // namespace platform::core
