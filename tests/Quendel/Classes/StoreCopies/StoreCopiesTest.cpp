#include "Quendel/FreshHome.h"

#include "Classes/CoreDataControllerShared.h"

#include "QuendelKit/QuendelModel.h"

#include "platform/core/StandardPaths.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace platform::store;
using platform::core::QDError;

namespace {

struct OpenStore
{
    std::shared_ptr<StoreCoordinator> coordinator;
    std::shared_ptr<PersistentStore> store;
    ContextPtr context;
};

OpenStore open(const std::shared_ptr<const ManagedObjectModel> &model, const QString &path, StoreOptions options = {})
{
    OpenStore s;
    s.coordinator = std::make_shared<StoreCoordinator>(model);
    QDError error;
    s.store = s.coordinator->addPersistentStore(StoreType::SQLite, path, options, &error);
    EXPECT_TRUE(s.store) << error.toString().toStdString();
    s.context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::MainQueue);
    s.context->setPersistentStoreCoordinator(s.coordinator);
    return s;
}

void touch(const QString &path, const QByteArray &bytes = "x")
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A contact with an attachment linked to it, and one item of the outgoing cloud queue.
void addContactWithAttachmentAndQueueItem(const OpenStore &s, const QString &name, const QString &attachment)
{
    ManagedObject *person = s.context->insertNewObject(QStringLiteral("Person"));
    person->setValue(QStringLiteral("displayName"), name);
    ManagedObject *file = s.context->insertNewObject(QStringLiteral("FileAttachments"));
    file->setValue(QStringLiteral("fileName"), attachment);
    file->setRelatedObject(QStringLiteral("person"), person);
    ManagedObject *item = s.context->insertNewObject(CoreDataControllerShared::CloudProcessItemEntityName);
    item->setValue(QStringLiteral("objectTableName"), QStringLiteral("Person"));
    QDError error;
    ASSERT_TRUE(s.context->save(&error)) << error.toString().toStdString();
}

qint64 countOf(const OpenStore &s, const QString &entity)
{
    return s.context->countForFetchRequest(FetchRequest(entity));
}

class ProgressRecorder : public CoreDataControllerViewDelegate
{
public:
    bool implementsUpdateProgressBarWithValue() const override { return true; }
    void updateProgressBarWithValue(double value) override { values << value; }
    QList<double> values;
};

// Reports reach the window through the main queue.
void deliverMainQueue()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

} // namespace

TEST(StoreCopies, TheKindOfCopyFollowsTheFilesBesideTheStore)
{
    struct Case
    {
        const char *what;
        QStringList files;
        bool storeCopy;
    };
    const QList<Case> cases = {
        {"the store file alone", {QStringLiteral("Quendel.sqlite")}, false},
        {"with its log", {QStringLiteral("Quendel.sqlite"), QStringLiteral("Quendel.sqlite-wal")}, true},
        {"with its log and index",
         {QStringLiteral("Quendel.sqlite"), QStringLiteral("Quendel.sqlite-wal"), QStringLiteral("Quendel.sqlite-shm")},
         true},
        {"another store name", {QStringLiteral("other.sqlite")}, true},
        {"other files only beside it", {QStringLiteral("Quendel.sqlite"), QStringLiteral("data.plist")}, false},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        for (const QString &name : c.files)
            touch(dir.filePath(name));
        EXPECT_EQ(CoreDataControllerShared::isDatabaseWithWALOptions(dir.filePath(c.files.first())), c.storeCopy)
            << c.what;
    }
    QTemporaryDir dir;
    EXPECT_TRUE(CoreDataControllerShared::isDatabaseWithWALOptions(dir.filePath(QStringLiteral("gone/Quendel.sqlite"))));
}

