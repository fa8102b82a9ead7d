#include "platform/cloud/RecordCodec.h"

#include "platform/cloud/CloudError.h"

#include <QCborArray>
#include <QCborMap>
#include <QUrl>

#include <QStringDecoder>

#include <cmath>
#include <cstring>
#include <limits>

namespace platform::cloud {

using platform::core::QDError;

namespace {

bool fail(QDError *error, const QString &what)
{
    return platform::core::setError(error, CloudErrors::make(InvalidArguments, what));
}

QCborValue encodeReference(const Reference &reference)
{
    const RecordID &id = reference.recordID();
    return QCborArray{id.recordName(), id.hasZone() ? id.zoneID().zoneName() : QString(),
                      id.hasZone() ? id.zoneID().ownerName() : QString(), qint64(reference.action())};
}

std::optional<Reference> decodeReference(const QCborValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    const QCborArray array = value.toArray();
    if (array.size() != 4 || !array[0].isString() || !array[1].isString() || !array[2].isString() ||
        !array[3].isInteger())
        return std::nullopt;
    const QString name = array[0].toString();
    const QString zone = array[1].toString();
    const QString owner = array[2].toString();
    const qint64 action = array[3].toInteger();
    if (name.isEmpty() || (action != 0 && action != 1) || (!zone.isEmpty() && owner.isEmpty()))
        return std::nullopt;
    return Reference(RecordID(name, zone.isEmpty() ? RecordZoneID() : RecordZoneID(zone, owner)),
                     Reference::Action(action));
}

bool isNumber(const QCborValue &value) { return value.isDouble() || value.isInteger(); }

template <typename T, typename F> std::optional<QList<T>> decodeList(const QCborValue &value, F item)
{
    if (!value.isArray())
        return std::nullopt;
    const QCborArray array = value.toArray();
    if (array.size() > RecordCodec::MaxListItems)
        return std::nullopt;
    QList<T> list;
    list.reserve(array.size());
    for (const QCborValue &entry : array) {
        std::optional<T> decoded = item(entry);
        if (!decoded)
            return std::nullopt;
        list.append(*decoded);
    }
    return list;
}

std::optional<QDateTime> decodeDate(const QCborValue &value)
{
    if (!value.isInteger())
        return std::nullopt;
    // Dates far outside what anyone records are damage, not data.
    const qint64 ms = value.toInteger();
    constexpr qint64 Limit = 253402300799999LL; // the end of year 9999
    if (ms < -Limit || ms > Limit)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

bool validFieldName(const QString &key)
{
    return !key.isEmpty() && key.size() <= RecordCodec::MaxFieldNameLength;
}

QCborValue encodeZone(const RecordZoneID &zone)
{
    return QCborArray{zone.zoneName(), zone.ownerName()};
}

std::optional<RecordZoneID> decodeZone(const QCborValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    const QCborArray array = value.toArray();
    if (array.size() != 2 || !array[0].isString() || !array[1].isString())
        return std::nullopt;
    if (array[0].toString().isEmpty())
        return RecordZoneID();
    return RecordZoneID(array[0].toString(), array[1].toString());
}


// ---- Direct CBOR writing and reading of record fields ----
//
// Every save encodes and every fetch decodes a record's fields, so both go straight between the bytes and
// the field values, without a tree of CBOR values in between. The bytes are the ones the tree would give
// (definite lengths, shortest integer heads, doubles in eight bytes, maps in the order written). Reading
// takes the direct way only for data written that way; anything else goes through the general parser,
// which also words the errors.

class CborWriter
{
public:
    explicit CborWriter(QByteArray &out) : m_out(out) {}

    void head(quint8 major, quint64 value)
    {
        const char m = char(major << 5);
        if (value < 24) {
            m_out.append(char(m | char(value)));
        } else if (value <= 0xff) {
            m_out.append(char(m | 24));
            m_out.append(char(value));
        } else if (value <= 0xffff) {
            m_out.append(char(m | 25));
            appendBigEndian(value, 2);
        } else if (value <= 0xffffffffULL) {
            m_out.append(char(m | 26));
            appendBigEndian(value, 4);
        } else {
            m_out.append(char(m | 27));
            appendBigEndian(value, 8);
        }
    }
    void integer(qint64 value)
    {
        if (value >= 0)
            head(0, quint64(value));
        else
            head(1, quint64(-1 - value));
    }
    void real(double value)
    {
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        m_out.append(char(0xfb));
        appendBigEndian(bits, 8);
    }
    void text(const QString &value)
    {
        // Names and most values are plain ASCII: written straight, one byte a character.
        const qsizetype n = value.size();
        const char16_t *chars = reinterpret_cast<const char16_t *>(value.constData());
        qsizetype i = 0;
        while (i < n && chars[i] < 0x80)
            ++i;
        if (i < n) {
            const QByteArray utf8 = value.toUtf8();
            head(3, quint64(utf8.size()));
            m_out.append(utf8);
            return;
        }
        head(3, quint64(n));
        const qsizetype at = m_out.size();
        m_out.resize(at + n);
        char *out = m_out.data() + at;
        for (i = 0; i < n; ++i)
            out[i] = char(chars[i]);
    }
    void text(QLatin1StringView value)
    {
        head(3, quint64(value.size()));
        m_out.append(value.data(), value.size());
    }
    void bytes(const QByteArray &value)
    {
        head(2, quint64(value.size()));
        m_out.append(value);
    }
    void array(qsizetype count) { head(4, quint64(count)); }
    void map(qsizetype count) { head(5, quint64(count)); }
    void value(const QCborValue &value) { m_out.append(value.toCbor()); }

private:
    void appendBigEndian(quint64 value, int width)
    {
        for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
            m_out.append(char((value >> shift) & 0xff));
    }

    QByteArray &m_out;
};

void writeReference(CborWriter &w, const Reference &reference)
{
    const RecordID &id = reference.recordID();
    w.array(4);
    w.text(id.recordName());
    w.text(id.hasZone() ? id.zoneID().zoneName() : QString());
    w.text(id.hasZone() ? id.zoneID().ownerName() : QString());
    w.integer(qint64(reference.action()));
}

// The value as [kind, payload]; false with the error when it cannot be stored.
bool writeValue(CborWriter &w, const FieldValue &value, const RecordCodec::AssetEncoder &assets, QDError *error)
{
    if (value.kind() == FieldValue::Kind::Null)
        return fail(error, QStringLiteral("A field without a value cannot be stored."));
    QCborValue assetPayload;
    if (value.kind() == FieldValue::Kind::Asset) {
        QDError assetError;
        assetPayload = assets(value.toAsset(), &assetError);
        if (!assetError.isNull())
            return platform::core::setError(error, assetError);
    }
    w.array(2);
    w.integer(qint64(value.kind()));
    switch (value.kind()) {
    case FieldValue::Kind::Null: break;
    case FieldValue::Kind::String: w.text(value.toString()); break;
    case FieldValue::Kind::Integer: w.integer(value.toInteger()); break;
    case FieldValue::Kind::Double: w.real(value.toDouble()); break;
    case FieldValue::Kind::Date: w.integer(value.toDate().toMSecsSinceEpoch()); break;
    case FieldValue::Kind::Bytes: w.bytes(value.toBytes()); break;
    case FieldValue::Kind::Reference: writeReference(w, value.toReference()); break;
    case FieldValue::Kind::Asset: w.value(assetPayload); break;
    case FieldValue::Kind::Location: {
        const Location location = value.toLocation();
        w.array(2);
        w.real(location.latitude());
        w.real(location.longitude());
        break;
    }
    case FieldValue::Kind::ReferenceList: {
        const ReferenceList list = value.toReferenceList();
        w.array(list.size());
        for (const Reference &reference : list)
            writeReference(w, reference);
        break;
    }
    case FieldValue::Kind::StringList: {
        const QStringList list = value.toStringList();
        w.array(list.size());
        for (const QString &item : list)
            w.text(item);
        break;
    }
    case FieldValue::Kind::IntegerList: {
        const QList<qint64> list = value.toIntegerList();
        w.array(list.size());
        for (qint64 item : list)
            w.integer(item);
        break;
    }
    case FieldValue::Kind::DoubleList: {
        const QList<double> list = value.toDoubleList();
        w.array(list.size());
        for (double item : list)
            w.real(item);
        break;
    }
    case FieldValue::Kind::DateList: {
        const QList<QDateTime> list = value.toDateList();
        w.array(list.size());
        for (const QDateTime &item : list)
            w.integer(item.toMSecsSinceEpoch());
        break;
    }
    }
    return true;
}

// Reads definite-length items; any other form makes it give up (ok() false) and leaves the data to the
// general parser.
class CborReader
{
public:
    explicit CborReader(const QByteArray &data)
        : m_at(reinterpret_cast<const uchar *>(data.constData())), m_end(m_at + data.size())
    {
    }

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at == m_end; }
    void giveUp() { m_ok = false; }

    // The next item's major type without reading it; -1 at the end.
    int peekMajor() const { return m_ok && m_at < m_end ? int(*m_at >> 5) : -1; }

    quint64 head(int major)
    {
        if (!m_ok || m_at >= m_end || int(*m_at >> 5) != major)
            return fail0();
        const uchar info = *m_at++ & 0x1f;
        if (info < 24)
            return info;
        const int width = info == 24 ? 1 : info == 25 ? 2 : info == 26 ? 4 : info == 27 ? 8 : 0;
        if (width == 0 || m_end - m_at < width)
            return fail0();
        quint64 value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | *m_at++;
        return value;
    }
    qsizetype count(int major, qsizetype limit)
    {
        const quint64 n = head(major);
        if (n > quint64(limit) || n > quint64(m_end - m_at))
            giveUp();
        return m_ok ? qsizetype(n) : 0;
    }
    bool isInteger() const { const int m = peekMajor(); return m == 0 || m == 1; }
    bool isDouble() const { return m_ok && m_at < m_end && *m_at == 0xfb; }
    qint64 integer()
    {
        const int major = peekMajor();
        const quint64 n = head(major == 1 ? 1 : 0);
        if (n > quint64(std::numeric_limits<qint64>::max()))
            giveUp(); // held as a double by the general parser
        return major == 1 ? -1 - qint64(n) : qint64(n);
    }
    double real()
    {
        if (!isDouble() || m_end - m_at < 9)
            return fail0();
        ++m_at;
        quint64 bits = 0;
        for (int i = 0; i < 8; ++i)
            bits = (bits << 8) | *m_at++;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    double number() { return isDouble() ? real() : double(integer()); }
    QString text()
    {
        const qsizetype n = count(3, MaxItemBytes);
        if (!m_ok)
            return {};
        // Names and most values are plain ASCII, which needs no decoding; looked for eight bytes at a time.
        bool ascii = true;
        qsizetype i = 0;
        for (; i + 8 <= n; i += 8) {
            quint64 word;
            std::memcpy(&word, m_at + i, sizeof word);
            if (word & 0x8080808080808080ULL) {
                ascii = false;
                break;
            }
        }
        for (; i < n && ascii; ++i)
            ascii = m_at[i] < 0x80;
        QString value;
        if (ascii) {
            value = QString::fromLatin1(reinterpret_cast<const char *>(m_at), n);
        } else {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            value = decoder(QByteArrayView(m_at, n));
            if (decoder.hasError())
                giveUp();
        }
        m_at += n;
        // An empty text reads as an empty (not null) string, as the general parser gives it.
        return value.isNull() ? QStringLiteral("") : value;
    }
    QByteArray bytes()
    {
        const qsizetype n = count(2, MaxItemBytes);
        if (!m_ok)
            return {};
        // An empty byte string reads as an empty (not null) array, as the general parser gives it.
        QByteArray value = n == 0 ? QByteArray("") : QByteArray(reinterpret_cast<const char *>(m_at), n);
        m_at += n;
        return value;
    }
    // A field name: the same few names come in every record, so each is made once per thread and shared.
    QString key()
    {
        const uchar *start = m_at;
        const qsizetype n = count(3, RecordCodec::MaxFieldNameLength * 3);
        if (!m_ok)
            return {};
        // Records of one type hold the same names in the same order: the search starts after the last
        // name found.
        struct KnownNames
        {
            std::vector<std::pair<QByteArray, QString>> names;
            size_t next = 0;
        };
        thread_local KnownNames table;
        KnownNames &names = table;
        std::vector<std::pair<QByteArray, QString>> &known = names.names;
        size_t &next = names.next;
        const QByteArrayView bytes(m_at, n);
        const size_t size = known.size();
        for (size_t k = 0; k < size; ++k) {
            const size_t at = (next + k) % size;
            const QByteArray &raw = known[at].first;
            if (raw.size() == n && std::memcmp(raw.constData(), m_at, size_t(n)) == 0) {
                m_at += n;
                next = at + 1;
                return known[at].second;
            }
        }
        m_at = start; // read it again as a text
        QString name = text();
        if (m_ok && known.size() < 256)
            known.emplace_back(bytes.toByteArray(), name);
        return name;
    }

    // One whole item of any definite form, as the general parser reads it.
    QCborValue item()
    {
        const uchar *start = m_at;
        skip(0);
        if (!m_ok)
            return {};
        QCborParserError parseError;
        QCborValue value =
            QCborValue::fromCbor(QByteArray(reinterpret_cast<const char *>(start), m_at - start), &parseError);
        if (parseError.error != QCborError::NoError) {
            giveUp();
            return {};
        }
        return value;
    }

private:
    static constexpr qsizetype MaxItemBytes = RecordCodec::MaxFieldsBytes;

    quint64 fail0()
    {
        m_ok = false;
        return 0;
    }
    void skip(int depth)
    {
        if (depth > 16 || !m_ok || m_at >= m_end)
            return giveUp();
        const int major = *m_at >> 5;
        switch (major) {
        case 0:
        case 1: head(major); return;
        case 2:
        case 3: m_at += count(major, MaxItemBytes); return;
        case 4: {
            const qsizetype n = count(4, RecordCodec::MaxListItems);
            for (qsizetype i = 0; i < n && m_ok; ++i)
                skip(depth + 1);
            return;
        }
        case 5: {
            const qsizetype n = count(5, RecordCodec::MaxFieldCount);
            for (qsizetype i = 0; i < 2 * n && m_ok; ++i)
                skip(depth + 1);
            return;
        }
        default:
            if (isDouble()) {
                real();
                return;
            }
            giveUp(); // tags and simple values: the general parser's part
        }
    }

    const uchar *m_at;
    const uchar *m_end;
    bool m_ok = true;
};

std::optional<Reference> readReference(CborReader &r)
{
    if (r.count(4, 4) != 4)
        r.giveUp();
    const QString name = r.text();
    const QString zone = r.text();
    const QString owner = r.text();
    const qint64 action = r.isInteger() ? r.integer() : -1;
    if (!r.ok() || name.isEmpty() || (action != 0 && action != 1) || (!zone.isEmpty() && owner.isEmpty()))
        return std::nullopt;
    return Reference(RecordID(name, zone.isEmpty() ? RecordZoneID() : RecordZoneID(zone, owner)),
                     Reference::Action(action));
}

std::optional<QDateTime> readDate(CborReader &r)
{
    if (!r.isInteger())
        return std::nullopt;
    const qint64 ms = r.integer();
    constexpr qint64 Limit = 253402300799999LL;
    if (!r.ok() || ms < -Limit || ms > Limit)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

// [kind, payload] as a field value; nullopt when the general parser has to look (damage included).
std::optional<FieldValue> readValue(CborReader &r, const RecordCodec::AssetDecoder &assets)
{
    if (r.count(4, 2) != 2 || !r.isInteger())
        return std::nullopt;
    const qint64 kind = r.integer();
    const auto list = [&r]() { return r.count(4, RecordCodec::MaxListItems); };
    std::optional<FieldValue> result;
    switch (FieldValue::Kind(kind)) {
    case FieldValue::Kind::String:
        if (r.peekMajor() == 3)
            result = FieldValue(r.text());
        break;
    case FieldValue::Kind::Integer:
        if (r.isInteger())
            result = FieldValue(r.integer());
        break;
    case FieldValue::Kind::Double:
        if (r.isInteger() || r.isDouble())
            result = FieldValue(r.number());
        break;
    case FieldValue::Kind::Date:
        if (const std::optional<QDateTime> date = readDate(r))
            result = FieldValue(*date);
        break;
    case FieldValue::Kind::Bytes:
        if (r.peekMajor() == 2)
            result = FieldValue(r.bytes());
        break;
    case FieldValue::Kind::Reference:
        if (const std::optional<Reference> reference = readReference(r))
            result = FieldValue(*reference);
        break;
    case FieldValue::Kind::Asset: {
        const QCborValue payload = r.item();
        QDError assetError;
        const Asset asset = r.ok() ? assets(payload, &assetError) : Asset();
        if (assetError.isNull() && !asset.isNull())
            result = FieldValue(asset);
        break;
    }
    case FieldValue::Kind::Location: {
        if (list() != 2 || !(r.isInteger() || r.isDouble()))
            break;
        const double lat = r.number();
        if (!(r.isInteger() || r.isDouble()))
            break;
        const double lon = r.number();
        if (std::isfinite(lat) && std::isfinite(lon) && std::abs(lat) <= 90 && std::abs(lon) <= 180)
            result = FieldValue(Location(lat, lon));
        break;
    }
    case FieldValue::Kind::ReferenceList: {
        const qsizetype n = list();
        ReferenceList items;
        items.reserve(n);
        for (qsizetype i = 0; i < n && r.ok(); ++i) {
            const std::optional<Reference> reference = readReference(r);
            if (!reference)
                return std::nullopt;
            items.append(*reference);
        }
        result = FieldValue(items);
        break;
    }
    case FieldValue::Kind::StringList: {
        const qsizetype n = list();
        QStringList items;
        items.reserve(n);
        for (qsizetype i = 0; i < n && r.ok(); ++i) {
            if (r.peekMajor() != 3)
                return std::nullopt;
            items.append(r.text());
        }
        result = FieldValue(items);
        break;
    }
    case FieldValue::Kind::IntegerList: {
        const qsizetype n = list();
        QList<qint64> items;
        items.reserve(n);
        for (qsizetype i = 0; i < n && r.ok(); ++i) {
            if (!r.isInteger())
                return std::nullopt;
            items.append(r.integer());
        }
        result = FieldValue(items);
        break;
    }
    case FieldValue::Kind::DoubleList: {
        const qsizetype n = list();
        QList<double> items;
        items.reserve(n);
        for (qsizetype i = 0; i < n && r.ok(); ++i) {
            if (!(r.isInteger() || r.isDouble()))
                return std::nullopt;
            items.append(r.number());
        }
        result = FieldValue(items);
        break;
    }
    case FieldValue::Kind::DateList: {
        const qsizetype n = list();
        QList<QDateTime> items;
        items.reserve(n);
        for (qsizetype i = 0; i < n && r.ok(); ++i) {
            const std::optional<QDateTime> date = readDate(r);
            if (!date)
                return std::nullopt;
            items.append(*date);
        }
        result = FieldValue(items);
        break;
    }
    case FieldValue::Kind::Null:
    default:
        break;
    }
    if (!r.ok())
        return std::nullopt;
    return result;
}

// The fields of data written as encodeFields writes them; false when the general parser has to look.
bool readFields(const QByteArray &data, const QStringList &desiredKeys, const RecordCodec::AssetDecoder &assets,
                QList<std::pair<QString, FieldValue>> &decoded, std::optional<Reference> &parent)
{
    CborReader r(data);
    const qsizetype top = r.count(5, 2);
    if (!r.ok() || top < 1)
        return false;
    if (r.peekMajor() != 3 || r.text() != QLatin1String("f"))
        return false;
    const qsizetype n = r.count(5, RecordCodec::MaxFieldCount);
    if (!r.ok())
        return false;
    decoded.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        if (r.peekMajor() != 3)
            return false;
        QString key = r.key();
        if (!r.ok() || !validFieldName(key))
            return false;
        std::optional<FieldValue> value = readValue(r, assets);
        if (!value)
            return false;
        if (desiredKeys.isEmpty() || desiredKeys.contains(key))
            decoded.emplaceBack(std::move(key), std::move(*value));
    }
    if (top == 2) {
        if (r.peekMajor() != 3 || r.text() != QLatin1String("p"))
            return false;
        parent = readReference(r);
        if (!parent)
            return false;
    }
    return r.ok() && r.atEnd();
}

std::optional<QCborValue> parseDocument(const QByteArray &data, QDError *error)
{
    if (data.size() > RecordCodec::MaxDocumentBytes) {
        fail(error, QStringLiteral("The stored operation is too large."));
        return std::nullopt;
    }
    QCborParserError parseError;
    QCborValue value = QCborValue::fromCbor(data, &parseError);
    if (parseError.error != QCborError::NoError || !value.isMap()) {
        fail(error, QStringLiteral("The stored operation is damaged."));
        return std::nullopt;
    }
    return value;
}

QCborValue encodeRecordList(const QList<Record> &records)
{
    QCborArray array;
    for (const Record &record : records)
        array.append(RecordCodec::encodeRecord(record));
    return array;
}

std::optional<QList<Record>> decodeRecordList(const QCborValue &value, QDError *error)
{
    if (!value.isArray())
        return std::nullopt;
    QList<Record> records;
    for (const QCborValue &entry : value.toArray()) {
        std::optional<Record> record = RecordCodec::decodeRecord(entry, error);
        if (!record)
            return std::nullopt;
        records.append(*record);
    }
    return records;
}

QCborValue encodeIDList(const QList<RecordID> &ids)
{
    QCborArray array;
    for (const RecordID &id : ids)
        array.append(RecordCodec::encodeRecordID(id));
    return array;
}

std::optional<QList<RecordID>> decodeIDList(const QCborValue &value)
{
    return decodeList<RecordID>(value, [](const QCborValue &v) { return RecordCodec::decodeRecordID(v); });
}

QCborValue encodeConfiguration(const OperationConfiguration &configuration)
{
    return QCborArray{configuration.groupName, qint64(configuration.qualityOfService), configuration.longLived};
}

OperationConfiguration decodeConfiguration(const QCborValue &value)
{
    OperationConfiguration configuration;
    const QCborArray array = value.toArray();
    if (array.size() == 3) {
        configuration.groupName = array[0].toString();
        configuration.qualityOfService = QualityOfService(array[1].toInteger(-1));
        configuration.longLived = array[2].toBool();
    }
    return configuration;
}

} // namespace

QCborValue RecordCodec::urlAssetEncoder(const Asset &asset, QDError *)
{
    return asset.fileURL().toString();
}

Asset RecordCodec::urlAssetDecoder(const QCborValue &stored, QDError *error)
{
    const QUrl url(stored.toString());
    if (!stored.isString() || !url.isValid() || url.isEmpty()) {
        fail(error, QStringLiteral("An asset's address is damaged."));
        return Asset();
    }
    return Asset(url);
}

QCborValue RecordCodec::encodeValue(const FieldValue &value, const AssetEncoder &assets, QDError *error)
{
    QCborValue payload;
    switch (value.kind()) {
    case FieldValue::Kind::Null:
        fail(error, QStringLiteral("A field without a value cannot be stored."));
        return QCborValue();
    case FieldValue::Kind::String: payload = value.toString(); break;
    case FieldValue::Kind::Integer: payload = value.toInteger(); break;
    case FieldValue::Kind::Double: payload = value.toDouble(); break;
    case FieldValue::Kind::Date: payload = value.toDate().toMSecsSinceEpoch(); break;
    case FieldValue::Kind::Bytes: payload = value.toBytes(); break;
    case FieldValue::Kind::Reference: payload = encodeReference(value.toReference()); break;
    case FieldValue::Kind::Asset: {
        QDError assetError;
        payload = assets(value.toAsset(), &assetError);
        if (!assetError.isNull()) {
            platform::core::setError(error, assetError);
            return QCborValue();
        }
        break;
    }
    case FieldValue::Kind::Location: {
        const Location location = value.toLocation();
        payload = QCborArray{location.latitude(), location.longitude()};
        break;
    }
    case FieldValue::Kind::ReferenceList: {
        QCborArray array;
        for (const Reference &reference : value.toReferenceList())
            array.append(encodeReference(reference));
        payload = array;
        break;
    }
    case FieldValue::Kind::StringList: payload = QCborArray::fromStringList(value.toStringList()); break;
    case FieldValue::Kind::IntegerList: {
        QCborArray array;
        for (qint64 v : value.toIntegerList())
            array.append(v);
        payload = array;
        break;
    }
    case FieldValue::Kind::DoubleList: {
        QCborArray array;
        for (double v : value.toDoubleList())
            array.append(v);
        payload = array;
        break;
    }
    case FieldValue::Kind::DateList: {
        QCborArray array;
        for (const QDateTime &v : value.toDateList())
            array.append(v.toMSecsSinceEpoch());
        payload = array;
        break;
    }
    }
    return QCborArray{qint64(value.kind()), payload};
}

std::optional<FieldValue> RecordCodec::decodeValue(const QCborValue &value, const AssetDecoder &assets,
                                                   QDError *error)
{
    const auto bad = [error](const char *what) -> std::optional<FieldValue> {
        fail(error, QStringLiteral("A stored field value is damaged (%1).").arg(QLatin1String(what)));
        return std::nullopt;
    };
    if (!value.isArray())
        return bad("not a value");
    const QCborArray array = value.toArray();
    if (array.size() != 2 || !array[0].isInteger())
        return bad("not a value");
    const QCborValue payload = array[1];
    switch (FieldValue::Kind(array[0].toInteger())) {
    case FieldValue::Kind::String:
        if (!payload.isString())
            return bad("string");
        return FieldValue(payload.toString(QStringLiteral("")));
    case FieldValue::Kind::Integer:
        if (!payload.isInteger())
            return bad("integer");
        return FieldValue(payload.toInteger());
    case FieldValue::Kind::Double:
        if (!isNumber(payload))
            return bad("number");
        return FieldValue(payload.toDouble());
    case FieldValue::Kind::Date: {
        const std::optional<QDateTime> date = decodeDate(payload);
        if (!date)
            return bad("date");
        return FieldValue(*date);
    }
    case FieldValue::Kind::Bytes:
        if (!payload.isByteArray())
            return bad("bytes");
        return FieldValue(payload.toByteArray(QByteArray("")));
    case FieldValue::Kind::Reference: {
        const std::optional<Reference> reference = decodeReference(payload);
        if (!reference)
            return bad("reference");
        return FieldValue(*reference);
    }
    case FieldValue::Kind::Asset: {
        QDError assetError;
        const Asset asset = assets(payload, &assetError);
        if (!assetError.isNull() || asset.isNull()) {
            platform::core::setError(error, assetError.isNull()
                                                ? CloudErrors::make(InvalidArguments, QStringLiteral("asset"))
                                                : assetError);
            return std::nullopt;
        }
        return FieldValue(asset);
    }
    case FieldValue::Kind::Location: {
        if (!payload.isArray())
            return bad("location");
        const QCborArray pair = payload.toArray();
        if (pair.size() != 2 || !isNumber(pair[0]) || !isNumber(pair[1]))
            return bad("location");
        const double lat = pair[0].toDouble(), lon = pair[1].toDouble();
        if (!std::isfinite(lat) || !std::isfinite(lon) || std::abs(lat) > 90 || std::abs(lon) > 180)
            return bad("location");
        return FieldValue(Location(lat, lon));
    }
    case FieldValue::Kind::ReferenceList: {
        auto list = decodeList<Reference>(payload, decodeReference);
        if (!list)
            return bad("reference list");
        return FieldValue(ReferenceList(*list));
    }
    case FieldValue::Kind::StringList: {
        auto list = decodeList<QString>(payload, [](const QCborValue &v) -> std::optional<QString> {
            if (!v.isString())
                return std::nullopt;
            return v.toString(QStringLiteral(""));
        });
        if (!list)
            return bad("string list");
        return FieldValue(QStringList(*list));
    }
    case FieldValue::Kind::IntegerList: {
        auto list = decodeList<qint64>(payload, [](const QCborValue &v) -> std::optional<qint64> {
            if (!v.isInteger())
                return std::nullopt;
            return v.toInteger();
        });
        if (!list)
            return bad("integer list");
        return FieldValue(*list);
    }
    case FieldValue::Kind::DoubleList: {
        auto list = decodeList<double>(payload, [](const QCborValue &v) -> std::optional<double> {
            if (!isNumber(v))
                return std::nullopt;
            return v.toDouble();
        });
        if (!list)
            return bad("number list");
        return FieldValue(*list);
    }
    case FieldValue::Kind::DateList: {
        auto list = decodeList<QDateTime>(payload, decodeDate);
        if (!list)
            return bad("date list");
        return FieldValue(*list);
    }
    case FieldValue::Kind::Null:
    default:
        return bad("unknown kind");
    }
}

QByteArray RecordCodec::encodeFields(const Record &record, const AssetEncoder &assets, QDError *error)
{
    const QList<Record::Field> &fields = record.fields();
    if (fields.size() > MaxFieldCount) {
        fail(error, QStringLiteral("A record holds more than %1 fields.").arg(MaxFieldCount));
        return QByteArray();
    }
    QByteArray data;
    data.reserve(16 + fields.size() * 48);
    CborWriter w(data);
    w.map(record.parent() ? 2 : 1);
    w.text(QLatin1StringView("f"));
    w.map(fields.size());
    for (const auto &[key, value] : fields) {
        if (!validFieldName(key)) {
            fail(error, QStringLiteral("A field name is empty or too long."));
            return QByteArray();
        }
        w.text(key);
        if (!writeValue(w, value, assets, error))
            return QByteArray();
    }
    if (record.parent()) {
        w.text(QLatin1StringView("p"));
        writeReference(w, *record.parent());
    }
    if (data.size() > MaxFieldsBytes) {
        fail(error, QStringLiteral("A record's values are larger than %1 bytes.").arg(MaxFieldsBytes));
        return QByteArray();
    }
    return data;
}

bool RecordCodec::decodeFields(const QByteArray &data, Record &record, const AssetDecoder &assets,
                               const QStringList &desiredKeys, QDError *error)
{
    if (data.size() > MaxFieldsBytes)
        return fail(error, QStringLiteral("A stored record is too large."));
    {
        QList<std::pair<QString, FieldValue>> decoded;
        std::optional<Reference> parent;
        if (readFields(data, desiredKeys, assets, decoded, parent)) {
            record.clearChangedKeys();
            record.setStoredValues(std::move(decoded));
            record.setParent(parent);
            return true;
        }
    }
    QCborParserError parseError;
    const QCborValue top = QCborValue::fromCbor(data, &parseError);
    if (parseError.error != QCborError::NoError || !top.isMap())
        return fail(error, QStringLiteral("A stored record is damaged."));
    const QCborMap map = top.toMap();
    const QCborValue fieldsValue = map.value(QStringLiteral("f"));
    const QCborMap fields = fieldsValue.toMap();
    if (!fieldsValue.isMap() || fields.size() > MaxFieldCount)
        return fail(error, QStringLiteral("A stored record's fields are damaged."));
    QList<std::pair<QString, FieldValue>> decoded;
    decoded.reserve(fields.size());
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        if (!it.key().isString() || !validFieldName(it.key().toString()))
            return fail(error, QStringLiteral("A stored field name is damaged."));
        const QString key = it.key().toString();
        if (!desiredKeys.isEmpty() && !desiredKeys.contains(key))
            continue;
        std::optional<FieldValue> value = decodeValue(it.value(), assets, error);
        if (!value)
            return false;
        decoded.append({key, *value});
    }
    std::optional<Reference> parent;
    if (map.contains(QStringLiteral("p"))) {
        parent = decodeReference(map.value(QStringLiteral("p")));
        if (!parent)
            return fail(error, QStringLiteral("A stored record's parent is damaged."));
    }
    for (const auto &[key, value] : decoded)
        record.setValue(key, value);
    record.setParent(parent);
    record.clearChangedKeys();
    return true;
}

QCborValue RecordCodec::encodeRecordID(const RecordID &id)
{
    return QCborArray{id.recordName(), encodeZone(id.zoneID())};
}

std::optional<RecordID> RecordCodec::decodeRecordID(const QCborValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    const QCborArray array = value.toArray();
    if (array.size() != 2 || !array[0].isString())
        return std::nullopt;
    const std::optional<RecordZoneID> zone = decodeZone(array[1]);
    if (!zone || array[0].toString().isEmpty())
        return std::nullopt;
    return RecordID(array[0].toString(), *zone);
}

QCborValue RecordCodec::encodeRecord(const Record &record)
{
    QCborMap map;
    map.insert(QStringLiteral("t"), record.recordType());
    map.insert(QStringLiteral("i"), encodeRecordID(record.recordID()));
    map.insert(QStringLiteral("g"), record.recordChangeTag());
    QCborMap fields;
    for (const QString &key : record.allKeys())
        fields.insert(key, encodeValue(record.value(key), urlAssetEncoder, nullptr));
    map.insert(QStringLiteral("f"), fields);
    map.insert(QStringLiteral("k"), QCborArray::fromStringList(record.changedKeys()));
    if (record.parent())
        map.insert(QStringLiteral("p"), encodeReference(*record.parent()));
    return map;
}

std::optional<Record> RecordCodec::decodeRecord(const QCborValue &value, QDError *error)
{
    const auto bad = [error]() -> std::optional<Record> {
        fail(error, QStringLiteral("A stored record is damaged."));
        return std::nullopt;
    };
    if (!value.isMap())
        return bad();
    const QCborMap map = value.toMap();
    const std::optional<RecordID> id = decodeRecordID(map.value(QStringLiteral("i")));
    const QCborValue type = map.value(QStringLiteral("t"));
    if (!id || !type.isString() || type.toString().isEmpty())
        return bad();
    Record record(type.toString(), *id);
    record.setRecordChangeTag(map.value(QStringLiteral("g")).toString());
    const QCborValue fieldsValue = map.value(QStringLiteral("f"));
    const QCborMap fields = fieldsValue.toMap();
    if (!fieldsValue.isMap() || fields.size() > MaxFieldCount)
        return bad();
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        if (!it.key().isString() || !validFieldName(it.key().toString()))
            return bad();
        std::optional<FieldValue> decoded = decodeValue(it.value(), urlAssetDecoder, error);
        if (!decoded)
            return std::nullopt;
        record.setValue(it.key().toString(), *decoded);
    }
    if (map.contains(QStringLiteral("p"))) {
        const std::optional<Reference> parent = decodeReference(map.value(QStringLiteral("p")));
        if (!parent)
            return bad();
        record.setParent(parent);
    }
    record.clearChangedKeys();
    // Changed keys travel along: a merged record sent again must send the same keys.
    const QCborValue changed = map.value(QStringLiteral("k"));
    for (const QCborValue &key : changed.toArray()) {
        const QString name = key.toString();
        if (validFieldName(name))
            record.setValue(name, record.value(name));
    }
    return record;
}

