#include "agent/agent.h"
#include "agent/errorreporter.h"
#include "ui/tform1.h"

#include <QListWidget>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>

class TstTForm1 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void showsTheEngineLogAndStatus()
    {
        Agent agent(AgentOptions{});
        TForm1 form(agent);
        QCOMPARE(form.windowTitle(), QStringLiteral("Sarvik Agent"));
        agent.log().setClock([] { return QTime(8, 5, 9); });
        agent.log().WriteLog(QStringLiteral("-OK-"), QStringLiteral("Otevření socketu TCP/IP"));
        agent.log().ShowStatus(QStringLiteral("<Ti4"), QStringLiteral("Dotaz na stav linek"));
        QCOMPARE(form.ListBox1->count(), 1);
        QCOMPARE(form.ListBox1->item(0)->text(),
                 QStringLiteral("08:05:09  -OK- Otevření socketu TCP/IP"));
        QCOMPARE(form.StatusBar1->currentMessage(), QStringLiteral("<Ti4     Dotaz na stav linek"));
    }

    void errorsOpenOneBoxAtATimeAndNeverBlock()
    {
        Agent agent(AgentOptions{});
        TForm1 form(agent);
        ErrorReporter::runGuarded([] { throw std::runtime_error("Write error (Error: 5) "); });
        QVERIFY(form.errorBox());
        QVERIFY(form.errorBox()->isVisible());
        QCOMPARE(form.errorBox()->text(), QStringLiteral("Write error (Error: 5) "));

        ErrorReporter::runGuarded([] { throw std::runtime_error("Read error (Error: 5) "); });
        QCOMPARE(form.findChildren<QMessageBox*>().size(), 1);
        QVERIFY(form.ListBox1->item(form.ListBox1->count() - 1)
                    ->text()
                    .endsWith(QStringLiteral("!Err Read error (Error: 5) ")));

        form.errorBox()->close();
        QTRY_VERIFY(!form.errorBox());
        ErrorReporter::runGuarded([] { throw std::runtime_error("again"); });
        QVERIFY(form.errorBox());
    }
};

QTEST_MAIN(TstTForm1)
#include "tst_tform1.moc"
