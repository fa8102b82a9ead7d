#include "BackupFixture.h"

#include "Classes/Backups/DBFileRestore.h"

#include "QuendelKit/Infra/QDSSKeychain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <csignal>

using namespace backup_test;

namespace {

// Where archives made for a test wait while the home is emptied (inside the process's home, beside the
// folders that emptying clears).
struct Shelf
{
    QString path() const
    {
        const QString folder = quendel::test::processHome().path() + QStringLiteral("/shelf");
        QDir().mkpath(folder);
        return folder;
    }
    QString filePath(const QString &name) const { return QDir(path()).filePath(name); }
};

Shelf archiveShelf()
{
    return {};
}

// A home holding "New One" and "New Two" with an attachment and a picture, backed up and then emptied: the
// archive is kept outside the home. Then the home gets the "Old" data the restore is to replace.
QString prepare(const QString &password = QString())
{
    quendel::test::startWithEmptyHome();
    if (!password.isEmpty())
        QDSSKeychain::setPassword(password, QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount);
    QString archive;
    {
        StoreOwner owner;
        owner.addContact(QStringLiteral("New"), QStringLiteral("One"), QStringLiteral("new.pdf"), QStringLiteral("new-one.jpg"));
        owner.addContact(QStringLiteral("New"), QStringLiteral("Two"));
        BackupFile backup;
        backup.createBackupForBackupType(BackupTypeFull,
                                         SharedAppGlobals::sharedAppGlobals().persistentCoordinatorForDatabaseUpdate(),
                                         [&](const QString &path, qint64, qint64) { archive = path; });
    }
    EXPECT_FALSE(archive.isEmpty());
    const QString kept = archiveShelf().filePath(QFileInfo(archive).fileName());
    QFile::remove(kept);
    EXPECT_TRUE(QFile::rename(archive, kept));
    quendel::test::startWithEmptyHome();
    return kept;
}

QStringList filesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QString dataFile(const QString &name)
{
    return QDir(platform::core::StandardPaths::dataFolder()).filePath(name);
}

class RestoreTest : public BackupTest
{
protected:
    void makeOldData(StoreOwner &owner)
    {
        owner.addContact(QStringLiteral("Old"), QStringLiteral("Timer"), QStringLiteral("old.pdf"), QStringLiteral("old.jpg"));
    }

    int restore(StoreOwner &owner, const QString &archive, const QString &password = QString(), int type = RestoreTypeFile)
    {
        owner.context.reset();
        DBFileRestore restore;
        restore.setStoreController(owner.controller);
        if (!password.isNull())
            restore.setPword(password);
        const int result = restore.restore_db_file(archive, type);
        owner.context = owner.controller->managedObjectContext();
        return result;
    }

    // The old data, whole: store, attachments and pictures.
    void expectOldData(StoreOwner &owner)
    {
        EXPECT_EQ(owner.contactNames(), QStringList{QStringLiteral("Old Timer")});
        EXPECT_EQ(filesIn(attachmentsFolder()), QStringList{QStringLiteral("old.pdf")});
        EXPECT_EQ(filesIn(picturesFolder()), QStringList{QStringLiteral("old.jpg")});
    }

    void expectNewData(StoreOwner &owner)
    {
        EXPECT_EQ(owner.contactNames(), (QStringList{QStringLiteral("New One"), QStringLiteral("New Two")}));
        EXPECT_EQ(filesIn(attachmentsFolder()), QStringList{QStringLiteral("new.pdf")});
        EXPECT_EQ(filesIn(picturesFolder()), QStringList{QStringLiteral("new-one.jpg")});
        EXPECT_EQ(readFile(QDir(attachmentsFolder()).filePath(QStringLiteral("new.pdf"))), QByteArray("attachment new.pdf"));
    }

