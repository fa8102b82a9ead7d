#include "Classes/LaunchServices.h"

#include "Classes/Backups/QDAutomaticBackupController.h"
#include "Mac/Shell/MacDatabaseUpdateBackupWindowController.h"

#include "platform/core/Dispatch.h"
#include "platform/core/NotificationCenter.h"

using platform::core::BlockOperation;
using platform::core::Operation;

LaunchServiceFactory LaunchServiceFactory::placeholders()
{
    LaunchServiceFactory factory;
    factory.makeSaveListener = [](const ContextPtr &) { return std::make_shared<PlaceholderSaveListener>(); };
    factory.makeCalendarWatcher = [](const ContextPtr &) { return std::make_shared<PlaceholderCalendarWatcher>(); };
    factory.makeContactsRefresh = [](const ContextPtr &) { return std::make_shared<PlaceholderContactsRefresh>(); };
    factory.makeGeocoderQueue = [](const ContextPtr &) { return std::make_shared<PlaceholderGeocoderQueue>(); };
    factory.makeBackupController = [](const ContextPtr &context) { return QDAutomaticBackupController::create(context); };
    factory.makeSyncManager = [](const ContextPtr &, qint64) { return std::make_shared<PlaceholderSyncManager>(); };
    factory.makeDropboxManager = [](const ContextPtr &) { return std::make_shared<PlaceholderDropboxManager>(); };
    factory.makePasscodeSheet = [] { return std::make_shared<PlaceholderPasscodeSheet>(); };
    factory.makeDatabaseUpdateSheet = [](quint32 type) {
        return std::make_shared<MacDatabaseUpdateBackupWindowController>(type);
    };
    factory.userNotifications = std::make_shared<PlaceholderUserNotifications>();
    return factory;
}

PlaceholderCalendarWatcher::PlaceholderCalendarWatcher() : m_queue(QStringLiteral("CalendarEventsSyncQueue"))
{
    m_queue.setMaxConcurrentOperationCount(1);
}

void PlaceholderCalendarWatcher::startOperationsToSyncAllEventsWithCalendarWithCompletionHandler(
    std::function<void()> handler)
{
    m_queue.addOperation([handler = std::move(handler)] {
        if (handler)
            handler();
    });
}

PlaceholderContactsRefresh::PlaceholderContactsRefresh() : m_queue(QStringLiteral("ContactsSyncQueue"))
{
    m_queue.setMaxConcurrentOperationCount(1);
}

void PlaceholderContactsRefresh::operationsForLoadingContactImagesAndLinksWithInitialDependentOperation(
    const std::shared_ptr<Operation> &dependency, std::function<void(bool)> completion)
{
    auto load = BlockOperation::create([completion = std::move(completion)] {
        if (completion)
            completion(false);
    });
    load->setName(QStringLiteral("LoadContactImagesAndLinks"));
    if (dependency)
        load->addDependency(dependency);
    m_queue.addOperation(load);
}

void PlaceholderPasscodeSheet::beginSheet(QWidget *, std::function<void()> ended)
{
    m_loaded = true;
    m_attached = true;
    m_ended = std::move(ended);
}

void PlaceholderPasscodeSheet::close()
{
    m_attached = false;
    m_ended = nullptr;
}

void PlaceholderPasscodeSheet::unlock()
{
    if (!m_attached)
        return;
    m_attached = false;
    std::function<void()> ended = std::move(m_ended);
    m_ended = nullptr;
    if (ended)
        ended();
}

void PlaceholderDatabaseUpdateSheet::beginSheet(QWidget *, std::function<void(quint32)> completedBackup,
                                                std::function<void()> ended)
{
    m_attached = true;
    std::weak_ptr<PlaceholderDatabaseUpdateSheet> weak = weak_from_this();
    const quint32 type = m_type;
    // A real sheet ends from the event loop, never inside the call that shows it.
    platform::core::dispatchAsyncMain([weak, type, completedBackup = std::move(completedBackup),
                                       ended = std::move(ended)] {
        if (completedBackup)
            completedBackup(type);
        if (auto self = weak.lock())
            self->m_attached = false;
        if (ended)
            ended();
    });
}

void PlaceholderBackupController::startAutomaticBackupProcessWithIsAutomatic(bool)
{
    platform::core::dispatchAsyncMain([] {
        platform::core::NotificationCenter::defaultCenter().post(
            QDAutomaticBackupController::NewBackupAvailableNotification, nullptr,
            {{QDAutomaticBackupController::PathKey, QString()}});
    });
}
