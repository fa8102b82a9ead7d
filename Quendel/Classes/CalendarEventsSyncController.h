#pragma once

#include "Classes/LaunchServices.h"

#include "platform/core/NotificationCenter.h"
#include "platform/core/OperationQueue.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>

namespace platform::core {
class Timer;
}
namespace platform::calendar {
class EventStore;
}

// Keeps to-dos in step with their calendar events both ways. Saves of the main context create, update and
// remove linked events; events that another program changed are copied back into their open to-dos: a change
// in the calendar folders starts a sync 3 s after the last one, unless the program is in front (then the user
// is working here), one sync at a time on the controller's own queue. Syncs pause while a restore is prepared
// (for good: a restore brings a new controller) and while the whole store is uploaded.
class CalendarEventsSyncController : public QObject, public CalendarWatcherService
{
    Q_OBJECT
public:
    static inline const QString QueueName = QStringLiteral("QDCalendarEventsSyncQueue");
    static inline const QString ContextName = QStringLiteral("CalendarSyncBackgroundContext");
    static constexpr qint64 DebounceMs = 3'000;

    explicit CalendarEventsSyncController(platform::store::ContextPtr context, QObject *parent = nullptr);
    ~CalendarEventsSyncController() override;

    void didBecomeActive() override { m_isActive = true; }
    void didResignActive() override { m_isActive = false; }
    bool isActive() const { return m_isActive; }
    bool isRestoringData() const { return m_isRestoringData; }
    bool isUploading() const { return m_isUploading; }

    void startOperationsToSyncAllEventsWithCalendarWithCompletionHandler(std::function<void()> handler) override;
    // A non-null flag: a calendar change asked (ignored while the program is in front).
    void syncEventsWithCalendar(const void *flag) override;
    // One sync on the queue; `completion` runs once on the main thread, true when changes were saved.
    void syncAllEventsWithCalendarWithCompletionHandler(std::function<void(bool)> completion);
    // Starts following the calendar folders once access is there; once only.
    void setupRepeatTimer();

    // The save hooks for the main context's will-save pass.
    void contextWillSave(const platform::core::Notification &notification);

private:
    bool syncNow();

    platform::store::ContextPtr m_moc;
    std::shared_ptr<platform::core::Timer> m_timer;
    std::atomic<bool> m_isActive{true};
    std::atomic<bool> m_isRestoringData{false};
    std::atomic<bool> m_isUploading{false};
    bool m_watching = false;
    platform::core::ScopedObserver m_restoreObserver;
    platform::core::ScopedObserver m_uploadStartObserver;
    platform::core::ScopedObserver m_uploadEndObserver;
    platform::core::ScopedObserver m_willSaveObserver;
    platform::core::ScopedObserver m_accessObserver;
    // Last, so it is the first to go: its running sync finishes while everything it reads is still there.
    platform::core::OperationQueue m_queue;
};
