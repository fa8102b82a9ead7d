#include "platform/core/KeyedArchive.h"

#include <QDateTime>
#include <QHash>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace platform::core {

namespace {

// One byte before every value says what follows. The numbers are part of the stored format: never reuse
// or renumber them, only add new ones (with a new format version if old readers must refuse them).
enum Tag : quint8 {
    TagNil = 0x00,
    TagNull = 0x01,
    TagFalse = 0x02,
    TagTrue = 0x03,
    TagInt = 0x04,    // 8 bytes, little-endian two's complement
    TagUInt = 0x05,   // 8 bytes, little-endian, only for values above the signed range
    TagDouble = 0x06, // 8 bytes, little-endian IEEE 754
    TagString = 0x07, // length, UTF-8 bytes
    TagNullString = 0x08,
    TagData = 0x09, // length, bytes
    TagNullData = 0x0A,
    TagDate = 0x0B, // 8 bytes: milliseconds since 1970-01-01T00:00:00Z
    TagInvalidDate = 0x0C,
    TagList = 0x0D,           // count, values
    TagMap = 0x0E,            // count, (length-prefixed UTF-8 key, value) pairs
    TagDateComponents = 0x0F, // 16-bit mask of defined fields, then 8 bytes per defined field in field order
};

constexpr int HeaderSize = 4 + 2;

QDError makeError(qint64 code, const QString &description)
{
    return QDError::withDescription(QuendelErrorDomain, code, description);
}

class Writer
{
public:
    QByteArray out;
    QDError error;

    void byte(quint8 b) { out.append(char(b)); }
    void u16(quint16 v)
    {
        byte(quint8(v & 0xff));
        byte(quint8(v >> 8));
    }
    void u64(quint64 v)
    {
        for (int i = 0; i < 8; ++i)
            byte(quint8((v >> (8 * i)) & 0xff));
    }
    void varint(quint64 v)
    {
        while (v >= 0x80) {
            byte(quint8(v & 0x7f) | 0x80);
            v >>= 7;
        }
        byte(quint8(v));
    }
    void bytes(const QByteArray &b)
    {
        varint(quint64(b.size()));
        out.append(b);
    }

    bool fail(qint64 code, const QString &description)
    {
        if (error.isNull())
            error = makeError(code, description);
        return false;
    }

    bool value(const QVariant &v, int depth)
    {
        if (depth > KeyedArchive::MaxDepth)
            return fail(KeyedArchive::TooDeepError,
                        QStringLiteral("The value is nested more than %1 levels deep.").arg(KeyedArchive::MaxDepth));
        if (!v.isValid()) {
            byte(TagNil);
            return true;
        }
        const int type = v.typeId();
        switch (type) {
        case QMetaType::Nullptr:
            byte(TagNull);
            return true;
        case QMetaType::Bool:
            byte(v.toBool() ? TagTrue : TagFalse);
            return true;
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::Long:
        case QMetaType::LongLong:
            byte(TagInt);
            u64(quint64(v.toLongLong()));
            return true;
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::UChar:
        case QMetaType::ULong:
        case QMetaType::ULongLong: {
            const quint64 u = v.toULongLong();
            if (u > quint64(std::numeric_limits<qint64>::max())) {
                byte(TagUInt);
                u64(u);
            } else {
                byte(TagInt);
                u64(u);
            }
            return true;
        }
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = v.toDouble();
            quint64 bits = 0;
            std::memcpy(&bits, &d, sizeof bits);
            byte(TagDouble);
            u64(bits);
            return true;
        }
        case QMetaType::QString: {
            const QString s = v.toString();
            if (s.isNull()) {
                byte(TagNullString);
            } else {
                byte(TagString);
                bytes(s.toUtf8());
            }
            return true;
        }
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            if (b.isNull()) {
                byte(TagNullData);
            } else {
                byte(TagData);
                bytes(b);
            }
            return true;
        }
        case QMetaType::QDateTime: {
            const QDateTime d = v.toDateTime();
            if (!d.isValid()) {
                byte(TagInvalidDate);
            } else {
                byte(TagDate);
                u64(quint64(d.toMSecsSinceEpoch()));
            }
            return true;
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList: {
            const QVariantList list = v.toList();
            byte(TagList);
            varint(quint64(list.size()));
            for (const QVariant &item : list) {
                if (!value(item, depth + 1))
                    return false;
            }
            return true;
        }
        case QMetaType::QVariantMap: {
            const QVariantMap map = v.toMap();
            byte(TagMap);
            varint(quint64(map.size()));
            for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
                bytes(it.key().toUtf8());
                if (!value(it.value(), depth + 1))
                    return false;
            }
            return true;
        }
        case QMetaType::QVariantHash: {
            // Sorted, so that equal hashes give equal archives.
            const QVariantHash hash = v.toHash();
            QVariantMap map;
            for (auto it = hash.constBegin(); it != hash.constEnd(); ++it)
                map.insert(it.key(), it.value());
            return value(QVariant(map), depth);
        }
        default:
            break;
        }
        if (DateComponents::isDateComponents(v)) {
            const DateComponents c = v.value<DateComponents>();
            quint16 mask = 0;
            for (int f = 0; f < DateComponents::FieldCount; ++f) {
                if (c.isDefined(DateComponents::Field(f)))
                    mask |= quint16(1u << f);
            }
            byte(TagDateComponents);
            u16(mask);
            for (int f = 0; f < DateComponents::FieldCount; ++f) {
                if (mask & (1u << f))
                    u64(quint64(c.value(DateComponents::Field(f))));
            }
            return true;
        }
        return fail(KeyedArchive::UnsupportedValueError,
                    QStringLiteral("A value of type %1 cannot be archived.")
                        .arg(QString::fromLatin1(v.metaType().name() ? v.metaType().name() : "unknown")));
    }
};

