#include "Settings/QDAlertDisplay.h"

#include "Infra/QDLog.h"

#include <mutex>

namespace {
std::mutex g_mutex;
std::shared_ptr<QDAlertDisplay> g_alert;
} // namespace

std::shared_ptr<QDAlertDisplay> QDAlertDisplay::sharedAlert()
{
    std::lock_guard lock(g_mutex);
    if (!g_alert)
        g_alert = std::make_shared<QDAlertDisplay>();
    return g_alert;
}

void QDAlertDisplay::setSharedAlert(std::shared_ptr<QDAlertDisplay> alert)
{
    std::lock_guard lock(g_mutex);
    g_alert = std::move(alert);
}

void QDAlertDisplay::showCoreDataError(const QString &errorString, const platform::core::QDError &error)
{
    QDLogError(QStringLiteral("🚨🚨 showCoreDataError = errorString: %1 - error = %2 🚨🚨")
                   .arg(errorString, error.isNull() ? QStringLiteral("(null)") : error.toString()));
}

void QDAlertDisplay::showAlertWithTitle(const QString &title, const QString &message)
{
    // Without the application's window there is no one to show it to; the log keeps it.
    QDLogError(QStringLiteral("Alert: %1 - %2").arg(title, message));
}
