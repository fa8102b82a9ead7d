// The map: drawing the world map with 10,000 pins at three zoom levels, as frames per second, and geocoding
// 10,000 addresses with the offline gazetteer.

#include "platform/maps/BaseMap.h"
#include "platform/maps/Gazetteer.h"
#include "platform/maps/Geocoder.h"
#include "platform/maps/MapView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <cstdio>
#include <map>
#include <memory>

using namespace platform::maps;

namespace {

constexpr int PinCount = 10000;
constexpr int AddressCount = 10000;

std::unique_ptr<MapView> g_map;
std::map<int, double> g_fps; // by zoom level
double g_geocodePerSecond = 0;

struct Zoom
{
    const char *name;
    MapRegion region;
};
const Zoom Zooms[] = {
    {"world", {{20, 0}, 140, 360}},
    {"country", {{46.8, 8.2}, 4, 6}},
    {"city", {{47.37, 8.54}, 0.15, 0.15}},
};

void makeMap()
{
    g_map = std::make_unique<MapView>();
    g_map->resize(1280, 800);
    g_map->setBaseMap(BaseMap::shared());
    QRandomGenerator random(42);
    QList<MapAnnotation> pins;
    pins.reserve(PinCount);
    const QColor colors[] = {Qt::red, Qt::blue, QColor(0x2e, 0xa0, 0x43), QColor(0x8e, 0x44, 0xad)};
    for (int i = 0; i < PinCount; ++i) {
        // A third round the city, a third in the country, a third anywhere.
        Coordinate c;
        if (i % 3 == 0)
            c = {47.37 + random.bounded(0.2) - 0.1, 8.54 + random.bounded(0.2) - 0.1};
        else if (i % 3 == 1)
            c = {45.8 + random.bounded(2.0), 6.0 + random.bounded(4.5)};
        else
            c = {random.bounded(140.0) - 60.0, random.bounded(360.0) - 180.0};
        pins << MapAnnotation{QStringLiteral("p%1").arg(i), c, colors[i % 4], QStringLiteral("Pin %1").arg(i), {}};
    }
    g_map->addAnnotations(pins);
}

void BM_DrawMap(benchmark::State &state)
{
    const Zoom &zoom = Zooms[state.range(0)];
    g_map->setRegion(zoom.region);
    QImage frame(g_map->size(), QImage::Format_ARGB32_Premultiplied);
    int frames = 0;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        QPainter painter(&frame);
        g_map->render(painter, frame.rect());
        ++frames;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    g_fps[int(state.range(0))] = frames / seconds;
    state.SetLabel(zoom.name);
    state.counters["fps"] = frames / seconds;
    state.counters["visible_pins"] = double(g_map->visibleAnnotations().size());
}
BENCHMARK(BM_DrawMap)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_GeocodeOffline(benchmark::State &state)
{
    const auto gazetteer = Gazetteer::shared();
    QRandomGenerator random(7);
    QList<QVariantMap> addresses;
    addresses.reserve(AddressCount);
    for (int i = 0; i < AddressCount; ++i) {
        if (i % 10 == 9) { // some addresses the gazetteer does not know
            addresses << QVariantMap{{AddressKey::City, QStringLiteral("Nowhere %1").arg(i)}};
            continue;
        }
        const Gazetteer::City &city = gazetteer->city(int(random.bounded(gazetteer->count())));
        addresses << QVariantMap{{AddressKey::Street, QStringLiteral("%1 Main Street").arg(i)},
                                 {AddressKey::City, city.name},
                                 {AddressKey::State, city.state},
                                 {AddressKey::CountryCode, city.countryCode}};
    }
    OfflineGeocoder geocoder(gazetteer);
    double best = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        int found = 0;
        for (const QVariantMap &address : addresses)
            found += int(!geocoder.lookupAddress(address).isEmpty());
        benchmark::DoNotOptimize(found);
        best = std::max(best, AddressCount / (timer.nsecsElapsed() / 1e9));
        state.counters["found"] = found;
    }
    g_geocodePerSecond = best;
}
BENCHMARK(BM_GeocodeOffline)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    makeMap();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_map.reset();
    for (const auto &[level, fps] : g_fps)
        std::printf("map-fps-%s: %.1f\n", Zooms[level].name, fps);
    double lowest = 1e12;
    for (const auto &[level, fps] : g_fps)
        lowest = std::min(lowest, fps);
    std::printf("map-fps: %.1f\n", g_fps.empty() ? 0.0 : lowest);
    std::printf("geocode-offline-per-s: %.0f\n", g_geocodePerSecond);
    return 0;
}