    void expectNoWorkFiles()
    {
        for (const QString &name : {QStringLiteral("extract"), QStringLiteral("Quendel.sqlite.tmp"),
                                    QStringLiteral("Quendel.sqlite.backup"), QStringLiteral("RestoreJournal.plist")})
            EXPECT_FALSE(QFileInfo::exists(dataFile(name))) << name.toStdString();
        EXPECT_FALSE(QFileInfo::exists(attachmentsFolder() + QStringLiteral(".restore")));
        EXPECT_FALSE(QFileInfo::exists(attachmentsFolder() + QStringLiteral(".previous")));
    }
};

TEST_F(RestoreTest, AFileRestoreReplacesTheStoreTheAttachmentsAndThePictures)
{
    const QString archive = prepare();
    StoreOwner owner;
    makeOldData(owner);
    // Stale files of an earlier failed restore must not come back as attachments.
    writeFile(dataFile(QStringLiteral("extract/stale.txt")), "stale");

    EXPECT_EQ(restore(owner, archive), RestoreResultSuccess);
    expectNewData(owner);
    expectNoWorkFiles();
    EXPECT_TRUE(dataPlistValues().boolValue(DBFileRestore::RestoredKey));
}

TEST_F(RestoreTest, ADropboxRestoreReplacesOnlyTheStore)
{
    const QString archive = prepare();
    StoreOwner owner;
    makeOldData(owner);
    EXPECT_EQ(restore(owner, archive, QString(), RestoreTypeDropbox), RestoreResultSuccess);
    EXPECT_EQ(owner.contactNames(), (QStringList{QStringLiteral("New One"), QStringLiteral("New Two")}));
    EXPECT_EQ(filesIn(attachmentsFolder()), QStringList{QStringLiteral("old.pdf")});
}

TEST_F(RestoreTest, EncryptedArchivesNeedTheirPasscode)
{
    const QString archive = prepare(QStringLiteral("1357"));
    QDSSKeychain::deletePasswordForService(QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount);
    StoreOwner owner;
    makeOldData(owner);
    EXPECT_TRUE(DBFileRestore::doesFileHavePassword(archive));

    EXPECT_EQ(restore(owner, archive), RestoreResultWrongPassword);
    expectOldData(owner);
    EXPECT_EQ(restore(owner, archive, QStringLiteral("0000")), RestoreResultWrongPassword);
    expectOldData(owner);
    EXPECT_EQ(restore(owner, archive, QStringLiteral("1357")), RestoreResultSuccess);
    expectNewData(owner);
}

TEST_F(RestoreTest, ArchivesOfTheZipToolRestore)
{
    const QString ours = prepare();
    // Unpacked and packed again by the standard tool, with a password.
    const QString unpacked = archiveShelf().filePath(QStringLiteral("unpacked"));
    QDir(unpacked).removeRecursively();
    ASSERT_EQ(run(QStringLiteral("unzip"), {QStringLiteral("-q"), ours, QStringLiteral("-d"), unpacked}).code, 0);
    const QString theirs = archiveShelf().filePath(QStringLiteral("theirs.zip"));
    QFile::remove(theirs);
    QProcess zip;
    zip.setWorkingDirectory(unpacked);
    zip.start(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("pw"), QStringLiteral("-r"),
                                      theirs, QStringLiteral(".")});
    ASSERT_TRUE(zip.waitForFinished());
    ASSERT_EQ(zip.exitCode(), 0);

    StoreOwner owner;
    makeOldData(owner);
    EXPECT_TRUE(DBFileRestore::doesFileHavePassword(theirs));
    EXPECT_EQ(restore(owner, theirs, QStringLiteral("pw")), RestoreResultSuccess);
    expectNewData(owner);
}

