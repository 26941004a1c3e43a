// The packet-to-text decoder: the documented examples, the edge cases and the short
// packets, all through one table.

#include "common/bytes.h"
#include "data/tdata.h"

#include <QTest>

class TestPacketToText : public QObject
{
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
};

void TestPacketToText::decode_data()
{
    QTest::addColumn<bool>("reply");
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("op");
    QTest::addColumn<bool>("dump");
    QTest::addColumn<QString>("expected");

    const bool Req = false, Rep = true;
    // For a request the caller passes byte 0 of the packet itself as op.
    auto row = [](const char* name, bool reply, const QByteArray& packet, int op, bool dump,
                  const QString& expected) {
        QTest::newRow(name) << reply << packet << op << dump << expected;
    };

    // The documented examples.
    row("example read request", Req, bytes({0, 14, 0}), 0, false, u"Čtení Čísla linek[0]"_qs);
    row("example Cmd request", Req, bytes({7, 30, 2}), 7, false, u"Cmd: 7 Str:30[2]"_qs);
    row("example Info request", Req, bytes({2, 5}), 2, false, u"Info"_qs);
    row("example read reply", Rep, bytes({0, 22, 0, 9}), 0, false, u"Stav linek[0]"_qs);
    row("example error reply", Rep, bytes({5, 14, 0}), 0, false, u"Čísla linek[0]Error 5: "_qs);
    row("example Info error reply", Rep, bytes({3}), 2, false, u"InfoError 3: "_qs);
    row("example write with dump", Req, bytes({1, 17, 0, 4, 6}), 1, true,
        u"Zápis Zprávy[0]4 6 "_qs);

    // Operation names in requests and replies.
    row("request op 3", Req, bytes({3, 1, 2}), 3, false, u"SaveEPROM"_qs);
    row("request op 4", Req, bytes({4}), 4, false, u"GetUCT"_qs);
    row("request op 5 no space", Req, bytes({5, 0, 0}), 5, false, u"RepUCT"_qs);
    row("reply to op 5 with space", Rep, bytes({0, 0, 0}), 5, false, u"RepUCT "_qs);
    row("reply to op 4 with space", Rep, bytes({0}), 4, false, u"GetUCT "_qs);
    row("reply to op 3", Rep, bytes({0, 9}), 3, false, u"SaveEPROM"_qs);
    row("reply to op 4 error", Rep, bytes({2}), 4, false, u"GetUCT Error 2: "_qs);
    row("request op 255", Req, bytes({255, 255, 255}), 255, false, u"Cmd: 255 Str:255[255]"_qs);
    row("reply to op 9 is decoded as a read", Rep, bytes({0, 1, 3}), 9, false, u"SMS[3]"_qs);

    // Object codes at the end of the table and past it.
    row("object 26 request", Req, bytes({0, 26, 4}), 0, false, u"Čtení SYSProvoz[4]"_qs);
    row("object 27 request", Req, bytes({1, 27, 4}), 1, false, u"Zápis Str:27[4]"_qs);
    row("object 26 reply", Rep, bytes({0, 26, 4}), 0, false, u"SYSProvoz[4]"_qs);
    row("object 27 reply", Rep, bytes({0, 27, 4}), 0, false, u"Str:27[4]"_qs);
    row("object 10 is H", Req, bytes({0, 10, 0}), 0, false, u"Čtení Oprávnění H[0]"_qs);

    // Replies of 2 and 1 bytes.
    row("2-byte reply", Rep, bytes({0, 14}), 0, false, u"Čísla linek"_qs);
    row("2-byte reply object 27", Rep, bytes({0, 27}), 0, false, u"Str:27"_qs);
    row("2-byte error reply", Rep, bytes({4, 22}), 1, false, u"Stav linekError 4: "_qs);
    row("1-byte reply", Rep, bytes({0}), 0, false, u""_qs);
    row("1-byte error reply", Rep, bytes({9}), 0, false, u"Error 9: "_qs);
    row("1-byte error reply 255", Rep, bytes({255}), 1, false, u"Error 255: "_qs);

    // Byte dump: after the header of each length, nothing for a header-only packet.
    row("dump header-only request", Req, bytes({0, 14, 0}), 0, true, u"Čtení Čísla linek[0]"_qs);
    row("dump header-only reply", Rep, bytes({0, 22, 0}), 0, true, u"Stav linek[0]"_qs);
    row("dump Info request", Req, bytes({2, 5, 200}), 2, true, u"Info5 200 "_qs);
    row("dump reply to op 5", Rep, bytes({0, 7}), 5, true, u"RepUCT 7 "_qs);
    row("dump 2-byte reply", Rep, bytes({0, 14}), 0, true, u"Čísla linek"_qs);
    row("dump 1-byte error reply", Rep, bytes({1}), 0, true, u"Error 1: "_qs);
    row("dump read reply", Rep, bytes({0, 22, 0, 9, 0, 255}), 0, true, u"Stav linek[0]9 0 255 "_qs);
    row("no dump when off", Req, bytes({1, 17, 0, 4, 6}), 1, false, u"Zápis Zprávy[0]"_qs);

    // Short requests and empty replies (our choice): a byte not received shows as "?",
    // byte 0 missing gives nothing, and nothing past the packet is read or dumped.
    row("empty request", Req, QByteArray(), 0, true, u""_qs);
    row("request op 0 alone", Req, bytes({0}), 0, true, u"Čtení ?[?]"_qs);
    row("request op 1 without index", Req, bytes({1, 17}), 1, true, u"Zápis Zprávy[?]"_qs);
    row("request Cmd alone", Req, bytes({7}), 7, false, u"Cmd: 7 ?[?]"_qs);
    row("request Cmd without index", Req, bytes({6, 40}), 6, false, u"Cmd: 6 Str:40[?]"_qs);
    row("empty reply to a read", Rep, QByteArray(), 0, true, u""_qs);
    row("empty reply to Info", Rep, QByteArray(), 2, true, u"Info"_qs);
    row("empty reply to RepUCT", Rep, QByteArray(), 5, false, u"RepUCT "_qs);
}

void TestPacketToText::decode()
{
    QFETCH(bool, reply);
    QFETCH(QByteArray, packet);
    QFETCH(int, op);
    QFETCH(bool, dump);
    QFETCH(QString, expected);

    // A copy of exactly the packet's size: reading past it is an error under sanitizers.
    const QByteArray exact(packet.constData(), packet.size());
    const auto direction = reply ? PacketDirection::Reply : PacketDirection::Request;
    QCOMPARE(TData::PacketToText(direction, exact, uint8_t(op), dump), expected);
}

QTEST_GUILESS_MAIN(TestPacketToText)
#include "tst_packettotext.moc"
