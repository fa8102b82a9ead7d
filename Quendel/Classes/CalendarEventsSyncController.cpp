#include "Classes/CalendarEventsSyncController.h"

#include "Classes/CalendarLinkBridge.h"

#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoCalendarLink.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Dispatch.h"
#include "platform/ui/AlertPresenter.h"

#include <QApplication>
#include "platform/core/Timer.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Predicate.h"
#include "platform/store/StoreNotifications.h"

using platform::store::ManagedObject;
using platform::store::ManagedObjectContext;

namespace {

const QString RestorePreparationNotification = QStringLiteral("RestoreDBPreparationNotification");
const QString UploadBeginningNotification = QStringLiteral("CloudKitUploadBeginningNotification");
const QString UploadCompleteNotification = QStringLiteral("CloudKitUploadCompleteNotification");
const QString PermissionShownKey = QStringLiteral("OneTimeShowCalendarPermissionError");
const QString BreadcrumbKey = QStringLiteral("HockeyDebug1");
const QStringList EventKeysOfToDo = {QStringLiteral("todoNote"), QStringLiteral("todoLocation"),
                                     QStringLiteral("todoStartDate"), QStringLiteral("person")};

} // namespace

CalendarEventsSyncController::CalendarEventsSyncController(platform::store::ContextPtr context, QObject *parent)
    : QObject(parent), m_moc(std::move(context)), m_queue(QueueName)
{
    QDLogInfo(QStringLiteral("CalendarEventsSyncController: initWithContext"));
    // One sync at a time: two syncs would copy the same changes into two child contexts.
    m_queue.setMaxConcurrentOperationCount(1);
    ToDoCalendarBridge::install(std::make_shared<CalendarLinkBridge>());
    setupRepeatTimer();
    m_restoreObserver = platform::core::ScopedObserver(RestorePreparationNotification, nullptr, [this](const auto &) {
        QDLogInfo(QStringLiteral("CalendarEventsSyncController: prepareForDBRestore - setting isRestoring to YES"));
        m_isRestoringData = true;
        if (m_timer)
            m_timer->invalidate();
    });
    m_uploadStartObserver = platform::core::ScopedObserver(UploadBeginningNotification, nullptr, [this](const auto &) {
        QDLogInfo(QStringLiteral("CalendarEventsSyncController: cloudKitProcessStart - setting isRestoring to YES"));
        m_isUploading = true;
    });
    m_uploadEndObserver = platform::core::ScopedObserver(UploadCompleteNotification, nullptr, [this](const auto &) {
        QDLogInfo(QStringLiteral("CalendarEventsSyncController: cloudKitProcessFinished ... set isRestoring to NO"));
        m_isUploading = false;
    });
    m_accessObserver = platform::core::ScopedObserver(CalendarLinkBridge::AuthorizationChangedNotification, nullptr,
                                                      [this](const auto &) { setupRepeatTimer(); });
    m_willSaveObserver = platform::core::ScopedObserver(
        platform::store::ManagedObjectContextWillSaveNotification, m_moc.get(),
        [this](const platform::core::Notification &notification) { contextWillSave(notification); });
}

CalendarEventsSyncController::~CalendarEventsSyncController()
{
    if (m_timer)
        m_timer->invalidate();
    m_queue.cancelAllOperations();
}

void CalendarEventsSyncController::setupRepeatTimer()
{
    if (m_watching)
        return;
    const std::shared_ptr<platform::calendar::EventStore> store = CalendarLinkBridge::globalEventStore();
    if (!store)
        return;
    m_watching = true;
    connect(store.get(), &platform::calendar::EventStore::storeChanged, this,
            [this] { syncEventsWithCalendar(this); });
}

void CalendarEventsSyncController::syncEventsWithCalendar(const void *flag)
{
    if (flag && m_isActive)
        return;
    if (m_timer)
        m_timer->invalidate();
    const bool fromCalendar = flag != nullptr;
    m_timer = platform::core::Timer::scheduledTimer(DebounceMs, false, this, [this, fromCalendar](platform::core::Timer &) {
        QDLogInfo(QStringLiteral("CalendarEventsSync: syncAllEventsWithCalendar invoked - isNotification? %1").arg(fromCalendar));
        syncAllEventsWithCalendarWithCompletionHandler([](bool changed) {
            QDLogInfo(QStringLiteral("- syncAllEventsWithCalendarWithCompletionHandler finished with completionHandler = %1")
                          .arg(changed));
        });
    });
}

void CalendarEventsSyncController::startOperationsToSyncAllEventsWithCalendarWithCompletionHandler(
    std::function<void()> handler)
{
    QPointer<CalendarEventsSyncController> self(this);
    m_queue.addOperation([self, handler = std::move(handler)] {
        if (self)
            self->syncNow();
        if (handler)
            handler();
    });
}

void CalendarEventsSyncController::syncAllEventsWithCalendarWithCompletionHandler(std::function<void(bool)> completion)
{
    QPointer<CalendarEventsSyncController> self(this);
    m_queue.addOperation([self, completion = std::move(completion)] {
        const bool changed = self ? self->syncNow() : false;
        platform::core::dispatchAsyncMain([completion, changed] {
            if (completion)
                completion(changed);
        });
    });
}

