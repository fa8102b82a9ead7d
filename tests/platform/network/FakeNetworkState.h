#pragma once

#include "platform/network/Reachability.h"

#include <QMap>

#include <mutex>

// A network whose state a test sets by hand.
class FakeNetworkState : public platform::network::NetworkState
{
public:
    std::optional<platform::network::ReachabilityFlags>
    flagsFor(const platform::network::ReachabilityTarget &target) override
    {
        std::lock_guard guard(m_mutex);
        lastTarget = target;
        if (target.hostName.isEmpty() && target.address == QHostAddress(QStringLiteral("169.254.0.0")))
            return localFlags;
        return flags;
    }
    QStringList interfaceNames() override { return names; }
    QString ipv4AddressOfInterface(const QString &name) override { return addresses.value(name); }

    void setFlags(std::optional<platform::network::ReachabilityFlags> value)
    {
        {
            std::lock_guard guard(m_mutex);
            flags = value;
        }
        emit changed();
    }

    std::optional<platform::network::ReachabilityFlags> flags = platform::network::Reachable;
    std::optional<platform::network::ReachabilityFlags> localFlags;
    platform::network::ReachabilityTarget lastTarget;
    QStringList names;
    QMap<QString, QString> addresses;

private:
    std::mutex m_mutex;
};