TEST(StoreCopies, AnOpenStoreIsCopiedWithWhatItsLogHoldsAndAClosedOneFileForFile)
{
    QTemporaryDir dir;
    const auto model = QuendelModel::create();
    const QString source = dir.filePath(QStringLiteral("Quendel.sqlite"));
    const QString destination = dir.filePath(QStringLiteral("copies/tempdata.db"));
    QDir().mkpath(dir.filePath(QStringLiteral("copies")));
    // A log left by an earlier copy must not be applied to the new one.
    touch(destination + QStringLiteral("-wal"), QByteArray(4096, 'z'));
    {
        OpenStore s = open(model, source);
        addContactWithAttachmentAndQueueItem(s, QStringLiteral("Ann Lee"), QStringLiteral("a.pdf"));
        ASSERT_TRUE(QFileInfo::exists(source + QStringLiteral("-wal")));
        QDError error;
        ASSERT_TRUE(CoreDataControllerShared::backupDatabaseAtURL(source, destination, &error))
            << error.toString().toStdString();
        EXPECT_FALSE(QFileInfo::exists(destination + QStringLiteral("-wal")));
        OpenStore copy = open(model, destination);
        EXPECT_EQ(countOf(copy, QStringLiteral("Person")), 1);
    }
    // Closed, the store is one file, copied as it is.
    ASSERT_FALSE(QFileInfo::exists(source + QStringLiteral("-wal")));
    QDError error;
    ASSERT_TRUE(CoreDataControllerShared::backupDatabaseAtURL(source, destination, &error)) << error.toString().toStdString();
    EXPECT_EQ(bytesOf(destination), bytesOf(source));
}

TEST(StoreCopies, TheStoresOwnCopyFailsWithoutASourceOrWhenTheOldDestinationStays)
{
    QTemporaryDir dir;
    const auto model = QuendelModel::create();
    const QString source = dir.filePath(QStringLiteral("Quendel.sqlite"));
    { OpenStore s = open(model, source); }
    auto coordinator = std::make_shared<StoreCoordinator>(model);
    QDError error;
    EXPECT_FALSE(CoreDataControllerShared::backupWALDatabaseAtURL(QString(), dir.filePath(QStringLiteral("copy.sqlite")),
                                                                  coordinator, &error));
    EXPECT_FALSE(error.isNull());
    EXPECT_TRUE(coordinator->persistentStores().isEmpty());

    // Something in the destination's place that cannot be removed: the copy fails and leaves it as it was.
    const QString destination = dir.filePath(QStringLiteral("copy.sqlite"));
    QDir().mkpath(destination);
    touch(QDir(destination).filePath(QStringLiteral("kept.txt")), "kept");
    error = QDError();
    EXPECT_FALSE(CoreDataControllerShared::backupWALDatabaseAtURL(source, destination, coordinator, &error));
    EXPECT_FALSE(error.isNull());
    EXPECT_EQ(bytesOf(QDir(destination).filePath(QStringLiteral("kept.txt"))), QByteArray("kept"));
}

