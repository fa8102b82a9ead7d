#pragma once

#include "platform/core/QDError.h"
#include "platform/maps/Placemark.h"

#include <QHash>
#include <QList>
#include <QRectF>
#include <QString>
#include <QVariantMap>

#include <optional>

namespace platform::maps {

// One feature of a GeoPackage layer: its attributes and its geometry as rings (polygons) or lines, each a
// list of longitude/latitude points.
struct Feature
{
    qint64 id = 0;
    QVariantMap attributes;
    // Polygons: every ring of every polygon (outer and holes alike; even-odd filling draws the holes).
    QList<QList<Coordinate>> rings;
    QList<QList<Coordinate>> lines;
    // Longitudes as x, latitudes as y.
    QRectF bounds;
};

// Reads the vector layers of a GeoPackage file (an SQLite database) read-only: the layer list and every
// feature with its geometry decoded from the GeoPackage binary form (header, optional envelope, then
// well-known binary). A file that is not a GeoPackage, or a geometry that cannot be decoded, is reported,
// never guessed at.
class GeoPackage
{
public:
    // The base map of the system's GIS data package.
    static QString defaultWorldMapPath();

    static std::optional<GeoPackage> open(const QString &path, core::QDError *error = nullptr);

    QString path() const { return m_path; }
    // The feature layers, from the package's table of contents.
    QStringList featureTables() const { return m_tables; }
    // Every feature of a layer; `attributeColumns` empty reads none.
    QList<Feature> features(const QString &table, const QStringList &attributeColumns = {},
                            core::QDError *error = nullptr) const;

    // Decodes one geometry blob; false when it is damaged or of a kind this reader does not know.
    static bool decodeGeometry(const QByteArray &blob, Feature *out);

private:
    QString m_path;
    QStringList m_tables;
    QHash<QString, QString> m_geometryColumn;
};

} // namespace platform::maps
