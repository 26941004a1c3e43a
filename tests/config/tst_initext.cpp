#include "agent/initext.h"

#include <QTest>

// The Windows private-profile rules, driven with bytes only.
class TestIniText : public QObject
{
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void write_data();
    void write();
    void writeReportsChange();
    void namesEqualFoldsAsciiOnly();
};

void TestIniText::read_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("value");

    const QByteArray set = "[Set]\nPort=COM1\n";
    QTest::newRow("plain") << set << QByteArray("Set") << QByteArray("Port") << true
                           << QByteArray("COM1");
    QTest::newRow("section case") << set << QByteArray("SET") << QByteArray("Port") << true
                                  << QByteArray("COM1");
    QTest::newRow("key case") << set << QByteArray("Set") << QByteArray("pORT") << true
                              << QByteArray("COM1");
    QTest::newRow("file lower case") << QByteArray("[set]\nport=x\n") << QByteArray("Set")
                                     << QByteArray("Port") << true << QByteArray("x");
    QTest::newRow("non-ASCII letters not folded")
        << QByteArray("[ZPR\xC1VY]\nA=1\n") << QByteArray("Zpr\xE1vy") << QByteArray("A") << false
        << QByteArray();
    QTest::newRow("non-ASCII exact") << QByteArray("[Zpr\xE1vy]\nA=1\n") << QByteArray("ZPR\xE1VY")
                                     << QByteArray("a") << true << QByteArray("1");
    QTest::newRow("missing key") << set << QByteArray("Set") << QByteArray("MaxCache") << false
                                 << QByteArray();
    QTest::newRow("missing section")
        << set << QByteArray("Log") << QByteArray("Port") << false << QByteArray();
    QTest::newRow("empty file") << QByteArray() << QByteArray("Set") << QByteArray("Port") << false
                                << QByteArray();
    QTest::newRow("blanks around")
        << QByteArray("  [Set]  \n  Port  =  COM1  \n") << QByteArray("Set") << QByteArray("Port")
        << true << QByteArray("COM1");
    QTest::newRow("tabs around") << QByteArray("\t[Set]\t\n\tPort\t=\tCOM1\t\n")
                                 << QByteArray("Set") << QByteArray("Port") << true
                                 << QByteArray("COM1");
    QTest::newRow("blanks in brackets") << QByteArray("[  Log  ]\nExtent=1\n") << QByteArray("Log")
                                        << QByteArray("Extent") << true << QByteArray("1");
    QTest::newRow("text after bracket")
        << QByteArray("[Set] ; port and cache\nPort=x\n") << QByteArray("Set") << QByteArray("Port")
        << true << QByteArray("x");
    QTest::newRow("blanks inside stay")
        << QByteArray("[Set]\nMax Cache = a  b \n") << QByteArray("Set") << QByteArray("Max Cache")
        << true << QByteArray("a  b");
    QTest::newRow("inner blank not ignored")
        << QByteArray("[Set]\nMax Cache=1\n") << QByteArray("Set") << QByteArray("MaxCache")
        << false << QByteArray();
    QTest::newRow("double quotes") << QByteArray("[S]\nK=\"a b\"\n") << QByteArray("S")
                                   << QByteArray("K") << true << QByteArray("a b");
    QTest::newRow("single quotes") << QByteArray("[S]\nK='a b'\n") << QByteArray("S")
                                   << QByteArray("K") << true << QByteArray("a b");
    QTest::newRow("quotes keep inner blanks")
        << QByteArray("[S]\nK=  \" a \"  \n") << QByteArray("S") << QByteArray("K") << true
        << QByteArray(" a ");
    QTest::newRow("one outer pair only") << QByteArray("[S]\nK=\"a \"b\" c\"\n") << QByteArray("S")
                                         << QByteArray("K") << true << QByteArray("a \"b\" c");
    QTest::newRow("unmatched quotes stay") << QByteArray("[S]\nK=\"x'\n") << QByteArray("S")
                                           << QByteArray("K") << true << QByteArray("\"x'");
    QTest::newRow("lone quote stays") << QByteArray("[S]\nK=\"\n") << QByteArray("S")
                                      << QByteArray("K") << true << QByteArray("\"");
    QTest::newRow("empty quotes") << QByteArray("[S]\nK=\"\"\n") << QByteArray("S")
                                  << QByteArray("K") << true << QByteArray("");
    QTest::newRow("quote only at start") << QByteArray("[S]\nK=\"abc\n") << QByteArray("S")
                                         << QByteArray("K") << true << QByteArray("\"abc");
    QTest::newRow("empty value") << QByteArray("[Set]\nPort=\n") << QByteArray("Set")
                                 << QByteArray("Port") << true << QByteArray("");
    QTest::newRow("empty value blanks") << QByteArray("[Set]\nPort =   \n") << QByteArray("Set")
                                        << QByteArray("Port") << true << QByteArray("");
    QTest::newRow("no equals sign") << QByteArray("[Set]\nPort\nX=1\n") << QByteArray("Set")
                                    << QByteArray("Port") << false << QByteArray();
    QTest::newRow("equals in value") << QByteArray("[S]\na=b=c\n") << QByteArray("S")
                                     << QByteArray("a") << true << QByteArray("b=c");
    QTest::newRow("comment is no key") << QByteArray("[Set]\n;Port=COM9\n") << QByteArray("Set")
                                       << QByteArray("Port") << false << QByteArray();
    QTest::newRow("first key wins") << QByteArray("[Set]\nPort=A\nport=B\n") << QByteArray("Set")
                                    << QByteArray("Port") << true << QByteArray("A");
    QTest::newRow("first section only")
        << QByteArray("[Set]\nA=1\n[set]\nB=2\n") << QByteArray("Set") << QByteArray("B") << false
        << QByteArray();
    QTest::newRow("first section first")
        << QByteArray("[Set]\nA=1\n[Set]\nA=2\n") << QByteArray("Set") << QByteArray("A") << true
        << QByteArray("1");
    QTest::newRow("key before any section") << QByteArray("Port=x\n[Set]\n") << QByteArray("Set")
                                            << QByteArray("Port") << false << QByteArray();
    QTest::newRow("key of other section")
        << QByteArray("[Log]\nPort=x\n[Set]\nA=1\n") << QByteArray("Set") << QByteArray("Port")
        << false << QByteArray();
    QTest::newRow("slash in key") << QByteArray("[Log]\nTCP/IP_In=0\n") << QByteArray("Log")
                                  << QByteArray("tcp/ip_in") << true << QByteArray("0");
    QTest::newRow("backslash in key") << QByteArray("[S]\na\\b=1\n") << QByteArray("S")
                                      << QByteArray("A\\B") << true << QByteArray("1");
    QTest::newRow("LF") << QByteArray("[A]\nx=1\n[B]\ny=2\n") << QByteArray("B") << QByteArray("y")
                        << true << QByteArray("2");
    QTest::newRow("CRLF") << QByteArray("[A]\r\nx=1\r\n[B]\r\ny=2\r\n") << QByteArray("B")
                          << QByteArray("y") << true << QByteArray("2");
    QTest::newRow("CR") << QByteArray("[A]\rx=1\r[B]\ry=2\r") << QByteArray("B") << QByteArray("y")
                        << true << QByteArray("2");
    QTest::newRow("mixed") << QByteArray("[A]\r\nx=1\r[B]\ny=2\r\n") << QByteArray("A")
                           << QByteArray("x") << true << QByteArray("1");
    QTest::newRow("mixed later") << QByteArray("[A]\r\nx=1\r[B]\ny=2\r\n") << QByteArray("B")
                                 << QByteArray("y") << true << QByteArray("2");
    QTest::newRow("blank CR lines") << QByteArray("[A]\r\r\n\n\rx=1") << QByteArray("A")
                                    << QByteArray("x") << true << QByteArray("1");
    QTest::newRow("no final newline") << QByteArray("[Set]\nPort=COM4") << QByteArray("Set")
                                      << QByteArray("Port") << true << QByteArray("COM4");
    QTest::newRow("high bytes") << QByteArray("[Trapy]\nSubject=\x8a"
                                              "\xe8\xf8\x9e\xff\x80\n")
                                << QByteArray("Trapy") << QByteArray("Subject") << true
                                << QByteArray("\x8a\xe8\xf8\x9e\xff\x80");
    QTest::newRow("high byte blank-like A0 kept")
        << QByteArray("[S]\nK=\xA0x\xA0\n") << QByteArray("S") << QByteArray("K") << true
        << QByteArray("\xA0x\xA0");

    const QByteArray longValue(3000, 'v');
    QTest::newRow("cut at 2047") << QByteArray("[S]\nK=" + longValue + "\n") << QByteArray("S")
                                 << QByteArray("K") << true << QByteArray(2047, 'v');
    QTest::newRow("exactly 2047") << QByteArray("[S]\nK=" + QByteArray(2047, 'w'))
                                  << QByteArray("S") << QByteArray("K") << true
                                  << QByteArray(2047, 'w');
    QTest::newRow("cut after quotes")
        << QByteArray("[S]\nK=\"" + longValue + "\"\n") << QByteArray("S") << QByteArray("K")
        << true << QByteArray(2047, 'v');
    QTest::newRow("long line, next key read")
        << QByteArray("[S]\nK=" + longValue + "\nL=2\n") << QByteArray("S") << QByteArray("L")
        << true << QByteArray("2");
}

