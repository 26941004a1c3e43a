#include "agent/agentsettings.h"
#include "agent/inifile.h"
#include "common/testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Sections [Set], [Log] and [Timer] as start-up reads them.
class TestAgentSettings : public QObject
{
    Q_OBJECT
private slots:
    void noFileGivesDefaults();
    void fixtureGivesItsValues();
    void oddValues();
    void portDecodedFromWindows1250();
    void writeLogSwitchesLeavesExtent();
    void writeLogSwitchesCreatesFile();
    void writeLogSwitchesFailure();
};

void TestAgentSettings::noFileGivesDefaults()
{
    QTemporaryDir dir;
    const AgentSettings s = readAgentSettings(IniFile(dir.filePath(QStringLiteral("Agent.ini"))));
    QCOMPARE(s.PortText, QStringLiteral("COM2:9600,N,8,1"));
    QCOMPARE(s.log.Com_In, true);
    QCOMPARE(s.log.Com_PureIn, true);
    QCOMPARE(s.log.Com_Out, false);
    QCOMPARE(s.log.Com_LocOut, false);
    QCOMPARE(s.log.TcpIp_In, true);
    QCOMPARE(s.log.TcpIp_Out, false);
    QCOMPARE(s.log.Extent, false);
    QCOMPARE(s.Interval, 100);
    QCOMPARE(s.MSGInterval, 11000);
    QCOMPARE(s.TrapInterval, 5000);
    QCOMPARE(s.ANInterval, 250);
    QCOMPARE(s.MaxTick, 9);
    QCOMPARE(s.MaxError, 6);
    QCOMPARE(s.MaxErrorTick, 600);
    QCOMPARE(s.MaxCache, 110);
    QCOMPARE(s.Stackable, false);
}

void TestAgentSettings::fixtureGivesItsValues()
{
    const AgentSettings s =
        readAgentSettings(IniFile(testDataDir() + QStringLiteral("/agent.ini")));
    QCOMPARE(s.PortText, QStringLiteral("COM5:19200,E,7,2"));
    QCOMPARE(s.log.Com_In, false);
    QCOMPARE(s.log.Com_PureIn, false);
    QCOMPARE(s.log.Com_Out, true);
    QCOMPARE(s.log.Com_LocOut, true); // stored as 2
    QCOMPARE(s.log.TcpIp_In, false);
    QCOMPARE(s.log.TcpIp_Out, true);
    QCOMPARE(s.log.Extent, true); // stored as -1
    QCOMPARE(s.Interval, 50);
    QCOMPARE(s.MSGInterval, 10000); // 0x2710
    QCOMPARE(s.TrapInterval, 4000);
    QCOMPARE(s.ANInterval, 0);
    QCOMPARE(s.MaxTick, 12);
    QCOMPARE(s.MaxError, 3);
    QCOMPARE(s.MaxErrorTick, 300);
    QCOMPARE(s.MaxCache, 32); // $20
    QCOMPARE(s.Stackable, true);
}

void TestAgentSettings::oddValues()
{
    const AgentSettings s = readAgentSettings(IniFile(testDataDir() + QStringLiteral("/odd.ini")));
    QCOMPARE(s.PortText, QString()); // present but empty: the empty text, not the default
    QVERIFY(!s.PortText.isNull() || s.PortText.isEmpty());
    QCOMPARE(s.MaxCache, 110);         // abc
    QCOMPARE(s.Stackable, false);      // yes: default
    QCOMPARE(s.log.Com_In, true);      // yes: default on
    QCOMPARE(s.log.Com_PureIn, true);  // 2 is on
    QCOMPARE(s.log.Com_Out, false);    // empty: default
    QCOMPARE(s.log.Com_LocOut, false); // missing
    QCOMPARE(s.log.TcpIp_In, true);    // missing
    QCOMPARE(s.log.TcpIp_Out, true);   // "1" quoted, blanks around '='
    QCOMPARE(s.Interval, 100);         // 0x without digits
    QCOMPARE(s.MaxTick, 9);            // 12abc
    QCOMPARE(s.MaxError, 7);           // +7
    QCOMPARE(s.MaxErrorTick, -5);
}

void TestAgentSettings::portDecodedFromWindows1250()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Agent.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Set]\r\nPort=COM1:\x8a\x9e\x80\r\n");
    file.close();
    QCOMPARE(readAgentSettings(IniFile(path)).PortText, QStringLiteral("COM1:\u0160\u017e\u20ac"));
}

void TestAgentSettings::writeLogSwitchesLeavesExtent()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Agent.ini"));
    QVERIFY(QFile::copy(testDataDir() + QStringLiteral("/agent.ini"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray before = fileBytes(path);

    IniFile ini(path);
    LogSwitches log;
    log.Com_In = true;     // was 0
    log.Com_PureIn = true; // was 0
    log.Com_Out = false;   // was 1
    log.Com_LocOut = true; // was 2: rewritten as 1
    log.TcpIp_In = true;   // was 0
    log.TcpIp_Out = true;  // was 1: unchanged
    log.Extent = false;    // never written
    writeLogSwitches(ini, log);

    QByteArray expected = before;
    expected.replace("Com_In=0\r\nCom_PureIn=0\r\nCom_Out=1\r\nCom_LocOut=2\r\nTCP/IP_In=0\r\n",
                     "Com_In=1\r\nCom_PureIn=1\r\nCom_Out=0\r\nCom_LocOut=1\r\nTCP/IP_In=1\r\n");
    QCOMPARE(fileBytes(path), expected);
    QCOMPARE(readAgentSettings(ini).log.Extent, true);
}

void TestAgentSettings::writeLogSwitchesCreatesFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Agent.ini"));
    IniFile ini(path);
    writeLogSwitches(ini, LogSwitches{});
    QCOMPARE(fileBytes(path), QByteArray("[Log]\r\nCom_In=1\r\nCom_PureIn=1\r\nCom_Out=0\r\n"
                                         "Com_LocOut=0\r\nTCP/IP_In=1\r\nTCP/IP_Out=0\r\n"));
}

void TestAgentSettings::writeLogSwitchesFailure()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/Agent.ini"));
    IniFile ini(path);
    QString error;
    try {
        writeLogSwitches(ini, LogSwitches{});
    } catch (const IniError& e) {
        error = QString::fromUtf8(e.what());
    }
    QCOMPARE(error, QStringLiteral("Unable to write to ") + path);
}

QTEST_GUILESS_MAIN(TestAgentSettings)
#include "tst_agentsettings.moc"
