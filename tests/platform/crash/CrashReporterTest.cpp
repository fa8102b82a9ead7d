#include "platform/crash/CrashReporter.h"

#include "platform/core/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::crash::CrashReporter;
namespace breadcrumbs = platform::crash::breadcrumbs;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(CrashReporterTest, AMarkerLeftBehindIsACrashAndACleanEndLeavesNone)
{
    QTemporaryDir first;
    QTemporaryDir second;
    CrashReporter &reporter = CrashReporter::shared();

    // A first run in an empty folder: nothing crashed; the run is marked.
    reporter.start(first.path());
    EXPECT_FALSE(reporter.didCrashInLastSession());
    EXPECT_TRUE(QFile::exists(QDir(first.path()).filePath(CrashReporter::MarkerFileName)));
    reporter.markCleanExit();
    EXPECT_FALSE(QFile::exists(QDir(first.path()).filePath(CrashReporter::MarkerFileName)));

    // After a clean end the next start finds nothing.
    reporter.start(first.path());
    EXPECT_FALSE(reporter.didCrashInLastSession());
    reporter.markCleanExit();

    // A run killed by a signal left its marker with the signal in it.
    writeFile(QDir(second.path()).filePath(CrashReporter::MarkerFileName), "Started: 2026-01-01T09:00:00Z\nsignal 11\n");
    reporter.start(second.path());
    EXPECT_TRUE(reporter.didCrashInLastSession());
    EXPECT_TRUE(reporter.lastSessionDetails().contains(QStringLiteral("Started: 2026-01-01T09:00:00Z")));
    EXPECT_TRUE(reporter.lastSessionDetails().contains(QStringLiteral("signal 11 (segmentation fault)")));
    // This run has its own marker again.
    QFile marker(QDir(second.path()).filePath(CrashReporter::MarkerFileName));
    ASSERT_TRUE(marker.open(QIODevice::ReadOnly));
    EXPECT_TRUE(marker.readAll().startsWith("Started: "));
    reporter.markCleanExit();
}

TEST(CrashReporterTest, PendingReportsPileUpUntilDiscarded)
{
    QTemporaryDir folder;
    CrashReporter &reporter = CrashReporter::shared();
    reporter.start(folder.path());
    EXPECT_TRUE(reporter.pendingReport().isEmpty());
    ASSERT_TRUE(reporter.addPendingReport(QStringLiteral("first & one")));
    ASSERT_TRUE(reporter.addPendingReport(QStringLiteral("second")));
    EXPECT_TRUE(reporter.pendingReport().startsWith(QStringLiteral("first & one")));
    EXPECT_TRUE(reporter.pendingReport().endsWith(QStringLiteral("second")));
    reporter.discardPendingReport();
    EXPECT_TRUE(reporter.pendingReport().isEmpty());
    reporter.markCleanExit();
}

TEST(CrashReporterTest, BreadcrumbsAreClearedAfterACleanRunAndReportedOnce)
{
    QTemporaryDir folder;
    platform::core::UserDefaults defaults(QDir(folder.path()).filePath(QStringLiteral("defaults.ini")));
    const QStringList keys = breadcrumbs::keys();
    ASSERT_EQ(keys.size(), 12);
    for (const QString &key : keys)
        defaults.setInteger(3, key);

    // A clean run drops all but the backup counter.
    breadcrumbs::clearAfterCleanRun(defaults);
    for (const QString &key : keys.mid(0, 11))
        EXPECT_FALSE(defaults.objectForKey(key).isValid()) << key.toStdString();
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("HockeyDebug-AutoBackupCount")), 3);

    // A report lists them in order with any kind of value, and takes them.
    defaults.setObject(QStringLiteral("step two"), QStringLiteral("HockeyDebug-2b"));
    defaults.setInteger(7, QStringLiteral("HockeyDebug1"));
    const QStringList lines = breadcrumbs::takeReportLines(defaults);
    EXPECT_EQ(lines, (QStringList{QStringLiteral("DebugKey = HockeyDebug1, Value = 7"),
                                  QStringLiteral("DebugKey = HockeyDebug-2b, Value = step two"),
                                  QStringLiteral("DebugKey = HockeyDebug-AutoBackupCount, Value = 3")}));
    EXPECT_TRUE(breadcrumbs::takeReportLines(defaults).isEmpty());
}

} // namespace
