#include "BackupFixture.h"

#include "Classes/Backups/QDAutomaticBackupController.h"

#include "platform/core/Clock.h"
#include "platform/core/KeyedArchive.h"
#include "platform/core/UserDefaults.h"

#include <QTest>
#include <QThread>

using namespace backup_test;
using platform::core::DateComponents;
using platform::core::ManualClock;
using platform::core::ScopedClock;

namespace {

QStringList zipsIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files);
    names.sort();
    return names;
}

class AutomaticBackupTest : public BackupTest
{
protected:
    void SetUp() override
    {
        BackupTest::SetUp();
        clock = std::make_shared<ManualClock>(QDateTime(QDate(2026, 4, 2), QTime(12, 0), Qt::LocalTime).toUTC());
        scoped = std::make_unique<ScopedClock>(clock);
    }
    void TearDown() override { scoped.reset(); }

    // Runs the controller's backup to its notification; the path it announced.
    QString waitForBackup(const std::shared_ptr<QDAutomaticBackupController> &controller)
    {
        QString announced = QStringLiteral("none");
        platform::core::ScopedObserver observer(QDAutomaticBackupController::NewBackupAvailableNotification, nullptr,
                                                [&](const platform::core::Notification &n) {
                                                    announced = n.userInfo.value(QDAutomaticBackupController::PathKey).toString();
                                                });
        controller->waitUntilIdle();
        EXPECT_TRUE(QTest::qWaitFor([&] { return announced != QLatin1String("none"); }, 10000));
        EXPECT_FALSE(controller->startedBackup());
        return announced;
    }

    void setInterval(int hour, int day, int week)
    {
        DateComponents interval;
        interval.setHour(hour);
        interval.setDay(day);
        interval.setWeekOfYear(week);
        dataPlistValues().setValue(QDAutomaticBackupController::IntervalKey,
                                   platform::core::KeyedArchive::archive(interval.toVariant()));
    }

    std::shared_ptr<ManualClock> clock;
    std::unique_ptr<ScopedClock> scoped;
};

TEST_F(AutomaticBackupTest, TheDueRuleOnTheClock)
{
    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"));
    auto controller = QDAutomaticBackupController::create(owner.context);
    setInterval(0, 1, 0);
    const QDateTime yesterdayTen(QDate(2026, 4, 1), QTime(10, 0), Qt::LocalTime);
    dataPlistValues().setValue(QDAutomaticBackupController::LastBackupTimestampKey, yesterdayTen.toUTC());

    // Due at 10:00:00 today: a check at exactly that second does nothing, the first after it backs up.
    clock->set(QDateTime(QDate(2026, 4, 2), QTime(9, 59), Qt::LocalTime).toUTC());
    controller->checkForAutomaticBackupTime();
    EXPECT_FALSE(controller->startedBackup());
    clock->set(QDateTime(QDate(2026, 4, 2), QTime(10, 0), Qt::LocalTime).toUTC());
    controller->checkForAutomaticBackupTime();
    EXPECT_FALSE(controller->startedBackup());
    clock->set(QDateTime(QDate(2026, 4, 2), QTime(10, 0, 1), Qt::LocalTime).toUTC());
    controller->checkForAutomaticBackupTime();
    EXPECT_TRUE(controller->startedBackup());
    const QString path = waitForBackup(controller);
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(dataPlistValues().dateValue(QDAutomaticBackupController::LastBackupTimestampKey), clock->utcNow());

    // Hourly and weekly steps; no date at all means at once.
    EXPECT_EQ(QDAutomaticBackupController::dueDate(yesterdayTen, [] {
                  DateComponents c;
                  c.setHour(1);
                  c.setDay(0);
                  c.setWeekOfYear(0);
                  return c;
              }()),
              yesterdayTen.addSecs(3600).toUTC());
    EXPECT_EQ(QDAutomaticBackupController::dueDate(yesterdayTen, [] {
                  DateComponents c;
                  c.setHour(0);
                  c.setDay(0);
                  c.setWeekOfYear(1);
                  return c;
              }()),
              yesterdayTen.addDays(7).toUTC());
}

