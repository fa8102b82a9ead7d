#include "Classes/Map/CLGeocoderRequestQueue.h"

#include "Classes/CoreDataControllerShared.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Entities/PersonAddress.h"
#include "QuendelKit/Infra/QDReachability.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Dispatch.h"
#include "platform/core/DispatchQueue.h"
#include "QuendelKit/Infra/QDLog.h"
#include "platform/core/Timer.h"
#include "platform/store/ManagedObjectContext.h"

#include <cmath>

using platform::core::DispatchQueue;
using platform::core::Notification;
using platform::core::NotificationCenter;
using platform::core::QDError;
using platform::core::Timer;
using platform::store::ManagedObjectContext;
using platform::store::ManagedObjectID;

namespace {
QString keyOf(const ManagedObjectID &id)
{
    return id.toString();
}
} // namespace

std::shared_ptr<CLGeocoderRequestQueue> CLGeocoderRequestQueue::make(const ContextPtr &mainContext,
                                                                     std::shared_ptr<platform::maps::Geocoder> geocoder)
{
    std::shared_ptr<CLGeocoderRequestQueue> queue(new CLGeocoderRequestQueue(mainContext, std::move(geocoder)));
    queue->start();
    return queue;
}

CLGeocoderRequestQueue::CLGeocoderRequestQueue(const ContextPtr &mainContext,
                                               std::shared_ptr<platform::maps::Geocoder> geocoder)
    : m_geocoder(geocoder ? std::move(geocoder) : platform::maps::Geocoder::make()),
      m_stackQueue(DispatchQueue::serial(QStringLiteral("com.morvane.GeocodeStackManagerQueue"))),
      m_errorStackQueue(DispatchQueue::serial(QStringLiteral("com.morvane.GeocodeErrorStackManagerQueue")))
{
    initRequestContextWithMainContext(mainContext);
}

void CLGeocoderRequestQueue::start()
{
    const std::weak_ptr<CLGeocoderRequestQueue> weak = weak_from_this();
    // Both timers start suspended: nothing fires until work arrives.
    m_timer = Timer::queueTimer(
        *m_stackQueue, MainTimerFirstFireMs, MainTimerIntervalMs,
        [weak](Timer &) {
            if (auto self = weak.lock())
                self->checkQueueForObjectsToGeocode();
        },
        true);
    m_errorStackTimer = Timer::queueTimer(
        *m_errorStackQueue, ErrorTimerFirstFireMs, ErrorTimerIntervalMs,
        [weak](Timer &) {
            if (auto self = weak.lock())
                self->checkErrorStackForObjectsToGeocode();
        },
        true);
    const auto observe = [&](const QString &name, void (CLGeocoderRequestQueue::*handler)(const Notification &)) {
        m_observers.emplace_back(name, nullptr, [weak, handler](const Notification &n) {
            if (auto self = weak.lock())
                (self.get()->*handler)(n);
        });
    };
    observe(CoreDataControllerShared::RestoreDBPreparationNotification, &CLGeocoderRequestQueue::prepareForDBRestore);
    observe(CoreDataControllerShared::RestoreDBNotification, &CLGeocoderRequestQueue::restoredLocalDB);
    observe(CloudKitUploadBeginningNotification, &CLGeocoderRequestQueue::cloudKitProcessStart);
    observe(CloudKitUploadCompleteNotification, &CLGeocoderRequestQueue::cloudKitProcessFinished);

    if (!m_isReachable) {
        const std::shared_ptr<platform::maps::Geocoder> geocoder = m_geocoder;
        m_isReachable = [geocoder] {
            if (!geocoder->usesNetwork())
                return true;
            const std::shared_ptr<QDReachability> reachability =
                SharedSettingController::sharedSettings().reachabilityStatus();
            return !reachability || reachability->currentReachabilityStatus() != 0;
        };
    }
}

CLGeocoderRequestQueue::~CLGeocoderRequestQueue()
{
    m_observers.clear();
    if (m_timer)
        m_timer->invalidate();
    if (m_errorStackTimer)
        m_errorStackTimer->invalidate();
}

void CLGeocoderRequestQueue::initRequestContextWithMainContext(const ContextPtr &mainContext)
{
    std::lock_guard lock(m_contextMutex);
    if (!mainContext && m_requestContext)
        return;
    ContextPtr parent = mainContext;
    if (!parent)
        parent = m_mainContext;
    auto context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setName(RequestContextName);
    context->setParentContext(parent);
    m_mainContext = parent;
    m_requestContext = context;
}

