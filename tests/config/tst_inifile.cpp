#include "agent/inifile.h"
#include "common/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

void putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QString errorOf(const std::function<void()>& write)
{
    try {
        write();
    } catch (const IniError& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("<no error>");
}

} // namespace

// The file shell: reads and writes go to the file as it is at each call.
class TestIniFile : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void toInteger_data();
    void toInteger();
    void readBool_data();
    void readBool();

    void missingFileReadsDefaults();
    void readsFileAsItIsNow();
    void fixtureReads();
    void writeExistingKeyKeepsOtherLines();
    void writeNewKeyKeepsOtherLines();
    void writeNewSectionKeepsOtherLines();
    void writeSameValueLeavesFileAlone();
    void writeMissingFileCreatesIt();
    void writeIntegerAndBool();
    void writeKeepsPermissions();
    void writeInReadOnlyFolder();
    void writeThroughSymlink();
    void writeUnderRegularFileFails();
    void writeInMissingDirectoryFails();
    void writeReadOnlyFileFails();
    void failingWriteStopsSequence();

    void pathBesideProgram_data();
    void pathBesideProgram();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString tmp(const QString& name) const { return m_dir->filePath(name); }
    QString copyLayout();
};

void TestIniFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestIniFile::copyLayout()
{
    const QString path = tmp(QStringLiteral("Agent.ini"));
    QFile::copy(testDataDir() + QStringLiteral("/layout.ini"), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

void TestIniFile::toInteger_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");

    QTest::newRow("decimal") << QByteArray("110") << true << 110;
    QTest::newRow("zero") << QByteArray("0") << true << 0;
    QTest::newRow("leading zeros") << QByteArray("007") << true << 7;
    QTest::newRow("negative") << QByteArray("-5") << true << -5;
    QTest::newRow("plus") << QByteArray("+5") << true << 5;
    QTest::newRow("0x20") << QByteArray("0x20") << true << 32;
    QTest::newRow("0X1f") << QByteArray("0X1f") << true << 31;
    QTest::newRow("$20") << QByteArray("$20") << true << 32;
    QTest::newRow("$ff lower") << QByteArray("$ff") << true << 255;
    QTest::newRow("-$10") << QByteArray("-$10") << true << -16;
    QTest::newRow("max") << QByteArray("2147483647") << true << 2147483647;
    QTest::newRow("min") << QByteArray("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("$FFFFFFFF is -1") << QByteArray("$FFFFFFFF") << true << -1;
    QTest::newRow("0x80000000") << QByteArray("0x80000000") << true << int(-2147483647 - 1);
    QTest::newRow("too big") << QByteArray("2147483648") << false << 0;
    QTest::newRow("too long hex") << QByteArray("$100000000") << false << 0;
    QTest::newRow("empty") << QByteArray("") << false << 0;
    QTest::newRow("abc") << QByteArray("abc") << false << 0;
    QTest::newRow("trailing junk") << QByteArray("12abc") << false << 0;
    QTest::newRow("inner blank") << QByteArray("1 2") << false << 0;
    QTest::newRow("sign only") << QByteArray("-") << false << 0;
    QTest::newRow("0x alone") << QByteArray("0x") << false << 0;
    QTest::newRow("$ alone") << QByteArray("$") << false << 0;
    QTest::newRow("bad hex digit") << QByteArray("$1G") << false << 0;
    QTest::newRow("hex without prefix") << QByteArray("1F") << false << 0;
    QTest::newRow("yes") << QByteArray("yes") << false << 0;
    QTest::newRow("decimal point") << QByteArray("1.5") << false << 0;
}

void TestIniFile::toInteger()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    const std::optional<int> got = IniFile::toInteger(text);
    QCOMPARE(got.has_value(), ok);
    if (ok)
        QCOMPARE(*got, value);
}

void TestIniFile::readBool_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");

    QTest::newRow("1") << QByteArray("1") << false << true;
    QTest::newRow("0") << QByteArray("0") << true << false;
    QTest::newRow("2 is on") << QByteArray("2") << false << true;
    QTest::newRow("-1 is on") << QByteArray("-1") << false << true;
    QTest::newRow("0x0 is off") << QByteArray("0x0") << true << false;
    QTest::newRow("yes gives default on") << QByteArray("yes") << true << true;
    QTest::newRow("yes gives default off") << QByteArray("yes") << false << false;
    QTest::newRow("true gives default") << QByteArray("true") << false << false;
    QTest::newRow("empty gives default on") << QByteArray("") << true << true;
    QTest::newRow("empty gives default off") << QByteArray("") << false << false;
    QTest::newRow("quoted 0") << QByteArray("\"0\"") << true << false;
}

