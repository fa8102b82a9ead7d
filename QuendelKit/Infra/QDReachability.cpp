#include "QDReachability.h"

#include "platform/core/NotificationCenter.h"

#include <QSet>

#include <mutex>

using namespace platform::network;

namespace {
std::mutex g_liveMutex;
QSet<const QDReachability *> &liveWatchers()
{
    static QSet<const QDReachability *> live;
    return live;
}
} // namespace

QDReachability::QDReachability(std::unique_ptr<ReachabilityWatcher> watcher, bool localWiFi)
    : m_reachabilityRef(std::move(watcher)), m_localWiFiRef(localWiFi)
{
    std::lock_guard lock(g_liveMutex);
    liveWatchers().insert(this);
}

QDReachability::~QDReachability()
{
    std::lock_guard lock(g_liveMutex);
    liveWatchers().remove(this);
}

const QDReachability *QDReachability::watcherAt(const void *object)
{
    std::lock_guard lock(g_liveMutex);
    const auto *candidate = static_cast<const QDReachability *>(object);
    return object && liveWatchers().contains(candidate) ? candidate : nullptr;
}

std::shared_ptr<QDReachability> QDReachability::reachabilityForInternetConnection()
{
    return reachabilityWithAddress(QHostAddress(QStringLiteral("0.0.0.0")));
}

std::shared_ptr<QDReachability> QDReachability::reachabilityForLocalWiFi()
{
    auto reachability = reachabilityWithAddress(QHostAddress(QStringLiteral("169.254.0.0")));
    if (reachability)
        reachability->m_localWiFiRef = true;
    return reachability;
}

std::shared_ptr<QDReachability> QDReachability::reachabilityWithAddress(const QHostAddress &address)
{
    ReachabilityTarget target;
    target.address = address;
    auto watcher = ReachabilityWatcher::create(target);
    if (!watcher)
        return nullptr;
    return std::shared_ptr<QDReachability>(new QDReachability(std::move(watcher), false));
}

std::shared_ptr<QDReachability> QDReachability::reachabilityWithHostName(const QString &hostName)
{
    if (hostName.trimmed().isEmpty())
        return nullptr;
    ReachabilityTarget target;
    target.hostName = hostName;
    auto watcher = ReachabilityWatcher::create(target);
    if (!watcher)
        return nullptr;
    return std::shared_ptr<QDReachability>(new QDReachability(std::move(watcher), false));
}

bool QDReachability::isWifiOn()
{
    const auto reachability = reachabilityForLocalWiFi();
    return reachability && reachability->currentReachabilityStatus() == ReachableViaWiFi;
}

QString QDReachability::localWiFiIPAddress()
{
    const auto state = currentNetworkState();
    const QStringList names = state->interfaceNames();
    QStringList candidates = {QStringLiteral("en0"), QStringLiteral("en1")};
    if (!names.contains(candidates[0]) && !names.contains(candidates[1]))
        candidates = names.mid(0, 2);
    for (const QString &name : candidates) {
        const QString address = state->ipv4AddressOfInterface(name);
        if (!address.isEmpty())
            return address;
    }
    return QStringLiteral("error");
}

bool QDReachability::startNotifier()
{
    return m_reachabilityRef->start(
        [this] { platform::core::NotificationCenter::defaultCenter().post(kReachabilityChangedNotification, this); });
}

void QDReachability::stopNotifier()
{
    m_reachabilityRef->stop();
}

int QDReachability::currentReachabilityStatus() const
{
    const std::optional<Flags> flags = m_reachabilityRef->flags();
    if (!flags)
        return NotReachable;
    return m_localWiFiRef ? localWiFiStatusForFlags(*flags) : networkStatusForFlags(*flags);
}

int QDReachability::networkStatusForFlags(Flags flags)
{
    if (!(flags & Reachable))
        return NotReachable;
    // A connection made on demand or on traffic counts as reachable unless the user has to step in.
    if ((flags & (ConnectionOnDemand | ConnectionOnTraffic)) && !(flags & InterventionRequired))
        return ReachableViaWiFi;
    return (flags & ConnectionRequired) ? NotReachable : ReachableViaWiFi;
}

int QDReachability::localWiFiStatusForFlags(Flags flags)
{
    return (flags & Reachable) && (flags & IsDirect) ? ReachableViaWiFi : NotReachable;
}

bool QDReachability::connectionRequired() const
{
    const std::optional<Flags> flags = m_reachabilityRef->flags();
    return flags && (*flags & ConnectionRequired);
}
