#pragma once

#include "link/pendingrequest.h"

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <memory>

class EventLog;
class PacketPort;
class QTcpSocket;

// The one path by which packets leave the agent, with the sequence counter and the
// table of requests whose replies are awaited.
class PacketSender
{
public:
    PacketSender(EventLog& log, PacketPort& port);

    // Shows tag and text on the status line (and logs them when Com_LocOut is on);
    // writes the frame only when the port is open and the payload not empty, and only
    // a written packet advances PacketCounter.
    void SendPacket(const QString& tag, const QString& text, QByteArrayView payload);

    // Records the request that the next SendPacket will carry, under the current
    // PacketCounter. client is the connection of a pkClient request.
    void StorePendingRequest(uint8_t kind, QByteArrayView payload, int32_t clientHandle = 0,
                             QTcpSocket* client = nullptr);
    std::unique_ptr<PendingRequest> TakePendingRequest(uint8_t seq);

    uint8_t PacketCounter() const { return m_counter; }
    PendingRequestTable& table() { return m_table; }

private:
    EventLog& m_log;
    PacketPort& m_port;
    uint8_t m_counter = 1; // the first packet of the run carries 1; 255 is followed by 0
    PendingRequestTable m_table;
};
