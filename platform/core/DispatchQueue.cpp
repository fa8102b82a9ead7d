#include "platform/core/DispatchQueue.h"

#include "platform/core/Dispatch.h"

#include <QDebug>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace platform::core {

namespace detail {

class DispatchQueueState : public std::enable_shared_from_this<DispatchQueueState>
{
public:
    struct Item
    {
        std::function<void()> fn;
        bool barrier = false;
        bool isSync = false;
        bool granted = false;
    };

    DispatchQueueState(const QString &label, DispatchQueue::Kind kind) : label(label), kind(kind) {}

    void async(std::function<void()> fn, bool barrier);
    void sync(const std::function<void()> &fn, bool barrier);
    bool isHeldByThisThread() const;
    void waitUntilDrained();

    const QString label;
    const DispatchQueue::Kind kind;

private:
    void runHeld(const std::function<void()> &fn);
    // Serial queues.
    void drainSerial();
    void passOnSerial(std::unique_lock<std::mutex> &lock);
    // Concurrent queues.
    void scheduleConcurrent(std::unique_lock<std::mutex> &lock);
    void completeConcurrent(bool barrier);
    void startOnWorker(const std::shared_ptr<Item> &item);

    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<std::shared_ptr<Item>> m_items;
    int m_outstanding = 0; // queued or running blocks, for draining
    bool m_owned = false;  // serial: some thread runs (or is about to run) the queue's blocks
    int m_running = 0;     // concurrent: ordinary blocks running
    bool m_barrierRunning = false;
};

namespace {
// The queues whose blocks the current thread is running, innermost last.
thread_local std::vector<const DispatchQueueState *> t_heldQueues;
} // namespace

void DispatchQueueState::runHeld(const std::function<void()> &fn)
{
    t_heldQueues.push_back(this);
    fn();
    t_heldQueues.pop_back();
}

bool DispatchQueueState::isHeldByThisThread() const
{
    return std::find(t_heldQueues.begin(), t_heldQueues.end(), this) != t_heldQueues.end();
}

void DispatchQueueState::async(std::function<void()> fn, bool barrier)
{
    auto item = std::make_shared<Item>();
    item->fn = std::move(fn);
    item->barrier = barrier && kind == DispatchQueue::Kind::Concurrent;
    std::unique_lock lock(m_mutex);
    m_items.push_back(item);
    ++m_outstanding;
    if (kind == DispatchQueue::Kind::Serial) {
        if (!m_owned) {
            m_owned = true;
            lock.unlock();
            detail::runOnWorker([self = shared_from_this()] { self->drainSerial(); });
        }
        return;
    }
    scheduleConcurrent(lock);
}

void DispatchQueueState::sync(const std::function<void()> &fn, bool barrier)
{
    if (isHeldByThisThread()) {
        // Waiting for our own turn would wait forever: the caller already runs inside this queue.
        if (barrier && kind == DispatchQueue::Kind::Concurrent)
            qWarning() << "DispatchQueue" << label << ": syncBarrier from inside the queue runs without exclusivity";
        runHeld(fn);
        return;
    }
    const bool isBarrier = barrier && kind == DispatchQueue::Kind::Concurrent;
    std::unique_lock lock(m_mutex);
    ++m_outstanding;
    bool mine = false;
    if (m_items.empty()) {
        if (kind == DispatchQueue::Kind::Serial && !m_owned) {
            m_owned = mine = true;
        } else if (kind == DispatchQueue::Kind::Concurrent && !m_barrierRunning && (!isBarrier || m_running == 0)) {
            if (isBarrier)
                m_barrierRunning = true;
            else
                ++m_running;
            mine = true;
        }
    }
    if (!mine) {
        auto item = std::make_shared<Item>();
        item->barrier = isBarrier;
        item->isSync = true;
        m_items.push_back(item);
        if (kind == DispatchQueue::Kind::Concurrent)
            scheduleConcurrent(lock);
        detail::waitBlocking(lock, m_cond, [&] { return item->granted; });
    }
    lock.unlock();
    runHeld(fn);
    if (kind == DispatchQueue::Kind::Serial) {
        lock.lock();
        --m_outstanding;
        m_cond.notify_all();
        passOnSerial(lock);
    } else {
        completeConcurrent(isBarrier);
    }
}

void DispatchQueueState::drainSerial()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_items.empty()) {
            m_owned = false;
            return;
        }
        if (m_items.front()->isSync) {
            passOnSerial(lock);
            return;
        }
        std::shared_ptr<Item> item = std::move(m_items.front());
        m_items.pop_front();
        lock.unlock();
        runHeld(item->fn);
        item.reset();
        lock.lock();
        --m_outstanding;
        m_cond.notify_all();
    }
}

