// The cloud database service against plain statements on the same rows, in the same database, in the same
// run, on both backings. Times are wall-clock (the PostgreSQL server's work happens in its own processes),
// the best of three runs.
//
// Figures (printed last):
//   cloud-upload-ratio-sqlite, -postgresql   10,000 records saved in requests of 400 against plain inserts of
//                                            the same rows in transactions of 400
//   cloud-fetch-ratio-sqlite, -postgresql    the same records fetched back as zone changes in pages of 400
//                                            against plain selects of the rows in pages of 400
//   cloud-upload-ratio, cloud-fetch-ratio    the larger of the two backings
// The PostgreSQL figures need the server programs (scripts/install-deps); the benchmark starts a private
// server in a temporary folder (as the "postgres" user when run as root) and stops it at the end.

#include "platform/cloud/CloudServiceFactory.h"
#include "platform/cloud/PostgresConnection.h"
#include "platform/cloud/RecordCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include <pwd.h>
#include <unistd.h>

using namespace platform::cloud;
using platform::core::QDError;

namespace {

constexpr int kRecords = 10000;
constexpr int kBatch = 400;
constexpr int kRepeats = 3;

std::unique_ptr<QTemporaryDir> g_dir;

struct Figures
{
    double serviceUpload = 0, plainInsert = 0, serviceFetch = 0, plainSelect = 0;
    bool measured = false;
};
Figures g_sqlite, g_postgres;

// A throwaway server for the PostgreSQL figures.
class ScratchServer
{
public:
    ~ScratchServer()
    {
        if (m_running)
            run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                                           QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("stop")});
    }

    bool start()
    {
        QDir versions(QStringLiteral("/usr/lib/postgresql"));
        for (const QString &version : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            if (QFile::exists(versions.filePath(version + QStringLiteral("/bin/initdb"))))
                m_bin = versions.filePath(version + QStringLiteral("/bin"));
        }
        if (m_bin.isEmpty() || !m_dir.isValid())
            return false;
        if (geteuid() == 0) {
            const passwd *user = getpwnam("postgres");
            if (!user || chown(QFile::encodeName(m_dir.path()).constData(), user->pw_uid, user->pw_gid) != 0)
                return false;
            m_asPostgres = true;
        }
        if (!run(QStringLiteral("initdb"), {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                                            QStringLiteral("-U"), QStringLiteral("postgres"),
                                            QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                                            QStringLiteral("--locale=C"), QStringLiteral("-N")}))
            return false;
        // Durable commits, as a real server keeps them; only the socket is private.
        if (!run(QStringLiteral("pg_ctl"),
                 {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-l"),
                  m_dir.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-o"),
                  QStringLiteral("-k %1 -c listen_addresses=''").arg(m_dir.path()), QStringLiteral("start")}))
            return false;
        m_running = true;
        QDError error;
        auto admin = PostgresConnection::open(url(QStringLiteral("postgres"), QStringLiteral("postgres")), &error);
        if (!admin || !admin->execScript(QStringLiteral("CREATE DATABASE quendel"), &error))
            return false;
        if (!PostgresCloudAdmin::install(url(QStringLiteral("postgres")), &error) ||
            !PostgresCloudAdmin::createAccount(url(QStringLiteral("postgres")), QStringLiteral("bench"),
                                               QStringLiteral("pw"), &error))
            return false;
        // The plain comparison table is the account's own, in the same database.
        auto service = PostgresConnection::open(url(QStringLiteral("postgres")), &error);
        return service && service->execScript(QStringLiteral("GRANT CREATE ON SCHEMA public TO bench"), &error);
    }

    QString url(const QString &role, const QString &database = QStringLiteral("quendel")) const
    {
        return QStringLiteral("postgresql://%1@/%2?host=%3")
            .arg(role, database, QString::fromLatin1(QUrl::toPercentEncoding(m_dir.path())));
    }

private:
    bool run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(m_dir.path());
        const QString path = m_bin + QLatin1Char('/') + program;
        if (m_asPostgres)
            process.start(QStringLiteral("runuser"),
                          QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), path} + arguments);
        else
            process.start(path, arguments);
        return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    QString m_bin;
    bool m_asPostgres = false;
    bool m_running = false;
};

