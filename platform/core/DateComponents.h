#pragma once

#include <QDebug>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <array>
#include <limits>

namespace platform::core {

// A set of calendar fields, any of which may be left undefined. Used for repeat steps, alert offsets
// and backup intervals; two values are equal only when every field is equal (undefined included).
class DateComponents
{
public:
    // The value of a field that was never set.
    static constexpr qint64 Undefined = std::numeric_limits<qint64>::max();

    enum Field : int {
        Era,
        Year,
        Month,
        Day,
        Hour,
        Minute,
        Second,
        Nanosecond,
        Weekday,
        WeekdayOrdinal,
        Quarter,
        WeekOfMonth,
        WeekOfYear,
        YearForWeekOfYear,
        FieldCount
    };

    DateComponents() { m_values.fill(Undefined); }

    qint64 value(Field field) const { return m_values[field]; }
    void setValue(Field field, qint64 value) { m_values[field] = value; }
    bool isDefined(Field field) const { return m_values[field] != Undefined; }
    // True when no field is defined.
    bool isEmpty() const;

    qint64 era() const { return m_values[Era]; }
    void setEra(qint64 v) { m_values[Era] = v; }
    qint64 year() const { return m_values[Year]; }
    void setYear(qint64 v) { m_values[Year] = v; }
    qint64 month() const { return m_values[Month]; }
    void setMonth(qint64 v) { m_values[Month] = v; }
    qint64 day() const { return m_values[Day]; }
    void setDay(qint64 v) { m_values[Day] = v; }
    qint64 hour() const { return m_values[Hour]; }
    void setHour(qint64 v) { m_values[Hour] = v; }
    qint64 minute() const { return m_values[Minute]; }
    void setMinute(qint64 v) { m_values[Minute] = v; }
    qint64 second() const { return m_values[Second]; }
    void setSecond(qint64 v) { m_values[Second] = v; }
    qint64 nanosecond() const { return m_values[Nanosecond]; }
    void setNanosecond(qint64 v) { m_values[Nanosecond] = v; }
    qint64 weekday() const { return m_values[Weekday]; }
    void setWeekday(qint64 v) { m_values[Weekday] = v; }
    qint64 weekdayOrdinal() const { return m_values[WeekdayOrdinal]; }
    void setWeekdayOrdinal(qint64 v) { m_values[WeekdayOrdinal] = v; }
    qint64 quarter() const { return m_values[Quarter]; }
    void setQuarter(qint64 v) { m_values[Quarter] = v; }
    qint64 weekOfMonth() const { return m_values[WeekOfMonth]; }
    void setWeekOfMonth(qint64 v) { m_values[WeekOfMonth] = v; }
    qint64 weekOfYear() const { return m_values[WeekOfYear]; }
    void setWeekOfYear(qint64 v) { m_values[WeekOfYear] = v; }
    qint64 yearForWeekOfYear() const { return m_values[YearForWeekOfYear]; }
    void setYearForWeekOfYear(qint64 v) { m_values[YearForWeekOfYear] = v; }

    // "{day=1, hour=0}" style text of the defined fields, for logs and test output.
    QString toString() const;
    static QString fieldName(Field field);

    bool operator==(const DateComponents &other) const { return m_values == other.m_values; }
    bool operator!=(const DateComponents &other) const { return !(*this == other); }

    QVariant toVariant() const { return QVariant::fromValue(*this); }
    static bool isDateComponents(const QVariant &value);

private:
    std::array<qint64, FieldCount> m_values;
};

// The null marker: a value that stands for "explicitly nothing" (for example the repeat "None"), as opposed
// to an invalid QVariant, which means "no value at all". It is a QVariant holding std::nullptr_t.
QVariant nullMarker();
bool isNullMarker(const QVariant &value);

QDebug operator<<(QDebug debug, const DateComponents &components);

} // namespace platform::core

Q_DECLARE_METATYPE(platform::core::DateComponents)
