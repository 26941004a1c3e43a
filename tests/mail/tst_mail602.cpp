#include "agentvxdouble.h"
#include "mailtesttools.h"

#include "agent/inifile.h"
#include "mail/mail602.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString NoLibrary = QStringLiteral("/nonexistent/libagentvx-none.so");

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The settings as one list, in the order they are read, the address type as a text.
QList<QByteArray> settingsOf(const TMail602& m)
{
    const char type = char(m.TypAdresyPrijemce);
    return {m.CestaKeKonfiguraciMail602,
            m.Uzivatel,
            m.Heslo,
            m.CestaKPracovnimuAdresari,
            m.AdresaPrijemce,
            m.TypAdresyPrijemce ? QByteArray(&type, 1) : QByteArray(),
            m.Subject,
            m.ZpravaComOn,
            m.ZpravaComOff};
}

// Key names of one section of an INI text, in file order.
QList<QByteArray> keysOf(const QByteArray& ini, const QByteArray& section)
{
    QList<QByteArray> keys;
    bool inside = false;
    for (QByteArray line : ini.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('['))
            inside = line == '[' + section + ']';
        else if (inside && line.contains('='))
            keys.append(line.left(line.indexOf('=')));
    }
    return keys;
}

} // namespace

class TestMail602 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void loading_data();
    void loading();
    void loadsFromProgramFolder();
    void initializeAndShutdown_data();
    void initializeAndShutdown();
    void statusMessage_data();
    void statusMessage();
    void sendMailNotReadyCallsNothing();
    void loadSettings_data();
    void loadSettings();
    void workDirectoryDefaultsToTemp();
    void debugLevel_data();
    void debugLevel();
    void saveWritesKeysInOrderAndReadsBack();
    void passwordRoundTrip_data();
    void passwordRoundTrip();
    void passwordEveryByteRoundTrips();

private:
    QTemporaryDir m_dir;
    QString m_ini;
};

void TestMail602::init()
{
    QVERIFY(m_dir.isValid());
    m_ini = m_dir.filePath(QStringLiteral("Agent.ini"));
    QFile::remove(m_ini);
}

void TestMail602::loading_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<TMail602::LibraryState>("state");

    QTest::newRow("complete library")
        << QStringLiteral(AGENTVX_DOUBLE_PATH) << TMail602::LibraryState::Ready;
    QTest::newRow("SetDebugLevel missing")
        << QStringLiteral(AGENTVX_DOUBLE_INCOMPLETE_PATH) << TMail602::LibraryState::Incomplete;
    QTest::newRow("no such file") << NoLibrary << TMail602::LibraryState::NotLoaded;
}

// Whatever the state, a wrapper that is not ready calls nothing in the library.
void TestMail602::loading()
{
    QFETCH(QString, file);
    QFETCH(TMail602::LibraryState, state);

    AgentvxDouble lib(file == NoLibrary ? QStringLiteral(AGENTVX_DOUBLE_PATH) : file);
    QVERIFY(lib.isValid());
    EventLog log;
    LogRecorder recorder(log);
    TData data = makeData({"21"});
    {
        TMail602 mail(log, file);
        QCOMPARE(mail.state(), state);
        QCOMPARE(mail.LibraryReady(), state == TMail602::LibraryState::Ready);
        if (mail.LibraryReady())
            return;
        mail.ZpravaComOff = "x";
        mail.Initialize();
        mail.SendStatusMessage(smComOff);
        QVERIFY(!mail.ReadMailboxChanges(data));
        QVERIFY(!mail.SendMail("a", 'L', "b", "c", 0x31).has_value());
        mail.Shutdown();
    }
    QVERIFY(lib.calls().isEmpty());
    QVERIFY(recorder.lines().isEmpty());
}

// Without an override the library is looked for by its bare name in the program's folder.
void TestMail602::loadsFromProgramFolder()
{
    const QString copy = m_dir.filePath(QStringLiteral("libagentvx.so"));
    QFile::remove(copy);
    QVERIFY(QFile::copy(QStringLiteral(AGENTVX_DOUBLE_PATH), copy));
    AgentvxDouble lib(copy);
    QVERIFY(lib.isValid());
    EventLog log;

    TMail602 mail(log, QString(), m_dir.path());
    QVERIFY(mail.LibraryReady());
    mail.Initialize();
    QCOMPARE(lib.calls().size(), 2); // SetDebugLevel and InicializaceVXKomunikace reached it
}

