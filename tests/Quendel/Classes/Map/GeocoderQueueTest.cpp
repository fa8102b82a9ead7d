#include "Classes/CoreDataControllerShared.h"
#include "Classes/Map/CLGeocoderRequestQueue.h"

#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "platform/core/Dispatch.h"
#include "platform/maps/Geocoder.h"

#include <QTest>

#include <mutex>

using namespace platform::maps;
using platform::core::Notification;
using platform::core::NotificationCenter;

namespace {

// Answers from a table keyed by city; records every request.
class TableGeocoder : public Geocoder
{
public:
    struct Result
    {
        QList<Placemark> placemarks;
        int errorCode = -1;
    };

    void geocodeAddressDictionary(const QVariantMap &address, Completion completion) override
    {
        const QString city = address.value(AddressKey::City).toString();
        Result result;
        {
            std::lock_guard lock(mutex);
            requests << city;
            result = table.value(city, Result{{}, GeocoderError::NoResult});
        }
        platform::core::dispatchAsyncMain([result, completion] {
            if (result.errorCode >= 0)
                completion({}, Geocoder::error(result.errorCode));
            else
                completion(result.placemarks, {});
        });
    }
    void geocodeAddressString(const QString &, Completion completion) override { completion({}, error(8)); }
    void reverseGeocodeLocation(const Coordinate &, Completion completion) override { completion({}, error(8)); }

    int requestCount()
    {
        std::lock_guard lock(mutex);
        return int(requests.size());
    }
    void answer(const QString &city, double lat, double lon)
    {
        Placemark p;
        p.coordinate = {lat, lon};
        std::lock_guard lock(mutex);
        table.insert(city, {{p}, -1});
    }
    void fail(const QString &city, int code)
    {
        std::lock_guard lock(mutex);
        table.insert(city, {{}, code});
    }

    std::mutex mutex;
    QStringList requests;
    QHash<QString, Result> table;
};

class StatusRecorder : public CLCustomGeocodeDelegate
{
public:
    void geocodeSendingRequest() override { ++sending; }
    void geocoderReceivedResponseWithStackStatus(bool idle) override
    {
        std::lock_guard lock(mutex);
        statuses << idle;
    }
    QList<bool> all()
    {
        std::lock_guard lock(mutex);
        return statuses;
    }
    std::atomic<int> sending{0};
    std::mutex mutex;
    QList<bool> statuses;
};

class GeocoderQueueTest : public quendel::test::EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        geocoder = std::make_shared<TableGeocoder>();
        queue = CLGeocoderRequestQueue::make(context, geocoder);
        queue->setDelegate(&status);
        queue->setReachabilityCheck([this] { return reachable.load(); });
    }
    void TearDown() override
    {
        queue->setDelegate(nullptr);
        queue.reset();
        settle();
        EntityStoreTest::TearDown();
    }

    PersonAddress *address(const QString &city)
    {
        auto *a = insert<PersonAddress>();
        a->setCity(city);
        a->setPerson(insert<Person>());
        save(context);
        return a;
    }
    // Lets the queue's own threads and the main loop finish what they were handed.
    static void settle(int ms = 60) { QTest::qWait(ms); }
    void advance(double seconds)
    {
        clock->advanceSeconds(seconds);
        settle();
    }
    bool waitForRequests(int n) { return QTest::qWaitFor([&] { return geocoder->requestCount() >= n; }, 8000); }

    std::shared_ptr<TableGeocoder> geocoder;
    std::shared_ptr<CLGeocoderRequestQueue> queue;
    StatusRecorder status;
    std::atomic<bool> reachable{true};
};

} // namespace

