#include "agent/eventlog.h"
#include "agent/linkstate.h"
#include "common/bytes.h"
#include "data/tdata.h"
#include "gateway/clientrequesthandler.h"
#include "gateway/responsecache.h"
#include "gateway/serversocket.h"
#include "link/packetsender.h"
#include "link/tcommpack.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <initializer_list>
#include <memory>
#include <sys/socket.h>

namespace {

constexpr int WaitMs = 10000;

// Records the frames the agent writes to the exchange.
class FakePort : public PacketPort
{
public:
    struct Frame
    {
        uint8_t seq;
        QByteArray payload;
    };
    bool IsOpen() const override { return true; }
    void WritePacket(uint8_t seq, QByteArrayView payload) override
    {
        frames.append({seq, payload.toByteArray()});
    }
    QList<Frame> frames;
};

// The gateway wired as the engine wires it, listening on an ephemeral local port, with
// the dispatcher's part for client replies played by answer().
struct Rig
{
    EventLog log;
    LinkControl link;
    FakePort port;
    PacketSender sender{log, port};
    qint64 now = 1'000'000;
    ResponseCache cache{8, [this] { return now; }};
    ServerSocket server{log};
    ClientRequestHandler handler{log, link, sender, cache, server};
    QStringList lines; // tag and text of every log line
    std::vector<std::unique_ptr<QTcpSocket>> clients;

    Rig()
    {
        QObject::connect(&log, &EventLog::lineWritten,
                         [this](const QString& line) { lines.append(line.mid(10)); });
        log.switches() = LogSwitches{};
    }

    QTcpSocket* connectClient()
    {
        const int before = server.clientCount();
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!QTest::qWaitFor(
                [&] {
                    return socket->state() == QAbstractSocket::ConnectedState &&
                           server.clientCount() == before + 1;
                },
                WaitMs))
            return nullptr;
        clients.push_back(std::move(socket));
        return clients.back().get();
    }

    // The agent's end of a client's connection.
    QTcpSocket* agentSide(const QTcpSocket& client) const
    {
        for (QTcpSocket* s : server.clients())
            if (s->peerPort() == client.localPort())
                return s;
        return nullptr;
    }
    int32_t handleOf(const QTcpSocket& client) const
    {
        QTcpSocket* s = agentSide(client);
        return s ? ServerSocket::handleOf(*s) : -1;
    }
    QString tag(const char* prefix, const QTcpSocket& client) const
    {
        return ClientRequestHandler::clientTag(QString::fromUtf8(prefix),
                                               QStringLiteral("127.0.0.1"), handleOf(client));
    }

    // Sends a request and waits until the agent has handled it.
    bool send(QTcpSocket& client, const QByteArray& request)
    {
        QSignalSpy handled(&server, &ServerSocket::clientRead);
        client.write(request);
        return QTest::qWaitFor([&] { return handled.count() > 0; }, WaitMs);
    }

    // What the dispatcher does with a reply matched to a pkClient record.
    bool answer(uint8_t seq, const QByteArray& reply)
    {
        std::unique_ptr<PendingRequest> record = sender.TakePendingRequest(seq);
        if (!record)
            return false;
        if (cache.MaxCache() != 0)
            cache.Store(*record, reply);
        handler.deliverClientReply(
            *record, reply, TData::PacketToText(PacketDirection::Reply, reply, record->Op, false));
        link.state = LinkState::Idle;
        return true;
    }

    // Everything the agent has sent to client so far. A busy reply is provoked as an end
    // mark: TCP keeps order, so whatever was sent before it has arrived with it.
    QByteArray receivedBy(QTcpSocket& client)
    {
        const LinkState state = link.state;
        const bool stackable = handler.Stackable();
        link.state = LinkState::Waiting;
        handler.setStackable(false);
        const QByteArray mark = bytes({255, 0x63});
        QByteArray got;
        client.write(bytes({0, 0x63, 0}));
        const bool marked = QTest::qWaitFor(
            [&] {
                got += client.readAll();
                return got.endsWith(mark);
            },
            WaitMs);
        link.state = state;
        handler.setStackable(stackable);
        return marked ? got.chopped(mark.size()) : QByteArray("(no end mark)");
    }

    int linesTagged(const QString& tag) const
    {
        int n = 0;
        for (const QString& line : lines)
            n += line.startsWith(tag + QLatin1Char(' ')) ? 1 : 0;
        return n;
    }
};

} // namespace

class TestClientGateway : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Rig> rig;

