#include "platform/crash/CrashReporter.h"

#include "platform/core/Clock.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform::crash {

namespace {

// The marker's descriptor, kept open so the signal handler needs nothing but write().
volatile int g_markerFd = -1;

void writeNumber(int fd, int value)
{
    char digits[16];
    int length = 0;
    unsigned int v = value < 0 ? 0u : unsigned(value);
    do {
        digits[length++] = char('0' + v % 10);
        v /= 10;
    } while (v && length < 15);
    char out[16];
    for (int i = 0; i < length; ++i)
        out[i] = digits[length - 1 - i];
    [[maybe_unused]] ssize_t written = ::write(fd, out, size_t(length));
}

extern "C" void onFatalSignal(int signalNumber)
{
    const int fd = g_markerFd;
    if (fd >= 0) {
        static const char prefix[] = "signal ";
        [[maybe_unused]] ssize_t written = ::write(fd, prefix, sizeof(prefix) - 1);
        writeNumber(fd, signalNumber);
        written = ::write(fd, "\n", 1);
    }
    // The default action ends the process as the signal meant to (core dump included).
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void armSignalHandlers()
{
    static bool armed = false;
    if (armed)
        return;
    armed = true;
    for (int signalNumber : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
        std::signal(signalNumber, onFatalSignal);
}

QString signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGSEGV:
        return QStringLiteral("segmentation fault");
    case SIGABRT:
        return QStringLiteral("abort");
    case SIGBUS:
        return QStringLiteral("bus error");
    case SIGFPE:
        return QStringLiteral("arithmetic error");
    case SIGILL:
        return QStringLiteral("illegal instruction");
    default:
        return QStringLiteral("signal");
    }
}

void closeMarker()
{
    const int fd = g_markerFd;
    g_markerFd = -1;
    if (fd >= 0)
        ::close(fd);
}

} // namespace

CrashReporter &CrashReporter::shared()
{
    static CrashReporter reporter;
    return reporter;
}

QString CrashReporter::path(const QString &name) const
{
    return QDir(m_folder).filePath(name);
}

void CrashReporter::start(const QString &folder)
{
    if (folder.isEmpty() || folder == m_folder)
        return;
    if (!m_folder.isEmpty())
        markCleanExit();
    m_folder = folder;
    m_didCrash = false;
    m_lastDetails.clear();
    QDir().mkpath(folder);

    QFile previous(path(MarkerFileName));
    if (previous.exists()) {
        m_didCrash = true;
        QStringList details;
        if (previous.open(QIODevice::ReadOnly)) {
            const QStringList lines = QString::fromUtf8(previous.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (const QString &line : lines) {
                if (line.startsWith(QLatin1String("signal "))) {
                    const int number = line.mid(7).toInt();
                    details << QStringLiteral("Ended by signal %1 (%2)").arg(number).arg(signalName(number));
                } else {
                    details << line;
                }
            }
            previous.close();
        }
        m_lastDetails = details.join(QLatin1Char('\n'));
        previous.remove();
    }

    const QByteArray markerPath = QFile::encodeName(path(MarkerFileName));
    const int fd = ::open(markerPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const QByteArray started = QStringLiteral("Started: %1 (process %2)\n")
                                       .arg(core::Clock::now().toString(Qt::ISODate))
                                       .arg(::getpid())
                                       .toUtf8();
        [[maybe_unused]] ssize_t written = ::write(fd, started.constData(), size_t(started.size()));
        closeMarker();
        g_markerFd = fd;
    }
    armSignalHandlers();
}

void CrashReporter::markCleanExit()
{
    if (m_folder.isEmpty())
        return;
    closeMarker();
    QFile::remove(path(MarkerFileName));
    m_folder.clear();
}

QString CrashReporter::pendingReport() const
{
    if (m_folder.isEmpty())
        return {};
    QFile file(path(PendingReportFileName));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool CrashReporter::addPendingReport(const QString &text)
{
    if (m_folder.isEmpty())
        return false;
    QString all = pendingReport();
    if (!all.isEmpty())
        all += QStringLiteral("\n\n----\n\n");
    all += text;
    QSaveFile file(path(PendingReportFileName));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(all.toUtf8());
    return file.commit();
}

void CrashReporter::discardPendingReport()
{
    if (!m_folder.isEmpty())
        QFile::remove(path(PendingReportFileName));
}

namespace breadcrumbs {

QStringList keys()
{
    return {QStringLiteral("HockeyDebug1"),
            QStringLiteral("HockeyDebug-2a"),
            QStringLiteral("HockeyDebug-2b"),
            QStringLiteral("HockeyDebug-3a"),
            QStringLiteral("HockeyDebug-3b"),
            QStringLiteral("HockeyDebug-LogsCount"),
            QStringLiteral("HockeyDebug-ToDosCount"),
            QStringLiteral("HockeyDebug-AddContactCount"),
            QStringLiteral("HockeyDebug-ContactsPage-A"),
            QStringLiteral("HockeyDebug-ContactsPage-B"),
            QStringLiteral("HockeyDebug-BackupStarted"),
            QStringLiteral("HockeyDebug-AutoBackupCount")};
}

void clearAfterCleanRun(core::UserDefaults &defaults)
{
    const QStringList all = keys();
    // The last one counts automatic backups across runs; only a report clears it.
    for (qsizetype i = 0; i + 1 < all.size(); ++i) {
        if (defaults.objectForKey(all[i]).isValid())
            defaults.removeObjectForKey(all[i]);
    }
}

QStringList takeReportLines(core::UserDefaults &defaults)
{
    QStringList lines;
    for (const QString &key : keys()) {
        const QVariant value = defaults.objectForKey(key);
        if (!value.isValid())
            continue;
        lines << QStringLiteral("DebugKey = %1, Value = %2").arg(key, value.toString());
        defaults.removeObjectForKey(key);
    }
    return lines;
}

} // namespace breadcrumbs

} // namespace platform::crash