CLGeocoderRequestQueue::ContextPtr CLGeocoderRequestQueue::requestContext() const
{
    std::lock_guard lock(m_contextMutex);
    return m_requestContext;
}

void CLGeocoderRequestQueue::setDelegate(CLCustomGeocodeDelegate *delegate)
{
    std::lock_guard lock(m_delegateMutex);
    m_delegate = delegate;
}

CLCustomGeocodeDelegate *CLGeocoderRequestQueue::delegate() const
{
    std::lock_guard lock(m_delegateMutex);
    return m_delegate;
}

bool CLGeocoderRequestQueue::idleStatus() const
{
    return m_stackCount.load() == 0 && m_errorStackCount.load() == 0 && m_pendingRequestCount.load() <= 0;
}

void CLGeocoderRequestQueue::sendStatus()
{
    const bool idle = idleStatus();
    // Held while calling, so a delegate that detaches itself waits for a call in progress.
    std::lock_guard lock(m_delegateMutex);
    if (m_delegate)
        m_delegate->geocoderReceivedResponseWithStackStatus(idle);
}

int CLGeocoderRequestQueue::stackCount() const
{
    return m_stackCount.load();
}

int CLGeocoderRequestQueue::errorStackCount() const
{
    return m_errorStackCount.load();
}

bool CLGeocoderRequestQueue::isQueueActive() const
{
    return m_pendingRequestCount.load() != 0 || !m_isTimerSuspended.load() || !m_isErrorTimerSuspended.load();
}

// ---- Adding ----

void CLGeocoderRequestQueue::addManagedObject(platform::store::ManagedObject *record)
{
    if (!record)
        return;
    ManagedObjectID id;
    if (ManagedObjectContext *context = record->managedObjectContext())
        context->performAndWait([&] { id = record->objectID(); });
    else
        id = record->objectID();
    addObjectID(id);
}

void CLGeocoderRequestQueue::addManagedObjectToErrorStack(platform::store::ManagedObject *record)
{
    if (record)
        addObjectIDToErrorStack(record->objectID());
}

void CLGeocoderRequestQueue::addObjectID(const ManagedObjectID &id)
{
    if (id.isNull())
        return;
    const std::weak_ptr<CLGeocoderRequestQueue> weak = weak_from_this();
    m_stackQueue->async([weak, id] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_stack.insert(keyOf(id), id);
        self->m_stackCount.store(int(self->m_stack.size()));
        if (self->m_stack.size() == 1 && self->m_isTimerSuspended.load()) {
            self->m_timer->resume();
            self->m_retryCount = 0;
            self->m_isTimerSuspended.store(false);
        }
    });
}

void CLGeocoderRequestQueue::addObjectIDToErrorStack(const ManagedObjectID &id)
{
    if (id.isNull())
        return;
    const std::weak_ptr<CLGeocoderRequestQueue> weak = weak_from_this();
    m_errorStackQueue->async([weak, id] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_errorStack.insert(keyOf(id), id);
        self->m_errorStackCount.store(int(self->m_errorStack.size()));
        if (self->m_errorStack.size() == 1 && self->m_isErrorTimerSuspended.load()) {
            self->m_errorStackTimer->resume();
            self->m_retryErrorStackCount = 0;
            self->m_isErrorTimerSuspended.store(false);
        }
    });
}

std::optional<ManagedObjectID> CLGeocoderRequestQueue::removeObjectFromQueue()
{
    return m_stackQueue->syncResult([this]() -> std::optional<ManagedObjectID> {
        if (m_stack.isEmpty())
            return std::nullopt;
        const auto first = m_stack.begin();
        const ManagedObjectID id = first.value();
        m_stack.erase(first);
        m_stackCount.store(int(m_stack.size()));
        return id;
    });
}

std::optional<ManagedObjectID> CLGeocoderRequestQueue::removeObjectFromErrorStack()
{
    return m_errorStackQueue->syncResult([this]() -> std::optional<ManagedObjectID> {
        if (m_errorStack.isEmpty())
            return std::nullopt;
        const auto first = m_errorStack.begin();
        const ManagedObjectID id = first.value();
        m_errorStack.erase(first);
        m_errorStackCount.store(int(m_errorStack.size()));
        return id;
    });
}

