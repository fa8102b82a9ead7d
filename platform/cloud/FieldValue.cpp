#include "platform/cloud/FieldValue.h"

#include <cmath>
#include <limits>

namespace platform::cloud {

namespace {

QDateTime normalisedDate(const QDateTime &value)
{
    // A record keeps dates in UTC at millisecond precision, whatever zone they were made in.
    if (value.timeSpec() == Qt::UTC)
        return value;
    return QDateTime::fromMSecsSinceEpoch(value.toMSecsSinceEpoch(), Qt::UTC);
}

template <typename T> T valueOr(const auto &variant)
{
    if (const T *held = std::get_if<T>(&variant))
        return *held;
    return T();
}

} // namespace

FieldValue::FieldValue(const QString &value)
{
    if (!value.isNull())
        m_value = value;
}

FieldValue::FieldValue(const char *value) : FieldValue(value ? QString::fromUtf8(value) : QString()) {}

FieldValue::FieldValue(qint64 value) : m_value(value) {}

FieldValue::FieldValue(int value) : m_value(qint64(value)) {}

FieldValue::FieldValue(bool value) : m_value(qint64(value ? 1 : 0)) {}

FieldValue::FieldValue(double value) : m_value(value) {}

FieldValue::FieldValue(const QDateTime &value)
{
    if (value.isValid())
        m_value = normalisedDate(value);
}

FieldValue::FieldValue(const QByteArray &value)
{
    if (!value.isNull())
        m_value = value;
}

FieldValue::FieldValue(const Reference &value)
{
    if (!value.isNull())
        m_value = value;
}

FieldValue::FieldValue(const Asset &value)
{
    if (!value.isNull())
        m_value = value;
}

FieldValue::FieldValue(const Location &value) : m_value(value) {}

FieldValue::FieldValue(const ReferenceList &value) : m_value(value) {}

FieldValue::FieldValue(const QStringList &value) : m_value(value) {}

FieldValue::FieldValue(const QList<qint64> &value) : m_value(value) {}

FieldValue::FieldValue(const QList<double> &value) : m_value(value) {}

FieldValue::FieldValue(const QList<QDateTime> &value)
{
    QList<QDateTime> dates;
    dates.reserve(value.size());
    for (const QDateTime &date : value)
        dates.append(normalisedDate(date));
    m_value = dates;
}

std::optional<FieldValue> FieldValue::fromVariant(const QVariant &value)
{
    if (!value.isValid())
        return FieldValue();
    const QMetaType type = value.metaType();
    switch (type.id()) {
    case QMetaType::Nullptr:
        // The null marker means "explicitly nothing" to its owner; a record has no way to say that.
        return std::nullopt;
    case QMetaType::QString:
        return FieldValue(value.toString());
    case QMetaType::Bool:
        return FieldValue(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return FieldValue(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const quint64 v = value.toULongLong();
        if (v > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return FieldValue(qint64(v));
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return FieldValue(value.toDouble());
    case QMetaType::QDateTime:
        return FieldValue(value.toDateTime());
    case QMetaType::QByteArray:
        return FieldValue(value.toByteArray());
    case QMetaType::QStringList:
        return FieldValue(value.toStringList());
    default:
        break;
    }
    if (type == QMetaType::fromType<Reference>())
        return FieldValue(value.value<Reference>());
    if (type == QMetaType::fromType<Asset>())
        return FieldValue(value.value<Asset>());
    if (type == QMetaType::fromType<Location>())
        return FieldValue(value.value<Location>());
    if (type == QMetaType::fromType<ReferenceList>())
        return FieldValue(value.value<ReferenceList>());
    if (type == QMetaType::fromType<QList<qint64>>())
        return FieldValue(value.value<QList<qint64>>());
    if (type == QMetaType::fromType<QList<double>>())
        return FieldValue(value.value<QList<double>>());
    if (type == QMetaType::fromType<QList<QDateTime>>())
        return FieldValue(value.value<QList<QDateTime>>());
    if (type == QMetaType::fromType<FieldValue>())
        return value.value<FieldValue>();
    return std::nullopt;
}

bool FieldValue::isList() const
{
    switch (kind()) {
    case Kind::ReferenceList:
    case Kind::StringList:
    case Kind::IntegerList:
    case Kind::DoubleList:
    case Kind::DateList:
        return true;
    default:
        return false;
    }
}

QString FieldValue::toString() const
{
    return valueOr<QString>(m_value);
}

qint64 FieldValue::toInteger() const
{
    if (const double *d = std::get_if<double>(&m_value)) {
        if (!std::isfinite(*d) || *d >= 9.2e18 || *d <= -9.2e18)
            return 0;
        return qint64(*d);
    }
    return valueOr<qint64>(m_value);
}

double FieldValue::toDouble() const
{
    if (const qint64 *i = std::get_if<qint64>(&m_value))
        return double(*i);
    return valueOr<double>(m_value);
}

QDateTime FieldValue::toDate() const
{
    return valueOr<QDateTime>(m_value);
}
QByteArray FieldValue::toBytes() const
{
    return valueOr<QByteArray>(m_value);
}
Reference FieldValue::toReference() const
{
    return valueOr<Reference>(m_value);
}
Asset FieldValue::toAsset() const
{
    return valueOr<Asset>(m_value);
}
Location FieldValue::toLocation() const
{
    return valueOr<Location>(m_value);
}
ReferenceList FieldValue::toReferenceList() const
{
    return valueOr<ReferenceList>(m_value);
}
QStringList FieldValue::toStringList() const
{
    return valueOr<QStringList>(m_value);
}
QList<qint64> FieldValue::toIntegerList() const
{
    return valueOr<QList<qint64>>(m_value);
}
QList<double> FieldValue::toDoubleList() const
{
    return valueOr<QList<double>>(m_value);
}
QList<QDateTime> FieldValue::toDateList() const
{
    return valueOr<QList<QDateTime>>(m_value);
}

QVariant FieldValue::toVariant() const
{
    switch (kind()) {
    case Kind::Null:
        return QVariant();
    case Kind::String:
        return toString();
    case Kind::Integer:
        return toInteger();
    case Kind::Double:
        return toDouble();
    case Kind::Date:
        return toDate();
    case Kind::Bytes:
        return toBytes();
    case Kind::Reference:
        return QVariant::fromValue(toReference());
    case Kind::Asset:
        return QVariant::fromValue(toAsset());
    case Kind::Location:
        return QVariant::fromValue(toLocation());
    case Kind::ReferenceList:
        return QVariant::fromValue(toReferenceList());
    case Kind::StringList:
        return toStringList();
    case Kind::IntegerList:
        return QVariant::fromValue(toIntegerList());
    case Kind::DoubleList:
        return QVariant::fromValue(toDoubleList());
    case Kind::DateList:
        return QVariant::fromValue(toDateList());
    }
    return QVariant();
}

QString FieldValue::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Null:
        return QStringLiteral("null");
    case Kind::String:
        return QStringLiteral("string");
    case Kind::Integer:
        return QStringLiteral("integer");
    case Kind::Double:
        return QStringLiteral("double");
    case Kind::Date:
        return QStringLiteral("date");
    case Kind::Bytes:
        return QStringLiteral("bytes");
    case Kind::Reference:
        return QStringLiteral("reference");
    case Kind::Asset:
        return QStringLiteral("asset");
    case Kind::Location:
        return QStringLiteral("location");
    case Kind::ReferenceList:
        return QStringLiteral("reference list");
    case Kind::StringList:
        return QStringLiteral("string list");
    case Kind::IntegerList:
        return QStringLiteral("integer list");
    case Kind::DoubleList:
        return QStringLiteral("double list");
    case Kind::DateList:
        return QStringLiteral("date list");
    }
    return QString();
}

QString FieldValue::toDebugString() const
{
    QString text;
    switch (kind()) {
    case Kind::Null:
        return QStringLiteral("null");
    case Kind::String:
        text = QLatin1Char('"') + toString() + QLatin1Char('"');
        break;
    case Kind::Integer:
        text = QString::number(toInteger());
        break;
    case Kind::Double:
        text = QString::number(toDouble(), 'g', 17);
        break;
    case Kind::Date:
        text = toDate().toString(Qt::ISODateWithMs);
        break;
    case Kind::Bytes:
        text = QStringLiteral("%1 bytes").arg(toBytes().size());
        break;
    case Kind::Reference:
        text = toReference().recordID().toString();
        break;
    case Kind::Asset:
        text = toAsset().fileURL().toString();
        break;
    case Kind::Location:
        text =
            QStringLiteral("%1,%2").arg(toLocation().latitude(), 0, 'g', 17).arg(toLocation().longitude(), 0, 'g', 17);
        break;
    case Kind::ReferenceList: {
        QStringList names;
        for (const Reference &reference : toReferenceList())
            names.append(reference.recordID().toString());
        text = QLatin1Char('[') + names.join(QStringLiteral(", ")) + QLatin1Char(']');
        break;
    }
    case Kind::StringList:
        text = QLatin1Char('[') + toStringList().join(QStringLiteral(", ")) + QLatin1Char(']');
        break;
    case Kind::IntegerList:
    case Kind::DoubleList:
    case Kind::DateList:
        text = QStringLiteral("[...]");
        break;
    }
    return kindName(kind()) + QLatin1Char(' ') + text;
}

} // namespace platform::cloud
