#include "StoreControllerFixture.h"

#include "Classes/StoreFileCompanions.h"

#include "QuendelKit/QuendelModel.h"

#include "platform/store/Model.h"
#include "platform/store/StoreCoordinator.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using namespace store_controller_test;
using platform::core::QDError;
using platform::store::ContextPtr;
using platform::store::ManagedObjectContext;
using platform::store::StoreCoordinator;
using platform::store::StoreType;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A store file made by the program and closed, holding one contact.
void makeStoreWithOneContact(const QString &path)
{
    auto coordinator = std::make_shared<StoreCoordinator>(QuendelModel::create());
    QDError error;
    ASSERT_TRUE(coordinator->addPersistentStore(StoreType::SQLite, path, {}, &error)) << error.toString().toStdString();
    ContextPtr context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    context->setPersistentStoreCoordinator(coordinator);
    context->insertNewObject(QStringLiteral("Person"));
    ASSERT_TRUE(context->save(&error)) << error.toString().toStdString();
}

QStringList setAsideFiles()
{
    return QDir(dataFolder()).entryList({QStringLiteral("SetAside-*")}, QDir::Files, QDir::Name);
}

struct UnopenableCase
{
    const char *name;
    std::function<void(const QString &path)> make;
};

} // namespace

// ---- A store file that cannot be opened ----

TEST_F(StoreControllerTest, AnUnopenableStoreIsReportedWithItsReasonAndLeftUntouched)
{
    const std::vector<UnopenableCase> cases = {
        {"not a store at all",
         [](const QString &path) { writeFile(path, QByteArray("These are notes, not a database.\n").repeated(300)); }},
        {"damaged pages",
         [](const QString &path) {
             makeStoreWithOneContact(path);
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             ASSERT_GT(file.size(), 3 * 4096);
             // Every page after the first is overwritten: the schema page survives, the tables do not.
             for (qint64 offset = 4096; offset + 4096 <= file.size(); offset += 4096) {
                 file.seek(offset);
                 file.write(QByteArray(4096, '\xA5'));
             }
         }},
        {"written by a newer version",
         [](const QString &path) {
             auto newer = std::make_shared<platform::store::ManagedObjectModel>(QuendelModel::ModelName,
                                                                                QuendelModel::ModelVersion + 1);
             newer->addEntity(platform::store::EntityDescription(QStringLiteral("Person")));
             StoreCoordinator coordinator(newer);
             QDError error;
             ASSERT_TRUE(coordinator.addPersistentStore(StoreType::SQLite, path, {}, &error))
                 << error.toString().toStdString();
         }},
        {"a folder in its place",
         [](const QString &path) {
             ASSERT_TRUE(QDir().mkpath(path));
             writeFile(QDir(path).filePath(QStringLiteral("keep.txt")), "still here");
         }},
    };

    for (const UnopenableCase &testCase : cases) {
        SCOPED_TRACE(testCase.name);
        SetUp();
        testCase.make(storePath());
        if (::testing::Test::HasFatalFailure())
            return;
        const bool isFolder = QFileInfo(storePath()).isDir();
        const QByteArray before = fileDigest(storePath());

        int calls = 0;
        TestController controller([&] { ++calls; });
        const ContextPtr context = controller.managedObjectContext();

        EXPECT_EQ(controller.localStore(), nullptr);
        const QDError error = controller.storeLoadError();
        ASSERT_FALSE(error.isNull());
        ASSERT_EQ(alert->coreDataErrors.size(), 1u);
        EXPECT_EQ(alert->coreDataErrors[0].first, QStringLiteral("LoadLocalStore"));
        EXPECT_EQ(alert->coreDataErrors[0].second, error);
        // The user is told, with the reason and where the file is, and the program does not run on without it.
        ASSERT_EQ(alert->alerts.size(), 1u);
        EXPECT_EQ(alert->alerts[0].first, CoreDataControllerShared::UnopenableStoreAlertTitle);
        EXPECT_TRUE(alert->alerts[0].second.contains(error.localizedDescription()))
            << alert->alerts[0].second.toStdString();
        EXPECT_TRUE(alert->alerts[0].second.contains(QStringLiteral("Quendel.sqlite")));
        EXPECT_EQ(controller.quitRequests, 1);

        // The file is as it was, and no one-time work was recorded against a store that is not there.
        if (isFolder) {
            EXPECT_TRUE(QFileInfo::exists(QDir(storePath()).filePath(QStringLiteral("keep.txt"))));
        } else {
            EXPECT_EQ(fileDigest(storePath()), before);
        }
        EXPECT_TRUE(setAsideFiles().isEmpty());
        EXPECT_FALSE(dataPlistValues().boolValue(CoreDataControllerShared::OneTimeAddToTitlesKey));
        // Until the program has quit, callers still get a main context (over no store), made once.
        EXPECT_NE(context, nullptr);
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(controller.persistentStoreCoordinator()->persistentStores().isEmpty());
    }
}

TEST_F(StoreControllerTest, TheDefaultQuitEndsTheProgramOnceItsEventLoopRuns)
{
    // The real controller, without the test's replacement. The exit is queued, so the load runs to its end,
    // and the program's exit code says why it ended. Run in a child process, which the exit ends.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            writeFile(storePath(), QByteArray("not a store").repeated(100));
            CoreDataControllerMac controller([] {});
            if (!controller.managedObjectContext() || alert->alerts.size() != 1)
                std::exit(2);
            QEventLoop loop;
            QTimer::singleShot(5000, &loop, [&] { loop.exit(3); });
            std::exit(loop.exec());
        },
        ::testing::ExitedWithCode(1), "");
}

// ---- Leftovers of another store ----

