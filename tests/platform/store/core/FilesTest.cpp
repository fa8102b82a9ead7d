#include "StoreFixture.h"

#include "platform/store/SqliteStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>

#include <sqlite3.h>

using namespace storetest;

namespace {
const QString kPerson = QStringLiteral("Person");

QString integrityOf(const QString &path)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return QStringLiteral("cannot open");
    }
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr);
    QStringList lines;
    while (sqlite3_step(s) == SQLITE_ROW)
        lines << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return lines.join(u"; ");
}

qint64 count(const Store &s, const QString &entity = kPerson)
{
    auto context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    context->setPersistentStoreCoordinator(s.coordinator);
    return context->countForFetchRequest(FetchRequest(entity));
}
} // namespace

TEST(StoreFiles, WalModeAndMigrationOfAnOlderFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.sqlite"));
    QString uuid;
    {
        Store v1 = openStore(path, 1);
        ASSERT_TRUE(v1.store);
        uuid = v1.store->identifier();
        insertPerson(v1.main, QStringLiteral("Ann"), 7);
        ASSERT_TRUE(v1.main->save());
        EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral("-wal")));
        EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral("-shm")));
    }
    QDError error;
    const QVariantMap before = StoreCoordinator::metadataForPersistentStoreOfType(StoreType::SQLite, path, &error);
    ASSERT_TRUE(error.isNull()) << error.toString().toStdString();
    auto v2Model = makeModel(2);
    EXPECT_FALSE(v2Model->isConfigurationCompatibleWithStoreMetadata(before));
    EXPECT_TRUE(v2Model->canMigrateStoreWithMetadata(before));
    EXPECT_TRUE(makeModel(1)->isConfigurationCompatibleWithStoreMetadata(before));

    // Without automatic migration the older file is refused.
    StoreOptions noMigration;
    noMigration.migrateAutomatically = false;
    Store refused = openStore(path, 2, noMigration, &error);
    EXPECT_FALSE(refused.store);
    EXPECT_EQ(error.code(), StoreErrorIncompatibleVersion);

    error = QDError();
    Store v2 = openStore(path, 2, {}, &error);
    ASSERT_TRUE(v2.store) << error.toString().toStdString();
    EXPECT_EQ(v2.store->identifier(), uuid);
    FetchRequest request(kPerson);
    auto people = v2.main->executeFetchRequest(request);
    ASSERT_EQ(people.size(), 1);
    EXPECT_EQ(people[0]->value(QStringLiteral("age")).toLongLong(), 7);
    EXPECT_FALSE(people[0]->value(QStringLiteral("nickname")).isValid());
    people[0]->setValue(QStringLiteral("nickname"), QStringLiteral("A"));
    ManagedObject *tag = v2.main->insertNewObject(QStringLiteral("Tag"));
    tag->setValue(QStringLiteral("name"), QStringLiteral("new entity"));
    ASSERT_TRUE(v2.main->save());
    EXPECT_TRUE(v2Model->isConfigurationCompatibleWithStoreMetadata(v2.coordinator->metadataForPersistentStore(v2.store)));

    // The older model cannot open the newer file.
    Store back = openStore(path, 1, {}, &error);
    EXPECT_FALSE(back.store);
    EXPECT_EQ(error.code(), StoreErrorIncompatibleVersion);
}

