// The object store against raw SQLite prepared statements on the same tables, rows and transactions.
// Times are process CPU time, the best of five runs, and include closing the file (its final checkpoint).
//
// Figures (printed last):
//   store-insert-ratio  100,000 contacts with three detail records each, saved in batches of 500
//   store-fetch-ratio   100,000 contacts fetched with all values, sorted by the normalised-name column
//   store-scale-ratio   the insert of 100,000 contacts against that of 10,000 (linear would be 10)
//   store-peak-mb       peak resident memory while saving 1,000,000 records (250,000 contacts with three details
//                       each) in batches with a reset after each

#include "platform/store/Collations.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SortDescriptor.h"
#include "platform/store/StoreCoordinator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace platform::store;

namespace {

// Process CPU time: the machine may be shared, and waiting for a processor is no cost of the store.
struct CpuTimer
{
    double start = now();
    static double now()
    {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    }
    double seconds() const { return now() - start; }
};

constexpr int kRepeats = 5; // each figure takes the best of five runs

constexpr int kContacts = 100000;
constexpr int kSmall = 10000;
constexpr int kBatch = 500;
constexpr int kMillionContacts = 250000; // with three details each: 1,000,000 records
constexpr int kMillionBatch = 1000;

std::shared_ptr<ManagedObjectModel> benchModel()
{
    auto model = std::make_shared<ManagedObjectModel>(QStringLiteral("Bench"), 1);
    EntityDescription contact(QStringLiteral("Contact"));
    contact.addAttribute({.name = QStringLiteral("firstName"), .type = AttributeType::String});
    contact.addAttribute({.name = QStringLiteral("lastName"), .type = AttributeType::String});
    contact.addAttribute({.name = QStringLiteral("normalizedName"), .type = AttributeType::String});
    contact.addAttribute({.name = QStringLiteral("createdAt"), .type = AttributeType::Date});
    contact.addAttribute({.name = QStringLiteral("rank"), .type = AttributeType::Integer64});
    contact.addRelationship({.name = QStringLiteral("details"), .destinationEntityName = QStringLiteral("Detail"),
                             .inverseName = QStringLiteral("contact"), .toMany = true,
                             .deleteRule = DeleteRule::Cascade});
    model->addEntity(std::move(contact));
    EntityDescription detail(QStringLiteral("Detail"));
    detail.addAttribute({.name = QStringLiteral("label"), .type = AttributeType::String});
    detail.addAttribute({.name = QStringLiteral("value"), .type = AttributeType::String});
    detail.addAttribute({.name = QStringLiteral("kind"), .type = AttributeType::Integer64});
    detail.addRelationship({.name = QStringLiteral("contact"), .destinationEntityName = QStringLiteral("Contact"),
                            .inverseName = QStringLiteral("details")});
    model->addEntity(std::move(detail));
    return model;
}

struct Row
{
    QString first, last, normalized, label[3], value[3];
    QDateTime created;
};

std::vector<Row> makeRows(int count)
{
    std::vector<Row> rows(static_cast<size_t>(count));
    const char *labels[3] = {"mobile", "work", "home"};
    for (int i = 0; i < count; ++i) {
        Row &r = rows[size_t(i)];
        // A scrambled order, so the sort does real work.
        const quint32 key = quint32(i) * 2654435761u;
        r.first = QStringLiteral("First%1").arg(key % 9973);
        r.last = QStringLiteral("Last%1").arg(key);
        r.normalized = (r.first + QLatin1Char(' ') + r.last).toLower();
        r.created = QDateTime::fromMSecsSinceEpoch(1600000000000LL + i * 1000LL, Qt::UTC);
        for (int d = 0; d < 3; ++d) {
            r.label[d] = QString::fromLatin1(labels[d]);
            r.value[d] = QStringLiteral("+1 555 %1%2").arg(i).arg(d);
        }
    }
    return rows;
}

struct StoreHandle
{
    std::shared_ptr<StoreCoordinator> coordinator;
    ContextPtr context;
};

StoreHandle openStore(const QString &path)
{
    StoreHandle h;
    h.coordinator = std::make_shared<StoreCoordinator>(benchModel());
    platform::core::QDError error;
    if (!h.coordinator->addPersistentStore(StoreType::SQLite, path, {}, &error)) {
        std::fprintf(stderr, "cannot open store: %s\n", qPrintable(error.toString()));
        std::exit(1);
    }
    h.context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    h.context->setPersistentStoreCoordinator(h.coordinator);
    return h;
}

double storeInsert(const QString &path, const std::vector<Row> &rows, int count, bool withDetails = true,
                   int batch = kBatch)
{
    StoreHandle h = openStore(path);
    const QString kContact = QStringLiteral("Contact"), kDetail = QStringLiteral("Detail");
    const QString kFirst = QStringLiteral("firstName"), kLast = QStringLiteral("lastName"),
                  kNormalized = QStringLiteral("normalizedName"), kCreated = QStringLiteral("createdAt"),
                  kRank = QStringLiteral("rank"), kLabel = QStringLiteral("label"), kValue = QStringLiteral("value"),
                  kKind = QStringLiteral("kind"), kContactKey = QStringLiteral("contact");
    CpuTimer timer;
    for (int start = 0; start < count; start += batch) {
        const int end = std::min(count, start + batch);
        for (int i = start; i < end; ++i) {
            const Row &r = rows[size_t(i % int(rows.size()))];
            ManagedObject *c = h.context->insertNewObject(kContact);
            c->setValue(kFirst, r.first);
            c->setValue(kLast, r.last);
            c->setValue(kNormalized, r.normalized);
            c->setValue(kCreated, r.created);
            c->setValue(kRank, qint64(i));
            if (!withDetails)
                continue;
            for (int d = 0; d < 3; ++d) {
                ManagedObject *detail = h.context->insertNewObject(kDetail);
                detail->setValue(kLabel, r.label[d]);
                detail->setValue(kValue, r.value[d]);
                detail->setValue(kKind, qint64(d));
                detail->setRelatedObject(kContactKey, c);
            }
        }
        platform::core::QDError error;
        if (!h.context->save(&error)) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(error.toString()));
            std::exit(1);
        }
        h.context->reset();
    }
    // Closing moves the write-ahead log into the file: part of the cost of storing the records.
    h.context.reset();
    h.coordinator.reset();
    return timer.seconds();
}