// ---- Ticks ----

void CLGeocoderRequestQueue::checkQueueForObjectsToGeocode()
{
    if (m_isReachable && !m_isReachable())
        return;
    if (!m_stack.isEmpty()) {
        m_retryCount = 0;
        // A batch of its own per tick; it only takes identifiers and hands each to the request context.
        const std::shared_ptr<CLGeocoderRequestQueue> self = shared_from_this();
        platform::core::detail::runOnWorker([self] {
            for (int round = 0; round < RequestsPerMainTick; ++round) {
                if (const auto id = self->removeObjectFromQueue())
                    self->sendPersonAddressToGeocoder(*id, false);
            }
        });
        return;
    }
    if (m_retryCount++ == 2) {
        m_isTimerSuspended.store(true);
        m_timer->suspend();
    }
    sendStatus();
}

void CLGeocoderRequestQueue::checkErrorStackForObjectsToGeocode()
{
    if (m_stackCount.load() != 0)
        return;
    if (!m_errorStack.isEmpty()) {
        m_retryErrorStackCount = 0;
        const std::shared_ptr<CLGeocoderRequestQueue> self = shared_from_this();
        platform::core::detail::runOnWorker([self] {
            for (int round = 0; round < RequestsPerErrorTick; ++round) {
                if (const auto id = self->removeObjectFromErrorStack())
                    self->sendPersonAddressToGeocoder(*id, true);
            }
        });
        return;
    }
    if (m_retryErrorStackCount++ == 2) {
        m_isErrorTimerSuspended.store(true);
        m_errorStackTimer->suspend();
    }
    sendStatus();
}

// ---- One request and its answer ----

void CLGeocoderRequestQueue::sendPersonAddressToGeocoder(const ManagedObjectID &id, bool fromErrorStack)
{
    const ContextPtr context = requestContext();
    if (!context)
        return; // between a restore's preparation and its end
    const std::shared_ptr<CLGeocoderRequestQueue> self = shared_from_this();
    context->perform([self, context, id, fromErrorStack] {
        auto *address = dynamic_cast<PersonAddress *>(context->existingObjectWithID(id));
        if (!address)
            return;
        context->refreshObject(address, true);
        const QVariantMap dictionary = address->addressInDictionaryFormat();
        {
            std::lock_guard lock(self->m_delegateMutex);
            if (self->m_delegate)
                self->m_delegate->geocodeSendingRequest();
        }
        address->setTemporaryState(3);
        ++self->m_pendingRequestCount;
        self->m_geocoder->geocodeAddressDictionary(
            dictionary, [self, id, fromErrorStack, context](const QList<platform::maps::Placemark> &placemarks,
                                                            const QDError &error) {
                self->answer(id, fromErrorStack, context, placemarks, error);
            });
    });
}

