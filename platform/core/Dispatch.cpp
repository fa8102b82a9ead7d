#include "platform/core/Dispatch.h"

#include "platform/core/Timer.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <deque>
#include <thread>

#include <pthread.h>

namespace platform::core {

namespace {

const std::thread::id g_startThread = std::this_thread::get_id();

struct SyncMainRequest
{
    std::function<void()> fn;
    bool done = false;
};

// Never destroyed: a worker may still be blocked waiting for the main thread when the process exits, and
// destroying a condition variable that has a waiter blocks the exit forever.
std::mutex &g_syncMainMutex = *new std::mutex;
std::condition_variable &g_syncMainDone = *new std::condition_variable;
std::deque<std::shared_ptr<SyncMainRequest>> &g_syncMainPending = *new std::deque<std::shared_ptr<SyncMainRequest>>;

// Threads are kept when work keeps coming and let go after this much idleness.
constexpr auto WorkerIdleTimeout = std::chrono::seconds(15);
// A ceiling against runaway growth; far above what the program's queues need at once.
constexpr int MaxWorkers = 512;

class WorkerPool
{
public:
    void submit(std::function<void()> fn)
    {
        std::unique_lock lock(m_mutex);
        m_tasks.push_back(std::move(fn));
        if (m_idle >= int(m_tasks.size()) || m_threads >= MaxWorkers) {
            m_cond.notify_one();
            return;
        }
        ++m_threads;
        lock.unlock();
        std::thread(&WorkerPool::run, this).detach();
    }

private:
    void run()
    {
        pthread_setname_np(pthread_self(), "qd-worker");
        std::unique_lock lock(m_mutex);
        for (;;) {
            while (m_tasks.empty()) {
                ++m_idle;
                const bool woke = m_cond.wait_for(lock, WorkerIdleTimeout, [this] { return !m_tasks.empty(); });
                --m_idle;
                if (!woke) {
                    --m_threads;
                    return;
                }
            }
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            ++m_busy;
            lock.unlock();
            task();
            task = nullptr;
            lock.lock();
            --m_busy;
            if (m_tasks.empty() && m_busy == 0)
                m_drained.notify_all();
        }
    }

public:
    // True once nothing is queued or running; false when the deadline came first. Called on the main
    // thread, it runs the workers' dispatchSyncMain blocks meanwhile, as a worker may be waiting on one.
    bool waitUntilIdle(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(m_mutex);
        const bool main = isMainThread();
        while (!(m_tasks.empty() && m_busy == 0)) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            if (main) {
                lock.unlock();
                detail::runPendingSyncMainBlocks();
                lock.lock();
            }
            m_drained.wait_for(lock, std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::condition_variable m_drained;
    std::deque<std::function<void()>> m_tasks;
    int m_busy = 0;
    int m_idle = 0;
    int m_threads = 0;
};

WorkerPool &pool()
{
    // Never destroyed: detached workers may still touch it while the process exits.
    static WorkerPool *p = new WorkerPool;
    return *p;
}

} // namespace

bool isMainThread()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        return QThread::currentThread() == app->thread();
    return std::this_thread::get_id() == g_startThread;
}

void dispatchAsyncMain(std::function<void()> fn)
{
    if (!fn)
        return;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) {
        // Without an application there is no event loop to queue on.
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

void dispatchSyncMain(std::function<void()> fn)
{
    if (!fn)
        return;
    if (isMainThread() || !QCoreApplication::instance()) {
        fn();
        return;
    }
    auto request = std::make_shared<SyncMainRequest>();
    request->fn = std::move(fn);
    {
        std::lock_guard lock(g_syncMainMutex);
        g_syncMainPending.push_back(request);
    }
    // Whichever comes first runs it: the event loop, or the main thread blocked in one of our waits.
    dispatchAsyncMain([] { detail::runPendingSyncMainBlocks(); });
    std::unique_lock lock(g_syncMainMutex);
    g_syncMainDone.wait(lock, [&] { return request->done; });
}

bool waitForBackgroundWork(int timeoutMs)
{
    return pool().waitUntilIdle(std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0)));
}

void dispatchAfter(qint64 ms, std::function<void()> fn)
{
    if (!fn)
        return;
    detail::scheduleMainThreadTimer(std::max<qint64>(ms, 0), [fn = std::move(fn)](Timer &) { fn(); });
}

namespace detail {

void runPendingSyncMainBlocks()
{
    for (;;) {
        std::shared_ptr<SyncMainRequest> request;
        {
            std::lock_guard lock(g_syncMainMutex);
            if (g_syncMainPending.empty())
                return;
            request = g_syncMainPending.front();
            g_syncMainPending.pop_front();
        }
        request->fn();
        request->fn = nullptr;
        {
            std::lock_guard lock(g_syncMainMutex);
            request->done = true;
        }
        g_syncMainDone.notify_all();
    }
}

static bool hasPendingSyncMainBlocks()
{
    std::lock_guard lock(g_syncMainMutex);
    return !g_syncMainPending.empty();
}

void waitBlocking(std::unique_lock<std::mutex> &lock, std::condition_variable &cv, const std::function<bool()> &pred)
{
    if (!isMainThread()) {
        cv.wait(lock, pred);
        return;
    }
    // The main thread looks for dispatchSyncMain work every few milliseconds while it waits; a worker
    // it waits for may be waiting for it.
    while (!pred()) {
        if (hasPendingSyncMainBlocks()) {
            lock.unlock();
            runPendingSyncMainBlocks();
            lock.lock();
            continue;
        }
        cv.wait_for(lock, std::chrono::milliseconds(2));
    }
}

void runOnWorker(std::function<void()> fn)
{
    pool().submit(std::move(fn));
}

} // namespace detail

} // namespace platform::core