sqlite3 *rawOpen(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    registerCollations(db);
    sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA busy_timeout = 10000; "
                 "PRAGMA cache_size = -65536", nullptr,
                 nullptr, nullptr);
    return db;
}

void bindText(sqlite3_stmt *s, int i, const QString &text)
{
    sqlite3_bind_text16(s, i, text.utf16(), int(text.size() * 2), SQLITE_STATIC);
}

double rawInsert(const QString &path, const std::vector<Row> &rows, int count)
{
    // The same tables and indexes: the store creates them, raw SQL fills them.
    {
        StoreHandle h = openStore(path);
    }
    sqlite3 *db = rawOpen(path);
    sqlite3_stmt *contact = nullptr, *detail = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO \"Contact\" (pk, \"firstName\", \"lastName\", \"normalizedName\", \"createdAt\", "
                       "\"rank\") VALUES (?, ?, ?, ?, ?, ?)",
                       -1, &contact, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO \"Detail\" (pk, \"label\", \"value\", \"kind\", \"contact_pk\") VALUES (?, ?, ?, ?, ?)",
                       -1, &detail, nullptr);
    CpuTimer timer;
    qint64 contactPk = 0, detailPk = 0;
    for (int start = 0; start < count; start += kBatch) {
        const int end = std::min(count, start + kBatch);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (int i = start; i < end; ++i) {
            const Row &r = rows[size_t(i % int(rows.size()))];
            sqlite3_bind_int64(contact, 1, ++contactPk);
            bindText(contact, 2, r.first);
            bindText(contact, 3, r.last);
            bindText(contact, 4, r.normalized);
            sqlite3_bind_double(contact, 5, double(r.created.toMSecsSinceEpoch()) / 1000.0);
            sqlite3_bind_int64(contact, 6, i);
            sqlite3_step(contact);
            sqlite3_reset(contact);
            for (int d = 0; d < 3; ++d) {
                sqlite3_bind_int64(detail, 1, ++detailPk);
                bindText(detail, 2, r.label[d]);
                bindText(detail, 3, r.value[d]);
                sqlite3_bind_int64(detail, 4, d);
                sqlite3_bind_int64(detail, 5, contactPk);
                sqlite3_step(detail);
                sqlite3_reset(detail);
            }
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(contact);
    sqlite3_finalize(detail);
    sqlite3_close(db);
    return timer.seconds();
}

double storeFetch(const QString &path, qsizetype *count)
{
    StoreHandle h = openStore(path);
    CpuTimer timer;
    FetchRequest request(QStringLiteral("Contact"));
    request.setSortDescriptors({SortDescriptor(QStringLiteral("normalizedName"))});
    const auto objects = h.context->executeFetchRequest(request);
    qint64 checksum = 0;
    for (ManagedObject *object : objects)
        checksum += object->value(QStringLiteral("rank")).toLongLong();
    benchmark::DoNotOptimize(checksum);
    *count = objects.size();
    return timer.seconds();
}

double rawFetch(const QString &path, qsizetype *count)
{
    sqlite3 *db = rawOpen(path);
    CpuTimer timer;
    // The same query the store runs: its ORDER BY (with the store's text collation) and columns.
    const auto model = benchModel();
    const SqlOrderBy order = compileSortToSql({SortDescriptor(QStringLiteral("normalizedName"))},
                                              *model->entity(QStringLiteral("Contact")), *model);
    const QByteArray sql = QStringLiteral("SELECT t0.pk, t0.\"firstName\", t0.\"lastName\", t0.\"normalizedName\", "
                                          "t0.\"createdAt\", t0.\"rank\" FROM \"Contact\" AS t0 ORDER BY %1, t0.pk")
                               .arg(order.orderBy)
                               .toUtf8();
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr);
    struct Fetched
    {
        qint64 pk;
        QString first, last, normalized;
        QDateTime created;
        qint64 rank;
    };
    std::vector<Fetched> rows;
    while (sqlite3_step(s) == SQLITE_ROW) {
        Fetched f;
        f.pk = sqlite3_column_int64(s, 0);
        for (int c = 1; c <= 3; ++c) {
            const void *text = sqlite3_column_text16(s, c);
            QString value(static_cast<const QChar *>(text), sqlite3_column_bytes16(s, c) / 2);
            (c == 1 ? f.first : c == 2 ? f.last : f.normalized) = value;
        }
        f.created = QDateTime::fromMSecsSinceEpoch(qint64(sqlite3_column_double(s, 4) * 1000.0), Qt::UTC);
        f.rank = sqlite3_column_int64(s, 5);
        rows.push_back(std::move(f));
    }
    sqlite3_finalize(s);
    qint64 checksum = 0;
    for (const Fetched &f : rows)
        checksum += f.rank;
    benchmark::DoNotOptimize(checksum);
    *count = qsizetype(rows.size());
    const double seconds = timer.seconds();
    sqlite3_close(db);
    return seconds;
}

long peakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

void resetPeakRss()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

struct Figures
{
    double storeInsert = 0, rawInsert = 0, storeFetch = 0, rawFetch = 0, small = 0, large = 0, peakMb = 0;
} g;

std::unique_ptr<QTemporaryDir> g_dir;
std::vector<Row> g_rows;

QString file(const char *name) { return g_dir->filePath(QString::fromLatin1(name)); }

void BM_Memory(benchmark::State &state)
{
    for (auto _ : state) {
        resetPeakRss();
        const long before = peakRssKb();
        storeInsert(file("million.sqlite"), g_rows, kMillionContacts, true, kMillionBatch);
        const long peak = peakRssKb();
        g.peakMb = double(std::max(peak, before)) / 1024.0;
        state.counters["peak_mb"] = g.peakMb;
    }
}

void BM_Insert(benchmark::State &state)
{
    for (auto _ : state) {
        g.rawInsert = g.storeInsert = 1e9;
        for (int i = 0; i < kRepeats; ++i) {
            const QString raw = file("raw.sqlite"), store = file("store.sqlite");
            for (const QString &path : {raw, store})
                for (const char *suffix : {"", "-wal", "-shm"})
                    QFile::remove(path + QString::fromLatin1(suffix));
            g.rawInsert = std::min(g.rawInsert, rawInsert(raw, g_rows, kContacts));
            g.storeInsert = std::min(g.storeInsert, storeInsert(store, g_rows, kContacts));
        }
        state.counters["raw_s"] = g.rawInsert;
        state.counters["store_s"] = g.storeInsert;
    }
}

void BM_Fetch(benchmark::State &state)
{
    for (auto _ : state) {
        qsizetype rawCount = 0, storeCount = 0;
        g.rawFetch = g.storeFetch = 1e9;
        for (int i = 0; i < kRepeats; ++i) {
            g.rawFetch = std::min(g.rawFetch, rawFetch(file("store.sqlite"), &rawCount));
            g.storeFetch = std::min(g.storeFetch, storeFetch(file("store.sqlite"), &storeCount));
        }
        if (rawCount != kContacts || storeCount != kContacts)
            state.SkipWithError("fetched the wrong number of contacts");
        state.counters["raw_s"] = g.rawFetch;
        state.counters["store_s"] = g.storeFetch;
    }
}

void BM_Scale(benchmark::State &state)
{
    for (auto _ : state) {
        g.small = g.large = 1e9;
        for (int i = 0; i < kRepeats; ++i) {
            const QString small = file("small.sqlite"), large = file("large.sqlite");
            for (const QString &path : {small, large})
                for (const char *suffix : {"", "-wal", "-shm"})
                    QFile::remove(path + QString::fromLatin1(suffix));
            g.small = std::min(g.small, storeInsert(small, g_rows, kSmall));
            g.large = std::min(g.large, storeInsert(large, g_rows, kContacts));
        }
        state.counters["10k_s"] = g.small;
        state.counters["100k_s"] = g.large;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    g_dir = std::make_unique<QTemporaryDir>();
    g_rows = makeRows(kContacts);
    benchmark::RegisterBenchmark("store/memory_1M_records", BM_Memory)->Iterations(1)->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("store/insert_100k_contacts", BM_Insert)->Iterations(1)->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("store/fetch_100k_sorted", BM_Fetch)->Iterations(1)->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("store/scale_10k_100k", BM_Scale)->Iterations(1)->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_dir.reset();
    std::printf("store-insert-ratio: %.2f\n", g.rawInsert > 0 ? g.storeInsert / g.rawInsert : 0.0);
    std::printf("store-fetch-ratio: %.2f\n", g.rawFetch > 0 ? g.storeFetch / g.rawFetch : 0.0);
    std::printf("store-scale-ratio: %.2f\n", g.small > 0 ? g.large / g.small : 0.0);
    std::printf("store-peak-mb: %.1f\n", g.peakMb);
    return 0;
}
