#pragma once

// The port text of Agent.ini ("COM2:9600,N,8,1") and the rules by which TCommPack::Set
// applies it. Pure: no port, no Qt serial types.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

enum class PortParity : uint8_t { None, Odd, Even, Mark, Space };
enum class PortStopBits : uint8_t { One, OneAndHalf, Two };
enum class PortHandshake : uint8_t { None, Software, Hardware };

// What a device-control text says, as the Windows parser BuildCommDCBA reads it. The
// comma form gives every field but the handshake; the key-word form only those it names.
struct PortControl
{
    std::optional<int> baudRate; // abbreviations (96, 19, ...) already expanded
    std::optional<PortParity> parity;
    std::optional<int> dataBits; // 5 to 8
    std::optional<PortStopBits> stopBits;
    std::optional<PortHandshake> handshake; // fifth comma field: X software, P hardware
    bool operator==(const PortControl&) const = default;
};

// Parses a device-control text in the syntax of the mode command. A device prefix up to
// the first ":" is skipped. Comma form "baud,parity,data,stop[,X|P]" (blanks allowed
// around the commas); otherwise the key-word form "baud=9600 parity=N data=8 stop=1"
// (also to=, xon=, odsr=, octs=, dtr=, rts=, idsr=, accepted and ignored). Empty when the
// text does not parse.
std::optional<PortControl> parsePortControl(QStringView text);

// The line settings of the serial component that a port text can change.
struct PortLineSettings
{
    QString deviceName = QStringLiteral("Com2");
    int baudRate = 9600;
    PortParity parity = PortParity::None;
    int dataBits = 8;
    PortStopBits stopBits = PortStopBits::One;
    bool operator==(const PortLineSettings&) const = default;
};

// The baud rates that Set applies: 110, 300, ..., 256000 ; any other is kept out.
bool isListedBaudRate(int baud);

// The rules of TCommPack::Set, applied to a copy of current:
// - no ":" in the text: nothing changes at all;
// - the device name becomes the text before the first ":" (as written; "com2" is COM2);
// - a text that does not parse changes no line setting;
// - baud only when listed; data bits 5 to 8 (4 would be accepted by Set but neither
//   the parser nor QSerialPort takes it, so it is never applied); stop bits 1, 1.5, 2;
//   parity none, odd, even or mark; space parity leaves the parity as it was.
PortLineSettings applyPortText(const PortLineSettings& current, QStringView text);
