#include "ui/loglist.h"

#include <QListWidget>
#include <QTest>

namespace {
void fill(QListWidget& list, int from, int to)
{
    for (int i = from; i <= to; ++i)
        LogList::append(list, QString::number(i));
}
} // namespace

class TstLogList : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emptyListFollows()
    {
        QListWidget list;
        LogList::append(list, QStringLiteral("a"));
        LogList::append(list, QStringLiteral("b"));
        QCOMPARE(LogList::selectedRow(list), 1);
    }

    void lineBeyondTheLimitDropsTheOldestAndKeepsFollowing()
    {
        QListWidget list;
        fill(list, 1, 301);
        QCOMPARE(list.count(), 300);
        QCOMPARE(list.item(0)->text(), QStringLiteral("2"));
        QCOMPARE(LogList::selectedRow(list), 299);
        QCOMPARE(list.item(299)->text(), QStringLiteral("301"));
    }

    void olderSelectionStaysOnItsLine()
    {
        QListWidget list;
        fill(list, 1, 300);
        list.setCurrentRow(10); // the user picks line "11"
        fill(list, 301, 305);
        QCOMPARE(list.count(), 300);
        QCOMPARE(list.selectedItems().size(), 1);
        QCOMPARE(list.selectedItems().first()->text(), QStringLiteral("11"));
        QCOMPARE(LogList::selectedRow(list), 5);
    }

    void droppedSelectionStopsFollowingUntilLastLineSelected()
    {
        QListWidget list;
        fill(list, 1, 300);
        list.setCurrentRow(1); // line "2"
        fill(list, 301, 302);  // "1" then "2" are dropped
        QCOMPARE(LogList::selectedRow(list), -1);
        fill(list, 303, 310);
        QCOMPARE(LogList::selectedRow(list), -1);

        list.setCurrentRow(list.count() - 1); // selecting the last line resumes following
        fill(list, 311, 312);
        QCOMPARE(LogList::selectedRow(list), 299);
        QCOMPARE(list.item(299)->text(), QStringLiteral("312"));
    }
};

QTEST_MAIN(TstLogList)
#include "tst_loglist.moc"
