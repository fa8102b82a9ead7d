#include "Quendel/FreshHome.h"

#include "Classes/CrashReporting.h"
#include "SharedAppGlobals.h"

#include "platform/core/UserDefaults.h"
#include "platform/crash/CrashReporter.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <mutex>

namespace {

class CrashReportingTest : public ::testing::Test
{
protected:
    void SetUp() override { quendel::test::startWithEmptyHome(); }
    void TearDown() override { CrashReporting::markCleanExit(); }
    static QString dataFolder() { return SharedSettingController::sharedSettings().applicationSupportPath(); }
};

TEST_F(CrashReportingTest, LaunchCountsFallIntoTheirBuckets)
{
    const std::pair<qint64, const char *> cases[] = {
        {1, "FirstLaunch"}, {2, "2-10"},       {9, "2-10"},        {10, "10-50"},      {49, "10-50"},
        {50, "50-100"},     {99, "50-100"},    {100, "100-200"},   {199, "100-200"},   {200, "200-500"},
        {499, "200-500"},   {500, "500-1000"}, {999, "500-1000"},  {1000, "1000+"},    {250000, "1000+"},
    };
    for (const auto &[count, bucket] : cases)
        EXPECT_EQ(CrashReporting::launchBucket(count), QLatin1String(bucket)) << count;
}

TEST_F(CrashReportingTest, EachLaunchIsCountedWithItsFourEventsKeptOnThisMachine)
{
    QStringList events;
    std::mutex mutex;
    SharedAppGlobals::sharedAppGlobals().setEventSink([&](const QString &text) {
        std::lock_guard lock(mutex);
        events << text;
    });
    EXPECT_EQ(CrashReporting::updateLaunchCount(), 1);
    ASSERT_EQ(events.size(), 4);
    EXPECT_EQ(events[0], QStringLiteral("AppLaunchTotal"));
    EXPECT_TRUE(events[2].contains(QStringLiteral("FirstLaunch")));
    EXPECT_TRUE(events[3].contains(QStringLiteral("DropboxEnabled")));
    EXPECT_EQ(CrashReporting::updateLaunchCount(), 2);
    EXPECT_TRUE(events[6].contains(QStringLiteral("2-10")));
    SharedAppGlobals::sharedAppGlobals().setEventSink(nullptr);
}

TEST_F(CrashReportingTest, AfterACrashTheReportHoldsTheLogAndTheBreadcrumbsOnce)
{
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    // A clean run clears the breadcrumbs it finds.
    defaults->setInteger(1, QStringLiteral("HockeyDebug-3a"));
    CrashReporting::start(dataFolder());
    EXPECT_FALSE(defaults->objectForKey(QStringLiteral("HockeyDebug-3a")).isValid());
    EXPECT_TRUE(CrashReporting::pendingReport().isEmpty());

    // The process dies with a breadcrumb set: nothing ends the run, the marker stays.
    defaults->setObject(QStringLiteral("saving"), QStringLiteral("HockeyDebug-ContactsPage-A"));
    defaults->setInteger(12, CrashReporting::LaunchCountKey);
    const QString folder = QDir(dataFolder()).filePath(CrashReporting::ReportFolderName);
    ASSERT_TRUE(QFile::copy(QDir(folder).filePath(platform::crash::CrashReporter::MarkerFileName),
                            QDir(folder).filePath(QStringLiteral("kept.marker"))));
    CrashReporting::markCleanExit();
    ASSERT_TRUE(QFile::rename(QDir(folder).filePath(QStringLiteral("kept.marker")),
                              QDir(folder).filePath(platform::crash::CrashReporter::MarkerFileName)));

    CrashReporting::start(dataFolder());
    const QString report = CrashReporting::pendingReport();
    EXPECT_TRUE(report.contains(CrashReporting::ApplicationIdentifier));
    EXPECT_TRUE(report.contains(QStringLiteral("Launch Count: 12")));
    EXPECT_TRUE(report.contains(QStringLiteral("DebugKey = HockeyDebug-ContactsPage-A, Value = saving")));
    EXPECT_FALSE(defaults->objectForKey(QStringLiteral("HockeyDebug-ContactsPage-A")).isValid());

    // With no breadcrumbs the log is exactly its six lines.
    EXPECT_EQ(CrashReporting::applicationLog().split(QLatin1Char('\n')).size(), 6);
    CrashReporting::discardPendingReport();
    EXPECT_TRUE(CrashReporting::pendingReport().isEmpty());
}

} // namespace
