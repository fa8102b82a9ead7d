#pragma once

#include <QList>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <memory>

namespace platform::maps {

// The countries and provinces of the world map, projected onto the unit square of WebMercator and kept at
// a few levels of detail, so a frame draws about as many points as it has pixels.
class BaseMap
{
public:
    struct Shape
    {
        QString name;
        QRectF bounds; // projected
        // paths[level]: detail fit for a world `256 << level` pixels wide; the last one is the full shape.
        QList<QPainterPath> paths;
    };

    static constexpr int Levels = 8;

    // Reads a GeoPackage with "countries" and "states_provinces" layers; an empty map when it cannot.
    static std::shared_ptr<const BaseMap> load(const QString &path);
    // The system's world map, read once per process on first use (thread-safe; slow the first time).
    static std::shared_ptr<const BaseMap> shared();
    // Reads the shared map on a worker and calls `ready` on the main thread once it is there.
    static void loadSharedInBackground(std::function<void()> ready);
    // The shared map when it is read already, else null.
    static std::shared_ptr<const BaseMap> sharedIfLoaded();

    const QList<Shape> &countries() const { return m_countries; }
    const QList<Shape> &provinces() const { return m_provinces; }
    bool isEmpty() const { return m_countries.isEmpty(); }

    // The level of detail for a world of that many pixels across.
    static int levelForScale(double worldPixels);

private:
    QList<Shape> m_countries;
    QList<Shape> m_provinces;
};

} // namespace platform::maps
