#include "LinuxSingleInstance.h"

#include "Errors.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellora {

namespace {
const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");
// A copy that starts while the first one is still starting gives it this long to listen.
constexpr int kConnectPatienceMs = 2000;

QString systemError(const QString& what, int error)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

// /tmp is shared by every user: anyone could have made the folder first, or put a link there.
QString LinuxSingleInstance::privateFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        throw EVellora(systemError(folder, errno));
    struct stat info
    {};
    if (::lstat(path.constData(), &info) != 0)
        throw EVellora(systemError(folder, errno));
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0)
        throw EVellora(folder + QStringLiteral(" is not a private folder of this user"));
    return folder;
}

LinuxSingleInstance::LinuxSingleInstance(QString name, QObject* parent)
    : SingleInstance(parent), m_name(std::move(name))
{}

LinuxSingleInstance::~LinuxSingleInstance()
{
    if (m_server)
        m_server->close(); // removes the socket file while we still hold the lock
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString LinuxSingleInstance::runtimeFolder()
{
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return QDir::cleanPath(runtime);
    return privateFolder(QStringLiteral("/tmp/vellora-%1").arg(::getuid()));
}

QString LinuxSingleInstance::lockPath() const
{
    return m_folder + u'/' + m_name + u".lock";
}
QString LinuxSingleInstance::socketPath() const
{
    return m_folder + u'/' + m_name + u".socket";
}

bool LinuxSingleInstance::claim()
{
    if (m_folder.isEmpty())
        m_folder = runtimeFolder();
    const QByteArray path = QFile::encodeName(lockPath());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw EVellora(systemError(lockPath(), errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return false;
        throw EVellora(systemError(lockPath(), error));
    }
    m_lockFd = fd;
    listen();
    return true;
}

// Only the holder of the lock gets here, so a socket file left by a copy that was killed is
// stale and can go.
void LinuxSingleInstance::listen()
{
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath()))
        throw EVellora(socketPath() + QStringLiteral(": ") + m_server->errorString());
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                while (client->canReadLine()) {
                    if (client->readLine() == kRaiseRequest)
                        Q_EMIT raiseRequested();
                }
            });
        }
    });
}

bool LinuxSingleInstance::askRunningCopyToRaise()
{
    if (m_folder.isEmpty())
        m_folder = runtimeFolder();
    const QDeadlineTimer deadline(kConnectPatienceMs);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
            socket.write(kRaiseRequest);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState)
                socket.waitForDisconnected(1000);
            return sent;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

} // namespace vellora
