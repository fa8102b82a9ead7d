#pragma once

#include "QDFileLogger.h"

// The program's loggers, set up once at launch by the settings object: the console, the activity log
// and, outside UI-test mode, the incoming-changes log that keeps only the lines of context 2.
class QDLogging
{
public:
    // Sets the loggers up; later calls do nothing.
    static void initDDLogger();

    // The activity-log file logger (null before set-up).
    static std::shared_ptr<QDFileLogger> qdFileLogger();
    // The incoming-changes file logger (null before set-up and in UI-test mode).
    static std::shared_ptr<QDFileLogger> incomingLogger();

    // "Logs/IncomingCloudKit" in the user's Caches folder; null when there is no Caches folder.
    static QString incomingLogsDirectory();

    static constexpr double ActivityRollingFrequencyUITest = 86400.0;
    static constexpr int ActivityMaximumFilesUITest = 7;
    static constexpr double ActivityRollingFrequency = 1209600.0;
    static constexpr int ActivityMaximumFiles = 20;
    static constexpr double IncomingRollingFrequency = 86400.0;
    static constexpr int IncomingMaximumFiles = 5;
};
