#include "platform/cloud/RecordCodec.h"

#include "platform/cloud/CloudError.h"

#include <QCborArray>
#include <QCborMap>
#include <QUrl>

#include <cmath>

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
    QCborMap fields;
    const QStringList keys = record.allKeys();
    if (keys.size() > MaxFieldCount) {
        fail(error, QStringLiteral("A record holds more than %1 fields.").arg(MaxFieldCount));
        return QByteArray();
    }
    for (const QString &key : keys) {
        if (!validFieldName(key)) {
            fail(error, QStringLiteral("A field name is empty or too long."));
            return QByteArray();
        }
        QDError valueError;
        const QCborValue value = encodeValue(record.value(key), assets, &valueError);
        if (!valueError.isNull()) {
            platform::core::setError(error, valueError);
            return QByteArray();
        }
        fields.insert(key, value);
    }
    QCborMap top;
    top.insert(QStringLiteral("f"), fields);
    if (record.parent())
        top.insert(QStringLiteral("p"), encodeReference(*record.parent()));
    QByteArray data = top.toCborValue().toCbor();
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
