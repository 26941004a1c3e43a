#include "agent/agentoptions.h"

#include <QTest>

class TstAgentOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("headless");
        QTest::addColumn<QString>("config");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("mail");
        QTest::addColumn<bool>("failed");
        QTest::newRow("defaults") << QStringList{} << false << "" << 1234 << "" << false;
        QTest::newRow("all") << QStringList{"--headless",    "--config", "/x/A.ini",
                                            "--listen-port", "4321",     "--mail-library",
                                            "/l/libm.so"}
                             << true << "/x/A.ini" << 4321 << "/l/libm.so" << false;
        QTest::newRow("bad port") << QStringList{"--listen-port", "70000"} << false << "" << 1234
                                  << "" << true;
        QTest::newRow("unknown option")
            << QStringList{"--nope"} << false << "" << 1234 << "" << true;
        QTest::newRow("stray argument") << QStringList{"x"} << false << "" << 1234 << "" << true;
    }
    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, headless);
        QFETCH(QString, config);
        QFETCH(int, port);
        QFETCH(QString, mail);
        QFETCH(bool, failed);
        args.prepend(QStringLiteral("sarvik-agent"));
        const AgentOptions o = AgentOptions::parse(args);
        QCOMPARE(!o.error.isEmpty(), failed);
        if (failed)
            return;
        QCOMPARE(o.headless, headless);
        QCOMPARE(o.configPath, config);
        QCOMPARE(int(o.listenPort), port);
        QCOMPARE(o.mailLibrary, mail);
    }
};

QTEST_GUILESS_MAIN(TstAgentOptions)
#include "tst_agentoptions.moc"
