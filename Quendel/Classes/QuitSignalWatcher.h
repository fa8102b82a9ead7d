#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the signals that ask a program to end (SIGTERM from a closing session or `kill`, SIGINT from a
// terminal, SIGHUP from a closed terminal) into a Qt signal delivered by the event loop, so the program
// can leave through its own quit path and keep the user's work. The signal handler itself only writes one
// byte into a socket pair; everything else runs on the main thread. One watcher per process.
class QuitSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit QuitSignalWatcher(QObject *parent = nullptr);
    // Puts the previous handlers back.
    ~QuitSignalWatcher() override;

    // False when the handlers could not be installed (the signals then end the program as before).
    bool isInstalled() const { return m_installed; }

signals:
    // `signalNumber` is SIGTERM, SIGINT or SIGHUP. Emitted once per signal received.
    void quitRequested(int signalNumber);

private:
    void readSignals();

    QSocketNotifier *m_notifier = nullptr;
    bool m_installed = false;
};
