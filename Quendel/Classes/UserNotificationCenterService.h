#pragma once

#include "Classes/LaunchServices.h"

#include "platform/core/NotificationCenter.h"
#include "platform/notify/NotificationCenter.h"

#include <QPointer>

#include <memory>

class ToDoAlertNotifications;

// The user notifications of to-do alerts: our notification centre, shown through the desktop's notification
// service when the session bus has one, else in the program's own window. Once the application delegate is
// installed it receives the user's clicks, and the alert notifications follow every save of the main context
// (new, changed and deleted alerts, and to-dos whose start, title, repeat or contact changed).
class UserNotificationCenterService : public UserNotificationService
{
public:
    static inline const QString StoreFileName = QStringLiteral("Notifications.json");
    static inline const QString ApplicationName = QStringLiteral("Quendel");

    // `storePath` empty: kept in the data folder. `notifier` null: the desktop's service when there is one,
    // else the in-window fallback.
    explicit UserNotificationCenterService(const QString &storePath = {},
                                           std::shared_ptr<platform::notify::DesktopNotifier> notifier = {});
    ~UserNotificationCenterService() override;

    platform::notify::NotificationCenter *center() const { return m_center.get(); }

    void setDelegateInstalled(bool installed) override;
    void removeAllDeliveredNotifications() override;
    void removeAllScheduledNotifications() override;
    void registerForRemoteNotifications() override {}
    void scheduleAllToDoAlertsWithContext(const platform::store::ContextPtr &context) override;

private:
    void start();
    void contextWillSave(const platform::core::Notification &notification);

    QString m_storePath;
    std::shared_ptr<platform::notify::DesktopNotifier> m_notifier;
    std::unique_ptr<platform::notify::NotificationCenter> m_center;
    std::shared_ptr<ToDoAlertNotifications> m_hooks;
    platform::core::ScopedObserver m_willSaveObserver;
    bool m_installed = false;
};
