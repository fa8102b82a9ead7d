#include "ApplicationMain.h"

#include "AppDelegate.h"
#include "Classes/QuitSignalWatcher.h"
#include "Classes/SingleInstanceGuard.h"

#include "platform/core/StandardPaths.h"

#include <QCoreApplication>

#include <cstdio>

ApplicationMain::ApplicationMain(LaunchServiceFactory services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{
}

ApplicationMain::~ApplicationMain()
{
    // The delegate saves and lets go of the store before the data folder is free for another program.
    m_delegate.reset();
    m_signals.reset();
    m_guard.reset();
}

bool ApplicationMain::start()
{
    QCoreApplication::setOrganizationDomain(QStringLiteral("quendel.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendel"));

    // A signal that comes while the program starts waits in the watcher until the event loop runs.
    m_signals = std::make_unique<QuitSignalWatcher>();

    m_guard = std::make_unique<SingleInstanceGuard>(platform::core::StandardPaths::dataFolder());
    switch (m_guard->acquire()) {
    case SingleInstanceGuard::Outcome::HandedOver:
        std::fprintf(stderr, "Quendel is already running on this data folder; its window was brought forward.\n");
        m_exitCode = 0;
        return false;
    case SingleInstanceGuard::Outcome::HeldElsewhere:
        std::fprintf(stderr, "Quendel is already running on this data folder but does not answer.\n");
        m_exitCode = 1;
        return false;
    case SingleInstanceGuard::Outcome::Acquired:
    case SingleInstanceGuard::Outcome::Unavailable:
        break;
    }

    m_delegate = std::make_unique<AppDelegate>(m_services);
    AppDelegate *delegate = m_delegate.get();
    connect(m_signals.get(), &QuitSignalWatcher::quitRequested, delegate,
            [delegate](int signalNumber) { delegate->quitOnSignal(signalNumber); });
    connect(m_guard.get(), &SingleInstanceGuard::activationRequested, delegate,
            [delegate] { delegate->bringWindowForward(); });
    delegate->launch();
    if (delegate->launchFailed()) {
        // The user was told why the program cannot run; there is nothing to wait for.
        m_exitCode = 1;
        return false;
    }
    return true;
}
