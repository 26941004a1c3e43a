// The port text: parser and the rules of Set.

#include "link/porttext.h"

#include <QTest>

Q_DECLARE_METATYPE(PortLineSettings)
Q_DECLARE_METATYPE(PortControl)
Q_DECLARE_METATYPE(std::optional<PortControl>)

namespace {

PortLineSettings line(const char* device, int baud, PortParity parity, int data, PortStopBits stop)
{
    PortLineSettings s;
    s.deviceName = QString::fromLatin1(device);
    s.baudRate = baud;
    s.parity = parity;
    s.dataBits = data;
    s.stopBits = stop;
    return s;
}

QString show(const PortLineSettings& s)
{
    return QStringLiteral("%1 %2 parity=%3 data=%4 stop=%5")
        .arg(s.deviceName)
        .arg(s.baudRate)
        .arg(int(s.parity))
        .arg(s.dataBits)
        .arg(int(s.stopBits));
}

constexpr auto N = PortParity::None;
constexpr auto O = PortParity::Odd;
constexpr auto E = PortParity::Even;
constexpr auto M = PortParity::Mark;
constexpr auto S1 = PortStopBits::One;
constexpr auto S15 = PortStopBits::OneAndHalf;
constexpr auto S2 = PortStopBits::Two;

} // namespace

class TstPortText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void defaults();
    void apply_data();
    void apply();
    void parse_data();
    void parse();
    void listedBaudRates();
};

void TstPortText::defaults()
{
    // The component's defaults: Com2, 9600, none, 8, 1.
    QCOMPARE(PortLineSettings{}, line("Com2", 9600, N, 8, S1));
    QCOMPARE(applyPortText(PortLineSettings{}, u"COM2:9600,N,8,1"), line("COM2", 9600, N, 8, S1));
}

void TstPortText::apply_data()
{
    QTest::addColumn<PortLineSettings>("current");
    QTest::addColumn<QString>("text");
    QTest::addColumn<PortLineSettings>("expected");

    const PortLineSettings odd = line("COM1", 4800, E, 7, S2); // far from every default

    QTest::newRow("no colon changes nothing") << odd << "COM2" << odd;
    QTest::newRow("no colon, even with settings") << odd << "COM2,9600,N,8,1" << odd;
    QTest::newRow("empty text") << odd << "" << odd;
    QTest::newRow("COM3:19200,E,7,2")
        << PortLineSettings{} << "COM3:19200,E,7,2" << line("COM3", 19200, E, 7, S2);
    QTest::newRow("default text") << odd << "COM2:9600,N,8,1" << line("COM2", 9600, N, 8, S1);
    QTest::newRow("baud not listed kept, rest applied")
        << odd << "COM3:14401,O,8,1" << line("COM3", 4800, O, 8, S1);
    QTest::newRow("230400 is not listed")
        << odd << "COM3:230400,N,8,1" << line("COM3", 4800, N, 8, S1);
    QTest::newRow("256000 is listed")
        << odd << "COM3:256000,N,8,1" << line("COM3", 256000, N, 8, S1);
    QTest::newRow("14400 is listed") << odd << "COM3:14400,N,8,1" << line("COM3", 14400, N, 8, S1);
    QTest::newRow("space parity keeps parity")
        << odd << "COM4:9600,S,8,1" << line("COM4", 9600, E, 8, S1);
    QTest::newRow("mark parity, 1.5 stop bits")
        << odd << "COM4:9600,M,8,1.5" << line("COM4", 9600, M, 8, S15);
    QTest::newRow("lower-case com and letters")
        << odd << "com4:9600,n,8,1" << line("com4", 9600, N, 8, S1);
    QTest::newRow("blanks around commas")
        << odd << "COM1: 9600 , o , 6 , 2 " << line("COM1", 9600, O, 6, S2);
    QTest::newRow("abbreviation 96") << odd << "COM1:96,N,8,1" << line("COM1", 9600, N, 8, S1);
    QTest::newRow("abbreviation 19") << odd << "COM1:19,N,8,1" << line("COM1", 19200, N, 8, S1);
    QTest::newRow("abbreviation 11") << odd << "COM1:11,N,8,1" << line("COM1", 110, N, 8, S1);
    QTest::newRow("abbreviation 30") << odd << "COM1:30,N,8,1" << line("COM1", 300, N, 8, S1);
    QTest::newRow("abbreviation 60") << odd << "COM1:60,N,8,1" << line("COM1", 600, N, 8, S1);
    QTest::newRow("abbreviation 12") << odd << "COM1:12,N,8,1" << line("COM1", 1200, N, 8, S1);
    QTest::newRow("abbreviation 24") << odd << "COM1:24,N,8,1" << line("COM1", 2400, N, 8, S1);
    QTest::newRow("abbreviation 48") << odd << "COM1:48,N,8,1" << line("COM1", 4800, N, 8, S1);
    QTest::newRow("handshake X") << odd << "COM1:9600,N,8,1,X" << line("COM1", 9600, N, 8, S1);
    QTest::newRow("handshake p") << odd << "COM1:9600,N,8,1,p" << line("COM1", 9600, N, 8, S1);
    QTest::newRow("5 data bits") << odd << "COM1:9600,N,5,1" << line("COM1", 9600, N, 5, S1);
    // Not parsed: the device name is set, no line setting changes.
    QTest::newRow("4 data bits do not parse")
        << odd << "COM5:9600,N,4,1" << line("COM5", 4800, E, 7, S2);
    QTest::newRow("9 data bits do not parse")
        << odd << "COM5:9600,N,9,1" << line("COM5", 4800, E, 7, S2);
    QTest::newRow("bad parity letter") << odd << "COM5:9600,Q,8,1" << line("COM5", 4800, E, 7, S2);
    QTest::newRow("bad stop bits") << odd << "COM5:9600,N,8,3" << line("COM5", 4800, E, 7, S2);
    QTest::newRow("bad handshake") << odd << "COM5:9600,N,8,1,Z" << line("COM5", 4800, E, 7, S2);
    QTest::newRow("missing field") << odd << "COM5:9600,N,8" << line("COM5", 4800, E, 7, S2);
    QTest::newRow("trailing junk") << odd << "COM5:9600,N,8,1,X,1" << line("COM5", 4800, E, 7, S2);
    QTest::newRow("garbage") << odd << "COM5:fast please" << line("COM5", 4800, E, 7, S2);
    QTest::newRow("nothing after colon") << odd << "COM5:" << line("COM5", 4800, E, 7, S2);
    QTest::newRow("empty device name") << odd << ":9600,N,8,1" << line("", 9600, N, 8, S1);
    QTest::newRow("path as device")
        << odd << "/dev/ttyUSB0:115200,N,8,1" << line("/dev/ttyUSB0", 115200, N, 8, S1);
    QTest::newRow("first colon splits") << odd << "COM1:9600:N,8,1" << line("COM1", 4800, E, 7, S2);
    // The key-word form of the mode command.
    QTest::newRow("key words, all four")
        << odd << "COM6:baud=19200 parity=o data=8 stop=1" << line("COM6", 19200, O, 8, S1);
    QTest::newRow("key words, some")
        << odd << "COM6:baud=96 parity=n" << line("COM6", 9600, N, 7, S2);
    QTest::newRow("key words, upper case")
        << odd << "COM6:BAUD=2400 DATA=5" << line("COM6", 2400, E, 5, S2);
    QTest::newRow("key words, 110 means two stop bits")
        << line("COM1", 4800, E, 7, S1) << "COM6:baud=110" << line("COM6", 110, E, 7, S2);
    QTest::newRow("key words, handshake keys")
        << odd << "COM6:baud=1200 xon=on dtr=hs rts=tg" << line("COM6", 1200, E, 7, S2);
    QTest::newRow("key words, unknown key")
        << odd << "COM6:baud=1200 speed=fast" << line("COM6", 4800, E, 7, S2);
    QTest::newRow("key words, bad value")
        << odd << "COM6:baud=1200 parity=x" << line("COM6", 4800, E, 7, S2);
}

