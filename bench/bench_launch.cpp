// The launch with 50,000 contacts in the store: from the start of a new process until the Contacts list
// shows its first rows, against a new process that opens the same store file with SQLite alone and reads
// the columns the list shows. Both are this program started again in a child process, so both include the
// start of a process; each is timed from the parent's start of the child to the child's report.
//
// Figures (printed last):
//   launch-ms      the program's launch until the list's first rows are on show (best of five)
//   raw-read-ms    SQLite opening the store and reading every contact's listed columns (best of five)
//   launch-ratio   launch-ms / raw-read-ms

#include "AppDelegate.h"
#include "Classes/CoreDataControllerShared.h"
#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Contacts/MacContactsViewController.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/NormalizedStringTransformer.h"
#include "QuendelKit/QuendelModel.h"

#include "platform/core/StandardPaths.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kContacts = 50000;
constexpr int kRepeats = 5;

QString g_self;
double g_bestLaunchMs = 1e12;
double g_bestRawMs = 1e12;

QString storePath()
{
    return QDir(platform::core::StandardPaths::dataFolder()).filePath(CoreDataControllerShared::LocalStoreFileName);
}

// ---- Children ----

// The program as main starts it; reports once the list's first row is on show.
int launchChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationDomain(QStringLiteral("quendel.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendel"));
    AppDelegate delegate;
    delegate.setExitHandler([](int) {});
    delegate.launch();
    const bool expectRows = !qEnvironmentVariableIsSet("QUENDEL_BENCH_EMPTY");
    const bool shown = QTest::qWaitFor(
        [&] {
            if (!delegate.isLaunchComplete())
                return false;
            if (!expectRows)
                return true;
            MacContactsViewController *contacts = delegate.contactsViewController();
            if (!contacts || !contacts->contactsOutlineView())
                return false;
            const QModelIndex top = contacts->contactsOutlineView()->indexAt(QPoint(4, 4));
            return top.isValid() && contacts->contactsOutlineView()->isVisible();
        },
        120000);
    std::printf(shown ? "shown\n" : "failed\n");
    std::fflush(stdout);
    delegate.terminate();
    return shown ? 0 : 1;
}

// SQLite alone: the store opened read-only and every contact's listed columns read, in list order.
int rawChild()
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(storePath()).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return 1;
    sqlite3_stmt *statement = nullptr;
    const char *sql = "SELECT pk, \"displayName\", \"normalizedDisplayName\", \"normalizedSectionLetter\", "
                      "\"companyName\", \"isContactPrivate\" FROM \"Person\" ORDER BY \"normalizedDisplayName\"";
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    qint64 rows = 0;
    qint64 bytes = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        ++rows;
        for (int column = 1; column < 5; ++column) {
            sqlite3_column_text16(statement, column);
            bytes += sqlite3_column_bytes16(statement, column);
        }
        bytes += sqlite3_column_int64(statement, 5);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    std::printf(rows == kContacts ? "shown\n" : "failed %lld\n", static_cast<long long>(rows));
    std::fflush(stdout);
    return rows == kContacts && bytes > 0 ? 0 : 1;
}

// ---- Parent ----

