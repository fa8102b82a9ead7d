#pragma once

#include "platform/core/Timer.h"

#include <QObject>
#include <QPointer>

#include <concepts>
#include <memory>
#include <mutex>

// What the owner of a timer that runs through a TimerTarget implements; it overrides the operation its
// timer sends, the others do nothing.
class TimerTargetReceiver
{
public:
    virtual ~TimerTargetReceiver() = default;
    virtual void checkDateTimerFired(platform::core::Timer &timer) {}
    virtual void forceSyncEventsWithCalendar(platform::core::Timer &timer) {}
    virtual void checkDropBoxForUpdates(platform::core::Timer &timer) {}
    virtual void checkForAutomaticBackupTime(platform::core::Timer &timer) {}
};

// A trampoline for repeating timers: the timer holds the trampoline, and the trampoline holds its real
// target only weakly, so a timer never keeps its owner alive. Once the target is gone every message is
// dropped, until the owner's timer is invalidated.
class TimerTarget
{
public:
    using Message = void (TimerTarget::*)(platform::core::Timer &);

    // The real target while it exists, else null.
    std::shared_ptr<TimerTargetReceiver> realTarget() const;
    // An owner held by a shared_ptr.
    void setRealTarget(const std::weak_ptr<TimerTargetReceiver> &target);
    template <typename T>
    requires std::derived_from<T, TimerTargetReceiver>
    void setRealTarget(const std::shared_ptr<T> &target)
    {
        setRealTarget(std::weak_ptr<TimerTargetReceiver>(std::static_pointer_cast<TimerTargetReceiver>(target)));
    }
    // An owner that is a QObject (a window's controller): it is gone once the object is destroyed.
    template <typename T>
    requires std::derived_from<T, TimerTargetReceiver> && std::derived_from<T, QObject>
    void setRealTarget(T *target)
    {
        setQObjectTarget(static_cast<QObject *>(target), static_cast<TimerTargetReceiver *>(target));
    }

    // Each sends the same-named operation, with the timer, to the real target when it still exists.
    void checkDateTimerFired(platform::core::Timer &timer);
    void forceSyncEventsWithCalendar(platform::core::Timer &timer);
    void checkDropBoxForUpdates(platform::core::Timer &timer);
    void checkForAutomaticBackupTime(platform::core::Timer &timer);

    // A repeating timer on the calling thread that sends `message` to `target` every intervalMs; the
    // owner keeps the timer and invalidates it when it goes away.
    static std::shared_ptr<platform::core::Timer> scheduledTimer(qint64 intervalMs, std::shared_ptr<TimerTarget> target,
                                                                 Message message);

private:
    void setQObjectTarget(QObject *object, TimerTargetReceiver *receiver);

    mutable std::mutex m_mutex;
    std::weak_ptr<TimerTargetReceiver> m_sharedTarget;
    QPointer<QObject> m_objectTarget;
    TimerTargetReceiver *m_objectReceiver = nullptr;
};
