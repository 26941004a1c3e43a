#include "link/tcomm.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <cerrno>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcComm, "sarvik.link.comm")

namespace {

QSerialPort::Parity toQt(PortParity p)
{
    switch (p) {
    case PortParity::Odd:
        return QSerialPort::OddParity;
    case PortParity::Even:
        return QSerialPort::EvenParity;
    case PortParity::Mark:
        return QSerialPort::MarkParity;
    case PortParity::Space:
        return QSerialPort::SpaceParity;
    case PortParity::None:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(PortStopBits s)
{
    switch (s) {
    case PortStopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case PortStopBits::Two:
        return QSerialPort::TwoStop;
    case PortStopBits::One:
        break;
    }
    return QSerialPort::OneStop;
}

// The errno a QSerialPort error most likely stands for, when the error string does not
// name one (the lock-file refusal, for instance).
int fallbackCode(QSerialPort::SerialPortError e)
{
    switch (e) {
    case QSerialPort::DeviceNotFoundError:
        return ENOENT;
    case QSerialPort::PermissionError:
        return EACCES;
    case QSerialPort::OpenError:
        return EBUSY;
    case QSerialPort::UnsupportedOperationError:
        return EINVAL;
    default:
        return EIO;
    }
}

} // namespace

TComm::TComm(QObject* parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &TComm::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &TComm::onErrorOccurred);
}

TComm::~TComm()
{
    Close();
}

QString TComm::systemPath(const QString& deviceName)
{
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(deviceName);
    if (m.hasMatch()) {
        bool ok = false;
        const int n = m.captured(1).toInt(&ok);
        if (ok && n >= 1)
            return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    }
    if (deviceName.startsWith(u'/') || deviceName.startsWith(u"./") ||
        deviceName.startsWith(u"../"))
        return deviceName;
    return QStringLiteral("/dev/") + deviceName;
}

void TComm::setDeviceName(const QString& name)
{
    if (name == m_settings.deviceName)
        return;
    if (IsOpen() && systemPath(name) != systemPath(m_settings.deviceName))
        throw ECommError(QString::fromLatin1(CommErrorText::PortAssigned), -1);
    m_settings.deviceName = name;
}

void TComm::setBaudRate(int baud)
{
    if (IsOpen() && !m_port.setBaudRate(baud))
        throwLineError();
    m_settings.baudRate = baud;
}

void TComm::setParity(PortParity parity)
{
    if (IsOpen() && !m_port.setParity(toQt(parity)))
        throwLineError();
    m_settings.parity = parity;
}

void TComm::setDatabits(int bits)
{
    // QSerialPort (and POSIX termios) knows 5 to 8 data bits only.
    if (bits < 5 || bits > 8)
        throw ECommError(QString::fromLatin1(CommErrorText::DataControlBlock), EINVAL);
    if (IsOpen() && !m_port.setDataBits(QSerialPort::DataBits(bits)))
        throwLineError();
    m_settings.dataBits = bits;
}

void TComm::setStopbits(PortStopBits stop)
{
    if (IsOpen() && !m_port.setStopBits(toQt(stop)))
        throwLineError();
    m_settings.stopBits = stop;
}

bool TComm::IsOpen() const
{
    return m_port.isOpen();
}

void TComm::Open()
{
    if (IsOpen())
        throw ECommError(QString::fromLatin1(CommErrorText::PortAssigned), -1);

    const QString path = systemPath(m_settings.deviceName);
    // A path that is not a character device is refused; we look before opening, so a
    // regular file or a directory is never opened at all.
    struct stat st; // filled by a successful stat()
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        throw ECommError(QString::fromLatin1(CommErrorText::AccessDevice), errno);
    if (!S_ISCHR(st.st_mode))
        throw ECommError(QString::fromLatin1(CommErrorText::InvalidHandle), -1);

    // Stored while closed; QSerialPort applies them all as part of open().
    m_port.setPortName(path);
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setParity(toQt(m_settings.parity));
    m_port.setDataBits(QSerialPort::DataBits(m_settings.dataBits));
    m_port.setStopBits(toQt(m_settings.stopBits));
    m_port.setFlowControl(QSerialPort::NoFlowControl); // the agent requests none of its own
    m_port.setReadBufferSize(ReadBufSize);
    m_losing = false;
    m_rxDeferred = false;

    errno = 0;
    if (m_port.open(QIODevice::ReadWrite))
        return;
    const int savedErrno = errno;
    const QSerialPort::SerialPortError error = m_port.error();
    const int code = systemErrorCode(fallbackCode(error), savedErrno);
    m_port.clearError();
    // The device itself could not be had (missing, refused, busy): the open failed. Any
    // other failure came after the device was opened, from the line settings; QSerialPort
    // has closed it again either way.
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        throw ECommError(QString::fromLatin1(CommErrorText::AccessDevice), code);
    default:
        throw ECommError(QString::fromLatin1(CommErrorText::DataControlBlock), code);
    }
}

