#include "platform/core/OperationQueue.h"
#include "platform/core/Dispatch.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform::core;

namespace {

// Records the order in which things happen, from any thread.
class Journal
{
public:
    void add(const QString &entry)
    {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(entry);
    }
    std::vector<QString> entries() const
    {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }
    int indexOf(const QString &entry) const
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find(m_entries.begin(), m_entries.end(), entry);
        return it == m_entries.end() ? -1 : int(it - m_entries.begin());
    }

private:
    mutable std::mutex m_mutex;
    std::vector<QString> m_entries;
};

// Counts how many operations run at once, holding each for a short moment.
struct Concurrency
{
    std::atomic<int> now{0};
    std::atomic<int> peak{0};
    void enter()
    {
        const int n = ++now;
        int p = peak.load();
        while (n > p && !peak.compare_exchange_weak(p, n)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        --now;
    }
};

class CountingOperation : public Operation
{
public:
    std::atomic<int> mainRuns{0};

protected:
    void main() override { ++mainRuns; }
};

// Finishes later, from another thread, like work handed to a service that answers asynchronously.
class LaterOperation : public Operation
{
public:
    bool isAsynchronous() const override { return true; }
    void complete() { finish(); }
    std::atomic<bool> mainReturned{false};

protected:
    void main() override { mainReturned = true; }
};

} // namespace