bool CalendarEventsSyncController::syncNow()
{
    QDLogInfo(QStringLiteral("CalendarEventsSync: syncAllEventsWithCalendarWithCompletionHandler started"));
    if (m_isRestoringData || m_isUploading) {
        QDLogInfo(QStringLiteral("CalendarEventsSync: syncAllEventsWithCalendarWithCompletionHandler - isRestoringData, "
                                 "so dont do anything!"));
        return false;
    }
    const std::shared_ptr<platform::calendar::EventStore> store = CalendarLinkBridge::globalEventStore();
    if (!store || !m_moc) {
        QDLogInfo(QStringLiteral("CalendarEventsSync - syncAllEvents finished -  no permissions"));
        return false;
    }
    auto defaults = platform::core::UserDefaults::standardUserDefaults();
    defaults->setInteger(1, BreadcrumbKey);
    auto child = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    child->setParentContext(m_moc);
    child->setName(ContextName);
    bool changed = false;
    child->performAndWait([&] {
        platform::core::QDError error;
        QList<ManagedObject *> links;
        // Only the links of open to-dos follow their events.
        for (ManagedObject *object : child->executeFetchRequest(ToDoCalendarLink::fetchRequest(), &error))
            if (auto *candidate = dynamic_cast<ToDoCalendarLink *>(object);
                candidate && candidate->todo() && !candidate->todo()->todoStatus())
                links.append(object);
        if (error || links.isEmpty()) {
            QDLogInfo(QStringLiteral("CalendarEventsSync - syncAllEvents finished -  no events to fetch"));
            return;
        }
        QDLogInfo(QStringLiteral("Calendar events fetched = %1").arg(links.size()));
        for (ManagedObject *object : links) {
            auto *link = dynamic_cast<ToDoCalendarLink *>(object);
            if (!link || link->calendarIdentifier().isEmpty() || !link->todo())
                continue;
            const std::optional<platform::calendar::Event> event = CalendarLinkBridge::fetchCalendarEvent(*link, true, *store);
            if (!event)
                continue;
            changed = CalendarLinkBridge::updateTodoWithEvent(*link, *event) || changed;
        }
    });
    bool saved = false;
    if (!changed) {
        QDLogInfo(QStringLiteral("CalendarEventsSync - syncAllEvents finished - nothing to do"));
    } else if (!m_isRestoringData && !m_isUploading) {
        QDLogInfo(QStringLiteral("CalendarEventsSync: syncAllEventsWithCalendar - saving updates to calendar"));
        defaults->setInteger(2, BreadcrumbKey);
        platform::core::QDError error;
        bool childSaved = false;
        child->performAndWait([&] { childSaved = child->save(&error); });
        if (childSaved) {
            // The main context and the data plist belong to the main thread.
            m_moc->performAndWait([&] {
                if (m_isRestoringData || m_isUploading)
                    return;
                if (!m_moc->save(&error))
                    return;
                saved = true;
                QDLogInfo(QStringLiteral("ToDoCalendarLink - syncAllEvents: Parent context saved with changes"));
                if (!dataPlistValues().boolValue(PermissionShownKey)) {
                    dataPlistValues().setValue(PermissionShownKey, true);
                    SharedSettingController::sharedSettings().saveDataPlist();
                }
            });
        }
        if (!saved)
            QDLogError(QStringLiteral("CalendarEventsSync: the calendar's changes could not be saved: %1").arg(error.toString()));
    }
    child->performAndWait([&] { child->reset(); });
    defaults->removeObjectForKey(BreadcrumbKey);
    return saved;
}

void CalendarEventsSyncController::contextWillSave(const platform::core::Notification &notification)
{
    auto *context = static_cast<ManagedObjectContext *>(const_cast<void *>(notification.object));
    if (!context || context != m_moc.get() || !platform::core::isMainThread())
        return;
    CalendarLinkBridge bridge;
    QList<ToDoCalendarLink *> done;
    for (ManagedObject *object : context->insertedObjects()) {
        auto *link = dynamic_cast<ToDoCalendarLink *>(object);
        if (!link || link->isDeleted())
            continue;
        QDLogInfo(QStringLiteral("CONTEXT notification: create new Calendar event"));
        if (!bridge.createNewCalendarEvent(*link)) {
            platform::ui::AlertSpec alert;
            alert.messageText = QStringLiteral("Warning");
            alert.informativeText = QStringLiteral("Event couldn't be created in the calendar");
            platform::ui::AlertPresenter::shared().beginSheet(alert, QApplication::activeWindow());
        }
        done.append(link);
    }
    for (ManagedObject *object : context->updatedObjects()) {
        ToDoCalendarLink *link = dynamic_cast<ToDoCalendarLink *>(object);
        if (!link) {
            auto *todo = dynamic_cast<ToDo *>(object);
            if (!todo || todo->todoStatus())
                continue;
            bool relevant = false;
            for (const QString &key : EventKeysOfToDo)
                relevant = relevant || todo->hasChangedKey(key);
            link = relevant ? todo->calendarLink() : nullptr;
        }
        if (!link || done.contains(link) || link->isDeleted() || link->isInserted())
            continue;
        QDLogInfo(QStringLiteral("CONTEXT notification: update existing Calendar event"));
        bridge.updateCalendarEvent(*link);
        done.append(link);
    }
    const bool removeEvents = dataPlistValues().integerValue(CalendarLinkBridge::RemoveOnCompleteKey) == 1;
    for (ManagedObject *object : context->deletedObjects()) {
        auto *link = dynamic_cast<ToDoCalendarLink *>(object);
        if (!link || link->isInserted())
            continue;
        QDLogInfo(QStringLiteral("ToDoCalendarLink - prepareForDeletion ... call removeEventFromCalendar"));
        if (removeEvents)
            CalendarLinkBridge::removeEventFromCalendar(*link);
    }
}
