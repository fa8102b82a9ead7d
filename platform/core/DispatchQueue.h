#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace platform::core {

namespace detail {
class DispatchQueueState;
// Queues fn on a queue's shared state (used by timers, which may outlive the queue's handle).
void asyncOnQueueState(const std::shared_ptr<DispatchQueueState> &state, std::function<void()> fn);
} // namespace detail

// A named queue of blocks run on a shared, growing pool of worker threads.
//
// Serial: one block at a time, in the order they were queued.
// Concurrent: blocks run side by side; a barrier block waits for the blocks queued before it, runs
// alone, and holds back the blocks queued after it. Reads as sync() and writes as asyncBarrier() or
// syncBarrier() therefore make a reader/writer lock.
//
// sync() and syncBarrier() run the block on the calling thread once its turn comes and return after it
// has run. Called from inside a block of the same queue (directly or through nested sync calls) they
// run the block inline at once instead of waiting for themselves.
//
// Destruction drains: every block queued before the destructor runs, and the destructor waits for
// them; nothing is cancelled. Destroyed from inside one of its own blocks, the queue cannot wait for
// itself, so the remaining blocks run afterwards on their own.
class DispatchQueue
{
public:
    enum class Kind { Serial, Concurrent };

    explicit DispatchQueue(const QString &label, Kind kind = Kind::Serial);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue &) = delete;
    DispatchQueue &operator=(const DispatchQueue &) = delete;

    static std::shared_ptr<DispatchQueue> serial(const QString &label);
    static std::shared_ptr<DispatchQueue> concurrent(const QString &label);

    QString label() const;
    Kind kind() const;

    void async(std::function<void()> fn);
    void sync(const std::function<void()> &fn);
    // On a serial queue a barrier is an ordinary block.
    void asyncBarrier(std::function<void()> fn);
    void syncBarrier(const std::function<void()> &fn);

    // Runs fn on the queue and returns its result.
    template <typename F> auto syncResult(F &&fn) -> decltype(fn())
    {
        using R = decltype(fn());
        if constexpr (std::is_void_v<R>) {
            sync(std::forward<F>(fn));
        } else {
            std::optional<R> result;
            sync([&] { result.emplace(fn()); });
            return std::move(*result);
        }
    }

    // True while the calling thread runs a block of this queue.
    bool isCurrent() const;
    // The label of the innermost queue whose block the calling thread runs; null when none.
    static QString currentLabel();

    // The shared state blocks and timers keep alive after the handle is gone.
    const std::shared_ptr<detail::DispatchQueueState> &state() const { return m_state; }

private:
    std::shared_ptr<detail::DispatchQueueState> m_state;
};

} // namespace platform::core
