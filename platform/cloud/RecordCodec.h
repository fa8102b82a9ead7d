#pragma once

#include "platform/cloud/CloudTypes.h"
#include "platform/cloud/FieldValue.h"
#include "platform/cloud/Record.h"

#include "platform/core/QDError.h"

#include <QByteArray>
#include <QCborValue>

#include <functional>

namespace platform::cloud {

// Turns records, their field values and the requests and results kept for long-lived operations into bytes
// and back. Bytes read back come from the database, which other clients write too, so decoding treats them
// as untrusted: sizes are limited, every kind is checked, and damage gives an error, never a crash or a
// half-filled value.
class RecordCodec
{
public:
    // The largest encoded field values of one record the service takes.
    static constexpr qsizetype MaxFieldsBytes = 1024 * 1024;
    static constexpr int MaxFieldCount = 512;
    static constexpr int MaxFieldNameLength = 255;
    static constexpr int MaxListItems = 100000;
    // The largest request or result kept for a long-lived operation.
    static constexpr qsizetype MaxDocumentBytes = 256 * 1024 * 1024;

    // How an asset is kept: the service stores the file's content apart and writes a key in its place.
    using AssetEncoder = std::function<QCborValue(const Asset &asset, platform::core::QDError *error)>;
    using AssetDecoder = std::function<Asset(const QCborValue &stored, platform::core::QDError *error)>;

    // Assets as their file URL (for requests kept on this machine).
    static QCborValue urlAssetEncoder(const Asset &asset, platform::core::QDError *error);
    static Asset urlAssetDecoder(const QCborValue &stored, platform::core::QDError *error);

    // The record's field values and parent, as kept in the database's one column. Empty on error.
    static QByteArray encodeFields(const Record &record, const AssetEncoder &assets, platform::core::QDError *error);
    // Sets the fields and parent of `record` from such bytes; only the keys in `desiredKeys` when it is not
    // empty. On error `record` keeps no decoded field. The record's changed keys are cleared.
    static bool decodeFields(const QByteArray &data, Record &record, const AssetDecoder &assets,
                             const QStringList &desiredKeys, platform::core::QDError *error);

    static QCborValue encodeValue(const FieldValue &value, const AssetEncoder &assets, platform::core::QDError *error);
    static std::optional<FieldValue> decodeValue(const QCborValue &value, const AssetDecoder &assets,
                                                 platform::core::QDError *error);

    // A whole record (system fields, dates, changed keys, fields with assets as URLs).
    static QCborValue encodeRecord(const Record &record);
    static std::optional<Record> decodeRecord(const QCborValue &value, platform::core::QDError *error);

    static QCborValue encodeRecordID(const RecordID &id);
    static std::optional<RecordID> decodeRecordID(const QCborValue &value);

    // Requests and results of long-lived operations.
    static QByteArray encodeModifyRequest(const ModifyRecordsRequest &request);
    static std::optional<ModifyRecordsRequest> decodeModifyRequest(const QByteArray &data, platform::core::QDError *error);
    static QByteArray encodeModifyResult(const ModifyRecordsResult &result);
    static std::optional<ModifyRecordsResult> decodeModifyResult(const QByteArray &data, platform::core::QDError *error);
    static QByteArray encodeQueryRequest(const QueryRequest &request);
    static std::optional<QueryRequest> decodeQueryRequest(const QByteArray &data, platform::core::QDError *error);
    static QByteArray encodeQueryResult(const QueryResult &result);
    static std::optional<QueryResult> decodeQueryResult(const QByteArray &data, platform::core::QDError *error);

    static QCborValue encodeError(const platform::core::QDError &error);
    static platform::core::QDError decodeError(const QCborValue &value);
};

} // namespace platform::cloud
