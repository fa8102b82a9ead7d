#include "QDFileLogger.h"

#include "SpdlogRecord.h"

#include "platform/core/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <spdlog/details/file_helper.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>

#include <algorithm>

namespace {

const QString kNameTimeFormat = QStringLiteral("yyyy-MM-dd--HH-mm-ss-zzz");

struct LogFileName
{
    QDateTime created;
    int sequence = 0;
    QString path;
};

} // namespace

// ---- QDLogFileManager ----

QString QDLogFileManager::defaultLogsDirectory()
{
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty())
        name = QStringLiteral("Quendel");
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Logs/") + name;
}

QDLogFileManager::QDLogFileManager(QString logsDirectory, QString filePrefix)
    : m_logsDirectory(std::move(logsDirectory)), m_filePrefix(std::move(filePrefix))
{}

int QDLogFileManager::maximumNumberOfLogFiles() const
{
    return m_maximumNumberOfLogFiles;
}

void QDLogFileManager::setMaximumNumberOfLogFiles(int count)
{
    m_maximumNumberOfLogFiles = std::max(0, count);
}

qint64 QDLogFileManager::logFilesDiskQuota() const
{
    return m_logFilesDiskQuota;
}

void QDLogFileManager::setLogFilesDiskQuota(qint64 bytes)
{
    m_logFilesDiskQuota = std::max<qint64>(0, bytes);
}

static std::optional<LogFileName> parseLogFileName(const QString &prefix, const QString &directory,
                                                   const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(.*) (\\d{4}-\\d\\d-\\d\\d--\\d\\d-\\d\\d-\\d\\d-\\d{3})(?: (\\d+))?\\.log$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch() || match.captured(1) != prefix)
        return std::nullopt;
    QDateTime created = QDateTime::fromString(match.captured(2), kNameTimeFormat);
    if (!created.isValid())
        return std::nullopt;
    created.setTimeSpec(Qt::UTC);
    LogFileName name;
    name.created = created;
    name.sequence = match.captured(3).isEmpty() ? 0 : match.captured(3).toInt();
    name.path = directory + QLatin1Char('/') + fileName;
    return name;
}

static std::vector<LogFileName> logFiles(const QString &prefix, const QString &directory)
{
    std::vector<LogFileName> files;
    const QStringList names = QDir(directory).entryList({QStringLiteral("*.log")}, QDir::Files);
    for (const QString &fileName : names)
        if (auto parsed = parseLogFileName(prefix, directory, fileName))
            files.push_back(*parsed);
    std::sort(files.begin(), files.end(), [](const LogFileName &a, const LogFileName &b) {
        if (a.created != b.created)
            return a.created > b.created;
        return a.sequence > b.sequence;
    });
    return files;
}

QStringList QDLogFileManager::sortedLogFilePaths() const
{
    QStringList paths;
    for (const LogFileName &file : logFiles(m_filePrefix, m_logsDirectory))
        paths.append(file.path);
    return paths;
}

QDateTime QDLogFileManager::creationDateOfLogFile(const QString &path) const
{
    const QFileInfo info(path);
    const auto parsed = parseLogFileName(m_filePrefix, info.path(), info.fileName());
    return parsed ? parsed->created : QDateTime();
}

QString QDLogFileManager::newLogFilePath(const QDateTime &utc) const
{
    const QString stem =
        m_logsDirectory + QLatin1Char('/') + m_filePrefix + QLatin1Char(' ') + utc.toUTC().toString(kNameTimeFormat);
    QString path = stem + QStringLiteral(".log");
    // Two files can start within one millisecond (a burst that fills a file): number the later ones.
    for (int sequence = 1; QFileInfo::exists(path); ++sequence)
        path = stem + QLatin1Char(' ') + QString::number(sequence) + QStringLiteral(".log");
    return path;
}

void QDLogFileManager::deleteOldLogFiles(const QString &keepPath) const
{
    const std::vector<LogFileName> files = logFiles(m_filePrefix, m_logsDirectory);
    const int maxCount = maximumNumberOfLogFiles();
    const qint64 quota = logFilesDiskQuota();
    int count = int(files.size());
    qint64 total = 0;
    for (const LogFileName &file : files)
        total += QFileInfo(file.path).size();
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        const bool tooMany = maxCount > 0 && count > maxCount;
        const bool tooBig = quota > 0 && total > quota;
        if (!tooMany && !tooBig)
            break;
        if (it->path == keepPath)
            continue;
        const qint64 size = QFileInfo(it->path).size();
        if (QFile::remove(it->path)) {
            --count;
            total -= size;
        }
    }
}

// ---- the sink ----

// The spdlog sink behind a file logger: all file work happens under the sink's own mutex.
class RollingFileSink final : public spdlog::sinks::base_sink<std::mutex>
{
public:
    explicit RollingFileSink(std::shared_ptr<QDLogFileManager> manager) : m_manager(std::move(manager))
    {
        m_plainFormatter = std::make_unique<spdlog::pattern_formatter>("%Y/%m/%d %H:%M:%S:%e  %v");
        m_bareFormatter = std::make_unique<spdlog::pattern_formatter>("%v");
    }

