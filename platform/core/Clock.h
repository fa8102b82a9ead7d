#pragma once

#include <QDateTime>

#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace platform::core {

// Where the program reads time. Everything that stamps dates, measures ages or waits (timers,
// dispatchAfter) asks the process-wide current clock, so a test can swap in a ManualClock and move
// time by hand instead of sleeping.
class Clock
{
public:
    virtual ~Clock() = default;

    // Wall time in UTC (millisecond precision).
    virtual QDateTime utcNow() const = 0;
    // Milliseconds on a clock that never goes backwards; only differences mean anything.
    virtual qint64 monotonicNowMs() const = 0;

    // The current clock's wall time and monotonic time.
    static QDateTime now();
    static qint64 monotonicMs();

    static std::shared_ptr<Clock> current();
    // Installs a clock for the whole process; a null pointer restores the system clock. Timers keep the
    // clock that was current when they were scheduled.
    static void setCurrent(std::shared_ptr<Clock> clock);
    static std::shared_ptr<Clock> system();
};

class SystemClock final : public Clock
{
public:
    QDateTime utcNow() const override;
    qint64 monotonicNowMs() const override;
};

// A clock that moves only when told. Timers scheduled while it is current wait on its monotonic time:
// advance() fires every timer that falls due, in due order, each at its own due time, before it returns
// (a timer bound to the advancing thread, normally the main thread, runs its handler inline; others get
// theirs posted to their thread or queue).
class ManualClock final : public Clock
{
public:
    explicit ManualClock(const QDateTime &start = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC),
                         qint64 monotonicStartMs = 1'000'000);

    QDateTime utcNow() const override;
    qint64 monotonicNowMs() const override;

    // Changes the wall time only, as if the user reset the system clock; no timer fires.
    void set(const QDateTime &utc);
    // Moves wall and monotonic time forward by ms (negative values are ignored) and fires due timers.
    void advance(qint64 ms);
    void advanceSeconds(double seconds) { advance(qint64(seconds * 1000.0)); }

    // How many timers are waiting on this clock (armed, not yet due).
    int pendingAlarmCount() const;

    // The seam Timer uses: a callback run once when monotonic time reaches dueMs.
    using AlarmId = quint64;
    AlarmId addAlarm(qint64 dueMs, std::function<void()> fire);
    void removeAlarm(AlarmId id);

private:
    mutable std::mutex m_mutex;
    std::recursive_mutex m_advanceMutex;
    QDateTime m_wall;
    qint64 m_mono;
    AlarmId m_nextAlarm = 1;
    // Ordered by due time, then by arming order, so equal due times fire first-armed first.
    std::map<std::pair<qint64, AlarmId>, std::function<void()>> m_alarms;
};

// Installs a clock for the lifetime of the guard and puts back the previous one afterwards.
class ScopedClock
{
public:
    explicit ScopedClock(std::shared_ptr<Clock> clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;

private:
    std::shared_ptr<Clock> m_previous;
};

} // namespace platform::core
