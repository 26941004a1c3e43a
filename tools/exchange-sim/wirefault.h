#pragma once

#include <QByteArray>

// The wire bytes of an encoded frame with bit 0 of its last CRC byte flipped. The last byte
// on the wire always belongs to the CRC; when it is (or becomes) 0xEE its doubling is kept
// valid, so a receiver sees a well-formed frame whose CRC does not match.
QByteArray corruptCrc(QByteArray wire);
