// Start-up of the loggers and of the network watcher.
#include "Settings/SharedSettingController.h"

#include "Infra/QDLogging.h"
#include "Infra/QDReachability.h"
#include "Settings/SettingsLog.h"

using platform::core::Notification;

void SharedSettingController::initDDLogger()
{
    QDLogging::initDDLogger();
    std::lock_guard lock(m_mutex);
    m_qdFileLogger = QDLogging::qdFileLogger();
    m_incomingLogger = QDLogging::incomingLogger();
}

void SharedSettingController::initReachability()
{
    m_observers.emplace_back(kReachabilityChangedNotification, nullptr,
                             [this](const Notification &n) { reachabilityChanged(n); });
    std::shared_ptr<QDReachability> reachability = QDReachability::reachabilityForInternetConnection();
    setReachabilityStatus(reachability);
    if (reachability)
        reachability->startNotifier();
}

void SharedSettingController::reachabilityChanged(const Notification &notification)
{
    // The one watcher that posts is the one kept here; a notice from any other leaves the kept one in place.
    // Anyone may post this name with any object, so the object is used only when it is a live watcher.
    const std::shared_ptr<QDReachability> kept = reachabilityStatus();
    const QDReachability *sender = QDReachability::watcherAt(notification.object);
    if (notification.object && !sender)
        settingsLog(QStringLiteral("ReachabilityChanged - the notice's object is not a network watcher; "
                                   "reading the kept watcher"));
    const QDReachability *watcher = sender ? sender : kept.get();
    if (!watcher)
        return;
    switch (watcher->currentReachabilityStatus()) {
    case NotReachable:
        settingsLog(QStringLiteral("ReachabilityChanged - no internet connection"));
        break;
    case ReachableViaWiFi:
        settingsLog(QStringLiteral("ReachabilityChanged - found wifi!"));
        break;
    case ReachableViaWWAN:
        settingsLog(QStringLiteral("ReachabilityChanged - found 3G!"));
        break;
    default:
        settingsLog(QStringLiteral("ReachabilityChanged - no connection found"));
        break;
    }
}
