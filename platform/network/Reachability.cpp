#include "platform/network/Reachability.h"

#include "platform/core/Dispatch.h"

#include <QCoreApplication>
#include <QNetworkInformation>
#include <QNetworkInterface>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <mutex>

namespace platform::network {

namespace {

const QHostAddress kAnyNetwork(QStringLiteral("0.0.0.0"));

bool isLinkLocal(const QHostAddress &address)
{
    return address.isInSubnet(QHostAddress(QStringLiteral("169.254.0.0")), 16) ||
           address.isInSubnet(QHostAddress(QStringLiteral("fe80::")), 10);
}

QList<QNetworkInterface> liveInterfaces()
{
    QList<QNetworkInterface> live;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning) &&
            !flags.testFlag(QNetworkInterface::IsLoopBack))
            live.append(interface);
    }
    return live;
}

// The system's network: Qt's reachability when a backend could be loaded ("unknown" counts as
// reachable, as nobody said otherwise), else any live interface that is not loopback.
class SystemNetworkState final : public NetworkState
{
public:
    SystemNetworkState()
    {
        // Qt's backend belongs to the main thread; made from elsewhere, it is loaded there later.
        if (platform::core::isMainThread()) {
            loadBackend();
        } else if (QCoreApplication::instance()) {
            moveToThread(QCoreApplication::instance()->thread());
            QMetaObject::invokeMethod(QCoreApplication::instance(), [guard = QPointer<SystemNetworkState>(this)] {
                if (guard)
                    guard->loadBackend();
            });
        }
    }

    std::optional<ReachabilityFlags> flagsFor(const ReachabilityTarget &target) override
    {
        const QList<QNetworkInterface> interfaces = liveInterfaces();
        const bool anyInterface = !interfaces.isEmpty();

        if (target.hostName.isEmpty() && target.address != kAnyNetwork) {
            // An address on one of our own networks is reached directly.
            for (const QNetworkInterface &interface : interfaces)
                for (const QNetworkAddressEntry &entry : interface.addressEntries())
                    if (entry.prefixLength() >= 0 && target.address.isInSubnet(entry.ip(), entry.prefixLength()))
                        return ReachabilityFlags(Reachable | IsDirect);
            if (isLinkLocal(target.address))
                return anyInterface || reachability() >= int(QNetworkInformation::Reachability::Local)
                           ? ReachabilityFlags(Reachable | IsDirect)
                           : ReachabilityFlags(0);
        }

        const int level = reachability();
        bool reachable;
        if (level < 0)
            reachable = anyInterface;
        else
            reachable = level == int(QNetworkInformation::Reachability::Unknown) ||
                        level >= int(QNetworkInformation::Reachability::Site);
        return reachable ? ReachabilityFlags(Reachable) : ReachabilityFlags(0);
    }

    QStringList interfaceNames() override
    {
        QStringList names;
        for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces())
            if (interface.flags().testFlag(QNetworkInterface::IsUp) &&
                !interface.flags().testFlag(QNetworkInterface::IsLoopBack))
                names.append(interface.name());
        return names;
    }

    QString ipv4AddressOfInterface(const QString &name) override
    {
        const QNetworkInterface interface = QNetworkInterface::interfaceFromName(name);
        if (!interface.isValid())
            return QString();
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return entry.ip().toString();
        return QString();
    }

private:
    // Qt's reachability level, or -1 without a backend.
    int reachability() const { return m_reachability.load(); }

    void loadBackend()
    {
        if (!QNetworkInformation::instance()) {
            if (!QNetworkInformation::loadDefaultBackend() ||
                !QNetworkInformation::instance()->supports(QNetworkInformation::Feature::Reachability))
                QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
        }
        QNetworkInformation *info = QNetworkInformation::instance();
        if (info && info->supports(QNetworkInformation::Feature::Reachability)) {
            m_reachability = int(info->reachability());
            connect(info, &QNetworkInformation::reachabilityChanged, this,
                    [this](QNetworkInformation::Reachability level) {
                        m_reachability = int(level);
                        emit changed();
                    });
            return;
        }
        // No backend: look at the interfaces now and then.
        m_poll = new QTimer(this);
        m_poll->setInterval(5000);
        connect(m_poll, &QTimer::timeout, this, [this] {
            const bool any = !liveInterfaces().isEmpty();
            if (any != m_lastAnyInterface) {
                m_lastAnyInterface = any;
                emit changed();
            }
        });
        m_lastAnyInterface = !liveInterfaces().isEmpty();
        m_poll->start();
    }

    std::atomic<int> m_reachability{-1};
    QTimer *m_poll = nullptr;
    bool m_lastAnyInterface = false;
};

std::mutex g_stateMutex;
std::shared_ptr<NetworkState> g_state;
std::shared_ptr<NetworkState> g_systemState;

} // namespace

std::shared_ptr<NetworkState> currentNetworkState()
{
    std::lock_guard guard(g_stateMutex);
    if (g_state)
        return g_state;
    if (!g_systemState)
        g_systemState = std::make_shared<SystemNetworkState>();
    return g_systemState;
}

void setNetworkState(std::shared_ptr<NetworkState> state)
{
    std::lock_guard guard(g_stateMutex);
    g_state = std::move(state);
}

std::unique_ptr<ReachabilityWatcher> ReachabilityWatcher::create(const ReachabilityTarget &target)
{
    if (!target.isValid())
        return nullptr;
    return std::unique_ptr<ReachabilityWatcher>(new ReachabilityWatcher(target));
}

ReachabilityWatcher::ReachabilityWatcher(ReachabilityTarget target) : m_target(std::move(target)) {}

ReachabilityWatcher::~ReachabilityWatcher()
{
    stop();
}

std::optional<ReachabilityFlags> ReachabilityWatcher::flags() const
{
    return currentNetworkState()->flagsFor(m_target);
}

bool ReachabilityWatcher::start(std::function<void()> onChange)
{
    if (!QCoreApplication::instance() || !QThread::currentThread()->eventDispatcher())
        return false;
    stop();
    std::shared_ptr<NetworkState> state = currentNetworkState();
    // Lives on the calling thread, so the change reaches that thread's event loop.
    auto *notifier = new QObject;
    m_notifier = notifier;
    auto last = std::make_shared<std::optional<ReachabilityFlags>>(state->flagsFor(m_target));
    const ReachabilityTarget target = m_target;
    QObject::connect(
        state.get(), &NetworkState::changed, notifier,
        [state, target, last, onChange = std::move(onChange)] {
            const std::optional<ReachabilityFlags> now = state->flagsFor(target);
            if (now == *last)
                return;
            *last = now;
            onChange();
        },
        Qt::QueuedConnection);
    return true;
}

void ReachabilityWatcher::stop()
{
    if (m_notifier) {
        if (m_notifier->thread() == QThread::currentThread())
            delete m_notifier.data();
        else
            m_notifier->deleteLater();
    }
    m_notifier = nullptr;
}

} // namespace platform::network
