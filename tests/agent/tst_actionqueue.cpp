#include "agent/actionqueue.h"

#include <QTest>

using Slots = std::array<uint8_t, 4>;
Q_DECLARE_METATYPE(Slots)

class TstActionQueue : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each row: a starting queue, a script of operations ("P<code>" posts, "N" takes
    // the next), and the queue it must end in.
    void operations_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<Slots>("before");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("currentAfter");
        QTest::addColumn<Slots>("after");

        QTest::newRow("post into an empty queue becomes current")
            << 0 << Slots{0, 0, 0, 0} << "P6" << 6 << Slots{0, 0, 0, 0};
        QTest::newRow("current code is queued once more, then not again")
            << 6 << Slots{0, 0, 0, 0} << "P6 P6" << 6 << Slots{6, 0, 0, 0};
        QTest::newRow("next takes the lowest slot, a later post overtakes")
            << 5 << Slots{4, 6, 0, 0} << "N P3" << 4 << Slots{3, 6, 0, 0};
        QTest::newRow("fourth slot filled, then a full queue drops")
            << 3 << Slots{4, 6, 5, 0} << "P3 P4 P2" << 3 << Slots{4, 6, 5, 3};
        QTest::newRow("full queue drops a new code")
            << 3 << Slots{4, 6, 5, 3} << "P2" << 3 << Slots{4, 6, 5, 3};
        QTest::newRow("next on empty slotCodes leaves nothing current, post is current at once")
            << 4 << Slots{0, 0, 0, 0} << "N" << 0 << Slots{0, 0, 0, 0};
        QTest::newRow("after emptying, the next post is current")
            << 4 << Slots{0, 0, 0, 0} << "N P5" << 5 << Slots{0, 0, 0, 0};
        QTest::newRow("next skips empty low slotCodes")
            << 3 << Slots{0, 0, 6, 0} << "N" << 6 << Slots{0, 0, 0, 0};
    }
    void operations()
    {
        QFETCH(int, current);
        QFETCH(Slots, before);
        QFETCH(QString, script);
        QFETCH(int, currentAfter);
        QFETCH(Slots, after);

        ActionQueue q;
        q.ScheduledAction = uint8_t(current);
        q.slotCodes = before;
        for (const QString& op : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (op == QLatin1String("N"))
                q.NextAction();
            else
                q.PostAction(uint8_t(op.mid(1).toInt()));
        }
        QCOMPARE(int(q.ScheduledAction), currentAfter);
        QCOMPARE(q.slotCodes, after);
    }
};

QTEST_APPLESS_MAIN(TstActionQueue)
#include "tst_actionqueue.moc"
