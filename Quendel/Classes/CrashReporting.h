#pragma once

#include <QString>


// Crash reports, launch counting and the review prompt's rules. Reports stay on this machine: after a
// crash the next launch offers the report to the user, who may send it by e-mail; nothing is sent
// otherwise.
namespace CrashReporting {

inline const QString ApplicationIdentifier = QStringLiteral("3e9a5c71d04b28f6a1c7e05d92b4f638");
inline const QString LaunchCountKey = QStringLiteral("count_app_launch");
inline const QString ReportFolderName = QStringLiteral("CrashReports");
inline const QString OfferTitle = QStringLiteral("Quendel quit unexpectedly");
inline const QString SendButton = QStringLiteral("Send Report…");
inline const QString DontSendButton = QStringLiteral("Don't Send");
inline const QString ReportSubject = QStringLiteral("Crash Report - Quendel");
// Where reviews are written. None is configured: this program is not sold through a store, so the review
// prompt shows nothing. A build (or a test) that has such a page sets it.
QString reviewStoreURL();
void setReviewStoreURL(const QString &url);

// The launch bucket of a launch count (after counting this launch).
QString launchBucket(qint64 count);

// Starts crash reporting in the data folder: after a clean run the breadcrumbs are cleared; after a
// crash the report is built (which takes the breadcrumbs) and kept for the user's answer.
void start(const QString &dataFolder);
// The normal end of the program.
void markCleanExit();
// The text attached to a crash report; the breadcrumbs it reports are removed.
QString applicationLog();
// The report waiting for the user's answer; empty when none.
QString pendingReport();
void discardPendingReport();

// Counts this launch and sends its analytics events; the new count.
qint64 updateLaunchCount();

} // namespace CrashReporting
