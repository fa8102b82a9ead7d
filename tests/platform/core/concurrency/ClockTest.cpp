#include "platform/core/Clock.h"

#include <gtest/gtest.h>

using namespace platform::core;

TEST(Clock, SystemClockGivesUtcAndMonotonicTime)
{
    const QDateTime now = Clock::now();
    EXPECT_EQ(now.timeSpec(), Qt::UTC);
    EXPECT_LE(qAbs(now.msecsTo(QDateTime::currentDateTimeUtc())), 1000);
    const qint64 a = Clock::monotonicMs();
    const qint64 b = Clock::monotonicMs();
    EXPECT_GT(a, 0);
    EXPECT_LE(a, b);
}

TEST(Clock, ManualClockMovesOnlyWhenTold)
{
    const QDateTime start(QDate(2025, 3, 30), QTime(0, 59, 59), Qt::UTC);
    auto clock = std::make_shared<ManualClock>(start, 500);
    {
        ScopedClock installed(clock);
        EXPECT_EQ(Clock::now(), start);
        EXPECT_EQ(Clock::monotonicMs(), 500);
        clock->advance(1500);
        EXPECT_EQ(Clock::now(), start.addMSecs(1500));
        EXPECT_EQ(Clock::monotonicMs(), 2000);
        clock->advance(-10);
        EXPECT_EQ(Clock::monotonicMs(), 2000);
        // Resetting the wall clock (even backwards) leaves monotonic time alone.
        clock->set(start.addDays(-1));
        EXPECT_EQ(Clock::now(), start.addDays(-1));
        EXPECT_EQ(Clock::monotonicMs(), 2000);
        clock->advanceSeconds(2.5);
        EXPECT_EQ(Clock::now(), start.addDays(-1).addMSecs(2500));
    }
    EXPECT_EQ(Clock::current(), Clock::system());
}

TEST(Clock, ScopedClocksNest)
{
    auto outer = std::make_shared<ManualClock>();
    auto inner = std::make_shared<ManualClock>(QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC));
    ScopedClock a(outer);
    {
        ScopedClock b(inner);
        EXPECT_EQ(Clock::current(), inner);
    }
    EXPECT_EQ(Clock::current(), outer);
    Clock::setCurrent(nullptr);
    EXPECT_EQ(Clock::current(), Clock::system());
    Clock::setCurrent(outer);
}

TEST(Clock, AlarmsFireInDueOrderEachAtItsOwnTime)
{
    ManualClock clock(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC), 0);
    std::vector<std::pair<int, qint64>> fired;
    clock.addAlarm(300, [&] { fired.push_back({3, clock.monotonicNowMs()}); });
    clock.addAlarm(100, [&] { fired.push_back({1, clock.monotonicNowMs()}); });
    clock.addAlarm(100, [&] { fired.push_back({2, clock.monotonicNowMs()}); });
    const auto removed = clock.addAlarm(200, [&] { fired.push_back({99, 0}); });
    clock.removeAlarm(removed);
    // An alarm armed by a firing one inside the window fires in the same advance.
    clock.addAlarm(250, [&] { clock.addAlarm(280, [&] { fired.push_back({4, clock.monotonicNowMs()}); }); });
    EXPECT_EQ(clock.pendingAlarmCount(), 4);
    clock.advance(290);
    EXPECT_EQ(fired, (std::vector<std::pair<int, qint64>>{{1, 100}, {2, 100}, {4, 280}}));
    EXPECT_EQ(clock.monotonicNowMs(), 290);
    clock.advance(10);
    EXPECT_EQ(fired.back(), (std::pair<int, qint64>{3, 300}));
    EXPECT_EQ(clock.pendingAlarmCount(), 0);
}
