#pragma once

#include "gateway/heldrequest.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <cstdint>

class EventLog;
class PacketSender;
class ResponseCache;
class ServerSocket;
class QTcpSocket;
struct LinkControl;
struct PendingRequest;

// Decides what happens to the bytes a client sends: answered from the cache, forwarded
// to the exchange when the link is idle, held in the one slot while it is busy, or
// refused with the two-byte busy reply. Also delivers the exchange's reply to the
// client that asked.
class ClientRequestHandler : public QObject
{
    Q_OBJECT
public:
    // The request buffer: one read notification takes at most this many bytes.
    static constexpr int RequestBufferSize = 500;
    // First byte of the agent's own reply to a request it cannot take now; the second
    // byte is the request's object code.
    static constexpr uint8_t BusyCode = 255;

    // Handles every read notification of server.
    ClientRequestHandler(EventLog& log, LinkControl& link, PacketSender& sender,
                         ResponseCache& cache, ServerSocket& server, QObject* parent = nullptr);

    void setStackable(bool on) { m_stackable = on; }
    bool Stackable() const { return m_stackable; }
    const HeldRequest& heldRequest() const { return m_held; }
    HeldRequest& heldRequest() { return m_held; }

    // One read notification of client: one request.
    void ServerSocket1ClientRead(QTcpSocket* client);

    // The dispatcher's route for a reply to a pkClient request: the "<COM" line, the
    // reply unchanged to the very connection that asked (nobody when it has gone, even if
    // its handle now belongs to a newer client), then the ">IP:" line.
    void deliverClientReply(const PendingRequest& record, QByteArrayView reply,
                            const QString& text);

    // "<IP:", ">IP:" or "<IP Err:" followed by the client's address, ":" and its handle.
    static QString clientTag(const QString& prefix, const QString& address, int32_t handle);

private:
    bool answerFromCache(QTcpSocket* client, QByteArrayView request, const QString& inTag);
    // Stores the pending record, logs "<IP:" and sends; returns the request's text.
    QString forward(QTcpSocket* client, int32_t handle, QByteArrayView request);
    void hold(QTcpSocket* client, int32_t handle, QByteArrayView request);
    void refuse(QTcpSocket* client, int32_t handle, QByteArrayView request);
    QString tagOf(const QString& prefix, const QTcpSocket& client, int32_t handle) const;

    EventLog& m_log;
    LinkControl& m_link;
    PacketSender& m_sender;
    ResponseCache& m_cache;
    ServerSocket& m_server;
    bool m_stackable = false;
    HeldRequest m_held;
};
