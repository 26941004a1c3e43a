#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class EventLog;
class PacketSender;
class TData;
class ExtensionNumbers;
struct LinkControl;

// What the tick needs of the mail bridge; the engine plugs in the mail wrapper.
struct MailHooks
{
    // Brings the mailbox counters up to date; answers whether a write is due.
    std::function<bool(TData&)> readMailboxChanges;
    // The exchange became unreachable.
    std::function<void()> announceOutage;
};

// The agent's main loop: performs at most one scheduled action per tick while the
// link is idle, counts ticks while a reply is awaited, retries after MaxTick ticks,
// and after MaxError time-outs pauses for MaxErrorTick ticks.
class MainTick
{
public:
    MainTick(EventLog& log, LinkControl& link, PacketSender& sender, TData& data,
             ExtensionNumbers& numbers, std::function<bool()> portOpen, MailHooks mail);

    void Timer3Timer();

private:
    void actWhenIdle();
    void readMailboxes();
    void sendQuery(unsigned char kind, const QByteArray& query, const QString& statusTag,
                   const QString& text);
    void countWaiting();
    void countPause();

    EventLog& m_log;
    LinkControl& m_link;
    PacketSender& m_sender;
    TData& m_data;
    ExtensionNumbers& m_numbers;
    std::function<bool()> m_portOpen;
    MailHooks m_mail;
    bool TickGuard = false;
};
