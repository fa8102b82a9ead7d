#include "BackupFixture.h"

#include "QuendelKit/Infra/QDSSKeychain.h"

#include "platform/core/UserDefaults.h"

using namespace backup_test;

namespace {

class RecordingDelegate : public BackupFileDelegate
{
public:
    void backupFileStartWithTotalFiles(quint64 total) override { calls << QStringLiteral("start %1").arg(total); }
    void backupFileAddedMainDB() override { calls << QStringLiteral("mainDB"); }
    void backupFileUpdateStatusWithLocalFiles(quint64 handled) override { calls << QStringLiteral("local %1").arg(handled); }
    QStringList calls;
};

struct Made
{
    QString path;
    int blockCalls = 0;
};

Made makeFullBackup(const std::shared_ptr<BackupFileDelegate> &delegate = nullptr)
{
    Made made;
    BackupFile backup;
    backup.setDelegate(delegate);
    backup.createBackupForBackupType(BackupTypeFull, SharedAppGlobals::sharedAppGlobals().persistentCoordinatorForDatabaseUpdate(),
                                     [&](const QString &path, qint64 downloaded, qint64 failed) {
                                         ++made.blockCalls;
                                         made.path = path;
                                         EXPECT_EQ(downloaded, 0);
                                         EXPECT_EQ(failed, 0);
                                     });
    return made;
}

using BackupFileTest = BackupTest;

TEST_F(BackupFileTest, AFullArchiveHoldsTheStoreTheFilesInStoreOrderAndTheDescriptionLast)
{
    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("contract.pdf"), QStringLiteral("ann.jpg"));
    owner.addContact(QStringLiteral("Bo"), QStringLiteral("Sun"), QStringLiteral("Zoë notes.txt"));
    // A record whose file is gone, and one whose stored name would lead out of the folder.
    owner.addContact(QStringLiteral("Cy"), QStringLiteral("Fox"), QStringLiteral("missing.doc"), {}, false);
    owner.addContact(QStringLiteral("Di"), QStringLiteral("Ray"), QStringLiteral("../../escape.txt"), {}, false);

    auto delegate = std::make_shared<RecordingDelegate>();
    const Made made = makeFullBackup(delegate);
    ASSERT_EQ(made.blockCalls, 1);
    ASSERT_FALSE(made.path.isEmpty());
    EXPECT_EQ(QFileInfo(made.path).absolutePath(), QDir(documents()).absolutePath());
    EXPECT_TRUE(BackupFile::isFullArchiveName(QFileInfo(made.path).fileName())) << made.path.toStdString();

    EXPECT_EQ(membersOf(made.path), (QStringList{QStringLiteral("data.db"), QStringLiteral("contract.pdf"),
                                                 QStringLiteral("Zoë notes.txt"), QStringLiteral("ann.jpg"),
                                                 QStringLiteral("BackupInfo.xml")}));
    // Every record is counted as handled, also those whose file was left out.
    EXPECT_EQ(delegate->calls, (QStringList{QStringLiteral("start 5"), QStringLiteral("mainDB"), QStringLiteral("local 1"),
                                            QStringLiteral("local 2"), QStringLiteral("local 3"),
                                            QStringLiteral("local 4"), QStringLiteral("local 5")}));
    // The standard tool unpacks it, and data.db is a whole store with the contacts.
    const QString out = QDir(documents()).filePath(QStringLiteral("check"));
    ASSERT_EQ(run(QStringLiteral("unzip"), {QStringLiteral("-q"), made.path, QStringLiteral("-d"), out}).code, 0);
    EXPECT_EQ(readFile(out + QStringLiteral("/contract.pdf")), QByteArray("attachment contract.pdf"));
    EXPECT_EQ(run(QStringLiteral("sqlite3"), {out + QStringLiteral("/data.db"), QStringLiteral("PRAGMA integrity_check; SELECT count(*) FROM Person;")}).out,
              QStringLiteral("ok\n4\n"));
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/data.db-wal")));
    // No work file stays behind, and the date of the backup is noted.
    EXPECT_FALSE(QFileInfo::exists(QDir(platform::core::StandardPaths::dataFolder()).filePath(QStringLiteral("QuendelCopy.sqlite"))));
    EXPECT_TRUE(dataPlistValues().contains(BackupFile::LastBackupDateKey));
}