void TestIniFile::readBool()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    const QString path = tmp(QStringLiteral("b.ini"));
    putFile(path, "[Log]\r\nCom_In=" + stored + "\r\n");
    QCOMPARE(IniFile(path).ReadBool("Log", "Com_In", defaultValue), expected);
}

void TestIniFile::missingFileReadsDefaults()
{
    const IniFile ini(tmp(QStringLiteral("none.ini")));
    QVERIFY(!ini.exists());
    QCOMPARE(ini.ReadString("Set", "Port", "COM2:9600,N,8,1"), QByteArray("COM2:9600,N,8,1"));
    QCOMPARE(ini.ReadInteger("Set", "MaxCache", 110), 110);
    QCOMPARE(ini.ReadBool("Log", "Com_In", true), true);
    QCOMPARE(ini.ReadBool("Log", "Com_Out", false), false);
    QVERIFY(!QFile::exists(ini.path())); // reading never creates the file
}

void TestIniFile::readsFileAsItIsNow()
{
    const QString path = tmp(QStringLiteral("a.ini"));
    const IniFile ini(path);
    QCOMPARE(ini.ReadInteger("Set", "MaxCache", 110), 110);
    putFile(path, "[Set]\nMaxCache=5\n");
    QVERIFY(ini.exists());
    QCOMPARE(ini.ReadInteger("Set", "MaxCache", 110), 5);
    putFile(path, "[Set]\nMaxCache=6\n");
    QCOMPARE(ini.ReadInteger("Set", "MaxCache", 110), 6);
    QFile::remove(path);
    QCOMPARE(ini.ReadInteger("Set", "MaxCache", 110), 110);
}

void TestIniFile::fixtureReads()
{
    const IniFile ini(testDataDir() + QStringLiteral("/layout.ini"));
    QVERIFY(ini.exists());
    QCOMPARE(ini.ReadString("set", "PORT", "x"), QByteArray("COM1:9600,N,8,1"));
    QCOMPARE(ini.ReadInteger("Set", "MaxCache", 110), 64);
    QCOMPARE(ini.ReadBool("Log", "Com_In", true), false);
    QCOMPARE(ini.ReadBool("Log", "Com_Out", false), true);
    // "Ústředna" in Windows-1250, its quotes removed.
    QCOMPARE(ini.ReadString("Trapy", "Subject", ""), QByteArray("\xDA"
                                                                "st\xF8"
                                                                "edna"));
}

void TestIniFile::writeExistingKeyKeepsOtherLines()
{
    const QString path = copyLayout();
    const QByteArray before = fileBytes(path);
    IniFile ini(path);
    ini.WriteString("SET", "maxcache", "  0x20 ");
    QByteArray expected = before;
    expected.replace("  MaxCache = 0x40   \r\n", "MaxCache=0x20 \r\n");
    QCOMPARE(fileBytes(path), expected);
    QCOMPARE(ini.ReadInteger("Set", "MaxCache", 110), 32);
}

void TestIniFile::writeNewKeyKeepsOtherLines()
{
    const QString path = copyLayout();
    const QByteArray before = fileBytes(path);
    IniFile ini(path);
    ini.WriteString("Log", "TCP/IP_In", "1");
    QByteArray expected = before;
    expected.replace("Com_Out=1\r\n", "Com_Out=1\r\nTCP/IP_In=1\r\n");
    QCOMPARE(fileBytes(path), expected);

    // A key of [Set] goes after its last line, before the blank line and [Log].
    ini.WriteString("Set", "Stackable", "0");
    expected.replace("= 0x40   \r\n", "= 0x40   \r\nStackable=0\r\n");
    QCOMPARE(fileBytes(path), expected);
}

