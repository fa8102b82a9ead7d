#pragma once

#include "platform/core/DateComponents.h"
#include "platform/core/QDError.h"

#include <QByteArray>
#include <QVariant>

#include <optional>

namespace platform::core {

// Our own stable binary encoding of a value tree, used wherever a value is kept as an archived blob
// (date components, dictionaries, lists, strings, cloud system fields).
//
// Encodable: invalid QVariant (no value), the null marker, bool, every integer type (decoded as qint64,
// or quint64 above the qint64 range), float/double (decoded as double), QString (null and empty kept
// apart), QByteArray, QDateTime (decoded in UTC, millisecond precision), QVariantList / QStringList
// (decoded as QVariantList), QVariantMap / QVariantHash (decoded as QVariantMap) and DateComponents.
//
// Layout: the magic "QDKA", a little-endian 16-bit format version, then the root value.
class KeyedArchive
{
public:
    enum ErrorCode : qint64 {
        NotAnArchiveError = 4101,      // wrong magic or too short to hold a header
        UnsupportedVersionError = 4102, // written by a newer format
        CorruptArchiveError = 4103,     // truncated, bad tag, length past the end, bad UTF-8, trailing bytes
        UnsupportedValueError = 4104,   // archiving a type the format does not hold
        TooDeepError = 4105,            // nesting beyond MaxDepth
    };

    static constexpr quint16 FormatVersion = 1;
    static constexpr int MaxDepth = 256;
    static inline const QByteArray Magic = QByteArrayLiteral("QDKA");

    // Returns the archive, or an empty QByteArray (and the error) when the value holds something the
    // format cannot encode.
    static QByteArray archive(const QVariant &value, QDError *error = nullptr);
    // Returns the root value (which may itself be an invalid QVariant), or nullopt with the error.
    static std::optional<QVariant> unarchive(const QByteArray &data, QDError *error = nullptr);
    // Cheap check of the header only.
    static bool isArchive(const QByteArray &data);
};

} // namespace platform::core
