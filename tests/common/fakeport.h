#pragma once

#include "link/tcommpack.h"

#include <QList>

// A serial port that records the frames written to it instead of sending them.
class FakePort : public PacketPort
{
public:
    struct Written
    {
        uint8_t seq;
        QByteArray payload;
    };

    bool open = true;
    QList<Written> frames;

    bool IsOpen() const override { return open; }
    void WritePacket(uint8_t seq, QByteArrayView payload) override
    {
        frames.append({seq, payload.toByteArray()});
    }
};
