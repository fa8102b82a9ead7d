#include "QDLog.h"

#include "platform/core/Clock.h"

#include <QCoreApplication>

#include <spdlog/details/os.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <condition_variable>
#include <deque>
#include <thread>
#include <vector>

namespace {

struct LoggerEntry
{
    std::shared_ptr<QDLogger> logger;
    int level;
};
using LoggerList = std::vector<LoggerEntry>;

// The loggers and the logging thread. Loggers are kept as an immutable list that is swapped whole, so
// the logging thread reads it without holding the lock while it writes.
class LogFrontEnd
{
public:
    static LogFrontEnd &instance()
    {
        static LogFrontEnd frontEnd;
        return frontEnd;
    }

    ~LogFrontEnd()
    {
        std::thread worker;
        {
            std::lock_guard guard(m_mutex);
            m_stopping = true;
            worker = std::move(m_worker);
        }
        m_wake.notify_all();
        if (worker.joinable())
            worker.join();
    }

    void addLogger(std::shared_ptr<QDLogger> logger, int level)
    {
        std::lock_guard guard(m_mutex);
        auto list = std::make_shared<LoggerList>(m_loggers ? *m_loggers : LoggerList{});
        list->push_back({std::move(logger), level});
        m_loggers = std::move(list);
    }

    void log(bool asynchronous, QDLogMessage message)
    {
        std::unique_lock lock(m_mutex);
        if (!m_loggers || m_loggers->empty())
            return;
        // Past shutdown, or on the logging thread itself, there is nobody to hand the line to.
        if (std::this_thread::get_id() == m_workerId) {
            // A logger that logs while writing: the logging thread already holds the writers' lock.
            auto loggers = m_loggers;
            lock.unlock();
            dispatch(*loggers, message);
            return;
        }
        if (m_stopping) {
            auto loggers = m_loggers;
            lock.unlock();
            std::lock_guard direct(m_directMutex);
            dispatch(*loggers, message);
            flushAll(*loggers);
            return;
        }
        startWorkerLocked();
        const quint64 sequence = ++m_queued;
        m_queue.push_back(std::move(message));
        m_wake.notify_one();
        if (!asynchronous)
            m_done.wait(lock, [&] { return m_written >= sequence || m_stopping; });
    }

    void flush()
    {
        std::unique_lock lock(m_mutex);
        if (!m_worker.joinable() || std::this_thread::get_id() == m_workerId)
            return;
        const quint64 sequence = m_queued;
        m_done.wait(lock, [&] { return m_written >= sequence || m_stopping; });
    }

private:
    void startWorkerLocked()
    {
        if (m_worker.joinable())
            return;
        m_worker = std::thread([this] { run(); });
        m_workerId = m_worker.get_id();
    }

    static void dispatch(const LoggerList &loggers, const QDLogMessage &message)
    {
        for (const LoggerEntry &entry : loggers)
            if (entry.level & message.flag)
                entry.logger->logMessage(message);
    }

    static void flushAll(const LoggerList &loggers)
    {
        for (const LoggerEntry &entry : loggers)
            entry.logger->flush();
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty() && m_stopping)
                return;
            std::deque<QDLogMessage> batch;
            batch.swap(m_queue);
            const quint64 last = m_queued;
            auto loggers = m_loggers;
            lock.unlock();
            {
                std::lock_guard direct(m_directMutex);
                for (const QDLogMessage &message : batch)
                    dispatch(*loggers, message);
                // A batch ends with a flush so that a reader of the files (or a crash) sees whole lines.
                flushAll(*loggers);
            }
            lock.lock();
            m_written = last;
            m_done.notify_all();
        }
    }

    std::mutex m_mutex;
    std::mutex m_directMutex; // keeps direct writes and the logging thread's batches apart
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::shared_ptr<const LoggerList> m_loggers;
    std::deque<QDLogMessage> m_queue;
    quint64 m_queued = 0;
    quint64 m_written = 0;
    bool m_stopping = false;
    std::thread m_worker;
    std::thread::id m_workerId;
};

