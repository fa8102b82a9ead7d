#include "platform/core/DateComponents.h"

#include <QStringList>

namespace platform::core {

namespace {
// Registered by name too, so queued connections and QMetaType::fromName find it.
const int registeredType = qRegisterMetaType<DateComponents>("platform::core::DateComponents");
} // namespace

bool DateComponents::isEmpty() const
{
    for (qint64 v : m_values) {
        if (v != Undefined)
            return false;
    }
    return true;
}

QString DateComponents::fieldName(Field field)
{
    switch (field) {
    case Era: return QStringLiteral("era");
    case Year: return QStringLiteral("year");
    case Month: return QStringLiteral("month");
    case Day: return QStringLiteral("day");
    case Hour: return QStringLiteral("hour");
    case Minute: return QStringLiteral("minute");
    case Second: return QStringLiteral("second");
    case Nanosecond: return QStringLiteral("nanosecond");
    case Weekday: return QStringLiteral("weekday");
    case WeekdayOrdinal: return QStringLiteral("weekdayOrdinal");
    case Quarter: return QStringLiteral("quarter");
    case WeekOfMonth: return QStringLiteral("weekOfMonth");
    case WeekOfYear: return QStringLiteral("weekOfYear");
    case YearForWeekOfYear: return QStringLiteral("yearForWeekOfYear");
    case FieldCount: break;
    }
    return QString();
}

QString DateComponents::toString() const
{
    QStringList parts;
    for (int f = 0; f < FieldCount; ++f) {
        if (m_values[f] != Undefined)
            parts << QStringLiteral("%1=%2").arg(fieldName(Field(f))).arg(m_values[f]);
    }
    return QLatin1Char('{') + parts.join(QStringLiteral(", ")) + QLatin1Char('}');
}

bool DateComponents::isDateComponents(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<DateComponents>();
}

QVariant nullMarker()
{
    return QVariant::fromValue(nullptr);
}

bool isNullMarker(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<std::nullptr_t>();
}

QDebug operator<<(QDebug debug, const DateComponents &components)
{
    QDebugStateSaver saver(debug);
    debug.nospace().noquote() << "DateComponents" << components.toString();
    return debug;
}

} // namespace platform::core