void TestIniFile::writeNewSectionKeepsOtherLines()
{
    const QString path = copyLayout();
    const QByteArray before = fileBytes(path);
    IniFile ini(path);
    ini.WriteString("Timer", "Interval", "200");
    QCOMPARE(fileBytes(path), before + "[Timer]\r\nInterval=200\r\n");
}

void TestIniFile::writeSameValueLeavesFileAlone()
{
    const QString path = copyLayout();
    const QByteArray before = fileBytes(path);
#ifdef Q_OS_UNIX
    struct stat st
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    const ino_t inode = st.st_ino;
#endif
    IniFile ini(path);
    ini.WriteString("Trapy", "Subject",
                    "\xDA"
                    "st\xF8"
                    "edna");
    ini.WriteString("Set", "MaxCache", "0x40");
    ini.WriteBool("Log", "Com_Out", true);
    QCOMPARE(fileBytes(path), before);
#ifdef Q_OS_UNIX
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_ino, inode); // not even rewritten
#endif
}

void TestIniFile::writeMissingFileCreatesIt()
{
    const QString path = tmp(QStringLiteral("new.ini"));
    IniFile ini(path);
    ini.WriteString("Set", "Port", "COM3:9600,N,8,1");
    QCOMPARE(fileBytes(path), QByteArray("[Set]\r\nPort=COM3:9600,N,8,1\r\n"));
    ini.WriteString("Log", "Com_In", "0");
    QCOMPARE(fileBytes(path), QByteArray("[Set]\r\nPort=COM3:9600,N,8,1\r\n[Log]\r\nCom_In=0\r\n"));
}

void TestIniFile::writeIntegerAndBool()
{
    const QString path = tmp(QStringLiteral("n.ini"));
    IniFile ini(path);
    ini.WriteBool("Log", "Com_In", true);
    ini.WriteBool("Log", "Com_Out", false);
    ini.WriteInteger("Timer", "MaxErrorTick", -600);
    QCOMPARE(fileBytes(path),
             QByteArray("[Log]\r\nCom_In=1\r\nCom_Out=0\r\n[Timer]\r\nMaxErrorTick=-600\r\n"));
    QCOMPARE(ini.ReadInteger("Timer", "MaxErrorTick", 0), -600);
}

void TestIniFile::writeKeepsPermissions()
{
    const QString path = copyLayout();
    const QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path, perms));
    IniFile(path).WriteString("Set", "Port", "COM4");
    QCOMPARE(QFileInfo(path).permissions() & 0x7077, perms);
}

