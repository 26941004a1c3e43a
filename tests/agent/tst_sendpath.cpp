#include "agent/eventlog.h"
#include "common/fakeport.h"
#include "link/packetsender.h"

#include <QTest>

namespace {
struct SendRig
{
    EventLog log;
    FakePort port;
    PacketSender sender{log, port};
    QStringList lines;
    SendRig()
    {
        QObject::connect(&log, &EventLog::lineWritten,
                         [this](const QString& l) { lines << l.mid(10); });
    }
};
const QByteArray Query("\x00\x16\x00", 3);
} // namespace

class TstSendPath : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void statusAndLogLine_data()
    {
        QTest::addColumn<bool>("locOut");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("status only") << false << QStringList{};
        QTest::newRow("logged with Com_LocOut") << true << QStringList{">COM Dotaz na stav linek"};
    }
    void statusAndLogLine()
    {
        QFETCH(bool, locOut);
        QFETCH(QStringList, lines);
        SendRig r;
        r.log.switches().Com_LocOut = locOut;
        r.sender.SendPacket(">COM", "Dotaz na stav linek", Query);
        QCOMPARE(r.log.status(), QStringLiteral(">COM     Dotaz na stav linek"));
        QCOMPARE(r.lines, lines);
    }

    void onlyWrittenPacketsAdvanceTheCounter()
    {
        SendRig r;
        r.port.open = false;
        r.sender.SendPacket(">COM", "x", Query);
        QVERIFY(r.port.frames.isEmpty());
        QCOMPARE(r.sender.PacketCounter(), uint8_t(1));
        r.port.open = true;
        r.sender.SendPacket(">COM", "Nulování obsahu schránek", {}); // empty: nothing written
        QCOMPARE(r.log.status(), QStringLiteral(">COM     Nulování obsahu schránek"));
        QVERIFY(r.port.frames.isEmpty());
        QCOMPARE(r.sender.PacketCounter(), uint8_t(1));

        for (int i = 0; i < 256; ++i)
            r.sender.SendPacket(">COM", "x", Query);
        QCOMPARE(r.port.frames[0].seq, uint8_t(1));
        QCOMPARE(r.port.frames[254].seq, uint8_t(255));
        QCOMPARE(r.port.frames[255].seq, uint8_t(0)); // 255 is followed by 0
        QCOMPARE(r.port.frames[255].payload, Query);
    }

    void pendingRecordsByCounter()
    {
        SendRig r;
        r.port.open = false;
        // Two stores with no packet written between them share a key: the newer wins.
        r.sender.StorePendingRequest(4, QByteArray("\x00\x01\x00", 3));
        r.sender.StorePendingRequest(6, Query);
        QCOMPARE(r.sender.table().count(), 1);
        auto record = r.sender.TakePendingRequest(1);
        QVERIFY(record);
        QCOMPARE(int(record->Kind), 6);
        QCOMPARE(int(record->Op), 0);
        QVERIFY(!r.sender.TakePendingRequest(1)); // taken once
        QVERIFY(!r.sender.TakePendingRequest(2));

        // A long client request is sent whole; its record keeps what fits.
        r.port.open = true;
        const QByteArray longRequest(600, '\x01');
        r.sender.StorePendingRequest(1, longRequest, 77);
        r.sender.SendPacket(">COM", "x", longRequest);
        QCOMPARE(r.port.frames.last().payload, longRequest);
        record = r.sender.TakePendingRequest(1);
        QCOMPARE(record->Data.size(), 256);
        QCOMPARE(record->DataLength, 600);
        QCOMPARE(record->ClientHandle, 77);
    }
};

QTEST_GUILESS_MAIN(TstSendPath)
#include "tst_sendpath.moc"