void TestIniText::read()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(bool, found);
    QFETCH(QByteArray, value);

    const std::optional<QByteArray> got = IniText(file).value(section, key);
    QCOMPARE(got.has_value(), found);
    if (found)
        QCOMPARE(*got, value);
}

void TestIniText::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("replace in place")
        << QByteArray("[Set]\r\nPort=COM1\r\nMaxCache=5\r\n") << QByteArray("Set")
        << QByteArray("Port") << QByteArray("COM3")
        << QByteArray("[Set]\r\nPort=COM3\r\nMaxCache=5\r\n");
    QTest::newRow("keep file's spelling")
        << QByteArray("[set]\nPORT = x\n[Log]\n") << QByteArray("Set") << QByteArray("port")
        << QByteArray("y") << QByteArray("[set]\nPORT=y\n[Log]\n");
    QTest::newRow("replace loses indentation and quotes")
        << QByteArray("[S]\n\t k = \"old\" \r\nz=1\n") << QByteArray("S") << QByteArray("K")
        << QByteArray("new") << QByteArray("[S]\nk=new\r\nz=1\n");
    QTest::newRow("same value untouched")
        << QByteArray("[Set]\n  Port = \"COM1\"  \n") << QByteArray("Set") << QByteArray("Port")
        << QByteArray("COM1") << QByteArray("[Set]\n  Port = \"COM1\"  \n");
    QTest::newRow("same value after leading blanks")
        << QByteArray("[Set]\nPort=COM1\n") << QByteArray("Set") << QByteArray("Port")
        << QByteArray("  COM1") << QByteArray("[Set]\nPort=COM1\n");
    QTest::newRow("replace last line without newline")
        << QByteArray("[Set]\nPort=1") << QByteArray("Set") << QByteArray("Port") << QByteArray("2")
        << QByteArray("[Set]\nPort=2");
    QTest::newRow("replace first duplicate")
        << QByteArray("[S]\nk=1\nk=2\n") << QByteArray("S") << QByteArray("K") << QByteArray("3")
        << QByteArray("[S]\nk=3\nk=2\n");
    QTest::newRow("replace in first section")
        << QByteArray("[S]\nk=1\n[S]\nk=2\n") << QByteArray("s") << QByteArray("k")
        << QByteArray("3") << QByteArray("[S]\nk=3\n[S]\nk=2\n");
    QTest::newRow("empty value") << QByteArray("[S]\nk=1\n") << QByteArray("S") << QByteArray("k")
                                 << QByteArray("") << QByteArray("[S]\nk=\n");
    QTest::newRow("leading blanks dropped, trailing kept")
        << QByteArray("[S]\nk=1\n") << QByteArray("S") << QByteArray("k") << QByteArray(" \t v  ")
        << QByteArray("[S]\nk=v  \n");
    QTest::newRow("new key before next header")
        << QByteArray("[A]\nx=1\n[B]\ny=2\n") << QByteArray("A") << QByteArray("z")
        << QByteArray("3") << QByteArray("[A]\nx=1\nz=3\n[B]\ny=2\n");
    QTest::newRow("new key after trailing comments")
        << QByteArray("[A]\nx=1\n; note\n[B]\n") << QByteArray("A") << QByteArray("z")
        << QByteArray("3") << QByteArray("[A]\nx=1\n; note\nz=3\n[B]\n");
    QTest::newRow("new key before blank separator")
        << QByteArray("[A]\r\nx=1\r\n\r\n[B]\r\n") << QByteArray("A") << QByteArray("z")
        << QByteArray("3") << QByteArray("[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\n");
    QTest::newRow("new key in empty section")
        << QByteArray("[A]\n[B]\n") << QByteArray("a") << QByteArray("z") << QByteArray("3")
        << QByteArray("[A]\nz=3\n[B]\n");
    QTest::newRow("new key in first section of the name")
        << QByteArray("[A]\nx=1\n[A]\ny=2\n") << QByteArray("A") << QByteArray("y")
        << QByteArray("5") << QByteArray("[A]\nx=1\ny=5\n[A]\ny=2\n");
    QTest::newRow("new key at end without newline")
        << QByteArray("[A]\nx=1") << QByteArray("A") << QByteArray("z") << QByteArray("3")
        << QByteArray("[A]\nx=1\nz=3\n");
    QTest::newRow("new key after header without newline")
        << QByteArray("[A]") << QByteArray("A") << QByteArray("z") << QByteArray("3")
        << QByteArray("[A]\r\nz=3\r\n");
    QTest::newRow("new key CR style")
        << QByteArray("[A]\rx=1\r[B]\r") << QByteArray("A") << QByteArray("z") << QByteArray("3")
        << QByteArray("[A]\rx=1\rz=3\r[B]\r");
    QTest::newRow("new key mixed style follows first ending")
        << QByteArray("[A]\r\nx=1\n[B]\n") << QByteArray("A") << QByteArray("z") << QByteArray("3")
        << QByteArray("[A]\r\nx=1\nz=3\r\n[B]\n");
    QTest::newRow("new key spelled as given")
        << QByteArray("[log]\n") << QByteArray("Log") << QByteArray("TCP/IP_Out") << QByteArray("1")
        << QByteArray("[log]\nTCP/IP_Out=1\n");
    QTest::newRow("new section") << QByteArray("[A]\r\nx=1\r\n") << QByteArray("B")
                                 << QByteArray("y") << QByteArray("2")
                                 << QByteArray("[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    QTest::newRow("new section adds final newline")
        << QByteArray("[A]\nx=1") << QByteArray("B") << QByteArray("y") << QByteArray("2")
        << QByteArray("[A]\nx=1\n[B]\ny=2\n");
    QTest::newRow("new section after blank last line")
        << QByteArray("[A]\nx=1\n\n") << QByteArray("B") << QByteArray("y") << QByteArray("2")
        << QByteArray("[A]\nx=1\n\n[B]\ny=2\n");
    QTest::newRow("new section CR")
        << QByteArray("[A]\rx=1\r") << QByteArray("B") << QByteArray("y") << QByteArray("2")
        << QByteArray("[A]\rx=1\r[B]\ry=2\r");
    QTest::newRow("new section, no line ending in file")
        << QByteArray("; only a comment") << QByteArray("B") << QByteArray("y") << QByteArray("2")
        << QByteArray("; only a comment\r\n[B]\r\ny=2\r\n");
    QTest::newRow("empty file") << QByteArray() << QByteArray("Set") << QByteArray("Port")
                                << QByteArray("COM1") << QByteArray("[Set]\r\nPort=COM1\r\n");
    QTest::newRow("high bytes untouched")
        << QByteArray("[Trapy]\nSubject=\x8a\xe8\n; \xff\x80\n[Set]\nPort=1\n") << QByteArray("Set")
        << QByteArray("Port") << QByteArray("\x9e")
        << QByteArray("[Trapy]\nSubject=\x8a\xe8\n; \xff\x80\n[Set]\nPort=\x9e\n");
    QTest::newRow("header with comment untouched")
        << QByteArray(" [ Set ] ; x \nPort=1\n") << QByteArray("Set") << QByteArray("MaxCache")
        << QByteArray("2") << QByteArray(" [ Set ] ; x \nPort=1\nMaxCache=2\n");
}