class Reader
{
public:
    Reader(const QByteArray &data, qsizetype offset)
        : m_p(reinterpret_cast<const uchar *>(data.constData()) + offset),
          m_end(reinterpret_cast<const uchar *>(data.constData()) + data.size())
    {
    }

    QDError error;

    qsizetype remaining() const { return m_end - m_p; }

    bool corrupt(const QString &what)
    {
        if (error.isNull())
            error = makeError(KeyedArchive::CorruptArchiveError,
                              QStringLiteral("The archive is damaged: %1.").arg(what));
        return false;
    }

    bool byte(quint8 &b)
    {
        if (m_p >= m_end)
            return corrupt(QStringLiteral("it ends too early"));
        b = *m_p++;
        return true;
    }
    bool u16(quint16 &v)
    {
        if (remaining() < 2)
            return corrupt(QStringLiteral("it ends too early"));
        v = quint16(m_p[0] | (m_p[1] << 8));
        m_p += 2;
        return true;
    }
    bool u64(quint64 &v)
    {
        if (remaining() < 8)
            return corrupt(QStringLiteral("it ends too early"));
        v = 0;
        for (int i = 0; i < 8; ++i)
            v |= quint64(m_p[i]) << (8 * i);
        m_p += 8;
        return true;
    }
    bool varint(quint64 &v)
    {
        v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            quint8 b = 0;
            if (!byte(b))
                return false;
            if (shift == 63 && (b & 0x7e))
                return corrupt(QStringLiteral("a length is out of range"));
            v |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80))
                return true;
        }
        return corrupt(QStringLiteral("a length is out of range"));
    }
    // A length that must fit in what is left: bounds every allocation by the input's own size.
    bool length(quint64 &n)
    {
        if (!varint(n))
            return false;
        if (n > quint64(remaining()))
            return corrupt(QStringLiteral("a length runs past the end"));
        return true;
    }
    bool bytes(QByteArray &out)
    {
        quint64 n = 0;
        if (!length(n))
            return false;
        out = QByteArray(reinterpret_cast<const char *>(m_p), qsizetype(n));
        m_p += n;
        return true;
    }
    bool utf8(QString &out)
    {
        QByteArray raw;
        if (!bytes(raw))
            return false;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        out = decoder.decode(raw);
        if (decoder.hasError())
            return corrupt(QStringLiteral("a text is not valid UTF-8"));
        if (out.isNull())
            out = QStringLiteral("");
        return true;
    }

    bool value(QVariant &out, int depth)
    {
        if (depth > KeyedArchive::MaxDepth) {
            if (error.isNull())
                error = makeError(KeyedArchive::TooDeepError,
                                  QStringLiteral("The archive is nested more than %1 levels deep.")
                                      .arg(KeyedArchive::MaxDepth));
            return false;
        }
        quint8 tag = 0;
        if (!byte(tag))
            return false;
        switch (tag) {
        case TagNil:
            out = QVariant();
            return true;
        case TagNull:
            out = nullMarker();
            return true;
        case TagFalse:
        case TagTrue:
            out = QVariant(tag == TagTrue);
            return true;
        case TagInt: {
            quint64 v = 0;
            if (!u64(v))
                return false;
            out = QVariant(qint64(v));
            return true;
        }
        case TagUInt: {
            quint64 v = 0;
            if (!u64(v))
                return false;
            if (v <= quint64(std::numeric_limits<qint64>::max()))
                out = QVariant(qint64(v));
            else
                out = QVariant(quint64(v));
            return true;
        }
        case TagDouble: {
            quint64 bits = 0;
            if (!u64(bits))
                return false;
            double d;
            std::memcpy(&d, &bits, sizeof d);
            out = QVariant(d);
            return true;
        }
        case TagString: {
            QString s;
            if (!utf8(s))
                return false;
            out = QVariant(s);
            return true;
        }
        case TagNullString:
            out = QVariant(QString());
            return true;
        case TagData: {
            QByteArray b;
            if (!bytes(b))
                return false;
            if (b.isNull())
                b = QByteArray("");
            out = QVariant(b);
            return true;
        }
        case TagNullData:
            out = QVariant(QByteArray());
            return true;
        case TagDate: {
            quint64 v = 0;
            if (!u64(v))
                return false;
            out = QVariant(QDateTime::fromMSecsSinceEpoch(qint64(v), Qt::UTC));
            return true;
        }
        case TagInvalidDate:
            out = QVariant(QDateTime());
            return true;
        case TagList: {
            quint64 count = 0;
            if (!length(count)) // every element takes at least one byte
                return false;
            QVariantList list;
            // A claimed count is only a hint: damaged data must not make us allocate far beyond its own size.
            list.reserve(qsizetype(std::min<quint64>(count, 1024)));
            for (quint64 i = 0; i < count; ++i) {
                QVariant item;
                if (!value(item, depth + 1))
                    return false;
                list.append(item);
            }
            out = QVariant(list);
            return true;
        }
        case TagMap: {
            quint64 count = 0;
            if (!length(count))
                return false;
            QVariantMap map;
            for (quint64 i = 0; i < count; ++i) {
                QString key;
                if (!utf8(key))
                    return false;
                QVariant item;
                if (!value(item, depth + 1))
                    return false;
                map.insert(key, item);
            }
            out = QVariant(map);
            return true;
        }
        case TagDateComponents: {
            quint16 mask = 0;
            if (!u16(mask))
                return false;
            if (mask >> DateComponents::FieldCount)
                return corrupt(QStringLiteral("date components name an unknown field"));
            DateComponents c;
            for (int f = 0; f < DateComponents::FieldCount; ++f) {
                if (!(mask & (1u << f)))
                    continue;
                quint64 v = 0;
                if (!u64(v))
                    return false;
                c.setValue(DateComponents::Field(f), qint64(v));
            }
            out = QVariant::fromValue(c);
            return true;
        }
        default:
            return corrupt(QStringLiteral("unknown value tag 0x%1").arg(tag, 2, 16, QLatin1Char('0')));
        }
    }

