#include "platform/maps/MapView.h"
#include "platform/maps/UserLocation.h"
#include "platform/maps/WebMercator.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace platform::maps;

TEST(WebMercator, ProjectsAndComesBack)
{
    const Coordinate cases[] = {{0, 0}, {47.37, 8.54}, {-33.87, 151.21}, {84.9, -179.9}};
    for (const Coordinate &c : cases) {
        const Coordinate back = WebMercator::unproject(WebMercator::project(c));
        EXPECT_NEAR(back.latitude, c.latitude, 1e-9);
        EXPECT_NEAR(back.longitude, c.longitude, 1e-9);
    }
    EXPECT_DOUBLE_EQ(WebMercator::project({0, 0}).x(), 0.5);
    EXPECT_NEAR(WebMercator::project({0, 0}).y(), 0.5, 1e-12);
    EXPECT_LT(WebMercator::project({60, 0}).y(), WebMercator::project({10, 0}).y()); // north is up
}

class MapViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        map.resize(800, 600);
        map.setBaseMap(std::make_shared<BaseMap>());
        map.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&map));
    }
    MapView map;
};

TEST_F(MapViewTest, RegionsRoundTripAndDecideWhatIsVisible)
{
    map.setRegion({{47.37, 8.54}, 0.15, 0.15});
    const MapRegion r = map.region();
    EXPECT_NEAR(r.center.latitude, 47.37, 1e-6);
    EXPECT_NEAR(r.center.longitude, 8.54, 1e-6);
    // The view shows at least the span asked for, fitted to its shape.
    EXPECT_GE(r.latitudeDelta, 0.15 - 1e-6);
    EXPECT_GE(r.longitudeDelta, 0.15 - 1e-6);
    EXPECT_TRUE(map.visibleContains({47.37, 8.54}));
    EXPECT_FALSE(map.visibleContains({48.14, 11.58}));
    const QPointF centre = map.pointForCoordinate({47.37, 8.54});
    EXPECT_NEAR(centre.x(), 400, 0.5);
    EXPECT_NEAR(centre.y(), 300, 0.5);
    const Coordinate back = map.coordinateForPoint(QPointF(100, 50));
    EXPECT_NEAR(map.pointForCoordinate(back).x(), 100, 1e-6);

    const double before = map.worldPixels();
    for (QToolButton *button : map.findChildren<QToolButton *>()) {
        if (button->accessibleName() == QLatin1String("Zoom Out"))
            QTest::mouseClick(button, Qt::LeftButton);
    }
    EXPECT_LT(map.worldPixels(), before);
    // Dragging moves the map with the mouse.
    const Coordinate centreBefore = map.region().center;
    QTest::mousePress(&map, Qt::LeftButton, {}, QPoint(400, 300));
    QMouseEvent move(QEvent::MouseMove, QPointF(300, 300), map.mapToGlobal(QPointF(300, 300)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&map, &move);
    QTest::mouseRelease(&map, Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_GT(map.region().center.longitude, centreBefore.longitude);
}

TEST_F(MapViewTest, PinsAreSelectedByClickAndTheirCalloutOffersOptions)
{
    map.setRegion({{47.0, 8.0}, 4, 4});
    map.addAnnotations({{QStringLiteral("a"), {47.37, 8.54}, Qt::red, QStringLiteral("Ann"), QStringLiteral("Zurich")},
                        {QStringLiteral("b"), {46.2, 6.15}, Qt::blue, QStringLiteral("Bob"), QStringLiteral("Geneva")},
                        {QStringLiteral("far"), {-33.9, 151.2}, Qt::green, QStringLiteral("Far"), {}}});
    EXPECT_EQ(map.annotations().size(), 3);
    EXPECT_EQ(map.visibleAnnotations().size(), 2);
    // The same key replaces its pin.
    map.addAnnotation({QStringLiteral("b"), {46.21, 6.15}, Qt::blue, QStringLiteral("Bob"), QStringLiteral("Geneva")});
    EXPECT_EQ(map.annotations().size(), 3);

    QSignalSpy selected(&map, &MapView::annotationSelected);
    QSignalSpy info(&map, &MapView::calloutInfoClicked);
    const QPointF pin = map.pointForCoordinate({47.37, 8.54});
    QTest::mouseClick(&map, Qt::LeftButton, {}, (pin - QPointF(0, 10)).toPoint());
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(map.selectedAnnotation(), QStringLiteral("a"));
    ASSERT_TRUE(map.calloutInfoButton()->isVisible());
    EXPECT_EQ(map.calloutInfoButton()->accessibleName(), QStringLiteral("Pin Options"));
    QTest::mouseClick(map.calloutInfoButton(), Qt::LeftButton);
    ASSERT_EQ(info.size(), 1);
    EXPECT_EQ(info.first().first().toString(), QStringLiteral("a"));

    // A click on open land deselects; removing the selected pin clears the selection.
    QTest::mouseClick(&map, Qt::LeftButton, {}, QPoint(20, 580));
    EXPECT_TRUE(map.selectedAnnotation().isEmpty());
    EXPECT_FALSE(map.calloutInfoButton()->isVisible());
    map.selectAnnotation(QStringLiteral("b"));
    EXPECT_TRUE(map.removeAnnotation(QStringLiteral("b")));
    EXPECT_FALSE(map.removeAnnotation(QStringLiteral("b")));
    EXPECT_TRUE(map.selectedAnnotation().isEmpty());
    EXPECT_TRUE(map.hasAnnotation(QStringLiteral("far")));

    const QImage shot = map.snapshot();
    EXPECT_EQ(shot.size(), map.size());
    // The red pin shows in the picture where the map draws it.
    bool red = false;
    for (int dy = 4; dy < 20 && !red; ++dy) {
        const QColor c = shot.pixelColor(pin.toPoint() - QPoint(0, dy));
        red = c.red() > 200 && c.green() < 80;
    }
    EXPECT_TRUE(red);
}

TEST(UserLocation, AFixedProviderReportsItsLocationOrAFailure)
{
    FixedLocationProvider provider;
    QSignalSpy located(&provider, &UserLocationProvider::locationUpdated);
    QSignalSpy failed(&provider, &UserLocationProvider::failed);
    provider.startUpdatingLocation();
    ASSERT_TRUE(failed.wait(1000));
    EXPECT_TRUE(located.isEmpty());
    provider.setLocation({47.0, 8.0});
    provider.startUpdatingLocation();
    ASSERT_TRUE(located.wait(1000));
    EXPECT_DOUBLE_EQ(located.first().at(0).toDouble(), 47.0);
}

TEST(UserLocation, WithoutADesktopLocationServiceStartingFails)
{
    GeoClueLocationProvider provider;
    if (provider.authorizationStatus() == UserLocationProvider::Authorized)
        GTEST_SKIP() << "this session has a location service";
    QSignalSpy failed(&provider, &UserLocationProvider::failed);
    provider.startUpdatingLocation();
    EXPECT_TRUE(failed.wait(5000));
}
