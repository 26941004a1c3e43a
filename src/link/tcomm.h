#pragma once

#include "link/ecommerror.h"
#include "link/porttext.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

// Our serial component over QSerialPort: device name, line settings, open, close,
// read, write, the receive event and the component's errors.
// Used only on the event-loop thread: QSerialPort's notifiers replace the event thread,
// and readyRead is the receive event.
class TComm : public QObject
{
    Q_OBJECT
public:
    static constexpr int ReadTimeout = 1000;  // ms
    static constexpr int WriteTimeout = 1000; // ms
    static constexpr int ReadBufSize = 4096;  // QSerialPort's read buffer
    static constexpr int WriteBufSize = 2048; // above this many unsent bytes, writes are dropped

    explicit TComm(QObject* parent = nullptr);
    ~TComm() override;

    QString DeviceName() const { return m_settings.deviceName; }
    // ECommError "Port already assigned (open)" (-1) when open and the name names another
    // device; the same name (COM2 and com2 alike) is accepted.
    void setDeviceName(const QString& name);

    // Line format: applied at once while open ("Error updating DataControlBlock" with the
    // system's code when the device refuses it), stored while closed.
    int BaudRate() const { return m_settings.baudRate; }
    void setBaudRate(int baud);
    PortParity Parity() const { return m_settings.parity; }
    void setParity(PortParity parity);
    int Databits() const { return m_settings.dataBits; } // 5 to 8
    void setDatabits(int bits);                          // others: ECommError (EINVAL)
    PortStopBits Stopbits() const { return m_settings.stopBits; }
    void setStopbits(PortStopBits stop);

    PortLineSettings lineSettings() const { return m_settings; }

    // On Linux a device name "COMn" (any case, n >= 1) is /dev/ttyS(n-1); a name with a
    // "/" is a path; any other bare name lies in /dev (QSerialPort's own rule).
    static QString systemPath(const QString& deviceName);

    void Open();  // ECommError on failure; the port is then closed
    void Close(); // nothing when closed
    virtual bool IsOpen() const;

    // Bytes already queued, at most n; 0 when none. ECommError "Read error" when closed.
    int Read(char* buffer, int n);
    // One write of n bytes, waited for at most WriteTimeout; n when complete, -1 when not
    // complete in time or dropped because more than WriteBufSize bytes are still unsent.
    // ECommError "Write error" when the write cannot be started.
    int Write(const char* data, int n);

Q_SIGNALS:
    // Bytes are queued; count is how many (never 0).
    void RxChar(int count);
    // The open device went away (adapter unplugged, far end of a pty closed); the
    // port is closed now. Raised once per loss.
    void deviceLost(const QString& reason);

private:
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void emitRxChar();
    void handleLoss();
    // The errno behind QSerialPort's last error, or fallback when it cannot be told;
    // candidate is an errno to try first.
    int systemErrorCode(int fallback, int candidate = 0) const;
    [[noreturn]] void throwLineError();

    QSerialPort m_port;
    PortLineSettings m_settings;
    bool m_inWrite = false;    // a Write is waiting: receive events wait until it is done
    bool m_rxDeferred = false; // a receive event arrived during a Write
    bool m_losing = false;     // a loss of the device is being handled
    bool m_dropping = false;   // writes are being dropped (logged once per episode)
    QString m_lossReason;
};