TEST(StoreCopies, SeedingCopiesEverythingButTheCloudQueueAndLinksTheCopies)
{
    QTemporaryDir dir;
    const auto model = QuendelModel::create();
    const QString seedPath = dir.filePath(QStringLiteral("seed.sqlite"));
    const QString targetPath = dir.filePath(QStringLiteral("target.sqlite"));
    OpenStore seed = open(model, seedPath);
    addContactWithAttachmentAndQueueItem(seed, QStringLiteral("Ann Lee"), QStringLiteral("a.pdf"));
    addContactWithAttachmentAndQueueItem(seed, QStringLiteral("Bo Sun"), QStringLiteral("b.pdf"));
    ASSERT_TRUE(seed.coordinator->setMetadata({{QStringLiteral("AddFormFieldTypeValues"), 1},
                                               {QStringLiteral("OneTime_MigratePrivateImages"), 1}},
                                              seed.store));
    OpenStore target = open(model, targetPath);
    ASSERT_TRUE(target.coordinator->setMetadata({{QStringLiteral("AddFormFieldTypeValues"), 5}}, target.store));
    const QString targetUUID = target.store->identifier();

    CoreDataControllerShared controller;
    auto progress = std::make_shared<ProgressRecorder>();
    controller.setViewDelegate(progress);
    QDError error;
    ASSERT_TRUE(controller.seedStoreWithMCPersistenStore(target.coordinator, target.store, seed.store, &error))
        << error.toString().toStdString();
    EXPECT_FALSE(controller.migrator());

    OpenStore copy = open(model, dir.filePath(QStringLiteral("target.sqlite")));
    EXPECT_EQ(countOf(copy, QStringLiteral("Person")), 2);
    EXPECT_EQ(countOf(copy, CoreDataControllerShared::CloudProcessItemEntityName), 0);
    QStringList links;
    for (ManagedObject *file : copy.context->executeFetchRequest(FetchRequest(QStringLiteral("FileAttachments")))) {
        ManagedObject *person = file->relatedObject(QStringLiteral("person"));
        ASSERT_NE(person, nullptr);
        links << file->value(QStringLiteral("fileName")).toString() + QStringLiteral(" of ") +
                     person->value(QStringLiteral("displayName")).toString();
    }
    links.sort();
    EXPECT_EQ(links, (QStringList{QStringLiteral("a.pdf of Ann Lee"), QStringLiteral("b.pdf of Bo Sun")}));
    const QVariantMap metadata = copy.coordinator->metadataForPersistentStore(copy.store);
    EXPECT_EQ(metadata.value(QStringLiteral("AddFormFieldTypeValues")).toInt(), 5);
    EXPECT_EQ(metadata.value(QStringLiteral("OneTime_MigratePrivateImages")).toInt(), 1);
    EXPECT_EQ(copy.store->identifier(), targetUUID);
    // The seed is as it was.
    EXPECT_EQ(countOf(seed, CoreDataControllerShared::CloudProcessItemEntityName), 2);

    // 0.1 at the start, then one step after every entity copied, rising and short of 1.
    deliverMainQueue();
    const qsizetype copied = qsizetype(model->entities().size()) - 1;
    ASSERT_EQ(progress->values.size(), copied + 1);
    EXPECT_DOUBLE_EQ(progress->values.first(), 0.1);
    for (qsizetype i = 1; i < progress->values.size(); ++i)
        EXPECT_GE(progress->values[i], progress->values[i - 1]);
    EXPECT_LT(progress->values.last(), 1.0);
}

TEST(StoreCopies, SeedingAOneEntityModelReportsItsEndWithoutDividingByZero)
{
    QTemporaryDir dir;
    auto model = std::make_shared<ManagedObjectModel>(QStringLiteral("Notes"), 1);
    EntityDescription note(QStringLiteral("Note"));
    note.addAttribute({QStringLiteral("text")});
    model->addEntity(std::move(note));
    OpenStore seed = open(model, dir.filePath(QStringLiteral("seed.sqlite")));
    seed.context->insertNewObject(QStringLiteral("Note"))->setValue(QStringLiteral("text"), QStringLiteral("kept"));
    ASSERT_TRUE(seed.context->save());
    OpenStore target = open(model, dir.filePath(QStringLiteral("target.sqlite")));

    CoreDataControllerShared controller;
    auto progress = std::make_shared<ProgressRecorder>();
    controller.setViewDelegate(progress);
    ASSERT_TRUE(controller.seedStoreWithMCPersistenStore(target.coordinator, target.store, seed.store));
    deliverMainQueue();
    EXPECT_EQ(progress->values, (QList<double>{0.1, 0.9999999761581421}));
    EXPECT_EQ(countOf(open(model, dir.filePath(QStringLiteral("target.sqlite"))), QStringLiteral("Note")), 1);
}

