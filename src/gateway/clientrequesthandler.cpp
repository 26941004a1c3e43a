#include "gateway/clientrequesthandler.h"

#include "agent/errorreporter.h"
#include "agent/eventlog.h"
#include "agent/linkstate.h"
#include "data/tdata.h"
#include "gateway/responsecache.h"
#include "gateway/serversocket.h"
#include "link/packetsender.h"
#include "link/pendingrequest.h"

#include <QTcpSocket>

namespace {

uint8_t operationOf(QByteArrayView packet)
{
    return packet.isEmpty() ? 0 : uint8_t(packet[0]);
}

QString requestText(QByteArrayView request)
{
    return TData::PacketToText(PacketDirection::Request, request, operationOf(request), false);
}

} // namespace

ClientRequestHandler::ClientRequestHandler(EventLog& log, LinkControl& link, PacketSender& sender,
                                           ResponseCache& cache, ServerSocket& server,
                                           QObject* parent)
    : QObject(parent), m_log(log), m_link(link), m_sender(sender), m_cache(cache), m_server(server)
{
    connect(&server, &ServerSocket::clientRead, this, [this](QTcpSocket* client) {
        ErrorReporter::runGuarded([this, client] { ServerSocket1ClientRead(client); });
    });
}

QString ClientRequestHandler::clientTag(const QString& prefix, const QString& address,
                                        int32_t handle)
{
    return prefix + address + QLatin1Char(':') + QString::number(handle);
}

QString ClientRequestHandler::tagOf(const QString& prefix, const QTcpSocket& client,
                                    int32_t handle) const
{
    return clientTag(prefix, m_server.remoteAddress(client), handle);
}

void ClientRequestHandler::ServerSocket1ClientRead(QTcpSocket* client)
{
    // No boundaries are looked for: what one notification brings (up to the buffer's
    // size) is one request. The rest is handled at the next notification.
    const QByteArray request = client->read(RequestBufferSize);
    if (request.isEmpty())
        return;
    const int32_t handle = ServerSocket::handleOf(*client);
    const LogSwitches& sw = m_log.switches();

    if (answerFromCache(client, request, tagOf(QStringLiteral("<IP:"), *client, handle)))
        return;

    if (m_link.state == LinkState::Idle) {
        QString sentText;
        bool heldSent = false;
        if (!m_held.isEmpty()) {
            QTcpSocket* heldClient = m_server.liveClient(m_held.ClientHandle, m_held.client);
            if (m_held.ClientHandle == handle || !heldClient) {
                // The same client asked again (its older request goes unanswered), or
                // the client that left the request has gone.
                m_held.clear();
            } else {
                // The held request was first; the new one waits in its place.
                const HeldRequest held = m_held;
                m_held.clear();
                sentText = forward(heldClient, held.ClientHandle, held.Data);
                hold(client, handle, request);
                heldSent = true;
            }
        }
        if (!heldSent)
            sentText = forward(client, handle, request);
        // With Com_LocOut on, SendPacket has logged the packet already.
        if (sw.Com_Out && !sw.Com_LocOut)
            m_log.WriteLog(QStringLiteral(">COM"), sentText);
        m_link.startWaiting();
        return;
    }

    // The link is busy. A request whose client has gone cannot be answered any more, so
    // it does not keep the slot from a client that is still there.
    if (!m_held.isEmpty() && !m_server.liveClient(m_held.ClientHandle, m_held.client))
        m_held.clear();
    if (m_stackable && m_held.isEmpty()) {
        hold(client, handle, request);
        return;
    }
    refuse(client, handle, request);
}

bool ClientRequestHandler::answerFromCache(QTcpSocket* client, QByteArrayView request,
                                           const QString& inTag)
{
    if (m_cache.MaxCache() <= 0)
        return false;
    const std::optional<int32_t> slot = m_cache.Lookup(request, true);
    if (!slot)
        return false;

    const LogSwitches& sw = m_log.switches();
    if (sw.TcpIp_In)
        m_log.WriteLog(inTag, requestText(request));
    const CacheEntry& entry = m_cache.Entry(*slot);
    const QByteArrayView reply = m_cache.ReplyOf(*slot);
    if (sw.Com_In || sw.TcpIp_Out) {
        const QString text =
            TData::PacketToText(PacketDirection::Reply, reply, entry.Request[0], false);
        if (sw.Com_In)
            m_log.WriteLog(QStringLiteral("<CCH"), text);
        if (sw.TcpIp_Out)
            m_log.WriteLog(tagOf(QStringLiteral(">IP:"), *client, ServerSocket::handleOf(*client)),
                           text);
    }
    client->write(reply.data(), reply.size());
    return true;
}

QString ClientRequestHandler::forward(QTcpSocket* client, int32_t handle, QByteArrayView request)
{
    const QString text = requestText(request);
    // The record goes under the counter that SendPacket is about to stamp on the packet.
    // A request longer than the record's copy is still sent whole.
    m_sender.StorePendingRequest(pkClient, request, handle, client);
    if (m_log.switches().TcpIp_In)
        m_log.WriteLog(tagOf(QStringLiteral("<IP:"), *client, handle), text);
    m_sender.SendPacket(QStringLiteral(">COM"), text, request);
    return text;
}

void ClientRequestHandler::hold(QTcpSocket* client, int32_t handle, QByteArrayView request)
{
    m_held.ClientHandle = handle;
    m_held.client = client;
    m_held.Data =
        request.first(std::min<qsizetype>(request.size(), HeldRequest::Capacity)).toByteArray();
    m_held.DataLength = int32_t(m_held.Data.size());
}

void ClientRequestHandler::refuse(QTcpSocket* client, int32_t handle, QByteArrayView request)
{
    if (m_log.switches().Extent)
        m_log.WriteLog(tagOf(QStringLiteral("<IP Err:"), *client, handle), requestText(request));
    // A request without an object code is refused with object code 0.
    const char busy[2] = {char(BusyCode), request.size() > 1 ? request[1] : '\0'};
    client->write(busy, sizeof busy);
}

void ClientRequestHandler::deliverClientReply(const PendingRequest& record, QByteArrayView reply,
                                              const QString& text)
{
    const LogSwitches& sw = m_log.switches();
    if (sw.Com_In)
        m_log.WriteLog(QStringLiteral("<COM"), text);
    QTcpSocket* client = m_server.liveClient(record.ClientHandle, record.client);
    if (!client)
        return;
    client->write(reply.data(), reply.size());
    if (sw.TcpIp_Out)
        m_log.WriteLog(tagOf(QStringLiteral(">IP:"), *client, record.ClientHandle), text);
}
