#pragma once

#include "platform/core/QDError.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace platform::core {

// XML property lists, read and written with libxml2.
//
// Element <-> QVariant: dict <-> QVariantMap, array <-> QVariantList, string <-> QString,
// integer <-> qint64, real <-> double, true/false <-> bool, date <-> QDateTime (UTC), data <-> QByteArray.
// Writing also takes the other integer types, float, QStringList and QVariantHash.
//
// Reading never crashes on bad input: malformed or truncated XML, binary property lists, unknown elements,
// bad numbers, dates or base64, too deep nesting and oversized input all give a QDError in
// QuendelErrorDomain whose description names the file (when there is one). The parser loads nothing from
// the network and expands no entities of its own.
class PropertyList
{
public:
    enum ErrorCode : qint64 {
        FileNotFoundError = 4001,
        FileReadError = 4002,
        TooLargeError = 4003,
        MalformedError = 4004,        // not well-formed XML, truncated, or not a property list
        UnsupportedFormatError = 4005, // e.g. a binary property list
        WrongRootError = 4006,         // a valid property list whose root is not what the caller asked for
        InvalidValueError = 4007,      // writing: a value a property list cannot hold
        FileWriteError = 4008,
    };

    static constexpr qint64 MaxInputSize = 64 * 1024 * 1024;
    static constexpr int MaxDepth = 128;

    // Parses a whole property list. `sourcePath` only names the input in error messages.
    static std::optional<QVariant> fromData(const QByteArray &data, QDError *error = nullptr,
                                            const QString &sourcePath = QString());
    static std::optional<QVariant> readFile(const QString &path, QDError *error = nullptr);
    // As readFile, but the root must be a dictionary.
    static std::optional<QVariantMap> readDictionaryFile(const QString &path, QDError *error = nullptr);
    // As readFile, but the root must be an array.
    static std::optional<QVariantList> readArrayFile(const QString &path, QDError *error = nullptr);

    // Serialises a value tree as an XML property list (UTF-8, with the XML declaration).
    static std::optional<QByteArray> toData(const QVariant &value, QDError *error = nullptr);
    // Writes atomically: a temporary file in the same folder, flushed to disk, then renamed over `path`.
    // On any failure (including a value that cannot be written) the existing file is left as it was.
    static bool writeFile(const QVariant &value, const QString &path, QDError *error = nullptr);
};

} // namespace platform::core