TEST_F(GeocoderQueueTest, TimersSendTwentyATickAndSuspendAfterThreeEmptyTicks)
{
    // Nothing queued: nothing ever fires.
    advance(100);
    EXPECT_EQ(geocoder->requestCount(), 0);
    EXPECT_TRUE(queue->isTimerSuspended());
    EXPECT_TRUE(status.all().isEmpty());

    QList<PersonAddress *> addresses;
    for (int i = 0; i < 25; ++i) {
        geocoder->answer(QStringLiteral("City %1").arg(i), 10 + i, 20 + i);
        addresses << address(QStringLiteral("City %1").arg(i));
    }
    for (PersonAddress *a : addresses)
        queue->addManagedObject(a);
    queue->addManagedObject(addresses.first()); // once in the set
    settle();
    EXPECT_FALSE(queue->isTimerSuspended());
    advance(0.01);

    // The first fire time passed while suspended: the tick comes at once on resumption.
    ASSERT_TRUE(waitForRequests(20)) << geocoder->requestCount() << " sent, " << queue->stackCount() << " queued, "
                                     << queue->isTimerSuspended();
    settle();
    EXPECT_EQ(geocoder->requestCount(), 20);
    EXPECT_EQ(queue->stackCount(), 5);
    advance(15.9);
    EXPECT_EQ(geocoder->requestCount(), 20);
    advance(0.2);
    ASSERT_TRUE(waitForRequests(25));
    settle();
    EXPECT_EQ(geocoder->requestCount(), 25);
    EXPECT_EQ(status.sending.load(), 25);

    // Every answer was written and saved through the main context.
    ASSERT_TRUE(QTest::qWaitFor([&] { return addresses.last()->geocodeStatus() == 1; }, 3000));
    platform::store::ContextPtr fresh;
    PersonAddress *stored = reread<PersonAddress>(addresses.at(3), fresh);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->geocodeStatus(), 1);
    EXPECT_DOUBLE_EQ(stored->latitude(), 13);
    EXPECT_DOUBLE_EQ(stored->longitude(), 23);

    // Three empty ticks report the idle status and suspend the timer.
    const int before = int(status.all().size());
    for (int i = 0; i < 3; ++i)
        advance(16);
    EXPECT_TRUE(queue->isTimerSuspended());
    const QList<bool> statuses = status.all().mid(before);
    ASSERT_EQ(statuses.size(), 3);
    EXPECT_EQ(statuses, (QList<bool>{true, true, true}));
    advance(64);
    EXPECT_EQ(status.all().size(), before + 3);
}

TEST_F(GeocoderQueueTest, AnswersNearZeroAreIgnoredAndEqualPositionsAreNotWritten)
{
    geocoder->answer(QStringLiteral("Near"), 0.2, 0.3);
    geocoder->answer(QStringLiteral("Edge"), 0.2, 0.7);
    geocoder->answer(QStringLiteral("Same"), 48.1, 11.5);
    PersonAddress *near = address(QStringLiteral("Near"));
    PersonAddress *edge = address(QStringLiteral("Edge"));
    PersonAddress *same = address(QStringLiteral("Same"));
    same->setLatitude(48.1);
    same->setLongitude(11.5);
    save(context);
    for (PersonAddress *a : {near, edge, same})
        queue->addManagedObject(a);
    settle();
    advance(1);
    ASSERT_TRUE(waitForRequests(3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return edge->geocodeStatus() == 1; }, 3000));
    settle(100);
    EXPECT_EQ(near->geocodeStatus(), 0);
    EXPECT_DOUBLE_EQ(near->latitude(), 0);
    EXPECT_DOUBLE_EQ(edge->latitude(), 0.2);
    EXPECT_DOUBLE_EQ(edge->longitude(), 0.7);
    EXPECT_EQ(same->geocodeStatus(), 0); // nothing written, not even the status
    EXPECT_EQ(queue->errorStackCount(), 0);
}

TEST_F(GeocoderQueueTest, NoResultIsFinalAndAnnounced)
{
    QList<QVariantMap> notices;
    QList<const void *> objects;
    platform::core::ScopedObserver observer(CLGeocoderRequestQueue::PersonAddressDidSaveNotification, nullptr,
                                            [&](const Notification &n) {
                                                notices << n.userInfo;
                                                objects << n.object;
                                            });
    PersonAddress *nowhere = address(QStringLiteral("Nowhere"));
    queue->addManagedObject(nowhere);
    advance(1);
    ASSERT_TRUE(waitForRequests(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.size() == 1; }, 3000));
    EXPECT_EQ(notices.first(), (QVariantMap{{QStringLiteral("Key"), QStringLiteral("updatedObjects")}}));
    EXPECT_EQ(objects.first(), nowhere);
    EXPECT_EQ(nowhere->geocodeStatus(), 2);
    platform::store::ContextPtr fresh;
    EXPECT_EQ(reread<PersonAddress>(nowhere, fresh)->geocodeStatus(), 2);
    // Never retried.
    advance(200);
    EXPECT_EQ(geocoder->requestCount(), 1);
    EXPECT_EQ(queue->errorStackCount(), 0);
}

