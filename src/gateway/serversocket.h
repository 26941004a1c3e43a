#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class EventLog;
class QTcpServer;
class QTcpSocket;

// The listening socket ServerSocket1 and the register of its client connections. A client
// is known by its socket handle (the connection's descriptor) while it is connected; its
// dotted-decimal address is kept from the moment it connects, since a closed socket no
// longer reports it.
class ServerSocket : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 1234;
    static constexpr qint64 ClientReadBufferLimit = 64 * 1024;

    explicit ServerSocket(EventLog& log, QObject* parent = nullptr);
    ~ServerSocket() override;

    // Listens on every local interface (port 0 picks a free port). Logs "-OK-" on
    // success; on failure shows "Chyba socketu:" with the error text on the status line
    // and logs "!Err". The socket is never reopened after a failure.
    bool open(quint16 port, const QHostAddress& address = QHostAddress::Any);
    // Stops listening and closes every client connection.
    void close();

    bool isListening() const;
    quint16 serverPort() const;
    QString errorString() const { return m_errorString; }

    // The connected client with this handle, or none. Walks the connections in the order
    // they were accepted.
    QTcpSocket* FindClient(int32_t handle) const;
    // The connection itself when it is still connected and still owns the handle; none
    // when it has gone, even if a newer client has since been given the same handle.
    QTcpSocket* liveClient(int32_t handle, const QTcpSocket* connection) const;
    int clientCount() const { return int(m_clients.size()); }
    // The active connections, in the order they were accepted.
    QList<QTcpSocket*> clients() const;

    static int32_t handleOf(const QTcpSocket& client);
    // The peer's IPv4 address as dotted decimal (an IPv4-mapped IPv6 address unwrapped).
    static QString addressText(const QHostAddress& address);
    // The address remembered when the connection was accepted.
    QString remoteAddress(const QTcpSocket& client) const;

Q_SIGNALS:
    // Data from a client is waiting; one emission is one request. When the receiver
    // leaves bytes unread, the notification is repeated from the event loop.
    void clientRead(QTcpSocket* client);

private:
    struct Client
    {
        QPointer<QTcpSocket> socket;
        int32_t handle = -1;
        QString address;
    };

    void onNewConnection();
    void onClientRead(QTcpSocket* client);
    void onClientDisconnected(QTcpSocket* client);
    void onClientError(QTcpSocket* client);
    void forget(QTcpSocket* client);
    const Client* find(const QTcpSocket* client) const;

    EventLog& m_log;
    QTcpServer* m_server;
    QList<Client> m_clients;
    QString m_errorString;
};