TEST(StoreFiles, MetadataIsKeptInTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("meta.sqlite"));
    {
        Store s = openStore(path);
        QVariantMap metadata = s.coordinator->metadataForPersistentStore(s.store);
        EXPECT_EQ(metadata.value(StoreUUIDKey).toString(), s.store->identifier());
        metadata.insert(QStringLiteral("AddFormFieldTypeValues"), true);
        metadata.insert(QStringLiteral("When"), QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC));
        metadata.insert(StoreUUIDKey, QStringLiteral("cannot be changed"));
        ASSERT_TRUE(s.coordinator->setMetadata(metadata, s.store));
        EXPECT_EQ(s.coordinator->metadataForPersistentStore(s.store).value(StoreUUIDKey).toString(), s.store->identifier());
    }
    QDError error;
    QVariantMap read = StoreCoordinator::metadataForPersistentStoreOfType(StoreType::SQLite, path, &error);
    EXPECT_TRUE(read.value(QStringLiteral("AddFormFieldTypeValues")).toBool());
    EXPECT_EQ(read.value(QStringLiteral("When")).toDateTime(), QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC));
    // Setting replaces the free keys.
    ASSERT_TRUE(StoreCoordinator::setMetadataForPersistentStoreOfType({{QStringLiteral("Other"), 1}}, StoreType::SQLite, path));
    read = StoreCoordinator::metadataForPersistentStoreOfType(StoreType::SQLite, path, &error);
    EXPECT_FALSE(read.contains(QStringLiteral("AddFormFieldTypeValues")));
    EXPECT_EQ(read.value(QStringLiteral("Other")).toInt(), 1);
    EXPECT_EQ(read.value(StoreModelVersionKey).toInt(), 1);

    EXPECT_TRUE(StoreCoordinator::metadataForPersistentStoreOfType(StoreType::SQLite, dir.filePath(QStringLiteral("none")), &error).isEmpty());
    EXPECT_FALSE(error.isNull());
}

TEST(StoreFiles, ReadOnlyOpenRefusesSaves)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ro.sqlite"));
    {
        Store s = openStore(path);
        insertPerson(s.main, QStringLiteral("Ann"));
        ASSERT_TRUE(s.main->save());
    }
    StoreOptions readOnly;
    readOnly.readOnly = true;
    QDError error;
    Store s = openStore(path, 1, readOnly, &error);
    ASSERT_TRUE(s.store) << error.toString().toStdString();
    EXPECT_TRUE(s.store->isReadOnly());
    EXPECT_EQ(count(s), 1);
    insertPerson(s.main, QStringLiteral("Bob"));
    EXPECT_FALSE(s.main->save(&error));
    EXPECT_EQ(error.code(), StoreErrorReadOnly);
    EXPECT_FALSE(s.main->executeBatchDelete(BatchDeleteRequest(FetchRequest(kPerson)), &error).ok);
    EXPECT_EQ(count(s), 1);
    Store missing = openStore(dir.filePath(QStringLiteral("missing.sqlite")), 1, readOnly, &error);
    EXPECT_FALSE(missing.store);
}

TEST(StoreFiles, DamagedOrForeignFilesFailToOpen)
{
    QTemporaryDir dir;
    const QString garbage = dir.filePath(QStringLiteral("garbage.sqlite"));
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'x'));
    file.close();
    QDError error;
    Store s = openStore(garbage, 1, {}, &error);
    EXPECT_FALSE(s.store);
    EXPECT_EQ(error.code(), StoreErrorOpen);

    // A page of a real store overwritten in the middle fails the check on open.
    const QString damaged = dir.filePath(QStringLiteral("damaged.sqlite"));
    {
        Store good = openStore(damaged);
        for (int i = 0; i < 2000; ++i)
            insertPerson(good.main, QStringLiteral("Person number %1 with a long name").arg(i), i);
        ASSERT_TRUE(good.main->save());
        ASSERT_TRUE(good.coordinator->checkpoint());
    }
    QFile f(damaged);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_GT(f.size(), 4096 * 8);
    f.seek((f.size() / 2 / 4096) * 4096 + 100); // inside the records, not an empty table's root page
    f.write(QByteArray(3000, '\x7f'));
    f.close();
    error = QDError();
    Store broken = openStore(damaged, 1, {}, &error);
    EXPECT_FALSE(broken.store);
    EXPECT_EQ(error.code(), StoreErrorOpen);
}

