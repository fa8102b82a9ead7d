#pragma once

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Model.h"
#include "platform/store/StoreCoordinator.h"

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>

class AppDelegate;
class CoreDataControllerMac;

// The application's process-wide services: analytics events, the toolbar's activity spinner, the test
// for a pending data-model update, and a read-only coordinator over the store file for the backups that
// must not touch the main store stack.
class SharedAppGlobals
{
public:
    // Data-plist keys.
    static inline const QString MigrationCompleteKey = QStringLiteral("MigrationToVersion39Complete");
    static inline const QString CloudStoreFilepathKey = QStringLiteral("CloudStoreFilepath");
    static inline const QString BackupCoordinatorName = QStringLiteral("BackupPersistentStoreCoordinator");

    // The one object; safe from any thread.
    static SharedAppGlobals &sharedAppGlobals();

    // Whether the launch must show the pre-update backup sheet before the store is opened.
    bool shouldLoadUpdatingDatabasePage();
    // A coordinator holding the store file read-only, with the model the file was written with; null when
    // there is no store to read (the file is missing, damaged or of an unknown model).
    std::shared_ptr<platform::store::StoreCoordinator> persistentCoordinatorForDatabaseUpdate();
    // The model the store file at `path` was written with; null when its metadata cannot be read or no
    // model of this program matches it.
    std::shared_ptr<const platform::store::ManagedObjectModel> managedObjectModelForURL(
        const QString &path, const platform::store::StoreOptions &options);

    // The spinner is one on/off state: two shows and one hide leave it stopped. Callable from any thread;
    // the change happens on the main thread.
    void showNetworkActivityIndicator();
    void hideNetworkActivityIndicator();
    // Main thread only.
    bool isActivityAnimating() const { return m_isActivityAnimating; }

    // Events go to the sink as one text: the name with blanks made "-", then "[key-value]" per parameter.
    void logAnalyticsEvent(const QString &name);
    void logAnalyticsEvent(const QString &name, const QVariantMap &parameters);
    static QString analyticsEventText(const QString &name, const QVariantMap &parameters = {});
    // The older event calls; they record nothing.
    void logEvent(const QString &name) {}
    void logEvent(const QString &name, const QVariantMap &parameters) {}

    // Where event texts go (the crash reporter's metrics once it exists); any thread may send. Null
    // restores the default, which writes a debug log line.
    using EventSink = std::function<void(const QString &eventText)>;
    void setEventSink(EventSink sink);

private:
    SharedAppGlobals() = default;

    bool m_isActivityAnimating = false;
    std::mutex m_sinkMutex;
    EventSink m_sink;
};

// The application delegate; null before it exists and after it is gone. Main thread.
AppDelegate *appDelegateInstance();
// The application delegate's main context (the first request opens the store); null without one.
platform::store::ContextPtr appMainManagedObjectContext();
// The application delegate's store controller; null before the post-launch step made it.
std::shared_ptr<CoreDataControllerMac> appCoreDataController();
