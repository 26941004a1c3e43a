#include "agent/maintick.h"

#include "agent/actionqueue.h"
#include "agent/eventlog.h"
#include "agent/extensionnumbers.h"
#include "agent/linkstate.h"
#include "data/tdata.h"
#include "link/packetsender.h"
#include "link/pendingrequest.h"

MainTick::MainTick(EventLog& log, LinkControl& link, PacketSender& sender, TData& data,
                   ExtensionNumbers& numbers, std::function<bool()> portOpen, MailHooks mail)
    : m_log(log), m_link(link), m_sender(sender), m_data(data), m_numbers(numbers),
      m_portOpen(std::move(portOpen)), m_mail(std::move(mail))
{
}

void MainTick::Timer3Timer()
{
    // With the port closed nothing is counted: a closed port is not an outage.
    if (!m_portOpen())
        return;
    // A nested event loop inside an action (a message box, say) may deliver the
    // next tick before this one ends; that tick does nothing.
    if (TickGuard)
        return;
    TickGuard = true;
    struct Release
    {
        bool& flag;
        ~Release() { flag = false; }
    } release{TickGuard};

    switch (m_link.state) {
    case LinkState::Idle:
        actWhenIdle();
        break;
    case LinkState::Waiting:
        countWaiting();
        break;
    case LinkState::Unreachable:
        countPause();
        break;
    }
}

void MainTick::actWhenIdle()
{
    switch (m_link.actions.ScheduledAction) {
    case ReadMailboxes:
        readMailboxes();
        break;
    case QueryTrap:
        sendQuery(pkTrapQuery, m_data.BuildTrapQuery(), QStringLiteral("<Ti2"),
                  QStringLiteral("Dotaz na TRAP"));
        break;
    case LoadNumbers:
        m_numbers.LoadExtensionNumbers();
        m_link.startWaiting();
        break;
    case QueryLineStatus:
        sendQuery(pkLineStatus, TData::BuildLineStatusQuery(), QStringLiteral("<Ti4"),
                  QStringLiteral("Dotaz na stav linek"));
        break;
    default:
        m_link.actions.NextAction();
        break;
    }
    m_link.StateTicks = 0;
}

void MainTick::readMailboxes()
{
    m_log.ShowStatus(QStringLiteral("<Ti1"), QStringLiteral("Čtení schránek"));
    const bool due = m_mail.readMailboxChanges && m_mail.readMailboxChanges(m_data);
    const bool extent = m_log.switches().Extent;
    if (!due) {
        if (extent)
            m_log.WriteLog(QStringLiteral("<602"), QStringLiteral("Nejsou změny ve schránkách"));
        m_link.actions.NextAction();
        return;
    }
    const QString text = QStringLiteral("Změny ve schránkách");
    const QByteArray packet = m_data.BuildMessagesWrite();
    if (extent)
        m_log.WriteLog(QStringLiteral("<602"),
                       TData::PacketToText(PacketDirection::Request, packet, 1, true));
    else
        m_log.WriteLog(QStringLiteral("<602"), text);
    m_sender.StorePendingRequest(pkMailboxWrite, packet);
    m_sender.SendPacket(QStringLiteral(">COM"), text, packet);
    m_link.startWaiting();
}

void MainTick::sendQuery(unsigned char kind, const QByteArray& query, const QString& statusTag,
                         const QString& text)
{
    m_sender.StorePendingRequest(kind, query);
    m_log.ShowStatus(statusTag, text);
    m_sender.SendPacket(QStringLiteral(">COM"), text, query);
    m_link.startWaiting();
}

void MainTick::countWaiting()
{
    if (++m_link.StateTicks < m_link.MaxTick)
        return;
    // Timed out. The scheduled action stays current, so an own poll is sent again
    // with a new number; a client's request is not repeated.
    if (++m_link.ErrorCount < m_link.MaxError) {
        m_link.state = LinkState::Idle;
        return;
    }
    m_link.state = LinkState::Unreachable;
    // A run of pauses without any answer is announced once.
    if (!m_link.RestorePending) {
        m_log.WriteLog(QStringLiteral("!Err"), QStringLiteral("Ústředna není dostupná"));
        if (m_mail.announceOutage)
            m_mail.announceOutage();
    }
    m_link.StateTicks = 0;
}

void MainTick::countPause()
{
    if (++m_link.StateTicks < m_link.MaxErrorTick)
        return;
    m_link.state = LinkState::Idle;
    m_link.actions.PostAction(LoadNumbers);
    m_link.ErrorCount = 0;
    m_link.RestorePending = true;
}
