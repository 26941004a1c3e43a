#include "mail/trapforwarding.h"

#include "agent/eventlog.h"
#include "data/tdata.h"
#include "link/packetsender.h"
#include "mail/agentvxabi.h"
#include "mail/mail602.h"
#include "mail/mailtext.h"

namespace {

// A field of the TRAP text ends at its first zero byte.
QByteArray untilZero(QByteArrayView field)
{
    const qsizetype zero = field.indexOf('\0');
    return (zero < 0 ? field : field.first(zero)).toByteArray();
}

// Position of the first line feed in text[from, from + window), or -1.
qsizetype lineFeedWithin(QByteArrayView text, qsizetype from, qsizetype window)
{
    const qsizetype end = std::min(text.size(), from + window);
    for (qsizetype i = from; i < end; ++i) {
        if (text[i] == '\n')
            return i;
    }
    return -1;
}

} // namespace

TrapForwarder::TrapForwarder(EventLog& log, TMail602& mail, TData& data, PacketSender& sender)
    : m_log(log), m_mail(mail), m_data(data), m_sender(sender)
{
}

QString TrapForwarder::AddressTypeName(uint8_t code)
{
    switch (code) {
    case 'L':
        return QStringLiteral("M602-Lokální");
    case 'V':
        return QStringLiteral("M602-Vnější");
    case 'Q':
        return QStringLiteral("SMS");
    case 'I':
        return QStringLiteral("Internet");
    case 'F':
        return QStringLiteral("FAX");
    case 'Z':
        return QStringLiteral("ZModem");
    default:
        return {};
    }
}

TrapForwarder::TrapText TrapForwarder::SplitTrapText(QByteArrayView text)
{
    TrapText fields;
    const qsizetype first = lineFeedWithin(text, 0, FieldWindow);
    if (first < 0)
        return fields;
    fields.recipient = untilZero(text.first(first));
    const qsizetype second = lineFeedWithin(text, first + 1, FieldWindow);
    if (second < 0)
        return fields;
    fields.subject = untilZero(text.sliced(first + 1, second - first - 1));
    const QByteArrayView rest = text.sliced(second + 1);
    fields.body = untilZero(rest.first(std::min(rest.size(), BodyCapacity)));
    return fields;
}

void TrapForwarder::OnTrapReply(QByteArrayView payload)
{
    const uint8_t result = payload.isEmpty() ? 0 : uint8_t(payload[0]);
    if (result != 0) {
        m_log.WriteLog(QStringLiteral("<COM"), QStringLiteral("Chyba čtení TRAP :%1").arg(result));
        return;
    }
    const uint8_t type = payload.size() > 3 ? uint8_t(payload[3]) : 0;
    if (type == 0) {
        const QString none = QStringLiteral("Žádný TRAP");
        m_log.ShowStatus(QStringLiteral("<COM"), none);
        if (m_log.switches().Com_PureIn)
            m_log.WriteLog(QStringLiteral("<COM"), none);
        return;
    }
    const uint8_t index = uint8_t(payload[2]);
    const QString typeName = AddressTypeName(type);
    if (typeName.isEmpty()) {
        sendClearing(index, QStringLiteral("Potvrzení TRAP ?"));
        return;
    }

    const TrapText fields = SplitTrapText(payload.sliced(TextOffset));
    const QString recipient = fromWindows1250(fields.recipient);
    if (m_log.switches().Com_In)
        m_log.WriteLog(QStringLiteral("<COM"),
                       QStringLiteral("TRAP: ") + typeName + QStringLiteral(" to ") + recipient);
    m_log.WriteLog(QStringLiteral(">602"), QStringLiteral("Mail: ") +
                                               fromWindows1250(fields.subject) +
                                               QStringLiteral(" to ") + recipient);
    // The library's answer changes nothing: the record is cleared either way.
    m_mail.SendMail(fields.recipient, type, fields.subject, fields.body, AVX_FLAG_TRAP);
    sendClearing(index, QStringLiteral("Potvrzení TRAP"));
}

void TrapForwarder::sendClearing(uint8_t index, const QString& text)
{
    m_sender.SendPacket(QStringLiteral(">COM"), text, m_data.BuildTrapClear(index));
}
