#include "Classes/LaunchServices.h"
#include "Classes/Sync/ContactsSyncController.h"

#include "QuendelKit/Infra/QDLog.h"

#include "Classes/Map/CLGeocoderRequestQueue.h"
#include "Classes/CalendarEventsSyncController.h"
#include "Classes/UserNotificationCenterService.h"

#include "Classes/Backups/QDAutomaticBackupController.h"
#include "Mac/Shell/MacDatabaseUpdateBackupWindowController.h"
#include "Mac/Shell/MacEnterPasswordController.h"

#include "platform/core/Dispatch.h"
#include "platform/core/NotificationCenter.h"

using platform::core::BlockOperation;
using platform::core::Operation;

LaunchServiceFactory LaunchServiceFactory::placeholders()
{
    LaunchServiceFactory factory;
    factory.makeSaveListener = [](const ContextPtr &) { return std::make_shared<PlaceholderSaveListener>(); };
    factory.makeCalendarWatcher = [](const ContextPtr &context) {
        return std::make_shared<CalendarEventsSyncController>(context);
    };
    factory.makeContactsRefresh = [](const ContextPtr &context) { return ContactsSyncController::makeForLaunch(context); };
    factory.makeGeocoderQueue = [](const ContextPtr &context) -> std::shared_ptr<GeocoderRequestQueue> {
        return CLGeocoderRequestQueue::make(context);
    };
    factory.makeBackupController = [](const ContextPtr &context) { return QDAutomaticBackupController::create(context); };
    factory.makeSyncManager = [](const ContextPtr &, qint64) { return std::make_shared<PlaceholderSyncManager>(); };
    factory.makeDropboxManager = [](const ContextPtr &) { return std::make_shared<PlaceholderDropboxManager>(); };
    factory.makePasscodeSheet = []() -> std::shared_ptr<PasscodeSheetService> {
        return std::make_shared<MacEnterPasswordController>();
    };
    factory.makeDatabaseUpdateSheet = [](quint32 type) {
        return std::make_shared<MacDatabaseUpdateBackupWindowController>(type);
    };
    factory.userNotifications = std::make_shared<UserNotificationCenterService>();
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
    if (m_unlocking != Unlocking::AtOnce)
        return;
    QDLogInfo(QStringLiteral("Passcode: no prompt to ask for the passcode; the data is opened"));
    std::weak_ptr<PlaceholderPasscodeSheet> weak = weak_from_this();
    platform::core::dispatchAsyncMain([weak] {
        if (auto self = weak.lock())
            self->unlock();
    });
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

void PlaceholderDatabaseUpdateSheet::beginSheet(QWidget *, std::function<void(quint32)>,
                                                std::function<void()> ended)
{
    m_attached = true;
    std::weak_ptr<PlaceholderDatabaseUpdateSheet> weak = weak_from_this();
    QDLogInfo(QStringLiteral("DatabaseUpdate: no backup was made before the update (type %1)").arg(m_type));
    // A real sheet ends from the event loop, never inside the call that shows it.
    platform::core::dispatchAsyncMain([weak, ended = std::move(ended)] {
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