// Milliseconds from starting the child until it reports; negative when it failed.
double timeChild(const QString &mode, bool empty = false)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (empty)
        environment.insert(QStringLiteral("QUENDEL_BENCH_EMPTY"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    child.start(g_self, {mode});
    double elapsed = -1;
    while (child.state() != QProcess::NotRunning || child.bytesAvailable() > 0) {
        if (child.canReadLine() || child.waitForReadyRead(120000)) {
            const QByteArray line = child.readLine().trimmed();
            if (line == "shown") {
                elapsed = double(timer.nsecsElapsed()) / 1e6;
                break;
            }
            if (line.startsWith("failed"))
                break;
        } else {
            break;
        }
    }
    child.waitForFinished(120000);
    return elapsed;
}

// The store as the program made it on its first run, filled with the contacts.
bool fillStore()
{
    auto coordinator = std::make_shared<platform::store::StoreCoordinator>(QuendelModel::create());
    platform::core::QDError error;
    if (!coordinator->addPersistentStore(platform::store::StoreType::SQLite, storePath(), {}, &error)) {
        std::fprintf(stderr, "store: %s\n", qPrintable(error.toString()));
        return false;
    }
    auto context = platform::store::ManagedObjectContext::create(
        platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
    context->setPersistentStoreCoordinator(coordinator);
    static const char *firsts[] = {"Anna", "Ben", "Chloé", "David", "Émile", "Fiona", "Georg", "Hana", "Ivan",
                                   "Jana", "Karl", "Lena", "Marc", "Nora", "Otto", "Paula", "Quinn", "Rosa",
                                   "Sam", "Tara", "Uwe", "Vera", "Will", "Xena", "Yuri", "Zoë", "Жанна", "王"};
    static const char *lasts[] = {"Adams", "Baker", "Clark", "Dubois", "Evans", "Fischer", "Garcia", "Hill",
                                  "Ito", "Jones", "King", "Lopez", "Miller", "Novak", "Olsen", "Perez",
                                  "Quint", "Rossi", "Smith", "Taylor", "Ueda", "Vogel", "White", "Young", "Zhang"};
    for (int i = 0; i < kContacts; ++i) {
        auto *person = context->insertNewObject<Person>(Person::EntityName);
        const QString first = QString::fromUtf8(firsts[i % std::size(firsts)]);
        const QString last = QString::fromUtf8(lasts[(i / 7) % std::size(lasts)]) + QString::number(i % 97);
        person->setFirstName(first);
        person->setLastName(last);
        person->setGuid(Person::makePersonGUID());
        if (i % 5 == 0)
            person->setCompanyName(QStringLiteral("Company %1").arg(i % 300));
        person->setDisplayName(first + QLatin1Char(' ') + last);
        const QString sorting = NormalizedStringTransformer::normalizeString(last + QLatin1Char(' ') + first);
        person->setNormalizedDisplayName(sorting);
        QString key = NormalizedStringTransformer::normalizeStringForFirstLetter(sorting);
        for (const QChar c : std::as_const(key)) {
            if (c.category() != QChar::Letter_Uppercase) {
                key = QStringLiteral("#");
                break;
            }
        }
        person->setNormalizedSectionLetter(key);
        if (i % 1000 == 999) {
            if (!context->save(&error))
                return false;
            context->reset();
        }
    }
    return context->save(&error);
}

void BM_Launch(benchmark::State &state)
{
    for (auto _ : state) {
        const double ms = timeChild(QStringLiteral("--launch-child"));
        if (ms < 0) {
            state.SkipWithError("the launch did not show the list");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        g_bestLaunchMs = std::min(g_bestLaunchMs, ms);
    }
}

void BM_RawRead(benchmark::State &state)
{
    for (auto _ : state) {
        const double ms = timeChild(QStringLiteral("--raw-child"));
        if (ms < 0) {
            state.SkipWithError("the raw read failed");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        g_bestRawMs = std::min(g_bestRawMs, ms);
    }
}

} // namespace

BENCHMARK(BM_Launch)->Iterations(1)->Repetitions(kRepeats)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawRead)->Iterations(1)->Repetitions(kRepeats)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--launch-child") == 0)
            return launchChild(argc, argv);
        if (qstrcmp(argv[i], "--raw-child") == 0)
            return rawChild();
    }

    // A private home for the parent and its children, so nothing touches the user's files.
    QTemporaryDir home;
    for (const char *sub : {"data", "config", "cache", "Documents"})
        QDir(home.path()).mkpath(QString::fromLatin1(sub));
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_DOCUMENTS_DIR", (home.path() + QStringLiteral("/Documents")).toUtf8());
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationDomain(QStringLiteral("quendel.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendel"));
    g_self = QCoreApplication::applicationFilePath();

    // A first run makes the data folder, the settings and the empty store, as for a new user; then the
    // store gets its contacts.
    if (timeChild(QStringLiteral("--launch-child"), true) < 0 || !fillStore()) {
        std::fprintf(stderr, "bench_launch: could not prepare the store at %s\n", qPrintable(storePath()));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("launch-ms: %.1f\n", g_bestLaunchMs);
    std::printf("raw-read-ms: %.1f\n", g_bestRawMs);
    std::printf("launch-ratio: %.2f\n", g_bestLaunchMs / g_bestRawMs);
    return 0;
}
