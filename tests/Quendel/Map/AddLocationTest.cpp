#include "Mac/Map/AddLocationViewControllerMac.h"

#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "platform/maps/MapView.h"
#include "platform/maps/UserLocation.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

struct EditorReports : AddLocationItemDelegate
{
    QList<Location *> added;
    QList<Location *> updated;
    int backs = 0;
    void addedNewLocationItem(Location *location) override { added << location; }
    void backButtonSelected() override { ++backs; }
    void updatedExistingLocationItem(Location *location) override { updated << location; }
};

class AddLocationTest : public quendel::test::EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        platform::core::Clock::setCurrent(nullptr);
        platform::maps::UserLocationProvider::setFactory([this](QObject *parent) {
            auto provider = std::make_unique<platform::maps::FixedLocationProvider>(parent);
            location = provider.get();
            return provider;
        });
    }
    void TearDown() override
    {
        platform::maps::UserLocationProvider::setFactory(nullptr);
        EntityStoreTest::TearDown();
    }

    std::unique_ptr<AddLocationViewControllerMac> editor(Location *place = nullptr)
    {
        auto made = std::make_unique<AddLocationViewControllerMac>(AddLocationViewControllerMac::NibName, context);
        made->setLocationObject(place);
        made->setDelegate(&reports);
        made->awakeFromNib();
        return made;
    }

    platform::maps::FixedLocationProvider *location = nullptr;
    EditorReports reports;
};

} // namespace

TEST_F(AddLocationTest, NewPlacesComeLastAndKeepOnlyARealCoordinate)
{
    struct Row
    {
        const char *name;
        std::optional<platform::maps::Coordinate> pin;
        qint64 order;
        bool hasCoordinate;
    };
    // Each row adds one more place to the store.
    const Row rows[] = {
        {"First", platform::maps::Coordinate{47.37, 8.54}, 0, true},
        {"No pin", std::nullopt, 1, false},
        {"On the equator", platform::maps::Coordinate{0, 8.54}, 2, false},
        {"On the meridian", platform::maps::Coordinate{47.37, 0}, 3, false},
    };
    for (const Row &row : rows) {
        auto pane = editor();
        pane->locationNameTextField()->setText(QString::fromLatin1(row.name));
        if (row.pin)
            pane->pinDragEnded(*row.pin);
        pane->doneButtonClicked();
        ASSERT_FALSE(reports.added.isEmpty()) << row.name;
        Location *place = reports.added.last();
        EXPECT_EQ(place->locationName(), QString::fromLatin1(row.name));
        EXPECT_EQ(place->displayOrder(), row.order) << row.name;
        EXPECT_EQ(!place->value(QStringLiteral("latitude")).isNull(), row.hasCoordinate) << row.name;
        EXPECT_FALSE(context->hasChanges()) << row.name;
    }
    EXPECT_EQ(reports.added.size(), 4);
    EXPECT_TRUE(reports.updated.isEmpty());
}

TEST_F(AddLocationTest, AnEditedPlaceShowsItsPinAndReportsAnUpdate)
{
    auto *place = insert<Location>();
    place->setLocationName(QStringLiteral("Office"));
    place->setLocationAddress(QStringLiteral("Main Street 1\nZurich"));
    place->setLatitude(47.37);
    place->setLongitude(8.54);
    place->setDisplayOrder(0);
    ASSERT_TRUE(context->save());

    auto pane = editor(place);
    EXPECT_EQ(pane->locationNameTextField()->text(), QStringLiteral("Office"));
    EXPECT_EQ(pane->addressTextField()->text(), QStringLiteral("Main Street 1 Zurich"));
    EXPECT_TRUE(pane->doneButton()->isEnabled());
    ASSERT_TRUE(pane->pinAnnotation().has_value());
    EXPECT_EQ(pane->locationMapView()->annotations().size(), 1);
    EXPECT_FALSE(pane->locationMapView()->showsUserLocation());

    // Emptying the name keeps Done, which stores the empty name.
    pane->locationNameTextField()->clear();
    pane->doneButtonClicked();
    ASSERT_EQ(reports.updated, QList<Location *>{place});
    EXPECT_TRUE(place->locationName().isEmpty());
    EXPECT_DOUBLE_EQ(place->latitude(), 47.37);
    EXPECT_TRUE(reports.added.isEmpty());
}

TEST_F(AddLocationTest, SmallMovesOfTheUserAreIgnoredAndBackSavesNothing)
{
    auto pane = editor();
    pane->mapViewDidUpdateUserLocation({47.3769, 8.5417});
    ASSERT_TRUE(pane->current().has_value());
    const auto first = *pane->current();
    pane->mapViewDidUpdateUserLocation({47.3770, 8.5418}); // a few metres
    EXPECT_EQ(*pane->current(), first);
    pane->mapViewDidUpdateUserLocation({47.40, 8.60}); // a few kilometres
    EXPECT_NE(*pane->current(), first);
    ASSERT_TRUE(pane->pinAnnotation().has_value());
    EXPECT_DOUBLE_EQ(pane->pinAnnotation()->coordinate.latitude, 47.40);

    pane->backButtonPressed();
    EXPECT_EQ(reports.backs, 1);
    EXPECT_FALSE(context->hasChanges());
    EXPECT_TRUE(reports.added.isEmpty());

    platform::maps::Placemark placemark;
    placemark.thoroughfare = QStringLiteral("Bahnhofstrasse");
    placemark.subThoroughfare = QStringLiteral("1");
    placemark.locality = QStringLiteral("Zurich");
    placemark.countryCode = QStringLiteral("CH");
    EXPECT_EQ(AddLocationViewControllerMac::addressStringFromPlacemark(placemark),
              QStringLiteral("1, Bahnhofstrasse, Zurich, CH"));
    placemark.country = QStringLiteral("Switzerland");
    pane->saveMKPlacemarkInfo(placemark);
    EXPECT_EQ(pane->addressTextField()->text(), QStringLiteral("1, Bahnhofstrasse, Zurich, Switzerland"));
    EXPECT_EQ(pane->savedAddress(), pane->addressTextField()->text());
}
