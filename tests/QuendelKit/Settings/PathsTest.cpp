#include "SettingsFixture.h"

#include "platform/core/FileModes.h"

#include <QFile>
#include <thread>

#include <sys/stat.h>

using namespace settings_test;
using platform::core::PropertyList;

TEST_F(SettingsTest, FoldersAndPathHelpers)
{
    for (bool uiTest : {false, true}) {
        SCOPED_TRACE(uiTest ? "under UI test" : "normal");
        TearDown();
        SetUp();
        if (uiTest)
            qputenv("isUITest", "anything");
        SharedSettingController settings;
        EXPECT_EQ(settings.isUITestingEnabled(), uiTest);
        settings.initAttachmentsDirectory();
        const QString attachments = dataFolder() + (uiTest ? "/FileAttachmentsTesting" : "/FileAttachments");
        const QString pictures = dataFolder() + (uiTest ? "/PersonImageReferencesTesting" : "/PersonImageReferences");
        EXPECT_EQ(settings.applicationSupportPath(), dataFolder()) << "the data folder is the same under UI test";
        EXPECT_TRUE(QFileInfo(attachments).isDir());
        EXPECT_TRUE(QFileInfo(pictures).isDir());
        EXPECT_EQ(settings.localFileAttachmentsDirectoryURL(), QUrl::fromLocalFile(attachments));
        EXPECT_EQ(settings.localPersonImagesDirectoryURL(), QUrl::fromLocalFile(pictures));
        EXPECT_EQ(settings.pathForAttachmentWithName("a.pdf"), attachments + "/a.pdf");
        EXPECT_EQ(settings.pathForPersonReferenceWithName("p.jpg"), pictures + "/p.jpg");
        EXPECT_TRUE(settings.pathForPersonReferenceWithName("").isNull());
        EXPECT_TRUE(settings.pathForPersonReferenceWithName(QString()).isNull());
        EXPECT_EQ(settings.dataFilePath("Quendel.sqlite"), dataFolder() + "/Quendel.sqlite");
        EXPECT_EQ(settings.temporaryFilePath("Quendel"), home->cacheHome() + "/Quendel");
    }
}

TEST_F(SettingsTest, CloudFoldersComeFromTheStoredURLElseTheContainer)
{
    SharedSettingController settings;
    EXPECT_TRUE(settings.urlForCloudAttachmentWithName("a").isEmpty()) << "neither a stored folder nor a container";
    EXPECT_TRUE(settings.urlForCloudPersonImageReferenceWithName("").isEmpty());

    env->container = home->path() + "/Container";
    EXPECT_EQ(settings.urlForCloudPersonImageReferenceWithName(""),
              QUrl::fromLocalFile(env->container + "/PersonImageReferencesCloud"));
    dataPlistValues().setValue("iCloudStorageURL", QUrl::fromLocalFile("/mnt/cloud").toString());
    EXPECT_EQ(settings.urlForCloudAttachmentWithName("a.pdf"),
              QUrl::fromLocalFile("/mnt/cloud/FileAttachmentsCloud/a.pdf"));
    EXPECT_EQ(settings.urlForCloudPersonImageReferenceWithName("g.jpg"),
              QUrl::fromLocalFile("/mnt/cloud/PersonImageReferencesCloud/g.jpg"));
}