void TestIniFile::writeInReadOnlyFolder()
{
    // A folder that refuses new files still lets its existing file be rewritten.
    const QString path = copyLayout();
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(m_dir->path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    IniFile ini(path);
    ini.WriteString("Set", "Port", "COM7");
    QCOMPARE(ini.ReadString("Set", "Port", ""), QByteArray("COM7"));
    QCOMPARE(ini.ReadInteger("Set", "MaxCache", 110), 64);
}

void TestIniFile::writeThroughSymlink()
{
    const QString target = copyLayout();
    const QString link = tmp(QStringLiteral("link.ini"));
    QVERIFY(QFile::link(target, link));
    IniFile(link).WriteString("Set", "Port", "COM8");
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(IniFile(target).ReadString("Set", "Port", ""), QByteArray("COM8"));
}

void TestIniFile::writeUnderRegularFileFails()
{
    const QString plain = tmp(QStringLiteral("plain.txt"));
    putFile(plain, "not a folder\n");
    const QString path = plain + QStringLiteral("/Agent.ini");
    IniFile ini(path);
    QCOMPARE(errorOf([&] { ini.WriteString("Set", "Port", "COM1"); }),
             QStringLiteral("Unable to write to ") + path);
    QCOMPARE(fileBytes(plain), QByteArray("not a folder\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("plain.txt")});
}

void TestIniFile::writeInMissingDirectoryFails()
{
    const QString path = tmp(QStringLiteral("missing/Agent.ini"));
    IniFile ini(path);
    QCOMPARE(errorOf([&] { ini.WriteBool("Log", "Com_In", true); }),
             QStringLiteral("Unable to write to ") + path);
    QVERIFY(!QFileInfo::exists(tmp(QStringLiteral("missing"))));
}

void TestIniFile::writeReadOnlyFileFails()
{
#ifdef Q_OS_UNIX
    if (::geteuid() == 0)
        QSKIP("root writes read-only files; covered by the other failure cases");
#endif
    const QString path = copyLayout();
    const QByteArray before = fileBytes(path);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    IniFile ini(path);
    QCOMPARE(errorOf([&] { ini.WriteString("Set", "Port", "COM9"); }),
             QStringLiteral("Unable to write to ") + path);
    QCOMPARE(fileBytes(path), before);
}

void TestIniFile::failingWriteStopsSequence()
{
#ifndef Q_OS_UNIX
    QSKIP("uses the file size limit of the process");
#else
    // A file size limit lets a write fail for root too: rewriting a key in place keeps
    // the file's size, a new key would grow it past the limit.
    const QString path = copyLayout();
    const QByteArray before = fileBytes(path);
    IniFile ini(path);

    struct rlimit saved
    {
    };
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = rlim_t(before.size());
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);

    QStringList done;
    const QString error = errorOf([&] {
        ini.WriteBool("Log", "Com_In", true);
        done << "Com_In";
        ini.WriteBool("Log", "Com_Out", false);
        done << "Com_Out";
        ini.WriteBool("Log", "Extent", true); // missing key: the file would grow
        done << "Extent";
        ini.WriteBool("Log", "Com_PureIn", false);
        done << "Com_PureIn";
    });

    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(error, QStringLiteral("Unable to write to ") + path);
    QCOMPARE(done, (QStringList{"Com_In", "Com_Out"}));
    QByteArray expected = before;
    expected.replace("Com_In=0\r\n", "Com_In=1\r\n").replace("Com_Out=1\r\n", "Com_Out=0\r\n");
    QCOMPARE(fileBytes(path), expected); // the failed write left the file as it was
    QVERIFY(!ini.ReadString("Log", "Com_PureIn", "").size());
    // No temporary file is left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Agent.ini")});
#endif
}

void TestIniFile::pathBesideProgram_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no extension, lower-case file")
        << QStringList{"sarvik-agent", "sarvik-agent.ini"} << "sarvik-agent"
        << "sarvik-agent.ini";
    QTest::newRow("extension replaced") << QStringList{"Agent.exe", "agent.INI"} << "Agent.exe"
                                        << "agent.INI";
    QTest::newRow("mixed case") << QStringList{"Agent.exe", "AGENT.Ini"} << "Agent.exe"
                                << "AGENT.Ini";
    QTest::newRow("exact spelling preferred")
        << QStringList{"Agent.exe", "agent.ini", "Agent.INI"} << "Agent.exe"
        << "Agent.INI";
    QTest::newRow("none: .INI spelling") << QStringList{"sarvik-agent"} << "sarvik-agent"
                                         << "sarvik-agent.INI";
    QTest::newRow("last extension only") << QStringList{"a.b.exe"} << "a.b.exe"
                                         << "a.b.INI";
    QTest::newRow("folder not a match") << QStringList{"x", "x.ini/"} << "x"
                                        << "x.INI";
    QTest::newRow("other names ignored") << QStringList{"x", "xx.ini", "x.ini.bak"} << "x"
                                         << "x.INI";
}

void TestIniFile::pathBesideProgram()
{
    QFETCH(QStringList, files);
    QFETCH(QString, program);
    QFETCH(QString, expected);
    QDir dir(m_dir->path());
    for (const QString& name : files) {
        if (name.endsWith(u'/'))
            QVERIFY(dir.mkdir(name.chopped(1)));
        else
            putFile(dir.filePath(name), "");
    }
    QCOMPARE(IniFile::pathBesideProgram(dir.filePath(program)), dir.filePath(expected));
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
