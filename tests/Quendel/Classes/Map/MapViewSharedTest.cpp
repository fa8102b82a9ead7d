#include "Classes/GeocoderRequestQueue.h"
#include "Classes/Map/MapViewShared.h"
#include "Mac/Shell/NSColor_Expanded.h"

#include "QuendelKit/Entities/EntityStoreFixture.h"

#include <QRegularExpression>

namespace {

class RecordingQueue : public GeocoderRequestQueue
{
public:
    void addManagedObject(platform::store::ManagedObject *record) override { queued << record; }
    QList<platform::store::ManagedObject *> queued;
};

class MapViewSharedTest : public quendel::test::EntityStoreTest
{
protected:
    PersonAddress *addressAt(double lat, double lon, qint64 status, const QString &first = QStringLiteral("Ann"))
    {
        auto *person = insert<Person>();
        person->setFirstName(first);
        auto *a = insert<PersonAddress>();
        a->setPerson(person);
        a->setLatitude(lat);
        a->setLongitude(lon);
        a->setGeocodeStatus(status);
        return a;
    }
};

} // namespace

TEST_F(MapViewSharedTest, PinsAtOneSpotAreDrawnAroundItWhileTheStoredPositionsStay)
{
    QList<platform::store::ManagedObject *> three;
    for (int i = 0; i < 3; ++i)
        three << addressAt(10.0, 20.0, 1);
    auto *nearZero1 = addressAt(0.3, 0.4, 1);
    auto *nearZero2 = addressAt(0.3, 0.4, 1);
    auto *alone = addressAt(48.1, 11.5, 1);
    const auto spread = MapViewShared::spreadPositions(three + QList<platform::store::ManagedObject *>{nearZero1, nearZero2, alone});
    ASSERT_EQ(spread.size(), 3);
    const double bearings[] = {0, 2 * M_PI / 3, 4 * M_PI / 3};
    for (int i = 0; i < 3; ++i) {
        const GeoCoordinate shown = spread.value(three.at(i));
        EXPECT_NEAR(geodesicDistance({10.0, 20.0}, shown), 18.0, 0.1) << i;
        // North first, then clockwise a third of a turn each.
        const double dLat = shown.latitude - 10.0;
        const double dLon = (shown.longitude - 20.0) * std::cos(10.0 * M_PI / 180);
        double bearing = std::atan2(dLon, dLat);
        if (bearing < -1e-9)
            bearing += 2 * M_PI;
        EXPECT_NEAR(bearing, bearings[i], 1e-3) << i;
        // Only the drawing moves: what is stored and synced stays put.
        EXPECT_DOUBLE_EQ(static_cast<PersonAddress *>(three.at(i))->latitude(), 10.0);
    }
    EXPECT_FALSE(spread.contains(nearZero1));
    EXPECT_FALSE(spread.contains(alone));
    const GeoCoordinate east = MapViewShared::calculateCoordinateFrom({0, 0}, M_PI / 2, 6378100 * M_PI / 180);
    EXPECT_NEAR(east.longitude, 1.0, 1e-9);
    EXPECT_NEAR(east.latitude, 0.0, 1e-9);
}

TEST_F(MapViewSharedTest, LoadRulesFollowTheGeocodingStatus)
{
    auto *stored = addressAt(48.1, 11.5, 0);
    auto *waiting = addressAt(0, 0, 0);
    auto *discarded = addressAt(PersonAddress::DiscardedCoordinate, PersonAddress::DiscardedCoordinate, 0);
    auto *notFound = addressAt(0, 0, 2);
    auto *geocoded = addressAt(47.0, 8.0, 1);
    auto *place = insert<Location>();
    place->setLocationName(QStringLiteral("Office"));
    MapViewShared shared(context);
    RecordingQueue queue;
    const auto pins = shared.loadAllAnnotations({stored, waiting, discarded, notFound, geocoded, place}, &queue);
    QStringList keys;
    for (const auto &pin : pins)
        keys << pin.key;
    EXPECT_EQ(keys, (QStringList{MapViewShared::annotationKey(stored), MapViewShared::annotationKey(geocoded),
                                 MapViewShared::annotationKey(place)}));
    EXPECT_EQ(stored->geocodeStatus(), 1);
    EXPECT_EQ(queue.queued, (QList<platform::store::ManagedObject *>{waiting, discarded}));
    EXPECT_EQ(notFound->geocodeStatus(), 2);
}

