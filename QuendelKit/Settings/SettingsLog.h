#pragma once

#include <QString>

// The settings object's two kinds of log line: a plain line for the system log, and an activity-log line
// (info level, context 0: console and activity file).
void settingsLog(const QString &line);
void settingsActivityLog(const QString &line);
