#include "BackupFixture.h"

#include "Mac/Shell/MacDatabaseUpdateBackupWindowController.h"

#include "platform/core/Clock.h"
#include "platform/core/UserDefaults.h"

#include <QTest>
#include <QWidget>

using namespace backup_test;
using platform::core::ManualClock;
using platform::core::ScopedClock;

namespace {

class DatabaseUpdateSheetTest : public BackupTest
{
protected:
    void SetUp() override
    {
        BackupTest::SetUp();
        clock = std::make_shared<ManualClock>();
        scoped = std::make_unique<ScopedClock>(clock);
        window = std::make_unique<QWidget>();
        window->resize(600, 400);
        window->show();
    }
    void TearDown() override
    {
        sheet.reset();
        window.reset();
        scoped.reset();
    }

    void begin(quint32 type)
    {
        sheet = std::make_shared<MacDatabaseUpdateBackupWindowController>(type);
        sheet->beginSheet(
            window.get(), [this](quint32 t) { completed << int(t); }, [this] { ++ended; });
    }

    // Moves the clock in steps, letting queued work reach the main thread in between.
    void advance(double seconds)
    {
        clock->advanceSeconds(seconds);
        QCoreApplication::processEvents();
    }

    bool waitForText(const QString &text)
    {
        return QTest::qWaitFor([&] { return sheet->progressText() == text; }, 20000);
    }

    std::shared_ptr<ManualClock> clock;
    std::unique_ptr<ScopedClock> scoped;
    std::unique_ptr<QWidget> window;
    std::shared_ptr<MacDatabaseUpdateBackupWindowController> sheet;
    QList<int> completed;
    int ended = 0;
};

TEST_F(DatabaseUpdateSheetTest, TheFirstSheetBacksUpWithoutACancelAndLetsTheUpdateGoOn)
{
    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("a.pdf"));
    begin(0);
    EXPECT_FALSE(sheet->cancelButtonVisible());
    EXPECT_EQ(platform::core::UserDefaults::standardUserDefaults()->integerForKey(
                  MacDatabaseUpdateBackupWindowController::UpdateBackupCountKey),
              1);
    EXPECT_EQ(sheet->progressValue(), 5);
    EXPECT_EQ(sheet->progressText(), QStringLiteral("Starting backup ..."));

    advance(2.9);
    EXPECT_TRUE(completed.isEmpty());
    advance(0.2);
    ASSERT_TRUE(waitForText(QStringLiteral("Backup Finished")));
    EXPECT_EQ(sheet->progressValue(), 100);
    EXPECT_TRUE(dataPlistValues().boolValue(SharedAppGlobals::MigrationCompleteKey));
    EXPECT_TRUE(dataPlistValues().contains(QStringLiteral("AutoBackupLastBackupTimestamp")));
    EXPECT_EQ(QDir(documents()).entryList({QStringLiteral("Quendel_Mac_v*.zip")}, QDir::Files).size(), 1);
    // Ended right after the start: it stays two seconds.
    advance(1.9);
    EXPECT_TRUE(completed.isEmpty());
    advance(0.2);
    EXPECT_EQ(completed, QList<int>{0});
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended == 1; }, 2000));
    EXPECT_FALSE(sheet->isAttached());
}

TEST_F(DatabaseUpdateSheetTest, ALaterSheetCanBeCancelledInItsFirstSecondsAndComesBack)
{
    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"));
    platform::core::UserDefaults::standardUserDefaults()->setInteger(1, MacDatabaseUpdateBackupWindowController::UpdateBackupCountKey);
    begin(1);
    EXPECT_EQ(sheet->title(), QStringLiteral("Backing Up Data"));
    ASSERT_TRUE(sheet->cancelButtonVisible());
    sheet->cancelBackupButtonPressed();
    EXPECT_EQ(sheet->progressText(), QStringLiteral("Canceling Backup ..."));
    advance(3.1);
    EXPECT_EQ(sheet->progressText(), QStringLiteral("Backup Canceled"));
    advance(0.6);
    EXPECT_EQ(completed, QList<int>{1});
    EXPECT_FALSE(dataPlistValues().boolValue(SharedAppGlobals::MigrationCompleteKey));
    EXPECT_TRUE(QDir(documents()).entryList({QStringLiteral("*.zip")}, QDir::Files).isEmpty());
}

TEST_F(DatabaseUpdateSheetTest, ABackupThatMakesNoArchiveIsNotReportedAsFinished)
{
    // A store file that cannot be read as a store.
    writeFile(QDir(platform::core::StandardPaths::dataFolder()).filePath(QStringLiteral("Quendel.sqlite")),
              QByteArray(8192, 'x'));
    begin(2);
    EXPECT_EQ(sheet->title(), QStringLiteral("Backing Up Data Before Migartion"));
    advance(3.1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->progressText() == QLatin1String("Backup Canceled") ||
                                             sheet->progressText() == QLatin1String("Backup Failed"); }, 20000));
    EXPECT_NE(sheet->progressText(), QStringLiteral("Backup Finished"));
    EXPECT_FALSE(dataPlistValues().boolValue(SharedAppGlobals::MigrationCompleteKey));
    advance(2.1);
    EXPECT_EQ(completed, QList<int>{2});
}

TEST_F(DatabaseUpdateSheetTest, ProgressFollowsTheFilesHandled)
{
    begin(0);
    sheet->backupFileStartWithTotalFiles(4);
    EXPECT_EQ(sheet->progressText(), QStringLiteral("Started Backup ..."));
    sheet->backupFileAddedMainDB();
    EXPECT_EQ(sheet->progressValue(), 20);
    const QList<int> bars = {40, 60, 80, 100};
    for (int n = 1; n <= 4; ++n) {
        sheet->backupFileUpdateStatusWithLocalFiles(quint64(n));
        EXPECT_EQ(sheet->progressValue(), bars[n - 1]);
    }
    sheet->backupFileUpdateStatusWithLocalFiles(3);
    EXPECT_EQ(sheet->progressText(), QStringLiteral("80 % Complete (3 out of 4 files)"));
    sheet->backupFileUpdateStatusWithLocalFiles(0);
    EXPECT_EQ(sheet->progressText(), QStringLiteral("80 % Complete (3 out of 4 files)"));
}

} // namespace
