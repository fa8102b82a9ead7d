#include "platform/core/Timer.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/core/DispatchQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <unordered_set>

namespace platform::core {

namespace detail {
class DispatchQueueState;
}

namespace {

// Lives in the thread a timer fires on: owns the Qt timer that waits on the system clock and is the
// target of handlers posted to that thread.
class TimerDriver : public QObject
{
public:
    explicit TimerDriver(std::function<void(quint64)> onTimeout) : m_onTimeout(std::move(onTimeout))
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { m_onTimeout(m_armedGeneration); });
    }

    void start(qint64 delayMs, quint64 generation)
    {
        m_armedGeneration = generation;
        m_timer.start(int(std::min<qint64>(delayMs, std::numeric_limits<int>::max())));
    }
    void stop() { m_timer.stop(); }

private:
    std::function<void(quint64)> m_onTimeout;
    QTimer m_timer{this};
    quint64 m_armedGeneration = 0;
};

// Queue timers wait for the system clock here, then hand their handler to their queue.
QThread *queueTimerThread()
{
    static QThread *thread = [] {
        // Never stopped or deleted: it serves timers until the process ends.
        auto *t = new QThread;
        t->setObjectName(QStringLiteral("qd-timers"));
        t->start();
        return t;
    }();
    return thread;
}

// Scheduled timers keep themselves alive until they are invalidated.
std::mutex g_registryMutex;
std::unordered_set<std::shared_ptr<Timer>> &registry()
{
    static auto *set = new std::unordered_set<std::shared_ptr<Timer>>;
    return *set;
}

QThread *mainThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app ? app->thread() : nullptr;
}

} // namespace

class TimerPrivate
{
public:
    ~TimerPrivate()
    {
        if (driver)
            driver->deleteLater();
    }

    void setUp(Timer *timer, qint64 firstDelay, QThread *targetThread,
               std::shared_ptr<detail::DispatchQueueState> targetQueue, bool startSuspended);
    void onDue(quint64 generation);
    void arm(qint64 dueMs); // lock held
    void disarm();          // lock held
    void deliver(const std::shared_ptr<Timer> &self, Timer::Handler handler, bool allowInline);
    void runHandler(const std::shared_ptr<Timer> &self, const Timer::Handler &handler);
    void unregister(const std::shared_ptr<Timer> &self);
    static std::shared_ptr<Timer> make(qint64 firstDelay, qint64 interval, bool repeats, Timer::Handler handler,
                                       QThread *thread, std::shared_ptr<detail::DispatchQueueState> queue,
                                       bool startSuspended);

    std::weak_ptr<Timer> weakSelf;
    mutable std::mutex mutex;
    Timer::Handler handler;
    qint64 interval = 0;
    bool repeats = false;
    bool valid = true;
    bool cancelled = false;
    bool suspended = false;
    qint64 nextDue = 0;
    quint64 generation = 0;

    std::shared_ptr<Clock> clock;
    ManualClock *manual = nullptr;
    ManualClock::AlarmId alarm = 0;

    QThread *thread = nullptr; // thread timers: where the handler runs
    std::shared_ptr<detail::DispatchQueueState> queue;
    TimerDriver *driver = nullptr;
};

void TimerPrivate::setUp(Timer *timer, qint64 firstDelay, QThread *targetThread,
                         std::shared_ptr<detail::DispatchQueueState> targetQueue, bool startSuspended)
{
    weakSelf = timer->weak_from_this();
    clock = Clock::current();
    manual = dynamic_cast<ManualClock *>(clock.get());
    thread = targetThread;
    queue = std::move(targetQueue);

    QThread *driverThread = queue ? (manual ? nullptr : queueTimerThread()) : thread;
    if (driverThread) {
        driver = new TimerDriver([weak = weakSelf](quint64 gen) {
            if (auto self = weak.lock())
                self->d->onDue(gen);
        });
        if (driverThread != QThread::currentThread())
            driver->moveToThread(driverThread);
    }

    std::lock_guard lock(mutex);
    nextDue = clock->monotonicNowMs() + std::max<qint64>(firstDelay, 0);
    suspended = startSuspended;
    if (!suspended)
        arm(nextDue);
}

