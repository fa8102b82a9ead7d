#include "platform/core/Timer.h"
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

namespace {

class TimerOnManualClock : public ::testing::Test
{
protected:
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ScopedClock installed{clock};
};

// An owner that counts the calls it receives, like a sidebar refreshing its date items.
class Owner : public QObject
{
public:
    int ticks = 0;
    void tick() { ++ticks; }
};

} // namespace

TEST_F(TimerOnManualClock, RepeatingTimerFiresEveryIntervalUntilInvalidated)
{
    std::vector<qint64> firedAt;
    auto timer = Timer::scheduledTimer(15000, true, [&](Timer &t) {
        EXPECT_TRUE(isMainThread());
        EXPECT_TRUE(t.isValid());
        firedAt.push_back(clock->monotonicNowMs());
    });
    const qint64 start = clock->monotonicNowMs();
    EXPECT_EQ(timer->fireDate(), clock->utcNow().addMSecs(15000));
    clock->advance(14999);
    EXPECT_TRUE(firedAt.empty());
    clock->advance(1);
    clock->advance(45000);
    EXPECT_EQ(firedAt, (std::vector<qint64>{start + 15000, start + 30000, start + 45000, start + 60000}));
    EXPECT_TRUE(timer->repeats());
    EXPECT_EQ(timer->intervalMs(), 15000);
    timer->invalidate();
    EXPECT_FALSE(timer->isValid());
    EXPECT_TRUE(timer->fireDate().isNull());
    clock->advance(60000);
    EXPECT_EQ(firedAt.size(), 4u);
    EXPECT_EQ(clock->pendingAlarmCount(), 0);
}

TEST_F(TimerOnManualClock, OneShotFiresOnceAndInvalidatesItself)
{
    int fired = 0;
    auto timer = Timer::scheduledTimer(3000, false, [&](Timer &) { ++fired; });
    EXPECT_TRUE(timer->isValid());
    clock->advance(10000);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer->isValid());
}

TEST_F(TimerOnManualClock, TimerKeepsItselfAliveUntilInvalidated)
{
    int fired = 0;
    std::weak_ptr<Timer> weak;
    {
        auto timer = Timer::scheduledTimer(1000, true, [&](Timer &) { ++fired; });
        weak = timer;
    }
    clock->advance(2000);
    EXPECT_EQ(fired, 2);
    ASSERT_FALSE(weak.expired());
    weak.lock()->invalidate();
    EXPECT_TRUE(weak.expired()) << "an invalidated timer nobody holds is released";
}

TEST_F(TimerOnManualClock, InvalidateFromInsideTheHandler)
{
    int fired = 0;
    auto timer = Timer::scheduledTimer(1000, true, [&](Timer &t) {
        if (++fired == 2)
            t.invalidate();
    });
    clock->advance(10000);
    EXPECT_EQ(fired, 2);
    EXPECT_FALSE(timer->isValid());
}

TEST_F(TimerOnManualClock, FireRunsNowAndKeepsTheSchedule)
{
    std::vector<qint64> firedAt;
    auto timer = Timer::scheduledTimer(10000, true, [&](Timer &) { firedAt.push_back(clock->monotonicNowMs()); });
    const qint64 start = clock->monotonicNowMs();
    clock->advance(4000);
    timer->fire();
    clock->advance(6000);
    EXPECT_EQ(firedAt, (std::vector<qint64>{start + 4000, start + 10000}));

    int once = 0;
    auto oneShot = Timer::scheduledTimer(10000, false, [&](Timer &) { ++once; });
    oneShot->fire();
    EXPECT_FALSE(oneShot->isValid());
    clock->advance(20000);
    EXPECT_EQ(once, 1);
    oneShot->fire(); // an invalid timer does nothing
    EXPECT_EQ(once, 1);
}

TEST_F(TimerOnManualClock, DeadQObjectOwnerIsNeverCalled)
{
    auto *owner = new Owner;
    auto timer = Timer::scheduledTimer(10000, true, owner, [owner](Timer &) { owner->tick(); });
    clock->advance(10000);
    EXPECT_EQ(owner->ticks, 1);
    delete owner;
    // Firing into a gone owner does nothing (and must not touch it); the timer stays until invalidated.
    clock->advance(30000);
    timer->fire();
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
}

TEST_F(TimerOnManualClock, ExpiredWeakOwnerIsNeverCalled)
{
    auto owner = std::make_shared<Owner>();
    auto timer =
        Timer::scheduledTimer(60000, true, std::weak_ptr<Owner>(owner), [raw = owner.get()](Timer &) { raw->tick(); });
    clock->advance(60000);
    EXPECT_EQ(owner->ticks, 1);
    owner.reset();
    clock->advance(180000);
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
}

