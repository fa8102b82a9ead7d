#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <functional>
#include <mutex>

namespace platform::core {

// Work reaches the main thread (the one running the Qt event loop) only through these calls.

// True on the thread that owns the application object (before one exists: the thread that started the
// program).
bool isMainThread();

// Queues fn on the main event loop; blocks queued from any thread run in the order they were queued.
// (Without an application object there is no loop to queue on, and fn runs at once.)
void dispatchAsyncMain(std::function<void()> fn);

// Runs fn on the main thread and returns once it has run: inline when already on the main thread,
// otherwise queued and waited for. While the main thread itself is blocked in a wait of this layer
// (DispatchQueue::sync, Operation::waitUntilFinished, ...) it runs such blocks meanwhile, so a worker
// that needs the main thread while the main thread waits for that worker does not deadlock.
void dispatchSyncMain(std::function<void()> fn);

// Runs fn on the main thread once ms have passed on the current clock (a ManualClock: when it is
// advanced past that point).
void dispatchAfter(qint64 ms, std::function<void()> fn);

// Waits until the shared workers have nothing queued or running, at most timeoutMs; false on timeout.
// The program calls it before it takes down what background work reaches into (the application's
// objects at the end of a run, the process's statics at exit).
bool waitForBackgroundWork(int timeoutMs);

namespace detail {
// Runs the dispatchSyncMain blocks waiting for the main thread; called by the main thread while it waits.
void runPendingSyncMainBlocks();
// Waits on cv (lock held) until pred holds; on the main thread it serves dispatchSyncMain blocks meanwhile.
void waitBlocking(std::unique_lock<std::mutex> &lock, std::condition_variable &cv, const std::function<bool()> &pred);
// Runs fn on the shared worker pool, which grows when every worker is busy (blocks that wait on each
// other must not starve) and lets idle workers go after a while.
void runOnWorker(std::function<void()> fn);
} // namespace detail

} // namespace platform::core
