// The contacts list over 50,000 contacts: building the sectioned list against the plain store fetch of the
// same contacts, and the main thread's share of one search keystroke (the list, its item model and the
// view it feeds), the store's part of the search running on the filter queue.
//
// Figures (printed last):
//   contacts-list-build-ratio  fetching the contacts and building the letter sections, against the fetch
//                              alone (best of five each)
//   search-keystroke-ms        main-thread milliseconds of one keystroke, the worst of a typed sequence:
//                              starting the search, then putting its result into the list and the view

#include "Mac/Contacts/ContactsListDisplaySource.h"
#include "Mac/Contacts/ContactsListItemModel.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/NormalizedStringTransformer.h"
#include "QuendelKit/QuendelModel.h"

#include "platform/core/DispatchQueue.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int kContacts = 50000;
constexpr int kRepeats = 5;

using platform::store::ContextPtr;
using platform::store::ManagedObjectContext;

std::unique_ptr<QTemporaryDir> g_dir;
std::shared_ptr<platform::store::StoreCoordinator> g_coordinator;
double g_bestFetch = 1e9;
double g_bestBuild = 1e9;
double g_worstKeystrokeMs = 0;

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
    static const char *firsts[] = {"Anna", "Ben", "Chloé", "David", "Émile", "Fiona", "Georg", "Hana", "Ivan",
                                   "Jana", "Karl", "Lena", "Marc", "Nora", "Otto", "Paula", "Quinn", "Rosa",
                                   "Sam", "Tara", "Uwe", "Vera", "Will", "Xena", "Yuri", "Zoë", "Жанна", "王"};
    static const char *lasts[] = {"Adams", "Baker", "Clark", "Dubois", "Evans", "Fischer", "Garcia", "Hill",
                                  "Ito", "Jones", "King", "Lopez", "Miller", "Novak", "Olsen", "Perez",
                                  "Quint", "Rossi", "Smith", "Taylor", "Ueda", "Vogel", "White", "Young", "Zhang"};
    ContextPtr context = newContext();
    for (int i = 0; i < kContacts; ++i) {
        auto *person = context->insertNewObject<Person>(Person::EntityName);
        const QString first = QString::fromUtf8(firsts[i % std::size(firsts)]);
        const QString last = QString::fromUtf8(lasts[(i / 7) % std::size(lasts)]) + QString::number(i % 97);
        person->setFirstName(first);
        person->setLastName(last);
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
            context->save(&error);
            context->reset();
        }
    }
    context->save(&error);
}

// The raw part: every contact fetched into a fresh context.
void BM_StoreFetch(benchmark::State &state)
{
    for (auto _ : state) {
        ContextPtr context = newContext();
        QElapsedTimer timer;
        timer.start();
        const auto objects = context->executeFetchRequest(Person::fetchRequest());
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        benchmark::DoNotOptimize(objects.size());
        state.SetIterationTime(seconds);
        g_bestFetch = std::min(g_bestFetch, seconds);
    }
}

// The same fetch, then the letter sections built from it.
void BM_BuildSectionedList(benchmark::State &state)
{
    for (auto _ : state) {
        ContextPtr context = newContext();
        ContactsListDisplaySource source;
        QElapsedTimer timer;
        timer.start();
        source.setManagedObjectContext(context);
        source.refetchArrayController();
        source.resetDatasource();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        benchmark::DoNotOptimize(source.alphabetsUsed().size());
        state.SetIterationTime(seconds);
        g_bestBuild = std::min(g_bestBuild, seconds);
    }
}

// The view follows the list as the Contacts section has it follow: step or reset, then every section open.
class ViewDelegate : public ContactsListDisplaySourceDelegate
{
public:
    ContactsListItemModel *model = nullptr;
    QTreeView *view = nullptr;
    bool respondsToUpdatedSourceDictionary() const override { return true; }
    void updatedSourceDictionaryWithPreserveSelection(bool) override
    {
        model->synchronize();
        view->expandToDepth(0);
    }
};

void BM_SearchKeystroke(benchmark::State &state)
{
    ContextPtr context = newContext();
    auto queue = platform::core::DispatchQueue::serial(QStringLiteral("com.morvane.QDFilterMainQueue"));
    ContactsListDisplaySource source;
    source.setManagedObjectContext(context);
    source.setFilterQueue(queue);
    source.refetchArrayController();
    source.resetDatasource();
    ContactsListItemModel model(&source);
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    view.resize(300, 800);
    view.expandToDepth(0);
    ViewDelegate delegate;
    delegate.model = &model;
    delegate.view = &view;
    source.setDelegate(&delegate);

    const QStringList typed = {QStringLiteral("s"),   QStringLiteral("sm"),  QStringLiteral("smi"),
                               QStringLiteral("smit"), QStringLiteral("smi"), QStringLiteral("sm"),
                               QStringLiteral("s"),   QString(),             QStringLiteral("z"),
                               QStringLiteral("zo"),  QStringLiteral("z"),   QString()};
    int next = 0;
    for (auto _ : state) {
        const QString text = typed[next++ % typed.size()];
        QElapsedTimer timer;
        timer.start();
        source.searchResultsWithString(text);
        qint64 mainNs = timer.nsecsElapsed();
        queue->sync([] {}); // the queue's part is not the main thread's
        timer.restart();
        source.finishPendingWork();
        mainNs += timer.nsecsElapsed();
        const double ms = double(mainNs) / 1e6;
        state.SetIterationTime(ms / 1000.0);
        g_worstKeystrokeMs = std::max(g_worstKeystrokeMs, ms);
    }
}

} // namespace

BENCHMARK(BM_StoreFetch)->Iterations(1)->Repetitions(kRepeats)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildSectionedList)
    ->Iterations(1)
    ->Repetitions(kRepeats)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchKeystroke)->Iterations(24)->UseManualTime()->Unit(benchmark::kMillisecond);

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
    std::printf("contacts-list-build-ratio: %.2f\n", g_bestBuild / g_bestFetch);
    std::printf("search-keystroke-ms: %.2f\n", g_worstKeystrokeMs);
    g_coordinator.reset();
    return 0;
}