TEST_F(BackupFileTest, TheArchivedStoreIsACopyOfTheRecordsWithTheirLinksButNotOfTheCloudQueue)
{
    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("contract.pdf"));
    owner.addContact(QStringLiteral("Bo"), QStringLiteral("Sun"), QStringLiteral("notes.txt"));
    owner.context->performAndWait([&] {
        platform::store::ManagedObject *item = owner.context->insertNewObject(QStringLiteral("QDCloudProcessItem"));
        item->setValue(QStringLiteral("objectTableName"), QStringLiteral("Person"));
        ASSERT_TRUE(owner.context->save());
    });

    const Made made = makeFullBackup();
    ASSERT_FALSE(made.path.isEmpty());
    const QString out = QDir(documents()).filePath(QStringLiteral("check"));
    ASSERT_EQ(run(QStringLiteral("unzip"), {QStringLiteral("-q"), made.path, QStringLiteral("data.db"), QStringLiteral("-d"), out}).code, 0);
    const QString data = out + QStringLiteral("/data.db");
    EXPECT_EQ(run(QStringLiteral("sqlite3"),
                  {data, QStringLiteral("SELECT f.fileName || ' of ' || p.displayName FROM FileAttachments f "
                                        "JOIN Person p ON f.person_pk = p.pk ORDER BY 1; "
                                        "SELECT count(*) FROM QDCloudProcessItem;")})
                  .out,
              QStringLiteral("contract.pdf of Ann Lee\nnotes.txt of Bo Sun\n0\n"));
    // A store of its own, not the live file's twin, and the work store is gone.
    const QString live = QDir(platform::core::StandardPaths::dataFolder()).filePath(QStringLiteral("Quendel.sqlite"));
    EXPECT_NE(platform::store::StoreCoordinator::metadataForPersistentStoreOfType(platform::store::StoreType::SQLite, data)
                  .value(platform::store::StoreUUIDKey),
              platform::store::StoreCoordinator::metadataForPersistentStoreOfType(platform::store::StoreType::SQLite, live)
                  .value(platform::store::StoreUUIDKey));
    EXPECT_FALSE(QFileInfo::exists(QDir(platform::core::StandardPaths::dataFolder()).filePath(QStringLiteral("QuendelAutoBackup.sqlite"))));
}

TEST_F(BackupFileTest, WithAPasscodeTheArchiveIsEncryptedWithIt)
{
    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("contract.pdf"));
    ASSERT_TRUE(QDSSKeychain::setPassword(QStringLiteral("2468"), QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount));

    const Made locked = makeFullBackup();
    ASSERT_FALSE(locked.path.isEmpty());
    EXPECT_NE(run(QStringLiteral("unzip"), {QStringLiteral("-P"), QStringLiteral("0000"), QStringLiteral("-t"), locked.path}).code, 0);
    const ToolRun right = run(QStringLiteral("unzip"), {QStringLiteral("-P"), QStringLiteral("2468"), QStringLiteral("-t"), locked.path});
    EXPECT_EQ(right.code, 0) << right.out.toStdString();
    EXPECT_EQ(run(QStringLiteral("zipinfo"), {QStringLiteral("-v"), locked.path})
                  .out.count(QStringLiteral("file security status:                           encrypted")),
              3);
    QFile::remove(locked.path);

    // The user turned encryption of archives off.
    platform::core::UserDefaults::standardUserDefaults()->setBool(false, BackupFile::PinEnabledDefaultKey);
    const Made open = makeFullBackup();
    ASSERT_FALSE(open.path.isEmpty());
    EXPECT_EQ(run(QStringLiteral("unzip"), {QStringLiteral("-t"), open.path}).code, 0);
    QDSSKeychain::deletePasswordForService(QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount);
}

TEST_F(BackupFileTest, NoStoreOrAFailingMemberMeansNoArchiveAndAReportedFailure)
{
    // No store file at all: the block runs once with no path.
    {
        BackupFile backup;
        int calls = 0;
        QString got = QStringLiteral("unset");
        backup.createBackupForBackupType(BackupTypeFull, nullptr, [&](const QString &path, qint64, qint64) {
            ++calls;
            got = path;
        });
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(got.isNull());
        EXPECT_FALSE(backup.lastError().isNull());
    }
    // An attachment that goes away before the archive is written: no half archive appears.
    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("vanishing.pdf"));
    const QString vanishing = QDir(attachmentsFolder()).filePath(QStringLiteral("vanishing.pdf"));
    BackupFile::setStepHook([&](const QString &step) {
        if (step == QLatin1String("membersAdded"))
            QFile::remove(vanishing);
    });
    const Made made = makeFullBackup();
    BackupFile::setStepHook({});
    EXPECT_EQ(made.blockCalls, 1);
    EXPECT_TRUE(made.path.isNull());
    const QStringList archives = QDir(documents()).entryList({QStringLiteral("*.zip")}, QDir::Files);
    EXPECT_TRUE(archives.isEmpty()) << archives.join(QLatin1Char(',')).toStdString();
    EXPECT_FALSE(QFileInfo::exists(QDir(platform::core::StandardPaths::dataFolder()).filePath(QStringLiteral("QuendelCopy.sqlite"))));
}

TEST_F(BackupFileTest, TheDropboxArchiveHoldsTheStoreAndTheDescription)
{
    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("contract.pdf"));
    BackupFile backup;
    const QString path = backup.createBackup(BackupTypeDropbox);
    ASSERT_EQ(path, QDir(documents()).filePath(QStringLiteral("Quendel_Mac_Dropbox.zip")));
    EXPECT_EQ(membersOf(path), (QStringList{QStringLiteral("data.db"), QStringLiteral("BackupInfo.xml")}));
    EXPECT_FALSE(QFileInfo::exists(QDir(documents()).filePath(QStringLiteral("tempdata.db"))));
}

