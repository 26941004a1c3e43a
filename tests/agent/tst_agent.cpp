#include "agent/agent.h"
#include "common/pty.h"
#include "link/framecodec.h"
#include "link/packetsender.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using sarvik::test::Pty;

namespace {
constexpr int Slow = 15000;

// The engine in this process, on a pseudo-terminal, with no mail library.
struct Engine
{
    QTemporaryDir dir;
    Pty pty;
    std::unique_ptr<Agent> agent;
    QStringList lines;
    QByteArray wire; // what the agent wrote to the exchange

    explicit Engine(const QByteArray& extraSet = {}, const QByteArray& interval = "20")
    {
        QFile ini(dir.filePath(QStringLiteral("Agent.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[Set]\nPort=" + pty.slavePath().toLocal8Bit() + ":9600,N,8,1\n" + extraSet +
                      "[Timer]\nInterval=" + interval +
                      "\nTrapInterval=100\nANInterval=100\nMSGInterval=100\n");
        AgentOptions options;
        options.configPath = ini.fileName();
        options.listenPort = 0;
        options.mailLibrary = dir.filePath(QStringLiteral("no-such-library.so"));
        agent = std::make_unique<Agent>(options);
        QObject::connect(&agent->log(), &EventLog::lineWritten,
                         [this](const QString& l) { lines << l.mid(10); });
    }

    // Collects what the agent wrote so far, without blocking.
    const QByteArray& drain()
    {
        wire += pty.readMaster(-1, 0);
        return wire;
    }
};
} // namespace

class TstAgent : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startUpOrderAndPollingAfterNumbers()
    {
        Engine e;
        QVERIFY(e.pty.isValid());
        e.agent->FormCreate();
        QCOMPARE(e.lines.mid(0, 4),
                 (QStringList{"---- Start Sarvik Agent ----", "-OK- Otevření socketu TCP/IP",
                              "-OK- Otevření sériového portu " + e.pty.slavePath() + ":9600,N,8,1",
                              "!Err Chyba při inicializaci Mail602"}));
        QVERIFY(e.agent->timer(3).isActive());
        for (int n : {1, 2, 4})
            QVERIFY(!e.agent->timer(n).isActive());

        // The first tick asks for the numbers with sequence 1.
        const QByteArray query = encodeFrame(1, QByteArray("\x00\x0e\x00", 3));
        QTRY_COMPARE_WITH_TIMEOUT(e.drain(), query, Slow);

        // The reply, followed in the same write by a stray frame, reaches the dispatcher.
        QVERIFY(e.pty.writeMaster(encodeFrame(1, QByteArray("\x00\x0e\x00\x02\x0a\x00", 6)) +
                                  encodeFrame(99, QByteArray("\x00\x16\x00", 3))));
        QTRY_VERIFY_WITH_TIMEOUT(e.lines.contains("<COM Načtena čísla vnitřních linek"), Slow);
        QVERIFY(e.agent->timer(2).isActive());
        QVERIFY(e.agent->timer(4).isActive());
        QVERIFY(!e.agent->timer(1).isActive()); // mailboxes are polled only with a mail library
        QCOMPARE(e.agent->link().state, LinkState::Idle);

        e.agent->Zastavit1Click();
        QVERIFY(!e.agent->timer(3).isActive());
    }

    void zeroIntervalNeverTicks()
    {
        Engine e({}, "0");
        e.agent->FormCreate();
        QVERIFY(!e.agent->timer(3).isActive()); // a zero-period QTimer would fire nonstop
        QTest::qWait(200);
        QVERIFY(e.drain().isEmpty());
    }

    void shutdownResetsCountersOnTheExchange()
    {
        Engine e("[Log]\nCom_LocOut=1\n");
        e.agent->FormCreate();
        QTRY_VERIFY_WITH_TIMEOUT(!e.drain().isEmpty(), Slow);
        QVERIFY(e.pty.writeMaster(encodeFrame(1, QByteArray("\x00\x0e\x00\x02\x0a\x00", 6))));
        QTRY_VERIFY_WITH_TIMEOUT(e.lines.contains("<COM Načtena čísla vnitřních linek"), Slow);
        e.agent->Zastavit1Click();
        e.wire.clear();
        e.drain();
        e.wire.clear();

        const uint8_t seq = e.agent->sender()->PacketCounter();
        e.agent->FormDestroy();
        QCOMPARE(e.lines.last(), QStringLiteral(">COM Nulování obsahu schránek"));
        QCOMPARE(e.pty.readMaster(-1, 500),
                 encodeFrame(seq, QByteArray("\x01\x11\x00\x00\x00\x00\x00", 7)));
    }

    void lostDeviceIsLoggedOnceAndTheAgentRunsOn()
    {
        Engine e;
        e.agent->FormCreate();
        QTRY_VERIFY_WITH_TIMEOUT(!e.drain().isEmpty(), Slow);
        e.pty.closeMaster();
        e.pty.closeSlave();
        QTRY_VERIFY_WITH_TIMEOUT(!e.agent->commPack().IsOpen(), Slow);
        QTest::qWait(300); // ticks go on with the port closed: no further line
        QCOMPARE(e.lines.filter(QStringLiteral("!Err Ztráta sériového portu")).size(), 1);
        QVERIFY(e.agent->timer(3).isActive());
        e.agent->FormDestroy();
    }
};

QTEST_GUILESS_MAIN(TstAgent)
#include "tst_agent.moc"