void TestMail602::initializeAndShutdown_data()
{
    QTest::addColumn<int>("initResult");
    QTest::addColumn<bool>("ready");
    QTest::addColumn<QList<QByteArray>>("calls");

    const QByteArray setDebug = "SetDebugLevel(255)";
    const QByteArray initCall =
        "InicializaceVXKomunikace(c:\\m602\\cfg|oper\xE1tor|c:\\work|tajn\xE9)";
    QTest::newRow("accepted") << 0 << true
                              << QList<QByteArray>{setDebug, initCall,
                                                   "DeInicializaceVXKomunikace()"};
    QTest::newRow("refused with 5") << 5 << false << QList<QByteArray>{setDebug, initCall};
}

void TestMail602::initializeAndShutdown()
{
    QFETCH(int, initResult);
    QFETCH(bool, ready);
    QFETCH(QList<QByteArray>, calls);

    writeFile(m_ini, "[M602]\r\nCestaKeKonfiguraciMail602=c:\\m602\\cfg\r\nUzivatel=oper\xE1tor\r\n"
                     "Heslo=" +
                         TMail602::StoredPassword("tajn\xE9") +
                         "\r\nCestaKPracovnimuAdresari=c:\\work\r\nDebug=ff\r\n");
    AgentvxDouble lib;
    lib.setInitResult(initResult);
    EventLog log;
    TMail602 mail(log, lib.path());
    mail.LoadSettings(IniFile(m_ini));

    mail.Initialize();
    QCOMPARE(mail.LibraryReady(), ready);
    mail.ZpravaComOn = "zpet";
    mail.AdresaPrijemce = "dispecink";
    if (!ready)
        mail.SendStatusMessage(smComOn); // a refused library is never called again
    mail.Shutdown();
    mail.Shutdown(); // the second changes nothing
    QVERIFY(!mail.LibraryReady());

    QCOMPARE(lib.calls(), calls);
}

void TestMail602::statusMessage_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("comOn");
    QTest::addColumn<QByteArray>("comOff");
    QTest::addColumn<int>("sendResult");
    QTest::addColumn<QList<QByteArray>>("calls");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("exchange unreachable, accepted")
        << int(smComOff) << QByteArray("Linka opet v provozu") << QByteArray("Linka mimo provoz")
        << 0 << QList<QByteArray>{"PosliStavovouZpravu(dispecink|76|Ustredna|Linka mimo provoz|1)"}
        << QStringList{"Mail dispecink > Linka mimo provoz"};
    QTest::newRow("communication restored, accepted")
        << int(smComOn) << QByteArray("Linka opet v provozu") << QByteArray("Linka mimo provoz")
        << 0
        << QList<QByteArray>{"PosliStavovouZpravu(dispecink|76|Ustredna|Linka opet v provozu|1)"}
        << QStringList{"Mail dispecink > Linka opet v provozu"};
    QTest::newRow("Windows-1250 text shown decoded")
        << int(smComOff) << QByteArray() << QByteArray("\xDAst\xF8\x65\x64na mimo provoz") << 0
        << QList<QByteArray>{"PosliStavovouZpravu(dispecink|76|Ustredna|\xDAst\xF8\x65\x64na mimo "
                             "provoz|1)"}
        << QStringList{"Mail dispecink > Ústředna mimo provoz"};
    QTest::newRow("refused by the library: no line")
        << int(smComOff) << QByteArray() << QByteArray("Linka mimo provoz") << 3
        << QList<QByteArray>{"PosliStavovouZpravu(dispecink|76|Ustredna|Linka mimo provoz|1)"}
        << QStringList{};
    QTest::newRow("empty ZpravaComOff sends nothing")
        << int(smComOff) << QByteArray("Linka opet v provozu") << QByteArray() << 0
        << QList<QByteArray>{} << QStringList{};
    QTest::newRow("empty ZpravaComOn sends nothing")
        << int(smComOn) << QByteArray() << QByteArray("Linka mimo provoz") << 0
        << QList<QByteArray>{} << QStringList{};
    QTest::newRow("unknown kind") << 3 << QByteArray("a") << QByteArray("b") << 0
                                  << QList<QByteArray>{} << QStringList{};
}

