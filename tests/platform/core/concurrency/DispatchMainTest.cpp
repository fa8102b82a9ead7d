#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/core/DispatchQueue.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform::core;

TEST(Dispatch, KnowsTheMainThread)
{
    EXPECT_TRUE(isMainThread());
    bool onWorker = true;
    std::thread([&] { onWorker = isMainThread(); }).join();
    EXPECT_FALSE(onWorker);
}

TEST(Dispatch, AsyncMainRunsLaterOnMainInQueueOrder)
{
    std::vector<int> order;
    dispatchAsyncMain([&] { order.push_back(1); });
    // Queued from a worker between two main-thread posts: lands between them.
    std::thread([&] { dispatchAsyncMain([&] { order.push_back(2); }); }).join();
    dispatchAsyncMain([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty()) << "an async block never runs inside the call";
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 3; }, 5000));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(Dispatch, SyncMainFromAWorkerBlocksUntilRunOnMain)
{
    std::atomic<bool> workerDone{false};
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> blockFinishedBeforeReturn{false};
    std::atomic<bool> blockRan{false};
    std::thread worker([&] {
        dispatchSyncMain([&] {
            ranOnMain = QThread::currentThread() == QCoreApplication::instance()->thread();
            blockRan = true;
        });
        blockFinishedBeforeReturn = blockRan.load();
        workerDone = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return workerDone.load(); }, 5000));
    worker.join();
    EXPECT_TRUE(ranOnMain.load());
    EXPECT_TRUE(blockFinishedBeforeReturn.load());
}

TEST(Dispatch, SyncMainOnMainRunsInline)
{
    int value = 0;
    dispatchSyncMain([&] { value = 5; });
    EXPECT_EQ(value, 5);
}

TEST(Dispatch, MainWaitingForAWorkerThatNeedsMainDoesNotDeadlock)
{
    DispatchQueue queue(QStringLiteral("test.needsMain"));
    bool ranOnMain = false;
    // The main thread blocks in sync() while the queue's block waits for the main thread.
    queue.async([&] { dispatchSyncMain([&] { ranOnMain = isMainThread(); }); });
    queue.sync([] {});
    EXPECT_TRUE(ranOnMain);
}

TEST(Dispatch, AfterWaitsOnTheManualClock)
{
    auto clock = std::make_shared<ManualClock>();
    ScopedClock installed(clock);
    std::vector<int> fired;
    dispatchAfter(3000, [&] { fired.push_back(3); });
    dispatchAfter(1000, [&] { fired.push_back(1); });
    std::thread([&] { dispatchAfter(2000, [&] { fired.push_back(2); }); }).join();
    clock->advance(1500);
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, (std::vector<int>{1}));
    clock->advance(2000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fired.size() == 3; }, 5000));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 3}));
}

TEST(Dispatch, AfterOnTheSystemClockFires)
{
    bool fired = false;
    dispatchAfter(10, [&] { fired = isMainThread(); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired; }, 5000));
}

// The end of a run waits for the workers, including one that needs the main thread to finish, and gives up
// on one that never ends.
TEST(Dispatch, WaitingForBackgroundWorkServesTheMainThreadAndHasADeadline)
{
    std::atomic<bool> finished{false};
    platform::core::detail::runOnWorker([&] {
        QThread::msleep(50);
        platform::core::dispatchSyncMain([] {});
        finished = true;
    });
    EXPECT_TRUE(platform::core::waitForBackgroundWork(5000));
    EXPECT_TRUE(finished);

    std::atomic<bool> release{false};
    platform::core::detail::runOnWorker([&] {
        while (!release)
            QThread::msleep(5);
    });
    EXPECT_FALSE(platform::core::waitForBackgroundWork(100));
    release = true;
    EXPECT_TRUE(platform::core::waitForBackgroundWork(5000));
}
