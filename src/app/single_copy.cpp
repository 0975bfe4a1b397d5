#include "app/single_copy.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray kRequest = "activate\n";
const QByteArray kReply = "ok\n";

// Between taking the lock and listening, and between creating the lock file
// and writing the owner into it, a starting copy looks half-made for a
// moment; only a lock older than this may be judged by those signs.
constexpr qint64 kStartupGraceMs = 3000;

// A local socket path longer than this cannot be listened on at all.
constexpr int kMaxSocketPath = int(sizeof(sockaddr_un::sun_path)) - 1;

qint64 AgeMs(const QString& path)
{
    const QDateTime modified = QFileInfo(path).lastModified();
    if (!modified.isValid())
        return 0;
    return qAbs(modified.msecsTo(QDateTime::currentDateTime()));
}

} // namespace

TSingleCopy::TSingleCopy(const QString& lockName, const QString& directory, QObject* parent) : QObject(parent)
{
    QString dir = directory;
    QString name = QFileInfo(lockName).fileName();
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        // The temporary directory is shared by all users: the user id in the
        // names keeps the copies of different users apart.
        dir = QDir::tempPath();
        name += QStringLiteral("-%1").arg(getuid());
    }
    QDir().mkpath(dir);
    const QString base = QDir(dir).absoluteFilePath(name);
    m_lockPath = base + QStringLiteral(".lock");
    m_serverPath = base + QStringLiteral(".socket");
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // The owner's PID decides whether a lock is stale, never its age alone:
    // the first copy holds its lock for as long as it runs, hours on end.
    m_lock->setStaleLockTime(0);
}

TSingleCopy::~TSingleCopy()
{
    if (m_server)
        m_server->close();
}

bool TSingleCopy::Acquire()
{
    if (m_lock->isLocked())
        return true;

    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_lock->tryLock(0))
            break;
        if (m_lock->error() != QLockFile::LockFailedError) {
            qWarning("Ambitone: cannot create the lock file %s; running without the single-copy guard",
                     qPrintable(m_lockPath));
            return true;
        }
        // QLockFile has already dismissed a lock whose owner PID is dead.
        // Left are a lock file that cannot be read and a PID handed to some
        // other program since; in both cases nobody listens on the socket.
        qint64 pid = 0;
        QString host;
        QString app;
        const bool readable = m_lock->getLockInfo(&pid, &host, &app);
        bool stale = false;
        if (AgeMs(m_lockPath) > kStartupGraceMs) {
            if (!readable) {
                stale = true;
            } else if (m_serverPath.toLocal8Bit().size() <= kMaxSocketPath) {
                QLocalSocket probe;
                probe.connectToServer(m_serverPath);
                stale = !probe.waitForConnected(500);
                probe.abort();
            }
        }
        if (!stale || attempt > 0)
            return false;
        m_lock->removeStaleLockFile();
    }

    // The lock is ours, so any socket file left behind belongs to a dead copy.
    QLocalServer::removeServer(m_serverPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &TSingleCopy::OnNewConnection);
    if (!m_server->listen(m_serverPath)) {
        qWarning("Ambitone: cannot listen on %s (%s); a second copy will not bring this one forward",
                 qPrintable(m_serverPath), qPrintable(m_server->errorString()));
    }
    return true;
}

bool TSingleCopy::ActivateFirstCopy(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // The first copy may hold the lock but not listen yet: keep trying.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_serverPath);
        if (!socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
            QThread::msleep(50);
            continue;
        }
        socket.write(kRequest);
        if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
        QByteArray reply;
        while (!reply.contains('\n') && !deadline.hasExpired()) {
            if (!socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                break;
            reply += socket.readAll();
        }
        reply += socket.readAll();
        return reply.startsWith(kReply);
    }
    return false;
}

void TSingleCopy::OnNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnRequestData(socket); });
        if (socket->bytesAvailable() > 0)
            OnRequestData(socket);
    }
}

void TSingleCopy::OnRequestData(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        // Whatever talks to us without a line end in a few bytes is not a
        // copy of this program.
        if (socket->bytesAvailable() > kRequest.size())
            socket->abort();
        return;
    }
    const QByteArray line = socket->readLine();
    if (line != kRequest) {
        socket->abort();
        return;
    }
    // Answer before emitting: the slots may take a while and the waiting
    // copy should not time out on them.
    socket->write(kReply);
    socket->flush();
    socket->disconnectFromServer();
    emit ActivationRequested();
}

void BringWindowForward(QWidget* window)
{
    if (!window)
        return;
    const Qt::WindowStates state = window->windowState();
    if (state & Qt::WindowMinimized) {
        // Clearing only the minimised flag keeps a maximised or full-screen
        // window as it was before it went to the task bar.
        const Qt::WindowStates restored = state & ~Qt::WindowMinimized;
        if (restored == Qt::WindowNoState)
            window->showNormal();
        else
            window->setWindowState(restored);
    }
    window->show();
    window->raise();
    window->activateWindow();
}
