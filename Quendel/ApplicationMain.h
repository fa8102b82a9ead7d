#pragma once

#include "Classes/LaunchServices.h"

#include <QObject>

#include <memory>

class AppDelegate;
class QuitSignalWatcher;
class SingleInstanceGuard;

// The program as main starts it, before its event loop runs: one running program per data folder, the
// quit signals turned into Quit, and the application delegate's launch. Needs a QApplication.
class ApplicationMain : public QObject
{
    Q_OBJECT
public:
    explicit ApplicationMain(LaunchServiceFactory services = LaunchServiceFactory::placeholders(),
                             QObject *parent = nullptr);
    ~ApplicationMain() override;

    // Starts the program. False when there is no event loop to run (another program holds the data folder,
    // or the store could not be opened): exitCode() is then what the process returns.
    bool start();
    int exitCode() const { return m_exitCode; }

    // Null before start() and when start() returned false.
    AppDelegate *delegate() const { return m_delegate.get(); }

private:
    LaunchServiceFactory m_services;
    std::unique_ptr<SingleInstanceGuard> m_guard;
    std::unique_ptr<QuitSignalWatcher> m_signals;
    std::unique_ptr<AppDelegate> m_delegate;
    int m_exitCode = 0;
};