private:
    const uchar *m_p;
    const uchar *m_end;
};

} // namespace

QByteArray KeyedArchive::archive(const QVariant &value, QDError *error)
{
    Writer w;
    w.out.append(Magic);
    w.u16(FormatVersion);
    if (!w.value(value, 0)) {
        setError(error, w.error);
        return QByteArray();
    }
    if (error)
        *error = QDError();
    return w.out;
}

bool KeyedArchive::isArchive(const QByteArray &data)
{
    return data.size() >= HeaderSize && data.startsWith(Magic);
}

std::optional<QVariant> KeyedArchive::unarchive(const QByteArray &data, QDError *error)
{
    if (!isArchive(data)) {
        setError(error, makeError(NotAnArchiveError, QStringLiteral("The data is not an archive.")));
        return std::nullopt;
    }
    const auto *p = reinterpret_cast<const uchar *>(data.constData()) + Magic.size();
    const quint16 version = quint16(p[0] | (p[1] << 8));
    if (version == 0 || version > FormatVersion) {
        setError(error, makeError(UnsupportedVersionError,
                                  QStringLiteral("The archive has format version %1; this program reads up to %2.")
                                      .arg(version)
                                      .arg(FormatVersion)));
        return std::nullopt;
    }
    Reader r(data, HeaderSize);
    QVariant root;
    if (!r.value(root, 0)) {
        setError(error, r.error);
        return std::nullopt;
    }
    if (r.remaining() != 0) {
        r.corrupt(QStringLiteral("%1 unexpected bytes follow the value").arg(r.remaining()));
        setError(error, r.error);
        return std::nullopt;
    }
    if (error)
        *error = QDError();
    return root;
}

} // namespace platform::core
