#pragma once

#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::core {

class OperationQueue;
class OperationQueuePrivate;

// A unit of work with a life of its own: dependencies, cancellation, a completion callback, and a
// finished state others can wait for. Subclass and override main(), or use BlockOperation. Always held
// by std::shared_ptr (make it with std::make_shared).
//
// Life: pending -> executing -> finished. An operation starts once every dependency has finished
// (cancelled or not). Cancelling one that has not started makes it finish without running main(),
// whatever its dependencies. A synchronous operation finishes when main() returns; an asynchronous one
// (isAsynchronous() true) stays executing after main() returns until it calls finish(), from any thread.
// Cancelling an executing operation only sets the flag; main() should look at isCancelled().
//
// The completion callback runs once, on the thread that finished the operation, after isFinished()
// has become true and before waiters wake and dependent operations may start.
class Operation : public std::enable_shared_from_this<Operation>
{
public:
    Operation();
    virtual ~Operation();
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

    QString name() const;
    void setName(const QString &name);

    bool isCancelled() const;
    bool isExecuting() const;
    bool isFinished() const;
    // Not started, and every dependency finished (or this one cancelled).
    bool isReady() const;
    virtual bool isAsynchronous() const { return false; }

    virtual void cancel();

    // Dependencies may live on any queue. Add them before the operation starts.
    void addDependency(const std::shared_ptr<Operation> &op);
    void removeDependency(const std::shared_ptr<Operation> &op);
    std::vector<std::shared_ptr<Operation>> dependencies() const;

    void setCompletionBlock(std::function<void()> block);
    bool hasCompletionBlock() const;

    // Blocks until the operation has finished and its completion callback has run. The main thread
    // waiting for an operation of the main queue keeps the event loop turning meanwhile, so it does not
    // wait for itself.
    void waitUntilFinished();

    // Runs the operation now on the calling thread, for operations that are not on a queue. Does
    // nothing when it already started; an operation cancelled before it starts just finishes.
    void start();

    // The queue the operation was added to (null when none or gone).
    OperationQueue *queue() const;

protected:
    virtual void main() {}
    // Ends an asynchronous operation (the executing state ends and completion follows). Calling it again,
    // or on a synchronous operation, does nothing.
    void finish();

private:
    friend class OperationQueue;
    friend class OperationQueuePrivate;
    void execute(); // runs an operation already claimed for starting
    void markFinished();
    bool isDoneForOthers() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    QString m_name;
    enum class State { Pending, Executing, Finished };
    State m_state = State::Pending;
    bool m_cancelled = false;
    bool m_completionDone = false;
    bool m_claimed = false;  // started directly, or taken by its queue to start
    bool m_usesSlot = false; // counts against its queue's concurrency limit while it executes
    std::function<void()> m_completion;
    std::vector<std::shared_ptr<Operation>> m_dependencies;
    std::vector<std::weak_ptr<Operation>> m_dependents;
    std::weak_ptr<OperationQueuePrivate> m_queue;
};

// An operation that runs one or more blocks, in the order they were added, one after the other.
class BlockOperation : public Operation
{
public:
    BlockOperation() = default;
    explicit BlockOperation(std::function<void()> block);
    static std::shared_ptr<BlockOperation> create(std::function<void()> block);

    // Add blocks before the operation starts.
    void addExecutionBlock(std::function<void()> block);

protected:
    void main() override;

private:
    std::mutex m_blocksMutex;
    std::vector<std::function<void()>> m_blocks;
};

// Runs operations as they become ready, oldest first, at most maxConcurrentOperationCount at a time
// (unlimited by default), on the shared worker pool; mainQueue() runs them one at a time on the main
// thread's event loop.
//
// Destruction cancels the operations that have not started (they finish without running, their
// completion callbacks still run) and waits for the executing ones to finish.
class OperationQueue
{
public:
    static constexpr int DefaultMaxConcurrentOperationCount = -1;

    explicit OperationQueue(const QString &name = QString());
    ~OperationQueue();
    OperationQueue(const OperationQueue &) = delete;
    OperationQueue &operator=(const OperationQueue &) = delete;

    static OperationQueue *mainQueue();
    // The queue running the operation that the calling thread executes; null when none.
    static OperationQueue *currentQueue();

    QString name() const;
    void setName(const QString &name);

    int maxConcurrentOperationCount() const;
    // -1 (or any value below 1) means no limit. Ignored by the main queue, which is always serial.
    void setMaxConcurrentOperationCount(int count);

    // A suspended queue starts no operation (executing ones go on; cancelled ones still finish).
    bool isSuspended() const;
    void setSuspended(bool suspended);

    // An operation belongs to one queue once; adding it again, or adding a finished one, is ignored.
    void addOperation(const std::shared_ptr<Operation> &op);
    std::shared_ptr<BlockOperation> addOperation(std::function<void()> block);
    void addOperations(const std::vector<std::shared_ptr<Operation>> &ops, bool waitUntilFinished);

    // The operations not yet finished, in the order they were added.
    std::vector<std::shared_ptr<Operation>> operations() const;
    int operationCount() const;

    void cancelAllOperations();
    // Blocks until every operation added so far (and any added meanwhile) has finished. On the main
    // queue from the main thread it turns the event loop meanwhile (and refuses, with a warning, when
    // called from one of the main queue's own operations).
    void waitUntilAllOperationsAreFinished();

private:
    explicit OperationQueue(const QString &name, bool isMain);
    std::shared_ptr<OperationQueuePrivate> d;
};

} // namespace platform::core
