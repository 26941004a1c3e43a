#include "agent/extensionnumbers.h"

#include "agent/eventlog.h"
#include "agent/linkstate.h"
#include "data/tdata.h"
#include "link/packetsender.h"
#include "link/pendingrequest.h"

namespace {
const QString LocTag = QStringLiteral("<LOC");
const QString LoadingText = QStringLiteral("Načtení čísel vnitřních linek");
} // namespace

ExtensionNumbers::ExtensionNumbers(EventLog& log, LinkControl& link, PacketSender& sender,
                                   TData& data, std::function<void()> onLoaded)
    : m_log(log), m_link(link), m_sender(sender), m_data(data), m_onLoaded(std::move(onLoaded))
{
}

void ExtensionNumbers::LoadExtensionNumbers()
{
    const QByteArray query = TData::BuildNumbersQuery();
    m_sender.StorePendingRequest(pkNumbersQuery, query);
    // Retries during an outage would flood the log: only the first attempt is logged.
    if (m_link.ErrorCount == 0)
        m_log.WriteLog(LocTag, LoadingText);
    m_log.ShowStatus(LocTag, LoadingText);
    m_sender.SendPacket(QStringLiteral(">COM"), LoadingText, query);
}

void ExtensionNumbers::OnNumbersReply(QByteArrayView reply)
{
    const bool comIn = m_log.switches().Com_In;
    const int result = reply.isEmpty() ? 0 : uint8_t(reply[0]);
    // A reply of the header alone carries no numbers: reported as error 0.
    if (result != 0 || reply.size() <= 3) {
        if (comIn)
            m_log.WriteLog(QStringLiteral("<COM"),
                           QStringLiteral("Chyba načtení čísel vnitřních linek:") +
                               QString::number(result));
        return;
    }
    m_data.FillNumbers(reply);
    if (comIn)
        m_log.WriteLog(QStringLiteral("<COM"), QStringLiteral("Načtena čísla vnitřních linek"));
    if (m_onLoaded)
        m_onLoaded();
}
