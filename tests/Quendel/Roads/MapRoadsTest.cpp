#include "RoadsFixture.h"

#include "QuendelKit/Entities/LocationsListSetup.h"

#include "platform/maps/MapView.h"
#include "platform/maps/UserLocation.h"

#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using namespace roads;

namespace {

// The user stands in the middle of Zurich.
class MapRoadsTest : public ZurichRoadTest
{
protected:

    // The toolbar's Add, the names and the new address's city, and the sheet's Add button.
    void addContactWithAddress(const QString &first, const QString &last, const QString &city)
    {
        addContactThroughTheSheet(first, last, {{QStringLiteral("Addresses new city"), city, false}});
    }

    // The sidebar's "Map" row; the section shows once the window has switched to it.
    void openMapSection()
    {
        const auto shown = [] { return !widgetsNamed(QStringLiteral("Map List")).isEmpty(); };
        // A click that lands while the window is still settling after the start is clicked again.
        for (int attempt = 0; attempt < 3 && !shown(); ++attempt) {
            clickRow(widgetNamed<QAbstractItemView>(QStringLiteral("Sections")), QStringLiteral("Map"));
            (void)QTest::qWaitFor(shown, 2000);
        }
        ASSERT_TRUE(shown());
    }

    QAbstractItemView *mapList() { return widgetNamed<QAbstractItemView>(QStringLiteral("Map List")); }
    platform::maps::MapView *map() { return widgetNamed<platform::maps::MapView>(QStringLiteral("Map")); }

    // The list's rows as shown: group titles and names, top to bottom.
    QStringList rows() { return rowTexts(mapList()); }

    QStringList pinTitles()
    {
        QStringList titles;
        if (platform::maps::MapView *view = map()) {
            for (const platform::maps::MapAnnotation &pin : view->annotations())
                titles << pin.title;
        }
        titles.sort();
        return titles;
    }
};

QString groupTitle(const QString &key)
{
    return LocationsListSetup().transform().transformedValue(key);
}

} // namespace

TEST_F(MapRoadsTest, AddressesAreGeocodedOfflineAndListedByDistanceWithSearchNarrowingTheList)
{
    start();
    addContactWithAddress(QStringLiteral("Ann"), QStringLiteral("Alpha"), QStringLiteral("Zurich"));
    addContactWithAddress(QStringLiteral("Bob"), QStringLiteral("Beta"), QStringLiteral("Bern"));

    openMapSection();
    ASSERT_NE(mapList(), nullptr);
    ASSERT_NE(map(), nullptr);

    // Both addresses are geocoded in the background, without a network: both pins show, and each row
    // sits under its distance from the user.
    const bool geocoded = QTest::qWaitFor([&] { return pinTitles().size() == 2; }, 20000);
    ASSERT_TRUE(geocoded) << rows().join(QLatin1String(" | ")).toStdString();
    EXPECT_EQ(pinTitles(), (QStringList{QStringLiteral("Ann Alpha"), QStringLiteral("Bob Beta")}));
    const QStringList expected = {groupTitle(QStringLiteral("10")), QStringLiteral("Ann Alpha"),
                                  groupTitle(QStringLiteral("51")), QStringLiteral("Bob Beta")};
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows() == expected; }, 5000)) << rows().join(QLatin1String(" | ")).toStdString();
    // The user's pin-point and the distance beside each row.
    EXPECT_TRUE(map()->hasUserLocation());
    const QModelIndex bern = rowWithText(mapList(), QStringLiteral("Bob Beta"));
    EXPECT_FALSE(bern.data(Qt::UserRole + 3).toString().isEmpty());

    // A double click on a row shows its pin, selected, on the map.
    clickRow(mapList(), QStringLiteral("Bob Beta"), true);
    EXPECT_FALSE(map()->selectedAnnotation().isEmpty());
    EXPECT_TRUE(map()->visibleContains({46.948, 7.447}));

    // The search narrows the list, not the map.
    auto *search = widgetNamed<QLineEdit>(QStringLiteral("Search"));
    typeInto(search, QStringLiteral("bern"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rowWithText(mapList(), QStringLiteral("Ann Alpha")).isValid(); }, 5000));
    EXPECT_TRUE(rowWithText(mapList(), QStringLiteral("Bob Beta")).isValid());
    EXPECT_EQ(pinTitles().size(), 2);
    QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(search, Qt::Key_Backspace);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows() == expected; }, 5000)) << rows().join(QLatin1String(" | ")).toStdString();

    if (qEnvironmentVariableIsSet("QUENDEL_MAP_SHOT"))
        window()->grab().save(qEnvironmentVariable("QUENDEL_MAP_SHOT"));

    // Everything stays geocoded across a quit and a start.
    quitThroughTheMenu();
    start();
    openMapSection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pinTitles().size() == 2; }, 5000));
}

TEST_F(MapRoadsTest, WithoutALocationServiceTheBarSaysSo)
{
    platform::maps::UserLocationProvider::setFactory([](QObject *parent) {
        auto provider = std::make_unique<platform::maps::FixedLocationProvider>(parent);
        provider->setAuthorization(platform::maps::UserLocationProvider::NotDetermined);
        return provider;
    });
    start();
    openMapSection();
    auto *status = widgetNamed<QLabel>(QStringLiteral("Map Status"));
    ASSERT_NE(status, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text() == QLatin1String("Unable to determine Current Location"); }, 5000))
        << status->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return status->height() > 0; }, 2000));
}

TEST_F(MapRoadsTest, AGroupChosenInTheGroupMenuNarrowsListAndMap)
{
    start();
    addContactWithAddress(QStringLiteral("Ann"), QStringLiteral("Alpha"), QStringLiteral("Zurich"));
    addContactWithAddress(QStringLiteral("Bob"), QStringLiteral("Beta"), QStringLiteral("Bern"));
    openMapSection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pinTitles().size() == 2; }, 20000)) << rows().join('|').toStdString();

    // A new private group with Bob, made from the toolbar's group menu while the map is on show.
    platform::ui::AlertPresenter::shared().setNextAnswer(platform::ui::AlertAnswer::withText(0, QStringLiteral("Bern Office")));
    click(widgetNamed<QPushButton>(QStringLiteral("Group")));
    choosePoppedUpItem(QStringLiteral("New Private Group"));
    platform::ui::Sheet *picker = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (picker = sheetOver(window())) != nullptr; }, 5000));
    clickRow(widgetNamed<QAbstractItemView>(QStringLiteral("Group Members"), picker), QStringLiteral("Bob Beta"));
    click(widgetNamed<QPushButton>(QStringLiteral("Done"), picker));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheetOver(window()); }, 5000));

    // The new group is chosen: list and map show Bob only.
    ASSERT_TRUE(QTest::qWaitFor([&] { return pinTitles() == QStringList{QStringLiteral("Bob Beta")}; }, 5000))
        << pinTitles().join('|').toStdString();
    EXPECT_TRUE(rowWithText(mapList(), QStringLiteral("Bob Beta")).isValid());
    EXPECT_FALSE(rowWithText(mapList(), QStringLiteral("Ann Alpha")).isValid());

    // "All Contacts" brings Ann back to both.
    click(widgetNamed<QPushButton>(QStringLiteral("Group")));
    choosePoppedUpItem(QStringLiteral("All Contacts"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pinTitles().size() == 2; }, 5000));
    EXPECT_TRUE(rowWithText(mapList(), QStringLiteral("Ann Alpha")).isValid());
}
