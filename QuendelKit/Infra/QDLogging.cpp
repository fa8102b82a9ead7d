#include "QDLogging.h"

#include "CustomLogFormatter.h"
#include "QDConsoleLogger.h"
#include "platform/core/StandardPaths.h"

#include <QStandardPaths>

namespace {

struct Loggers
{
    std::mutex mutex;
    bool done = false;
    std::shared_ptr<QDFileLogger> fileLogger;
    std::shared_ptr<QDFileLogger> incomingLogger;
};

Loggers &loggers()
{
    static Loggers instance;
    return instance;
}

} // namespace

QString QDLogging::incomingLogsDirectory()
{
    const QStringList caches = QStandardPaths::standardLocations(QStandardPaths::GenericCacheLocation);
    if (caches.isEmpty())
        return QString();
    return caches.first() + QStringLiteral("/Logs/IncomingCloudKit");
}

void QDLogging::initDDLogger()
{
    Loggers &state = loggers();
    std::lock_guard guard(state.mutex);
    if (state.done)
        return;
    state.done = true;

    auto console = QDConsoleLogger::sharedInstance();
    QDLog::addLogger(console, QDLogLevelAll);
    console->setColorsEnabled(true);

    auto fileLogger = std::make_shared<QDFileLogger>();
    fileLogger->setRollingFrequency(ActivityRollingFrequencyUITest);
    fileLogger->logFileManager()->setMaximumNumberOfLogFiles(ActivityMaximumFilesUITest);
    QDLog::addLogger(fileLogger, QDLogLevelAll);
    state.fileLogger = fileLogger;

    if (platform::core::StandardPaths::isUITest())
        return;

    const QString incomingFolder = incomingLogsDirectory();
    if (incomingFolder.isNull())
        return;
    auto incoming = std::make_shared<QDFileLogger>(std::make_shared<QDLogFileManager>(incomingFolder));
    state.incomingLogger = incoming;

    fileLogger->setRollingFrequency(ActivityRollingFrequency);
    fileLogger->logFileManager()->setMaximumNumberOfLogFiles(ActivityMaximumFiles);

    incoming->setLogFormatter(std::make_shared<CustomLogFormatter>());
    QDLog::addLogger(incoming, QDLogLevelAll);
}

std::shared_ptr<QDFileLogger> QDLogging::qdFileLogger()
{
    std::lock_guard guard(loggers().mutex);
    return loggers().fileLogger;
}

std::shared_ptr<QDFileLogger> QDLogging::incomingLogger()
{
    std::lock_guard guard(loggers().mutex);
    return loggers().incomingLogger;
}
