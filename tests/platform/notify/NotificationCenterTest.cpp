#include "platform/core/Clock.h"
#include "platform/core/DateComponents.h"
#include "platform/notify/FreedesktopNotifier.h"
#include "platform/notify/NotificationCenter.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using platform::core::DateComponents;
using platform::notify::FreedesktopNotifier;
using platform::notify::NotificationCenter;
using platform::notify::ScheduledNotification;

namespace {

class RecordingNotifier : public platform::notify::DesktopNotifier
{
public:
    void show(const ScheduledNotification &n) override { shown << n; }
    void withdraw(const QString &identifier) override { withdrawn << identifier; }
    void click(const QString &identifier) { activated(identifier); }

    QList<ScheduledNotification> shown;
    QStringList withdrawn;
};

ScheduledNotification notificationAt(const QString &id, const QDateTime &when, const QVariant &repeat = {})
{
    ScheduledNotification n;
    n.identifier = id;
    n.title = QStringLiteral("Call : Alice");
    n.informativeText = QStringLiteral("March 15, 2026");
    n.actionButtonTitle = QStringLiteral("View Contact");
    n.deliveryDate = when;
    n.repeatInterval = repeat;
    n.userInfo = {{QStringLiteral("kToDoAlertNotificationGUIDKey"), id}};
    return n;
}

class NotificationCenterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clock = std::make_shared<platform::core::ManualClock>(QDateTime(QDate(2026, 3, 15), QTime(9, 0), Qt::UTC));
        platform::core::Clock::setCurrent(clock);
        ASSERT_TRUE(dir.isValid());
        notifier = std::make_shared<RecordingNotifier>();
    }
    void TearDown() override { platform::core::Clock::setCurrent(nullptr); }

    std::unique_ptr<NotificationCenter> makeCenter()
    {
        auto center = std::make_unique<NotificationCenter>(dir.filePath(QStringLiteral("Notifications.json")));
        center->setNotifier(notifier);
        return center;
    }

    QDateTime now() const { return platform::core::Clock::now(); }

    QTemporaryDir dir;
    std::shared_ptr<platform::core::ManualClock> clock;
    std::shared_ptr<RecordingNotifier> notifier;
};

} // namespace

TEST_F(NotificationCenterTest, ANotificationIsShownAtItsTimeOnTheClockAndNotBefore)
{
    auto center = makeCenter();
    center->scheduleNotification(notificationAt(QStringLiteral("A"), now().addSecs(600)));
    ASSERT_EQ(center->scheduledNotifications().size(), 1);
    clock->advanceSeconds(599);
    EXPECT_TRUE(notifier->shown.isEmpty());
    clock->advanceSeconds(1);
    ASSERT_EQ(notifier->shown.size(), 1);
    EXPECT_EQ(notifier->shown.first().identifier, QStringLiteral("A"));
    EXPECT_TRUE(center->scheduledNotifications().isEmpty());
    ASSERT_EQ(center->deliveredNotifications().size(), 1);
    EXPECT_EQ(center->deliveredNotifications().first().actualDeliveryDate, now());

    // A click reaches the handler with the notification's own information.
    QVariantMap clicked;
    center->setActivationHandler([&](const ScheduledNotification &n) { clicked = n.userInfo; });
    notifier->click(QStringLiteral("A"));
    EXPECT_EQ(clicked.value(QStringLiteral("kToDoAlertNotificationGUIDKey")).toString(), QStringLiteral("A"));

    // Withdrawn from the delivered ones, the desktop is told too.
    EXPECT_TRUE(center->removeDeliveredNotification(QStringLiteral("A")));
    EXPECT_EQ(notifier->withdrawn, QStringList{QStringLiteral("A")});
}

TEST_F(NotificationCenterTest, ARepeatingNotificationWaitsForItsNextTimeAndOneIdentifierIsOneNotification)
{
    auto center = makeCenter();
    DateComponents daily;
    daily.setDay(1);
    center->scheduleNotification(notificationAt(QStringLiteral("R"), now().addSecs(60), daily.toVariant()));
    // Scheduled again under the same identifier: replaced, not doubled.
    center->scheduleNotification(notificationAt(QStringLiteral("R"), now().addSecs(120), daily.toVariant()));
    ASSERT_EQ(center->scheduledNotifications().size(), 1);
    clock->advanceSeconds(120);
    ASSERT_EQ(notifier->shown.size(), 1);
    ASSERT_EQ(center->scheduledNotifications().size(), 1);
    EXPECT_EQ(center->scheduledNotifications().first().deliveryDate, now().addDays(1));
    clock->advanceSeconds(86400);
    EXPECT_EQ(notifier->shown.size(), 2);
    EXPECT_EQ(center->deliveredNotifications().size(), 1);

    EXPECT_TRUE(center->removeScheduledNotification(QStringLiteral("R")));
    EXPECT_FALSE(center->removeScheduledNotification(QStringLiteral("R")));
    clock->advanceSeconds(2 * 86400);
    EXPECT_EQ(notifier->shown.size(), 2);
}

