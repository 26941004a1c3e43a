#include "agent/eventlog.h"
#include "agent/extensionnumbers.h"
#include "agent/linkstate.h"
#include "agent/maintick.h"
#include "common/fakeport.h"
#include "data/tdata.h"
#include "link/packetdispatcher.h"
#include "link/packetsender.h"

#include <QTest>
#include <stdexcept>

namespace {
const QByteArray NumbersQuery("\x00\x0e\x00", 3);
const QByteArray LineStatusQuery("\x00\x16\x00", 3);
const QByteArray LineStatusReply("\x00\x16\x00\x01", 4);

// The tick, the dispatcher and the numbers loading wired as the engine wires them,
// over a port that records what is written.
struct Rig
{
    EventLog log;
    LinkControl link;
    FakePort port;
    PacketSender sender{log, port};
    TData data;
    int loaded = 0;
    int outages = 0;
    int restorations = 0;
    bool mailDue = false;
    ExtensionNumbers numbers{log, link, sender, data, [this] { ++loaded; }};
    MainTick tick{log,
                  link,
                  sender,
                  data,
                  numbers,
                  [this] { return port.open; },
                  MailHooks{[this](TData&) { return mailDue; }, [this] { ++outages; }}};
    PacketDispatcher dispatcher{log, link, sender};
    QStringList lines;

    Rig()
    {
        log.setClock([] { return QTime(12, 0, 0); });
        QObject::connect(&log, &EventLog::lineWritten,
                         [this](const QString& l) { lines << l.mid(10); });
        dispatcher.setRoute(pkNumbersQuery, [this](const PendingRequest&, QByteArray& p,
                                                   const QString&) { numbers.OnNumbersReply(p); });
        dispatcher.setRestorationNotice([this] { ++restorations; });
        link.actions.PostAction(LoadNumbers);
    }

    // Ticks n times; returns the tick numbers (1-based) at which a frame was written.
    QList<int> ticks(int n)
    {
        QList<int> writes;
        for (int i = 1; i <= n; ++i) {
            const qsizetype before = port.frames.size();
            tick.Timer3Timer();
            if (port.frames.size() != before)
                writes << i;
        }
        return writes;
    }
    void reply(uint8_t seq, const QByteArray& payload) { dispatcher.DispatchPacket(seq, payload); }
    void useLineStatusOnly()
    {
        link.actions = ActionQueue{};
        link.actions.PostAction(QueryLineStatus);
    }
};
} // namespace