TEST_F(AutomaticBackupTest, TheMinuteTimerBacksUpAFreshStoreAtOnceButNeverAnEmptyOne)
{
    {
        StoreOwner empty;
        auto controller = QDAutomaticBackupController::create(empty.context);
        EXPECT_TRUE(controller->hasRepeatTimer());
        clock->advanceSeconds(61);
        QCoreApplication::processEvents();
        EXPECT_FALSE(controller->startedBackup());
        // The user may still back up an empty store.
        controller->startAutomaticBackupProcessWithIsAutomatic(false);
        EXPECT_FALSE(waitForBackup(controller).isEmpty());
    }
    quendel::test::startWithEmptyHome();
    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"));
    dataPlistValues().remove(QDAutomaticBackupController::LastBackupTimestampKey);
    dataPlistValues().remove(QDAutomaticBackupController::FirstTimeDownloadDateKey);
    auto controller = QDAutomaticBackupController::create(owner.context);
    clock->advanceSeconds(30);
    QCoreApplication::processEvents();
    EXPECT_FALSE(controller->startedBackup());
    clock->advanceSeconds(31);
    QCoreApplication::processEvents();
    EXPECT_TRUE(controller->startedBackup());
    EXPECT_FALSE(waitForBackup(controller).isEmpty());

    // Off, or held by the flag: nothing, however late it is.
    dataPlistValues().setValue(QDAutomaticBackupController::EnabledKey, false);
    clock->advanceSeconds(8 * 24 * 3600);
    QCoreApplication::processEvents();
    controller->checkForAutomaticBackupTime();
    EXPECT_FALSE(controller->startedBackup());
    dataPlistValues().setValue(QDAutomaticBackupController::EnabledKey, true);
    platform::core::UserDefaults::standardUserDefaults()->setBool(true, QDAutomaticBackupController::TemporaryDisableKey);
    controller->checkForAutomaticBackupTime();
    EXPECT_FALSE(controller->startedBackup());
    platform::core::UserDefaults::standardUserDefaults()->setBool(false, QDAutomaticBackupController::TemporaryDisableKey);

    // A restore takes the timer and the context away; the new context brings them back.
    platform::core::NotificationCenter::defaultCenter().post(CoreDataControllerShared::RestoreDBPreparationNotification);
    EXPECT_FALSE(controller->hasRepeatTimer());
    EXPECT_EQ(controller->mainManagedObjectContext(), nullptr);
    platform::core::NotificationCenter::defaultCenter().post(CoreDataControllerShared::RestoreDBNotification,
                                                             owner.context.get());
    EXPECT_TRUE(controller->hasRepeatTimer());
    EXPECT_EQ(controller->mainManagedObjectContext(), owner.context);
}

TEST_F(AutomaticBackupTest, PruningTouchesOnlyOurOwnArchivesAndOnlyAfterTheNewOneExists)
{
    const QString folder = documents();
    const QStringList foreign = {QStringLiteral("Quendel_Mac_Dropbox.zip"), QStringLiteral("Quendel_taxes.zip"),
                                 QStringLiteral("holiday.zip"), QStringLiteral("Quendel_Mac_v1_notes.txt")};
    for (const QString &name : foreign)
        writeFile(QDir(folder).filePath(name), "keep me");
    QStringList ours;
    const QDateTime base = QDateTime::currentDateTime().addDays(-30);
    for (int i = 0; i < 10; ++i) {
        const QString name = QStringLiteral("Quendel_Mac_v100_Mar_%1_2026_900_AM.zip").arg(i + 1);
        const QString path = QDir(folder).filePath(name);
        writeFile(path, "old archive");
        QFile file(path);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(base.addDays(i), QFileDevice::FileModificationTime);
        ours << name;
        QThread::msleep(5);
    }

    StoreOwner owner;
    owner.addContact(QStringLiteral("Ann"), QStringLiteral("Lee"));
    dataPlistValues().setValue(QDAutomaticBackupController::MaximumLimitKey, qint64(10));
    auto controller = QDAutomaticBackupController::create(owner.context);

    // Limit 10 with 10 present: none goes, the backup makes 11.
    controller->startAutomaticBackupProcessWithIsAutomatic(false);
    const QString first = waitForBackup(controller);
    ASSERT_FALSE(first.isEmpty());
    QStringList expected = foreign + ours + QStringList{QFileInfo(first).fileName()};
    expected.sort();
    EXPECT_EQ(zipsIn(folder), expected);

    // The next one removes the oldest of ours, nothing else.
    clock->advanceSeconds(120);
    controller->startAutomaticBackupProcessWithIsAutomatic(false);
    const QString second = waitForBackup(controller);
    ASSERT_FALSE(second.isEmpty());
    expected.removeOne(ours.first());
    expected << QFileInfo(second).fileName();
    expected.sort();
    expected.removeDuplicates();
    EXPECT_EQ(zipsIn(folder), expected);

    // A backup that makes nothing removes nothing, and says so.
    const QStringList before = zipsIn(folder);
    dataPlistValues().setValue(QDAutomaticBackupController::MaximumLimitKey, qint64(5));
    owner.context.reset();
    owner.controller.reset();
    QFile::remove(QDir(platform::core::StandardPaths::dataFolder()).filePath(QStringLiteral("Quendel.sqlite")));
    const QDateTime stamp = dataPlistValues().dateValue(QDAutomaticBackupController::LastBackupTimestampKey);
    clock->advanceSeconds(120);
    controller->startAutomaticBackupProcessWithIsAutomatic(false);
    EXPECT_TRUE(waitForBackup(controller).isEmpty());
    EXPECT_EQ(zipsIn(folder), before);
    EXPECT_EQ(dataPlistValues().dateValue(QDAutomaticBackupController::LastBackupTimestampKey), stamp);

    // Straight: keep 2 of ours beside foreign files and a link.
    QFile::link(QDir(folder).filePath(ours.last()), QDir(folder).filePath(QStringLiteral("Quendel_Mac_v1_link.zip")));
    const QStringList removed = QDAutomaticBackupController::checkBackupFilesCountLimit(2, folder);
    for (const QString &name : foreign)
        EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(name))) << name.toStdString();
    EXPECT_FALSE(removed.contains(QStringLiteral("Quendel_Mac_v1_link.zip")));
    EXPECT_TRUE(QFileInfo::exists(second));
}

} // namespace