QCborValue RecordCodec::encodeError(const QDError &error)
{
    if (error.isNull())
        return QCborValue(QCborValue::Null);
    QCborMap map;
    map.insert(QStringLiteral("d"), error.domain());
    map.insert(QStringLiteral("c"), error.code());
    map.insert(QStringLiteral("s"), error.localizedDescription());
    if (const auto retry = CloudErrors::retryAfter(error))
        map.insert(QStringLiteral("r"), *retry);
    const RecordErrors items = CloudErrors::recordErrors(error);
    if (!items.isEmpty()) {
        QCborArray array;
        for (auto it = items.constBegin(); it != items.constEnd(); ++it)
            array.append(QCborArray{encodeRecordID(it.key()), encodeError(it.value())});
        map.insert(QStringLiteral("i"), array);
    }
    const Record server = CloudErrors::serverRecord(error);
    if (!server.isNull())
        map.insert(QStringLiteral("sr"), encodeRecord(server));
    const Record client = CloudErrors::clientRecord(error);
    if (!client.isNull())
        map.insert(QStringLiteral("cr"), encodeRecord(client));
    return map;
}

QDError RecordCodec::decodeError(const QCborValue &value)
{
    if (!value.isMap())
        return QDError();
    const QCborMap map = value.toMap();
    QDError error = QDError::withDescription(map.value(QStringLiteral("d")).toString(),
                                             map.value(QStringLiteral("c")).toInteger(),
                                             map.value(QStringLiteral("s")).toString());
    if (map.contains(QStringLiteral("r")))
        error.setUserInfoValue(CloudErrorKeys::RetryAfter, map.value(QStringLiteral("r")).toDouble());
    if (map.contains(QStringLiteral("i"))) {
        RecordErrors items;
        for (const QCborValue &entry : map.value(QStringLiteral("i")).toArray()) {
            const QCborArray pair = entry.toArray();
            const std::optional<RecordID> id = decodeRecordID(pair.at(0));
            if (id)
                items.insert(*id, decodeError(pair.at(1)));
        }
        error.setUserInfoValue(CloudErrorKeys::PartialErrors, QVariant::fromValue(items));
    }
    if (const auto server = decodeRecord(map.value(QStringLiteral("sr")), nullptr))
        error.setUserInfoValue(CloudErrorKeys::ServerRecord, QVariant::fromValue(*server));
    if (const auto client = decodeRecord(map.value(QStringLiteral("cr")), nullptr))
        error.setUserInfoValue(CloudErrorKeys::ClientRecord, QVariant::fromValue(*client));
    return error;
}

