#include "link/packetsender.h"

#include "agent/eventlog.h"
#include "link/tcommpack.h"

PacketSender::PacketSender(EventLog& log, PacketPort& port) : m_log(log), m_port(port) {}

void PacketSender::SendPacket(const QString& tag, const QString& text, QByteArrayView payload)
{
    m_log.ShowStatus(tag, text);
    if (m_log.switches().Com_LocOut)
        m_log.WriteLog(tag, text);
    if (payload.isEmpty() || !m_port.IsOpen())
        return;
    // A write error leaves before the counter moves: the number is used again.
    m_port.WritePacket(m_counter, payload);
    ++m_counter;
}

void PacketSender::StorePendingRequest(uint8_t kind, QByteArrayView payload, int32_t clientHandle,
                                       QTcpSocket* client)
{
    auto record = std::make_unique<PendingRequest>();
    record->Kind = kind;
    record->Op = payload.isEmpty() ? 0 : uint8_t(payload[0]);
    record->ClientHandle = clientHandle;
    // A longer client request is forwarded whole; the record keeps what fits, which
    // is all the cache ever compares (reads are short).
    record->Data = payload.first(std::min<qsizetype>(payload.size(), PendingRequest::DataCapacity))
                       .toByteArray();
    record->DataLength = int32_t(payload.size());
    record->client = client;
    m_table.StorePendingRequest(m_counter, std::move(record));
}

std::unique_ptr<PendingRequest> PacketSender::TakePendingRequest(uint8_t seq)
{
    return m_table.TakePendingRequest(seq);
}
