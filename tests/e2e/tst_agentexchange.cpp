#include "common/agentprocess.h"
#include "common/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr int Slow = 20000; // generous: the machines are shared

// The agent, the exchange simulator on a pseudo-terminal and our mail library on a
// mail store in a temporary folder, with short timers.
struct Demo
{
    QTemporaryDir dir;
    ToolProcess exchange{QStringLiteral("exchange-sim")};
    ToolProcess agent{QStringLiteral("sarvik-agent")};
    QString store = dir.filePath(QStringLiteral("store"));
    quint16 port = 0;

    void startExchange()
    {
        exchange.start({testDataDir() + QStringLiteral("/exchange.ini"), QStringLiteral("--link"),
                        dir.filePath(QStringLiteral("exchange"))});
        QTRY_VERIFY_WITH_TIMEOUT(exchange.has(QStringLiteral("PORT ")), Slow);
        for (const char* box : {"201", "202", "310"})
            for (const char* sub : {"new", "cur", "tmp"})
                QVERIFY(QDir().mkpath(store + QLatin1Char('/') + box + QLatin1Char('/') + sub));
    }

    void writeIni(const QByteArray& extra = {})
    {
        QFile ini(dir.filePath(QStringLiteral("Agent.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Set]\nPort=" + dir.filePath(QStringLiteral("exchange")).toLocal8Bit() +
                  ":9600,N,8,1\nMaxCache=110\n"
                  "[Log]\nCom_In=1\nCom_PureIn=1\nTCP/IP_In=1\nTCP/IP_Out=1\n"
                  "[Timer]\nInterval=20\nMSGInterval=300\nTrapInterval=300\nANInterval=200\n"
                  "MaxTick=5\nMaxError=2\nMaxErrorTick=10\n"
                  "[M602]\nCestaKeKonfiguraciMail602=" +
                  store.toLocal8Bit() +
                  "\n[Trapy]\nAdresaPrijemce=201\nTypAdresyPrijemce=L\nSubject=Ustredna\n"
                  "ZpravaComOn=Spojeni obnoveno\nZpravaComOff=Spojeni ztraceno\n" +
                  extra);
    }

    void startAgent(quint16 listenPort = 0)
    {
        port = listenPort ? listenPort : freePort();
        agent.start({QStringLiteral("--headless"), QStringLiteral("--config"),
                     dir.filePath(QStringLiteral("Agent.ini")), QStringLiteral("--listen-port"),
                     QString::number(port)});
    }

    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    // Files of a mailbox folder holding text.
    QStringList filesWith(const QString& folder, const QByteArray& text) const
    {
        QStringList found;
        const QDir d(store + QLatin1Char('/') + folder);
        for (const QString& name : d.entryList(QDir::Files))
            if (fileBytes(d.filePath(name)).contains(text))
                found << name;
        return found;
    }
};

bool endsWithLine(const QStringList& lines, const char* text)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const QString& l) { return l.endsWith(QLatin1String(text)); });
}

// Sends a request and returns the reply, asking again while the link is busy.
QByteArray ask(QTcpSocket& client, const QByteArray& request)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        client.write(request);
        if (!client.waitForReadyRead(Slow))
            return {};
        QByteArray reply = client.readAll();
        if (!(reply.size() == 2 && uint8_t(reply[0]) == 255))
            return reply;
        QTest::qWait(20); // busy: the agent's own polls hold the link
    }
    return {};
}
} // namespace

