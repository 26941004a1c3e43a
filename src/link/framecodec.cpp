#include "link/framecodec.h"

#include <array>

namespace {

// Wire facts of the frame format.
constexpr uint8_t Escape = 0xEE;      // first byte of the start marker; doubled inside a frame
constexpr uint8_t StartSecond = 0x23; // second byte of the start marker ('#'); never escaped

// The usual 256-entry table of the reflected polynomial 0xEDB88320 (entry 1 is
// 0x77073096), built at compile time.
constexpr std::array<uint32_t, 256> makeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> CrcTable = makeCrcTable();
static_assert(CrcTable[1] == 0x77073096u);
static_assert(CrcTable[255] == 0x2D02EF8Du);

// Appends b, twice when it is 0xEE.
void putEscaped(QByteArray& out, uint8_t b)
{
    out.append(char(b));
    if (b == Escape)
        out.append(char(b));
}

} // namespace

uint32_t Update_CRC32(uint32_t crc, uint8_t b)
{
    return (crc >> 8) ^ CrcTable[(crc ^ b) & 0xFF];
}

uint32_t crc32Of(QByteArrayView bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : bytes)
        crc = Update_CRC32(crc, uint8_t(c));
    return crc ^ 0xFFFFFFFFu;
}

QByteArray encodeFrame(uint8_t seq, QByteArrayView payload)
{
    QByteArray out;
    // Worst case: every byte after the marker doubled.
    out.reserve(2 + 2 * (2 + 1 + payload.size() + 4));
    out.append(char(Escape));
    out.append(char(StartSecond));
    // The length counts the bytes the CRC covers; the sender writes its low 16 bits
    // unchecked (a payload over 2048 bytes is refused by every receiver).
    const uint16_t len = uint16_t(payload.size() + 1);
    putEscaped(out, uint8_t(len & 0xFF));
    putEscaped(out, uint8_t(len >> 8));
    putEscaped(out, seq);
    uint32_t crc = Update_CRC32(0xFFFFFFFFu, seq);
    for (char c : payload) {
        putEscaped(out, uint8_t(c));
        crc = Update_CRC32(crc, uint8_t(c));
    }
    crc ^= 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i)
        putEscaped(out, uint8_t(crc >> (8 * i)));
    return out;
}

QList<Frame> FrameReceiver::feed(QByteArrayView bytes)
{
    QList<Frame> frames;
    for (char ch : bytes) {
        // Scanning goes on after a good frame, so that a second reply that arrived in
        // the same read is delivered too rather than lost.
        if (!step(uint8_t(ch)))
            continue;
        // A frame with length 0 has no sequence byte: it passes the checks but carries
        // nothing, so it yields no frame (ReadPacket would have returned 0 for it).
        if (InLen == 0)
            continue;
        Frame f;
        f.seq = InCom[0];
        f.payload = QByteArray(reinterpret_cast<const char*>(InCom + 1), InLen - 1);
        frames.append(std::move(f));
    }
    return frames;
}

bool FrameReceiver::AllocInCom()
{
    if (InLen > MaxLength)
        return false;
    InCRC = 0xFFFFFFFFu;
    InCount = 0;
    return true;
}

bool FrameReceiver::TestCRC()
{
    InCRC ^= 0xFFFFFFFFu;
    const uint32_t received = uint32_t(InCom[InLen]) | (uint32_t(InCom[InLen + 1]) << 8) |
                              (uint32_t(InCom[InLen + 2]) << 16) |
                              (uint32_t(InCom[InLen + 3]) << 24);
    return InCRC == received;
}

bool FrameReceiver::completionTest()
{
    if (InCount == InLen + 4) {
        if (TestCRC()) {
            RxState_ = rsIdle;
            return true;
        }
        RxState_ = rsBroken;
    } else {
        RxState_ = rsBody;
    }
    return false;
}

bool FrameReceiver::step(uint8_t c)
{
    bool good = false;
    switch (RxState_) {
    case rsIdle:
        if (c == Escape)
            RxState_ = rsMarker;
        break;
    case rsMarker:
        if (c == StartSecond)
            RxState_ = rsLenLow;
        else if (c != Escape)
            RxState_ = rsIdle;
        break;
    case rsLenLow:
        InLen = uint16_t((InLen & 0xFF00) | c);
        RxState_ = (c == Escape) ? rsLenLowEsc : rsLenHigh;
        break;
    case rsLenLowEsc:
        if (c == StartSecond)
            RxState_ = rsLenLow; // the lone 0xEE began a new frame
        else if (c == Escape)
            RxState_ = rsLenHigh;
        else
            RxState_ = rsBroken;
        break;
    case rsLenHigh:
        InLen = uint16_t((InLen & 0x00FF) | (uint16_t(c) << 8));
        if (c == Escape)
            RxState_ = rsLenHighEsc;
        else
            RxState_ = AllocInCom() ? rsBody : rsTooLong;
        break;
    case rsLenHighEsc:
        if (c == StartSecond)
            RxState_ = rsLenLow;
        else if (c == Escape)
            RxState_ = AllocInCom() ? rsBody : rsTooLong;
        else
            RxState_ = rsBroken;
        break;
    case rsBody:
        // Bounded by AllocInCom (InLen <= MaxLength) and the completion test, which
        // leaves rsBody once InCount reaches InLen + 4.
        InCom[InCount++] = c;
        if (InCount <= InLen)
            InCRC = Update_CRC32(InCRC, c);
        if (c == Escape)
            RxState_ = rsBodyEsc;
        else
            good = completionTest();
        break;
    case rsBodyEsc:
        if (c == StartSecond) {
            FreeInCom();
            RxState_ = rsLenLow; // the partial frame is dropped; a new one starts
        } else if (c == Escape) {
            good = completionTest(); // the second 0xEE is not stored
        } else {
            RxState_ = rsBroken;
        }
        break;
    default:
        RxState_ = rsIdle;
        break;
    }
    // rsTooLong and rsBroken never outlast the byte that caused them.
    if (RxState_ == rsTooLong || RxState_ == rsBroken) {
        FreeInCom();
        RxState_ = rsIdle;
    }
    return good;
}