QByteArray RecordCodec::encodeModifyRequest(const ModifyRecordsRequest &request)
{
    QCborMap map;
    map.insert(QStringLiteral("db"), qint64(request.database));
    map.insert(QStringLiteral("save"), encodeRecordList(request.recordsToSave));
    map.insert(QStringLiteral("delete"), encodeIDList(request.recordIDsToDelete));
    map.insert(QStringLiteral("policy"), qint64(request.savePolicy));
    map.insert(QStringLiteral("conf"), encodeConfiguration(request.configuration));
    map.insert(QStringLiteral("id"), request.operationID);
    return map.toCborValue().toCbor();
}

std::optional<ModifyRecordsRequest> RecordCodec::decodeModifyRequest(const QByteArray &data, QDError *error)
{
    const std::optional<QCborValue> value = parseDocument(data, error);
    if (!value)
        return std::nullopt;
    const QCborMap map = value->toMap();
    ModifyRecordsRequest request;
    request.database = DatabaseScope(map.value(QStringLiteral("db")).toInteger());
    const auto save = decodeRecordList(map.value(QStringLiteral("save")), error);
    const auto del = decodeIDList(map.value(QStringLiteral("delete")));
    const qint64 policy = map.value(QStringLiteral("policy")).toInteger(-1);
    if (!save || !del || policy < 0 || policy > 2) {
        fail(error, QStringLiteral("The stored operation is damaged."));
        return std::nullopt;
    }
    request.recordsToSave = *save;
    request.recordIDsToDelete = *del;
    request.savePolicy = SavePolicy(policy);
    request.configuration = decodeConfiguration(map.value(QStringLiteral("conf")));
    request.operationID = map.value(QStringLiteral("id")).toString();
    return request;
}

