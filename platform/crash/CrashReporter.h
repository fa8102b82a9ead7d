#pragma once

#include "platform/core/UserDefaults.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace platform::crash {

// Notes of how the last run ended, kept in a folder of this machine and nowhere else. While the program
// runs, a marker file says so; a normal end removes it, and a fatal signal writes its number into it
// before the program dies. A marker found at start therefore means the previous run crashed. What is to
// be reported about that crash waits in a report file until the user sends or discards it.
class CrashReporter
{
public:
    static inline const QString MarkerFileName = QStringLiteral("running.marker");
    static inline const QString PendingReportFileName = QStringLiteral("PendingCrashReport.txt");

    static CrashReporter &shared();

    // Looks for the previous run's marker in `folder`, then marks this run (and arms the signal handlers
    // once per process). Starting again in another folder ends the marking in the first one.
    void start(const QString &folder);
    // The run ends normally: the marker goes.
    void markCleanExit();

    bool isStarted() const { return !m_folder.isEmpty(); }
    QString folder() const { return m_folder; }
    // Whether the previous run ended without its normal end.
    bool didCrashInLastSession() const { return m_didCrash; }
    // What the previous run's marker says (its start and, when a signal killed it, the signal).
    QString lastSessionDetails() const { return m_lastDetails; }

    // The report waiting for the user: empty when there is none. Reports of several crashes pile up.
    QString pendingReport() const;
    bool addPendingReport(const QString &text);
    void discardPendingReport();

private:
    CrashReporter() = default;
    QString path(const QString &name) const;

    QString m_folder;
    bool m_didCrash = false;
    QString m_lastDetails;
};

// Breadcrumbs: user-defaults keys other code sets around risky work, read back in a crash report.
namespace breadcrumbs {

// The keys in report order.
QStringList keys();
// After a normal run: every breadcrumb but the counters that only a report clears goes.
void clearAfterCleanRun(core::UserDefaults &defaults);
// "DebugKey = <key>, Value = <value>" for each breadcrumb held, in order; each reported key is removed.
QStringList takeReportLines(core::UserDefaults &defaults);

} // namespace breadcrumbs

} // namespace platform::crash
