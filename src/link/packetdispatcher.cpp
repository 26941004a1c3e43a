#include "link/packetdispatcher.h"

#include "agent/eventlog.h"
#include "agent/linkstate.h"
#include "data/tdata.h"
#include "link/packetsender.h"

PacketDispatcher::PacketDispatcher(EventLog& log, LinkControl& link, PacketSender& sender)
    : m_log(log), m_link(link), m_sender(sender)
{
}

void PacketDispatcher::setRoute(uint8_t kind, Route route)
{
    m_routes[kind] = std::move(route);
}

void PacketDispatcher::DispatchPacket(uint8_t seq, QByteArray payload)
{
    // Any good frame after an outage pause proves the exchange answers again,
    // whether or not it matches a request.
    if (m_link.RestorePending) {
        m_log.WriteLog(QStringLiteral("-OK-"), QStringLiteral("Obnova komunikace s ústřednou"));
        m_link.RestorePending = false;
        if (m_restored)
            m_restored();
    }

    std::unique_ptr<PendingRequest> record = m_sender.TakePendingRequest(seq);
    if (!record)
        return;

    const QString text = TData::PacketToText(PacketDirection::Reply, payload, record->Op, false);
    try {
        if (m_cacheOffer)
            m_cacheOffer(*record, payload);
        if (const Route& route = m_routes[record->Kind])
            route(*record, payload, text);
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void PacketDispatcher::finish()
{
    // Any matched reply ends the wait, whichever request is outstanding now.
    m_link.state = LinkState::Idle;
    m_link.actions.NextAction();
}