TEST_F(SettingsTest, DropboxListIsMadeOnceAndResetOnRequest)
{
    SharedSettingController settings;
    const QString expected = dataFolder() + "/FileAttachmentsDropBox.plist";
    std::vector<std::thread> callers;
    QStringList seen[4];
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&, i] { seen[i] << settings.dropboxFile(); });
    for (auto &t : callers)
        t.join();
    for (const QStringList &s : seen)
        EXPECT_EQ(s, QStringList{expected});
    EXPECT_EQ(PropertyList::readDictionaryFile(expected), std::optional<QVariantMap>(QVariantMap()));

    PropertyList::writeFile(QVariantMap{{"NewFilesKey", QVariantList{"x"}},
                                        {"DeletedFilesKey", QVariantList{"y"}},
                                        {"FilesWithErrorKey", QVariantMap{{"z", 2}}}},
                            expected);
    settings.cleanupFileAttachmentsFileWithFilesToLoad({"/a/b.pdf", "c.jpg"});
    QVariantMap list = PropertyList::readDictionaryFile(expected).value_or(QVariantMap());
    EXPECT_EQ(list.value("NewFilesKey").toList(), (QVariantList{"/a/b.pdf", "c.jpg"}));
    EXPECT_EQ(list.value("DeletedFilesKey").toList(), QVariantList());
    EXPECT_EQ(list.value("RenamedFilesKey").toList(), QVariantList());
    EXPECT_EQ(list.value("FilesWithErrorKey").toMap(), (QVariantMap{{"z", 2}}));

    defaults()->setInteger(1, "PersonImageMigrationStarted");
    settings.cleanupFileAttachmentsFileWithFilesToLoad({});
    EXPECT_EQ(PropertyList::readDictionaryFile(expected).value_or(QVariantMap()), list);
    defaults()->removeObjectForKey("PersonImageMigrationStarted");
    settings.cleanupFileAttachmentsFileWithFilesToLoad({});
    EXPECT_EQ(PropertyList::readDictionaryFile(expected)->value("NewFilesKey").toList(), QVariantList());

    QFile::remove(expected);
    EXPECT_EQ(settings.dropboxFile(), expected);
    EXPECT_FALSE(QFileInfo::exists(expected)) << "only the first call makes the file";
}

TEST_F(SettingsTest, SharedSettingsIsOneObject)
{
    SharedSettingController *seen[4] = {};
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&, i] { seen[i] = &SharedSettingController::sharedSettings(); });
    for (auto &t : callers)
        t.join();
    for (auto *s : seen)
        EXPECT_EQ(s, seen[0]);
    EXPECT_EQ(&SharedSettingController::sharedSettings(), seen[0]);
}

TEST_F(SettingsTest, TheSharedStoreFolderCanBePointedIntoASyncedFolder)
{
    const QString synced = home->path() + "/Dropbox/Quendel";
    defaults()->setObject(synced, QDSettingsKeys::SharedStoreFolderDefaultsKey);
    SharedSettingController settings;
    EXPECT_EQ(kvs()->filePath(), synced + "/" + platform::kvstore::KeyValueStore::FileName);
}

// Whatever made them readable to others, the journal, the settings and the keychain are the user's alone
// once the program has started: folders 0700, files 0600, and so is what it makes afterwards.
TEST_F(SettingsTest, LaunchMakesTheDataSettingsAndKeychainOwnerOnly)
{
    const QString settingsFolder = home->configHome() + "/Quendel";
    QDir().mkpath(dataFolder() + "/FileAttachments");
    QDir().mkpath(settingsFolder);
    const struct {
        QString path;
        bool folder;
        int after;
    } rows[] = {
        {dataFolder(), true, 0700},
        {dataFolder() + "/FileAttachments", true, 0700},
        {dataFile("data.plist"), false, 0600},
        {dataFile("FileAttachments/letter-1.pdf"), false, 0600},
        {dataFile("Quendel.sqlite"), false, 0600},
        {settingsFolder, true, 0700},
        {settingsFolder + "/keychain", false, 0600},
        {settingsFolder + "/Quendel.ini", false, 0600},
    };
    for (const auto &row : rows) {
        if (!row.folder) {
            QFile f(row.path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(row.path.endsWith(".plist") ? "<plist><dict/></plist>" : "x");
        }
        ASSERT_EQ(::chmod(QFile::encodeName(row.path).constData(), row.folder ? 0755 : 0644), 0);
    }
    SharedSettingController settings;
    settings.initialize();
    for (const auto &row : rows)
        EXPECT_EQ(platform::core::FileModes::mode(row.path), row.after) << row.path.toStdString();

    QFile later(dataFile("made-later.txt"));
    ASSERT_TRUE(later.open(QIODevice::WriteOnly));
    later.close();
    EXPECT_EQ(platform::core::FileModes::mode(dataFile("made-later.txt")), 0600);
    QDir().mkpath(dataFolder() + "/MadeLater");
    EXPECT_EQ(platform::core::FileModes::mode(dataFolder() + "/MadeLater"), 0700);
}
