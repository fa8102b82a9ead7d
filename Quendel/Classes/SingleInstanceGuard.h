#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// Keeps one running program per data folder: two programs over the same store would each show a view
// the other makes stale. The first program holds a lock file in the data folder and listens on a local
// socket named after the folder; a later start finds the lock held, asks the holder through the socket to
// bring its window forward, and ends before it touches anything in the folder.
class SingleInstanceGuard : public QObject
{
    Q_OBJECT
public:
    static inline const QString LockFileName = QStringLiteral(".Quendel.lock");
    // The one message a later start sends.
    static inline const QByteArray ActivateMessage = QByteArrayLiteral("activate\n");

    explicit SingleInstanceGuard(QString dataFolder, QObject *parent = nullptr);
    ~SingleInstanceGuard() override;

    enum class Outcome {
        // This process holds the folder now and listens for later starts.
        Acquired,
        // Another running program holds the folder; it was asked to come forward.
        HandedOver,
        // Another running program holds the folder but did not answer.
        HeldElsewhere,
        // The lock file could not be made (the folder is missing or not writable): the launch goes on and
        // reports the folder's problem itself.
        Unavailable,
    };
    Outcome acquire();

    // The local socket's name for `dataFolder`: the same folder, however written, gives the same name.
    static QString serverNameForFolder(const QString &dataFolder);

signals:
    // A later start on the same folder asked this program to bring its window forward.
    void activationRequested();

private:
    bool sendActivation(int timeoutMs) const;
    void listen();

    QString m_folder;
    int m_lockFd = -1;
    QLocalServer *m_server = nullptr;
};