TEST(OperationQueue, OneAtATimeRunsInAddedOrder)
{
    OperationQueue queue(QStringLiteral("QDTestSerialQueue"));
    queue.setMaxConcurrentOperationCount(1);
    EXPECT_EQ(queue.maxConcurrentOperationCount(), 1);
    EXPECT_EQ(queue.name(), QStringLiteral("QDTestSerialQueue"));
    Journal journal;
    Concurrency concurrency;
    for (int i = 0; i < 20; ++i) {
        queue.addOperation([&, i] {
            concurrency.enter();
            journal.add(QString::number(i));
        });
    }
    queue.waitUntilAllOperationsAreFinished();
    std::vector<QString> expected;
    for (int i = 0; i < 20; ++i)
        expected.push_back(QString::number(i));
    EXPECT_EQ(journal.entries(), expected);
    EXPECT_EQ(concurrency.peak.load(), 1);
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST(OperationQueue, MaxConcurrencyIsHonouredAndUsed)
{
    for (int limit : {2, 3}) {
        OperationQueue queue(QStringLiteral("QDTestLimited"));
        queue.setMaxConcurrentOperationCount(limit);
        Concurrency concurrency;
        std::vector<std::shared_ptr<Operation>> ops;
        for (int i = 0; i < 12; ++i)
            ops.push_back(BlockOperation::create([&] { concurrency.enter(); }));
        queue.addOperations(ops, true);
        EXPECT_LE(concurrency.peak.load(), limit);
        EXPECT_GE(concurrency.peak.load(), 2) << "operations of a queue with room for several never overlapped";
        for (const auto &op : ops)
            EXPECT_TRUE(op->isFinished());
    }
}

TEST(OperationQueue, DependenciesHoldAcrossQueues)
{
    OperationQueue first(QStringLiteral("QDTestFirst"));
    OperationQueue second(QStringLiteral("QDTestSecond"));
    Journal journal;
    auto a = BlockOperation::create([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        journal.add(QStringLiteral("a"));
    });
    a->setCompletionBlock([&] { journal.add(QStringLiteral("a-done")); });
    auto b = BlockOperation::create([&] { journal.add(QStringLiteral("b")); });
    auto c = BlockOperation::create([&] { journal.add(QStringLiteral("c")); });
    b->addDependency(a);
    c->addDependency(a);
    c->addDependency(b);
    // Dependents are queued first so that only the dependencies can hold them back.
    second.addOperation(c);
    first.addOperation(b);
    second.addOperation(a);
    EXPECT_FALSE(c->isReady());
    c->waitUntilFinished();
    // A dependency's completion callback has run before its dependents start.
    EXPECT_EQ(journal.entries(), (std::vector<QString>{"a", "a-done", "b", "c"}));
    EXPECT_EQ(c->dependencies().size(), 2u);
}

TEST(OperationQueue, CancelledBeforeStartFinishesWithoutRunning)
{
    OperationQueue queue(QStringLiteral("QDTestCancel"));
    queue.setSuspended(true);
    auto op = std::make_shared<CountingOperation>();
    std::atomic<int> completions{0};
    op->setCompletionBlock([&] { ++completions; });
    auto blocker = std::make_shared<CountingOperation>();
    auto dependent = std::make_shared<CountingOperation>();
    dependent->addDependency(op);
    // op waits on an operation that never runs; cancelling it must still end it.
    op->addDependency(blocker);
    queue.addOperation(op);
    queue.addOperation(dependent);
    EXPECT_EQ(queue.operationCount(), 2);
    op->cancel();
    op->waitUntilFinished();
    EXPECT_TRUE(op->isCancelled());
    EXPECT_TRUE(op->isFinished());
    EXPECT_FALSE(op->isExecuting());
    EXPECT_EQ(op->mainRuns.load(), 0);
    EXPECT_EQ(completions.load(), 1);
    // The dependent treats the cancelled dependency as done and runs once the queue resumes.
    queue.setSuspended(false);
    dependent->waitUntilFinished();
    EXPECT_EQ(dependent->mainRuns.load(), 1);
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST(OperationQueue, CancelAllEndsEveryWaitingOperation)
{
    OperationQueue queue(QStringLiteral("QDTestCancelAll"));
    queue.setMaxConcurrentOperationCount(1);
    std::mutex mutex;
    std::condition_variable cond;
    bool release = false, started = false;
    auto running = BlockOperation::create([&] {
        std::unique_lock lock(mutex);
        started = true;
        cond.notify_all();
        cond.wait_for(lock, std::chrono::seconds(5), [&] { return release; });
    });
    queue.addOperation(running);
    std::vector<std::shared_ptr<CountingOperation>> waiting;
    for (int i = 0; i < 5; ++i) {
        waiting.push_back(std::make_shared<CountingOperation>());
        queue.addOperation(waiting.back());
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cond.wait_for(lock, std::chrono::seconds(5), [&] { return started; }));
    }
    EXPECT_TRUE(running->isExecuting());
    queue.cancelAllOperations();
    EXPECT_TRUE(running->isCancelled());
    EXPECT_TRUE(running->isExecuting()) << "cancelling an executing operation only sets its flag";
    {
        std::lock_guard lock(mutex);
        release = true;
        cond.notify_all();
    }
    queue.waitUntilAllOperationsAreFinished();
    for (const auto &op : waiting) {
        EXPECT_TRUE(op->isFinished());
        EXPECT_EQ(op->mainRuns.load(), 0);
    }
    EXPECT_TRUE(running->isFinished());
}

TEST(OperationQueue, CompletionRunsOnceAfterFinishAndBeforeWaitersWake)
{
    OperationQueue queue(QStringLiteral("QDTestCompletion"));
    std::atomic<int> calls{0};
    std::atomic<bool> finishedSeenInCompletion{false};
    auto op = BlockOperation::create([] {});
    op->setCompletionBlock([&] {
        finishedSeenInCompletion = op->isFinished();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++calls;
    });
    EXPECT_TRUE(op->hasCompletionBlock());
    queue.addOperation(op);
    op->waitUntilFinished();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(finishedSeenInCompletion.load());
    op->start(); // a finished operation does not run again
    EXPECT_EQ(calls.load(), 1);
}

TEST(OperationQueue, SubclassAndBlockOperationsAndDirectStart)
{
    auto counting = std::make_shared<CountingOperation>();
    counting->start();
    EXPECT_EQ(counting->mainRuns.load(), 1);
    EXPECT_TRUE(counting->isFinished());

    Journal journal;
    auto blocks = BlockOperation::create([&] { journal.add("1"); });
    blocks->addExecutionBlock([&] { journal.add("2"); });
    blocks->setName(QStringLiteral("PostLoginOperation"));
    OperationQueue queue;
    queue.addOperation(blocks);
    blocks->waitUntilFinished();
    EXPECT_EQ(journal.entries(), (std::vector<QString>{"1", "2"}));
    EXPECT_EQ(blocks->name(), QStringLiteral("PostLoginOperation"));
    // An operation belongs to one queue, once.
    queue.addOperation(blocks);
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST(OperationQueue, AsynchronousOperationFinishesWhenItSaysSo)
{
    OperationQueue queue(QStringLiteral("QDCKFetchLongLivedOpsQueue"));
    queue.setMaxConcurrentOperationCount(1);
    auto later = std::make_shared<LaterOperation>();
    auto after = std::make_shared<CountingOperation>();
    after->addDependency(later);
    queue.addOperation(later);
    queue.addOperation(after);
    ASSERT_TRUE(QTest::qWaitFor([&] { return later->mainReturned.load(); }, 5000));
    QTest::qWait(20);
    EXPECT_TRUE(later->isExecuting());
    EXPECT_FALSE(later->isFinished());
    EXPECT_EQ(after->mainRuns.load(), 0);
    EXPECT_EQ(queue.operationCount(), 2);
    std::thread([&] { later->complete(); }).join();
    after->waitUntilFinished();
    EXPECT_TRUE(later->isFinished());
    EXPECT_EQ(after->mainRuns.load(), 1);
    later->complete(); // a second finish changes nothing
    EXPECT_TRUE(later->isFinished());
}

TEST(OperationQueue, SuspendedQueueStartsNothingUntilResumed)
{
    OperationQueue queue(QStringLiteral("QDTestSuspended"));
    queue.setSuspended(true);
    EXPECT_TRUE(queue.isSuspended());
    auto op = std::make_shared<CountingOperation>();
    queue.addOperation(op);
    QTest::qWait(20);
    EXPECT_EQ(op->mainRuns.load(), 0);
    EXPECT_EQ(queue.operations().size(), 1u);
    EXPECT_EQ(queue.operations().front(), op);
    queue.setSuspended(false);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(op->mainRuns.load(), 1);
}

TEST(OperationQueue, MainQueueRunsOnTheMainThreadInOrder)
{
    OperationQueue *main = OperationQueue::mainQueue();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->maxConcurrentOperationCount(), 1);
    Journal journal;
    std::atomic<bool> allOnMain{true};
    std::vector<std::shared_ptr<Operation>> ops;
    for (int i = 0; i < 5; ++i) {
        ops.push_back(BlockOperation::create([&, i] {
            if (!isMainThread())
                allOnMain = false;
            if (OperationQueue::currentQueue() != OperationQueue::mainQueue())
                allOnMain = false;
            journal.add(QString::number(i));
        }));
    }
    // Added from a worker and from main alike.
    std::thread([&] { main->addOperation(ops[0]); }).join();
    for (int i = 1; i < 5; ++i)
        main->addOperation(ops[i]);
    EXPECT_TRUE(journal.entries().empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return journal.entries().size() == 5; }, 5000));
    EXPECT_EQ(journal.entries(), (std::vector<QString>{"0", "1", "2", "3", "4"}));
    EXPECT_TRUE(allOnMain.load());
    EXPECT_EQ(OperationQueue::currentQueue(), nullptr);
}