void TestIniText::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, after);

    const QByteArray got = IniText::withValue(before, section, key, value);
    QCOMPARE(got, after);
    // What was written reads back (leading blanks dropped, trailing ones trimmed on read).
    QCOMPARE(IniText(got).value(section, key).value_or("<missing>"),
             IniText::trimmed(value).toByteArray());
}

void TestIniText::writeReportsChange()
{
    IniText text(QByteArray("[S]\nk=1\n"));
    QVERIFY(!text.setValue("S", "k", "1"));
    QVERIFY(text.setValue("S", "k", "2"));
    QVERIFY(text.setValue("S", "n", "2"));
    QVERIFY(text.setValue("T", "n", "2"));
    QCOMPARE(text.bytes(), QByteArray("[S]\nk=2\nn=2\n[T]\nn=2\n"));
}

void TestIniText::namesEqualFoldsAsciiOnly()
{
    QVERIFY(IniText::namesEqual("TCP/IP_In", "tcp/ip_in"));
    QVERIFY(!IniText::namesEqual("\xC1", "\xE1"));
    QVERIFY(!IniText::namesEqual("a", "ab"));
    QVERIFY(!IniText::namesEqual("@", "`")); // not letters
}

QTEST_APPLESS_MAIN(TestIniText)
#include "tst_initext.moc"