void TimerPrivate::arm(qint64 dueMs)
{
    const quint64 gen = ++generation;
    if (manual) {
        alarm = manual->addAlarm(dueMs, [weak = weakSelf, gen] {
            if (auto self = weak.lock())
                self->d->onDue(gen);
        });
        return;
    }
    const qint64 delay = std::max<qint64>(0, dueMs - clock->monotonicNowMs());
    if (driver->thread() == QThread::currentThread())
        driver->start(delay, gen);
    else
        QMetaObject::invokeMethod(
            driver, [drv = driver, delay, gen] { drv->start(delay, gen); }, Qt::QueuedConnection);
}

void TimerPrivate::disarm()
{
    ++generation;
    if (manual) {
        if (alarm)
            manual->removeAlarm(alarm);
        alarm = 0;
        return;
    }
    if (!driver)
        return;
    if (driver->thread() == QThread::currentThread())
        driver->stop();
    else
        QMetaObject::invokeMethod(
            driver, [drv = driver] { drv->stop(); }, Qt::QueuedConnection);
}

void TimerPrivate::onDue(quint64 gen)
{
    std::shared_ptr<Timer> self = weakSelf.lock();
    if (!self)
        return;
    Timer::Handler toRun;
    {
        std::lock_guard lock(mutex);
        if (gen != generation || cancelled || suspended || !valid)
            return;
        alarm = 0;
        toRun = handler;
        if (repeats) {
            const qint64 now = clock->monotonicNowMs();
            nextDue += interval;
            // Fires missed while the thread was busy are skipped, not bunched up.
            if (nextDue <= now)
                nextDue = now + interval;
            arm(nextDue);
        } else {
            valid = false;
            handler = nullptr;
        }
    }
    deliver(self, std::move(toRun), true);
    if (!repeats)
        unregister(self);
}

void TimerPrivate::deliver(const std::shared_ptr<Timer> &self, Timer::Handler h, bool allowInline)
{
    if (!h)
        return;
    if (queue) {
        detail::asyncOnQueueState(queue, [self, h = std::move(h)] { self->d->runHandler(self, h); });
        return;
    }
    if (allowInline && QThread::currentThread() == thread) {
        runHandler(self, h);
        return;
    }
    QMetaObject::invokeMethod(
        driver, [self, h = std::move(h)] { self->d->runHandler(self, h); }, Qt::QueuedConnection);
}

void TimerPrivate::runHandler(const std::shared_ptr<Timer> &self, const Timer::Handler &h)
{
    {
        std::lock_guard lock(mutex);
        if (cancelled)
            return;
    }
    h(*self);
}

void TimerPrivate::unregister(const std::shared_ptr<Timer> &self)
{
    std::shared_ptr<Timer> keep;
    std::lock_guard lock(g_registryMutex);
    auto it = registry().find(self);
    if (it != registry().end()) {
        keep = *it; // released after the lock, never inside it
        registry().erase(it);
    }
}

Timer::Timer() : d(std::make_unique<TimerPrivate>()) {}

Timer::~Timer()
{
    std::lock_guard lock(d->mutex);
    d->cancelled = true;
    d->valid = false;
    d->disarm();
}

std::shared_ptr<Timer> Timer::scheduledTimer(qint64 intervalMs, bool repeats, Handler handler)
{
    QThread *thread = QThread::currentThread();
    // A worker thread has no event loop to wait on; its timers fire on the main thread.
    if (!thread->eventDispatcher() && mainThread())
        thread = mainThread();
    const qint64 interval = repeats ? std::max<qint64>(intervalMs, 1) : std::max<qint64>(intervalMs, 0);
    return TimerPrivate::make(interval, interval, repeats, std::move(handler), thread, nullptr, false);
}