TEST(OperationQueue, WorkerWaitingForAMainQueueOperation)
{
    auto op = BlockOperation::create([] {});
    std::atomic<bool> done{false};
    std::thread worker([&] {
        OperationQueue::mainQueue()->addOperation(op);
        op->waitUntilFinished();
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000));
    worker.join();
}

TEST(OperationQueue, MainThreadWaitingForMainQueueWorkDoesNotHang)
{
    OperationQueue background(QStringLiteral("QDTestBackground"));
    auto first = BlockOperation::create([] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
    auto onMain = BlockOperation::create([] {});
    onMain->addDependency(first);
    OperationQueue::mainQueue()->addOperation(onMain);
    background.addOperation(first);
    onMain->waitUntilFinished();
    EXPECT_TRUE(onMain->isFinished());
    OperationQueue::mainQueue()->addOperation([] {});
    OperationQueue::mainQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(OperationQueue::mainQueue()->operationCount(), 0);
}

TEST(OperationQueue, DestructionCancelsWaitingAndWaitsForRunning)
{
    auto running = std::make_shared<CountingOperation>();
    auto slow = BlockOperation::create([] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); });
    auto waiting = std::make_shared<CountingOperation>();
    std::atomic<int> completions{0};
    waiting->setCompletionBlock([&] { ++completions; });
    {
        OperationQueue queue(QStringLiteral("QDTestDestroyed"));
        queue.setMaxConcurrentOperationCount(1);
        queue.addOperation(slow);
        queue.addOperation(waiting);
        ASSERT_TRUE(QTest::qWaitFor([&] { return slow->isExecuting() || slow->isFinished(); }, 5000));
        EXPECT_EQ(slow->queue(), &queue);
    }
    EXPECT_TRUE(slow->isFinished());
    EXPECT_TRUE(waiting->isFinished());
    EXPECT_TRUE(waiting->isCancelled());
    EXPECT_EQ(waiting->mainRuns.load(), 0);
    EXPECT_EQ(completions.load(), 1);
    EXPECT_EQ(slow->queue(), nullptr);
    (void)running;
}
