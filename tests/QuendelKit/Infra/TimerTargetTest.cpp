#include "QuendelKit/Infra/TimerTarget.h"

#include "platform/core/Clock.h"

#include <gtest/gtest.h>

using platform::core::ManualClock;
using platform::core::ScopedClock;
using platform::core::Timer;

namespace {

struct Calls
{
    int date = 0, calendar = 0, dropbox = 0, backup = 0;
    Timer *lastTimer = nullptr;
};

class Owner : public TimerTargetReceiver
{
public:
    Owner(Calls *calls, bool *destroyed) : m_calls(calls), m_destroyed(destroyed) {}
    ~Owner() override
    {
        *m_destroyed = true;
        if (m_timer)
            m_timer->invalidate();
    }
    void checkDateTimerFired(Timer &timer) override
    {
        ++m_calls->date;
        m_calls->lastTimer = &timer;
    }
    void forceSyncEventsWithCalendar(Timer &) override { ++m_calls->calendar; }
    void checkDropBoxForUpdates(Timer &) override { ++m_calls->dropbox; }
    void checkForAutomaticBackupTime(Timer &) override { ++m_calls->backup; }

    std::shared_ptr<Timer> m_timer;

private:
    Calls *m_calls;
    bool *m_destroyed;
};

class ObjectOwner : public QObject, public TimerTargetReceiver
{
public:
    explicit ObjectOwner(int *calls) : m_calls(calls) {}
    void checkDropBoxForUpdates(Timer &) override { ++*m_calls; }

private:
    int *m_calls;
};

class TimerTargetTest : public ::testing::Test
{
protected:
    std::shared_ptr<ManualClock> m_clock = std::make_shared<ManualClock>();
    ScopedClock m_scoped{m_clock};
};

TEST_F(TimerTargetTest, ForwardsEachMessageToTheSameNamedOperation)
{
    Calls calls;
    bool destroyed = false;
    auto owner = std::make_shared<Owner>(&calls, &destroyed);
    auto trampoline = std::make_shared<TimerTarget>();
    trampoline->setRealTarget(owner);
    EXPECT_EQ(trampoline->realTarget().get(), owner.get());

    auto dates = TimerTarget::scheduledTimer(15000, trampoline, &TimerTarget::checkDateTimerFired);
    auto calendar = TimerTarget::scheduledTimer(60000, trampoline, &TimerTarget::forceSyncEventsWithCalendar);
    auto dropbox = TimerTarget::scheduledTimer(60000, trampoline, &TimerTarget::checkDropBoxForUpdates);
    auto backup = TimerTarget::scheduledTimer(60000, trampoline, &TimerTarget::checkForAutomaticBackupTime);
    m_clock->advanceSeconds(60);
    EXPECT_EQ(calls.date, 4);
    EXPECT_EQ(calls.lastTimer, dates.get());
    EXPECT_EQ(calls.calendar, 1);
    EXPECT_EQ(calls.dropbox, 1);
    EXPECT_EQ(calls.backup, 1);
    for (auto *timer : {&dates, &calendar, &dropbox, &backup})
        (*timer)->invalidate();
}

TEST_F(TimerTargetTest, TimerDoesNotKeepItsOwnerAlive)
{
    Calls calls;
    bool destroyed = false;
    auto owner = std::make_shared<Owner>(&calls, &destroyed);
    std::weak_ptr<Owner> weakOwner = owner;
    auto trampoline = std::make_shared<TimerTarget>();
    trampoline->setRealTarget(owner);
    // The owner keeps its timer; the timer keeps the trampoline; the trampoline does not keep the owner.
    owner->m_timer = TimerTarget::scheduledTimer(10000, trampoline, &TimerTarget::checkDateTimerFired);
    std::shared_ptr<Timer> timer = owner->m_timer;
    trampoline.reset();
    m_clock->advanceSeconds(10);
    EXPECT_EQ(calls.date, 1);

    owner.reset();
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(weakOwner.expired());
    EXPECT_FALSE(timer->isValid()); // the owner invalidated it on its way out
}

TEST_F(TimerTargetTest, TimerOfAReleasedOwnerFiresIntoNothingUntilInvalidated)
{
    Calls calls;
    bool destroyed = false;
    auto owner = std::make_shared<Owner>(&calls, &destroyed);
    auto trampoline = std::make_shared<TimerTarget>();
    trampoline->setRealTarget(owner);
    auto timer = TimerTarget::scheduledTimer(60000, trampoline, &TimerTarget::checkForAutomaticBackupTime);
    m_clock->advanceSeconds(60);
    EXPECT_EQ(calls.backup, 1);

    owner.reset(); // this owner does not hold the timer: it stays scheduled
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(trampoline->realTarget(), nullptr);
    m_clock->advanceSeconds(180);
    EXPECT_TRUE(timer->isValid());
    EXPECT_EQ(calls.backup, 1);
    timer->invalidate();
    EXPECT_FALSE(timer->isValid());
}

TEST_F(TimerTargetTest, QObjectOwnerIsGoneOnceDestroyed)
{
    int calls = 0;
    auto *owner = new ObjectOwner(&calls);
    auto trampoline = std::make_shared<TimerTarget>();
    trampoline->setRealTarget(owner);
    auto timer = TimerTarget::scheduledTimer(60000, trampoline, &TimerTarget::checkDropBoxForUpdates);
    m_clock->advanceSeconds(60);
    EXPECT_EQ(calls, 1);
    delete owner;
    EXPECT_EQ(trampoline->realTarget(), nullptr);
    m_clock->advanceSeconds(120);
    EXPECT_EQ(calls, 1);
    timer->invalidate();
}

TEST_F(TimerTargetTest, WithoutATargetNothingHappens)
{
    TimerTarget trampoline;
    EXPECT_EQ(trampoline.realTarget(), nullptr);
    auto timer = Timer::scheduledTimer(1000, false, [](Timer &) {});
    trampoline.checkDateTimerFired(*timer);
    trampoline.forceSyncEventsWithCalendar(*timer);
    trampoline.checkDropBoxForUpdates(*timer);
    trampoline.checkForAutomaticBackupTime(*timer);
    timer->invalidate();
}

} // namespace