class TstMainTick : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startAsksForNumbersAndPollsOnlyAfterGoodReply()
    {
        Rig rig;
        rig.tick.Timer3Timer();
        QCOMPARE(rig.port.frames.size(), 1);
        QCOMPARE(rig.port.frames[0].seq, uint8_t(1));
        QCOMPARE(rig.port.frames[0].payload, NumbersQuery);
        QCOMPARE(rig.lines, QStringList{"<LOC Načtení čísel vnitřních linek"});
        QCOMPARE(rig.link.state, LinkState::Waiting);

        rig.reply(1, QByteArray("\x07\x0e\x00", 3));
        QCOMPARE(rig.loaded, 0);
        QCOMPARE(rig.lines.last(), QStringLiteral("<COM Chyba načtení čísel vnitřních linek:7"));
        QCOMPARE(rig.link.state, LinkState::Idle);

        rig.link.actions.PostAction(LoadNumbers);
        rig.tick.Timer3Timer();
        rig.reply(2, QByteArray("\x00\x0e\x00", 3)); // header only: no numbers
        QCOMPARE(rig.loaded, 0);
        QCOMPARE(rig.lines.last(), QStringLiteral("<COM Chyba načtení čísel vnitřních linek:0"));

        rig.link.actions.PostAction(LoadNumbers);
        rig.tick.Timer3Timer();
        rig.reply(3, QByteArray("\x00\x0e\x00\x02\x0a\x00\x01\x02\x03", 9));
        QCOMPARE(rig.loaded, 1);
        QCOMPARE(rig.lines.last(), QStringLiteral("<COM Načtena čísla vnitřních linek"));
        QCOMPARE(int(rig.data.NumberCount), 2);
        QCOMPARE(rig.data.FindNumber("123"), uint8_t(1));
    }

    void closedPortCountsNothing()
    {
        Rig rig;
        rig.port.open = false;
        QVERIFY(rig.ticks(50).isEmpty());
        QCOMPARE(rig.link.state, LinkState::Idle);
        QCOMPARE(rig.link.actions.ScheduledAction, uint8_t(LoadNumbers));
    }

    void retryPeriod_data()
    {
        QTest::addColumn<int>("maxTick");
        QTest::addColumn<QList<int>>("writes");
        QTest::newRow("default 9: every 10 ticks") << 9 << QList<int>{1, 11, 21};
        QTest::newRow("1: first tick after a write times out")
            << 1 << QList<int>{1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21};
        QTest::newRow("0: first tick after a write times out")
            << 0 << QList<int>{1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21};
    }
    void retryPeriod()
    {
        QFETCH(int, maxTick);
        QFETCH(QList<int>, writes);
        Rig rig;
        rig.link.MaxTick = maxTick;
        rig.link.MaxError = 1000;
        QCOMPARE(rig.ticks(21), writes);
        for (const auto& f : rig.port.frames)
            QCOMPARE(f.payload, NumbersQuery); // the same action, each time a new number
        QCOMPARE(rig.port.frames.last().seq, uint8_t(writes.size()));
    }

    void silentExchangePausesAnnouncesOnceAndRestores()
    {
        Rig rig;
        rig.link.MaxErrorTick = 20;
        rig.useLineStatusOnly();

        // Six writes ten ticks apart; the sixth time-out (tick 60) starts the pause.
        QCOMPARE(rig.ticks(60), (QList<int>{1, 11, 21, 31, 41, 51}));
        QCOMPARE(rig.link.state, LinkState::Unreachable);
        QCOMPARE(rig.lines.filter("!Err Ústředna není dostupná").size(), 1);
        QCOMPARE(rig.outages, 1);

        // Silence for the pause, then the timed-out action again; LoadNumbers waits.
        QCOMPARE(rig.ticks(20), QList<int>{});
        QCOMPARE(rig.link.state, LinkState::Idle);
        QVERIFY(rig.link.RestorePending);
        QCOMPARE(rig.ticks(1), QList<int>{1});
        QCOMPARE(rig.port.frames.last().payload, LineStatusQuery);

        // The next pause goes unannounced.
        rig.ticks(60);
        QCOMPARE(rig.link.state, LinkState::Unreachable);
        QCOMPARE(rig.lines.filter("Ústředna není dostupná").size(), 1);
        QCOMPARE(rig.outages, 1);

        // Any answer now is the restoration; the numbers are asked for next.
        rig.ticks(20);
        rig.ticks(1);
        rig.reply(rig.port.frames.last().seq, LineStatusReply);
        QCOMPARE(rig.lines.last(), QStringLiteral("-OK- Obnova komunikace s ústřednou"));
        QCOMPARE(rig.restorations, 1);
        QVERIFY(!rig.link.RestorePending);
        QCOMPARE(rig.ticks(1), QList<int>{1});
        QCOMPARE(rig.port.frames.last().payload, NumbersQuery);
    }

    void lateReplyEndsTheWaitAndUnmatchedFrameChangesNothing()
    {
        Rig rig;
        rig.useLineStatusOnly();
        rig.ticks(11); // seq 1 timed out at tick 10, seq 2 written at tick 11
        QCOMPARE(rig.port.frames.size(), 2);
        QCOMPARE(rig.link.state, LinkState::Waiting);

        rig.reply(77, LineStatusReply); // answers nothing we sent
        QCOMPARE(rig.link.state, LinkState::Waiting);
        QCOMPARE(rig.link.actions.ScheduledAction, uint8_t(QueryLineStatus));
        QVERIFY(rig.lines.isEmpty());

        rig.link.actions.PostAction(QueryTrap);
        rig.reply(1, LineStatusReply); // late, but its record is still kept
        QCOMPARE(rig.link.state, LinkState::Idle);
        QCOMPARE(rig.link.actions.ScheduledAction, uint8_t(QueryTrap));
        QCOMPARE(rig.sender.table().count(), 1); // seq 2 still awaited
    }

    void unmatchedFrameStillRestores()
    {
        Rig rig;
        rig.link.RestorePending = true;
        rig.link.state = LinkState::Waiting;
        rig.reply(200, LineStatusReply);
        QCOMPARE(rig.lines, QStringList{"-OK- Obnova komunikace s ústřednou"});
        QCOMPARE(rig.link.state, LinkState::Waiting);
        QCOMPARE(rig.restorations, 1);
    }

    void mailboxStep_data()
    {
        QTest::addColumn<bool>("due");
        QTest::addColumn<bool>("extent");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("written");
        QTest::newRow("nothing due, quiet") << false << false << QStringList{} << false;
        QTest::newRow("nothing due, extended")
            << false << true << QStringList{"<602 Nejsou změny ve schránkách"} << false;
        QTest::newRow("due") << true << false << QStringList{"<602 Změny ve schránkách"} << true;
        QTest::newRow("due, extended")
            << true << true << QStringList{"<602 Zápis Zprávy[0]0 0 0 0 "} << true;
    }
    void mailboxStep()
    {
        QFETCH(bool, due);
        QFETCH(bool, extent);
        QFETCH(QStringList, lines);
        QFETCH(bool, written);
        Rig rig;
        rig.data.FillNumbers(QByteArray("\x00\x0e\x00\x02\x0a\x00", 6));
        rig.link.actions = ActionQueue{};
        rig.link.actions.PostAction(ReadMailboxes);
        rig.link.actions.PostAction(QueryTrap);
        rig.mailDue = due;
        rig.log.switches().Extent = extent;
        rig.tick.Timer3Timer();
        QCOMPARE(rig.lines, lines);
        QCOMPARE(rig.port.frames.size(), written ? 1 : 0);
        if (written) {
            QCOMPARE(rig.port.frames[0].payload, QByteArray("\x01\x11\x00\x00\x00\x00\x00", 7));
            QCOMPARE(rig.link.state, LinkState::Waiting);
            QCOMPARE(rig.sender.table().count(), 1);
        } else {
            QCOMPARE(rig.link.state, LinkState::Idle);
            QCOMPARE(rig.link.actions.ScheduledAction, uint8_t(QueryTrap));
        }
    }

    void failingRouteStillEndsTheWait()
    {
        Rig rig;
        rig.dispatcher.setRoute(pkLineStatus,
                                [](const PendingRequest&, QByteArray&, const QString&) {
                                    throw std::runtime_error("route failed");
                                });
        rig.useLineStatusOnly();
        rig.link.actions.PostAction(QueryTrap);
        rig.tick.Timer3Timer();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, rig.reply(1, LineStatusReply));
        QCOMPARE(rig.link.state, LinkState::Idle);
        QCOMPARE(rig.link.actions.ScheduledAction, uint8_t(QueryTrap));
        QCOMPARE(rig.sender.table().count(), 0);
    }

    void errorInTickDoesNotLeaveGuardSet()
    {
        struct ThrowingPort : FakePort
        {
            int failures = 1;
            void WritePacket(uint8_t seq, QByteArrayView payload) override
            {
                if (failures-- > 0)
                    throw std::runtime_error("Write error (Error: 5) ");
                FakePort::WritePacket(seq, payload);
            }
        } port;
        EventLog log;
        LinkControl link;
        PacketSender sender(log, port);
        TData data;
        ExtensionNumbers numbers(log, link, sender, data, {});
        MainTick tick(log, link, sender, data, numbers, [] { return true; }, {});
        link.actions.PostAction(QueryLineStatus);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, tick.Timer3Timer());
        QCOMPARE(sender.PacketCounter(), uint8_t(1)); // a failed write does not use a number
        link.state = LinkState::Idle;
        tick.Timer3Timer();
        QCOMPARE(port.frames.size(), 1);
        QCOMPARE(port.frames[0].seq, uint8_t(1));
    }
};

QTEST_GUILESS_MAIN(TstMainTick)
#include "tst_maintick.moc"
