// TData::PacketToText: the one-line text of a packet for the event log.
//
// Short packets: the decoder never reads a byte that was not received. A missing object
// code or index of a request is shown as "?" ("Čtení ?[?]", "Čtení Čísla linek[?]",
// "Cmd: 7 ?[?]"); an empty packet gives the empty text as a request, and as a reply it
// gives what a 1-byte reply gives without the error part (there is no result code to show).

#include "data/tdata.h"

namespace {

constexpr int LastObjectCode = 26;
constexpr QLatin1StringView Missing("?");

QString byteText(QByteArrayView bytes, qsizetype i)
{
    return i < bytes.size() ? QString::number(uint8_t(bytes[i])) : QString(Missing);
}

QString operationName(uint8_t op)
{
    return QString::fromUtf8(OperationNames[op]);
}

// The object's label: its name for codes 0..26, otherwise "Str:%d"; "?" when not received.
QString objectLabel(QByteArrayView bytes)
{
    if (bytes.size() < 2)
        return QString(Missing);
    const uint8_t object = uint8_t(bytes[1]);
    if (object <= LastObjectCode)
        return QString::fromUtf8(ObjectTable[object].name);
    return QStringLiteral("Str:%1").arg(object);
}

int decodeRequest(QByteArrayView bytes, QString& text)
{
    if (bytes.isEmpty())
        return 0;
    const uint8_t op = uint8_t(bytes[0]);
    if (op >= 2 && op <= 5) {
        text = operationName(op);
        return 1;
    }
    text = op <= 1 ? operationName(op) + u' ' : QStringLiteral("Cmd: %1 ").arg(op);
    text += objectLabel(bytes) + u'[' + byteText(bytes, 2) + u']';
    return 3;
}

int decodeReply(QByteArrayView bytes, uint8_t op, QString& text)
{
    int header;
    if (op == 2 || op == 3) {
        text = operationName(op);
        header = 1;
    } else if (op == 4 || op == 5) {
        text = operationName(op) + u' ';
        header = 1;
    } else if (bytes.size() > 2) {
        text = objectLabel(bytes) + u'[' + byteText(bytes, 2) + u']';
        header = 3;
    } else if (bytes.size() == 2) {
        text = objectLabel(bytes);
        header = 2;
    } else {
        header = 1;
    }
    if (!bytes.isEmpty() && uint8_t(bytes[0]) != 0)
        text += QStringLiteral("Error %1: ").arg(uint8_t(bytes[0]));
    return header;
}

} // namespace

QString TData::PacketToText(PacketDirection direction, QByteArrayView bytes, uint8_t op,
                            bool byteDump)
{
    QString text;
    const int header = direction == PacketDirection::Request ? decodeRequest(bytes, text)
                                                             : decodeReply(bytes, op, text);
    if (byteDump) {
        for (qsizetype i = header; i < bytes.size(); ++i)
            text += QString::number(uint8_t(bytes[i])) + u' ';
    }
    return text;
}
