// The simulated exchange's answers, request payload in, reply payload out.

#include "common/bytes.h"
#include "exchangemodel.h"

#include <QTest>

namespace {

Scenario testScenario()
{
    Scenario s;
    s.numbers = {"201", "0*#", "31", "SAD"};
    s.lineStatus = {0, 1, 2};
    s.errors = {{23, 4}};
    TrapEntry trap;
    trap.index = 2;
    trap.code = 'L';
    trap.recipient = "jan";
    trap.subject = "Porucha";
    trap.body = QString::fromUtf8("Škoda na lince 21");
    s.traps = {trap};
    return s;
}

QByteArray clearing(int index)
{
    return bytes({1, 1, index}) + QByteArray(251, '\0');
}

} // namespace

class TestExchangeModel : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void trapQueueAndClearing();
    void counters_data();
    void counters();
    void storeKeepsWrites();
    void errorCodesSetAndCleared();
};

void TestExchangeModel::replies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");

    // 2 0 1 | 0 * # | 3 1 (padded) | S A D
    QTest::newRow("numbers") << bytes({0, 14, 0})
                             << bytes({0, 14, 0, 2, 10, 1, 10, 11, 12, 3, 1, 0, 15, 16, 19});
    QTest::newRow("numbers, index echoed")
        << bytes({0, 14, 7}) << bytes({0, 14, 7, 2, 10, 1, 10, 11, 12, 3, 1, 0, 15, 16, 19});
    QTest::newRow("line status, missing ones 0")
        << bytes({0, 22, 0}) << bytes({0, 22, 0, 0, 1, 2, 0});
    QTest::newRow("TRAP record") << bytes({0, 1, 2})
                                 << bytes({0, 1, 2, 'L'}) + "jan\nPorucha\n\x8Akoda na lince 21";
    QTest::newRow("TRAP slot empty") << bytes({0, 1, 0}) << bytes({0, 1, 0, 0});
    QTest::newRow("TRAP index 4") << bytes({0, 1, 4}) << bytes({3, 1, 4});
    QTest::newRow("TRAP write at index 4") << clearing(4) << bytes({3, 1, 4});
    QTest::newRow("unwritten object") << bytes({0, 30, 5}) << bytes({0, 30, 5, 30, 5, 0xEE, 0x23});
    QTest::newRow("error from the scenario, read") << bytes({0, 23, 0}) << bytes({4, 23, 0});
    QTest::newRow("error from the scenario, write") << bytes({1, 23, 1, 9}) << bytes({4, 23, 1});
    QTest::newRow("Info") << bytes({2}) << bytes({0});
    QTest::newRow("RepUCT with data") << bytes({5, 1, 2, 3}) << bytes({0});
    QTest::newRow("unknown operation") << bytes({7, 30, 2}) << bytes({1, 30, 2});
    QTest::newRow("short read") << bytes({0, 14}) << bytes({2, 14});
    QTest::newRow("empty request") << QByteArray() << bytes({2});
}

void TestExchangeModel::replies()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);

    ExchangeModel model(testScenario());
    QCOMPARE(model.handle(request).reply.toHex(' '), reply.toHex(' '));
}

void TestExchangeModel::trapQueueAndClearing()
{
    ExchangeModel model(testScenario());
    TrapEntry second;
    second.index = 2;
    second.code = 'V';
    second.recipient = "eva";
    model.queueTrap(second);
    QCOMPARE(model.leastBusySlot(), 0);

    QCOMPARE(model.handle(clearing(2)).reply, bytes({0, 1, 2}));
    QCOMPARE(model.handle(bytes({0, 1, 2})).reply, bytes({0, 1, 2, 'V'}) + "eva\n\n");
    QCOMPARE(model.handle(clearing(2)).reply, bytes({0, 1, 2}));
    QCOMPARE(model.handle(bytes({0, 1, 2})).reply, bytes({0, 1, 2, 0}));
    // Clearing an empty slot is acknowledged and leaves it empty.
    QCOMPARE(model.handle(clearing(2)).reply, bytes({0, 1, 2}));
    QCOMPARE(model.handle(bytes({0, 1, 2})).reply, bytes({0, 1, 2, 0}));
    // Non-zero data written over a record becomes the record.
    QCOMPARE(model.handle(bytes({1, 1, 3, 'F', 'x'})).reply, bytes({0, 1, 3}));
    QCOMPARE(model.handle(bytes({0, 1, 3})).reply, bytes({0, 1, 3, 'F', 'x'}));
}