TEST_F(StoreControllerTest, ALeftoverLogOfAMissingStoreIsSetAsideNotReplayedIntoTheNewStore)
{
    // Another store's write-ahead log and index, copied while that store was open and its changes still sat
    // in the log, then left in the data folder without their store file.
    QTemporaryDir elsewhere;
    const QString otherPath = elsewhere.filePath(QStringLiteral("Other.sqlite"));
    QByteArray walDigest;
    {
        auto coordinator = std::make_shared<StoreCoordinator>(QuendelModel::create());
        QDError error;
        ASSERT_TRUE(coordinator->addPersistentStore(StoreType::SQLite, otherPath, {}, &error));
        ContextPtr context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
        context->setPersistentStoreCoordinator(coordinator);
        for (int i = 0; i < 3; ++i)
            context->insertNewObject(QStringLiteral("Person"));
        ASSERT_TRUE(context->save(&error));
        ASSERT_GT(QFileInfo(otherPath + "-wal").size(), 0);
        ASSERT_TRUE(QFile::copy(otherPath + "-wal", storePath() + "-wal"));
        ASSERT_TRUE(QFile::copy(otherPath + "-shm", storePath() + "-shm"));
        walDigest = fileDigest(storePath() + "-wal");
    }
    ASSERT_FALSE(QFileInfo::exists(storePath()));

    TestController controller([] {});
    const ContextPtr context = controller.managedObjectContext();
    ASSERT_NE(controller.localStore(), nullptr) << controller.storeLoadError().toString().toStdString();
    EXPECT_EQ(countOf(context, QStringLiteral("Person")), 0) << "nothing of the other store came in";
    EXPECT_EQ(titlesInOrder<LogTitle>(context), DefaultTitles::defaultLogTitles());
    EXPECT_TRUE(alert->alerts.empty());

    // Both are kept for recovery under names that no longer belong to the store.
    const QStringList kept = setAsideFiles();
    ASSERT_EQ(kept.size(), 2) << kept.join(", ").toStdString();
    EXPECT_TRUE(kept[0].endsWith(QStringLiteral("-Quendel.sqlite-shm")));
    EXPECT_TRUE(kept[1].endsWith(QStringLiteral("-Quendel.sqlite-wal")));
    EXPECT_EQ(fileDigest(QDir(dataFolder()).filePath(kept[1])), walDigest);
}

TEST_F(StoreControllerTest, TheLogOfAStoreThatIsStillThereIsReplayedAsUsual)
{
    // A crash leaves the store file with its own log holding the last saves: they belong to it.
    QTemporaryDir elsewhere;
    const QString copyPath = elsewhere.filePath(QStringLiteral("Quendel.sqlite"));
    {
        TestController controller([] {});
        const ContextPtr context = controller.managedObjectContext();
        context->performAndWait([&] {
            context->insertNewObject(QStringLiteral("Person"));
            ASSERT_TRUE(context->save());
        });
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            ASSERT_TRUE(QFile::copy(storePath() + suffix, copyPath + suffix));
    }
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        QFile::remove(storePath() + suffix);
        ASSERT_TRUE(QFile::copy(copyPath + suffix, storePath() + suffix));
    }

    TestController controller([] {});
    const ContextPtr context = controller.managedObjectContext();
    EXPECT_EQ(countOf(context, QStringLiteral("Person")), 1);
    EXPECT_TRUE(setAsideFiles().isEmpty());
}

TEST_F(StoreControllerTest, LoadingWithDeleteStartsAnEmptyStore)
{
    TestController controller([] {});
    ContextPtr context = controller.managedObjectContext();
    context->performAndWait([&] {
        context->insertNewObject(QStringLiteral("Person"));
        ASSERT_TRUE(context->save());
    });
    controller.cleanUpViewsBeforeRestoreWithDebugKey(QStringLiteral("reset"));
    context.reset();
    controller.dropLocalStore();

    const auto store = controller.loadLocalStoreIntoPSCWithDelete(true);
    ASSERT_NE(store, nullptr) << controller.storeLoadError().toString().toStdString();
    controller.reInitializePSCAfterCloudSettingChangeAndShowAlert(false);
    EXPECT_EQ(countOf(controller.managedObjectContext(), QStringLiteral("Person")), 0);
}

TEST(StoreFileCompanions, SetsAsideOnlyTheCompanionsOfAMissingStoreUnderFreeNames)
{
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("Quendel.sqlite"));
    const QDateTime now(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC);
    auto write = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };

    // While the store file exists its companions are its own.
    write(store, "store");
    write(store + "-wal", "log");
    QStringList moved;
    EXPECT_TRUE(StoreFileCompanions::setAsideOrphanedCompanions(store, &moved, nullptr, now));
    EXPECT_TRUE(moved.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(store + "-wal"));

    // Gone: each leftover moves, and a second round on the same second takes the next free name.
    QFile::remove(store);
    write(store + "-journal", "journal");
    EXPECT_TRUE(StoreFileCompanions::setAsideOrphanedCompanions(store, &moved, nullptr, now));
    EXPECT_EQ(moved.size(), 2);
    EXPECT_TRUE(StoreFileCompanions::existingCompanions(store).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("SetAside-20260304-050607-Quendel.sqlite-wal"))));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("SetAside-20260304-050607-Quendel.sqlite-journal"))));

    write(store + "-wal", "second log");
    EXPECT_TRUE(StoreFileCompanions::setAsideOrphanedCompanions(store, &moved, nullptr, now));
    ASSERT_EQ(moved.size(), 1);
    EXPECT_EQ(QFileInfo(moved[0]).fileName(), QStringLiteral("SetAside-20260304-050607-2-Quendel.sqlite-wal"));
    QFile kept(moved[0]);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("second log"));
}
