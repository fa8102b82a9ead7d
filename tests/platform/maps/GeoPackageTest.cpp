#include "platform/maps/BaseMap.h"
#include "platform/maps/GeoPackage.h"

#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace platform::maps;

TEST(GeoPackage, ReadsTheWorldMapsCountriesAndTheirShapes)
{
    platform::core::QDError error;
    const auto package = GeoPackage::open(GeoPackage::defaultWorldMapPath(), &error);
    ASSERT_TRUE(package.has_value()) << error.toString().toStdString();
    EXPECT_EQ(package->featureTables(),
              (QStringList{QStringLiteral("countries"), QStringLiteral("disputed_borders"),
                           QStringLiteral("states_provinces")}));

    const QList<Feature> countries = package->features(QStringLiteral("countries"), {QStringLiteral("iso_a2"),
                                                                                     QStringLiteral("NAME")},
                                                       &error);
    EXPECT_TRUE(error.isNull()) << error.toString().toStdString();
    EXPECT_EQ(countries.size(), 240);
    const auto swiss = std::find_if(countries.begin(), countries.end(), [](const Feature &f) {
        return f.attributes.value(QStringLiteral("iso_a2")).toString() == QLatin1String("CH");
    });
    ASSERT_NE(swiss, countries.end());
    EXPECT_EQ(swiss->attributes.value(QStringLiteral("NAME")).toString(), QStringLiteral("Switzerland"));
    EXPECT_NEAR(swiss->bounds.left(), 5.95, 0.05);
    EXPECT_NEAR(swiss->bounds.right(), 10.49, 0.05);
    EXPECT_NEAR(swiss->bounds.top(), 45.82, 0.05);
    EXPECT_NEAR(swiss->bounds.bottom(), 47.81, 0.05);
    ASSERT_FALSE(swiss->rings.isEmpty());
    EXPECT_EQ(swiss->rings.first().first(), swiss->rings.first().last()); // rings are closed
    // Every point of the shape lies inside its envelope.
    for (const Coordinate &c : swiss->rings.first()) {
        EXPECT_GE(c.longitude, swiss->bounds.left() - 1e-9);
        EXPECT_LE(c.latitude, swiss->bounds.bottom() + 1e-9);
    }

    EXPECT_EQ(package->features(QStringLiteral("states_provinces")).size(), 4556);
    const QList<Feature> borders = package->features(QStringLiteral("disputed_borders"));
    ASSERT_FALSE(borders.isEmpty());
    EXPECT_FALSE(borders.first().lines.isEmpty());

    package->features(QStringLiteral("no_such_layer"), {}, &error);
    EXPECT_FALSE(error.isNull());
}

TEST(GeoPackage, DamagedGeometriesAndFilesAreRefused)
{
    // A polygon with one ring of four points, little-endian, no envelope.
    QByteArray blob("GP\0\x01", 4);
    blob += QByteArray::fromHex("E6100000"); // srs 4326
    QByteArray wkb = QByteArray::fromHex("01") + QByteArray::fromHex("03000000") + QByteArray::fromHex("01000000") +
                     QByteArray::fromHex("04000000");
    const double points[] = {0, 0, 10, 0, 10, 5, 0, 0};
    for (double v : points) {
        char bytes[8];
        qToLittleEndian(v, bytes);
        wkb += QByteArray(bytes, 8);
    }
    Feature good;
    ASSERT_TRUE(GeoPackage::decodeGeometry(blob + wkb, &good));
    ASSERT_EQ(good.rings.size(), 1);
    EXPECT_EQ(good.rings.first().size(), 4);
    EXPECT_DOUBLE_EQ(good.rings.first().at(2).latitude, 5);
    EXPECT_DOUBLE_EQ(good.bounds.right(), 10);

    const QList<QByteArray> damaged = {
        QByteArray("XX\0\x01", 4) + wkb,                          // not a GeoPackage blob
        blob + wkb.left(wkb.size() - 3),                           // cut short
        blob + wkb.left(9) + QByteArray::fromHex("FFFFFF7F"),      // a ring claiming two billion points
        blob + QByteArray::fromHex("01") + QByteArray::fromHex("63000000"), // an unknown kind
    };
    for (const QByteArray &bad : damaged) {
        Feature f;
        EXPECT_FALSE(GeoPackage::decodeGeometry(bad, &f)) << bad.toHex().toStdString();
    }

    const QString notAPackage = QDir::temp().filePath(QStringLiteral("maps-not-a-package.gpkg"));
    QFile file(notAPackage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a database");
    file.close();
    platform::core::QDError error;
    EXPECT_FALSE(GeoPackage::open(notAPackage, &error).has_value());
    EXPECT_FALSE(error.isNull());
    EXPECT_FALSE(GeoPackage::open(QStringLiteral("/no/such/file.gpkg")).has_value());
    QFile::remove(notAPackage);
    EXPECT_TRUE(BaseMap::load(QStringLiteral("/no/such/file.gpkg"))->isEmpty());
}

TEST(BaseMap, KeepsFewerPointsAtCoarseLevels)
{
    const auto map = BaseMap::shared();
    ASSERT_EQ(map->countries().size(), 240);
    const auto russia = std::find_if(map->countries().begin(), map->countries().end(),
                                     [](const BaseMap::Shape &s) { return s.name == QLatin1String("Russia"); });
    ASSERT_NE(russia, map->countries().end());
    const auto points = [](const QPainterPath &path) { return path.elementCount(); };
    EXPECT_LT(points(russia->paths.first()), points(russia->paths.last()) / 4);
    EXPECT_EQ(BaseMap::levelForScale(256), 0);
    EXPECT_EQ(BaseMap::levelForScale(1e9), BaseMap::Levels - 1);
}
