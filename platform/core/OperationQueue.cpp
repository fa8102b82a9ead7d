#include "platform/core/OperationQueue.h"

#include "platform/core/Dispatch.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace platform::core {

class OperationQueuePrivate : public std::enable_shared_from_this<OperationQueuePrivate>
{
public:
    OperationQueuePrivate(OperationQueue *q, const QString &name, bool isMain) : q(q), name(name), isMain(isMain) {}

    void schedule();
    void operationFinished(Operation *op);
    void run(const std::shared_ptr<Operation> &op);

    std::atomic<OperationQueue *> q;
    mutable std::mutex mutex;
    std::condition_variable cond;
    QString name;
    const bool isMain;
    int maxConcurrent = OperationQueue::DefaultMaxConcurrentOperationCount;
    bool suspended = false;
    int executing = 0;
    std::vector<std::shared_ptr<Operation>> ops;
};

namespace {
thread_local OperationQueuePrivate *t_currentQueue = nullptr;
} // namespace

// Waits on the main thread for work of the main queue, letting the event loop run it meanwhile.
static void serveMainQueueUntil(const std::function<bool()> &done)
{
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!done())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---- Operation ----

Operation::Operation() = default;
Operation::~Operation() = default;

QString Operation::name() const
{
    std::lock_guard lock(m_mutex);
    return m_name;
}

void Operation::setName(const QString &name)
{
    std::lock_guard lock(m_mutex);
    m_name = name;
}

bool Operation::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

bool Operation::isExecuting() const
{
    std::lock_guard lock(m_mutex);
    return m_state == State::Executing;
}

bool Operation::isFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_state == State::Finished;
}

bool Operation::isDoneForOthers() const
{
    std::lock_guard lock(m_mutex);
    return m_completionDone;
}

bool Operation::isReady() const
{
    std::vector<std::shared_ptr<Operation>> deps;
    {
        std::lock_guard lock(m_mutex);
        if (m_state != State::Pending || m_claimed)
            return false;
        if (m_cancelled)
            return true;
        deps = m_dependencies;
    }
    // A dependency counts as done once its completion callback has run, so that callback can still
    // prepare what the dependent reads.
    return std::all_of(deps.begin(), deps.end(), [](const auto &dep) { return dep->isDoneForOthers(); });
}

void Operation::cancel()
{
    std::shared_ptr<OperationQueuePrivate> queue;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == State::Finished || m_cancelled)
            return;
        m_cancelled = true;
        if (m_state == State::Pending)
            queue = m_queue.lock();
    }
    // A waiting operation that is cancelled finishes at once, without waiting for its dependencies.
    if (queue)
        queue->schedule();
}

void Operation::addDependency(const std::shared_ptr<Operation> &op)
{
    if (!op || op.get() == this)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (std::find(m_dependencies.begin(), m_dependencies.end(), op) != m_dependencies.end())
            return;
        if (m_state != State::Pending)
            qWarning() << "Operation" << m_name << ": dependency added after it started";
        m_dependencies.push_back(op);
    }
    std::lock_guard lock(op->m_mutex);
    op->m_dependents.push_back(weak_from_this());
}

void Operation::removeDependency(const std::shared_ptr<Operation> &op)
{
    if (!op)
        return;
    {
        std::lock_guard lock(m_mutex);
        std::erase(m_dependencies, op);
    }
    {
        std::lock_guard lock(op->m_mutex);
        std::erase_if(op->m_dependents, [this](const std::weak_ptr<Operation> &w) {
            auto s = w.lock();
            return !s || s.get() == this;
        });
    }
    if (auto queue = [this] {
            std::lock_guard lock(m_mutex);
            return m_queue.lock();
        }())
        queue->schedule();
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const
{
    std::lock_guard lock(m_mutex);
    return m_dependencies;
}

void Operation::setCompletionBlock(std::function<void()> block)
{
    std::lock_guard lock(m_mutex);
    m_completion = std::move(block);
}

bool Operation::hasCompletionBlock() const
{
    std::lock_guard lock(m_mutex);
    return bool(m_completion);
}

void Operation::waitUntilFinished()
{
    std::unique_lock lock(m_mutex);
    if (m_completionDone)
        return;
    auto queue = m_queue.lock();
    if (isMainThread() && queue && queue->isMain) {
        // The main queue runs its operations from the event loop this thread would block, so keep it going.
        if (m_state == State::Executing && t_currentQueue == queue.get()) {
            qWarning() << "Operation" << m_name << ": a main-queue operation cannot wait for itself";
            return;
        }
        lock.unlock();
        serveMainQueueUntil([this] { return isDoneForOthers(); });
        return;
    }
    detail::waitBlocking(lock, m_cond, [this] { return m_completionDone; });
}

void Operation::start()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state != State::Pending || m_claimed)
            return;
        m_claimed = true;
    }
    execute();
}

