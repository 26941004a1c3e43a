// The built exchange-sim as the agent meets it: started as a process, reached over its
// pseudo-terminal with real frames, steered through standard input.

#include "common/bytes.h"
#include "common/testfiles.h"
#include "link/framecodec.h"
#include "wirefault.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int Timeout = 15000; // ms; generous for a loaded machine

QString testScenario()
{
    return testDataDir() + QStringLiteral("/test.ini");
}

bool makeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

// One simulator process and our end of its line.
class SimSession : public QObject
{
public:
    ~SimSession() override
    {
        delete notifier;
        if (fd >= 0)
            ::close(fd);
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(Timeout);
        }
    }

    // Starts the simulator and waits for its PORT line. With ownFd >= 0 the caller has
    // given the simulator a device and talks on ownFd; otherwise the announced port is
    // opened here.
    bool start(const QStringList& arguments, int ownFd = -1)
    {
        connect(&process, &QProcess::readyReadStandardOutput, this, [this] {
            pendingOutput += process.readAllStandardOutput();
            qsizetype newline;
            while ((newline = pendingOutput.indexOf('\n')) >= 0) {
                lines.append(QString::fromUtf8(pendingOutput.left(newline)));
                pendingOutput.remove(0, newline + 1);
            }
        });
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("SARVIK_BIN_DIR") + QStringLiteral("/exchange-sim"),
                      arguments);
        if (!QTest::qWaitFor([this] { return !lines.isEmpty(); }, Timeout))
            return false;
        if (!lines.first().startsWith(QLatin1String("PORT /")))
            return false;
        port = lines.first().mid(5);
        fd = ownFd >= 0
                 ? ownFd
                 : ::open(QFile::encodeName(port).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || !makeRaw(fd))
            return false;
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
                raw.append(buffer, n);
                frames.append(receiver.feed(QByteArrayView(buffer, n)));
            }
        });
        return true;
    }

    uint8_t send(const QByteArray& payload) { return sendWithSeq(nextSeq++, payload); }

    uint8_t sendWithSeq(uint8_t seq, const QByteArray& payload)
    {
        const QByteArray wire = encodeFrame(seq, payload);
        [[maybe_unused]] const ssize_t n = ::write(fd, wire.constData(), size_t(wire.size()));
        return seq;
    }

    std::optional<QByteArray> reply(uint8_t seq) const
    {
        for (const Frame& frame : frames) {
            if (frame.seq == seq)
                return frame.payload;
        }
        return std::nullopt;
    }

    void command(const QByteArray& line) { process.write(line + '\n'); }

    bool logged(const QString& text) const
    {
        for (const QString& line : lines) {
            if (line.contains(text))
                return true;
        }
        return false;
    }

    QProcess process;
    QStringList lines;
    QByteArray pendingOutput;
    QString port;
    int fd = -1;
    QSocketNotifier* notifier = nullptr;
    FrameReceiver receiver;
    QList<Frame> frames;
    QByteArray raw;
    uint8_t nextSeq = 1;
};

// Waits for the reply to seq and compares its payload.
#define COMPARE_REPLY(seq, expected)                                                               \
    do {                                                                                           \
        const uint8_t s_ = (seq);                                                                  \
        QTRY_VERIFY_WITH_TIMEOUT(sim->reply(s_).has_value(), Timeout);                             \
        QCOMPARE(sim->reply(s_)->toHex(' '), QByteArray(expected).toHex(' '));                     \
    } while (false)

class TestExchangeSim : public QObject
{
    Q_OBJECT
private slots:
    void init() { sim = std::make_unique<SimSession>(); }
    void cleanup() { sim.reset(); }

    void numbersAndLog();
    void trapRecordClearedOverTheWire();
    void messageCountersPrinted();
    void otherObjectWrittenAndReadBack();
    void silentThenAnswered();
    void errorCommand();
    void corruptedReplyFailsCrc();
    void periodicTrap();
    void keepsRunningAfterEndOfInput();
    void givenDevice();
    void ends_data();
    void ends();
    void corruptCrcKeepsFraming_data();
    void corruptCrcKeepsFraming();

private:
    std::unique_ptr<SimSession> sim;
};

void TestExchangeSim::numbersAndLog()
{
    QVERIFY(sim->start({testScenario()}));
    const uint8_t seq = sim->send(bytes({0, 14, 0}));
    // 2 0 1 | 0 * # | 3 1, padded | S A D
    COMPARE_REPLY(seq, bytes({0, 14, 0, 2, 10, 1, 10, 11, 12, 3, 1, 0, 15, 16, 19}));
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("-> seq 1 ok 15 bytes"), Timeout);
    QVERIFY(sim->logged("<- seq 1 read 14[0]"));
    // Every log line after the PORT line starts with the time of day.
    const QRegularExpression timestamped(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
    for (const QString& line : sim->lines.mid(1))
        QVERIFY2(timestamped.match(line).hasMatch(), qPrintable(line));
}

