// TData: the extension table with its mailbox counters and the builders of the agent's
// own request packets. The decoder is in packettotext.cpp.

#include "data/tdata.h"

#include <algorithm>
#include <cstring>

namespace {

// Code c stands for the character at position c. Code 0 ends a number (position 0 is
// never produced) and code 20 ends the text.
constexpr char DigitAlphabet[] = ".1234567890*#FPSABCD";
constexpr uint8_t EndOfNumber = 0;
constexpr uint8_t EndOfText = 20;
// Codes above 20 lie outside the alphabet; they are shown as this character.
constexpr char UnknownDigit = '?';

// Wire layout of a numbers reply: result code, object code, index, then 3 codes per number.
constexpr int ReplyHeader = 3;
constexpr int CodesPerNumber = 3;

// Request header: operation code, object code, index.
QByteArray request(uint8_t op, uint8_t object, uint8_t index)
{
    QByteArray packet(3, '\0');
    packet[0] = char(op);
    packet[1] = char(object);
    packet[2] = char(index);
    return packet;
}

constexpr uint8_t OpRead = 0;
constexpr uint8_t OpWrite = 1;
constexpr uint8_t ObjSms = 1;         // TRAP records
constexpr uint8_t ObjNumbers = 14;    // "Čísla linek"
constexpr uint8_t ObjMessages = 17;   // "Zprávy"
constexpr uint8_t ObjLineStatus = 22; // "Stav linek"
constexpr int TrapClearLength = 254;  // 3 header bytes and 251 zeros
constexpr int TrapRecords = 4;

} // namespace

void TData::FillNumbers(QByteArrayView reply)
{
    if (reply.isEmpty() || uint8_t(reply[0]) != 0)
        return;
    // (length - 3) / 3 numbers. A reply announcing more than the 56 rows of the table keeps
    // the first 56 (the limit is applied before the count is narrowed to 8 bits).
    const qsizetype announced =
        reply.size() >= ReplyHeader ? (reply.size() - ReplyHeader) / CodesPerNumber : 0;
    const int count = int(std::min<qsizetype>(announced, MaxNumbers));
    NumberCount = uint8_t(count);
    for (int i = 0; i < count; ++i) {
        const QByteArray text = DigitsToText(
            reply.sliced(ReplyHeader + CodesPerNumber * i, CodesPerNumber), CodesPerNumber);
        auto& number = Numbers[i].number;
        number.fill('\0');
        std::memcpy(number.data(), text.constData(), std::min<qsizetype>(text.size(), 3));
        // The counters stay as they were, even when the number changed.
    }
}

QByteArray TData::DigitsToText(QByteArrayView codes, int n)
{
    QByteArray text;
    const int limit = std::min<qsizetype>(std::max(n, 0), codes.size());
    for (int i = 0; i < limit; ++i) {
        const uint8_t code = uint8_t(codes[i]);
        if (code == EndOfNumber || code == EndOfText)
            break;
        text.append(code < EndOfText ? DigitAlphabet[code] : UnknownDigit);
    }
    return text;
}

uint8_t TData::FindNumber(QByteArrayView text) const
{
    // The comparison runs up to and including the terminating zero: the text ends at its
    // first zero byte or at the end of the view, whichever comes first.
    const qsizetype zero = text.indexOf('\0');
    const QByteArrayView wanted = zero >= 0 ? text.first(zero) : text;
    for (int i = 0; i < NumberCount && i < MaxNumbers; ++i) {
        const auto& number = Numbers[i].number;
        const QByteArrayView row(number.data(), qstrnlen(number.data(), number.size()));
        if (row == wanted)
            return uint8_t(i);
    }
    return 255;
}

void TData::ClearMailboxCounts()
{
    for (int i = 0; i < NumberCount && i < MaxNumbers; ++i)
        Numbers[i].counts.fill(0);
}

// The second and third arguments go to positions 2 and 1: the exchange expects them crossed.
void TData::SetMailboxCounts(QByteArrayView number, uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    const uint8_t i = FindNumber(number);
    if (i >= NumberCount)
        return;
    auto& counts = Numbers[i].counts;
    counts[0] = a;
    counts[2] = b;
    counts[1] = c;
    counts[3] = d;
}

void TData::AddMailboxCounts(QByteArrayView number, uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    const uint8_t i = FindNumber(number);
    if (i >= NumberCount)
        return;
    auto& counts = Numbers[i].counts;
    counts[0] = uint8_t(counts[0] + a); // modulo 256
    counts[2] = uint8_t(counts[2] + b);
    counts[1] = uint8_t(counts[1] + c);
    counts[3] = uint8_t(counts[3] + d);
}

QByteArray TData::BuildNumbersQuery()
{
    return request(OpRead, ObjNumbers, 0);
}

QByteArray TData::BuildLineStatusQuery()
{
    return request(OpRead, ObjLineStatus, 0);
}

QByteArray TData::BuildTrapQuery()
{
    const QByteArray packet = request(OpRead, ObjSms, uint8_t(TrapIndex));
    TrapIndex = (TrapIndex + 1) % TrapRecords;
    return packet;
}

QByteArray TData::BuildTrapClear(uint8_t index)
{
    QByteArray packet = request(OpWrite, ObjSms, index);
    packet.append(TrapClearLength - packet.size(), '\0');
    return packet;
}

QByteArray TData::BuildMessagesWrite() const
{
    QByteArray packet = request(OpWrite, ObjMessages, 0);
    const int rows = std::min<int>(NumberCount, MaxNumbers);
    packet.reserve(packet.size() + 4 * rows);
    for (int i = 0; i < rows; ++i) {
        for (uint8_t count : Numbers[i].counts) // positions 0, 1, 2, 3
            packet.append(char(count));
    }
    return packet;
}
