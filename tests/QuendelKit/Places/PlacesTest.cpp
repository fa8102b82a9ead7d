#include "QuendelKit/Entities/EntityStoreFixture.h"
#include "QuendelKit/Entities/LocationsListSetup.h"

#include <gtest/gtest.h>

using quendel::test::EntityStoreTest;

namespace {

class PlacesTest : public EntityStoreTest
{
protected:
    Location *place(double latitude, double longitude)
    {
        Location *location = insert<Location>();
        location->setLatitude(latitude);
        location->setLongitude(longitude);
        return location;
    }
};

// Sets the default locale for one test.
class LocaleScope
{
public:
    explicit LocaleScope(const QLocale &locale) : m_old(QLocale()) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(m_old); }

private:
    QLocale m_old;
};

const QLocale Metric(QLocale::German, QLocale::Germany);
const QLocale Imperial(QLocale::English, QLocale::UnitedStates);

} // namespace

TEST_F(PlacesTest, SubtitleCountsLogsAndOpenToDos)
{
    Location *location = place(48.1, 11.5);
    location->setLocationName(QStringLiteral("Office"));
    EXPECT_EQ(location->title(), QStringLiteral("Office"));
    EXPECT_EQ(location->subtitle(), QString());
    ToDo *open = insert<ToDo>();
    open->setTodoLocation(location);
    EXPECT_EQ(location->subtitle(), QStringLiteral("1 ToDo"));
    for (int i = 0; i < 2; ++i)
        insert<Log>()->setLogLocation(location);
    ToDo *done = insert<ToDo>();
    done->setTodoStatus(1);
    done->setTodoLocation(location);
    EXPECT_EQ(location->subtitle(), QStringLiteral("2 Logs, 1 ToDo"));
    insert<ToDo>()->setTodoLocation(location);
    EXPECT_EQ(location->subtitle(), QStringLiteral("2 Logs, 2 ToDos"));
    Location *logOnly = place(1, 1);
    insert<Log>()->setLogLocation(logOnly);
    EXPECT_EQ(logOnly->subtitle(), QStringLiteral("1 Log"));
}