// A SQLite file that is not our store is rejected before anything in it changes: not its journal mode
// (no switch to WAL), not its tables, not a byte of it.
TEST(StoreFiles, AForeignSqliteFileIsRejectedUnchanged)
{
    const struct {
        const char *name;
        const char *sql;
        qint64 code;
    } rows[] = {
        {"another program's tables", "CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT);"
                                     "INSERT INTO notes VALUES (1, 'keep me');",
         StoreErrorIncompatibleVersion},
        {"our metadata table of another model",
         "CREATE TABLE quendel_metadata (key TEXT PRIMARY KEY, value BLOB);"
         "INSERT INTO quendel_metadata VALUES ('QuendelStoreModelName', 'SomethingElse');",
         -1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("foreign.sqlite"));
        {
            sqlite3 *db = nullptr;
            ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(db, "PRAGMA journal_mode = DELETE;", nullptr, nullptr, nullptr), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(db, row.sql, nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        QFile before(path);
        ASSERT_TRUE(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        before.close();
        ASSERT_EQ(bytes.at(18), 1) << "a rollback-journal file to begin with";

        QDError error;
        Store s = openStore(path, 1, {}, &error);
        EXPECT_FALSE(s.store);
        EXPECT_FALSE(error.isNull());
        if (row.code >= 0) {
            EXPECT_EQ(error.code(), row.code) << error.toString().toStdString();
        }
        s = Store();

        QFile after(path);
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        EXPECT_EQ(after.readAll(), bytes) << "not a byte of the file changed";
        EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-wal")));
    }
}

TEST(StoreFiles, ReplaceCopyAndDestroy)
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.sqlite"));
    const QString b = dir.filePath(QStringLiteral("b.sqlite"));
    Store sa = openStore(a);
    insertPerson(sa.main, QStringLiteral("InA"));
    ASSERT_TRUE(sa.main->save());
    {
        Store sb = openStore(b);
        insertPerson(sb.main, QStringLiteral("InB1"));
        insertPerson(sb.main, QStringLiteral("InB2"));
        ASSERT_TRUE(sb.main->save()); // still in b's write-ahead log
        // A copy through the backup API holds what the log holds too.
        const QString copy = dir.filePath(QStringLiteral("copy.sqlite"));
        ASSERT_TRUE(sb.coordinator->copyPersistentStore(copy));
        EXPECT_EQ(integrityOf(copy), QStringLiteral("ok"));
        Store sc = openStore(copy);
        EXPECT_EQ(count(sc), 2);
    }
    // Replacing the open store a with b's file: a stays added, with b's records and identity.
    QDError error;
    ASSERT_TRUE(sa.coordinator->replacePersistentStore(a, b, &error)) << error.toString().toStdString();
    sa.main->reset();
    EXPECT_EQ(count(sa), 2);
    const QString bUuid = StoreCoordinator::metadataForPersistentStoreOfType(StoreType::SQLite, b).value(StoreUUIDKey).toString();
    EXPECT_EQ(sa.store->identifier(), bUuid);
    insertPerson(sa.main, QStringLiteral("After"));
    ASSERT_TRUE(sa.main->save());
    EXPECT_EQ(count(sa), 3);

    // Replacing a file no coordinator holds, then destroying it with its companions.
    const QString c = dir.filePath(QStringLiteral("sub/c.sqlite"));
    ASSERT_TRUE(sa.coordinator->replacePersistentStore(c, a, &error)) << error.toString().toStdString();
    {
        Store sc = openStore(c);
        EXPECT_EQ(count(sc), 3);
    }
    ASSERT_TRUE(sa.coordinator->destroyPersistentStore(c));
    EXPECT_FALSE(QFileInfo::exists(c));
    EXPECT_FALSE(QFileInfo::exists(c + QStringLiteral("-wal")));
    EXPECT_FALSE(QFileInfo::exists(c + QStringLiteral("-shm")));
    EXPECT_TRUE(sa.coordinator->destroyPersistentStore(c)); // already gone: fine

    // The held store: destroying removes it from the coordinator first.
    ASSERT_TRUE(sa.coordinator->destroyPersistentStore(a));
    EXPECT_TRUE(sa.coordinator->persistentStores().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(a));
}

TEST(StoreFiles, InMemoryStore)
{
    Store s = openStore(QString());
    ASSERT_TRUE(s.store);
    EXPECT_EQ(s.store->type(), StoreType::InMemory);
    insertPerson(s.main, QStringLiteral("Ann"));
    ASSERT_TRUE(s.main->save());
    EXPECT_EQ(count(s), 1);
    Store other = openStore(QString());
    EXPECT_EQ(count(other), 0);
}

// The crash test: a child process saves a large batch and is killed in the middle of it. The file it leaves
// opens, passes the integrity check, and holds all of that save or none of it.
TEST(StoreCrash, ChildWriter)
{
    const QString path = qEnvironmentVariable("QUENDEL_STORE_CRASH_CHILD");
    if (path.isEmpty())
        GTEST_SKIP() << "runs only as the child of StoreCrash.KilledMidSaveLeavesAWholeSaveOrNone";
    Store s = openStore(path);
    ASSERT_TRUE(s.store);
    for (int round = 0;; ++round) {
        for (int i = 0; i < 20000; ++i)
            insertPerson(s.main, QStringLiteral("R%1-%2").arg(round).arg(i), round);
        QFile marker(path + QStringLiteral(".saving"));
        marker.open(QIODevice::WriteOnly);
        marker.write(QByteArray::number(round));
        marker.close();
        if (!s.main->save())
            return;
        s.main->reset();
    }
}

TEST(StoreCrash, KilledMidSaveLeavesAWholeSaveOrNone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("crash.sqlite"));
    {
        Store s = openStore(path);
        ASSERT_TRUE(s.store);
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        QFile::remove(path + QStringLiteral(".saving"));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUENDEL_STORE_CRASH_CHILD"), path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=StoreCrash.ChildWriter")});
        ASSERT_TRUE(child.waitForStarted());
        // Wait until the child has finished a save and is inside the next one, then kill it there.
        QElapsedTimer timer;
        timer.start();
        auto round = [&] {
            QFile marker(path + QStringLiteral(".saving"));
            return marker.open(QIODevice::ReadOnly) ? marker.readAll().toInt() : -1;
        };
        while (round() < 1 && timer.elapsed() < 60000)
            QThread::msleep(2);
        QThread::msleep(5 + attempt * 15);
        child.kill();
        child.waitForFinished();

        EXPECT_EQ(integrityOf(path), QStringLiteral("ok"));
        QDError error;
        Store s = openStore(path, 1, {}, &error);
        ASSERT_TRUE(s.store) << error.toString().toStdString();
        const qint64 total = count(s);
        EXPECT_EQ(total % 20000, 0) << "a partial save reached the file: " << total;
        EXPECT_GE(total, 20000 * (attempt + 1));
        // Every round in the file is complete.
        auto context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
        context->setPersistentStoreCoordinator(s.coordinator);
        for (qint64 round = 0; round * 20000 < total; ++round) {
            FetchRequest request(kPerson);
            request.setPredicate(Predicate::equal(QStringLiteral("age"), round));
            EXPECT_EQ(context->countForFetchRequest(request) % 20000, 0);
        }
    }
}

TEST(StoreFiles, AScratchStoreSkipsSyncingAndKeepsItsData)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scratch.sqlite"));
    auto synchronous = [](const Store &s) {
        sqlite3 *db = s.coordinator->sqliteStore()->writeConnection().db;
        sqlite3_stmt *statement = nullptr;
        int value = -1;
        if (sqlite3_prepare_v2(db, "PRAGMA synchronous", -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            value = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        return value;
    };
    {
        StoreOptions options;
        options.durable = false;
        Store s = openStore(path, 1, options);
        ASSERT_TRUE(s.store);
        EXPECT_EQ(synchronous(s), 0); // OFF
        insertPerson(s.main, QStringLiteral("Ann"));
        ASSERT_TRUE(s.main->save());
    }
    Store s = openStore(path);
    ASSERT_TRUE(s.store);
    EXPECT_EQ(synchronous(s), 1); // NORMAL, as every store the app keeps
    EXPECT_EQ(s.main->countForFetchRequest(FetchRequest(QStringLiteral("Person"))), 1);
}
