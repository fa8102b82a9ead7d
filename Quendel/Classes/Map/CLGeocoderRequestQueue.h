#pragma once

#include "Classes/GeocoderRequestQueue.h"

#include "platform/core/NotificationCenter.h"
#include "platform/maps/Geocoder.h"
#include "platform/store/ManagedObjectID.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace platform::core {
class DispatchQueue;
class Timer;
} // namespace platform::core
namespace platform::store {
class ManagedObjectContext;
}

// Who hears how the geocoding queue gets on (the Map section). Called on the queue's threads, never
// assumed to be the main one; each operation does nothing unless overridden.
class CLCustomGeocodeDelegate
{
public:
    virtual ~CLCustomGeocodeDelegate() = default;
    virtual void geocoderStartedGeocoding() {}
    virtual void geocodeSendingRequest() {}
    // `idle`: nothing is queued in either set and no request is out.
    virtual void geocoderReceivedResponseWithStackStatus(bool idle) {}
};

// Geocodes contacts' addresses in the background, a few at a time on two timers: the main set is served
// every 16 s (20 requests a tick), the retry set of failed lookups every 31 s (10 a tick, only once the
// main set is empty). The answer is written through a private child context of the main context.
class CLGeocoderRequestQueue : public GeocoderRequestQueue,
                               public std::enable_shared_from_this<CLGeocoderRequestQueue>
{
public:
    using ContextPtr = std::shared_ptr<platform::store::ManagedObjectContext>;

    static inline const QString RequestContextName = QStringLiteral("CLGeocoderRequestContext");
    static inline const QString PersonAddressDidSaveNotification = QStringLiteral("PersonAddressDidSaveNotification");
    static inline const QString CloudKitUploadBeginningNotification =
        QStringLiteral("CloudKitUploadBeginningNotification");
    static inline const QString CloudKitUploadCompleteNotification = QStringLiteral("CloudKitUploadCompleteNotification");
    static constexpr qint64 MainTimerFirstFireMs = 1000;
    static constexpr qint64 MainTimerIntervalMs = 16000;
    static constexpr qint64 ErrorTimerFirstFireMs = 30000;
    static constexpr qint64 ErrorTimerIntervalMs = 31000;
    static constexpr int RequestsPerMainTick = 20;
    static constexpr int RequestsPerErrorTick = 10;
    static constexpr int MaximumRetries = 2;

    // Made with `make` only: the timers hold the queue weakly.
    static std::shared_ptr<CLGeocoderRequestQueue> make(const ContextPtr &mainContext,
                                                        std::shared_ptr<platform::maps::Geocoder> geocoder = {});
    ~CLGeocoderRequestQueue() override;

    // GeocoderRequestQueue
    void addManagedObject(platform::store::ManagedObject *record) override;

    void addManagedObjectToErrorStack(platform::store::ManagedObject *record);
    void addObjectIDToErrorStack(const platform::store::ManagedObjectID &id);
    void addObjectID(const platform::store::ManagedObjectID &id);
    // Take one identifier out of a set; blocks on that set's queue, so never called from it.
    std::optional<platform::store::ManagedObjectID> removeObjectFromQueue();
    std::optional<platform::store::ManagedObjectID> removeObjectFromErrorStack();
    void checkQueueForObjectsToGeocode();
    void checkErrorStackForObjectsToGeocode();
    void sendPersonAddressToGeocoder(const platform::store::ManagedObjectID &id, bool fromErrorStack);
    void cleanUpQueues();
    bool isQueueActive() const;

    void initRequestContextWithMainContext(const ContextPtr &mainContext);
    ContextPtr requestContext() const;

    void prepareForDBRestore(const platform::core::Notification &notification);
    void restoredLocalDB(const platform::core::Notification &notification);
    void cloudKitProcessStart(const platform::core::Notification &notification);
    void cloudKitProcessFinished(const platform::core::Notification &notification);

    void setDelegate(CLCustomGeocodeDelegate *delegate);
    CLCustomGeocodeDelegate *delegate() const;
    // Whether the network may be used now; the offline geocoder never needs it.
    void setReachabilityCheck(std::function<bool()> check) { m_isReachable = std::move(check); }

    // State, for the status and for tests.
    int stackCount() const;
    int errorStackCount() const;
    bool isTimerSuspended() const { return m_isTimerSuspended.load(); }
    bool isErrorTimerSuspended() const { return m_isErrorTimerSuspended.load(); }
    qint64 pendingRequestCount() const { return m_pendingRequestCount.load(); }
    bool isRestoring() const { return m_isRestoring.load(); }
    bool idleStatus() const;

private:
    CLGeocoderRequestQueue(const ContextPtr &mainContext, std::shared_ptr<platform::maps::Geocoder> geocoder);
    void start();
    void answer(const platform::store::ManagedObjectID &id, bool fromErrorStack, const ContextPtr &context,
                const QList<platform::maps::Placemark> &placemarks, const platform::core::QDError &error);
    void sendStatus();

    std::shared_ptr<platform::maps::Geocoder> m_geocoder;
    std::shared_ptr<platform::core::DispatchQueue> m_stackQueue;
    std::shared_ptr<platform::core::DispatchQueue> m_errorStackQueue;
    // Each set keyed by the identifier's text, so it holds an identifier once.
    QHash<QString, platform::store::ManagedObjectID> m_stack;      // on m_stackQueue only
    QHash<QString, platform::store::ManagedObjectID> m_errorStack; // on m_errorStackQueue only
    std::atomic<int> m_stackCount{0};
    std::atomic<int> m_errorStackCount{0};
    std::shared_ptr<platform::core::Timer> m_timer;
    std::shared_ptr<platform::core::Timer> m_errorStackTimer;
    std::atomic<bool> m_isTimerSuspended{true};
    std::atomic<bool> m_isErrorTimerSuspended{true};
    int m_retryCount = 0;           // on m_stackQueue only
    int m_retryErrorStackCount = 0; // on m_errorStackQueue only
    std::atomic<qint64> m_pendingRequestCount{0};
    std::atomic<bool> m_isRestoring{false};
    mutable std::mutex m_contextMutex;
    ContextPtr m_mainContext;
    ContextPtr m_requestContext;
    mutable std::mutex m_delegateMutex;
    CLCustomGeocodeDelegate *m_delegate = nullptr;
    std::function<bool()> m_isReachable;
    std::vector<platform::core::ScopedObserver> m_observers;
};
