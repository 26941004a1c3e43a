// TComm and TCommPack over a pseudo-terminal pair: the component opens
// the slave as its device; the test plays the exchange on the master.

#include "common/pty.h"
#include "link/tcommpack.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/resource.h>
#include <termios.h>

using sarvik::test::Pty;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

// Runs fn and returns the ECommError it raised; fails the test when it raises none.
template <typename Fn> std::optional<ECommError> commErrorOf(Fn fn)
{
    try {
        fn();
    } catch (const ECommError& e) {
        return e;
    }
    return std::nullopt;
}

qint64 cpuMicroseconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return qint64(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000 + u.ru_utime.tv_usec +
           u.ru_stime.tv_usec;
}

// Opens the port. QSerialPort keeps a lock file per device name, and closes a device
// before it drops the lock: under parallel tests a pts number just freed by another
// process (or /dev/zero opened by a parallel copy of this test) can be refused as in use
// for a moment. Such a refusal is retried for a while; every other outcome is returned.
void openRetrying(TComm& port)
{
    QDeadlineTimer deadline(3000);
    for (;;) {
        try {
            port.Open();
            return;
        } catch (const ECommError& e) {
            const bool inUse = e.message().startsWith(QLatin1String("Error accessing")) &&
                               (e.code() == EACCES || e.code() == EBUSY);
            if (!inUse || deadline.hasExpired())
                throw;
        }
        QTest::qWait(20);
    }
}

// A TCommPack on the slave of a fresh pty, with a receive handler that collects frames.
struct Rig
{
    Pty pty;
    TCommPack port;
    QList<Frame> frames;
    QList<int> counts;

    Rig()
    {
        QObject::connect(&port, &TComm::RxChar, &port, [this](int count) {
            counts.append(count);
            frames += port.ReadPackets();
        });
    }
    bool open()
    {
        if (!pty.isValid())
            return false;
        port.setDeviceName(pty.slavePath());
        openRetrying(port);
        return port.IsOpen();
    }
};

} // namespace

class TstTCommPack : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ptyHelper();
    void systemPath_data();
    void systemPath();
    void errorText();
    void openDefaultsApplied();
    void setThenOpenAppliesLineSettings();
    void settersWhileOpen();
    void writePacketIsEncodedFrame();
    void framesFromMasterReachReadPackets();
    void frameInPiecesOverTheLine();
    void bigReadInSteps();
    void receiveEventHeldDuringWrite();
    void receiveStateSurvivesReopen();
    void openRegularFile();
    void openDirectory();
    void openMissingDevice();
    void openCharacterDeviceThatIsNoTty();
    void openWhileOpen();
    void deviceNameWhileOpen();
    void closedPort();
    void deviceLostOnce();
    void reopenAfterLoss();
    void stuckWritesAreBounded();
};

void TstTCommPack::ptyHelper()
{
    Pty pty;
    QVERIFY(pty.isValid());
    QVERIFY(pty.slavePath().startsWith("/dev/pts/"));
    // Raw both ways: bytes pass unchanged, no echo.
    const QByteArray bytes = hex("00 0A 0D 03 EE 23 7F FF");
    QVERIFY(pty.writeMaster(bytes));
    QByteArray got;
    QDeadlineTimer deadline(2000);
    while (got.size() < bytes.size() && !deadline.hasExpired()) {
        char buf[64];
        const ssize_t n = ::read(pty.slaveFd(), buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
    }
    QCOMPARE(got, bytes);
    QVERIFY(pty.readMaster(-1, 50).isEmpty()); // no echo
    QCOMPARE(::write(pty.slaveFd(), "\n\x01", 2), ssize_t(2));
    QCOMPARE(pty.readMaster(2), QByteArray("\n\x01", 2)); // no CR inserted
}

void TstTCommPack::systemPath_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::newRow("COM1") << "COM1"
                          << "/dev/ttyS0";
    QTest::newRow("Com2") << "Com2"
                          << "/dev/ttyS1";
    QTest::newRow("com12") << "com12"
                           << "/dev/ttyS11";
    QTest::newRow("COM0 is no COM port") << "COM0"
                                         << "/dev/COM0";
    QTest::newRow("absolute path") << "/dev/pts/7"
                                   << "/dev/pts/7";
    QTest::newRow("relative path") << "./dev"
                                   << "./dev";
    QTest::newRow("bare name in /dev") << "ttyUSB0"
                                       << "/dev/ttyUSB0";
}