void TComm::Close()
{
    if (!m_port.isOpen())
        return;
    // Drops both queues, an unfinished write included.
    m_port.close();
    m_port.clearError();
    m_rxDeferred = false;
}

int TComm::Read(char* buffer, int n)
{
    if (!IsOpen())
        throw ECommError(QString::fromLatin1(CommErrorText::ReadError), EBADF);
    if (n <= 0)
        return 0;
    // Only what QSerialPort has already queued: read() never waits.
    const qint64 got = m_port.read(buffer, n);
    if (got < 0)
        throw ECommError(QString::fromLatin1(CommErrorText::ReadError), systemErrorCode(EIO));
    return int(got);
}

int TComm::Write(const char* data, int n)
{
    if (!IsOpen())
        throw ECommError(QString::fromLatin1(CommErrorText::WriteError), EBADF);
    if (n <= 0)
        return 0;
    // Writes that never complete must not pile up without bound.
    if (m_port.bytesToWrite() > WriteBufSize) {
        if (!m_dropping)
            qCWarning(lcComm) << "line not draining:" << m_port.bytesToWrite()
                              << "bytes unsent; writes are dropped until it drains";
        m_dropping = true;
        return -1;
    }
    m_dropping = false;

    // waitForBytesWritten may read and emit readyRead; the receive event must not run
    // inside a write, so it is held until the write is over.
    m_inWrite = true;
    struct Guard
    {
        TComm* self;
        ~Guard()
        {
            self->m_inWrite = false;
            if (self->m_rxDeferred) {
                self->m_rxDeferred = false;
                QMetaObject::invokeMethod(self, &TComm::emitRxChar, Qt::QueuedConnection);
            }
        }
    } guard{this};

    const qint64 accepted = m_port.write(data, n);
    if (accepted < 0)
        throw ECommError(QString::fromLatin1(CommErrorText::WriteError), systemErrorCode(EIO));

    const QDeadlineTimer deadline(WriteTimeout);
    while (m_port.isOpen() && m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(int(deadline.remainingTime())))
            break;
    }
    if (!m_port.isOpen() || m_port.bytesToWrite() > 0)
        return -1;
    return n;
}

void TComm::onReadyRead()
{
    if (m_inWrite) {
        m_rxDeferred = true;
        return;
    }
    emitRxChar();
}

void TComm::emitRxChar()
{
    if (!IsOpen() || m_losing)
        return;
    const qint64 count = m_port.bytesAvailable();
    if (count <= 0)
        return;
    // Handlers catch their own errors (no exception may leave a slot); this is the last
    // guard, so that the receive path stays alive whatever a handler lets through.
    try {
        emit RxChar(int(count));
    } catch (const std::exception& e) {
        qCWarning(lcComm) << "receive handler failed:" << e.what();
    } catch (...) {
        qCWarning(lcComm) << "receive handler failed";
    }
}

void TComm::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::NoError)
        qCDebug(lcComm) << "port error" << error << m_port.errorString();
    // ResourceError: the device vanished (EIO from a pty whose master is gone, an adapter
    // unplugged). ReadError: a read gave end of file or failed; QSerialPort keeps its
    // notifier on then, so it would fire again and again on a dead line.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!m_port.isOpen() || m_losing)
        return;
    m_losing = true;
    // After a hang-up a read gives end of file, and QSerialPort then reports ReadError
    // with whatever errno was left over; its text says nothing useful in that case.
    m_lossReason = error == QSerialPort::ResourceError
                       ? QStringLiteral("device disappeared (%1)").arg(m_port.errorString())
                       : QStringLiteral("line hung up (read failed or reached end of file)");
    // Closed from the event loop, not from inside QSerialPort's own notification or wait.
    QMetaObject::invokeMethod(this, &TComm::handleLoss, Qt::QueuedConnection);
}

void TComm::handleLoss()
{
    if (!m_losing)
        return;
    const bool wasOpen = m_port.isOpen();
    Close();
    m_losing = false;
    if (wasOpen) {
        qCWarning(lcComm) << "device lost:" << m_settings.deviceName << m_lossReason;
        emit deviceLost(m_lossReason);
    }
}

int TComm::systemErrorCode(int fallback, int candidate) const
{
    // QSerialPort reports a system error by its strerror text only; find its number. An
    // errno that does not match the text is stale (the lock-file refusal, for instance,
    // is no system error at all), and then the error's kind decides.
    const QString text = m_port.errorString();
    if (candidate > 0 && qt_error_string(candidate) == text)
        return candidate;
    for (int e = 1; e < 256; ++e)
        if (qt_error_string(e) == text)
            return e;
    return fallback;
}

void TComm::throwLineError()
{
    const int code = systemErrorCode(fallbackCode(m_port.error()));
    m_port.clearError();
    throw ECommError(QString::fromLatin1(CommErrorText::DataControlBlock), code);
}
