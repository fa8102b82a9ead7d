#include "TimerTarget.h"

using platform::core::Timer;

std::shared_ptr<TimerTargetReceiver> TimerTarget::realTarget() const
{
    std::lock_guard guard(m_mutex);
    if (m_objectReceiver) {
        if (!m_objectTarget)
            return nullptr;
        // The object owns itself; the pointer only lends access for the length of one call.
        return std::shared_ptr<TimerTargetReceiver>(std::shared_ptr<void>(), m_objectReceiver);
    }
    return m_sharedTarget.lock();
}

void TimerTarget::setRealTarget(const std::weak_ptr<TimerTargetReceiver> &target)
{
    std::lock_guard guard(m_mutex);
    m_sharedTarget = target;
    m_objectTarget = nullptr;
    m_objectReceiver = nullptr;
}

void TimerTarget::setQObjectTarget(QObject *object, TimerTargetReceiver *receiver)
{
    std::lock_guard guard(m_mutex);
    m_sharedTarget.reset();
    m_objectTarget = object;
    m_objectReceiver = object ? receiver : nullptr;
}

void TimerTarget::checkDateTimerFired(Timer &timer)
{
    if (auto target = realTarget())
        target->checkDateTimerFired(timer);
}

void TimerTarget::forceSyncEventsWithCalendar(Timer &timer)
{
    if (auto target = realTarget())
        target->forceSyncEventsWithCalendar(timer);
}

void TimerTarget::checkDropBoxForUpdates(Timer &timer)
{
    if (auto target = realTarget())
        target->checkDropBoxForUpdates(timer);
}

void TimerTarget::checkForAutomaticBackupTime(Timer &timer)
{
    if (auto target = realTarget())
        target->checkForAutomaticBackupTime(timer);
}

std::shared_ptr<Timer> TimerTarget::scheduledTimer(qint64 intervalMs, std::shared_ptr<TimerTarget> target,
                                                   Message message)
{
    return Timer::scheduledTimer(intervalMs, true,
                                 [target = std::move(target), message](Timer &timer) { ((*target).*message)(timer); });
}