TEST_F(RestoreTest, FailuresLeaveTheCurrentDataWhole)
{
    const QString archive = prepare();
    const QString shelf = archiveShelf().path();

    // Archives that must fail, each with its code.
    const QString notZip = shelf + QStringLiteral("/notzip.zip");
    writeFile(notZip, "this is no archive");
    const QString noStore = shelf + QStringLiteral("/nostore.zip");
    const QString badStore = shelf + QStringLiteral("/badstore.zip");
    const QString hostile = shelf + QStringLiteral("/hostile.zip");
    {
        writeFile(shelf + QStringLiteral("/src/readme.txt"), "no store here");
        writeFile(shelf + QStringLiteral("/bad/data.db"), "SQLite format 3 but not really a store at all");
        QFile::remove(noStore);
        QFile::remove(badStore);
        QProcess zip;
        zip.setWorkingDirectory(shelf + QStringLiteral("/src"));
        zip.start(QStringLiteral("zip"), {QStringLiteral("-q"), noStore, QStringLiteral("readme.txt")});
        ASSERT_TRUE(zip.waitForFinished());
        zip.setWorkingDirectory(shelf + QStringLiteral("/bad"));
        zip.start(QStringLiteral("zip"), {QStringLiteral("-q"), badStore, QStringLiteral("data.db")});
        ASSERT_TRUE(zip.waitForFinished());
        // A member whose name climbs out of the extract folder, beside a good store.
        const QString unpacked = shelf + QStringLiteral("/good");
        QDir(unpacked).removeRecursively();
        ASSERT_EQ(run(QStringLiteral("unzip"), {QStringLiteral("-q"), archive, QStringLiteral("-d"), unpacked}).code, 0);
        ASSERT_EQ(run(QStringLiteral("python3"), {QStringLiteral("-c"),
                                                  QStringLiteral("import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w'); "
                                                                 "z.write(sys.argv[2],'data.db'); z.writestr('../../escaped.txt','x'); z.close()"),
                                                  hostile, unpacked + QStringLiteral("/data.db")})
                      .code,
                  0);
    }
    struct Case
    {
        QString archive;
        QString password;
        int result;
    };
    const QList<Case> cases = {
        {notZip, QString(), RestoreResultFailed},
        {notZip, QStringLiteral("pw"), RestoreResultWrongPassword},
        {noStore, QString(), RestoreResultNoDatabase},
        {badStore, QString(), RestoreResultFailed},
        {hostile, QString(), RestoreResultFailed},
        {shelf + QStringLiteral("/missing.zip"), QString(), RestoreResultFailed},
    };
    StoreOwner owner;
    makeOldData(owner);
    for (const Case &c : cases) {
        SCOPED_TRACE(QFileInfo(c.archive).fileName().toStdString());
        // Stale work files of an earlier run are cleared, never used.
        writeFile(dataFile(QStringLiteral("Quendel.sqlite.tmp")), "stale");
        EXPECT_EQ(restore(owner, c.archive, c.password), c.result);
        expectOldData(owner);
        EXPECT_FALSE(QFileInfo::exists(dataFile(QStringLiteral("RestoreJournal.plist"))));
        EXPECT_FALSE(QFileInfo::exists(dataFile(QStringLiteral("escaped.txt"))));
        EXPECT_FALSE(QFileInfo::exists(QDir(platform::core::StandardPaths::dataFolder()).filePath(QStringLiteral("../escaped.txt"))));
    }
}

TEST_F(RestoreTest, AStoreOfTheOlderSharedCloudStoreRestoresWithAWarning)
{
    const QString archive = prepare();
    const QString unpacked = archiveShelf().filePath(QStringLiteral("cloud"));
    QDir(unpacked).removeRecursively();
    ASSERT_EQ(run(QStringLiteral("unzip"), {QStringLiteral("-q"), archive, QStringLiteral("-d"), unpacked}).code, 0);
    QVariantMap metadata = platform::store::StoreCoordinator::metadataForPersistentStoreOfType(
        platform::store::StoreType::SQLite, unpacked + QStringLiteral("/data.db"));
    metadata.insert(QStringLiteral("com.apple.coredata.ubiquity.token"), QStringLiteral("token"));
    ASSERT_TRUE(platform::store::StoreCoordinator::setMetadataForPersistentStoreOfType(
        metadata, platform::store::StoreType::SQLite, unpacked + QStringLiteral("/data.db")));
    const QString cloud = archiveShelf().filePath(QStringLiteral("cloud.zip"));
    QFile::remove(cloud);
    QProcess zip;
    zip.setWorkingDirectory(unpacked);
    zip.start(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), cloud, QStringLiteral(".")});
    ASSERT_TRUE(zip.waitForFinished());

    StoreOwner owner;
    makeOldData(owner);
    EXPECT_EQ(restore(owner, cloud), RestoreResultCloudStore);
    expectNewData(owner);
}

// ---- Crash test: a child process restores (or backs up) and is stopped at one of its steps ----

TEST(RestoreCrash, Child)
{
    const QString step = qEnvironmentVariable("QUENDEL_RESTORE_CRASH_STEP");
    if (step.isEmpty())
        GTEST_SKIP() << "runs only as the child of RestoreCrash.StoppedAtAnyStepLeavesOldOrNewDataWhole";
    qunsetenv("isUITest");
    const QString archive = prepare();
    // Tell the parent where this child's home is before anything can stop it.
    {
        QFile report(qEnvironmentVariable("QUENDEL_RESTORE_CRASH_REPORT"));
        ASSERT_TRUE(report.open(QIODevice::WriteOnly));
        report.write(quendel::test::processHome().path().toUtf8());
    }
    auto stopAt = [step](const QString &name) {
        if (name == step)
            std::raise(SIGKILL);
    };
    DBFileRestore::setStepHook(stopAt);
    BackupFile::setStepHook(stopAt);
    StoreOwner owner;
    owner.addContact(QStringLiteral("Old"), QStringLiteral("Timer"), QStringLiteral("old.pdf"), QStringLiteral("old.jpg"));
    if (step == QLatin1String("storeCopied") || step == QLatin1String("membersAdded") ||
        step == QLatin1String("archiveWritten")) {
        BackupFile backup;
        backup.createBackupForBackupType(BackupTypeFull,
                                         SharedAppGlobals::sharedAppGlobals().persistentCoordinatorForDatabaseUpdate(),
                                         [](const QString &, qint64, qint64) {});
    } else {
        owner.context.reset();
        DBFileRestore restore;
        restore.setStoreController(owner.controller);
        restore.restore_db_file(archive, RestoreTypeFile);
    }
    std::raise(SIGKILL);
}

