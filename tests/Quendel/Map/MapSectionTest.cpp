#include "Mac/Map/MacMapViewController.h"

#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "platform/maps/MapView.h"
#include "platform/maps/UserLocation.h"

#include <QLabel>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

namespace {

class MapSectionTest : public quendel::test::EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        platform::core::Clock::setCurrent(nullptr);
        platform::maps::UserLocationProvider::setFactory([this](QObject *parent) {
            auto provider = std::make_unique<platform::maps::FixedLocationProvider>(parent);
            provider->setAuthorization(platform::maps::UserLocationProvider::NotDetermined);
            location = provider.get();
            return provider;
        });
    }
    void TearDown() override
    {
        delete section;
        platform::maps::UserLocationProvider::setFactory(nullptr);
        EntityStoreTest::TearDown();
    }

    void open()
    {
        section = new MacMapViewController(context);
        section->resize(1000, 700);
        section->loadViewIfNeeded();
        section->show();
        QTest::qWait(20);
    }

    PersonAddress *address(const QString &name, double lat, double lon, qint64 status = 1)
    {
        auto *person = insert<Person>();
        person->setFirstName(name);
        auto *a = insert<PersonAddress>();
        a->setPerson(person);
        a->setCity(name + QStringLiteral("ville"));
        a->setLatitude(lat);
        a->setLongitude(lon);
        a->setGeocodeStatus(status);
        return a;
    }

    QStringList rows() const
    {
        QStringList texts;
        QTreeView *tree = section->locationsListOutlineView();
        for (QModelIndex i = tree->model()->index(0, 0); i.isValid(); i = tree->indexBelow(i))
            texts << i.data().toString();
        return texts;
    }
    static QString title(const char *key) { return LocationsListSetup().transform().transformedValue(QString::fromLatin1(key)); }

    MacMapViewController *section = nullptr;
    platform::maps::FixedLocationProvider *location = nullptr;
};

} // namespace

TEST_F(MapSectionTest, GroupsComeInTheirOrderAndRowsByDistanceOnceTheUserIsKnown)
{
    address(QStringLiteral("Far"), 46.948, 7.447);          // Bern, ~95 km
    address(QStringLiteral("Lost"), 0, 0, 2);               // no result
    address(QStringLiteral("Waiting"), 0, 0, 0);            // not geocoded yet
    address(QStringLiteral("Close"), 47.38, 8.545);         // a few hundred metres
    address(QStringLiteral("Closer"), 47.377, 8.5418);      // next door
    address(QStringLiteral("Mid"), 47.50, 8.72);            // Winterthur, ~20 km
    save(context);
    open();
    // Before a location: nothing has a distance.
    EXPECT_EQ(rows().first(), title("1000"));
    location->moveTo({47.3769, 8.5417});
    const QStringList metric = {title("10"), QStringLiteral("Closer"), QStringLiteral("Close"), title("25"),
                                QStringLiteral("Mid"), title("51"), QStringLiteral("Far"), title("1000"),
                                QStringLiteral("Waiting"), title("2000"), QStringLiteral("Lost")};
    if (LocationsListSetup().usesMetric())
        EXPECT_EQ(rows(), metric);
    else
        EXPECT_EQ(rows().first(), title("10"));
    EXPECT_EQ(section->mapView()->annotations().size(), 4);

    // 80 m away: ignored; 150 m away: taken, and the map follows.
    location->moveTo({47.3769 + 80.0 / 111195, 8.5417});
    EXPECT_NEAR(section->mapView()->region().center.latitude, 47.3769, 1e-6);
    location->moveTo({47.3769 + 150.0 / 111195, 8.5417});
    EXPECT_NEAR(section->mapView()->region().center.latitude, 47.3769 + 150.0 / 111195, 1e-6);
}

TEST_F(MapSectionTest, RecordChangesAddMoveAndRemoveSingleRows)
{
    PersonAddress *close = address(QStringLiteral("Close"), 47.38, 8.545);
    PersonAddress *far = address(QStringLiteral("Far"), 46.948, 7.447);
    save(context);
    open();
    location->moveTo({47.3769, 8.5417});
    ASSERT_EQ(rows().size(), 4);

    // Deleting the last row of a group leaves its empty header until the next build.
    section->deletePersonAddressObjectFromMap(far);
    EXPECT_EQ(rows(), (QStringList{title("10"), QStringLiteral("Close"), title("51")}));
    EXPECT_EQ(section->mapView()->annotations().size(), 1);
    // An update drops the empty groups it passes and files the record where it belongs now.
    close->setLatitude(46.948);
    close->setLongitude(7.447);
    section->updatePersonAddressObject(close);
    EXPECT_EQ(rows(), (QStringList{title("51"), QStringLiteral("Close")}));
    // A new record opens its group in its place.
    section->addPersonAddressObjectToMap(address(QStringLiteral("New"), 47.377, 8.5418));
    EXPECT_EQ(rows(), (QStringList{title("10"), QStringLiteral("New"), title("51"), QStringLiteral("Close")}));
    // A failed lookup that will be retried is not re-added on its announcement.
    PersonAddress *retrying = address(QStringLiteral("Retry"), 0, 0, 0);
    retrying->setTemporaryState(4);
    platform::core::NotificationCenter::defaultCenter().post(CLGeocoderRequestQueue::PersonAddressDidSaveNotification,
                                                             retrying, {{QStringLiteral("Key"), QStringLiteral("updatedObjects")}});
    EXPECT_FALSE(rows().contains(QStringLiteral("Retry")));
}

TEST_F(MapSectionTest, SearchNarrowsTheListAndTheGroupNarrowsListAndMap)
{
    PersonAddress *ann = address(QStringLiteral("Ann"), 47.38, 8.545);
    address(QStringLiteral("Bob"), 46.948, 7.447);
    auto *group = insert<PrivateGroups>();
    group->addMembersObject(ann->person());
    save(context);
    open();
    section->searchResultsWithString(QStringLiteral("bob"));
    EXPECT_FALSE(rows().contains(QStringLiteral("Ann")));
    EXPECT_TRUE(rows().contains(QStringLiteral("Bob")));
    EXPECT_EQ(section->mapView()->annotations().size(), 2);
    section->searchResultsWithString(QString());
    EXPECT_TRUE(rows().contains(QStringLiteral("Ann")));

    platform::core::NotificationCenter::defaultCenter().post(
        MacMapViewController::GroupChangeNotification, nullptr,
        {{QStringLiteral("GroupChangePrivate"), QVariant::fromValue<platform::store::ManagedObject *>(group)}});
    EXPECT_TRUE(rows().contains(QStringLiteral("Ann")));
    EXPECT_FALSE(rows().contains(QStringLiteral("Bob")));
    ASSERT_EQ(section->mapView()->annotations().size(), 1);
    EXPECT_EQ(section->mapView()->annotations().first().title, ann->title());
    platform::core::NotificationCenter::defaultCenter().post(MacMapViewController::GroupChangeNotification);
    EXPECT_EQ(section->mapView()->annotations().size(), 2);
}

TEST_F(MapSectionTest, TheStatusBarFollowsTheLocationAndTheGeocoder)
{
    open();
    auto *bar = section->findChild<QLabel *>();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return section->isBarShown(); }, 2000));
    EXPECT_EQ(section->barMessage(), QStringLiteral("Unable to determine Current Location"));
    section->geocodeSendingRequest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return section->barMessage() == QLatin1String("Processing Address Results"); }, 2000));
    location->moveTo({47.0, 8.0});
    section->geocoderReceivedResponseWithStackStatus(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !section->isBarShown(); }, 2000));
}
