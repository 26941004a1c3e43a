#pragma once

#include "link/pendingrequest.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>

class EventLog;
class PacketSender;
struct LinkControl;

// The one path by which packets come in: pairs each good frame with the request it
// answers, offers it to the reply cache, routes it by the request's kind and returns
// the link to idle. Routes are plugged in by the subsystems that own them.
class PacketDispatcher
{
public:
    // A route gets the record, the reply payload (which it may change in place) and
    // the reply decoded for the log.
    using Route =
        std::function<void(const PendingRequest&, QByteArray& payload, const QString& text)>;
    using CacheOffer = std::function<void(const PendingRequest&, const QByteArray& reply)>;

    PacketDispatcher(EventLog& log, LinkControl& link, PacketSender& sender);

    void setRoute(uint8_t kind, Route route);
    void setCacheOffer(CacheOffer offer) { m_cacheOffer = std::move(offer); }
    // The communication-restored notice of the mail bridge.
    void setRestorationNotice(std::function<void()> notice) { m_restored = std::move(notice); }

    // An error raised inside a route still finishes the dispatch (record released,
    // link idle, next action) and is then passed on to the caller.
    void DispatchPacket(uint8_t seq, QByteArray payload);

private:
    void finish();

    EventLog& m_log;
    LinkControl& m_link;
    PacketSender& m_sender;
    std::array<Route, 256> m_routes;
    CacheOffer m_cacheOffer;
    std::function<void()> m_restored;
};