TEST_F(NotificationCenterTest, TheListsOutliveTheProgramAndWhatFellDueMeanwhileIsShownAtStart)
{
    {
        auto center = makeCenter();
        center->scheduleNotification(notificationAt(QStringLiteral("Later"), now().addDays(2)));
        center->scheduleNotification(notificationAt(QStringLiteral("Soon"), now().addSecs(3600)));
    }
    clock->set(now().addSecs(7200));
    auto center = makeCenter();
    ASSERT_TRUE(center->load());
    ASSERT_EQ(notifier->shown.size(), 1);
    EXPECT_EQ(notifier->shown.first().identifier, QStringLiteral("Soon"));
    EXPECT_EQ(notifier->shown.first().userInfo, notificationAt(QStringLiteral("Soon"), {}).userInfo);
    ASSERT_EQ(center->scheduledNotifications().size(), 1);
    EXPECT_EQ(center->scheduledNotifications().first().identifier, QStringLiteral("Later"));

    // A damaged list is set aside, said so, and a new one starts.
    QFile file(dir.filePath(QStringLiteral("Notifications.json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{not json");
    file.close();
    auto fresh = makeCenter();
    QString problem;
    EXPECT_FALSE(fresh->load(&problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("damaged")));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("Notifications.json.damaged"))));
    EXPECT_TRUE(fresh->scheduledNotifications().isEmpty());
}

TEST_F(NotificationCenterTest, NextTimesOfRepeats)
{
    const QDateTime start(QDate(2026, 1, 31), QTime(10, 0), Qt::LocalTime);
    DateComponents monthly;
    monthly.setMonth(1);
    DateComponents none;
    none.setDay(0);
    EXPECT_EQ(NotificationCenter::nextDeliveryDate(start, monthly.toVariant(), start.addSecs(1)),
              QDateTime(QDate(2026, 2, 28), QTime(10, 0), Qt::LocalTime));
    EXPECT_FALSE(NotificationCenter::nextDeliveryDate(start, none.toVariant(), start.addDays(1)).isValid());
    EXPECT_FALSE(NotificationCenter::nextDeliveryDate(start, QVariant(), start.addDays(1)).isValid());
}

TEST(FreedesktopNotifierTest, TheNotifyCallCarriesTheTextsAsPlainTextAndTheViewAction)
{
    ScheduledNotification n = notificationAt(QStringLiteral("A"), QDateTime::currentDateTimeUtc());
    n.title = QStringLiteral("Call : <b>Alice</b>");
    n.informativeText = QStringLiteral("Tom & <Jerry>");
    const QVariantList args = FreedesktopNotifier::notifyArguments(n, QStringLiteral("Quendel"), QStringLiteral("icon"));
    ASSERT_EQ(args.size(), 8);
    EXPECT_EQ(args.at(0).toString(), QStringLiteral("Quendel"));
    EXPECT_EQ(args.at(1).toUInt(), 0u);
    EXPECT_EQ(args.at(2).toString(), QStringLiteral("icon"));
    EXPECT_EQ(args.at(3).toString(), QStringLiteral("Call : <b>Alice</b>"));
    EXPECT_EQ(args.at(4).toString(), QStringLiteral("Tom &amp; &lt;Jerry&gt;"));
    EXPECT_EQ(args.at(5).toStringList(), (QStringList{"default", "View Contact", "view", "View Contact"}));
    EXPECT_EQ(args.at(6).toMap().keys(), (QStringList{"category", "desktop-entry"}));
    EXPECT_EQ(args.at(7).toInt(), -1);
}

// ---- Over a real session bus, with a stand-in notification service on it ----

class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;
    QList<uint> closed;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &, const QStringList &,
                const QVariantMap &, int)
    {
        summaries << summary;
        return uint(41 + summaries.size());
    }
    void CloseNotification(uint id) { closed << id; }
    QStringList GetCapabilities() { return {QStringLiteral("actions")}; }

signals:
    void ActionInvoked(uint id, const QString &actionKey);
    void NotificationClosed(uint id, uint reason);
};

TEST(FreedesktopNotifierBusTest, AShownNotificationIsClickedAndWithdrawnThroughTheService)
{
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address")});
    if (!daemon.waitForStarted(3000))
        GTEST_SKIP() << "no dbus-daemon";
    ASSERT_TRUE(QTest::qWaitFor([&] { return daemon.canReadLine(); }, 5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
        QDBusConnection serviceBus = QDBusConnection::connectToBus(address, QStringLiteral("service"));
        QDBusConnection clientBus = QDBusConnection::connectToBus(address, QStringLiteral("client"));
        ASSERT_TRUE(serviceBus.isConnected());
        EXPECT_FALSE(FreedesktopNotifier::isServiceAvailable(clientBus));
        FakeNotificationService service;
        ASSERT_TRUE(serviceBus.registerObject(FreedesktopNotifier::ObjectPath, &service, QDBusConnection::ExportAllSlots |
                                                                                            QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(serviceBus.registerService(FreedesktopNotifier::ServiceName));
        EXPECT_TRUE(FreedesktopNotifier::isServiceAvailable(clientBus));

        FreedesktopNotifier notifier(clientBus, QStringLiteral("Quendel"));
        QStringList activated;
        notifier.setActivationHandler([&](const QString &id) { activated << id; });
        notifier.show(notificationAt(QStringLiteral("A"), QDateTime::currentDateTimeUtc()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.serverIdFor(QStringLiteral("A")) != 0; }, 5000));
        EXPECT_EQ(service.summaries, QStringList{QStringLiteral("Call : Alice")});
        const uint id = notifier.serverIdFor(QStringLiteral("A"));

        emit service.ActionInvoked(id, QStringLiteral("default"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !activated.isEmpty(); }, 5000));
        EXPECT_EQ(activated, QStringList{QStringLiteral("A")});

        notifier.withdraw(QStringLiteral("A"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !service.closed.isEmpty(); }, 5000));
        EXPECT_EQ(service.closed, QList<uint>{id});
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    daemon.terminate();
    daemon.waitForFinished(3000);
}

#include "NotificationCenterTest.moc"