TEST(RestoreCrash, StoppedAtAnyStepLeavesOldOrNewDataWhole)
{
    const QStringList steps = {QStringLiteral("storeCopied"),      QStringLiteral("membersAdded"),
                               QStringLiteral("archiveWritten"),   QStringLiteral("extracted"),
                               QStringLiteral("storeChecked"),     QStringLiteral("staged"),
                               QStringLiteral("storeClosed"),      QStringLiteral("journalWritten"),
                               QStringLiteral("attachmentsSwapped"), QStringLiteral("picturesSwapped"),
                               QStringLiteral("storeSwapped"),     QStringLiteral("journalRemoved"),
                               QStringLiteral("reloaded")};
    QTemporaryDir reports;
    for (const QString &step : steps) {
        SCOPED_TRACE(step.toStdString());
        const QString report = reports.filePath(step);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUENDEL_RESTORE_CRASH_STEP"), step);
        env.insert(QStringLiteral("QUENDEL_RESTORE_CRASH_REPORT"), report);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=RestoreCrash.Child")});
        ASSERT_TRUE(child.waitForStarted());
        ASSERT_TRUE(child.waitForFinished(120000));
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit) << child.readAll().toStdString();
        const QString home = QString::fromUtf8(readFile(report));
        ASSERT_FALSE(home.isEmpty());

        // What the next start does before it opens the store, then the store as SQLite sees it.
        const QString data = home + QStringLiteral("/data/com.quendel.QuendelMac");
        DBFileRestore::Folders folders{data, data + QStringLiteral("/FileAttachments"),
                                       data + QStringLiteral("/PersonImageReferences")};
        ASSERT_TRUE(QFileInfo::exists(folders.attachments)) << folders.attachments.toStdString();
        EXPECT_TRUE(DBFileRestore::recoverInterruptedRestore(folders));
        const QString store = data + QStringLiteral("/Quendel.sqlite");
        const ToolRun check = run(QStringLiteral("sqlite3"), {store, QStringLiteral("PRAGMA integrity_check; SELECT displayName FROM Person ORDER BY 1;")});
        const QStringList lines = check.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.first(), QStringLiteral("ok"));
        const QStringList names = lines.mid(1);
        const QStringList attachments = filesIn(folders.attachments);
        const QStringList pictures = filesIn(folders.pictures);
        if (names == QStringList{QStringLiteral("Old Timer")}) {
            EXPECT_EQ(attachments, QStringList{QStringLiteral("old.pdf")});
            EXPECT_EQ(pictures, QStringList{QStringLiteral("old.jpg")});
        } else {
            EXPECT_EQ(names, (QStringList{QStringLiteral("New One"), QStringLiteral("New Two")}));
            EXPECT_EQ(attachments, QStringList{QStringLiteral("new.pdf")});
            EXPECT_EQ(pictures, QStringList{QStringLiteral("new-one.jpg")});
            // Past the journal the restored data is what the next start finds.
        }
        if (steps.indexOf(step) >= steps.indexOf(QStringLiteral("journalWritten"))) {
            EXPECT_EQ(names.size(), 2);
        }
        if (steps.indexOf(step) < steps.indexOf(QStringLiteral("storeClosed"))) {
            EXPECT_EQ(names.size(), 1);
        }
        // A stopped backup leaves no half archive under an archive's name.
        for (const QString &name : QDir(home + QStringLiteral("/Documents")).entryList({QStringLiteral("*.zip")}, QDir::Files)) {
            if (BackupFile::isFullArchiveName(name)) {
                EXPECT_EQ(run(QStringLiteral("unzip"), {QStringLiteral("-tq"), home + QStringLiteral("/Documents/") + name}).code, 0);
            }
        }
        QDir(home).removeRecursively();
    }
}

} // namespace