std::unique_ptr<ScratchServer> g_server;

QList<Record> makeRecords(const RecordZoneID &zone)
{
    QList<Record> records;
    records.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i) {
        Record record(QStringLiteral("Person"), RecordID(QStringLiteral("Person.%1").arg(i, 6, 10, QLatin1Char('0')), zone));
        record.setValue(QStringLiteral("firstName"), QStringLiteral("First %1").arg(i));
        record.setValue(QStringLiteral("lastName"), QStringLiteral("Last %1").arg(i));
        record.setValue(QStringLiteral("companyName"), QStringLiteral("Company %1").arg(i % 97));
        record.setValue(QStringLiteral("note"), QStringLiteral("A note about this person, number %1.").arg(i));
        record.setValue(QStringLiteral("createdAt"), QDateTime::fromMSecsSinceEpoch(1700000000000LL + i, Qt::UTC));
        record.setValue(QStringLiteral("modifiedAt"), QDateTime::fromMSecsSinceEpoch(1700000000000LL + i, Qt::UTC));
        record.setValue(QStringLiteral("isPrivate"), i % 2 == 0);
        record.setValue(QStringLiteral("groups"), ReferenceList{Reference(RecordID(QStringLiteral("Group.%1").arg(i % 7)))});
        records.append(record);
    }
    return records;
}

// One run on a fresh zone and a fresh plain table: the four times.
bool measure(SqlCloudService &service, int round, Figures &best)
{
    const RecordZoneID zone(QStringLiteral("BenchZone%1").arg(round));
    if (!service.saveZones(DatabaseScope::Private, {zone}).error.isNull())
        return false;
    service.setPageSize(kBatch);
    const QList<Record> records = makeRecords(zone);
    QList<QByteArray> encoded;
    for (const Record &record : records)
        encoded.append(RecordCodec::encodeFields(record, RecordCodec::urlAssetEncoder, nullptr));

    QElapsedTimer timer;
    timer.start();
    for (int start = 0; start < kRecords; start += kBatch) {
        ModifyRecordsRequest request;
        request.recordsToSave = records.mid(start, kBatch);
        if (!service.modifyRecords(request).error.isNull())
            return false;
    }
    const double upload = timer.nsecsElapsed() / 1e9;

    timer.restart();
    ChangeToken token;
    int fetched = 0;
    for (;;) {
        const ZoneChangesResult page = service.fetchZoneChanges(DatabaseScope::Private, zone, token);
        if (!page.error.isNull())
            return false;
        fetched += page.changedRecords.size();
        token = page.changeToken;
        if (!page.moreComing)
            break;
    }
    const double fetch = timer.nsecsElapsed() / 1e9;
    if (fetched != kRecords)
        return false;

    SqlConnection &sql = service.connectionForTesting();
    const QString table = QStringLiteral("bench_plain_%1").arg(round);
    const QString blob = sql.dialect() == SqlConnection::Dialect::SQLite ? QStringLiteral("BLOB") : QStringLiteral("BYTEA");
    if (!sql.execScript(QStringLiteral("CREATE TABLE %1 (zone_id BIGINT NOT NULL, record_name TEXT NOT NULL, "
                                       "record_type TEXT NOT NULL, fields %2, PRIMARY KEY (zone_id, record_name))")
                            .arg(table, blob),
                        nullptr))
        return false;
    timer.restart();
    const QString insert = QStringLiteral("INSERT INTO %1 (zone_id, record_name, record_type, fields) VALUES (?, ?, ?, ?)").arg(table);
    for (int start = 0; start < kRecords; start += kBatch) {
        if (!sql.beginWrite(nullptr))
            return false;
        for (int i = start; i < std::min(kRecords, start + kBatch); ++i) {
            if (!sql.exec(insert, {qint64(round), records[i].recordID().recordName(), records[i].recordType(), encoded[i]},
                          nullptr))
                return false;
        }
        if (!sql.commit(nullptr))
            return false;
    }
    const double plainInsert = timer.nsecsElapsed() / 1e9;

    timer.restart();
    const QString select = QStringLiteral("SELECT record_name, record_type, fields FROM %1 WHERE zone_id = ? AND "
                                          "record_name > ? ORDER BY record_name LIMIT %2").arg(table).arg(kBatch);
    QString after = QStringLiteral("");
    int selected = 0;
    for (;;) {
        QList<SqlRow> rows;
        if (!sql.exec(select, {qint64(round), after}, &rows, nullptr))
            return false;
        selected += rows.size();
        if (rows.size() < kBatch)
            break;
        after = sqlText(rows.last().value(0));
    }
    const double plainSelect = timer.nsecsElapsed() / 1e9;
    if (selected != kRecords)
        return false;

    if (!best.measured || upload / plainInsert < best.serviceUpload / best.plainInsert) {
        best.serviceUpload = upload;
        best.plainInsert = plainInsert;
    }
    if (!best.measured || fetch / plainSelect < best.serviceFetch / best.plainSelect) {
        best.serviceFetch = fetch;
        best.plainSelect = plainSelect;
    }
    best.measured = true;
    return true;
}

