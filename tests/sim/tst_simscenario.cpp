// The simulator's scenario reader: a full file, the TRAP line form, and rejected input.

#include "common/testfiles.h"
#include "scenario.h"

#include <QTest>

class TestSimScenario : public QObject
{
    Q_OBJECT
private slots:
    void loadsFullScenario();
    void trapEntry_data();
    void trapEntry();
    void rejects_data();
    void rejects();
};

void TestSimScenario::loadsFullScenario()
{
    QString error;
    const auto s = Scenario::load(testDataDir() + "/test.ini", &error);
    QVERIFY2(s, qPrintable(error));
    QCOMPARE(s->numbers, QStringList({"201", "0*#", "31", "SAD"}));
    QCOMPARE(s->lineStatus, QList<uint8_t>({0, 1, 2}));
    QCOMPARE(s->errors, (QMap<uint8_t, uint8_t>{{23, 4}}));
    QCOMPARE(s->traps.size(), 1);
    QCOMPARE(s->traps[0].index, 2);
    QCOMPARE(s->traps[0].code, uint8_t('L'));
    QCOMPARE(s->traps[0].recipient, "jan");
    QCOMPARE(s->traps[0].subject, "Porucha");
    QCOMPARE(s->traps[0].body, QString::fromUtf8("Škoda na lince 21"));
    QCOMPARE(s->periodicSeconds, 0);
    QCOMPARE(s->periodicIndex, 3);
    QCOMPARE(s->periodicCode, uint8_t('Q'));
    QCOMPARE(s->periodicRecipient, "777123456");
    QCOMPARE(s->periodicBodies,
             QStringList({QString::fromUtf8("první"), QString::fromUtf8("druhá")}));
}

void TestSimScenario::trapEntry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("letter code") << "1 L jan|Porucha|Linka 21" << true << 1 << int('L')
                                 << QStringList{"jan", "Porucha", "Linka 21"};
    QTest::newRow("numeric code") << "3 88 a|b|c" << true << 3 << 88 << QStringList{"a", "b", "c"};
    QTest::newRow("code 0, empty fields") << "0 0 ||" << true << 0 << 0 << QStringList{"", "", ""};
    QTest::newRow("blanks kept inside the body")
        << "2 V  x | y |  a  b " << true << 2 << int('V') << QStringList{"x", "y", "a  b"};
    QTest::newRow("index 4") << "4 L a|b|c" << false << 0 << 0 << QStringList{};
    QTest::newRow("two-letter code") << "0 LL a|b|c" << false << 0 << 0 << QStringList{};
    QTest::newRow("code 256") << "0 256 a|b|c" << false << 0 << 0 << QStringList{};
    QTest::newRow("non-ASCII code")
        << QString::fromUtf8("0 Š a|b|c") << false << 0 << 0 << QStringList{};
    QTest::newRow("two fields") << "0 L a|b" << false << 0 << 0 << QStringList{};
    QTest::newRow("four fields") << "0 L a|b|c|d" << false << 0 << 0 << QStringList{};
    QTest::newRow("no fields") << "0 L" << false << 0 << 0 << QStringList{};
}

void TestSimScenario::trapEntry()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);

    QString error;
    const auto trap = parseTrapEntry(text, &error);
    QCOMPARE(bool(trap), valid);
    if (!valid) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QFETCH(int, index);
    QFETCH(int, code);
    QFETCH(QStringList, fields);
    QCOMPARE(trap->index, index);
    QCOMPARE(int(trap->code), code);
    QCOMPARE(QStringList({trap->recipient, trap->subject, trap->body}), fields);
}

void TestSimScenario::rejects_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");

    QTest::newRow("key before a section")
        << QByteArray("numbers = 201\n") << "line 1: KEY = VALUE before the first section";
    QTest::newRow("no equals sign")
        << QByteArray("# c\n[extensions]\nnumbers 201\n") << "line 3: expected KEY = VALUE";
    QTest::newRow("unknown section")
        << QByteArray("[lines]\nx = 1\n") << "line 2: unknown section [lines]";
    QTest::newRow("unclosed section")
        << QByteArray("[extensions\n") << "line 1: unclosed section name";
    QTest::newRow("unknown key") << QByteArray("[Extensions]\nNumbers = 1\nlines = 2\n")
                                 << "line 3: unknown key \"lines\" in [extensions]";
    QTest::newRow("four-digit number") << QByteArray("[extensions]\nnumbers = 201 2014\n")
                                       << "line 2: bad extension number \"2014\"";
    QTest::newRow("letter outside the alphabet")
        << QByteArray("[extensions]\nnumbers = 2E\n") << "line 2: bad extension number \"2E\"";
    QTest::newRow("status above 255")
        << QByteArray("[extensions]\nstatus = 0 256\n") << "line 2: bad status byte \"256\"";
    QTest::newRow("error without code")
        << QByteArray("[errors]\n14 = x\n") << "line 2: expected OBJECT = CODE";
    QTest::newRow("TRAP index 5") << QByteArray("[traps]\ntrap = 5 L a|b|c\n")
                                  << "line 2: TRAP index must be 0 to 3";
    QTest::newRow("negative interval")
        << QByteArray("[periodic]\ninterval = -1\n") << "line 2: bad interval \"-1\"";
    QTest::newRow("periodic code")
        << QByteArray("[periodic]\ncode = LL\n") << "line 2: bad TRAP code \"LL\"";
}

void TestSimScenario::rejects()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);

    QString message;
    QVERIFY(!Scenario::parse(text, &message));
    QCOMPARE(message, error);
}

QTEST_GUILESS_MAIN(TestSimScenario)
#include "tst_simscenario.moc"
