// A CSV report of 100,000 logs against writing the same rows with a plain text stream.
//
// Figures (printed last):
//   report-csv-ratio  fetching the logs, building the report's CSV text (every cell escaped) and writing
//                     the file, against the same fetch and the same cells written unescaped through a text
//                     stream (best of five each)

#include "Classes/Reports/ReportingController.h"

#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/QuendelModel.h"

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SortDescriptor.h"
#include "platform/store/StoreCoordinator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int kLogs = 100000;
constexpr int kContacts = 1000;
constexpr int kRepeats = 5;

using platform::store::ContextPtr;
using platform::store::ManagedObjectContext;

std::unique_ptr<QTemporaryDir> g_dir;
std::shared_ptr<platform::store::StoreCoordinator> g_coordinator;
double g_bestReport = 1e9;
double g_bestPlain = 1e9;

ContextPtr newContext()
{
    auto context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    context->setPersistentStoreCoordinator(g_coordinator);
    return context;
}

void makeStore()
{
    g_dir = std::make_unique<QTemporaryDir>();
    g_coordinator = std::make_shared<platform::store::StoreCoordinator>(QuendelModel::create());
    platform::core::QDError error;
    g_coordinator->addPersistentStore(platform::store::StoreType::SQLite, g_dir->filePath(QStringLiteral("Bench.sqlite")),
                                      {}, &error);
    ContextPtr context = newContext();
    QList<Person *> people;
    for (int i = 0; i < kContacts; ++i) {
        auto *person = context->insertNewObject<Person>(Person::EntityName);
        person->setDisplayName(QStringLiteral("Zoë Contact %1").arg(i));
        if (i % 3 == 0)
            person->setCompanyName(QStringLiteral("Acme, Inc. %1").arg(i % 50));
        people << person;
    }
    auto *title = context->insertNewObject<LogTitle>(LogTitle::EntityName);
    title->setTitle(QStringLiteral("Call"));
    context->save(&error);
    const QDateTime start(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
    for (int i = 0; i < kLogs; ++i) {
        auto *log = context->insertNewObject<Log>(Log::EntityName);
        log->setPerson(people[i % kContacts]);
        log->setLogDate(start.addSecs(qint64(i) * 60));
        log->setTitle(title);
        log->setLogNote(i % 4 == 0 ? QStringLiteral("Said \"hello\", then\nleft") : QStringLiteral("Plain note %1").arg(i));
        if (i % 2000 == 1999)
            context->save(&error);
    }
    context->save(&error);
}

void BM_ReportCsv(benchmark::State &state)
{
    for (auto _ : state) {
        ContextPtr context = newContext();
        ReportingController report(context.get());
        const QString path = g_dir->filePath(QStringLiteral("report.csv"));
        QElapsedTimer timer;
        timer.start();
        report.runFetchRequests();
        const platform::core::QDError error = ReportingController::writeCSVText(report.formatReportForCSV(), path);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        benchmark::DoNotOptimize(error.isNull());
        state.SetIterationTime(seconds);
        g_bestReport = std::min(g_bestReport, seconds);
    }
}

void BM_PlainTextStream(benchmark::State &state)
{
    for (auto _ : state) {
        ContextPtr context = newContext();
        QElapsedTimer timer;
        timer.start();
        platform::store::FetchRequest request(Log::EntityName);
        request.setSortDescriptors({platform::store::SortDescriptor(QStringLiteral("logDate")),
                                    platform::store::SortDescriptor(QStringLiteral("person.displayName"))});
        const auto objects = context->executeFetchRequest(request);
        QFile file(g_dir->filePath(QStringLiteral("plain.csv")));
        file.open(QIODevice::WriteOnly);
        QTextStream out(&file);
        out << "Logs\n" << Log::CSVHeader;
        for (platform::store::ManagedObject *object : objects) {
            const Log *log = static_cast<const Log *>(object);
            const Person *person = log->person();
            const LogTitle *title = log->title();
            out << ExportText::longDateMediumTime(log->logDate()) << ',' << (person ? person->displayName() : QString())
                << ',' << (person ? person->companyName() : QString()) << ',' << (title ? title->title() : QString())
                << ',' << ',' << log->logNote() << '\n';
        }
        out.flush();
        file.close();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        g_bestPlain = std::min(g_bestPlain, seconds);
    }
}

} // namespace

BENCHMARK(BM_PlainTextStream)->Iterations(1)->Repetitions(kRepeats)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportCsv)->Iterations(1)->Repetitions(kRepeats)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // A private home, so the settings the records may read never touch the user's files.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    makeStore();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("report-csv-ratio: %.2f\n", g_bestReport / g_bestPlain);
    g_coordinator.reset();
    return 0;
}
