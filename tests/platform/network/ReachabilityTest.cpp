#include "platform/network/Reachability.h"

#include "FakeNetworkState.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

using namespace platform::network;

namespace {

class ReachabilityWatcherTest : public ::testing::Test
{
protected:
    void SetUp() override { setNetworkState(m_state); }
    void TearDown() override { setNetworkState(nullptr); }
    std::shared_ptr<FakeNetworkState> m_state = std::make_shared<FakeNetworkState>();
};

ReachabilityTarget addressTarget(const char *address)
{
    ReachabilityTarget target;
    target.address = QHostAddress(QString::fromLatin1(address));
    return target;
}

TEST_F(ReachabilityWatcherTest, TargetsThatCannotBeWatched)
{
    EXPECT_EQ(ReachabilityWatcher::create(ReachabilityTarget{}), nullptr);
    EXPECT_EQ(ReachabilityWatcher::create(addressTarget("not an address")), nullptr);
    ReachabilityTarget host;
    host.hostName = QStringLiteral("example.org");
    EXPECT_NE(ReachabilityWatcher::create(host), nullptr);
    EXPECT_NE(ReachabilityWatcher::create(addressTarget("0.0.0.0")), nullptr);
}

TEST_F(ReachabilityWatcherTest, ReportsRealChangesOnTheStartingThread)
{
    auto watcher = ReachabilityWatcher::create(addressTarget("0.0.0.0"));
    ASSERT_TRUE(watcher);
    EXPECT_EQ(watcher->flags(), std::optional<ReachabilityFlags>(Reachable));
    EXPECT_EQ(m_state->lastTarget.address, QHostAddress(QStringLiteral("0.0.0.0")));

    int calls = 0;
    ASSERT_TRUE(watcher->start([&] {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        ++calls;
    }));
    m_state->setFlags(Reachable); // the same flags: nothing to tell
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
    m_state->setFlags(0);
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 2000);
    m_state->setFlags(std::nullopt); // unreadable is a change too
    QTRY_COMPARE_WITH_TIMEOUT(calls, 2, 2000);

    watcher->stop();
    m_state->setFlags(Reachable);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);
}

TEST_F(ReachabilityWatcherTest, ChangeFromAnotherThreadArrivesOnTheWatchersThread)
{
    QThread worker;
    worker.start();
    QObject onWorkerContext;
    onWorkerContext.moveToThread(&worker);
    std::unique_ptr<ReachabilityWatcher> watcher;
    std::atomic<int> calls{0};
    std::atomic<bool> onWorker{false};
    QMetaObject::invokeMethod(
        &onWorkerContext,
        [&] {
            watcher = ReachabilityWatcher::create(addressTarget("0.0.0.0"));
            watcher->start([&] {
                onWorker = QThread::currentThread() == &worker;
                ++calls;
            });
        },
        Qt::BlockingQueuedConnection);
    std::thread poster([this] { m_state->setFlags(0); });
    poster.join();
    QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 2000);
    EXPECT_TRUE(onWorker);
    QMetaObject::invokeMethod(
        &onWorkerContext, [&] { watcher.reset(); }, Qt::BlockingQueuedConnection);
    worker.quit();
    worker.wait();
}

TEST_F(ReachabilityWatcherTest, ThreadWithoutEventLoopCannotBeNotified)
{
    auto watcher = ReachabilityWatcher::create(addressTarget("0.0.0.0"));
    bool started = true;
    std::thread plain([&] { started = watcher->start([] {}); });
    plain.join();
    EXPECT_FALSE(started);
}

TEST(SystemNetworkState, AnswersWithoutANetworkOfItsOwn)
{
    setNetworkState(nullptr);
    auto state = currentNetworkState();
    ASSERT_TRUE(state);
    // Whatever the machine's network, the loopback interface is never listed and "lo" has 127.0.0.1.
    EXPECT_FALSE(state->interfaceNames().contains(QStringLiteral("lo")));
    EXPECT_TRUE(state->ipv4AddressOfInterface(QStringLiteral("no-such-interface")).isNull());
    const auto flags = state->flagsFor(addressTarget("0.0.0.0"));
    ASSERT_TRUE(flags.has_value());
    EXPECT_EQ(*flags & ~ReachabilityFlags(Reachable), 0u);
}

} // namespace