class TstAgentExchange : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pollsForwardsTrapsWritesCountersAndResetsThem()
    {
        Demo demo;
        demo.startExchange();
        demo.writeIni();
        demo.startAgent();

        // The numbers first, with sequence 1; the polls only after them.
        QTRY_VERIFY_WITH_TIMEOUT(
            demo.agent.has(QStringLiteral("<COM Načtena čísla vnitřních linek")), Slow);
        QVERIFY(demo.exchange.lines.filter(QStringLiteral("<- seq"))
                    .first()
                    .contains(QStringLiteral("<- seq 1 read 14[0]")));
        QVERIFY(demo.agent.has(QStringLiteral("-OK- Inicializace Mail602")));
        QTRY_VERIFY_WITH_TIMEOUT(demo.exchange.has(QStringLiteral("read 22[0]")), Slow);

        // The waiting TRAP is mailed to mailbox 201 and cleared on the exchange.
        QTRY_VERIFY_WITH_TIMEOUT(demo.agent.has(QStringLiteral(">602 Mail: Porucha to 201")), Slow);
        QVERIFY(demo.agent.has(QStringLiteral("<COM TRAP: ")));
        QTRY_VERIFY_WITH_TIMEOUT(demo.exchange.has(QStringLiteral("TRAP 0 cleared")), Slow);
        QTRY_VERIFY_WITH_TIMEOUT(
            !demo.filesWith(QStringLiteral("201/new"), "Linka 21 mimo provoz").isEmpty(), Slow);

        // The counters follow the mailboxes: the TRAP mail in 201, then a file in 310.
        QTRY_VERIFY_WITH_TIMEOUT(demo.exchange.has(QStringLiteral("counters 201: 1 0 0 0")), Slow);
        const QString message = demo.store + QStringLiteral("/310/new/m1");
        {
            QFile f(message);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("X-Kind: M\n\nhello\n");
        }
        QTRY_VERIFY_WITH_TIMEOUT(demo.exchange.has(QStringLiteral("counters 310: 1 0 0 0")), Slow);
        const qsizetype before = demo.exchange.lines.size();
        QVERIFY(QFile::remove(message));
        QTRY_VERIFY_WITH_TIMEOUT(
            endsWithLine(demo.exchange.lines.mid(before), "counters 310: 0 0 0 0"), Slow);

        // Shutdown resets every counter on the exchange.
        const qsizetype atStop = demo.exchange.lines.size();
        QCOMPARE(demo.agent.terminate(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            endsWithLine(demo.exchange.lines.mid(atStop), "counters 201: 0 0 0 0"), Slow);
    }

    void silentExchangeIsAnnouncedOnceAndRestored()
    {
        Demo demo;
        demo.startExchange();
        demo.writeIni();
        demo.startAgent();
        QTRY_VERIFY_WITH_TIMEOUT(demo.agent.has(QStringLiteral("Načtena čísla vnitřních linek")),
                                 Slow);

        demo.exchange.write("silent on");
        QTRY_VERIFY_WITH_TIMEOUT(demo.agent.has(QStringLiteral("!Err Ústředna není dostupná")),
                                 Slow);
        // Let several more pauses pass without an answer: none is announced again.
        const qsizetype mark = demo.exchange.lines.size();
        QTRY_VERIFY_WITH_TIMEOUT(
            demo.exchange.lines.mid(mark).filter(QStringLiteral("silent: no answer")).size() >= 8,
            Slow);
        demo.exchange.write("silent off");
        QTRY_VERIFY_WITH_TIMEOUT(
            demo.agent.has(QStringLiteral("-OK- Obnova komunikace s ústřednou")), Slow);
        QCOMPARE(demo.agent.matching(QStringLiteral("Ústředna není dostupná")).size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(
            demo.agent.matching(QStringLiteral("Načtena čísla vnitřních linek")).size() >= 2, Slow);

        // The two status messages went to mailbox 201.
        QTRY_VERIFY_WITH_TIMEOUT(
            !demo.filesWith(QStringLiteral("201/new"), "Spojeni ztraceno").isEmpty(), Slow);
        QTRY_VERIFY_WITH_TIMEOUT(
            !demo.filesWith(QStringLiteral("201/new"), "Spojeni obnoveno").isEmpty(), Slow);
        QVERIFY(demo.agent.has(QStringLiteral("Mail 201 > Spojeni ztraceno")));
        QCOMPARE(demo.agent.terminate(), 0);
    }

    void clientsReadAndWriteThroughTheGateway()
    {
        Demo demo;
        demo.startExchange();
        demo.writeIni();
        demo.startAgent();
        QTRY_VERIFY_WITH_TIMEOUT(demo.agent.has(QStringLiteral("-OK- Otevření socketu TCP/IP")),
                                 Slow);
        QTRY_VERIFY_WITH_TIMEOUT(demo.agent.has(QStringLiteral("Načtena čísla vnitřních linek")),
                                 Slow);

        QTcpSocket a, b;
        a.connectToHost(QHostAddress::LocalHost, demo.port);
        b.connectToHost(QHostAddress::LocalHost, demo.port);
        QVERIFY(a.waitForConnected(Slow) && b.waitForConnected(Slow));

        // Each client writes its own object and reads it back unchanged.
        QCOMPARE(ask(a, QByteArray("\x01\x05\x02\xaa\xee", 5)), QByteArray("\x00\x05\x02", 3));
        QCOMPARE(ask(b, QByteArray("\x01\x06\x02\xbb", 4)), QByteArray("\x00\x06\x02", 3));
        QCOMPARE(ask(a, QByteArray("\x00\x05\x02", 3)), QByteArray("\x00\x05\x02\xaa\xee", 5));
        QCOMPARE(ask(b, QByteArray("\x00\x06\x02", 3)), QByteArray("\x00\x06\x02\xbb", 4));

        // A read of a long-lived object is answered from the cache the second time.
        const QByteArray global = ask(a, QByteArray("\x00\x00\x01", 3));
        QVERIFY(!global.isEmpty());
        QCOMPARE(ask(b, QByteArray("\x00\x00\x01", 3)), global);
        QTRY_VERIFY_WITH_TIMEOUT(demo.agent.has(QStringLiteral("<CCH Global[1]")), Slow);
        QCOMPARE(demo.agent.terminate(), 0);
    }

    void takenListeningPortLeavesTheSerialSideWorking()
    {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        Demo demo;
        demo.startExchange();
        demo.writeIni();
        demo.startAgent(squatter.serverPort());
        QTRY_VERIFY_WITH_TIMEOUT(
            demo.agent.has(QStringLiteral("!Err Chyba otevření socketu TCP/IP")), Slow);
        QVERIFY(
            demo.agent.lines.at(1).contains(QStringLiteral("!Err Chyba otevření socketu TCP/IP")));
        QTRY_VERIFY_WITH_TIMEOUT(demo.exchange.has(QStringLiteral("read 22[0]")), Slow);
        QCOMPARE(demo.agent.terminate(), 0);
    }
};

QTEST_GUILESS_MAIN(TstAgentExchange)
#include "tst_agentexchange.moc"
