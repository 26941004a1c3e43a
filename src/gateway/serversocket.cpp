#include "gateway/serversocket.h"

#include "agent/errorreporter.h"
#include "agent/eventlog.h"

#include <QTcpServer>
#include <QTcpSocket>

ServerSocket::ServerSocket(EventLog& log, QObject* parent)
    : QObject(parent), m_log(log), m_server(new QTcpServer(this))
{
    m_server->setObjectName(QStringLiteral("ServerSocket1"));
    connect(m_server, &QTcpServer::newConnection, this,
            [this] { ErrorReporter::runGuarded([this] { onNewConnection(); }); });
}

ServerSocket::~ServerSocket()
{
    // The connections die with the server object; their last signals must not reach a
    // register that is already gone.
    for (const Client& c : std::as_const(m_clients))
        if (c.socket)
            c.socket->disconnect(this);
    m_clients.clear();
}

bool ServerSocket::open(quint16 port, const QHostAddress& address)
{
    if (!m_server->listen(address, port)) {
        m_errorString = m_server->errorString();
        m_log.showPlainStatus(QStringLiteral("Chyba socketu:") + m_errorString);
        m_log.WriteLog(QStringLiteral("!Err"), QStringLiteral("Chyba otevření socketu TCP/IP"));
        return false;
    }
    m_errorString.clear();
    m_log.showPlainStatus(QStringLiteral("OnListen"));
    m_log.WriteLog(QStringLiteral("-OK-"), QStringLiteral("Otevření socketu TCP/IP"));
    return true;
}

void ServerSocket::close()
{
    m_server->close();
    const QList<Client> clients = m_clients;
    for (const Client& c : clients)
        if (c.socket)
            c.socket->abort(); // emits disconnected, which forgets the client
    for (const Client& c : std::as_const(m_clients))
        if (c.socket)
            c.socket->deleteLater();
    m_clients.clear();
}

bool ServerSocket::isListening() const
{
    return m_server->isListening();
}

quint16 ServerSocket::serverPort() const
{
    return m_server->serverPort();
}

int32_t ServerSocket::handleOf(const QTcpSocket& client)
{
    return int32_t(client.socketDescriptor());
}

QString ServerSocket::addressText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

QString ServerSocket::remoteAddress(const QTcpSocket& client) const
{
    if (const Client* c = find(&client))
        return c->address;
    return addressText(client.peerAddress());
}

QTcpSocket* ServerSocket::FindClient(int32_t handle) const
{
    for (const Client& c : m_clients)
        if (c.socket && c.handle == handle && c.socket->state() == QAbstractSocket::ConnectedState)
            return c.socket;
    return nullptr;
}

QList<QTcpSocket*> ServerSocket::clients() const
{
    QList<QTcpSocket*> list;
    for (const Client& c : m_clients)
        if (c.socket)
            list.append(c.socket);
    return list;
}

QTcpSocket* ServerSocket::liveClient(int32_t handle, const QTcpSocket* connection) const
{
    QTcpSocket* found = FindClient(handle);
    return connection && found == connection ? found : nullptr;
}

const ServerSocket::Client* ServerSocket::find(const QTcpSocket* client) const
{
    for (const Client& c : m_clients)
        if (c.socket == client)
            return &c;
    return nullptr;
}

void ServerSocket::forget(QTcpSocket* client)
{
    m_clients.removeIf([client](const Client& c) { return c.socket == client || !c.socket; });
}

void ServerSocket::onNewConnection()
{
    while (m_server->hasPendingConnections()) {
        m_log.showPlainStatus(QStringLiteral("OnGetSocket"));
        QTcpSocket* socket = m_server->nextPendingConnection();
        if (!socket)
            return;
        m_log.showPlainStatus(QStringLiteral("OnAccept"));
        // A client that floods the agent is held back by TCP flow control instead of
        // growing the agent's memory: requests are read 500 bytes at a time anyway.
        socket->setReadBufferSize(ClientReadBufferLimit);
        const Client client{socket, handleOf(*socket), addressText(socket->peerAddress())};
        m_clients.append(client);

        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            ErrorReporter::runGuarded([this, socket] { onClientRead(socket); });
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] {
            ErrorReporter::runGuarded(
                [this] { m_log.showPlainStatus(QStringLiteral("OnClientWrite")); });
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            ErrorReporter::runGuarded([this, socket] { onClientDisconnected(socket); });
        });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
            ErrorReporter::runGuarded([this, socket] { onClientError(socket); });
        });

        m_log.showPlainStatus(QStringLiteral("OnClientConnect ") + client.address);
    }
}

void ServerSocket::onClientRead(QTcpSocket* client)
{
    const Client* c = find(client);
    if (!c)
        return;
    m_log.showPlainStatus(QStringLiteral("OnClientRead ") + c->address);

    const QPointer<QTcpSocket> guard(client);
    const qint64 before = client->bytesAvailable();
    Q_EMIT clientRead(client);

    // What the receiver left waits in the socket's buffer, and the socket announces only
    // new data. Another round is queued rather than looped here, so that other clients,
    // the serial side and the timers get their turn in between. Only a round that took
    // something is repeated, so a receiver that reads nothing cannot spin.
    if (!guard || !find(client))
        return;
    const qint64 after = client->bytesAvailable();
    if (after > 0 && after < before) {
        QMetaObject::invokeMethod(
            this,
            [this, guard] {
                if (guard && guard->bytesAvailable() > 0)
                    ErrorReporter::runGuarded([this, &guard] { onClientRead(guard); });
            },
            Qt::QueuedConnection);
    }
}

void ServerSocket::onClientDisconnected(QTcpSocket* client)
{
    const Client* c = find(client);
    if (!c)
        return;
    m_log.showPlainStatus(QStringLiteral("OnClientDisconnect ") + c->address);
    forget(client);
    client->deleteLater();
}

void ServerSocket::onClientError(QTcpSocket* client)
{
    // A peer that closes its end is the ordinary end of a connection, not an error.
    if (client->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    m_log.showPlainStatus(QStringLiteral("OnClientError"));
    // The connection that failed is closed; nothing else is touched.
    if (find(client)) {
        client->abort();
        if (find(client)) {
            forget(client);
            client->deleteLater();
        }
    }
}
