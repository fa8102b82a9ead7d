#pragma once

#include "QDLog.h"

#include <QStringList>

#include <atomic>
#include <memory>

// Where a file logger keeps its files and how many it keeps. Files are named "<prefix> <UTC time of
// creation>.log", so their order and age can be read from their names alone.
class QDLogFileManager
{
public:
    // The activity log's folder: "Logs/<application name>" in the user's Caches folder.
    static QString defaultLogsDirectory();

    explicit QDLogFileManager(QString logsDirectory = defaultLogsDirectory(),
                              QString filePrefix = QStringLiteral("Quendel"));

    const QString &logsDirectory() const { return m_logsDirectory; }
    const QString &filePrefix() const { return m_filePrefix; }

    // The most files kept, the current one included; 0 keeps them all.
    int maximumNumberOfLogFiles() const;
    void setMaximumNumberOfLogFiles(int count);
    // The most bytes all files together may take; older files go first; 0 means no limit.
    qint64 logFilesDiskQuota() const;
    void setLogFilesDiskQuota(qint64 bytes);

    // The log files of this manager, newest first.
    QStringList sortedLogFilePaths() const;
    // When a file of this manager was created (from its name); invalid for other files.
    QDateTime creationDateOfLogFile(const QString &path) const;
    // A free name for a file created at `utc`.
    QString newLogFilePath(const QDateTime &utc) const;
    // Deletes the oldest files, never `keepPath`, until the count and the quota hold.
    void deleteOldLogFiles(const QString &keepPath) const;

private:
    QString m_logsDirectory;
    QString m_filePrefix;
    std::atomic<int> m_maximumNumberOfLogFiles{5};
    std::atomic<qint64> m_logFilesDiskQuota{20 * 1024 * 1024};
};

class RollingFileSink;

// A logger writing to a rolling set of files: a new file once the current one is `rollingFrequency`
// seconds old (checked when a line is written) or has reached `maximumFileSize` bytes; the manager then
// deletes the oldest files beyond its limits. A logger without a formatter writes
// "yyyy/MM/dd HH:mm:ss:zzz  text" in local time.
class QDFileLogger : public QDLogger
{
public:
    explicit QDFileLogger(std::shared_ptr<QDLogFileManager> logFileManager = std::make_shared<QDLogFileManager>());
    ~QDFileLogger() override;

    std::shared_ptr<QDLogFileManager> logFileManager() const { return m_manager; }

    // Seconds; 0 or less never rolls by age.
    double rollingFrequency() const;
    void setRollingFrequency(double seconds);
    // Bytes; 0 never rolls by size.
    qint64 maximumFileSize() const;
    void setMaximumFileSize(qint64 bytes);

    // The file being written, created when there is none yet, so readers can always attach it; lines
    // still on their way to the loggers are written first.
    QString currentLogFilePath();
    // Starts a new file with the next line.
    void rollLogFile();
    void flush() override;

protected:
    void writeLine(const QDLogMessage &message, const QString &line, bool formatted) override;

private:
    std::shared_ptr<QDLogFileManager> m_manager;
    std::shared_ptr<RollingFileSink> m_sink;
};
