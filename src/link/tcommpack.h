#pragma once

// The framing serial component. Including this header gives TCommPack, TComm,
// ECommError and PacketPort.

#include "link/ecommerror.h"
#include "link/framecodec.h"
#include "link/tcomm.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <cstdint>

// Where SendPacket writes frames: the serial component, or a fake in tests.
class PacketPort
{
public:
    virtual ~PacketPort() = default;
    virtual bool IsOpen() const = 0;
    virtual void WritePacket(uint8_t seq, QByteArrayView payload) = 0;
};

// The framing component on top of the serial component.
class TCommPack : public TComm, public PacketPort
{
    Q_OBJECT
public:
    using TComm::TComm;

    // Read size of one ReadPackets step: the staging buffer.
    static constexpr int StagingSize = 2100;

    bool IsOpen() const override { return TComm::IsOpen(); }
    // One write of the encoded frame; a write not complete within WriteTimeout is not
    // noticed by the framing; write errors pass to the caller as ECommError.
    void WritePacket(uint8_t seq, QByteArrayView payload) override;
    // Reads everything queued (at most 2100 bytes per read) and returns every good
    // frame, in order. Nothing when the port is closed.
    QList<Frame> ReadPackets();
    // Applies a port text "DEVICE:baud,parity,data,stop"; no ":" changes nothing.
    // (The rules: applyPortText in porttext.h.)
    void Set(const QString& portText);

    FrameReceiver::RxState rxState() const { return m_receiver.state(); }

private:
    FrameReceiver m_receiver; // lives as long as the component: a close does not reset it
};