void run(benchmark::State &state, const std::shared_ptr<SqlCloudService> &service, Figures &figures)
{
    for (auto _ : state) {
        if (!service) {
            state.SkipWithError("the backing could not be opened");
            return;
        }
        for (int round = 0; round < kRepeats; ++round) {
            if (!measure(*service, round, figures)) {
                state.SkipWithError("a measured call failed");
                return;
            }
        }
        state.counters["upload_s"] = figures.serviceUpload;
        state.counters["plain_insert_s"] = figures.plainInsert;
        state.counters["fetch_s"] = figures.serviceFetch;
        state.counters["plain_select_s"] = figures.plainSelect;
    }
}

void BM_Sqlite(benchmark::State &state)
{
    QDError error;
    SqlCloudService::Options options;
    options.assetCacheFolder = g_dir->filePath(QStringLiteral("cache"));
    auto service = SqlCloudService::openSqlite(g_dir->filePath(QStringLiteral("cloud.sqlite")), QStringLiteral("bench"),
                                               options, &error);
    run(state, service, g_sqlite);
}

void BM_Postgres(benchmark::State &state)
{
    g_server = std::make_unique<ScratchServer>();
    if (!g_server->start()) {
        for (auto _ : state)
            state.SkipWithError("no PostgreSQL server programs, or the scratch server did not start");
        return;
    }
    QDError error;
    SqlCloudService::Options options;
    options.assetCacheFolder = g_dir->filePath(QStringLiteral("cache-pg"));
    auto service = SqlCloudService::openPostgres(g_server->url(QStringLiteral("bench")), options, &error);
    run(state, service, g_postgres);
}

double ratio(double a, double b) { return b > 0 ? a / b : 0.0; }

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    g_dir = std::make_unique<QTemporaryDir>();
    benchmark::RegisterBenchmark("cloud/sqlite_10k_records", BM_Sqlite)->Iterations(1)->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("cloud/postgresql_10k_records", BM_Postgres)->Iterations(1)->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    g_dir.reset();
    const double uploadSqlite = ratio(g_sqlite.serviceUpload, g_sqlite.plainInsert);
    const double fetchSqlite = ratio(g_sqlite.serviceFetch, g_sqlite.plainSelect);
    const double uploadPostgres = ratio(g_postgres.serviceUpload, g_postgres.plainInsert);
    const double fetchPostgres = ratio(g_postgres.serviceFetch, g_postgres.plainSelect);
    std::printf("cloud-upload-ratio-sqlite: %.2f\n", uploadSqlite);
    std::printf("cloud-fetch-ratio-sqlite: %.2f\n", fetchSqlite);
    std::printf("cloud-upload-ratio-postgresql: %.2f\n", uploadPostgres);
    std::printf("cloud-fetch-ratio-postgresql: %.2f\n", fetchPostgres);
    std::printf("cloud-upload-ratio: %.2f\n", std::max(uploadSqlite, uploadPostgres));
    std::printf("cloud-fetch-ratio: %.2f\n", std::max(fetchSqlite, fetchPostgres));
    return 0;
}