void TestExchangeSim::trapRecordClearedOverTheWire()
{
    QVERIFY(sim->start({testScenario()}));
    const QByteArray clearing = bytes({1, 1, 2}) + QByteArray(251, '\0');

    // Texts travel in Windows-1250: "Š" is 0x8A.
    COMPARE_REPLY(sim->send(bytes({0, 1, 2})),
                  bytes({0, 1, 2, 'L'}) + "jan\nPorucha\n\x8Akoda na lince 21");
    sim->command(QByteArrayLiteral("trap 2 V eva|Ahoj|T\xC4\x9Blo"));
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("TRAP queued at 2 (2 queued)"), Timeout);

    COMPARE_REPLY(sim->send(clearing), bytes({0, 1, 2}));
    COMPARE_REPLY(sim->send(bytes({0, 1, 2})), bytes({0, 1, 2, 'V'}) + "eva\nAhoj\nT\xEClo");
    COMPARE_REPLY(sim->send(clearing), bytes({0, 1, 2}));
    COMPARE_REPLY(sim->send(bytes({0, 1, 2})), bytes({0, 1, 2, 0}));
}

void TestExchangeSim::messageCountersPrinted()
{
    QVERIFY(sim->start({testScenario()}));
    const QByteArray write = bytes({1, 17, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0xEE, 1, 0, 0, 0, 0, 0, 3});
    COMPARE_REPLY(sim->send(write), bytes({0, 17, 0}));
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("counters SAD: 0 0 0 3"), Timeout);
    QVERIFY(sim->logged("counters 201: 1 0 2 0"));
    QVERIFY(sim->logged("counters 0*#: 0 0 0 0"));
    QVERIFY(sim->logged("counters 31: 238 1 0 0"));
    COMPARE_REPLY(sim->send(bytes({0, 17, 0})), bytes({0, 17, 0}) + write.mid(3));
}

void TestExchangeSim::otherObjectWrittenAndReadBack()
{
    QVERIFY(sim->start({testScenario()}));
    // Sequence byte and data full of the bytes that framing doubles or looks for.
    COMPARE_REPLY(sim->sendWithSeq(0xEE, bytes({1, 30, 5, 0xEE, 0x23, 0xEE, 0xEE, 0})),
                  bytes({0, 30, 5}));
    COMPARE_REPLY(sim->send(bytes({0, 30, 5})), bytes({0, 30, 5, 0xEE, 0x23, 0xEE, 0xEE, 0}));
    COMPARE_REPLY(sim->send(bytes({0, 30, 4})), bytes({0, 30, 4, 30, 4, 0xEE, 0x23}));
}

void TestExchangeSim::silentThenAnswered()
{
    QVERIFY(sim->start({testScenario()}));
    sim->command("silent on");
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("silent on"), Timeout);
    const uint8_t unanswered = sim->send(bytes({0, 14, 0}));
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("<- seq 1 read 14[0] (silent: no answer)"), Timeout);

    sim->command("silent off");
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("silent off"), Timeout);
    COMPARE_REPLY(sim->send(bytes({0, 22, 0})), bytes({0, 22, 0, 0, 1, 2, 0}));
    // The line keeps order: a reply to the first request would have come before this one.
    QVERIFY(!sim->reply(unanswered));
    QCOMPARE(sim->frames.size(), 1);
}

void TestExchangeSim::errorCommand()
{
    QVERIFY(sim->start({testScenario(), QStringLiteral("--error"), QStringLiteral("30=9")}));
    sim->command("error 14 7");
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("object 14 answers with error 7"), Timeout);
    COMPARE_REPLY(sim->send(bytes({0, 14, 0})), bytes({7, 14, 0}));
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("-> seq 1 error 7 3 bytes"), Timeout);
    COMPARE_REPLY(sim->send(bytes({0, 30, 1})), bytes({9, 30, 1}));
    COMPARE_REPLY(sim->send(bytes({0, 23, 0})), bytes({4, 23, 0})); // from the scenario

    sim->command("error 14 0");
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("object 14 answers normally"), Timeout);
    const uint8_t seq = sim->send(bytes({0, 14, 0}));
    QTRY_VERIFY_WITH_TIMEOUT(sim->reply(seq).has_value(), Timeout);
    QCOMPARE(sim->reply(seq)->left(6), bytes({0, 14, 0, 2, 10, 1}));
}