QByteArray RecordCodec::encodeModifyResult(const ModifyRecordsResult &result)
{
    QCborMap map;
    map.insert(QStringLiteral("saved"), encodeRecordList(result.savedRecords));
    map.insert(QStringLiteral("deleted"), encodeIDList(result.deletedRecordIDs));
    map.insert(QStringLiteral("error"), encodeError(result.error));
    map.insert(QStringLiteral("id"), result.operationID);
    return map.toCborValue().toCbor();
}

std::optional<ModifyRecordsResult> RecordCodec::decodeModifyResult(const QByteArray &data, QDError *error)
{
    const std::optional<QCborValue> value = parseDocument(data, error);
    if (!value)
        return std::nullopt;
    const QCborMap map = value->toMap();
    const auto saved = decodeRecordList(map.value(QStringLiteral("saved")), error);
    const auto deleted = decodeIDList(map.value(QStringLiteral("deleted")));
    if (!saved || !deleted) {
        fail(error, QStringLiteral("The stored operation is damaged."));
        return std::nullopt;
    }
    ModifyRecordsResult result;
    result.savedRecords = *saved;
    result.deletedRecordIDs = *deleted;
    result.error = decodeError(map.value(QStringLiteral("error")));
    result.operationID = map.value(QStringLiteral("id")).toString();
    return result;
}