void Operation::execute()
{
    bool cancelled;
    {
        std::lock_guard lock(m_mutex);
        cancelled = m_cancelled;
        if (!cancelled)
            m_state = State::Executing;
    }
    if (cancelled) {
        markFinished();
        return;
    }
    main();
    if (!isAsynchronous())
        markFinished();
}

void Operation::finish()
{
    if (!isAsynchronous())
        return;
    markFinished();
}

OperationQueue *Operation::queue() const
{
    std::lock_guard lock(m_mutex);
    auto queue = m_queue.lock();
    return queue ? queue->q.load() : nullptr;
}

void Operation::markFinished()
{
    std::function<void()> completion;
    {
        std::lock_guard lock(m_mutex);
        if (m_state == State::Finished)
            return;
        m_state = State::Finished;
        completion = std::move(m_completion);
        m_completion = nullptr;
    }
    // Keeps this operation alive through the notifications below even if its queue drops it.
    std::shared_ptr<Operation> self = weak_from_this().lock();
    if (completion)
        completion();
    completion = nullptr;

    std::vector<std::weak_ptr<Operation>> dependents;
    std::shared_ptr<OperationQueuePrivate> queue;
    {
        std::lock_guard lock(m_mutex);
        m_completionDone = true;
        dependents = m_dependents;
        queue = m_queue.lock();
    }
    if (queue)
        queue->operationFinished(this);
    {
        std::lock_guard lock(m_mutex);
        m_cond.notify_all();
    }
    if (queue)
        queue->schedule();
    // Dependents may sit on other queues; each is looked at again there.
    std::vector<std::shared_ptr<OperationQueuePrivate>> others;
    for (const auto &w : dependents) {
        if (auto dep = w.lock()) {
            std::lock_guard lock(dep->m_mutex);
            if (auto depQueue = dep->m_queue.lock();
                depQueue && depQueue != queue && std::find(others.begin(), others.end(), depQueue) == others.end())
                others.push_back(depQueue);
        }
    }
    for (const auto &other : others)
        other->schedule();
}

// ---- BlockOperation ----

BlockOperation::BlockOperation(std::function<void()> block)
{
    if (block)
        m_blocks.push_back(std::move(block));
}

std::shared_ptr<BlockOperation> BlockOperation::create(std::function<void()> block)
{
    return std::make_shared<BlockOperation>(std::move(block));
}

void BlockOperation::addExecutionBlock(std::function<void()> block)
{
    if (!block)
        return;
    if (isExecuting() || isFinished()) {
        qWarning() << "BlockOperation" << name() << ": block added after it started is ignored";
        return;
    }
    std::lock_guard lock(m_blocksMutex);
    m_blocks.push_back(std::move(block));
}

void BlockOperation::main()
{
    std::vector<std::function<void()>> blocks;
    {
        std::lock_guard lock(m_blocksMutex);
        blocks.swap(m_blocks);
    }
    for (const auto &block : blocks)
        block();
}

// ---- OperationQueue ----

void OperationQueuePrivate::schedule()
{
    std::vector<std::shared_ptr<Operation>> toStart;
    {
        std::lock_guard lock(mutex);
        const int limit = isMain ? 1 : maxConcurrent;
        for (const auto &op : ops) {
            if (!op->isReady())
                continue;
            std::lock_guard opLock(op->m_mutex);
            if (op->m_claimed || op->m_state != Operation::State::Pending)
                continue;
            if (op->m_cancelled) {
                // Finishing a cancelled operation takes no slot and happens even on a suspended queue.
                op->m_claimed = true;
                toStart.push_back(op);
                continue;
            }
            if (suspended || (limit >= 1 && executing >= limit))
                continue;
            op->m_claimed = true;
            op->m_usesSlot = true;
            ++executing;
            toStart.push_back(op);
        }
    }
    for (const auto &op : toStart) {
        if (isMain)
            dispatchAsyncMain([self = shared_from_this(), op] { self->run(op); });
        else
            detail::runOnWorker([self = shared_from_this(), op] { self->run(op); });
    }
}

void OperationQueuePrivate::run(const std::shared_ptr<Operation> &op)
{
    OperationQueuePrivate *previous = t_currentQueue;
    t_currentQueue = this;
    op->execute();
    t_currentQueue = previous;
}