TEST_F(GeocoderQueueTest, OtherErrorsAreRetriedThreeTimesOnceTheMainSetIsEmpty)
{
    geocoder->fail(QStringLiteral("Flaky"), GeocoderError::Network);
    geocoder->answer(QStringLiteral("Later"), 40, 10);
    PersonAddress *flaky = address(QStringLiteral("Flaky"));
    PersonAddress *later = address(QStringLiteral("Later"));
    queue->addManagedObject(flaky);
    advance(1);
    ASSERT_TRUE(waitForRequests(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return queue->errorStackCount() == 1; }, 3000));
    EXPECT_EQ(flaky->temporaryState(), 4); // the main context's copy too
    EXPECT_EQ(flaky->geocodeStatus(), 0);

    // While the network is down the main set keeps its address, and the retry tick waits for it.
    reachable = false;
    queue->addManagedObject(later);
    // The address reaches the main set on the queue's own thread; the tick must find it there.
    ASSERT_TRUE(QTest::qWaitFor([&] { return queue->stackCount() == 1; }, 3000));
    advance(29); // t = 30 s: the retry timer's first tick
    EXPECT_EQ(geocoder->requestCount(), 1);
    EXPECT_EQ(queue->stackCount(), 1);
    EXPECT_FALSE(queue->isTimerSuspended()); // down-time ticks neither send nor count
    reachable = true;
    advance(3); // t = 33 s: the main tick
    ASSERT_TRUE(waitForRequests(2));
    EXPECT_EQ(geocoder->requests.at(1), QStringLiteral("Later"));

    // Retries at 61, 92 and 123 s; the third failed retry gives the address up.
    for (int expected : {3, 4, 5}) {
        advance(31);
        ASSERT_TRUE(waitForRequests(expected - 0)) << expected;
    }
    settle(100);
    EXPECT_EQ(geocoder->requestCount(), 5);
    EXPECT_EQ(queue->errorStackCount(), 0);
    advance(124);
    EXPECT_EQ(geocoder->requestCount(), 5);
    EXPECT_EQ(flaky->temporaryState(), 4);
}

TEST_F(GeocoderQueueTest, AnUploadEmptiesBothSetsAndDropsPlacemarksUntilItEnds)
{
    geocoder->answer(QStringLiteral("Bern"), 46.95, 7.45);
    PersonAddress *bern = address(QStringLiteral("Bern"));
    PersonAddress *other = address(QStringLiteral("Other"));
    queue->addObjectIDToErrorStack(other->objectID());
    queue->addManagedObject(bern);
    settle();
    NotificationCenter::defaultCenter().post(CLGeocoderRequestQueue::CloudKitUploadBeginningNotification);
    EXPECT_EQ(queue->stackCount(), 0);
    EXPECT_EQ(queue->errorStackCount(), 0);
    EXPECT_TRUE(queue->isTimerSuspended());
    EXPECT_TRUE(queue->isErrorTimerSuspended());
    EXPECT_TRUE(queue->isRestoring());

    // An answer with a placemark that arrives now is dropped.
    const int statuses = int(status.all().size());
    queue->sendPersonAddressToGeocoder(bern->objectID(), false);
    ASSERT_TRUE(waitForRequests(1));
    settle(100);
    EXPECT_EQ(bern->geocodeStatus(), 0);
    EXPECT_EQ(status.all().size(), statuses);

    NotificationCenter::defaultCenter().post(CLGeocoderRequestQueue::CloudKitUploadCompleteNotification);
    EXPECT_FALSE(queue->isRestoring());
    queue->addManagedObject(bern);
    advance(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bern->geocodeStatus() == 1; }, 3000));
}

TEST_F(GeocoderQueueTest, DuringARestoreRequestsDoNothingAndAfterItTheNewContextIsUsed)
{
    PersonAddress *bern = address(QStringLiteral("Bern"));
    NotificationCenter::defaultCenter().post(CoreDataControllerShared::RestoreDBPreparationNotification);
    EXPECT_EQ(queue->requestContext(), nullptr);
    queue->sendPersonAddressToGeocoder(bern->objectID(), false);
    settle(100);
    EXPECT_EQ(geocoder->requestCount(), 0);

    platform::store::ContextPtr restored = newContext();
    NotificationCenter::defaultCenter().post(CoreDataControllerShared::RestoreDBNotification, restored.get());
    ASSERT_NE(queue->requestContext(), nullptr);
    EXPECT_EQ(queue->requestContext()->parentContext(), restored);
    EXPECT_EQ(queue->requestContext()->name(), QStringLiteral("CLGeocoderRequestContext"));
    EXPECT_FALSE(queue->isRestoring());
}