    void writeRecord(const spdlog::details::log_msg &record, bool formatted)
    {
        std::lock_guard guard(mutex_);
        m_formattedNext = formatted;
        sink_it_(record);
    }

    double rollingFrequency()
    {
        std::lock_guard guard(mutex_);
        return m_rollingFrequency;
    }
    void setRollingFrequency(double seconds)
    {
        std::lock_guard guard(mutex_);
        m_rollingFrequency = seconds;
    }
    qint64 maximumFileSize()
    {
        std::lock_guard guard(mutex_);
        return m_maximumFileSize;
    }
    void setMaximumFileSize(qint64 bytes)
    {
        std::lock_guard guard(mutex_);
        m_maximumFileSize = bytes;
    }

    QString currentPath()
    {
        std::lock_guard guard(mutex_);
        ensureOpen(platform::core::Clock::now());
        return m_path;
    }

    void roll()
    {
        std::lock_guard guard(mutex_);
        closeCurrent();
    }

protected:
    void sink_it_(const spdlog::details::log_msg &record) override
    {
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::milliseconds>(record.time.time_since_epoch()).count(), Qt::UTC);
        if (isOpen() && (tooOld(now) || tooBig()))
            closeCurrent();
        if (!ensureOpen(now))
            return;
        spdlog::memory_buf_t buffer;
        (m_formattedNext ? m_bareFormatter : m_plainFormatter)->format(record, buffer);
        m_file.write(buffer);
        m_size += qint64(buffer.size());
        if (tooBig())
            closeCurrent();
    }

    void flush_() override
    {
        if (isOpen())
            m_file.flush();
    }

private:
    bool isOpen() const { return !m_path.isEmpty(); }

    bool tooOld(const QDateTime &now) const
    {
        return m_rollingFrequency > 0 && m_created.isValid() &&
               double(m_created.msecsTo(now)) >= m_rollingFrequency * 1000.0;
    }

    bool tooBig() const { return m_maximumFileSize > 0 && m_size >= m_maximumFileSize; }

    void closeCurrent()
    {
        if (!isOpen())
            return;
        m_file.close();
        m_path.clear();
        m_created = QDateTime();
        m_size = 0;
    }

    // Opens the newest file when it may still take lines, else a new one; then trims the old files.
    bool ensureOpen(const QDateTime &now)
    {
        if (isOpen())
            return true;
        if (!QDir().mkpath(m_manager->logsDirectory()))
            return false;
        QString path;
        QDateTime created;
        // Only a logger that is just starting continues the newest file; after a roll it is finished.
        const QStringList existing = m_mayContinueFile ? m_manager->sortedLogFilePaths() : QStringList();
        m_mayContinueFile = false;
        if (!existing.isEmpty()) {
            m_path = existing.first();
            m_created = m_manager->creationDateOfLogFile(m_path);
            m_size = QFileInfo(m_path).size();
            if (!tooOld(now) && !tooBig() && m_created <= now) {
                path = m_path;
                created = m_created;
            }
            m_path.clear();
        }
        if (path.isEmpty()) {
            path = m_manager->newLogFilePath(now);
            created = now;
        }
        try {
            m_file.open(path.toStdString(), false);
        } catch (const spdlog::spdlog_ex &) {
            return false;
        }
        m_path = path;
        m_created = created;
        m_size = qint64(m_file.size());
        m_manager->deleteOldLogFiles(m_path);
        return true;
    }

    std::shared_ptr<QDLogFileManager> m_manager;
    std::unique_ptr<spdlog::formatter> m_plainFormatter;
    std::unique_ptr<spdlog::formatter> m_bareFormatter;
    spdlog::details::file_helper m_file;
    QString m_path;
    QDateTime m_created;
    qint64 m_size = 0;
    double m_rollingFrequency = 86400.0;
    qint64 m_maximumFileSize = 1024 * 1024;
    bool m_formattedNext = false;
    bool m_mayContinueFile = true;
};

// ---- QDFileLogger ----

QDFileLogger::QDFileLogger(std::shared_ptr<QDLogFileManager> logFileManager)
    : m_manager(logFileManager ? std::move(logFileManager) : std::make_shared<QDLogFileManager>()),
      m_sink(std::make_shared<RollingFileSink>(m_manager))
{}

QDFileLogger::~QDFileLogger() = default;

double QDFileLogger::rollingFrequency() const
{
    return m_sink->rollingFrequency();
}

void QDFileLogger::setRollingFrequency(double seconds)
{
    m_sink->setRollingFrequency(seconds);
}

qint64 QDFileLogger::maximumFileSize() const
{
    return m_sink->maximumFileSize();
}

void QDFileLogger::setMaximumFileSize(qint64 bytes)
{
    m_sink->setMaximumFileSize(bytes);
}

QString QDFileLogger::currentLogFilePath()
{
    // Whoever reads the file wants the lines logged so far in it.
    QDLog::flushLog();
    return m_sink->currentPath();
}

void QDFileLogger::rollLogFile()
{
    m_sink->roll();
}

void QDFileLogger::flush()
{
    m_sink->flush();
}

void QDFileLogger::writeLine(const QDLogMessage &message, const QString &line, bool formatted)
{
    writeSpdlogRecord(message, line, [&](const spdlog::details::log_msg &record) { m_sink->writeRecord(record, formatted); });
}
