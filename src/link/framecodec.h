#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <cstdint>

// CRC-32, reflected polynomial 0xEDB88320, register starts at 0xFFFFFFFF, final XOR
// 0xFFFFFFFF; on the wire it covers the sequence byte and the payload only.
uint32_t Update_CRC32(uint32_t crc, uint8_t b);
uint32_t crc32Of(QByteArrayView bytes);

// A good frame: its sequence byte and payload.
struct Frame
{
    uint8_t seq = 0;
    QByteArray payload;
    bool operator==(const Frame&) const = default;
};

// EE 23, length (1 + payload, 16 bits LSB first), sequence, payload, CRC-32 LSB first;
// every 0xEE after the start marker doubled.
QByteArray encodeFrame(uint8_t seq, QByteArrayView payload);

// The receive state machine. It takes bytes and yields good frames, keeping a partial
// frame across calls; it does no I/O.
class FrameReceiver
{
public:
    enum RxState : uint8_t {
        rsIdle = 0,
        rsMarker = 1,
        rsLenLow = 2,
        rsLenHigh = 3,
        rsBody = 4,
        rsLenLowEsc = 20,
        rsLenHighEsc = 30,
        rsBodyEsc = 40,
        rsTooLong = 200,
        rsBroken = 201,
    };
    static constexpr int MaxLength = 2049; // sequence byte plus 2048 payload bytes

    // Feeds all bytes; every good frame completed on the way is returned, in order, so
    // two replies that arrive in one read are both delivered. A frame with
    // length field 0 has no sequence byte and yields nothing.
    QList<Frame> feed(QByteArrayView bytes);

    RxState state() const { return RxState(RxState_); }

private:
    // One byte through the transition of the current state; true when it completed a
    // frame whose CRC matches (the state is then rsIdle again).
    bool step(uint8_t c);
    // The length field is complete: false above MaxLength, otherwise starts the body.
    bool AllocInCom();
    // Finishes InCRC and compares it with the four CRC bytes stored after the body.
    bool TestCRC();
    // A frame in progress is abandoned; the buffer is fixed, so nothing is released.
    void FreeInCom() {}
    // Applied after each body byte: a complete frame is checked, otherwise rsBody.
    bool completionTest();

    static constexpr int InComCapacity = MaxLength + 4; // body plus the four CRC bytes

    uint8_t RxState_ = rsIdle;
    uint16_t InLen = 0;   // length field of the frame being received
    uint16_t InCount = 0; // body bytes stored in InCom so far
    uint32_t InCRC = 0;   // running CRC-32 of the sequence byte and the payload
    // Sequence byte at 0, payload at 1..InLen-1, received CRC at InLen..InLen+3.
    uint8_t InCom[InComCapacity] = {};
};
