#include "FilesFixture.h"

#include "QuendelKit/Settings/SettingsServices.h"

#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"

#include <QTest>

#include <mutex>

using quendel::test::FilesTest;
using Base = NSManagedObjectQDBase;

namespace {

// Keeps every download notice, from whichever thread it comes.
class DownloadNotices
{
public:
    DownloadNotices()
    {
        auto &center = platform::core::NotificationCenter::defaultCenter();
        for (const QString &name : {Base::CloudFileDownloadedNotification, Base::CloudFileDownloadUpdateProgressNotification})
            m_tokens << center.addObserver(name, nullptr, [this](const platform::core::Notification &notice) {
                std::lock_guard lock(m_mutex);
                m_notices.append({notice.name, notice.userInfo});
            });
    }
    ~DownloadNotices()
    {
        for (auto token : m_tokens)
            platform::core::NotificationCenter::defaultCenter().removeObserver(token);
    }
    QList<std::pair<QString, QVariantMap>> all()
    {
        std::lock_guard lock(m_mutex);
        return m_notices;
    }
    // Waits (running the event loop) until `count` completions have come.
    bool waitForCompletions(int count)
    {
        return QTest::qWaitFor([&] { return completions().size() >= count; }, 5000);
    }
    QList<QVariantMap> completions()
    {
        QList<QVariantMap> done;
        for (const auto &[name, info] : all()) {
            if (name == Base::CloudFileDownloadedNotification)
                done << info;
        }
        return done;
    }

private:
    std::mutex m_mutex;
    QList<std::pair<QString, QVariantMap>> m_notices;
    QList<platform::core::ObserverToken> m_tokens;
};

Base *recordOf(const QVariantMap &info)
{
    return info.value(Base::DownloadedFileKey).value<Base *>();
}

class CloudContainerTest : public FilesTest
{
protected:
    void SetUp() override
    {
        FilesTest::SetUp();
        SettingsEnvironment::setUbiquityContainerFolder(QString());
        QDir(container()).removeRecursively();
        dataPlistValues().setValue(QStringLiteral("use_icloud"), true);
        ASSERT_TRUE(iCloudEnabledInApp());
    }
    void TearDown() override
    {
        SettingsEnvironment::setUbiquityContainerFolder(QString());
        FilesTest::TearDown();
    }
    static QString container()
    {
        return SharedSettingController::environment()->ubiquityContainerPath(QStringLiteral("K4TQ8WZ2MD.com.quendel.icloud"));
    }
    static QString cloudAttachment(const QString &name)
    {
        return SharedSettingController::sharedSettings().urlForCloudAttachmentWithName(name).toLocalFile();
    }
};

} // namespace

TEST_F(CloudContainerTest, TheContainerIsAFolderInTheDataFolderUnlessOneIsChosen)
{
    EXPECT_EQ(container(), QDir(dataFolder()).filePath(QStringLiteral("K4TQ8WZ2MD.com.quendel.icloud")));
    EXPECT_EQ(cloudAttachment(QStringLiteral("a.pdf")), container() + QStringLiteral("/FileAttachmentsCloud/a.pdf"));

    QTemporaryDir synced;
    SettingsEnvironment::setUbiquityContainerFolder(synced.path() + QStringLiteral("/Quendel/"));
    EXPECT_EQ(container(), synced.path() + QStringLiteral("/Quendel"));
    EXPECT_EQ(cloudAttachment(QStringLiteral("a.pdf")), synced.path() + QStringLiteral("/Quendel/FileAttachmentsCloud/a.pdf"));
    EXPECT_EQ(SharedSettingController::sharedSettings().urlForCloudPersonImageReferenceWithName(QStringLiteral("g.jpg")),
              QUrl::fromLocalFile(synced.path() + QStringLiteral("/Quendel/PersonImageReferencesCloud/g.jpg")));

    // The stored folder of the older store still wins over both.
    dataPlistValues().setValue(QStringLiteral("iCloudStorageURL"), QUrl::fromLocalFile(QStringLiteral("/mnt/store")).toString());
    EXPECT_EQ(cloudAttachment(QStringLiteral("a.pdf")), QStringLiteral("/mnt/store/FileAttachmentsCloud/a.pdf"));
    SettingsEnvironment::setUbiquityContainerFolder(QString());
    EXPECT_FALSE(platform::core::UserDefaults::standardUserDefaults()
                     ->objectForKey(SettingsEnvironment::ContainerFolderDefaultsKey)
                     .isValid());
}

