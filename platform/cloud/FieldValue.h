#pragma once

#include "platform/cloud/Asset.h"
#include "platform/cloud/Location.h"
#include "platform/cloud/Reference.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <variant>

namespace platform::cloud {

// The value of one record field. A record holds only these kinds; anything else (dictionaries, date
// components, pictures) must be turned into bytes by its owner before it goes into a record.
//
// Null is "no value": setting a field to it removes the field.
class FieldValue
{
public:
    enum class Kind : quint8 {
        Null,
        String,
        Integer, // also booleans (0 or 1)
        Double,
        Date, // UTC, millisecond precision
        Bytes,
        Reference,
        Asset,
        Location,
        ReferenceList,
        StringList,
        IntegerList,
        DoubleList,
        DateList,
    };

    FieldValue() = default;
    FieldValue(const QString &value); // a null QString gives Null
    FieldValue(const char *value);
    FieldValue(qint64 value);
    FieldValue(int value);
    FieldValue(bool value);
    FieldValue(double value);
    FieldValue(const QDateTime &value);  // an invalid date gives Null
    FieldValue(const QByteArray &value); // a null byte array gives Null; an empty one is kept
    FieldValue(const Reference &value);  // a null reference gives Null
    FieldValue(const Asset &value);      // a null asset gives Null
    FieldValue(const Location &value);
    FieldValue(const ReferenceList &value);
    FieldValue(const QStringList &value);
    FieldValue(const QList<qint64> &value);
    FieldValue(const QList<double> &value);
    FieldValue(const QList<QDateTime> &value);

    // A stored value as a field value: null or invalid values give Null; values of a kind a record cannot
    // hold (dictionaries, date components, the null marker, pictures) give nullopt.
    static std::optional<FieldValue> fromVariant(const QVariant &value);

    Kind kind() const { return Kind(m_value.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isList() const;

    // Typed reads; a field of another kind reads as the empty value of the asked type (an integer reads as
    // a double and a double, truncated, as an integer).
    QString toString() const;
    qint64 toInteger() const;
    double toDouble() const;
    QDateTime toDate() const;
    QByteArray toBytes() const;
    Reference toReference() const;
    Asset toAsset() const;
    Location toLocation() const;
    ReferenceList toReferenceList() const;
    QStringList toStringList() const;
    QList<qint64> toIntegerList() const;
    QList<double> toDoubleList() const;
    QList<QDateTime> toDateList() const;

    // The value as a QVariant (QString, qint64, double, QDateTime, QByteArray, or the metatypes of this layer;
    // lists as QList of them); Null gives an invalid QVariant.
    QVariant toVariant() const;

    static QString kindName(Kind kind);
    // For test output and log lines.
    QString toDebugString() const;

    bool operator==(const FieldValue &other) const { return m_value == other.m_value; }
    bool operator!=(const FieldValue &other) const { return !(*this == other); }

private:
    std::variant<std::monostate, QString, qint64, double, QDateTime, QByteArray, Reference, Asset, Location,
                 ReferenceList, QStringList, QList<qint64>, QList<double>, QList<QDateTime>>
        m_value;
};

} // namespace platform::cloud

Q_DECLARE_METATYPE(platform::cloud::FieldValue)
