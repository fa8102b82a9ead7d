#include "SettingsFixture.h"

#include <QFile>
#include <thread>

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
