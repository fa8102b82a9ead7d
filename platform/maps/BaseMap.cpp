#include "platform/maps/BaseMap.h"

#include "platform/core/Dispatch.h"
#include "platform/maps/GeoPackage.h"
#include "platform/maps/WebMercator.h"

#include <QThreadPool>

#include <atomic>
#include <mutex>

namespace platform::maps {

namespace {

QList<BaseMap::Shape> shapesOf(const GeoPackage &package, const QString &table, const QString &nameColumn)
{
    QList<BaseMap::Shape> shapes;
    const QList<Feature> features = package.features(table, {nameColumn});
    shapes.reserve(features.size());
    for (const Feature &feature : features) {
        BaseMap::Shape shape;
        shape.name = feature.attributes.value(nameColumn).toString();
        QList<QPolygonF> rings;
        for (const QList<Coordinate> &ring : feature.rings) {
            QPolygonF projected;
            projected.reserve(ring.size());
            for (const Coordinate &c : ring)
                projected << WebMercator::project(c);
            shape.bounds = shape.bounds.isNull() ? projected.boundingRect() : shape.bounds.united(projected.boundingRect());
            rings << projected;
        }
        for (int level = 0; level < BaseMap::Levels; ++level) {
            QPainterPath path;
            path.setFillRule(Qt::OddEvenFill);
            const bool full = level == BaseMap::Levels - 1;
            // Points closer than about half a pixel of that level to the last kept one add nothing.
            const double tolerance = 0.5 / double(256 << level);
            for (const QPolygonF &ring : rings) {
                if (full) {
                    path.addPolygon(ring);
                    path.closeSubpath();
                    continue;
                }
                QPolygonF simple;
                for (const QPointF &p : ring) {
                    if (simple.isEmpty() || std::fabs(p.x() - simple.last().x()) > tolerance ||
                        std::fabs(p.y() - simple.last().y()) > tolerance)
                        simple << p;
                }
                if (simple.size() >= 3) {
                    path.addPolygon(simple);
                    path.closeSubpath();
                }
            }
            shape.paths << path;
        }
        shapes << shape;
    }
    return shapes;
}

std::mutex g_sharedMutex;
std::shared_ptr<const BaseMap> g_shared;

} // namespace

int BaseMap::levelForScale(double worldPixels)
{
    int level = 0;
    while (level < Levels - 1 && double(256 << level) * 1.5 < worldPixels)
        ++level;
    return level;
}

std::shared_ptr<const BaseMap> BaseMap::load(const QString &path)
{
    auto map = std::make_shared<BaseMap>();
    const std::optional<GeoPackage> package = GeoPackage::open(path);
    if (!package)
        return map;
    if (package->featureTables().contains(QStringLiteral("countries")))
        map->m_countries = shapesOf(*package, QStringLiteral("countries"), QStringLiteral("NAME"));
    if (package->featureTables().contains(QStringLiteral("states_provinces")))
        map->m_provinces = shapesOf(*package, QStringLiteral("states_provinces"), QStringLiteral("name"));
    return map;
}

std::shared_ptr<const BaseMap> BaseMap::shared()
{
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared)
        g_shared = load(GeoPackage::defaultWorldMapPath());
    return g_shared;
}

std::shared_ptr<const BaseMap> BaseMap::sharedIfLoaded()
{
    std::unique_lock lock(g_sharedMutex, std::try_to_lock);
    return lock.owns_lock() ? g_shared : nullptr;
}

void BaseMap::loadSharedInBackground(std::function<void()> ready)
{
    core::detail::runOnWorker([ready = std::move(ready)] {
        shared();
        core::dispatchAsyncMain(ready);
    });
}

} // namespace platform::maps