void TstTCommPack::systemPath()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    QCOMPARE(TComm::systemPath(name), path);
}

void TstTCommPack::errorText()
{
    const ECommError e(QStringLiteral("Write error"), 5);
    QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Write error (Error: 5) "));
    QCOMPARE(e.code(), 5);
    QCOMPARE(ECommError(QStringLiteral("Port already assigned (open)"), -1).message(),
             QStringLiteral("Port already assigned (open) (Error: -1) "));
}

void TstTCommPack::openDefaultsApplied()
{
    Rig rig;
    QVERIFY(rig.open());
    QCOMPARE(rig.port.DeviceName(), rig.pty.slavePath());
    QCOMPARE(rig.port.BaudRate(), 9600);
    termios t{};
    QCOMPARE(::tcgetattr(rig.pty.slaveFd(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
    rig.port.Close();
    QVERIFY(!rig.port.IsOpen());
    rig.port.Close(); // nothing when closed
}

void TstTCommPack::setThenOpenAppliesLineSettings()
{
    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.port.Set(rig.pty.slavePath() + ":19200,E,7,2");
    QCOMPARE(rig.port.DeviceName(), rig.pty.slavePath());
    QCOMPARE(rig.port.BaudRate(), 19200);
    QCOMPARE(rig.port.Parity(), PortParity::Even);
    QCOMPARE(rig.port.Databits(), 7);
    QCOMPARE(rig.port.Stopbits(), PortStopBits::Two);
    openRetrying(rig.port);
    // A pty keeps the speed and the stop bits; its driver forces CS8 and clears PARENB,
    // so data bits and parity cannot be seen on this line.
    termios t{};
    QCOMPARE(::tcgetattr(rig.pty.slaveFd(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B19200));
    QCOMPARE(t.c_cflag & CSTOPB, tcflag_t(CSTOPB));
    // Set without ":" changes nothing, open or not.
    rig.port.Set(QStringLiteral("COM1"));
    QCOMPARE(rig.port.DeviceName(), rig.pty.slavePath());
    // Set with another device while open: refused by the device-name rule.
    const auto e = commErrorOf([&] { rig.port.Set(QStringLiteral("COM1:9600,N,8,1")); });
    QVERIFY(e);
    QCOMPARE(e->code(), -1);
    QCOMPARE(rig.port.BaudRate(), 19200);
}

void TstTCommPack::settersWhileOpen()
{
    Rig rig;
    QVERIFY(rig.open());
    // Applied to the device at once.
    rig.port.setBaudRate(38400);
    rig.port.setStopbits(PortStopBits::Two);
    rig.port.setParity(PortParity::Odd);
    termios t{};
    QCOMPARE(::tcgetattr(rig.pty.slaveFd(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B38400));
    QCOMPARE(t.c_cflag & CSTOPB, tcflag_t(CSTOPB));
    QCOMPARE(t.c_cflag & PARODD, tcflag_t(PARODD)); // the pty driver drops PARENB itself
    QCOMPARE(rig.port.BaudRate(), 38400);
    QCOMPARE(rig.port.Parity(), PortParity::Odd);
    // The pty refuses any data bits but 8, and QSerialPort notices: the line format cannot
    // be applied. The setting stays as it was and the port stays open.
    auto e = commErrorOf([&] { rig.port.setDatabits(7); });
    QVERIFY(e);
    QCOMPARE(e->message(),
             QStringLiteral("Error updating DataControlBlock (Error: %1) ").arg(e->code()));
    QVERIFY(e->code() > 0);
    QCOMPARE(rig.port.Databits(), 8);
    QVERIFY(rig.port.IsOpen());
    // QSerialPort knows 5 to 8 data bits; 4 is refused open or closed.
    e = commErrorOf([&] { rig.port.setDatabits(4); });
    QVERIFY(e);
    QCOMPARE(e->code(), EINVAL);
    rig.port.Close();
    e = commErrorOf([&] { rig.port.setDatabits(4); });
    QVERIFY(e);
    QCOMPARE(rig.port.Databits(), 8);
    // While closed the settings are only stored.
    rig.port.setDatabits(5);
    rig.port.setBaudRate(1200);
    QCOMPARE(rig.port.Databits(), 5);
    QCOMPARE(rig.port.BaudRate(), 1200);
    QCOMPARE(::tcgetattr(rig.pty.slaveFd(), &t), 0);
    QCOMPARE(::cfgetospeed(&t), speed_t(B38400));
}

void TstTCommPack::writePacketIsEncodedFrame()
{
    Rig rig;
    QVERIFY(rig.open());
    rig.port.WritePacket(0x05, hex("001600"));
    QCOMPARE(rig.pty.readMaster(12), hex("EE23 0400 05 001600 F99A020A"));
    rig.port.WritePacket(0xEE, hex("000E00"));
    QCOMPARE(rig.pty.readMaster(13), hex("EE23 0400 EEEE 000E00 99C46789"));
    QByteArray big(2048, '\xEE');
    const QByteArray frame = encodeFrame(0x01, big);
    rig.port.WritePacket(0x01, big);
    QCOMPARE(rig.pty.readMaster(frame.size()), frame);
    QVERIFY(rig.pty.readMaster(-1, 50).isEmpty());
}

void TstTCommPack::framesFromMasterReachReadPackets()
{
    Rig rig;
    QVERIFY(rig.open());
    // Two replies in one write: both delivered, in order.
    QVERIFY(rig.pty.writeMaster(encodeFrame(0x05, hex("0016000102")) +
                                encodeFrame(0xEE, hex("000E00"))));
    QTRY_COMPARE(rig.frames.size(), 2);
    QCOMPARE(rig.frames[0], (Frame{0x05, hex("0016000102")}));
    QCOMPARE(rig.frames[1], (Frame{0xEE, hex("000E00")}));
    for (int c : rig.counts)
        QVERIFY(c > 0);
}

void TstTCommPack::frameInPiecesOverTheLine()
{
    Rig rig;
    QVERIFY(rig.open());
    const QByteArray wire = encodeFrame(0x21, hex("00EE0E"));
    for (char c : wire) {
        QVERIFY(rig.frames.isEmpty());
        QVERIFY(rig.pty.writeMaster(QByteArray(1, c)));
        const int before = rig.counts.size();
        QTRY_VERIFY(rig.counts.size() > before);
    }
    QCOMPARE(rig.frames.size(), 1);
    QCOMPARE(rig.frames[0], (Frame{0x21, hex("00EE0E")}));
}

void TstTCommPack::bigReadInSteps()
{
    Rig rig;
    QVERIFY(rig.open());
    // More than the 2100-byte staging buffer and the 4096-byte read buffer at once.
    QList<Frame> sent;
    QByteArray wire;
    for (int i = 0; i < 6; ++i) {
        Frame f{uint8_t(i), QByteArray(1500 + i, char(0xEE - i))};
        sent.append(f);
        wire += encodeFrame(f.seq, f.payload);
    }
    QVERIFY(wire.size() > 2 * TComm::ReadBufSize);
    QVERIFY(rig.pty.writeMaster(wire));
    QTRY_COMPARE(rig.frames.size(), sent.size());
    QCOMPARE(rig.frames, sent);
}

void TstTCommPack::receiveEventHeldDuringWrite()
{
    Rig rig;
    QVERIFY(rig.open());
    QVERIFY(rig.pty.writeMaster(encodeFrame(0x07, hex("0102"))));
    // Whatever the write's wait reads from the line, the receive event does not run
    // inside WritePacket; it comes afterwards from the event loop.
    rig.port.WritePacket(0x08, hex("0304"));
    QVERIFY(rig.counts.isEmpty());
    QCOMPARE(rig.pty.readMaster(encodeFrame(0x08, hex("0304")).size()),
             encodeFrame(0x08, hex("0304")));
    QTRY_COMPARE(rig.frames.size(), 1);
    QCOMPARE(rig.frames[0], (Frame{0x07, hex("0102")}));
}

void TstTCommPack::receiveStateSurvivesReopen()
{
    Rig rig;
    QVERIFY(rig.open());
    const QByteArray wire = encodeFrame(0x31, hex("A1A2A3A4"));
    QVERIFY(rig.pty.writeMaster(wire.first(5)));
    QTRY_VERIFY(!rig.counts.isEmpty());
    QCOMPARE(rig.port.rxState(), FrameReceiver::rsBody);
    rig.port.Close();
    openRetrying(rig.port);
    // The partial frame is finished by the bytes after the next open.
    QVERIFY(rig.pty.writeMaster(wire.mid(5)));
    QTRY_COMPARE(rig.frames.size(), 1);
    QCOMPARE(rig.frames[0], (Frame{0x31, hex("A1A2A3A4")}));
}

void TstTCommPack::openRegularFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("not-a-tty");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    TCommPack port;
    port.setDeviceName(path);
    const auto e = commErrorOf([&] { port.Open(); });
    QVERIFY(e);
    QCOMPARE(e->code(), -1);
    QCOMPARE(e->message(), QStringLiteral("Invalid device handle, access denied (Error: -1) "));
    QVERIFY(!port.IsOpen());
}

void TstTCommPack::openDirectory()
{
    TCommPack port;
    port.setDeviceName(QStringLiteral("/tmp"));
    const auto e = commErrorOf([&] { port.Open(); });
    QVERIFY(e);
    QCOMPARE(e->message(), QStringLiteral("Invalid device handle, access denied (Error: -1) "));
    QVERIFY(!port.IsOpen());
}

void TstTCommPack::openMissingDevice()
{
    TCommPack port;
    port.Set(QStringLiteral("/dev/sarvik-no-such-device:9600,N,8,1"));
    const auto e = commErrorOf([&] { port.Open(); });
    QVERIFY(e);
    QCOMPARE(e->code(), ENOENT);
    QCOMPARE(e->message(),
             QStringLiteral("Error accessing specified device (Error: %1) ").arg(ENOENT));
    QVERIFY(!port.IsOpen());
    // Nothing is written while closed; the sender asks IsOpen first.
    QVERIFY(!static_cast<PacketPort&>(port).IsOpen());
}

void TstTCommPack::openCharacterDeviceThatIsNoTty()
{
    // /dev/zero opens, but no line format can be applied to it: the open fails with the
    // system's code (ENOTTY) and the device is closed again. (Not /dev/null: other tests
    // may point a port there, and QSerialPort's lock file would then refuse the open.)
    TCommPack port;
    port.setDeviceName(QStringLiteral("/dev/zero"));
    const auto e = commErrorOf([&] { openRetrying(port); });
    QVERIFY(e);
    QCOMPARE(e->code(), ENOTTY);
    QCOMPARE(e->message(),
             QStringLiteral("Error updating DataControlBlock (Error: %1) ").arg(ENOTTY));
    QVERIFY(!port.IsOpen());
}

void TstTCommPack::openWhileOpen()
{
    Rig rig;
    QVERIFY(rig.open());
    const auto e = commErrorOf([&] { rig.port.Open(); });
    QVERIFY(e);
    QCOMPARE(e->code(), -1);
    QCOMPARE(e->message(), QStringLiteral("Port already assigned (open) (Error: -1) "));
    QVERIFY(rig.port.IsOpen());
}

void TstTCommPack::deviceNameWhileOpen()
{
    Rig rig;
    QVERIFY(rig.open());
    const QString name = rig.port.DeviceName();
    rig.port.setDeviceName(name); // the same name is accepted
    const auto e = commErrorOf([&] { rig.port.setDeviceName(QStringLiteral("COM3")); });
    QVERIFY(e);
    QCOMPARE(e->code(), -1);
    QCOMPARE(e->message(), QStringLiteral("Port already assigned (open) (Error: -1) "));
    QCOMPARE(rig.port.DeviceName(), name);
    QVERIFY(rig.port.IsOpen());
    rig.port.Close();
    rig.port.setDeviceName(QStringLiteral("COM3"));
    QCOMPARE(rig.port.DeviceName(), QStringLiteral("COM3"));
}

void TstTCommPack::closedPort()
{
    TCommPack port;
    QVERIFY(!port.IsOpen());
    QVERIFY(port.ReadPackets().isEmpty());
    const auto w = commErrorOf([&] { port.WritePacket(1, hex("00")); });
    QVERIFY(w);
    QVERIFY(w->message().startsWith("Write error (Error: "));
    char buf[8];
    const auto r = commErrorOf([&] { port.Read(buf, 8); });
    QVERIFY(r);
    QVERIFY(r->message().startsWith("Read error (Error: "));
}

void TstTCommPack::deviceLostOnce()
{
    Rig rig;
    QVERIFY(rig.open());
    QSignalSpy lost(&rig.port, &TComm::deviceLost);
    rig.pty.closeMaster();
    QTRY_COMPARE(lost.size(), 1);
    QVERIFY(!rig.port.IsOpen());
    QVERIFY(!lost.at(0).at(0).toString().isEmpty());
    // Once, and no spinning on the dead line afterwards.
    const qint64 cpuBefore = cpuMicroseconds();
    QElapsedTimer wall;
    wall.start();
    QVERIFY(!lost.wait(400));
    const qint64 cpu = cpuMicroseconds() - cpuBefore;
    QCOMPARE(lost.size(), 1);
    QVERIFY2(cpu < wall.elapsed() * 1000 / 4, qPrintable(QString("cpu %1 us").arg(cpu)));
}

void TstTCommPack::reopenAfterLoss()
{
    Rig rig;
    QVERIFY(rig.open());
    QSignalSpy lost(&rig.port, &TComm::deviceLost);
    rig.pty.closeMaster();
    QTRY_COMPARE(lost.size(), 1);
    // The pty is gone for good: a reopen fails as an open of any vanished device does.
    const auto e = commErrorOf([&] { rig.port.Open(); });
    QVERIFY(e);
    QVERIFY(!rig.port.IsOpen());
    // A new line under the same component works.
    Pty other;
    QVERIFY(other.isValid());
    rig.port.setDeviceName(other.slavePath());
    openRetrying(rig.port);
    QVERIFY(other.writeMaster(encodeFrame(0x09, hex("AA"))));
    QTRY_COMPARE(rig.frames.size(), 1);
    QCOMPARE(lost.size(), 1);
}

void TstTCommPack::stuckWritesAreBounded()
{
    // Nobody reads the master: the line's buffer fills and writes stop completing.
    Rig rig;
    QVERIFY(rig.open());
    const QByteArray payload(2000, '\x11');
    const int frameSize = int(encodeFrame(0, payload).size());
    QElapsedTimer total;
    total.start();
    int timedOut = 0;
    int dropped = 0;
    for (int i = 0; i < 400 && dropped == 0 && total.elapsed() < 20000; ++i) {
        const QByteArray frame = encodeFrame(uint8_t(i), payload);
        QElapsedTimer t;
        t.start();
        const int r = rig.port.Write(frame.constData(), int(frame.size()));
        if (r == -1 && t.elapsed() >= TComm::WriteTimeout - 50)
            ++timedOut;
        else if (r == -1)
            ++dropped; // refused at once: more than WriteBufSize bytes were unsent
        else
            QCOMPARE(r, frameSize);
    }
    QVERIFY(timedOut >= 1);
    QCOMPARE(dropped, 1);
    // Refused at once from now on, without waiting and without queueing more.
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 50; ++i)
        QCOMPARE(rig.port.Write(QByteArray(frameSize, 'x').constData(), frameSize), -1);
    QVERIFY(t.elapsed() < 500);
    // Once the far end reads again, writing works again.
    QByteArray drained;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        drained += rig.pty.readMaster(-1, 20);
        QCoreApplication::processEvents();
        const int r = rig.port.Write("\x01", 1);
        if (r == 1)
            break;
    }
    QVERIFY(!deadline.hasExpired());
    QVERIFY(rig.port.IsOpen());
}

QTEST_GUILESS_MAIN(TstTCommPack)
#include "tst_tcommpack.moc"
