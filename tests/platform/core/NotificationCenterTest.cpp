#include "platform/core/NotificationCenter.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

using namespace platform::core;

TEST(NotificationCenter, DeliversByNameAndObjectInOrder)
{
    NotificationCenter center;
    int senderA = 0, senderB = 0;
    QStringList seen;
    center.addObserver(QStringLiteral("Changed"), nullptr, [&](const Notification &n) { seen << "any:" + n.userInfo.value("k").toString(); });
    center.addObserver(QStringLiteral("Changed"), &senderA, [&](const Notification &) { seen << "A"; });
    center.addObserver(QString(), nullptr, [&](const Notification &n) { seen << "all:" + n.name; });

    center.post(QStringLiteral("Changed"), &senderB, {{"k", "v"}});
    center.post(QStringLiteral("Changed"), &senderA);
    center.post(QStringLiteral("Other"));
    EXPECT_EQ(seen, QStringList({"any:v", "all:Changed", "any:", "A", "all:Changed", "all:Other"}));
}

TEST(NotificationCenter, RemovedObserverIsNotCalledEvenDuringAPost)
{
    NotificationCenter center;
    int calls = 0;
    ObserverToken second = 0;
    center.addObserver("N", nullptr, [&](const Notification &) { center.removeObserver(second); });
    second = center.addObserver("N", nullptr, [&](const Notification &) { ++calls; });
    center.post("N");
    center.post("N");
    EXPECT_EQ(calls, 0);
}

TEST(NotificationCenter, ScopedObserverRemovesItself)
{
    NotificationCenter center;
    int calls = 0;
    {
        ScopedObserver obs("N", nullptr, [&](const Notification &) { ++calls; }, center);
        center.post("N");
    }
    center.post("N");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, PostOnMainFromBackgroundArrivesOnMainThread)
{
    NotificationCenter center;
    QThread *deliveredOn = nullptr;
    center.addObserver("N", nullptr, [&](const Notification &) { deliveredOn = QThread::currentThread(); });
    QThread *worker = QThread::create([&] { center.postOnMain("N"); });
    worker->start();
    worker->wait();
    delete worker;
    EXPECT_EQ(deliveredOn, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(deliveredOn, QCoreApplication::instance()->thread());
}
