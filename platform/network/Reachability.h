#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace platform::network {

// What can be said about reaching a target, as a plain bit set.
enum ReachabilityFlag : quint32 {
    Reachable = 0x2,
    ConnectionRequired = 0x4,
    ConnectionOnTraffic = 0x8,
    InterventionRequired = 0x10,
    ConnectionOnDemand = 0x20,
    IsDirect = 0x20000,
};
using ReachabilityFlags = quint32;

// A place to reach: an address (0.0.0.0 stands for any network, 169.254.0.0 for the link-local
// network) or a host name.
struct ReachabilityTarget
{
    QHostAddress address;
    QString hostName;

    bool isValid() const { return hostName.isEmpty() ? !address.isNull() : true; }
};

// The machine's network as this layer sees it. The system one reads Qt's network information backend
// and, when Qt has none, the network interfaces; tests install a state of their own.
class NetworkState : public QObject
{
    Q_OBJECT
public:
    // Flags for the target; nullopt when the state cannot be read.
    virtual std::optional<ReachabilityFlags> flagsFor(const ReachabilityTarget &target) = 0;
    // Names of the interfaces that are up and not loopback, in the system's order.
    virtual QStringList interfaceNames() = 0;
    // The first IPv4 address of the named interface; null when it has none or does not exist.
    virtual QString ipv4AddressOfInterface(const QString &name) = 0;

signals:
    // Something about the network changed (may be emitted on any thread).
    void changed();
};

// The state every watcher reads; the system state unless a test installed another.
std::shared_ptr<NetworkState> currentNetworkState();
// Installs a state for the whole process; null puts the system state back.
void setNetworkState(std::shared_ptr<NetworkState> state);

// Watches one target. Changes are reported on the thread that started the watcher, through its event
// loop, and only when the target's flags really changed.
class ReachabilityWatcher
{
public:
    // Null for a target that cannot be watched (a null address, an empty host name).
    static std::unique_ptr<ReachabilityWatcher> create(const ReachabilityTarget &target);
    ~ReachabilityWatcher();

    const ReachabilityTarget &target() const { return m_target; }
    std::optional<ReachabilityFlags> flags() const;

    // False when the calling thread has no event loop to report on.
    bool start(std::function<void()> onChange);
    void stop();

private:
    explicit ReachabilityWatcher(ReachabilityTarget target);
    ReachabilityTarget m_target;
    QPointer<QObject> m_notifier;
};

} // namespace platform::network