TEST_F(PlacesTest, PositionTestsAndDistances)
{
    const struct
    {
        double latitude, longitude;
        bool valid;
        bool hasDistance;
    } cases[] = {
        {0.0005, 0.0005, false, false}, {0.002, 0, false, true}, {0, 0, false, false},
        {0.4, 0.3, false, true},        {-0.5, 0, true, true},  {48.1, 11.5, true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.latitude << "," << c.longitude);
        Location *location = place(c.latitude, c.longitude);
        EXPECT_EQ(location->isValidCoordinate(), c.valid);
        location->calculateDistanceForAddressWithLocation({0, 0}, true);
        EXPECT_EQ(location->distance() >= 0, c.hasDistance);
    }
    // One degree of latitude is about 111.2 km, metric or not.
    Location *north = place(1, 0);
    north->calculateDistanceForAddressWithLocation({0, 0}, false);
    EXPECT_NEAR(north->distance(), 111'195, 50);
}

TEST_F(PlacesTest, SetCoordinateWritesWithoutChangeNotices)
{
    Location *location = place(1, 2);
    save(context);
    location->setCoordinate({3, 4});
    EXPECT_EQ(location->coordinate(), (GeoCoordinate{3, 4}));
    EXPECT_FALSE(location->hasChanges());
    const MapItem item = location->mapItemForLocation();
    EXPECT_EQ(item.coordinate, (GeoCoordinate{3, 4}));
}

TEST_F(PlacesTest, CloudRecordCarriesThePositionOnlyWhenItChanged)
{
    Location *location = place(48.5, 11.25);
    save(context);
    const platform::cloud::Record whole = location->ckRecordFromManagedObjectWithRecordZoneID();
    const platform::cloud::FieldValue field = whole.value(QStringLiteral("locationObject"));
    ASSERT_EQ(field.kind(), platform::cloud::FieldValue::Kind::Location);
    EXPECT_EQ(field.toLocation(), platform::cloud::Location(48.5, 11.25));
    EXPECT_FALSE(whole.hasField(QStringLiteral("latitude")));
}

TEST_F(PlacesTest, AddressBucketsInKilometresAndMiles)
{
    const struct
    {
        QLocale locale;
        double metres;
        qint64 geocodeStatus;
        QString key;
    } cases[] = {
        {Metric, 10'000, 1, QStringLiteral("10")},   {Metric, 10'600, 1, QStringLiteral("25")},
        {Metric, 25'499, 1, QStringLiteral("25")},   {Metric, 25'500, 1, QStringLiteral("50")},
        {Metric, 50'000, 1, QStringLiteral("50")},   {Metric, 50'400, 1, QStringLiteral("51")},
        {Imperial, 16'000, 1, QStringLiteral("10")}, {Imperial, 17'000, 1, QStringLiteral("25")},
        {Metric, -1, 2, QStringLiteral("2000")},     {Metric, -1, 0, QStringLiteral("1000")},
        {Metric, -1, 1, QStringLiteral("1000")},     {Imperial, -1, 2, QStringLiteral("2000")},
        {Metric, 0, 0, QStringLiteral("10")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.locale.name().toStdString() << " " << c.metres);
        LocationsListSetup setup(c.locale);
        PersonAddress *address = insert<PersonAddress>();
        address->setGeocodeStatus(c.geocodeStatus);
        address->setDistance(c.metres);
        EXPECT_EQ(setup.bucketForPersonAddress(address), c.key);
    }
}

TEST_F(PlacesTest, PlaceBucketsUseTheWiderFiftyBound)
{
    LocationsListSetup setup(Metric);
    const struct
    {
        double metres;
        QString key;
    } cases[] = {
        {50'000, QStringLiteral("50")}, {50'400, QStringLiteral("50")}, {50'500, QStringLiteral("51")},
        {-1, QStringLiteral("1000")},   {10'499, QStringLiteral("10")}, {25'000, QStringLiteral("25")},
    };
    for (const auto &c : cases) {
        Location *location = place(48, 11);
        location->setDistance(c.metres);
        EXPECT_EQ(setup.bucketForLocation(location), c.key) << c.metres;
    }
}

TEST_F(PlacesTest, FilingMeasuresAndAppendsToTheCallersGroups)
{
    LocationsListSetup setup(Metric);
    EXPECT_TRUE(setup.usesMetric());
    EXPECT_EQ(setup.distanceKeys(), (QStringList{QStringLiteral("10"), QStringLiteral("25"), QStringLiteral("50"),
                                                 QStringLiteral("51"), QStringLiteral("1000"), QStringLiteral("2000")}));
    const GeoCoordinate here{48.0, 11.0};
    PersonAddress *near = insert<PersonAddress>();
    near->setLatitude(48.05);
    near->setLongitude(11.0);
    PersonAddress *unknown = insert<PersonAddress>();
    unknown->setGeocodeStatus(2);
    PersonAddress *waiting = insert<PersonAddress>();
    Location *far = place(49.0, 11.0);
    Location *nowhere = place(0.0001, 0);

    LocationsListSetup::Buckets buckets;
    buckets[QStringLiteral("10")].append(nullptr); // the caller's own entry stays
    setup.loadPersonAddressFetchedObjects({near, unknown, waiting}, here, buckets);
    setup.loadLocationsFetchedObjects({far, nowhere}, here, buckets);
    EXPECT_EQ(buckets.value(QStringLiteral("10")), (QList<platform::store::ManagedObject *>{nullptr, near}));
    EXPECT_EQ(buckets.value(QStringLiteral("2000")), QList<platform::store::ManagedObject *>{unknown});
    EXPECT_EQ(buckets.value(QStringLiteral("1000")), (QList<platform::store::ManagedObject *>{waiting, nowhere}));
    EXPECT_EQ(buckets.value(QStringLiteral("51")), QList<platform::store::ManagedObject *>{far});
    EXPECT_NEAR(near->distance(), 5'560, 10);
    EXPECT_EQ(nowhere->distance(), -1);
    EXPECT_EQ(unknown->distance(), -1);
}

TEST(DistanceTitles, HeaderTitlesInBothUnits)
{
    const struct
    {
        QString key;
        QString metric;
        QString miles;
    } cases[] = {
        {QStringLiteral("10"), QStringLiteral("Within 10 kms"), QStringLiteral("Within 10 miles")},
        {QStringLiteral("25"), QStringLiteral("Within 25 kms"), QStringLiteral("Within 25 miles")},
        {QStringLiteral("50"), QStringLiteral("Within 50 kms"), QStringLiteral("Within 50 miles")},
        {QStringLiteral("51"), QStringLiteral("Greater than 51 kms"), QStringLiteral("Greater than 51 miles")},
        {QStringLiteral("1000"), QStringLiteral("Waiting For Results"), QStringLiteral("Waiting For Results")},
        {QStringLiteral("2000"), QStringLiteral("Incorrect Formatting"), QStringLiteral("Incorrect Formatting")},
        {QStringLiteral("77"), QStringLiteral("77"), QStringLiteral("77")},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(LocationsListSetup(Metric).transform().transformedValue(c.key), c.metric);
        EXPECT_EQ(LocationsListSetup(Imperial).transform().transformedValue(c.key), c.miles);
    }
    EXPECT_FALSE(HeaderValueTransformer().usesMetric());
}

TEST(DistanceTitles, DistanceLabelsFollowTheCurrentLocale)
{
    EXPECT_EQ(DistanceLabelTransformer(true).transformedValue(-1), QStringLiteral("NA"));
    {
        LocaleScope scope(Metric);
        const DistanceLabelTransformer label(false); // its own flag is not consulted
        EXPECT_EQ(label.transformedValue(0), QStringLiteral("0 m"));
        EXPECT_EQ(label.transformedValue(42.4), QStringLiteral("42 m"));
        EXPECT_EQ(label.transformedValue(1500), QStringLiteral("1,5 km"));
        EXPECT_EQ(label.transformedValue(25'300), QStringLiteral("25 km"));
    }
    {
        LocaleScope scope(Imperial);
        const DistanceLabelTransformer label(true);
        EXPECT_EQ(label.transformedValue(10), QStringLiteral("33 ft"));
        EXPECT_EQ(label.transformedValue(1609.344), QStringLiteral("1.0 mi"));
        EXPECT_EQ(label.transformedValue(32'186.88), QStringLiteral("20 mi"));
    }
}