void TestExchangeModel::counters_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QByteArray>("readBack");

    QTest::newRow("one row per extension")
        << bytes({1, 0, 2, 0, 0, 0, 0, 0, 255, 1, 0, 0, 0, 0, 0, 3})
        << QStringList{"counters 201: 1 0 2 0", "counters 0*#: 0 0 0 0", "counters 31: 255 1 0 0",
                       "counters SAD: 0 0 0 3"}
        << bytes({1, 0, 2, 0, 0, 0, 0, 0, 255, 1, 0, 0, 0, 0, 0, 3});
    QTest::newRow("short write sets the whole rows only")
        << bytes({4, 5, 6, 7, 9})
        << QStringList{"counters: 5 bytes for 4 extensions", "counters 201: 4 5 6 7"}
        << bytes({4, 5, 6, 7}) + QByteArray(12, '\0');
}

void TestExchangeModel::counters()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, notes);
    QFETCH(QByteArray, readBack);

    ExchangeModel model(testScenario());
    const auto answer = model.handle(bytes({1, 17, 0}) + data);
    QCOMPARE(answer.reply, bytes({0, 17, 0}));
    QCOMPARE(answer.notes, notes);
    QCOMPARE(model.handle(bytes({0, 17, 0})).reply, bytes({0, 17, 0}) + readBack);
}

void TestExchangeModel::storeKeepsWrites()
{
    ExchangeModel model(testScenario());
    QCOMPARE(model.handle(bytes({1, 30, 5, 0xEE, 0, 9})).reply, bytes({0, 30, 5}));
    QCOMPARE(model.handle(bytes({0, 30, 5})).reply, bytes({0, 30, 5, 0xEE, 0, 9}));
    QCOMPARE(model.handle(bytes({0, 30, 6})).reply, bytes({0, 30, 6, 30, 6, 0xEE, 0x23}));
    // A write of nothing stores nothing: the read has no data.
    QCOMPARE(model.handle(bytes({1, 3, 0})).reply, bytes({0, 3, 0}));
    QCOMPARE(model.handle(bytes({0, 3, 0})).reply, bytes({0, 3, 0}));
    // The exchange's own lists do not change by a write.
    QCOMPARE(model.handle(bytes({1, 14, 0, 1, 1, 1})).reply, bytes({0, 14, 0}));
    QCOMPARE(model.handle(bytes({0, 14, 0})).reply.mid(3, 3), bytes({2, 10, 1}));
}

void TestExchangeModel::errorCodesSetAndCleared()
{
    ExchangeModel model(testScenario());
    model.setError(14, 7);
    QCOMPARE(model.handle(bytes({0, 14, 0})).reply, bytes({7, 14, 0}));
    // A failed write changes nothing.
    model.setError(30, 9);
    QCOMPARE(model.handle(bytes({1, 30, 0, 42})).reply, bytes({9, 30, 0}));
    model.setError(30, 0);
    QCOMPARE(model.handle(bytes({0, 30, 0})).reply, bytes({0, 30, 0, 30, 0, 0xEE, 0x23}));
    model.setError(14, 0);
    QCOMPARE(model.handle(bytes({0, 14, 0})).reply.left(6), bytes({0, 14, 0, 2, 10, 1}));
    model.setError(23, 0);
    QCOMPARE(model.handle(bytes({0, 23, 0})).reply, bytes({0, 23, 0, 23, 0, 0xEE, 0x23}));
}

QTEST_GUILESS_MAIN(TestExchangeModel)
#include "tst_exchangemodel.moc"