QByteArray RecordCodec::encodeQueryRequest(const QueryRequest &request)
{
    QCborMap map;
    map.insert(QStringLiteral("db"), qint64(request.database));
    map.insert(QStringLiteral("zone"), encodeZone(request.zoneID));
    map.insert(QStringLiteral("type"), request.recordType);
    map.insert(QStringLiteral("keys"), QCborArray::fromStringList(request.desiredKeys));
    map.insert(QStringLiteral("cursor"), request.cursor.data());
    map.insert(QStringLiteral("limit"), request.resultsLimit);
    map.insert(QStringLiteral("conf"), encodeConfiguration(request.configuration));
    map.insert(QStringLiteral("id"), request.operationID);
    return map.toCborValue().toCbor();
}

std::optional<QueryRequest> RecordCodec::decodeQueryRequest(const QByteArray &data, QDError *error)
{
    const std::optional<QCborValue> value = parseDocument(data, error);
    if (!value)
        return std::nullopt;
    const QCborMap map = value->toMap();
    const std::optional<RecordZoneID> zone = decodeZone(map.value(QStringLiteral("zone")));
    if (!zone || !map.value(QStringLiteral("type")).isString()) {
        fail(error, QStringLiteral("The stored operation is damaged."));
        return std::nullopt;
    }
    QueryRequest request;
    request.database = DatabaseScope(map.value(QStringLiteral("db")).toInteger());
    request.zoneID = *zone;
    request.recordType = map.value(QStringLiteral("type")).toString();
    for (const QCborValue &key : map.value(QStringLiteral("keys")).toArray())
        request.desiredKeys.append(key.toString());
    request.cursor = QueryCursor(map.value(QStringLiteral("cursor")).toByteArray());
    request.resultsLimit = int(map.value(QStringLiteral("limit")).toInteger());
    request.configuration = decodeConfiguration(map.value(QStringLiteral("conf")));
    request.operationID = map.value(QStringLiteral("id")).toString();
    return request;
}

QByteArray RecordCodec::encodeQueryResult(const QueryResult &result)
{
    QCborMap map;
    map.insert(QStringLiteral("records"), encodeRecordList(result.records));
    map.insert(QStringLiteral("cursor"), result.cursor.data());
    map.insert(QStringLiteral("error"), encodeError(result.error));
    map.insert(QStringLiteral("id"), result.operationID);
    return map.toCborValue().toCbor();
}

std::optional<QueryResult> RecordCodec::decodeQueryResult(const QByteArray &data, QDError *error)
{
    const std::optional<QCborValue> value = parseDocument(data, error);
    if (!value)
        return std::nullopt;
    const QCborMap map = value->toMap();
    const auto records = decodeRecordList(map.value(QStringLiteral("records")), error);
    if (!records) {
        fail(error, QStringLiteral("The stored operation is damaged."));
        return std::nullopt;
    }
    QueryResult result;
    result.records = *records;
    result.cursor = QueryCursor(map.value(QStringLiteral("cursor")).toByteArray());
    result.error = decodeError(map.value(QStringLiteral("error")));
    result.operationID = map.value(QStringLiteral("id")).toString();
    return result;
}

} // namespace platform::cloud
