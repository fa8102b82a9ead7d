#include "Classes/QuitSignalWatcher.h"

#include "QuendelKit/Infra/QDLog.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kQuitSignals{SIGTERM, SIGINT, SIGHUP};

// [0] is written by the handler, [1] read by the event loop.
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[kQuitSignals.size()];

extern "C" void writeSignalByte(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Nothing else is safe here; a full pipe means a quit is already on its way.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitSignalWatcher::QuitSignalWatcher(QObject *parent) : QObject(parent)
{
    if (g_pipe[0] != -1) {
        QDLogError(QStringLiteral("QuitSignalWatcher: a second watcher was made; the first keeps the signals"));
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        QDLogError(QStringLiteral("QuitSignalWatcher: no socket pair for the quit signals (errno %1)").arg(errno));
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    ::fcntl(g_pipe[0], F_SETFL, ::fcntl(g_pipe[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(g_pipe[1], F_SETFL, ::fcntl(g_pipe[1], F_GETFL) | O_NONBLOCK);

    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignalWatcher::readSignals);

    struct sigaction action = {};
    action.sa_handler = writeSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kQuitSignals.size(); ++i)
        ::sigaction(kQuitSignals[i], &action, &g_previous[i]);
    m_installed = true;
}

QuitSignalWatcher::~QuitSignalWatcher()
{
    if (!m_installed)
        return;
    for (std::size_t i = 0; i < kQuitSignals.size(); ++i)
        ::sigaction(kQuitSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void QuitSignalWatcher::readSignals()
{
    unsigned char bytes[16];
    for (;;) {
        const ssize_t count = ::read(g_pipe[1], bytes, sizeof bytes);
        if (count <= 0)
            return;
        for (ssize_t i = 0; i < count; ++i) {
            QDLogInfo(QStringLiteral("QuitSignalWatcher: signal %1 received, quitting").arg(int(bytes[i])));
            emit quitRequested(int(bytes[i]));
        }
    }
}
