#include "platform/core/DispatchQueue.h"

#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform::core;

namespace {

// A gate the test opens; blocks wait on it with a bound so a fault fails the test instead of hanging it.
class Gate
{
public:
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_cond.notify_all();
    }
    bool wait(int ms = 5000)
    {
        std::unique_lock lock(m_mutex);
        return m_cond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_open = false;
};

} // namespace

TEST(DispatchQueue, SerialRunsBlocksOneAtATimeInOrder)
{
    DispatchQueue queue(QStringLiteral("test.serial"));
    std::vector<int> seen;
    std::atomic<int> running{0};
    std::atomic<int> overlap{0};
    for (int i = 0; i < 200; ++i) {
        queue.async([&, i] {
            if (running.fetch_add(1) != 0)
                ++overlap;
            seen.push_back(i);
            running.fetch_sub(1);
        });
    }
    queue.sync([] {});
    ASSERT_EQ(seen.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(seen[i], i);
    EXPECT_EQ(overlap.load(), 0);
}

TEST(DispatchQueue, SyncRunsOnCallerAfterEarlierBlocksAndReturnsAfterRunning)
{
    DispatchQueue queue(QStringLiteral("test.sync"));
    Gate gate;
    std::vector<int> order;
    queue.async([&] {
        gate.wait();
        order.push_back(1);
    });
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gate.open();
    });
    Qt::HANDLE caller = QThread::currentThreadId();
    Qt::HANDLE ranOn = nullptr;
    queue.sync([&] {
        order.push_back(2);
        ranOn = QThread::currentThreadId();
    });
    opener.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(ranOn, caller);
    EXPECT_EQ(queue.syncResult([] { return 42; }), 42);
}

TEST(DispatchQueue, SyncFromInsideItsOwnQueueRunsInline)
{
    for (auto kind : {DispatchQueue::Kind::Serial, DispatchQueue::Kind::Concurrent}) {
        DispatchQueue queue(QStringLiteral("test.reentrant"), kind);
        std::atomic<int> ran{0};
        queue.sync([&] {
            EXPECT_TRUE(queue.isCurrent());
            EXPECT_EQ(DispatchQueue::currentLabel(), QStringLiteral("test.reentrant"));
            queue.sync([&] { ++ran; });
        });
        EXPECT_EQ(ran.load(), 1);
        EXPECT_FALSE(queue.isCurrent());
        EXPECT_TRUE(DispatchQueue::currentLabel().isNull());
    }
}

TEST(DispatchQueue, ConcurrentQueueRunsBlocksTogether)
{
    DispatchQueue queue(QStringLiteral("test.concurrent"), DispatchQueue::Kind::Concurrent);
    constexpr int Blocks = 4;
    std::mutex mutex;
    std::condition_variable cond;
    int arrived = 0;
    std::atomic<int> allMet{0};
    // Each block waits until all of them have started: only possible when they run side by side.
    for (int i = 0; i < Blocks; ++i) {
        queue.async([&] {
            std::unique_lock lock(mutex);
            ++arrived;
            cond.notify_all();
            if (cond.wait_for(lock, std::chrono::seconds(5), [&] { return arrived == Blocks; }))
                ++allMet;
        });
    }
    queue.syncBarrier([] {});
    EXPECT_EQ(allMet.load(), Blocks);
}

TEST(DispatchQueue, BarrierRunsAloneBetweenReadersQueuedBeforeAndAfter)
{
    DispatchQueue queue(QStringLiteral("test.rw"), DispatchQueue::Kind::Concurrent);
    std::atomic<int> readers{0};
    std::atomic<bool> writing{false};
    std::atomic<int> violations{0};
    std::atomic<int> readsBefore{0}, readsAfter{0};
    std::atomic<int> barrierSawReadsBefore{-1};
    auto read = [&](std::atomic<int> &counter) {
        return [&] {
            ++readers;
            if (writing)
                ++violations;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ++counter;
            --readers;
        };
    };
    for (int i = 0; i < 8; ++i)
        queue.async(read(readsBefore));
    queue.asyncBarrier([&] {
        writing = true;
        if (readers != 0)
            ++violations;
        barrierSawReadsBefore = readsBefore.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (readers != 0)
            ++violations;
        writing = false;
    });
    for (int i = 0; i < 8; ++i)
        queue.async(read(readsAfter));
    // A synchronous barrier waits for everything before it and is itself exclusive.
    queue.syncBarrier([&] {
        if (readers != 0)
            ++violations;
    });
    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(barrierSawReadsBefore.load(), 8);
    EXPECT_EQ(readsAfter.load(), 8);
}

TEST(DispatchQueue, SyncReadsWaitForAQueuedBarrier)
{
    DispatchQueue queue(QStringLiteral("test.cache"), DispatchQueue::Kind::Concurrent);
    int value = 0;
    Gate gate;
    queue.asyncBarrier([&] {
        gate.wait();
        value = 7;
    });
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gate.open();
    });
    const int read = queue.syncResult([&] { return value; });
    opener.join();
    EXPECT_EQ(read, 7);
}

TEST(DispatchQueue, DestructionRunsEveryQueuedBlockFirst)
{
    std::atomic<int> ran{0};
    {
        DispatchQueue queue(QStringLiteral("test.drain"));
        for (int i = 0; i < 50; ++i) {
            queue.async([&] {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                ++ran;
            });
        }
    }
    EXPECT_EQ(ran.load(), 50);
}

TEST(DispatchQueue, HandleReleasedFromItsOwnBlockDoesNotDeadlock)
{
    auto queue = DispatchQueue::serial(QStringLiteral("test.self"));
    std::atomic<bool> later{false};
    auto *raw = queue.get();
    Gate done;
    raw->async([&, q = std::move(queue)]() mutable {
        raw->async([&] {
            later = true;
            done.open();
        });
        q.reset(); // the last handle goes away inside the queue
    });
    EXPECT_TRUE(done.wait());
    EXPECT_TRUE(later.load());
}

TEST(DispatchQueue, ManyQueuesWaitingOnEachOtherDoNotStarveThePool)
{
    // More blocked blocks than cores: the pool must grow instead of deadlocking.
    constexpr int Count = 32;
    DispatchQueue gateQueue(QStringLiteral("test.gate"), DispatchQueue::Kind::Concurrent);
    Gate gate;
    std::atomic<int> done{0};
    std::vector<std::unique_ptr<DispatchQueue>> queues;
    for (int i = 0; i < Count; ++i) {
        queues.push_back(std::make_unique<DispatchQueue>(QStringLiteral("test.q%1").arg(i)));
        queues.back()->async([&] {
            if (gate.wait())
                ++done;
        });
    }
    gateQueue.async([&] { gate.open(); });
    queues.clear();
    EXPECT_EQ(done.load(), Count);
}