void CLGeocoderRequestQueue::answer(const ManagedObjectID &id, bool fromErrorStack, const ContextPtr &context,
                                    const QList<platform::maps::Placemark> &placemarks, const QDError &error)
{
    --m_pendingRequestCount;
    ContextPtr mainContext;
    {
        std::lock_guard lock(m_contextMutex);
        mainContext = m_mainContext;
    }
    SharedAppGlobals &globals = SharedAppGlobals::sharedAppGlobals();
    if (!placemarks.isEmpty()) {
        if (m_isRestoring.load())
            return;
        const platform::maps::Coordinate c = placemarks.first().coordinate;
        // A point near 0°, 0° is what a failed lookup looks like.
        if (std::fabs(c.latitude) < 0.5 && std::fabs(c.longitude) < 0.5) {
            sendStatus();
            return;
        }
        context->perform([context, mainContext, id, c] {
            auto *address = dynamic_cast<PersonAddress *>(context->existingObjectWithID(id));
            if (!address || !address->managedObjectContext())
                return;
            if (address->latitude() == c.latitude && address->longitude() == c.longitude)
                return;
            address->setLatitude(c.latitude);
            address->setLongitude(c.longitude);
            address->setGeocodeStatus(1);
            if (context->hasChanges() && context->save() && mainContext)
                mainContext->perform([mainContext] { mainContext->save(); });
        });
        globals.logEvent(QStringLiteral("CLGeocoderRequestQueue: geocodeAddressDictionary success"));
        globals.logEvent(QStringLiteral("CLGeocoderRequestQueue: geocodeAddressDictionary returned result"));
    } else if (!error.isNull() && error.code() == platform::maps::GeocoderError::NoResult) {
        context->perform([context, id] {
            if (auto *address = dynamic_cast<PersonAddress *>(context->existingObjectWithID(id)))
                address->setGeocodeStatus(2);
        });
        if (mainContext) {
            mainContext->perform([mainContext, id] {
                auto *address = dynamic_cast<PersonAddress *>(mainContext->existingObjectWithID(id));
                if (address)
                    address->setGeocodeStatus(2);
                mainContext->save();
                NotificationCenter::defaultCenter().post(PersonAddressDidSaveNotification, address,
                                                         {{QStringLiteral("Key"), QStringLiteral("updatedObjects")}});
            });
        }
        globals.logEvent(QStringLiteral("CLGeocoderRequestQueue: failed to verify"),
                         {{QStringLiteral("Error_Code"), QStringLiteral("8")}});
    } else if (!error.isNull()) {
        const std::shared_ptr<CLGeocoderRequestQueue> self = shared_from_this();
        context->perform([self, context, id, fromErrorStack] {
            auto *address = dynamic_cast<PersonAddress *>(context->existingObjectWithID(id));
            if (!address)
                return;
            address->setTemporaryState(4);
            if (!fromErrorStack) {
                self->addObjectIDToErrorStack(id);
            } else {
                address->setRetries(address->retries() + 1);
                if (address->retries() <= MaximumRetries)
                    self->addObjectIDToErrorStack(id);
            }
        });
        globals.logEvent(QStringLiteral("CLGeocoderRequestQueue: failed to verify"),
                         {{QStringLiteral("Error_Code"), QString::number(error.code())}});
        if (mainContext) {
            mainContext->perform([mainContext, id] {
                auto *address = dynamic_cast<PersonAddress *>(mainContext->existingObjectWithID(id));
                if (address)
                    address->setTemporaryState(4);
                NotificationCenter::defaultCenter().post(PersonAddressDidSaveNotification, address,
                                                         {{QStringLiteral("Key"), QStringLiteral("updatedObjects")}});
            });
        }
    }
    sendStatus();
}

// ---- Clean-up and lifecycle ----

void CLGeocoderRequestQueue::cleanUpQueues()
{
    m_stackQueue->sync([this] {
        m_stack.clear();
        m_stackCount.store(0);
        if (!m_isTimerSuspended.load()) {
            m_timer->suspend();
            m_isTimerSuspended.store(true);
        }
        m_retryCount = 0;
    });
    m_errorStackQueue->sync([this] {
        m_errorStack.clear();
        m_errorStackCount.store(0);
        if (!m_isErrorTimerSuspended.load()) {
            m_errorStackTimer->suspend();
            m_isErrorTimerSuspended.store(true);
        }
        m_retryErrorStackCount = 0;
    });
    m_pendingRequestCount.store(0);
}

void CLGeocoderRequestQueue::prepareForDBRestore(const Notification &)
{
    m_isRestoring.store(true);
    cleanUpQueues();
    std::lock_guard lock(m_contextMutex);
    m_requestContext.reset();
}

void CLGeocoderRequestQueue::restoredLocalDB(const Notification &notification)
{
    auto *context = static_cast<ManagedObjectContext *>(const_cast<void *>(notification.object));
    ContextPtr mainContext = context ? context->shared_from_this() : nullptr;
    if (mainContext) {
        std::lock_guard lock(m_contextMutex);
        m_requestContext.reset();
    }
    initRequestContextWithMainContext(mainContext);
    m_isRestoring.store(false);
}

void CLGeocoderRequestQueue::cloudKitProcessStart(const Notification &)
{
    QDLogInfo(QStringLiteral("CLGeocoderRequestQueue: cloudKitProcessStart - setting isRestoring to YES"));
    m_isRestoring.store(true);
    cleanUpQueues();
}

void CLGeocoderRequestQueue::cloudKitProcessFinished(const Notification &)
{
    QDLogInfo(QStringLiteral("CLGeocoderRequestQueue: cloudKitProcessFinished ... set isRestoring to NO"));
    m_isRestoring.store(false);
}