QDLogMessage makeMessage(int flag, int context, const QString &text, const char *file, const char *function, int line)
{
    QDLogMessage message;
    message.message = text;
    message.flag = flag;
    message.context = context;
    message.timestamp = platform::core::Clock::now();
    message.file = file ? QString::fromUtf8(file) : QString();
    message.function = function ? QString::fromUtf8(function) : QString();
    message.line = line;
    message.threadId = spdlog::details::os::thread_id();
    return message;
}

QString applicationNameForLines()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Quendel") : name;
}

void logAt(int flag, bool asynchronous, const QString &line, int context, const std::source_location &where)
{
    QDLog::log(asynchronous, flag, context, line, where.file_name(), where.function_name(), int(where.line()));
}

} // namespace

void QDLogger::logMessage(const QDLogMessage &message)
{
    const std::shared_ptr<QDLogFormatter> formatter = logFormatter();
    if (!formatter) {
        writeLine(message, message.message, false);
        return;
    }
    const QString line = formatter->formatLogMessage(message);
    if (line.isNull())
        return;
    writeLine(message, line, true);
}

std::shared_ptr<QDLogFormatter> QDLogger::logFormatter() const
{
    std::lock_guard guard(m_formatterMutex);
    return m_formatter;
}

void QDLogger::setLogFormatter(std::shared_ptr<QDLogFormatter> formatter)
{
    if (formatter)
        formatter->didAddToLogger(this);
    std::lock_guard guard(m_formatterMutex);
    m_formatter = std::move(formatter);
}

void QDLog::addLogger(std::shared_ptr<QDLogger> logger, int level)
{
    if (logger)
        LogFrontEnd::instance().addLogger(std::move(logger), level);
}

void QDLog::log(bool asynchronous, int flag, int context, const QString &message, const char *file,
                const char *function, int line)
{
    LogFrontEnd::instance().log(asynchronous, makeMessage(flag, context, message, file, function, line));
}

void QDLog::flushLog()
{
    LogFrontEnd::instance().flush();
}

void QDSystemLog(const QString &line)
{
    static const std::shared_ptr<spdlog::sinks::stderr_sink_mt> sink = [] {
        auto made = std::make_shared<spdlog::sinks::stderr_sink_mt>();
        made->set_pattern("%Y-%m-%d %H:%M:%S.%e " + applicationNameForLines().toStdString() + "[%P:%t] %v");
        return made;
    }();
    const QDLogMessage message = makeMessage(QDLogFlagInfo, QDLogContextDefault, line, nullptr, nullptr, 0);
    const QByteArray text = line.toUtf8();
    spdlog::details::log_msg record(
        spdlog::log_clock::time_point(std::chrono::milliseconds(message.timestamp.toMSecsSinceEpoch())),
        spdlog::source_loc{}, "", spdlog::level::info, spdlog::string_view_t(text.constData(), size_t(text.size())));
    sink->log(record);
    sink->flush();
}

void QDLogError(const QString &line, int context, std::source_location where)
{
    logAt(QDLogFlagError, false, line, context, where);
}

void QDLogWarn(const QString &line, int context, std::source_location where)
{
    logAt(QDLogFlagWarning, true, line, context, where);
}

void QDLogInfo(const QString &line, int context, std::source_location where)
{
    logAt(QDLogFlagInfo, true, line, context, where);
}

void QDLogDebug(const QString &line, int context, std::source_location where)
{
    logAt(QDLogFlagDebug, true, line, context, where);
}

void QDLogVerbose(const QString &line, int context, std::source_location where)
{
    logAt(QDLogFlagVerbose, true, line, context, where);
}

void QDLogIncoming(const QString &line, std::source_location where)
{
    logAt(QDLogFlagInfo, true, line, QDLogContextIncomingChanges, where);
}
