#include "agentvxdouble.h"
#include "mailtesttools.h"

#include "link/packetsender.h"
#include "mail/mail602.h"
#include "mail/trapforwarding.h"

#include <QTest>

namespace {

QByteArray reply(char index, char type, const QByteArray& text)
{
    return QByteArray("\x00\x01", 2) + index + type + text;
}

// The clearing of a TRAP record: write (1), object 1, the index, 251 zero bytes.
QByteArray clearing(char index)
{
    return QByteArray("\x01\x01", 2) + index + QByteArray(251, '\0');
}

QByteArray mailCall(const QByteArray& to, char type, const QByteArray& subject,
                    const QByteArray& body)
{
    return "PosliStavovouZpravu(" + to + "|" + QByteArray::number(uint8_t(type)) + "|" + subject +
           "|" + body + "|49)";
}

} // namespace

class TestTrapForwarding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onTrapReply_data();
    void onTrapReply();
};

void TestTrapForwarding::onTrapReply_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("comIn");
    QTest::addColumn<bool>("pureIn");
    QTest::addColumn<bool>("ready");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<QByteArray>>("calls");
    QTest::addColumn<QList<QByteArray>>("frames");

    const QByteArray jan = "jan\nPorucha\nLinka 21 mimo provoz";
    QTest::newRow("local mail, Com_In on")
        << reply(2, 'L', jan) << true << false << true
        << QStringList{"<COM TRAP: M602-Lokální to jan", ">602 Mail: Porucha to jan"}
        << ">COM     Potvrzení TRAP"
        << QList<QByteArray>{mailCall("jan", 'L', "Porucha", "Linka 21 mimo provoz")}
        << QList<QByteArray>{clearing(2)};
    QTest::newRow("local mail, Com_In off")
        << reply(2, 'L', jan) << false << true << true << QStringList{">602 Mail: Porucha to jan"}
        << ">COM     Potvrzení TRAP"
        << QList<QByteArray>{mailCall("jan", 'L', "Porucha", "Linka 21 mimo provoz")}
        << QList<QByteArray>{clearing(2)};
    QTest::newRow("library not ready: logged and cleared, not mailed")
        << reply(3, 'I', jan) << true << false << false
        << QStringList{"<COM TRAP: Internet to jan", ">602 Mail: Porucha to jan"}
        << ">COM     Potvrzení TRAP" << QList<QByteArray>{} << QList<QByteArray>{clearing(3)};
    QTest::newRow("Windows-1250 subject")
        << reply(0, 'V', "jan\nV\xFDpadek\nx") << true << false << true
        << QStringList{"<COM TRAP: M602-Vnější to jan", ">602 Mail: Výpadek to jan"}
        << ">COM     Potvrzení TRAP" << QList<QByteArray>{mailCall("jan", 'V', "V\xFDpadek", "x")}
        << QList<QByteArray>{clearing(0)};

    QTest::newRow("empty record, Com_PureIn on")
        << QByteArray("\x00\x01\x03\x00", 4) << true << true << true
        << QStringList{"<COM Žádný TRAP"} << "<COM     Žádný TRAP" << QList<QByteArray>{}
        << QList<QByteArray>{};
    QTest::newRow("empty record, Com_PureIn off")
        << QByteArray("\x00\x01\x03\x00", 4) << true << false << true << QStringList{}
        << "<COM     Žádný TRAP" << QList<QByteArray>{} << QList<QByteArray>{};
    QTest::newRow("too short for an address type: empty")
        << QByteArray("\x00\x01\x02", 3) << true << false << true << QStringList{}
        << "<COM     Žádný TRAP" << QList<QByteArray>{} << QList<QByteArray>{};
    QTest::newRow("no bytes at all: empty")
        << QByteArray() << true << false << true << QStringList{} << "<COM     Žádný TRAP"
        << QList<QByteArray>{} << QList<QByteArray>{};

    QTest::newRow("error 7, switches off")
        << QByteArray("\x07\x01\x00", 3) << false << false << true
        << QStringList{"<COM Chyba čtení TRAP :7"} << "<COM     Chyba čtení TRAP :7"
        << QList<QByteArray>{} << QList<QByteArray>{};
    QTest::newRow("unknown address type 0x58: only cleared")
        << reply(1, 'X', jan) << true << true << true << QStringList{}
        << ">COM     Potvrzení TRAP ?" << QList<QByteArray>{} << QList<QByteArray>{clearing(1)};

    QTest::newRow("45-byte recipient: every field empty")
        << reply(1, 'Q', QByteArray(45, 'r') + "\nPorucha\ntext") << true << false << true
        << QStringList{"<COM TRAP: SMS to ", ">602 Mail:  to "} << ">COM     Potvrzení TRAP"
        << QList<QByteArray>{mailCall("", 'Q', "", "")} << QList<QByteArray>{clearing(1)};
    QTest::newRow("no line feed: every field empty")
        << reply(1, 'Z', "jan") << true << false << true
        << QStringList{"<COM TRAP: ZModem to ", ">602 Mail:  to "} << ">COM     Potvrzení TRAP"
        << QList<QByteArray>{mailCall("", 'Z', "", "")} << QList<QByteArray>{clearing(1)};
    QTest::newRow("39-byte recipient and subject: the longest")
        << reply(2, 'F', QByteArray(39, 'r') + "\n" + QByteArray(39, 's') + "\nb") << false << false
        << true << QStringList{">602 Mail: " + QString(39, u's') + " to " + QString(39, u'r')}
        << ">COM     Potvrzení TRAP"
        << QList<QByteArray>{mailCall(QByteArray(39, 'r'), 'F', QByteArray(39, 's'), "b")}
        << QList<QByteArray>{clearing(2)};
    QTest::newRow("40-byte subject: recipient only")
        << reply(2, 'F', "jan\n" + QByteArray(40, 's') + "\nb") << false << false << true
        << QStringList{">602 Mail:  to jan"} << ">COM     Potvrzení TRAP"
        << QList<QByteArray>{mailCall("jan", 'F', "", "")} << QList<QByteArray>{clearing(2)};
    QTest::newRow("150-byte body: the first 100 bytes")
        << reply(0, 'L', "jan\nS\n" + QByteArray(100, 'b') + QByteArray(50, 'c')) << false << false
        << true << QStringList{">602 Mail: S to jan"} << ">COM     Potvrzení TRAP"
        << QList<QByteArray>{mailCall("jan", 'L', "S", QByteArray(100, 'b'))}
        << QList<QByteArray>{clearing(0)};
    QTest::newRow("zero byte ends each field")
        << reply(0, 'L', QByteArray("ja\0n\nPor\0ucha\nte\0xt", 19)) << false << false << true
        << QStringList{">602 Mail: Por to ja"} << ">COM     Potvrzení TRAP"
        << QList<QByteArray>{mailCall("ja", 'L', "Por", "te")} << QList<QByteArray>{clearing(0)};
}