void OperationQueuePrivate::operationFinished(Operation *op)
{
    std::lock_guard lock(mutex);
    auto it = std::find_if(ops.begin(), ops.end(), [op](const auto &o) { return o.get() == op; });
    if (it == ops.end())
        return;
    bool usedSlot;
    {
        std::lock_guard opLock(op->m_mutex);
        usedSlot = op->m_usesSlot;
        op->m_usesSlot = false;
    }
    if (usedSlot)
        --executing;
    ops.erase(it);
    cond.notify_all();
}

OperationQueue::OperationQueue(const QString &name) : OperationQueue(name, false) {}

OperationQueue::OperationQueue(const QString &name, bool isMain)
    : d(std::make_shared<OperationQueuePrivate>(this, name, isMain))
{}

OperationQueue::~OperationQueue()
{
    d->q = nullptr;
    std::vector<std::shared_ptr<Operation>> pending;
    {
        std::lock_guard lock(d->mutex);
        for (const auto &op : d->ops) {
            std::lock_guard opLock(op->m_mutex);
            if (op->m_state == Operation::State::Pending && !op->m_claimed)
                pending.push_back(op);
        }
    }
    for (const auto &op : pending)
        op->cancel();
    d->schedule();
    if (t_currentQueue == d.get())
        return; // destroyed from inside one of its own operations: it cannot wait for itself
    std::unique_lock lock(d->mutex);
    detail::waitBlocking(lock, d->cond, [this] { return d->ops.empty(); });
}

OperationQueue *OperationQueue::mainQueue()
{
    // Never destroyed: operations may still be queued to it while the process exits.
    static OperationQueue *queue = new OperationQueue(QStringLiteral("main"), true);
    return queue;
}

OperationQueue *OperationQueue::currentQueue()
{
    return t_currentQueue ? t_currentQueue->q.load() : nullptr;
}

QString OperationQueue::name() const
{
    std::lock_guard lock(d->mutex);
    return d->name;
}

void OperationQueue::setName(const QString &name)
{
    std::lock_guard lock(d->mutex);
    d->name = name;
}

int OperationQueue::maxConcurrentOperationCount() const
{
    std::lock_guard lock(d->mutex);
    return d->isMain ? 1 : d->maxConcurrent;
}

void OperationQueue::setMaxConcurrentOperationCount(int count)
{
    {
        std::lock_guard lock(d->mutex);
        d->maxConcurrent = count < 1 ? DefaultMaxConcurrentOperationCount : count;
    }
    d->schedule();
}

bool OperationQueue::isSuspended() const
{
    std::lock_guard lock(d->mutex);
    return d->suspended;
}

void OperationQueue::setSuspended(bool suspended)
{
    {
        std::lock_guard lock(d->mutex);
        d->suspended = suspended;
    }
    if (!suspended)
        d->schedule();
}

void OperationQueue::addOperation(const std::shared_ptr<Operation> &op)
{
    if (!op)
        return;
    {
        std::lock_guard opLock(op->m_mutex);
        if (!op->m_queue.expired() || op->m_state != Operation::State::Pending || op->m_claimed) {
            qWarning() << "OperationQueue" << d->name << ": operation" << op->m_name
                       << "is already queued or started; not added";
            return;
        }
        op->m_queue = d;
    }
    {
        std::lock_guard lock(d->mutex);
        d->ops.push_back(op);
    }
    d->schedule();
}

std::shared_ptr<BlockOperation> OperationQueue::addOperation(std::function<void()> block)
{
    auto op = BlockOperation::create(std::move(block));
    addOperation(op);
    return op;
}

void OperationQueue::addOperations(const std::vector<std::shared_ptr<Operation>> &ops, bool waitUntilFinished)
{
    for (const auto &op : ops)
        addOperation(op);
    if (waitUntilFinished) {
        for (const auto &op : ops) {
            if (op)
                op->waitUntilFinished();
        }
    }
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const
{
    std::lock_guard lock(d->mutex);
    return d->ops;
}

int OperationQueue::operationCount() const
{
    std::lock_guard lock(d->mutex);
    return int(d->ops.size());
}

void OperationQueue::cancelAllOperations()
{
    for (const auto &op : operations())
        op->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished()
{
    if (isMainThread() && d->isMain) {
        if (t_currentQueue == d.get()) {
            qWarning() << "OperationQueue: an operation of the main queue cannot wait for the whole main queue";
            return;
        }
        serveMainQueueUntil([this] { return operationCount() == 0; });
        return;
    }
    std::unique_lock lock(d->mutex);
    detail::waitBlocking(lock, d->cond, [this] { return d->ops.empty(); });
}

} // namespace platform::core
