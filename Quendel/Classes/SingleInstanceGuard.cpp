#include "Classes/SingleInstanceGuard.h"

#include "QuendelKit/Infra/QDLog.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstanceGuard::SingleInstanceGuard(QString dataFolder, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(dataFolder))
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (m_server)
        m_server->close();
    // The lock goes last, so a start that sees it free also finds the socket name free.
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstanceGuard::serverNameForFolder(const QString &dataFolder)
{
    const QString canonical = QFileInfo(dataFolder).canonicalFilePath();
    const QString key = canonical.isEmpty() ? QDir::cleanPath(QDir(dataFolder).absolutePath()) : canonical;
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(24);
    // The user's id keeps two users of one computer apart: local sockets live in one shared folder.
    return QStringLiteral("Quendel-%1-%2").arg(QString::number(::getuid()), QString::fromLatin1(hash));
}

SingleInstanceGuard::Outcome SingleInstanceGuard::acquire()
{
    if (m_lockFd >= 0)
        return Outcome::Acquired;
    if (m_folder.isEmpty() || !QFileInfo(m_folder).isDir())
        return Outcome::Unavailable;

    const QString lockPath = QDir(m_folder).filePath(LockFileName);
    // The system drops the lock when the process ends in any way, so no lock outlives its program.
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        QDLogError(QStringLiteral("SingleInstanceGuard: cannot open the lock file %1 (errno %2)").arg(lockPath).arg(errno));
        return Outcome::Unavailable;
    }
    // The holder may be starting up and not listen yet: try to hand over, then to take the lock, for a while.
    QDeadlineTimer deadline(5000);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_lockFd = fd;
            const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
            // The holder's process id, for a person who looks at the file.
            if (::ftruncate(fd, 0) != 0 || ::write(fd, pid.constData(), size_t(pid.size())) < 0)
                QDLogInfo(QStringLiteral("SingleInstanceGuard: the process id was not written to %1").arg(lockPath));
            listen();
            return Outcome::Acquired;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            QDLogError(QStringLiteral("SingleInstanceGuard: cannot lock %1 (errno %2)").arg(lockPath).arg(errno));
            ::close(fd);
            return Outcome::Unavailable;
        }
        if (sendActivation(500)) {
            ::close(fd);
            QDLogInfo(QStringLiteral("SingleInstanceGuard: the data folder is in use by a running Quendel; "
                                     "it was brought forward"));
            return Outcome::HandedOver;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(100);
    }
    ::close(fd);
    QDLogError(QStringLiteral("SingleInstanceGuard: the data folder %1 is in use by a program that does not answer")
                   .arg(m_folder));
    return Outcome::HeldElsewhere;
}

bool SingleInstanceGuard::sendActivation(int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(serverNameForFolder(m_folder));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(ActivateMessage);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The holder closes the connection once it has read the message.
    socket.waitForDisconnected(timeoutMs);
    return true;
}

void SingleInstanceGuard::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = serverNameForFolder(m_folder);
    // The lock is ours, so a socket of this name was left by a program that ended without closing it.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name)) {
        QDLogError(QStringLiteral("SingleInstanceGuard: cannot listen on %1: %2").arg(name, m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const QByteArray line = socket->readLine();
                socket->disconnectFromServer();
                if (line == ActivateMessage)
                    emit activationRequested();
            });
        }
    });
}
