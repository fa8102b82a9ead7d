#pragma once

#include <QDateTime>
#include <QString>

#include <memory>
#include <mutex>
#include <source_location>

// Log levels as flags; a logger's level is the set of flags it takes (31 takes them all).
enum QDLogFlag : int {
    QDLogFlagError = 1 << 0,
    QDLogFlagWarning = 1 << 1,
    QDLogFlagInfo = 1 << 2,
    QDLogFlagDebug = 1 << 3,
    QDLogFlagVerbose = 1 << 4,
};
inline constexpr int QDLogLevelAll =
    QDLogFlagError | QDLogFlagWarning | QDLogFlagInfo | QDLogFlagDebug | QDLogFlagVerbose;

// Contexts tell the loggers what a line is about: 0 for ordinary lines, 2 for the changes the cloud
// engine downloads from other devices (the only lines the incoming-changes log keeps).
inline constexpr int QDLogContextDefault = 0;
inline constexpr int QDLogContextIncomingChanges = 2;

struct QDLogMessage
{
    QString message;
    int flag = QDLogFlagInfo;
    int context = QDLogContextDefault;
    QDateTime timestamp; // UTC, taken when the line was logged
    QString file;
    QString function;
    int line = 0;
    size_t threadId = 0; // of the thread that logged the line
};

class QDLogger;

// Turns a message into the line a logger writes, or a null string to skip the message.
class QDLogFormatter
{
public:
    virtual ~QDLogFormatter() = default;
    virtual QString formatLogMessage(const QDLogMessage &message) = 0;
    // Called whenever the formatter is given to a logger.
    virtual void didAddToLogger(QDLogger *logger) {}
};

// One destination of log lines. Loggers are called on the logging thread, one message at a time.
class QDLogger
{
public:
    virtual ~QDLogger() = default;
    // Formats (through the formatter when there is one) and writes.
    void logMessage(const QDLogMessage &message);
    virtual void flush() {}

    std::shared_ptr<QDLogFormatter> logFormatter() const;
    void setLogFormatter(std::shared_ptr<QDLogFormatter> formatter);

protected:
    // The line to write: the formatter's line, or for a logger without a formatter the bare message
    // (writeLine then decides on its own layout through `formatted`).
    virtual void writeLine(const QDLogMessage &message, const QString &line, bool formatted) = 0;

private:
    mutable std::mutex m_formatterMutex;
    std::shared_ptr<QDLogFormatter> m_formatter;
};

// The front end every log line goes through. Lines are handed to the loggers on a logging thread of
// their own, so logging never waits for a disk; error lines are waited for, so they are on disk before
// the call returns. Safe from any thread and before any logger is added (the line then goes nowhere).
class QDLog
{
public:
    // Adds a logger that takes the flags in `level`. Loggers stay for the life of the process.
    static void addLogger(std::shared_ptr<QDLogger> logger, int level = QDLogLevelAll);
    static void log(bool asynchronous, int flag, int context, const QString &message, const char *file = nullptr,
                    const char *function = nullptr, int line = 0);
    // Waits until every line logged so far is written and flushed.
    static void flushLog();
};

// A plain line for the system log (standard error), written at once; it does not reach the log files.
void QDSystemLog(const QString &line);

// Activity-log lines (console and activity log; the incoming-changes log only for context 2).
void QDLogError(const QString &line, int context = QDLogContextDefault,
                std::source_location where = std::source_location::current());
void QDLogWarn(const QString &line, int context = QDLogContextDefault,
               std::source_location where = std::source_location::current());
void QDLogInfo(const QString &line, int context = QDLogContextDefault,
               std::source_location where = std::source_location::current());
void QDLogDebug(const QString &line, int context = QDLogContextDefault,
                std::source_location where = std::source_location::current());
void QDLogVerbose(const QString &line, int context = QDLogContextDefault,
                  std::source_location where = std::source_location::current());
// An info line of an incoming cloud change (context 2).
void QDLogIncoming(const QString &line, std::source_location where = std::source_location::current());
