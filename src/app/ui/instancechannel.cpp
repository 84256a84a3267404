#include "app/ui/instancechannel.h"

#include "common/privatefolder.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QUrl>
#include <unistd.h>

namespace quillon {

namespace {

constexpr int kConnectTimeoutMs = 1000;

} // namespace

TInstanceChannel::TInstanceChannel(const QString& runtimeDir, QObject* parent)
    : QObject(parent), runtimeDir_(runtimeDir.isEmpty() ? DefaultRuntimeDir() : runtimeDir)
{
    if (!runtimeDir_.isEmpty())
        QDir().mkpath(runtimeDir_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &TInstanceChannel::Accept);
}

QString TInstanceChannel::DefaultRuntimeDir()
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(xdg).exists())
        return xdg;
    // Without a runtime folder the socket goes in a folder of this user's own, so
    // another user's copy of the program is never found, nor can another user make
    // every start look like a second copy. A folder of that name that is not ours
    // alone is passed over for one in the user's cache folder.
    const QString candidates[] = {
        QDir::tempPath() + QStringLiteral("/quillon-%1").arg(getuid()),
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/quillon-runtime"),
    };
    for (const QString& dir : candidates) {
        if (MakePrivateFolder(dir.toStdString()))
            return dir;
    }
    return QString();
}

QString TInstanceChannel::SocketPath(const QString& title) const { return runtimeDir_ + QLatin1Char('/') + title; }

bool TInstanceChannel::Send(const QString& title, const QString& request) { return Send(title, QStringList{request}); }

QString TInstanceChannel::OpenRequest(const QString& path)
{
    return QStringLiteral("open ") + QString::fromLatin1(QUrl::toPercentEncoding(path));
}

bool TInstanceChannel::Send(const QString& title, const QStringList& requests)
{
    if (runtimeDir_.isEmpty())
        return false;  // no safe place for sockets: this copy runs on its own
    QLocalSocket socket;
    socket.connectToServer(SocketPath(title));
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    for (const QString& request : requests)
        socket.write((request + QLatin1Char('\n')).toUtf8());
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool TInstanceChannel::Exists(const QString& title)
{
    if (runtimeDir_.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(SocketPath(title));
    const bool found = socket.waitForConnected(kConnectTimeoutMs);
    socket.abort();
    return found;
}

bool TInstanceChannel::Claim(const QString& title)
{
    if (runtimeDir_.isEmpty())
        return false;
    const QString path = SocketPath(title);
    if (server_.listen(path))
        return true;
    if (Exists(title))
        return false;
    QLocalServer::removeServer(path);
    return server_.listen(path);
}

void TInstanceChannel::Release() { server_.close(); }

void TInstanceChannel::Open(const QString& path)
{
    // The sender's working folder means nothing here.
    if (path.startsWith(QLatin1Char('/')))
        QMetaObject::invokeMethod(this, [this, path] { emit OpenRequested(path); }, Qt::QueuedConnection);
}

void TInstanceChannel::Accept()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        auto drain = [this, socket] {
            // The requests are served from the event loop, not from inside this socket's
            // signal: a receiver may show a modal dialog, during which the socket hangs up
            // and is deleted under the code that is still emitting.
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine().trimmed();
                if (line == "activate")
                    QMetaObject::invokeMethod(this, &TInstanceChannel::ActivateRequested, Qt::QueuedConnection);
                else if (line == "message 1025")
                    QMetaObject::invokeMethod(this, &TInstanceChannel::Message1025, Qt::QueuedConnection);
                else if (line.startsWith("open "))
                    Open(QUrl::fromPercentEncoding(line.mid(5)));
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, drain);
        // The sender writes one line and hangs up; what it wrote may already be here.
        connect(socket, &QLocalSocket::disconnected, this, [socket, drain] {
            drain();
            socket->deleteLater();
        });
        drain();
    }
}

} // namespace quillon