private Q_SLOTS:
    void init()
    {
        rig = std::make_unique<Rig>();
        QVERIFY(rig->server.open(0, QHostAddress::LocalHost));
        QVERIFY(rig->server.serverPort() != 0);
    }
    void cleanup()
    {
        rig->clients.clear();
        rig.reset();
    }

    void requestForwardedAndReplyReturnedUnchanged()
    {
        rig->log.switches().TcpIp_Out = true;
        QTcpSocket* a = rig->connectClient();
        QVERIFY(a);
        const QByteArray request = bytes({0, 22, 0});
        QVERIFY(rig->send(*a, request));

        QCOMPARE(rig->port.frames.size(), 1);
        QCOMPARE(rig->port.frames[0].payload, request);
        QCOMPARE(rig->link.state, LinkState::Waiting);
        QCOMPARE(rig->linesTagged(rig->tag("<IP:", *a)), 1);

        // Bytes that a frame would escape (0xEE) travel to the client unchanged.
        const QByteArray reply = bytes({0, 22, 0, 0xEE, 0x23, 0, 0xFF});
        QVERIFY(rig->answer(rig->port.frames[0].seq, reply));
        QCOMPARE(rig->receivedBy(*a), reply);
        QCOMPARE(rig->linesTagged(QStringLiteral("<COM")), 1);
        QCOMPARE(rig->linesTagged(rig->tag(">IP:", *a)), 1);
    }

    void forwardedPacketLoggedOnce_data()
    {
        QTest::addColumn<bool>("comOut");
        QTest::addColumn<bool>("comLocOut");
        QTest::addColumn<int>("lines");
        QTest::newRow("both off") << false << false << 0;
        QTest::newRow("Com_Out only") << true << false << 1;
        QTest::newRow("Com_LocOut only") << false << true << 1;
        QTest::newRow("both on") << true << true << 1;
    }
    void forwardedPacketLoggedOnce()
    {
        QFETCH(bool, comOut);
        QFETCH(bool, comLocOut);
        QFETCH(int, lines);
        rig->log.switches().Com_Out = comOut;
        rig->log.switches().Com_LocOut = comLocOut;
        QTcpSocket* a = rig->connectClient();
        QVERIFY(a);
        QVERIFY(rig->send(*a, bytes({0, 14, 0})));
        QCOMPARE(rig->port.frames.size(), 1);
        QCOMPARE(rig->linesTagged(QStringLiteral(">COM")), lines);
    }

    void twoClientsGetOnlyTheirOwnReplies()
    {
        QTcpSocket* a = rig->connectClient();
        QTcpSocket* b = rig->connectClient();
        QVERIFY(a && b);
        QVERIFY(rig->handleOf(*a) != rig->handleOf(*b));
        QCOMPARE(rig->server.FindClient(rig->handleOf(*a)), rig->agentSide(*a));
        QCOMPARE(rig->server.FindClient(rig->handleOf(*b)), rig->agentSide(*b));
        QVERIFY(!rig->server.FindClient(0));
        QVERIFY(!rig->server.FindClient(-1));

        QVERIFY(rig->send(*a, bytes({0, 14, 1})));
        rig->link.state = LinkState::Idle; // as after a time-out
        QVERIFY(rig->send(*b, bytes({0, 14, 2})));
        QCOMPARE(rig->port.frames.size(), 2);

        // Answered in the opposite order.
        QVERIFY(rig->answer(rig->port.frames[1].seq, bytes({0, 14, 2, 0xB})));
        QVERIFY(rig->answer(rig->port.frames[0].seq, bytes({0, 14, 1, 0xA})));
        QCOMPARE(rig->receivedBy(*a), bytes({0, 14, 1, 0xA}));
        QCOMPARE(rig->receivedBy(*b), bytes({0, 14, 2, 0xB}));
    }

    void replyToDepartedClientIsCachedNotSent()
    {
        rig->log.switches().TcpIp_Out = true;
        QTcpSocket* a = rig->connectClient();
        QVERIFY(a);
        QVERIFY(rig->send(*a, bytes({0, 14, 3})));
        const QString departedTag = rig->tag(">IP:", *a);
        QSignalSpy status(&rig->log, &EventLog::statusChanged);
        a->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(rig->server.clientCount(), 0, WaitMs);
        QVERIFY(status.contains({QStringLiteral("OnClientDisconnect 127.0.0.1")}));

        QVERIFY(rig->answer(rig->port.frames[0].seq, bytes({0, 14, 3, 5})));
        QCOMPARE(rig->linesTagged(QStringLiteral("<COM")), 1);
        QCOMPARE(rig->linesTagged(departedTag), 0);
        QVERIFY(rig->cache.Lookup(bytes({0, 14, 3}), true).has_value());
    }

    // The system gives a closed connection's handle to the next one. A reply, or a
    // held request, of the departed client must not be taken for the newcomer's.
    void reusedHandleDoesNotInheritReplies()
    {
        rig->cache.Store(bytes({0, 1}), bytes({0})); // keep the cache out of the way
        QTcpSocket* a = rig->connectClient();
        QVERIFY(a);
        QVERIFY(rig->send(*a, bytes({1, 14, 4, 9})));
        const uint8_t seq = rig->port.frames[0].seq;
        a->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(rig->server.clientCount(), 0, WaitMs);

        QTcpSocket* b = rig->connectClient();
        QVERIFY(b);
        std::unique_ptr<PendingRequest> record = rig->sender.TakePendingRequest(seq);
        QVERIFY(record);
        // Usually the system has reused the number already; where it has not, the record
        // is given the newcomer's number, which is what reuse amounts to.
        record->ClientHandle = rig->handleOf(*b);
        QCOMPARE(rig->server.FindClient(record->ClientHandle), rig->agentSide(*b));

        rig->handler.deliverClientReply(*record, bytes({0, 14, 4}), QStringLiteral("reply"));
        QCOMPARE(rig->receivedBy(*b), QByteArray());
    }

    void reusedHandleDoesNotInheritHeldRequest()
    {
        rig->handler.setStackable(true);
        rig->link.state = LinkState::Waiting;
        QTcpSocket* a = rig->connectClient();
        QVERIFY(a);
        QVERIFY(rig->send(*a, bytes({1, 14, 5, 9})));
        QCOMPARE(rig->handler.heldRequest().Data, bytes({1, 14, 5, 9}));
        a->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(rig->server.clientCount(), 0, WaitMs);

        QTcpSocket* b = rig->connectClient();
        QTcpSocket* c = rig->connectClient();
        QVERIFY(b && c);
        rig->handler.heldRequest().ClientHandle = rig->handleOf(*b);
        rig->link.state = LinkState::Idle;
        QVERIFY(rig->send(*c, bytes({1, 14, 6, 9})));

        QCOMPARE(rig->port.frames.size(), 1);
        QCOMPARE(rig->port.frames[0].payload, bytes({1, 14, 6, 9}));
        QVERIFY(rig->handler.heldRequest().isEmpty());
    }

    void busyLinkRefuses_data()
    {
        QTest::addColumn<LinkState>("state");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("busyReply");
        QTest::newRow("waiting, read")
            << LinkState::Waiting << bytes({0, 22, 0}) << bytes({255, 22});
        QTest::newRow("waiting, write")
            << LinkState::Waiting << bytes({1, 5, 2, 7}) << bytes({255, 5});
        QTest::newRow("unreachable, unknown object")
            << LinkState::Unreachable << bytes({0, 200, 1}) << bytes({255, 200});
        QTest::newRow("no object code") << LinkState::Waiting << bytes({0}) << bytes({255, 0});
    }
    void busyLinkRefuses()
    {
        QFETCH(LinkState, state);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, busyReply);
        rig->log.switches().Extent = true;
        rig->link.state = state;
        QTcpSocket* a = rig->connectClient();
        QVERIFY(a);
        QVERIFY(rig->send(*a, request));

        QCOMPARE(rig->receivedBy(*a), busyReply);
        QVERIFY(rig->port.frames.isEmpty());
        QVERIFY(rig->handler.heldRequest().isEmpty());
        QCOMPARE(rig->link.state, state);
        QVERIFY(rig->linesTagged(rig->tag("<IP Err:", *a)) >= 1);
    }

    void heldWhileBusySecondRefused()
    {
        rig->handler.setStackable(true);
        rig->link.state = LinkState::Waiting;
        QTcpSocket* a = rig->connectClient();
        QTcpSocket* b = rig->connectClient();
        QVERIFY(a && b);
        QVERIFY(rig->send(*a, bytes({0, 14, 7})));
        QVERIFY(rig->send(*b, bytes({0, 15, 7})));

        const HeldRequest& held = rig->handler.heldRequest();
        QCOMPARE(held.Data, bytes({0, 14, 7}));
        QCOMPARE(held.ClientHandle, rig->handleOf(*a));
        QCOMPARE(rig->receivedBy(*b), bytes({255, 15}));
        QVERIFY(rig->port.frames.isEmpty());
    }

    void heldRequestOfDepartedClientFreesTheSlot()
    {
        rig->handler.setStackable(true);
        rig->link.state = LinkState::Waiting;
        QTcpSocket* a = rig->connectClient();
        QTcpSocket* b = rig->connectClient();
        QVERIFY(a && b);
        QVERIFY(rig->send(*a, bytes({0, 14, 8})));
        a->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(rig->server.clientCount(), 1, WaitMs);

        QVERIFY(rig->send(*b, bytes({0, 15, 8})));
        QCOMPARE(rig->handler.heldRequest().Data, bytes({0, 15, 8}));
        QCOMPARE(rig->handler.heldRequest().ClientHandle, rig->handleOf(*b));
    }

    void heldRequestGoesFirst()
    {
        rig->handler.setStackable(true);
        rig->link.state = LinkState::Waiting;
        QTcpSocket* a = rig->connectClient();
        QTcpSocket* b = rig->connectClient();
        QVERIFY(a && b);
        QVERIFY(rig->send(*a, bytes({0, 14, 9})));
        rig->link.state = LinkState::Idle;
        QVERIFY(rig->send(*b, bytes({0, 15, 9})));

        QCOMPARE(rig->port.frames.size(), 1);
        QCOMPARE(rig->port.frames[0].payload, bytes({0, 14, 9}));
        QCOMPARE(rig->link.state, LinkState::Waiting);
        QCOMPARE(rig->linesTagged(rig->tag("<IP:", *a)), 1);
        QCOMPARE(rig->linesTagged(rig->tag("<IP:", *b)), 0);
        QCOMPARE(rig->handler.heldRequest().Data, bytes({0, 15, 9}));
        QCOMPARE(rig->handler.heldRequest().ClientHandle, rig->handleOf(*b));

        QVERIFY(rig->answer(rig->port.frames[0].seq, bytes({0, 14, 9, 1})));
        QCOMPARE(rig->receivedBy(*a), bytes({0, 14, 9, 1}));
        QCOMPARE(rig->receivedBy(*b), QByteArray());
    }

    void sameClientDropsItsHeldRequest()
    {
        rig->handler.setStackable(true);
        rig->link.state = LinkState::Waiting;
        QTcpSocket* a = rig->connectClient();
        QVERIFY(a);
        QVERIFY(rig->send(*a, bytes({0, 14, 10})));
        rig->link.state = LinkState::Idle;
        QVERIFY(rig->send(*a, bytes({0, 14, 11})));

        QCOMPARE(rig->port.frames.size(), 1);
        QCOMPARE(rig->port.frames[0].payload, bytes({0, 14, 11}));
        QVERIFY(rig->handler.heldRequest().isEmpty());
        QCOMPARE(rig->port.frames[0].seq, rig->sender.PacketCounter() - 1);
    }

    void cacheAnswersWhileLinkBusy()
    {
        rig->log.switches().TcpIp_Out = true;
        QTcpSocket* a = rig->connectClient();
        QTcpSocket* b = rig->connectClient();
        QVERIFY(a && b);
        const QByteArray request = bytes({0, 22, 0});
        const QByteArray reply = bytes({0, 22, 0, 1, 2, 3});
        QVERIFY(rig->send(*a, request));
        QVERIFY(rig->answer(rig->port.frames[0].seq, reply));
        QCOMPARE(rig->receivedBy(*a), reply);

        rig->link.state = LinkState::Waiting;
        rig->now += 100;
        QVERIFY(rig->send(*b, request));
        QCOMPARE(rig->receivedBy(*b), reply);
        QCOMPARE(rig->port.frames.size(), 1);
        QCOMPARE(rig->linesTagged(QStringLiteral("<CCH")), 1);
        QCOMPARE(rig->linesTagged(rig->tag(">IP:", *b)), 1);

        rig->now += 300; // 400 ms after the reply: the line status is stale
        QVERIFY(rig->send(*b, request));
        QCOMPARE(rig->receivedBy(*b), bytes({255, 22}));
    }

    // One notification takes at most the 500-byte buffer; what is left is handled as
    // the next request without waiting for more data from the client.
    void oversizedReadLeavesRestForNextRound()
    {
        QTcpSocket* a = rig->connectClient();
        QVERIFY(a);
        QByteArray data(600, '\x07');
        data[0] = 1;
        data[1] = 14;
        data[500] = 1;
        data[501] = 0x42;
        a->write(data);

        QByteArray got;
        QVERIFY(QTest::qWaitFor(
            [&] {
                got += a->readAll();
                return got.size() >= 2;
            },
            WaitMs));
        QCOMPARE(got, bytes({255, 0x42}));
        QCOMPARE(rig->port.frames.size(), 1);
        QCOMPARE(rig->port.frames[0].payload, data.first(500));
        // The record keeps what fits; the frame carried the whole request.
        std::unique_ptr<PendingRequest> record =
            rig->sender.TakePendingRequest(rig->port.frames[0].seq);
        QCOMPARE(record->DataLength, 500);
        QCOMPARE(record->Data, data.first(PendingRequest::DataCapacity));
    }

    void resetPeerLeavesOthersAlone()
    {
        QTcpSocket* a = rig->connectClient();
        QTcpSocket* b = rig->connectClient();
        QVERIFY(a && b);
        // Linger with a zero timeout makes the close a reset.
        const linger hard{1, 0};
        QCOMPARE(
            ::setsockopt(int(a->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
        a->abort();
        QTRY_COMPARE_WITH_TIMEOUT(rig->server.clientCount(), 1, WaitMs);

        QVERIFY(rig->send(*b, bytes({0, 14, 12})));
        QVERIFY(rig->answer(rig->port.frames[0].seq, bytes({0, 14, 12, 1})));
        QCOMPARE(rig->receivedBy(*b), bytes({0, 14, 12, 1}));
    }

    void closeEndsEveryConnection()
    {
        QTcpSocket* a = rig->connectClient();
        QTcpSocket* b = rig->connectClient();
        QVERIFY(a && b);
        rig->server.close();
        QVERIFY(!rig->server.isListening());
        QCOMPARE(rig->server.clientCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(a->state(), QAbstractSocket::UnconnectedState, WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(b->state(), QAbstractSocket::UnconnectedState, WaitMs);
    }

    void openFailsWhenPortTaken()
    {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
        EventLog log;
        QStringList lines;
        connect(&log, &EventLog::lineWritten, [&](const QString& l) { lines.append(l.mid(10)); });
        QSignalSpy status(&log, &EventLog::statusChanged);
        ServerSocket second(log);

        QVERIFY(!second.open(occupant.serverPort(), QHostAddress::LocalHost));
        QVERIFY(!second.errorString().isEmpty());
        QVERIFY(!second.isListening());
        QCOMPARE(lines, QStringList{QStringLiteral("!Err Chyba otevření socketu TCP/IP")});
        QCOMPARE(status.first().first().toString(),
                 QStringLiteral("Chyba socketu:") + second.errorString());
        QCOMPARE(log.status(), QStringLiteral("!Err     Chyba otevření socketu TCP/IP"));
    }

    void openAnnouncesSuccess()
    {
        EventLog log;
        QStringList lines;
        connect(&log, &EventLog::lineWritten, [&](const QString& l) { lines.append(l.mid(10)); });
        ServerSocket socket(log);
        QVERIFY(socket.open(0, QHostAddress::LocalHost));
        QCOMPARE(lines, QStringList{QStringLiteral("-OK- Otevření socketu TCP/IP")});
    }

    void connectionStatusTexts()
    {
        QSignalSpy status(&rig->log, &EventLog::statusChanged);
        QTcpSocket* a = rig->connectClient();
        QVERIFY(a);
        QVERIFY(status.contains({QStringLiteral("OnAccept")}));
        QVERIFY(status.contains({QStringLiteral("OnClientConnect 127.0.0.1")}));
        QVERIFY(rig->send(*a, bytes({0, 14, 13})));
        QVERIFY(status.contains({QStringLiteral("OnClientRead 127.0.0.1")}));
    }

    void addressText_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("text");
        QTest::newRow("IPv4") << "192.168.1.20"
                              << "192.168.1.20";
        QTest::newRow("IPv4 mapped into IPv6") << "::ffff:10.0.0.7"
                                               << "10.0.0.7";
        QTest::newRow("IPv6") << "2001:db8::1"
                              << "2001:db8::1";
    }
    void addressText()
    {
        QFETCH(QString, address);
        QFETCH(QString, text);
        QCOMPARE(ServerSocket::addressText(QHostAddress(address)), text);
    }
};

QTEST_GUILESS_MAIN(TestClientGateway)
#include "tst_clientgateway.moc"