TEST_F(CloudContainerTest, ANewAttachmentMovesIntoTheContainerAndIsReportedInPlace)
{
    DownloadNotices notices;
    platform::core::QDError error;
    ASSERT_TRUE(FileAttachments::createFileAttachmentWithURL(QUrl::fromLocalFile(source(QStringLiteral("a.txt"), "abc")),
                                                             person, context.get(), &error));
    FileAttachments *attachment = person->attachments().value(0);
    ASSERT_NE(attachment, nullptr);
    EXPECT_EQ(readFile(cloudAttachment(attachment->fileName())), QByteArray("abc"));
    EXPECT_EQ(attachment->fullFileURL(), QUrl::fromLocalFile(cloudAttachment(attachment->fileName())));
    EXPECT_TRUE(attachmentFiles().isEmpty()) << "moved, not copied";
    EXPECT_TRUE(dropboxList().isEmpty()) << "never listed for Dropbox while the older store is in use";

    ASSERT_TRUE(notices.waitForCompletions(1));
    const QVariantMap done = notices.completions().value(0);
    EXPECT_EQ(done.size(), 1) << "a success carries the record alone";
    EXPECT_EQ(recordOf(done), attachment);
    EXPECT_EQ(attachment->fileDownloadMonitorQuery(), nullptr) << "a file already there needs no watch";

    // Deleted and saved: it leaves the container, and Dropbox hears nothing.
    SharedSettingController::sharedSettings().setIsDropboxEnabled(true);
    const QString path = cloudAttachment(attachment->fileName());
    context->deleteObject(attachment);
    EXPECT_TRUE(QFile::exists(path));
    save(context);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(dropboxList().isEmpty());
}

TEST_F(CloudContainerTest, AFileFromAnotherMachineIsWatchedUntilItArrives)
{
    auto *attachment = insert<FileAttachments>();
    attachment->setFileName(QStringLiteral("later-1.txt"));
    save(context);
    const QString path = cloudAttachment(attachment->fileName());
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Another file with a name the old lookup would have taken as a pattern must not count.
    writeFile(QFileInfo(path).absolutePath() + QStringLiteral("/laterX1.txt"), "other");

    DownloadNotices notices;
    attachment->setFileName(QStringLiteral("later?1.txt"));
    attachment->downloadFileFromCloud();
    ASSERT_TRUE(QTest::qWaitFor([&] { return attachment->fileDownloadMonitorQuery() != nullptr; }, 5000));
    QTest::qWait(200);
    EXPECT_TRUE(notices.completions().isEmpty()) << "a name is matched exactly, never as a pattern";

    const QObject *first = attachment->fileDownloadMonitorQuery().get();
    attachment->setFileName(QStringLiteral("later-1.txt"));
    attachment->downloadFileFromCloud();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QObject *watch = attachment->fileDownloadMonitorQuery().get();
            return watch && watch != first;
        },
        5000))
        << "a second wait replaces the first watch";
    EXPECT_TRUE(notices.completions().isEmpty()) << "still waiting";
    writeFile(path, "arrived");
    ASSERT_TRUE(notices.waitForCompletions(1));
    const auto all = notices.all();
    ASSERT_GE(all.size(), 2);
    EXPECT_EQ(all.at(all.size() - 2).first, Base::CloudFileDownloadUpdateProgressNotification) << "progress comes first";
    EXPECT_EQ(all.at(all.size() - 2).second.value(Base::FileDownloadProgressKey).toDouble(), 100.0);
    EXPECT_EQ(all.last().second.size(), 1);
    EXPECT_EQ(recordOf(all.last().second), attachment);
    EXPECT_EQ(attachment->fileDownloadMonitorQuery(), nullptr) << "the watch ends with the download";
}

