#include "QuendelKit/Infra/QDReachability.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "../../platform/network/FakeNetworkState.h"
#include "platform/core/NotificationCenter.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

using namespace platform::network;

namespace {

TEST(QDReachability, NetworkStatusForFlagsTable)
{
    struct Case
    {
        ReachabilityFlags flags;
        int status;
    };
    const Case cases[] = {
        {0, 0},
        {ConnectionRequired, 0},
        {ConnectionOnDemand | ConnectionOnTraffic, 0},
        {Reachable, 1},
        {Reachable | IsDirect, 1},
        {Reachable | ConnectionRequired, 0},
        {Reachable | ConnectionRequired | ConnectionOnDemand, 1},
        {Reachable | ConnectionRequired | ConnectionOnTraffic, 1},
        {Reachable | ConnectionRequired | ConnectionOnDemand | InterventionRequired, 0},
        {Reachable | ConnectionOnDemand | InterventionRequired, 1},
        {Reachable | ConnectionRequired | InterventionRequired, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(QDReachability::networkStatusForFlags(c.flags), c.status);
    }
    EXPECT_EQ(Reachable, 0x2u);
    EXPECT_EQ(ConnectionRequired, 0x4u);
    EXPECT_EQ(ConnectionOnTraffic, 0x8u);
    EXPECT_EQ(InterventionRequired, 0x10u);
    EXPECT_EQ(ConnectionOnDemand, 0x20u);
    EXPECT_EQ(IsDirect, 0x20000u);
}

TEST(QDReachability, LocalWiFiStatusNeedsReachableAndDirect)
{
    EXPECT_EQ(QDReachability::localWiFiStatusForFlags(Reachable | IsDirect), 1);
    EXPECT_EQ(QDReachability::localWiFiStatusForFlags(Reachable), 0);
    EXPECT_EQ(QDReachability::localWiFiStatusForFlags(IsDirect), 0);
    EXPECT_EQ(QDReachability::localWiFiStatusForFlags(0), 0);
}

class QDReachabilityTest : public ::testing::Test
{
protected:
    void SetUp() override { setNetworkState(m_state); }
    void TearDown() override { setNetworkState(nullptr); }
    std::shared_ptr<FakeNetworkState> m_state = std::make_shared<FakeNetworkState>();
};

TEST_F(QDReachabilityTest, WatchersAndTheirStatus)
{
    auto internet = QDReachability::reachabilityForInternetConnection();
    ASSERT_TRUE(internet);
    EXPECT_FALSE(internet->localWiFiRef());
    EXPECT_EQ(internet->currentReachabilityStatus(), 1);
    EXPECT_EQ(m_state->lastTarget.address, QHostAddress(QStringLiteral("0.0.0.0")));
    m_state->flags = Reachable | ConnectionRequired;
    EXPECT_EQ(internet->currentReachabilityStatus(), 0);
    EXPECT_TRUE(internet->connectionRequired());
    m_state->flags = std::nullopt; // unreadable: not reachable
    EXPECT_EQ(internet->currentReachabilityStatus(), 0);
    EXPECT_FALSE(internet->connectionRequired());

    auto local = QDReachability::reachabilityForLocalWiFi();
    ASSERT_TRUE(local);
    EXPECT_TRUE(local->localWiFiRef());
    m_state->localFlags = Reachable;
    EXPECT_EQ(local->currentReachabilityStatus(), 0);
    EXPECT_FALSE(QDReachability::isWifiOn());
    m_state->localFlags = Reachable | IsDirect;
    EXPECT_EQ(local->currentReachabilityStatus(), 1);
    EXPECT_TRUE(QDReachability::isWifiOn());

    EXPECT_EQ(QDReachability::reachabilityWithHostName(QString()), nullptr);
    EXPECT_EQ(QDReachability::reachabilityWithHostName(QStringLiteral("  ")), nullptr);
    EXPECT_EQ(QDReachability::reachabilityWithAddress(QHostAddress()), nullptr);
    auto host = QDReachability::reachabilityWithHostName(QStringLiteral("example.org"));
    ASSERT_TRUE(host);
    m_state->flags = Reachable;
    EXPECT_EQ(host->currentReachabilityStatus(), 1);
    EXPECT_EQ(m_state->lastTarget.hostName, QStringLiteral("example.org"));
}

TEST_F(QDReachabilityTest, NotifierPostsTheChangeWithTheWatcherAsObject)
{
    EXPECT_EQ(kReachabilityChangedNotification, QStringLiteral("kNetworkReachabilityChangedNotification"));
    auto internet = QDReachability::reachabilityForInternetConnection();
    std::vector<const void *> objects;
    platform::core::ScopedObserver observer(kReachabilityChangedNotification, nullptr,
                                            [&](const platform::core::Notification &n) {
                                                EXPECT_TRUE(n.userInfo.isEmpty());
                                                objects.push_back(n.object);
                                            });
    ASSERT_TRUE(internet->startNotifier());
    m_state->setFlags(0);
    QTRY_COMPARE_WITH_TIMEOUT(objects.size(), size_t(1), 2000);
    EXPECT_EQ(objects[0], internet.get());
    EXPECT_EQ(internet->currentReachabilityStatus(), 0);

    internet->stopNotifier();
    m_state->setFlags(Reachable);
    QCoreApplication::processEvents();
    EXPECT_EQ(objects.size(), 1u);

    // A watcher that goes away while started stops telling.
    internet->startNotifier();
    internet.reset();
    m_state->setFlags(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(objects.size(), 1u);
}

TEST_F(QDReachabilityTest, LocalWiFiAddress)
{
    struct Case
    {
        const char *name;
        QStringList interfaces;
        QMap<QString, QString> addresses;
        QString expected;
    };
    const Case cases[] = {
        {"en0 first", {"en0", "en1"}, {{"en0", "192.168.1.5"}, {"en1", "10.0.0.2"}}, "192.168.1.5"},
        {"en1 when en0 has none", {"en0", "en1"}, {{"en1", "10.0.0.2"}}, "10.0.0.2"},
        {"neither has one", {"en0", "en1", "eth0"}, {{"eth0", "10.1.1.1"}}, "error"},
        {"other names: the first listed",
         {"wlp2s0", "enp3s0"},
         {{"enp3s0", "10.9.9.9"}, {"wlp2s0", "192.168.0.7"}},
         "192.168.0.7"},
        {"no interfaces", {}, {}, "error"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_state->names = c.interfaces;
        m_state->addresses = c.addresses;
        EXPECT_EQ(QDReachability::localWiFiIPAddress(), c.expected);
    }
}

} // namespace

// The settings object's handler of the notice: anyone may post the name with any object, so only a live
// watcher is read; anything else falls back to the watcher the settings object keeps.
TEST_F(QDReachabilityTest, TheSettingsHandlerReadsOnlyALiveWatcherFromTheNotice)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    const std::shared_ptr<QDReachability> before = settings.reachabilityStatus();
    auto kept = QDReachability::reachabilityForInternetConnection(); // reachable: "found wifi!"
    settings.setReachabilityStatus(kept);
    auto local = QDReachability::reachabilityForLocalWiFi(); // no local flags: "no internet connection"
    const void *gone = QDReachability::reachabilityWithHostName(QStringLiteral("example.org")).get();
    const QString notAWatcher = QStringLiteral("ReachabilityChanged - the notice's object is not a network watcher");
    int someObject = 7;

    const struct {
        const char *name;
        const void *object;
        bool foreign;
        const char *status;
    } rows[] = {
        {"a live watcher", local.get(), false, "ReachabilityChanged - no internet connection"},
        {"no object", nullptr, false, "ReachabilityChanged - found wifi!"},
        {"another kind of object", &someObject, true, "ReachabilityChanged - found wifi!"},
        {"a watcher already gone", gone, true, "ReachabilityChanged - found wifi!"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        testing::internal::CaptureStderr();
        settings.reachabilityChanged({kReachabilityChangedNotification, row.object, {}});
        const QString logged = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_TRUE(logged.contains(QLatin1String(row.status))) << logged.toStdString();
        EXPECT_EQ(logged.contains(notAWatcher), row.foreign) << logged.toStdString();
    }
    settings.setReachabilityStatus(before);
}
