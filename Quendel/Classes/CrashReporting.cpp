#include "Classes/CrashReporting.h"

#include "SharedAppGlobals.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/UserDefaults.h"
#include "platform/crash/CrashReporter.h"

#include <QDir>


using platform::core::UserDefaults;
using platform::crash::CrashReporter;

namespace CrashReporting {

namespace {

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

namespace {
QString g_reviewStoreURL;
} // namespace

QString reviewStoreURL()
{
    return g_reviewStoreURL;
}

void setReviewStoreURL(const QString &url)
{
    g_reviewStoreURL = url;
}

QString launchBucket(qint64 count)
{
    if (count <= 1)
        return QStringLiteral("FirstLaunch");
    if (count < 10)
        return QStringLiteral("2-10");
    if (count < 50)
        return QStringLiteral("10-50");
    if (count < 100)
        return QStringLiteral("50-100");
    if (count < 200)
        return QStringLiteral("100-200");
    if (count < 500)
        return QStringLiteral("200-500");
    if (count < 1000)
        return QStringLiteral("500-1000");
    return QStringLiteral("1000+");
}

void start(const QString &dataFolder)
{
    if (dataFolder.isEmpty())
        return;
    CrashReporter &reporter = CrashReporter::shared();
    reporter.start(QDir(dataFolder).filePath(ReportFolderName));
    const auto defaults = UserDefaults::standardUserDefaults();
    if (!reporter.didCrashInLastSession()) {
        platform::crash::breadcrumbs::clearAfterCleanRun(*defaults);
        return;
    }
    QString report = QStringLiteral("Application: %1\nVersion: %2\n")
                         .arg(ApplicationIdentifier, SharedSettingController::environment()->bundleVersion());
    if (!reporter.lastSessionDetails().isEmpty())
        report += reporter.lastSessionDetails() + QLatin1Char('\n');
    report += applicationLog();
    QDLogError(QStringLiteral("🚨🚨 The previous run of Quendel ended unexpectedly; its report waits for the user 🚨🚨"));
    reporter.addPendingReport(report);
}

void markCleanExit()
{
    CrashReporter::shared().markCleanExit();
}

QString applicationLog()
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    const auto defaults = UserDefaults::standardUserDefaults();
    QStringList lines;
    lines << QStringLiteral("OS Version: %1").arg(settings.operatingSystemVersionString());
    lines << QStringLiteral("Launch Count: %1").arg(defaults->integerForKey(LaunchCountKey));
    lines << QStringLiteral("DropBox linked: %1").arg(flag(settings.isDropboxEnabled()));
    lines << QStringLiteral("iCloud: %1").arg(flag(iCloudEnabledInApp()));
    lines << QStringLiteral("Started Ubiquity: %1").arg(flag(dataPlistValues().contains(QStringLiteral("iCloudStartedUbiquity"))));
    lines << QStringLiteral("Started CloudKit: %1")
                 .arg(flag(defaults->objectForKey(QStringLiteral("CloudKitStartedUpload")).isValid()));
    lines << platform::crash::breadcrumbs::takeReportLines(*defaults);
    return lines.join(QLatin1Char('\n'));
}

QString pendingReport()
{
    return CrashReporter::shared().pendingReport();
}

void discardPendingReport()
{
    CrashReporter::shared().discardPendingReport();
}

qint64 updateLaunchCount()
{
    const auto defaults = UserDefaults::standardUserDefaults();
    const qint64 count = defaults->integerForKey(LaunchCountKey) + 1;
    defaults->setInteger(count, LaunchCountKey);
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    SharedAppGlobals &globals = SharedAppGlobals::sharedAppGlobals();
    globals.logAnalyticsEvent(QStringLiteral("AppLaunchTotal"));
    globals.logAnalyticsEvent(QStringLiteral("AppLaunch"),
                              {{QStringLiteral("OS_Version"), settings.operatingSystemVersionString()}});
    globals.logAnalyticsEvent(QStringLiteral("AppLaunch"), {{QStringLiteral("AppLaunchCategory"), launchBucket(count)}});
    globals.logAnalyticsEvent(QStringLiteral("AppLaunch"),
                              {{QStringLiteral("Version"), SharedSettingController::environment()->bundleVersion()},
                               {QStringLiteral("ICloudEnabled"), flag(iCloudEnabledInApp())},
                               {QStringLiteral("DropboxEnabled"), flag(settings.isDropboxEnabled())}});
    return count;
}

} // namespace CrashReporting