TEST_F(CloudContainerTest, DownloadFailuresAreReportedAsErrors)
{
    DownloadNotices notices;
    auto *attachment = insert<FileAttachments>();
    attachment->setFileName(QStringLiteral("x.txt"));
    // The container's folder is not there at all.
    attachment->downloadFileWithURL(QUrl::fromLocalFile(container() + QStringLiteral("/Nowhere/x.txt")), QStringLiteral("x.txt"));
    attachment->downloadFileWithURL(QUrl(QStringLiteral("https://example.org/x.txt")), QStringLiteral("x.txt"));
    ASSERT_TRUE(notices.waitForCompletions(2));
    for (const QVariantMap &info : notices.completions())
        EXPECT_EQ(info.value(Base::FileDownloadErrorKey).toString(), Base::DownloadFileError);

    // An update from a watch that is not the record's own says the file is missing.
    QObject stranger;
    attachment->liveUpdate(&stranger);
    const QVariantMap missing = notices.completions().last();
    EXPECT_EQ(missing.value(Base::FileDownloadErrorKey).toString(), Base::DownloadFileMissing);
    EXPECT_EQ(recordOf(missing), attachment);
}

TEST_F(CloudContainerTest, DeletingAFileFromTheContainerStopsItsWatch)
{
    auto *attachment = insert<FileAttachments>();
    attachment->setFileName(QStringLiteral("w.txt"));
    const QString path = cloudAttachment(QStringLiteral("w.txt"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    attachment->downloadFileFromCloud();
    ASSERT_TRUE(QTest::qWaitFor([&] { return attachment->fileDownloadMonitorQuery() != nullptr; }, 5000));
    writeFile(QFileInfo(path).absolutePath() + QStringLiteral("/unrelated.txt"), "u");
    attachment->deleteCloudFileWithURL(QUrl::fromLocalFile(path));
    EXPECT_NE(attachment->fileDownloadMonitorQuery(), nullptr) << "stopped, still set";
    writeFile(path, "late");
    QTest::qWait(200);
    attachment->deleteCloudFileWithURL(QUrl::fromLocalFile(path));
    EXPECT_FALSE(QFile::exists(path));
    attachment->deleteCloudFileWithURL(QUrl::fromLocalFile(path)); // nothing there: nothing happens
}

TEST_F(CloudContainerTest, ASecondPictureReplacesTheContainerCopy)
{
    person->setGuid(QStringLiteral("G-1"));
    auto *picture = insert<PersonImage>();
    picture->setPerson(person);
    ASSERT_TRUE(picture->saveImageReferenceForData(QByteArray("first picture")));
    const QString cloud =
        SharedSettingController::sharedSettings().urlForCloudPersonImageReferenceWithName(QStringLiteral("G-1.jpg")).toLocalFile();
    EXPECT_EQ(readFile(cloud), QByteArray("first picture"));
    ASSERT_TRUE(picture->saveImageReferenceForData(QByteArray("second picture")));
    EXPECT_EQ(readFile(cloud), QByteArray("second picture"));
    EXPECT_TRUE(dropboxList().isEmpty());
}

TEST_F(CloudContainerTest, ARecordThatIsGoneIsNotReachedByItsDownload)
{
    DownloadNotices notices;
    const QString folder = QFileInfo(cloudAttachment(QStringLiteral("x"))).absolutePath();
    QDir().mkpath(folder);
    for (int i = 0; i < 20; ++i) {
        auto *attachment = insert<FileAttachments>();
        attachment->setFileName(QStringLiteral("never-%1.txt").arg(i));
        attachment->downloadFileFromCloud();
        context->reset(); // the record is destroyed while its download is queued
    }
    writeFile(QDir(folder).filePath(QStringLiteral("never-0.txt")), "late");
    QTest::qWait(300);
    EXPECT_TRUE(notices.all().isEmpty());
}