void TestMail602::statusMessage()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, comOn);
    QFETCH(QByteArray, comOff);
    QFETCH(int, sendResult);
    QFETCH(QList<QByteArray>, calls);
    QFETCH(QStringList, lines);

    AgentvxDouble lib;
    EventLog log;
    LogRecorder recorder(log);
    TMail602 mail(log, lib.path());
    mail.Initialize();
    mail.AdresaPrijemce = "dispecink";
    mail.TypAdresyPrijemce = 'L';
    mail.Subject = "Ustredna";
    mail.ZpravaComOn = comOn;
    mail.ZpravaComOff = comOff;
    lib.reset();
    lib.setSendResult(sendResult);

    mail.SendStatusMessage(kind);

    QCOMPARE(lib.calls(), calls);
    QCOMPARE(recorder.lines(), lines);
}

void TestMail602::sendMailNotReadyCallsNothing()
{
    AgentvxDouble lib;
    lib.setInitResult(1);
    EventLog log;
    TMail602 mail(log, lib.path());
    mail.Initialize();
    lib.reset();
    QVERIFY(!mail.SendMail("jan", 'L', "s", "t", 0x31).has_value());
    QVERIFY(lib.calls().isEmpty());
}

void TestMail602::loadSettings_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QList<QByteArray>>("settings");
    QTest::addColumn<uint>("debug");

    QTest::newRow("every key")
        << QByteArray("[M602]\nCestaKeKonfiguraciMail602=c:\\m\\cfg\nUzivatel=agent\n"
                      "Heslo=wzlsp\nCestaKPracovnimuAdresari=c:\\w\nDebug=ff\n"
                      "[Trapy]\nAdresaPrijemce=dispecink\nTypAdresyPrijemce=Lx\nSubject=S\n"
                      "ZpravaComOn=On\nZpravaComOff=Off\n")
        << QList<QByteArray>{"c:\\m\\cfg", "agent", "heslo", "c:\\w", "dispecink",
                             "L",          "S",     "On",    "Off"}
        << 255u;
    QTest::newRow("empty address type is none")
        << QByteArray("[M602]\nCestaKPracovnimuAdresari=w\n[Trapy]\nTypAdresyPrijemce=\n")
        << QList<QByteArray>{"", "", "", "w", "", "", "", "", ""} << 0u;
    QTest::newRow("long values cut to their fields")
        << QByteArray("[M602]\nCestaKeKonfiguraciMail602=" + QByteArray(150, 'c') +
                      "\nUzivatel=" + QByteArray(101, 'u') +
                      "\nHeslo=" + TMail602::StoredPassword(QByteArray(25, 'h')) +
                      "\nCestaKPracovnimuAdresari=" + QByteArray(120, 'w') +
                      "\n[Trapy]\nAdresaPrijemce=" + QByteArray(100, 'a') +
                      "\nSubject=" + QByteArray(300, 's') + "\nZpravaComOn=" + QByteArray(99, 'n') +
                      "\nZpravaComOff=" + QByteArray(250, 'f') + "\n")
        << QList<QByteArray>{QByteArray(100, 'c'), QByteArray(100, 'u'), QByteArray(20, 'h'),
                             QByteArray(100, 'w'), QByteArray(99, 'a'),  "",
                             QByteArray(99, 's'),  QByteArray(99, 'n'),  QByteArray(199, 'f')}
        << 0u;
}

void TestMail602::loadSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(QList<QByteArray>, settings);
    QFETCH(uint, debug);

    writeFile(m_ini, ini);
    EventLog log;
    TMail602 mail(log, NoLibrary);
    mail.LoadSettings(IniFile(m_ini));

    QCOMPARE(settingsOf(mail), settings);
    QCOMPARE(mail.Debug, debug);
}

void TestMail602::workDirectoryDefaultsToTemp()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()) + '/');
    EventLog log;
    TMail602 mail(log, NoLibrary);
    mail.LoadSettings(IniFile(m_ini)); // no file at all
    qputenv("TMPDIR", saved);

    QCOMPARE(mail.CestaKPracovnimuAdresari, QFile::encodeName(QDir(temp.path()).canonicalPath()));
    QCOMPARE(settingsOf(mail).count(QByteArray()), 8);
}

void TestMail602::debugLevel_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("level");

    QTest::newRow("lower case") << QByteArray("ff") << 255u;
    QTest::newRow("upper case") << QByteArray("1F") << 31u;
    QTest::newRow("0x prefix") << QByteArray("0x1f") << 31u;
    QTest::newRow("stops at the first other character") << QByteArray("12zz") << 0x12u;
    QTest::newRow("not a number") << QByteArray("zz") << 0u;
    QTest::newRow("empty") << QByteArray() << 0u;
    QTest::newRow("32 bits") << QByteArray("FFFFFFFF") << 0xFFFFFFFFu;
}