TEST_F(MapViewSharedTest, PinColours)
{
    MapViewShared shared(context);
    auto *place = insert<Location>();
    EXPECT_EQ(MapViewShared::pinColorForLocation(place), MapViewShared::purplePinColor());
    insert<ToDo>()->setTodoLocation(place);
    EXPECT_EQ(MapViewShared::pinColorForLocation(place), MapViewShared::redPinColor());

    // No "Pin Color" field at all: green; the field's default item gives the default colour.
    auto *address = addressAt(47, 8, 1);
    EXPECT_EQ(shared.getColorForAddressAnnotation(address), MapViewShared::greenPinColor());
    FormFields *field = FormFields::createPinColorFieldIfNoneExistsWithContext(context.get(), false);
    ASSERT_NE(field, nullptr);
    const QList<FormFieldsList *> items = FormFields::fetchFormFieldListForPinColorWithMOC(context.get());
    ASSERT_GE(items.size(), 2);
    field->setListdefault(items.at(1));
    MapViewShared withDefault(context);
    EXPECT_EQ(withDefault.getColorForAddressAnnotation(address),
              NSColor_Expanded::colorWithHexString(items.at(1)->fieldListAlternateValue()));
    // The contact's own colour wins.
    address->person()->updateWithPinColorListItem(items.at(0));
    EXPECT_EQ(withDefault.getColorForAddressAnnotation(address),
              NSColor_Expanded::colorWithHexString(items.at(0)->fieldListAlternateValue()));
}

TEST_F(MapViewSharedTest, SearchAndGroupFilters)
{
    auto *zoe = addressAt(47, 8, 1, QStringLiteral("Zoë"));
    zoe->setCity(QStringLiteral("Genève"));
    auto *bob = addressAt(46, 7, 1, QStringLiteral("Bob"));
    bob->person()->setCompanyName(QStringLiteral("Acme"));
    struct Case
    {
        const char *text;
        bool zoe, bob;
    };
    const Case cases[] = {{"zoe", true, false}, {"GENEVE", true, false}, {"acme", false, true}, {"", true, true}, {"x", false, false}};
    for (const Case &c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(MapViewShared::personAddressMatchesSearch(zoe, text), c.zoe) << c.text;
        EXPECT_EQ(MapViewShared::personAddressMatchesSearch(bob, text), c.bob) << c.text;
    }
    auto *place = insert<Location>();
    place->setLocationName(QStringLiteral("Café Nord"));
    place->setLocationAddress(QStringLiteral("Rue de Genève 1"));
    place->setLatitude(46.2);
    place->setLongitude(6.1);
    EXPECT_TRUE(MapViewShared::locationMatchesSearch(place, QStringLiteral("Café")));
    EXPECT_FALSE(MapViewShared::locationMatchesSearch(place, QStringLiteral("cafe"))); // names as typed
    EXPECT_TRUE(MapViewShared::locationMatchesSearch(place, QStringLiteral("geneve")));

    const QSet<const Person *> group = {zoe->person()};
    EXPECT_TRUE(MapViewShared::personAddressInGroup(zoe, group));
    EXPECT_FALSE(MapViewShared::personAddressInGroup(bob, group));
    EXPECT_FALSE(MapViewShared::locationInGroup(place, group));
    auto *todo = insert<ToDo>();
    todo->setPerson(zoe->person());
    todo->setTodoLocation(place);
    EXPECT_TRUE(MapViewShared::locationInGroup(place, group));
}

TEST_F(MapViewSharedTest, ThePrintoutListsByDistanceWithTheUsersTextEscaped)
{
    auto *far = addressAt(46.948, 7.447, 1, QStringLiteral("Far"));
    far->setCity(QStringLiteral("Bern"));
    auto *near = addressAt(47.38, 8.54, 1, QStringLiteral("<b>Near</b>"));
    near->setCity(QStringLiteral("Zurich"));
    MapViewShared shared(context);
    shared.setCurrent({47.3769, 8.5417});
    const auto entries = shared.printEntries({far, near});
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.first().name, QStringLiteral("<b>Near</b>"));
    const QLocale swiss(QLocale::German, QLocale::Switzerland);
    const QString text = shared.printableText(entries, QDateTime(QDate(2026, 5, 1), QTime(9, 30), Qt::UTC), swiss);
    EXPECT_FALSE(text.contains(QStringLiteral("Current Location")));
    EXPECT_TRUE(text.contains(QStringLiteral("<b>Map Locations</b><br><br>1. &lt;b&gt;Near&lt;/b&gt; - Zurich - ")));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("2\\. Far - Bern - 9\\d km <br><br>$"))))
        << text.toStdString();
    shared.setCurrentLocationString(QStringLiteral("Bahnhofplatz, Zurich"));
    EXPECT_TRUE(shared.printableText(entries, QDateTime::currentDateTimeUtc(), swiss)
                    .startsWith(QStringLiteral("Current Location: Bahnhofplatz, Zurich <br>Current Time: ")));
}
