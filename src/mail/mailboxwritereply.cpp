#include "mail/mailboxwritereply.h"

#include "agent/eventlog.h"

void OnMailboxWriteReply(EventLog& log, QByteArrayView payload)
{
    if (payload.isEmpty())
        return;
    const int result = uint8_t(payload[0]);
    if (result != 0)
        log.WriteLog(QStringLiteral("<COM"), QStringLiteral("Chyba zápisu zpráv:%1").arg(result));
    else if (log.switches().Com_PureIn)
        log.WriteLog(QStringLiteral("<COM"), QStringLiteral("Zápis zpráv"));
}