// The thread that owned the serial queue is done with it: hand it to a waiting sync caller, to a worker
// for the queued blocks, or release it.
void DispatchQueueState::passOnSerial(std::unique_lock<std::mutex> &lock)
{
    if (m_items.empty()) {
        m_owned = false;
        return;
    }
    if (m_items.front()->isSync) {
        std::shared_ptr<Item> item = m_items.front();
        m_items.pop_front();
        item->granted = true;
        m_cond.notify_all();
        return;
    }
    lock.unlock();
    detail::runOnWorker([self = shared_from_this()] { self->drainSerial(); });
    lock.lock();
}

void DispatchQueueState::scheduleConcurrent(std::unique_lock<std::mutex> &lock)
{
    std::vector<std::shared_ptr<Item>> toStart;
    while (!m_items.empty() && !m_barrierRunning) {
        const std::shared_ptr<Item> &front = m_items.front();
        if (front->barrier) {
            if (m_running > 0)
                break;
            m_barrierRunning = true;
        } else {
            ++m_running;
        }
        std::shared_ptr<Item> item = front;
        m_items.pop_front();
        if (item->isSync) {
            item->granted = true;
            m_cond.notify_all();
        } else {
            toStart.push_back(std::move(item));
        }
    }
    if (toStart.empty())
        return;
    lock.unlock();
    for (const auto &item : toStart)
        startOnWorker(item);
    lock.lock();
}

void DispatchQueueState::startOnWorker(const std::shared_ptr<Item> &item)
{
    detail::runOnWorker([self = shared_from_this(), item] {
        self->runHeld(item->fn);
        item->fn = nullptr;
        self->completeConcurrent(item->barrier);
    });
}

void DispatchQueueState::completeConcurrent(bool barrier)
{
    std::unique_lock lock(m_mutex);
    if (barrier)
        m_barrierRunning = false;
    else
        --m_running;
    --m_outstanding;
    m_cond.notify_all();
    scheduleConcurrent(lock);
}

void asyncOnQueueState(const std::shared_ptr<DispatchQueueState> &state, std::function<void()> fn)
{
    if (state && fn)
        state->async(std::move(fn), false);
}

void DispatchQueueState::waitUntilDrained()
{
    if (isHeldByThisThread())
        return;
    std::unique_lock lock(m_mutex);
    detail::waitBlocking(lock, m_cond, [this] { return m_outstanding == 0; });
}

} // namespace detail

DispatchQueue::DispatchQueue(const QString &label, Kind kind)
    : m_state(std::make_shared<detail::DispatchQueueState>(label, kind))
{}

DispatchQueue::~DispatchQueue()
{
    m_state->waitUntilDrained();
}

std::shared_ptr<DispatchQueue> DispatchQueue::serial(const QString &label)
{
    return std::make_shared<DispatchQueue>(label, Kind::Serial);
}

std::shared_ptr<DispatchQueue> DispatchQueue::concurrent(const QString &label)
{
    return std::make_shared<DispatchQueue>(label, Kind::Concurrent);
}

QString DispatchQueue::label() const
{
    return m_state->label;
}

DispatchQueue::Kind DispatchQueue::kind() const
{
    return m_state->kind;
}

void DispatchQueue::async(std::function<void()> fn)
{
    if (fn)
        m_state->async(std::move(fn), false);
}

void DispatchQueue::sync(const std::function<void()> &fn)
{
    if (fn)
        m_state->sync(fn, false);
}

void DispatchQueue::asyncBarrier(std::function<void()> fn)
{
    if (fn)
        m_state->async(std::move(fn), true);
}

void DispatchQueue::syncBarrier(const std::function<void()> &fn)
{
    if (fn)
        m_state->sync(fn, true);
}

bool DispatchQueue::isCurrent() const
{
    return m_state->isHeldByThisThread();
}

QString DispatchQueue::currentLabel()
{
    return detail::t_heldQueues.empty() ? QString() : detail::t_heldQueues.back()->label;
}

} // namespace platform::core