void TestTrapForwarding::onTrapReply()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, comIn);
    QFETCH(bool, pureIn);
    QFETCH(bool, ready);
    QFETCH(QStringList, lines);
    QFETCH(QString, status);
    QFETCH(QList<QByteArray>, calls);
    QFETCH(QList<QByteArray>, frames);

    AgentvxDouble lib;
    QVERIFY(lib.isValid());
    lib.setInitResult(ready ? 0 : 2);
    EventLog log;
    log.switches() = LogSwitches{};
    log.switches().Com_In = comIn;
    log.switches().Com_PureIn = pureIn;
    log.switches().Com_LocOut = false;
    LogRecorder recorder(log);
    TMail602 mail(log, lib.path());
    mail.Initialize();
    QCOMPARE(mail.LibraryReady(), ready);
    TData data;
    FakePort port;
    PacketSender sender(log, port);
    TrapForwarder forwarder(log, mail, data, sender);
    lib.reset();

    // The forwarder reads only the reply's own bytes: a copy with no spare capacity
    // lets a sanitizer see any read beyond them.
    const QByteArray exact(payload.constData(), payload.size());
    forwarder.OnTrapReply(exact);

    QCOMPARE(recorder.lines(), lines);
    QCOMPARE(log.status(), status);
    QCOMPARE(lib.calls(), calls);
    QCOMPARE(port.written, frames);
}

QTEST_GUILESS_MAIN(TestTrapForwarding)
#include "tst_trapforwarding.moc"
