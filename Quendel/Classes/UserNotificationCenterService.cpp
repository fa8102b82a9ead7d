#include "Classes/UserNotificationCenterService.h"

#include "AppDelegate.h"
#include "Classes/ToDoAlertNotifications.h"
#include "Mac/Shell/InAppNotifier.h"

#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoAlert.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Dispatch.h"
#include "platform/core/StandardPaths.h"
#include "platform/notify/FreedesktopNotifier.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreNotifications.h"

#include <QDBusConnection>
#include <QDir>

using platform::store::ManagedObject;
using platform::store::ManagedObjectContext;

namespace {

const QStringList AlertKeysOfToDo = {QStringLiteral("todoStartDate"), QStringLiteral("todotitle"),
                                     QStringLiteral("todoRepeatInterval"), QStringLiteral("person")};

} // namespace

UserNotificationCenterService::UserNotificationCenterService(const QString &storePath,
                                                             std::shared_ptr<platform::notify::DesktopNotifier> notifier)
    : m_storePath(storePath), m_notifier(std::move(notifier))
{
}

UserNotificationCenterService::~UserNotificationCenterService()
{
    if (m_installed)
        ToDoAlert_Mac::install(nullptr);
}

void UserNotificationCenterService::start()
{
    if (m_center)
        return;
    QString path = m_storePath;
    if (path.isEmpty())
        path = QDir(platform::core::StandardPaths::dataFolderPath()).filePath(StoreFileName);
    m_center = std::make_unique<platform::notify::NotificationCenter>(path);
    if (!m_notifier) {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (platform::notify::FreedesktopNotifier::isServiceAvailable(bus))
            m_notifier = std::make_shared<platform::notify::FreedesktopNotifier>(bus, ApplicationName);
        else
            m_notifier = std::make_shared<InAppNotifier>();
    }
    m_center->setNotifier(m_notifier);
    m_center->setActivationHandler([](const platform::notify::ScheduledNotification &notification) {
        if (AppDelegate *delegate = AppDelegate::instance())
            delegate->userNotificationCenterDidActivateNotification(notification.userInfo);
    });
    QString problem;
    if (!m_center->load(&problem))
        QDLogError(problem);
    m_hooks = std::make_shared<ToDoAlertNotifications>(m_center.get());
}

void UserNotificationCenterService::setDelegateInstalled(bool installed)
{
    if (!installed || m_installed)
        return;
    start();
    ToDoAlert_Mac::install(m_hooks);
    m_installed = true;
    m_willSaveObserver = platform::core::ScopedObserver(
        platform::store::ManagedObjectContextWillSaveNotification, nullptr,
        [this](const platform::core::Notification &notification) { contextWillSave(notification); });
}

void UserNotificationCenterService::contextWillSave(const platform::core::Notification &notification)
{
    // The main context saves on the main thread; other contexts' saves reach it later as its own.
    if (!platform::core::isMainThread())
        return;
    auto *context = static_cast<ManagedObjectContext *>(const_cast<void *>(notification.object));
    AppDelegate *delegate = AppDelegate::instance();
    if (!context || !delegate || context != delegate->managedObjectContext().get())
        return;
    for (ManagedObject *object : context->insertedObjects())
        if (auto *alert = dynamic_cast<ToDoAlert *>(object))
            alert->handleContextSaveNotificationWithKey(ToDoAlert::InsertedObjectsKey);
    QList<ToDoAlert *> touched;
    for (ManagedObject *object : context->updatedObjects()) {
        if (auto *alert = dynamic_cast<ToDoAlert *>(object)) {
            alert->handleContextSaveNotificationWithKey(ToDoAlert::UpdatedObjectsKey);
            touched.append(alert);
        } else if (auto *todo = dynamic_cast<ToDo *>(object)) {
            bool relevant = false;
            for (const QString &key : AlertKeysOfToDo)
                relevant = relevant || todo->hasChangedKey(key);
            if (!relevant || todo->todoStatus())
                continue;
            for (ToDoAlert *alert : todo->alert())
                if (!touched.contains(alert) && !alert->isInserted() && !alert->isDeleted())
                    alert->updateExistingLocalNotification();
        }
    }
    for (ManagedObject *object : context->deletedObjects())
        if (auto *alert = dynamic_cast<ToDoAlert *>(object))
            alert->handleContextSaveNotificationWithKey(ToDoAlert::DeletedObjectsKey);
}

void UserNotificationCenterService::removeAllDeliveredNotifications()
{
    start();
    m_center->removeAllDeliveredNotifications();
}

void UserNotificationCenterService::removeAllScheduledNotifications()
{
    start();
    m_center->removeAllScheduledNotifications();
}

void UserNotificationCenterService::scheduleAllToDoAlertsWithContext(const platform::store::ContextPtr &context)
{
    ToDoAlert::scheduleAllNotificationsWithContext(context.get());
}
