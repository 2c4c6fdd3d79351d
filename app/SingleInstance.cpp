#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace dawdlex {
namespace {

// How long a later start tries to reach the first, which may itself be just starting.
constexpr int kReachMs = 5000;
constexpr char kActivate[] = "activate\n";

} // namespace

SingleInstance::SingleInstance(const QString& store, QObject* parent) : QObject(parent)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    // Socket paths are short (108 bytes), store paths need not be: a hash names the store.
    const QByteArray hash =
        QCryptographicHash::hash(store.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    const QString base = folder + QStringLiteral("/dawdlex-") + QString::fromLatin1(hash);
    m_lockPath = base + QStringLiteral(".lock");
    m_socketPath = base + QStringLiteral(".socket");
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::claim()
{
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // A lock is never stale while its owner runs, however long: only a dead owner's lock is taken over.
    m_lock->setStaleLockTime(0);
    const QDeadlineTimer deadline(kReachMs);
    while (!deadline.hasExpired()) {
        if (m_lock->tryLock(0)) {
            listen();
            return Role::First;
        }
        if (askFirstToActivate()) {
            return Role::Another;
        }
        // The first has the lock but is not listening yet, or has just ended.
        QThread::msleep(50);
    }
    // A first that neither answers nor ends: better a second window than none.
    return Role::First;
}

void SingleInstance::listen()
{
    // A socket left by a program that died; the lock says no one listens on it.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains('\n')) {
                    emit activationRequested();
                }
            });
        }
    });
}

bool SingleInstance::askFirstToActivate() const
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(1000)) {
        return false;
    }
    socket.write(kActivate);
    const bool sent = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(1000);
    }
    return sent;
}

} // namespace dawdlex
