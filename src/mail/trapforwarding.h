#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

class EventLog;
class PacketSender;
class TData;
class TMail602;

// Forwards the exchange's TRAP records through the mail library and clears each record
// on the exchange, all within the handling of one TRAP query reply.
class TrapForwarder
{
public:
    // TRAP reply payload: result code, object code, record index, address type, text.
    static constexpr qsizetype TextOffset = 4;
    // Recipient and subject end at a line feed within the first 40 bytes of their part
    // of the text (39 bytes and the line feed); the body takes at most 100 bytes.
    static constexpr qsizetype FieldWindow = 40;
    static constexpr qsizetype BodyCapacity = 100;

    struct TrapText
    {
        QByteArray recipient;
        QByteArray subject;
        QByteArray body;
        bool operator==(const TrapText&) const = default;
    };

    TrapForwarder(EventLog& log, TMail602& mail, TData& data, PacketSender& sender);

    // The reply to a TRAP query: an error is logged; an empty record only shown; a
    // record of a known address type is logged, mailed and cleared; one of another
    // type only cleared. A reply too short to hold an address type counts as empty.
    void OnTrapReply(QByteArrayView payload);

    // Recipient, subject and body from a TRAP text; a zero byte ends a field early and
    // nothing beyond the end of text is read.
    static TrapText SplitTrapText(QByteArrayView text);
    // Log name of an address type code; empty for a code that is not one of the six.
    static QString AddressTypeName(uint8_t code);

private:
    void sendClearing(uint8_t index, const QString& text);

    EventLog& m_log;
    TMail602& m_mail;
    TData& m_data;
    PacketSender& m_sender;
};
