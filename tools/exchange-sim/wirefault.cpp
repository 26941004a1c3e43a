#include "wirefault.h"

QByteArray corruptCrc(QByteArray wire)
{
    if (wire.isEmpty())
        return wire;
    if (wire.endsWith("\xEE\xEE")) {
        wire.chop(2);
        wire.append(char(0xEE ^ 0x01));
        return wire;
    }
    const char flipped = char(wire.back() ^ 0x01);
    wire.chop(1);
    wire.append(flipped);
    if (uint8_t(flipped) == 0xEE)
        wire.append(flipped);
    return wire;
}