std::shared_ptr<Timer> Timer::scheduledTimer(qint64 intervalMs, bool repeats, QObject *owner, Handler handler)
{
    return scheduledTimer(intervalMs, repeats, [owner = QPointer<QObject>(owner), h = std::move(handler)](Timer &t) {
        if (owner)
            h(t);
    });
}

std::shared_ptr<Timer> Timer::queueTimer(DispatchQueue &queue, qint64 firstDelayMs, qint64 intervalMs, Handler handler,
                                         bool startSuspended)
{
    return TimerPrivate::make(std::max<qint64>(firstDelayMs, 0), std::max<qint64>(intervalMs, 1), true,
                              std::move(handler), nullptr, queue.state(), startSuspended);
}

std::shared_ptr<Timer> TimerPrivate::make(qint64 firstDelay, qint64 interval, bool repeats, Timer::Handler handler,
                                          QThread *thread, std::shared_ptr<detail::DispatchQueueState> queue,
                                          bool startSuspended)
{
    std::shared_ptr<Timer> timer(new Timer);
    timer->d->handler = std::move(handler);
    timer->d->interval = interval;
    timer->d->repeats = repeats;
    {
        std::lock_guard lock(g_registryMutex);
        registry().insert(timer);
    }
    timer->d->setUp(timer.get(), firstDelay, thread, std::move(queue), startSuspended);
    return timer;
}

void Timer::fire()
{
    std::shared_ptr<Timer> self = weak_from_this().lock();
    Handler h;
    {
        std::lock_guard lock(d->mutex);
        if (!d->valid)
            return;
        h = d->handler;
    }
    if (h)
        h(*this);
    if (!d->repeats)
        invalidate();
}

void Timer::invalidate()
{
    std::shared_ptr<Timer> self = weak_from_this().lock();
    Handler released;
    {
        std::lock_guard lock(d->mutex);
        if (d->cancelled)
            return;
        d->cancelled = true;
        d->valid = false;
        d->disarm();
        released = std::move(d->handler);
        d->handler = nullptr;
    }
    if (self)
        d->unregister(self);
}

bool Timer::isValid() const
{
    std::lock_guard lock(d->mutex);
    return d->valid;
}

void Timer::suspend()
{
    std::lock_guard lock(d->mutex);
    if (!d->valid || d->suspended)
        return;
    d->suspended = true;
    d->disarm();
}

void Timer::resume()
{
    std::shared_ptr<Timer> self = weak_from_this().lock();
    Handler overdue;
    {
        std::lock_guard lock(d->mutex);
        if (!d->valid || !d->suspended)
            return;
        d->suspended = false;
        const qint64 now = d->clock->monotonicNowMs();
        if (d->nextDue <= now) {
            overdue = d->handler;
            d->nextDue = now + d->interval;
        }
        d->arm(d->nextDue);
    }
    if (self && overdue)
        d->deliver(self, std::move(overdue), false);
}

bool Timer::isSuspended() const
{
    std::lock_guard lock(d->mutex);
    return d->suspended;
}

qint64 Timer::intervalMs() const
{
    return d->interval;
}

bool Timer::repeats() const
{
    return d->repeats;
}

QDateTime Timer::fireDate() const
{
    std::lock_guard lock(d->mutex);
    if (!d->valid || d->suspended)
        return {};
    return d->clock->utcNow().addMSecs(d->nextDue - d->clock->monotonicNowMs());
}

namespace detail {

std::shared_ptr<Timer> scheduleMainThreadTimer(qint64 ms, Timer::Handler handler)
{
    QThread *thread = mainThread();
    if (!thread)
        thread = QThread::currentThread();
    return TimerPrivate::make(std::max<qint64>(ms, 0), std::max<qint64>(ms, 0), false, std::move(handler), thread,
                              nullptr, false);
}

} // namespace detail

} // namespace platform::core
