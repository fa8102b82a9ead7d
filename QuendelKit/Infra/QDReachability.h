#pragma once

#include "platform/network/Reachability.h"

#include <QHostAddress>
#include <QString>

#include <memory>

// Posted when a started watcher's reachability changed; the object is the QDReachability, no user info.
inline const QString kReachabilityChangedNotification = QStringLiteral("kNetworkReachabilityChangedNotification");

// Reachability statuses: 1 and 2 both mean reachable; every reachable network here gives 1.
enum QDNetworkStatus : int {
    NotReachable = 0,
    ReachableViaWiFi = 1,
    ReachableViaWWAN = 2,
};

// Watches whether the network (or one address or host) can be reached. The settings object keeps one
// watcher of the internet at large; everyone else asks it for currentReachabilityStatus.
class QDReachability
{
public:
    using Flags = platform::network::ReachabilityFlags;

    // Any network: the IPv4 address 0.0.0.0.
    static std::shared_ptr<QDReachability> reachabilityForInternetConnection();
    // The IPv4 link-local network 169.254.0.0, read as a local Wi-Fi watcher.
    static std::shared_ptr<QDReachability> reachabilityForLocalWiFi();
    // Null when no watcher can be made for the address.
    static std::shared_ptr<QDReachability> reachabilityWithAddress(const QHostAddress &address);
    // Null when no watcher can be made for the host name.
    static std::shared_ptr<QDReachability> reachabilityWithHostName(const QString &hostName);

    // A new local Wi-Fi watcher's status is 1.
    static bool isWifiOn();
    // The dotted IPv4 address of the primary network interface ("en0", else "en1"; where the system
    // names its interfaces otherwise, the first ones it lists), or "error".
    static QString localWiFiIPAddress();

    ~QDReachability();

    // The live watcher at that address, or null when the address names no watcher (a notification's
    // object may be anything a poster chose, or a watcher already gone).
    static const QDReachability *watcherAt(const void *object);

    // Posts kReachabilityChangedNotification on the calling thread whenever the flags change; false
    // when that thread cannot be notified.
    bool startNotifier();
    void stopNotifier();

    // 0 when the flags cannot be read.
    int currentReachabilityStatus() const;
    static int networkStatusForFlags(Flags flags);
    static int localWiFiStatusForFlags(Flags flags);
    bool connectionRequired() const;

    bool localWiFiRef() const { return m_localWiFiRef; }

private:
    QDReachability(std::unique_ptr<platform::network::ReachabilityWatcher> watcher, bool localWiFi);
    std::unique_ptr<platform::network::ReachabilityWatcher> m_reachabilityRef;
    bool m_localWiFiRef = false;
};