TEST_F(BackupFileTest, OnlyOurDatedNamesCountAsFullArchives)
{
    const QDateTime when(QDate(2026, 3, 5), QTime(14, 7), Qt::UTC);
    const QString ours = BackupFile::generateBackupFileNameWithIsDropbox(false, when);
    EXPECT_TRUE(ours.startsWith(QStringLiteral("Quendel_Mac_v100_"))) << ours.toStdString();
    EXPECT_FALSE(ours.contains(QLatin1Char(' ')));
    EXPECT_FALSE(ours.contains(QLatin1Char(',')));
    EXPECT_FALSE(ours.contains(QLatin1Char(':')));
    EXPECT_EQ(BackupFile::generateBackupFileNameWithIsDropbox(true), QStringLiteral("Quendel_Mac_Dropbox.zip"));

    const QList<std::pair<QString, bool>> cases = {
        {ours, true},
        {QStringLiteral("Quendel_Mac_v410_Mar_5_2026_207_PM.zip"), true},
        {QStringLiteral("Quendel_Mac_v410_Mar_5_2026_207_PM_XX3.zip"), true},
        {QStringLiteral("Quendel_Mac_Dropbox.zip"), false},
        {QStringLiteral("Quendel_taxes.zip"), false},
        {QStringLiteral("Quendel_Mac_v410_Mar 5.zip"), false},
        {QStringLiteral("Quendel_Mac_v410_Mar_5.zip.part"), false},
        {QStringLiteral("quendel_Mac_v410_Mar_5.zip"), false},
        {QStringLiteral("Other_Mac_v410_Mar_5.zip"), false},
    };
    for (const auto &[name, expected] : cases)
        EXPECT_EQ(BackupFile::isFullArchiveName(name), expected) << name.toStdString();
}

TEST_F(BackupFileTest, TheDescriptionFileHasItsExactBytesAndReadsTolerantly)
{
    dataPlistValues().setValue(QStringLiteral("display_setting_displayOrder"), qint64(1));
    dataPlistValues().remove(QStringLiteral("display_setting_sortOrder"));
    BackupInfo info = BackupInfo::initFromClient();
    info.setTotalContacts(QStringLiteral("12"));
    EXPECT_EQ(info.XMLData(), QByteArray("<?xml version=\"1.0\"?>\n<BackupData><SaveSourcesCount>0</SaveSourcesCount>"
                                         "<SaveClientVersion>1.0.0</SaveClientVersion><SaveClientOS>Mac</SaveClientOS>"
                                         "<SaveClientNameOrderFormat>1</SaveClientNameOrderFormat>"
                                         "<SaveClientSortOrderFormat>0</SaveClientSortOrderFormat>"
                                         "<SaveClientTotalContacts>12</SaveClientTotalContacts></BackupData>\n"));
    const QString written = info.write_to_xml_file();
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written, SharedSettingController::sharedSettings().dataFilePath(QStringLiteral("BackupInfo.xml")));
    const BackupInfo back = BackupInfo::initFromXMLFile(written);
    EXPECT_EQ(back.nameOrderFormat(), QStringLiteral("1"));
    EXPECT_EQ(back.totalContacts(), QStringLiteral("12"));

    const QString path = QDir(documents()).filePath(QStringLiteral("info.xml"));
    struct Case
    {
        QByteArray bytes;
        QString os;
        QString total;
    };
    const QList<Case> cases = {
        // An element missing, an unknown one, another order.
        {"<?xml version=\"1.0\"?><BackupData><Extra>x</Extra><SaveClientOS>Mac</SaveClientOS>"
         "<SaveSourcesCount>0</SaveSourcesCount></BackupData>",
         QStringLiteral("Mac"), QString()},
        // Not XML, empty, entity tricks.
        {"PK\x03\x04 not xml", QString(), QString()},
        {"", QString(), QString()},
        {"<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
         "<BackupData><SaveClientOS>&e;</SaveClientOS><SaveClientTotalContacts>&lt;b&gt;</SaveClientTotalContacts></BackupData>",
         QStringLiteral("?"), QStringLiteral("<b>")},
    };
    for (const Case &c : cases) {
        writeFile(path, c.bytes);
        const BackupInfo read = BackupInfo::initFromXMLFile(path);
        EXPECT_FALSE(read.OSVersion().contains(QStringLiteral("root"))) << c.bytes.constData();
        if (c.os != QLatin1String("?")) {
            EXPECT_EQ(read.OSVersion(), c.os) << c.bytes.constData();
            EXPECT_EQ(read.OSVersion().isNull(), c.os.isNull()) << c.bytes.constData();
        }
        EXPECT_EQ(read.totalContacts(), c.total);
        EXPECT_TRUE(read.clientVersion().isNull());
    }
    EXPECT_TRUE(BackupInfo::initFromXMLFile(QString()).OSVersion().isNull());
    EXPECT_TRUE(BackupInfo::initFromXMLFile(QDir(documents()).filePath(QStringLiteral("none.xml"))).OSVersion().isNull());
}

} // namespace