void TestExchangeSim::corruptedReplyFailsCrc()
{
    QVERIFY(sim->start({testScenario()}));
    sim->command("corrupt");
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("the next reply frame gets a wrong CRC"), Timeout);
    const uint8_t spoiled = sim->send(bytes({0, 22, 0}));
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("-> seq 1 ok 7 bytes (CRC corrupted)"), Timeout);

    // Only the next reply is spoiled.
    COMPARE_REPLY(sim->send(bytes({0, 22, 0})), bytes({0, 22, 0, 0, 1, 2, 0}));
    QVERIFY(!sim->reply(spoiled));
    QCOMPARE(sim->frames.size(), 1);
    // The spoiled frame did arrive, as long as the good one.
    QCOMPARE(sim->raw.size(), 2 * encodeFrame(2, bytes({0, 22, 0, 0, 1, 2, 0})).size());
}

void TestExchangeSim::periodicTrap()
{
    QVERIFY(sim->start({testScenario(), QStringLiteral("--trap-interval"), QStringLiteral("1")}));
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("TRAP raised at 3"), Timeout);
    // The scenario's texts are used in turn and numbered.
    COMPARE_REPLY(sim->send(bytes({0, 1, 3})),
                  bytes({0, 1, 3, 'Q'}) + "777123456\nTest\nprvn\xED (1)");
}

void TestExchangeSim::keepsRunningAfterEndOfInput()
{
    QVERIFY(sim->start({testScenario()}));
    sim->command("delay 50");
    sim->process.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(sim->logged("delay 50 ms"), Timeout);
    COMPARE_REPLY(sim->send(bytes({0, 22, 0})), bytes({0, 22, 0, 0, 1, 2, 0}));
    QCOMPARE(sim->process.state(), QProcess::Running);
}

void TestExchangeSim::givenDevice()
{
    // A pair of our own: the simulator gets the slave, we keep the master.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(master >= 0);
    QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    QVERIFY(sim->start({testScenario(), QStringLiteral("--device"), slave}, master));
    QCOMPARE(sim->port, slave);
    COMPARE_REPLY(sim->send(bytes({0, 22, 0})), bytes({0, 22, 0, 0, 1, 2, 0}));
}

void TestExchangeSim::ends_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("SIGTERM") << "SIGTERM";
    QTest::newRow("SIGINT") << "SIGINT";
    QTest::newRow("quit command") << "quit";
}

void TestExchangeSim::ends()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("exchange"));
    QVERIFY(sim->start({testScenario(), QStringLiteral("--link"), link}));
    QCOMPARE(QFile::symLinkTarget(link), sim->port);

    if (how == QLatin1String("quit"))
        sim->command("quit");
    else
        ::kill(pid_t(sim->process.processId()), how == QLatin1String("SIGTERM") ? SIGTERM : SIGINT);
    QTRY_COMPARE_WITH_TIMEOUT(sim->process.state(), QProcess::NotRunning, Timeout);
    QCOMPARE(sim->process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim->process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestExchangeSim::corruptCrcKeepsFraming_data()
{
    QTest::addColumn<int>("lastCrcByte");
    QTest::newRow("plain byte") << 0x12;
    QTest::newRow("0xEE, doubled on the wire") << 0xEE;
    QTest::newRow("0xEF, flips to a doubled 0xEE") << 0xEF;
}

void TestExchangeSim::corruptCrcKeepsFraming()
{
    QFETCH(int, lastCrcByte);
    // Search a payload whose CRC ends in the byte wanted: the last byte on the wire.
    const auto lastByte = [](const QByteArray& p) {
        return int(crc32Of(QByteArray(1, '\x01') + p) >> 24);
    };
    QByteArray payload;
    for (int i = 0; i < 0x10000; ++i) {
        payload = bytes({0, 30, 0, i & 0xFF, i >> 8});
        if (lastByte(payload) == lastCrcByte)
            break;
    }
    QCOMPARE(lastByte(payload), lastCrcByte);

    const QByteArray good = encodeFrame(1, payload);
    const QByteArray spoiled = corruptCrc(good);
    QCOMPARE(spoiled.size() - good.size(), lastCrcByte == 0xEE ? -1 : lastCrcByte == 0xEF ? 1 : 0);
    FrameReceiver receiver;
    // The spoiled frame yields nothing and leaves the receiver ready for the next one.
    const QList<Frame> frames = receiver.feed(spoiled + encodeFrame(2, payload));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().seq, uint8_t(2));
}

QTEST_GUILESS_MAIN(TestExchangeSim)
#include "tst_exchangesim.moc"
