#include "common/agentprocess.h"

#include <QTemporaryDir>
#include <QTest>

class TstStartup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void headlessWithoutIniFileStartsWarnsAndStopsCleanly()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("Agent.ini"));
        ToolProcess agent(QStringLiteral("sarvik-agent"));
        agent.start({QStringLiteral("--headless"), QStringLiteral("--config"), ini,
                     QStringLiteral("--listen-port"), QStringLiteral("0")});
        QTRY_VERIFY_WITH_TIMEOUT(agent.lines.size() >= 2, 15000);
        QVERIFY(agent.lines.first().endsWith(QStringLiteral("  ---- Start Sarvik Agent ----")));
        QCOMPARE(agent.terminate(), 0);
        const QString err = QString::fromUtf8(agent.process.readAllStandardError());
        QCOMPARE(err.count(QStringLiteral("Neexistuje soubor Agent.ini")), 1);
        QVERIFY(err.contains(QStringLiteral("Projděte položky v menu Nastavení")));
        QVERIFY(!QFile::exists(ini)); // the agent never creates its INI file by itself
    }

    void unknownOptionFailsWithUsage()
    {
        ToolProcess agent(QStringLiteral("sarvik-agent"));
        agent.start({QStringLiteral("--no-such-option")});
        QVERIFY(agent.process.waitForFinished(15000));
        QCOMPARE(agent.process.exitCode(), 2);
    }
};

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