TEST(StoreCopies, ASeedThatCannotBeReadIsReportedNotTakenForACopy)
{
    QTemporaryDir dir;
    const auto model = QuendelModel::create();
    const QString seedPath = dir.filePath(QStringLiteral("seed.sqlite"));
    OpenStore seed = open(model, seedPath);
    addContactWithAttachmentAndQueueItem(seed, QStringLiteral("Ann Lee"), QStringLiteral("a.pdf"));
    // The file goes while its store is still added: nothing can open it any more.
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(seedPath + suffix);
    OpenStore target = open(model, dir.filePath(QStringLiteral("target.sqlite")));

    CoreDataControllerShared controller;
    QDError error;
    EXPECT_FALSE(controller.seedStoreWithMCPersistenStore(target.coordinator, target.store, seed.store, &error));
    EXPECT_FALSE(error.isNull());
    EXPECT_FALSE(controller.migrator());
}

class RecordCopyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qunsetenv("isUITest");
        quendel::test::startWithEmptyHome();
    }
    QString dataFile(const QString &name) const
    {
        return QDir(platform::core::StandardPaths::dataFolder()).filePath(name);
    }
};

TEST_F(RecordCopyTest, TheBackupCopyIsMadeRecordByRecordIntoOneFileAndLeavesNoWorkFiles)
{
    const auto model = QuendelModel::create();
    const QString storePath = dataFile(QStringLiteral("Quendel.sqlite"));
    OpenStore live = open(model, storePath);
    addContactWithAttachmentAndQueueItem(live, QStringLiteral("Ann Lee"), QStringLiteral("a.pdf"));
    // A work store left by a backup that stopped half-way is replaced.
    touch(dataFile(QStringLiteral("QuendelAutoBackup.sqlite")), "left over");

    StoreOptions readOnly;
    readOnly.readOnly = true;
    readOnly.migrateAutomatically = false;
    OpenStore backup = open(model, storePath, readOnly);
    CoreDataControllerShared controller;
    QDError error;
    const QString copy = controller.makeiCloudBackupWithObjectCopyWithPSC(backup.coordinator, &error);
    ASSERT_EQ(copy, dataFile(QStringLiteral("QuendelCopy.sqlite"))) << error.toString().toStdString();
    for (const QString &name : {QStringLiteral("QuendelAutoBackup.sqlite"), QStringLiteral("QuendelAutoBackup.sqlite-wal"),
                                QStringLiteral("QuendelCopy.sqlite-wal"), QStringLiteral("QuendelCopy.sqlite-shm")})
        EXPECT_FALSE(QFileInfo::exists(dataFile(name))) << name.toStdString();
    // The given coordinator still holds the store it was given.
    ASSERT_EQ(backup.coordinator->persistentStores().size(), 1);
    EXPECT_EQ(backup.coordinator->persistentStores().first(), backup.store);

    OpenStore copied = open(model, copy);
    EXPECT_EQ(countOf(copied, QStringLiteral("Person")), 1);
    EXPECT_EQ(countOf(copied, QStringLiteral("FileAttachments")), 1);
    EXPECT_EQ(countOf(copied, CoreDataControllerShared::CloudProcessItemEntityName), 0);
    EXPECT_NE(copied.store->identifier(), live.store->identifier());
}

TEST_F(RecordCopyTest, ABackupCopyThatCannotBeMadeLeavesNothingBehind)
{
    const auto model = QuendelModel::create();
    CoreDataControllerShared controller;
    QDError error;
    EXPECT_TRUE(controller.makeiCloudBackupWithObjectCopyWithPSC(nullptr, &error).isNull());
    EXPECT_FALSE(error.isNull());

    const QString storePath = dataFile(QStringLiteral("Quendel.sqlite"));
    OpenStore live = open(model, storePath);
    addContactWithAttachmentAndQueueItem(live, QStringLiteral("Ann Lee"), QStringLiteral("a.pdf"));
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(storePath + suffix);
    error = QDError();
    EXPECT_TRUE(controller.makeiCloudBackupWithObjectCopyWithPSC(live.coordinator, &error).isNull());
    EXPECT_FALSE(error.isNull());
    for (const QString &name : {QStringLiteral("QuendelAutoBackup.sqlite"), QStringLiteral("QuendelCopy.sqlite")})
        EXPECT_FALSE(QFileInfo::exists(dataFile(name))) << name.toStdString();
}
