#include "link/tcommpack.h"

#include <array>

void TCommPack::WritePacket(uint8_t seq, QByteArrayView payload)
{
    const QByteArray frame = encodeFrame(seq, payload);
    // The result (-1 for a write not complete in time) is ignored, as WriteChar's was.
    Write(frame.constData(), int(frame.size()));
}

QList<Frame> TCommPack::ReadPackets()
{
    QList<Frame> frames;
    if (!IsOpen())
        return frames;
    std::array<char, StagingSize> staging;
    // The receive event may announce up to ReadBufSize (4096) bytes; they are read in
    // steps of the staging size until nothing is queued.
    for (;;) {
        const int n = Read(staging.data(), StagingSize);
        if (n <= 0)
            break;
        frames += m_receiver.feed(QByteArrayView(staging.data(), n));
        if (!IsOpen())
            break;
    }
    return frames;
}

void TCommPack::Set(const QString& portText)
{
    const PortLineSettings current = lineSettings();
    const PortLineSettings next = applyPortText(current, portText);
    // Device name first: refused while open (step 2 of Set), and then nothing else changes.
    if (next.deviceName != current.deviceName)
        setDeviceName(next.deviceName);
    if (next.baudRate != current.baudRate)
        setBaudRate(next.baudRate);
    if (next.dataBits != current.dataBits)
        setDatabits(next.dataBits);
    if (next.stopBits != current.stopBits)
        setStopbits(next.stopBits);
    if (next.parity != current.parity)
        setParity(next.parity);
}