void TestMail602::debugLevel()
{
    QFETCH(QByteArray, text);
    QFETCH(uint, level);
    QCOMPARE(TMail602::ParseDebugLevel(text), level);
}

void TestMail602::saveWritesKeysInOrderAndReadsBack()
{
    EventLog log;
    TMail602 mail(log, NoLibrary);
    mail.CestaKeKonfiguraciMail602 = "c:\\m602\\mail.cfg";
    mail.CestaKPracovnimuAdresari = "c:\\temp";
    mail.Uzivatel = "agent";
    mail.Heslo = "tajne heslo";
    mail.AdresaPrijemce = "dispecink";
    mail.TypAdresyPrijemce = 0;
    mail.Subject = "Ustredna";
    mail.ZpravaComOn = "Obnova";
    mail.ZpravaComOff = "Porucha";
    mail.Debug = 7;

    IniFile ini(m_ini);
    mail.SaveMailSettings(ini);
    mail.SaveTrapSettings(ini);
    const QByteArray first = readFile(m_ini);
    QCOMPARE(keysOf(first, "M602"),
             (QList<QByteArray>{"CestaKeKonfiguraciMail602", "CestaKPracovnimuAdresari", "Uzivatel",
                                "Heslo"}));
    QCOMPARE(keysOf(first, "Trapy"), (QList<QByteArray>{"AdresaPrijemce", "TypAdresyPrijemce",
                                                        "Subject", "ZpravaComOn", "ZpravaComOff"}));
    QVERIFY2(!first.contains("tajne"), "the password is not stored plain");
    QCOMPARE(mail.Heslo, QByteArray("tajne heslo"));

    mail.SaveMailSettings(ini);
    mail.SaveTrapSettings(ini);
    QCOMPARE(readFile(m_ini), first);

    TMail602 again(log, NoLibrary);
    again.LoadSettings(ini);
    QCOMPARE(settingsOf(again), settingsOf(mail));
    QCOMPARE(again.Debug, 0u); // never written
}

// Passwords of up to 20 characters that the INI rules could damage: scrambled to blanks
// or quotes at the ends, or to bytes a line cannot hold.
void TestMail602::passwordRoundTrip_data()
{
    QTest::addColumn<QByteArray>("password");

    QTest::newRow("letters") << QByteArray("heslo");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("20 characters") << QByteArray("abcdefghij0123456789");
    QTest::newRow("Czech letters") << QByteArray("\x9Elu\x9Do\x75\xE8k\xFD k\xF9\xF2");
    QTest::newRow("plain blanks at the ends") << QByteArray(" ab ");
    QTest::newRow("scrambles to blanks at the ends") << QByteArray("?x?");
    QTest::newRow("scrambles to a blank at one end") << QByteArray("pass?");
    QTest::newRow("scrambles to double quotes") << QByteArray("=pass=");
    QTest::newRow("scrambles to apostrophes") << QByteArray("8abc8");
    QTest::newRow("plain quotes") << QByteArray("\"ab\"");
    QTest::newRow("scrambles to a tab at the end") << QByteArray("x\x16");
    QTest::newRow("scrambles to zero, LF, CR") << QByteArray("a\x1F"
                                                             "b\x15"
                                                             "c\x12"
                                                             "d");
    QTest::newRow("scrambles to the escape byte") << QByteArray("\x0F\x0F"
                                                                "a\x0F");
}

void TestMail602::passwordRoundTrip()
{
    QFETCH(QByteArray, password);

    EventLog log;
    TMail602 mail(log, NoLibrary);
    mail.Heslo = password;
    IniFile ini(m_ini);
    mail.SaveMailSettings(ini);
    QCOMPARE(readFile(m_ini).count('\n'), 5); // the header and four keys: no line broken

    TMail602 again(log, NoLibrary);
    again.LoadSettings(ini);
    QCOMPARE(again.Heslo, password);
}

void TestMail602::passwordEveryByteRoundTrips()
{
    EventLog log;
    IniFile ini(m_ini);
    TMail602 mail(log, NoLibrary);
    for (int b = 1; b < 256; ++b) {
        const QByteArray edge(1, char(b));
        mail.Heslo = edge + "x" + edge;
        mail.SaveMailSettings(ini);
        TMail602 again(log, NoLibrary);
        again.LoadSettings(ini);
        QVERIFY2(again.Heslo == mail.Heslo, qPrintable(QString::number(b)));
    }
}

QTEST_GUILESS_MAIN(TestMail602)
#include "tst_mail602.moc"