TEST_F(TimerOnManualClock, TimerOfAnotherThreadFiresThere)
{
    QThread thread;
    thread.start();
    std::atomic<int> fired{0};
    std::atomic<bool> onThread{true};
    std::shared_ptr<Timer> timer;
    QObject context;
    context.moveToThread(&thread);
    QMetaObject::invokeMethod(
        &context,
        [&] {
            timer = Timer::scheduledTimer(5000, true, [&](Timer &) {
                if (QThread::currentThread() != &thread)
                    onThread = false;
                ++fired;
            });
        },
        Qt::BlockingQueuedConnection);
    clock->advance(10000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired.load() == 2; }, 5000));
    EXPECT_TRUE(onThread.load());
    timer->invalidate();
    thread.quit();
    thread.wait();
}

TEST_F(TimerOnManualClock, WorkerThreadTimersFireOnMain)
{
    std::shared_ptr<Timer> timer;
    std::thread([&] { timer = Timer::scheduledTimer(2000, false, [](Timer &) {}); }).join();
    bool onMain = false;
    std::thread([&] { timer = Timer::scheduledTimer(2000, false, [&](Timer &) { onMain = isMainThread(); }); }).join();
    clock->advance(2000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return onMain; }, 5000));
}

TEST_F(TimerOnManualClock, QueueTimerStartsSuspendedAndCatchesUpOnResume)
{
    DispatchQueue queue(QStringLiteral("com.quendel.test.geocoder"));
    std::atomic<int> ticks{0};
    std::atomic<bool> onQueue{true};
    auto timer = Timer::queueTimer(
        queue, 1000, 16000,
        [&](Timer &) {
            if (!queue.isCurrent())
                onQueue = false;
            ++ticks;
        },
        true);
    EXPECT_TRUE(timer->isSuspended());
    clock->advance(5000);
    queue.sync([] {});
    EXPECT_EQ(ticks.load(), 0) << "a suspended timer fires nothing";
    // The first fire time passed while suspended: it fires at once, then keeps its interval.
    queue.sync([&] { timer->resume(); });
    queue.sync([] {});
    EXPECT_EQ(ticks.load(), 1);
    clock->advance(15999);
    queue.sync([] {});
    EXPECT_EQ(ticks.load(), 1);
    clock->advance(1);
    queue.sync([] {});
    EXPECT_EQ(ticks.load(), 2);
    timer->suspend();
    timer->suspend(); // balanced: a second suspend changes nothing
    clock->advance(100000);
    queue.sync([] {});
    EXPECT_EQ(ticks.load(), 2);
    EXPECT_TRUE(onQueue.load());
    timer->invalidate();
}

TEST_F(TimerOnManualClock, QueueTimerNotYetDueWaitsAfterResume)
{
    DispatchQueue queue(QStringLiteral("com.quendel.test.retry"));
    std::atomic<int> ticks{0};
    auto timer = Timer::queueTimer(
        queue, 30000, 31000, [&](Timer &) { ++ticks; }, true);
    clock->advance(10000);
    timer->resume();
    clock->advance(19999);
    queue.sync([] {});
    EXPECT_EQ(ticks.load(), 0);
    clock->advance(1);
    queue.sync([] {});
    EXPECT_EQ(ticks.load(), 1);
    clock->advance(31000);
    queue.sync([] {});
    EXPECT_EQ(ticks.load(), 2);
    timer->invalidate();
}

TEST(TimerOnSystemClock, FiresOnTheMainEventLoop)
{
    int fired = 0;
    auto timer = Timer::scheduledTimer(5, true, [&](Timer &t) {
        if (++fired == 3)
            t.invalidate();
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !timer->isValid(); }, 5000));
    EXPECT_EQ(fired, 3);
    QTest::qWait(20);
    EXPECT_EQ(fired, 3);
}

TEST(TimerOnSystemClock, QueueTimerFiresOnItsQueueAndStopsWhenInvalidated)
{
    DispatchQueue queue(QStringLiteral("com.quendel.test.sys"));
    std::atomic<int> ticks{0};
    std::atomic<bool> onQueue{true};
    auto timer = Timer::queueTimer(queue, 1, 5, [&](Timer &) {
        if (!queue.isCurrent())
            onQueue = false;
        ++ticks;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks.load() >= 2; }, 5000));
    timer->invalidate();
    queue.sync([] {});
    const int after = ticks.load();
    QTest::qWait(30);
    queue.sync([] {});
    EXPECT_EQ(ticks.load(), after);
    EXPECT_TRUE(onQueue.load());
}

TEST(TimerOnSystemClock, OwnerDestroyedBeforeTheTimerFires)
{
    auto *owner = new Owner;
    auto timer = Timer::scheduledTimer(10, false, owner, [owner](Timer &) { owner->tick(); });
    delete owner;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !timer->isValid(); }, 5000));
}
