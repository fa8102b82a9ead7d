#include "platform/core/Clock.h"

#include <QElapsedTimer>

#include <vector>

namespace platform::core {

namespace {

std::mutex g_clockMutex;

std::shared_ptr<Clock> &currentSlot()
{
    static std::shared_ptr<Clock> slot = Clock::system();
    return slot;
}

} // namespace

std::shared_ptr<Clock> Clock::system()
{
    static const std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
    return clock;
}

std::shared_ptr<Clock> Clock::current()
{
    std::lock_guard lock(g_clockMutex);
    return currentSlot();
}

void Clock::setCurrent(std::shared_ptr<Clock> clock)
{
    if (!clock)
        clock = system();
    std::lock_guard lock(g_clockMutex);
    currentSlot() = std::move(clock);
}

QDateTime Clock::now()
{
    return current()->utcNow();
}

qint64 Clock::monotonicMs()
{
    return current()->monotonicNowMs();
}

QDateTime SystemClock::utcNow() const
{
    return QDateTime::currentDateTimeUtc();
}

qint64 SystemClock::monotonicNowMs() const
{
    static const QElapsedTimer origin = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Offset so that a fresh process never reports 0, which callers may use as "never".
    return origin.elapsed() + 1;
}

ManualClock::ManualClock(const QDateTime &start, qint64 monotonicStartMs)
    : m_wall(start.toUTC()), m_mono(monotonicStartMs)
{}

QDateTime ManualClock::utcNow() const
{
    std::lock_guard lock(m_mutex);
    return m_wall;
}

qint64 ManualClock::monotonicNowMs() const
{
    std::lock_guard lock(m_mutex);
    return m_mono;
}

void ManualClock::set(const QDateTime &utc)
{
    std::lock_guard lock(m_mutex);
    m_wall = utc.toUTC();
}

void ManualClock::advance(qint64 ms)
{
    if (ms < 0)
        ms = 0;
    // One advance at a time, so concurrent advances cannot interleave their steps; a handler that
    // advances the clock itself (same thread) nests inside the running advance.
    std::lock_guard advancing(m_advanceMutex);
    qint64 target;
    {
        std::lock_guard lock(m_mutex);
        target = m_mono + ms;
    }
    // Step from one due alarm to the next so each handler sees the time it was due at; alarms that a
    // handler arms on the way are picked up when they fall inside the window.
    for (;;) {
        std::function<void()> fire;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_alarms.begin();
            if (it == m_alarms.end() || it->first.first > target) {
                m_wall = m_wall.addMSecs(target - m_mono);
                m_mono = target;
                return;
            }
            const qint64 due = std::max(it->first.first, m_mono);
            m_wall = m_wall.addMSecs(due - m_mono);
            m_mono = due;
            fire = std::move(it->second);
            m_alarms.erase(it);
        }
        if (fire)
            fire();
    }
}

int ManualClock::pendingAlarmCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_alarms.size());
}

ManualClock::AlarmId ManualClock::addAlarm(qint64 dueMs, std::function<void()> fire)
{
    std::lock_guard lock(m_mutex);
    const AlarmId id = m_nextAlarm++;
    m_alarms.emplace(std::make_pair(dueMs, id), std::move(fire));
    return id;
}

void ManualClock::removeAlarm(AlarmId id)
{
    std::function<void()> dropped;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_alarms.begin(); it != m_alarms.end(); ++it) {
            if (it->first.second == id) {
                dropped = std::move(it->second);
                m_alarms.erase(it);
                break;
            }
        }
    }
    // The callback's captures are released outside the lock.
}

ScopedClock::ScopedClock(std::shared_ptr<Clock> clock) : m_previous(Clock::current())
{
    Clock::setCurrent(std::move(clock));
}

ScopedClock::~ScopedClock()
{
    Clock::setCurrent(std::move(m_previous));
}

} // namespace platform::core