void TstPortText::apply()
{
    QFETCH(PortLineSettings, current);
    QFETCH(QString, text);
    QFETCH(PortLineSettings, expected);
    const PortLineSettings got = applyPortText(current, text);
    QVERIFY2(got == expected, qPrintable(show(got) + QStringLiteral(" != ") + show(expected)));
}

void TstPortText::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<PortControl>>("expected");

    PortControl full{9600, PortParity::Space, 8, S1, std::nullopt};
    QTest::newRow("comma form, space parity") << "COM2:9600,s,8,1" << std::optional(full);
    PortControl hs = full;
    hs.parity = N;
    hs.handshake = PortHandshake::Software;
    QTest::newRow("software handshake") << "COM2:9600,N,8,1,x" << std::optional(hs);
    hs.handshake = PortHandshake::Hardware;
    QTest::newRow("hardware handshake") << "COM2:9600,N,8,1,P" << std::optional(hs);
    PortControl noPrefix{19200, E, 7, S2, std::nullopt};
    QTest::newRow("no device prefix") << "19,e,7,2" << std::optional(noPrefix);
    PortControl kw{};
    kw.stopBits = S15;
    kw.dataBits = 6;
    QTest::newRow("key words") << "COM1:stop=1.5 data=6" << std::optional(kw);
    QTest::newRow("empty") << "" << std::optional<PortControl>();
    QTest::newRow("blank") << "COM1:   " << std::optional<PortControl>();
    QTest::newRow("negative baud") << "COM1:-9600,N,8,1" << std::optional<PortControl>();
}

void TstPortText::parse()
{
    QFETCH(QString, text);
    QFETCH(std::optional<PortControl>, expected);
    QCOMPARE(parsePortControl(text).has_value(), expected.has_value());
    if (expected)
        QVERIFY(*parsePortControl(text) == *expected);
}

void TstPortText::listedBaudRates()
{
    for (int b : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200,
                  128000, 256000})
        QVERIFY(isListedBaudRate(b));
    for (int b : {0, 11, 96, 1800, 7200, 28800, 76800, 230400, 460800})
        QVERIFY(!isListedBaudRate(b));
}

QTEST_APPLESS_MAIN(TstPortText)
#include "tst_porttext.moc"
