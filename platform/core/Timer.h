#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <mutex>

namespace platform::core {

class Clock;
class DispatchQueue;
class TimerPrivate;

// A one-shot or repeating timer on the current clock (Clock.h).
//
// A scheduled timer fires on the thread that scheduled it, through that thread's event loop (the main
// thread normally; a thread without an event loop, such as a queue's worker, gets its timers on the main
// thread). A queue timer fires its handler as a block on a DispatchQueue instead.
//
// Once scheduled, a timer keeps itself alive and keeps firing until it is invalidated (a one-shot timer
// invalidates itself after firing). The handler is held as given, together with whatever it captures;
// to call an object without keeping it alive, capture it weakly or pass an owner guard: when the owner
// is gone the handler is skipped and the timer stays valid until someone invalidates it. An owner should
// invalidate its timers when it goes away.
class Timer : public std::enable_shared_from_this<Timer>
{
public:
    using Handler = std::function<void(Timer &)>;

    // Fires first after intervalMs, then (repeats) every intervalMs. A repeating interval below 1 ms is
    // taken as 1 ms.
    static std::shared_ptr<Timer> scheduledTimer(qint64 intervalMs, bool repeats, Handler handler);
    // The handler runs only while owner exists; owner is a QObject of the scheduling thread.
    static std::shared_ptr<Timer> scheduledTimer(qint64 intervalMs, bool repeats, QObject *owner, Handler handler);
    // The handler runs only while owner exists, and holds it for the duration of the call.
    template <typename T>
    static std::shared_ptr<Timer> scheduledTimer(qint64 intervalMs, bool repeats, const std::weak_ptr<T> &owner,
                                                 Handler handler)
    {
        return scheduledTimer(intervalMs, repeats, [owner, h = std::move(handler)](Timer &t) {
            if (auto strong = owner.lock())
                h(t);
        });
    }

    // A repeating timer whose handler runs on queue: first after firstDelayMs, then every intervalMs.
    // Created suspended when startSuspended; while suspended nothing fires, and a first fire time passed
    // meanwhile fires at once on resume() before the interval goes on.
    static std::shared_ptr<Timer> queueTimer(DispatchQueue &queue, qint64 firstDelayMs, qint64 intervalMs,
                                             Handler handler, bool startSuspended = false);

    ~Timer();
    Timer(const Timer &) = delete;
    Timer &operator=(const Timer &) = delete;

    // Runs the handler now on the calling thread, leaving the schedule as it is; a one-shot timer is
    // invalidated afterwards. Does nothing on an invalid timer.
    void fire();
    // Stops the timer for good; the handler is released. Safe from any thread, also from the handler.
    void invalidate();
    bool isValid() const;

    void suspend();
    void resume();
    bool isSuspended() const;

    qint64 intervalMs() const;
    bool repeats() const;
    // When the timer fires next, on the clock's wall time; null when invalid or suspended.
    QDateTime fireDate() const;

private:
    friend class TimerPrivate;
    Timer();
    std::unique_ptr<TimerPrivate> d;
};

namespace detail {
// A one-shot timer on the main thread, whichever thread asks (dispatchAfter).
std::shared_ptr<Timer> scheduleMainThreadTimer(qint64 ms, Timer::Handler handler);
} // namespace detail

} // namespace platform::core
