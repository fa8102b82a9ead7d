#include "Settings/SettingsLog.h"

#include "Infra/QDLog.h"

void settingsLog(const QString &line)
{
    QDSystemLog(line);
}

void settingsActivityLog(const QString &line)
{
    QDLogInfo(line);
}
