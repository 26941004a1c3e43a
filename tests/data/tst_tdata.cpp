// TData: the extension table, its mailbox counters and the builders.

#include "common/bytes.h"
#include "data/tdata.h"

#include <QTest>

namespace {
// A numbers reply: result code 0, object 14, index 0, then three codes per number.
QByteArray numbersReply(const QList<QByteArray>& groups)
{
    QByteArray reply = bytes({0, 14, 0});
    for (const QByteArray& g : groups)
        reply += g;
    return reply;
}

// A reply of n numbers "1", "2", ... "9", "1", ... so that each row can be told apart.
QByteArray countingReply(int n)
{
    QList<QByteArray> groups;
    for (int i = 0; i < n; ++i)
        groups << bytes({i % 9 + 1, 0, 0});
    return numbersReply(groups);
}

QByteArray numberText(const TData& data, int row)
{
    return QByteArray(data.Numbers[row].number.data());
}

// Loads a table of the given numbers.
void load(TData& data, const QList<QByteArray>& groups)
{
    data.FillNumbers(numbersReply(groups));
}
} // namespace

class TestTData : public QObject
{
    Q_OBJECT
private slots:
    void construction();
    void digitsToText_data();
    void digitsToText();
    void fillNumbers_data();
    void fillNumbers();
    void fillNumbersLeavesTable_data();
    void fillNumbersLeavesTable();
    void fillNumbersKeepsCounters();
    void findNumber_data();
    void findNumber();
    void mailboxCounts_data();
    void mailboxCounts();
    void clearMailboxCounts();
    void fixedQueries_data();
    void fixedQueries();
    void trapQueryCycles();
    void trapClear_data();
    void trapClear();
    void messagesWrite();
};

void TestTData::construction()
{
    TData data;
    QCOMPARE(data.NumberCount, 0);
    QCOMPARE(data.TrapIndex, 0);
    QCOMPARE(data.BuildMessagesWrite(), bytes({1, 17, 0}));
}

void TestTData::digitsToText_data()
{
    QTest::addColumn<QByteArray>("codes");
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("1 2 3") << bytes({1, 2, 3}) << 3 << QByteArray("123");
    QTest::newRow("2 10 0") << bytes({2, 10, 0}) << 3 << QByteArray("20");
    QTest::newRow("0 5 5") << bytes({0, 5, 5}) << 3 << QByteArray("");
    QTest::newRow("11 to 19") << bytes({11, 12, 13, 14, 15, 16, 17, 18, 19}) << 9
                              << QByteArray("*#FPSABCD");
    QTest::newRow("9 and 10") << bytes({9, 10}) << 2 << QByteArray("90");
    QTest::newRow("code 20 ends the text") << bytes({4, 20, 4}) << 3 << QByteArray("4");
    QTest::newRow("code 21 is ?") << bytes({21, 1}) << 2 << QByteArray("?1");
    QTest::newRow("code 255 is ?") << bytes({1, 255, 2}) << 3 << QByteArray("1?2");
    QTest::newRow("at most n codes") << bytes({1, 2, 3}) << 2 << QByteArray("12");
    QTest::newRow("n 0") << bytes({1, 2, 3}) << 0 << QByteArray("");
    QTest::newRow("n past the codes") << bytes({7}) << 3 << QByteArray("7");
}

void TestTData::digitsToText()
{
    QFETCH(QByteArray, codes);
    QFETCH(int, n);
    QFETCH(QByteArray, text);
    QCOMPARE(TData::DigitsToText(codes, n), text);
}

void TestTData::fillNumbers_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArrayList>("numbers"); // the first rows to check

    QTest::newRow("3 + 3 x 5 bytes")
        << numbersReply({bytes({1, 2, 3}), bytes({2, 10, 0}), bytes({0, 5, 5}), bytes({11, 12, 13}),
                         bytes({17, 18, 19})})
        << 5 << QByteArrayList{"123", "20", "", "*#F", "BCD"};
    QTest::newRow("codes 14 15 16")
        << numbersReply({bytes({14, 15, 16})}) << 1 << QByteArrayList{"PSA"};
    QTest::newRow("no numbers") << bytes({0, 14, 0}) << 0 << QByteArrayList{};
    QTest::newRow("a partial group is not a number")
        << (numbersReply({bytes({1, 0, 0}), bytes({2, 0, 0})}) + bytes({3, 3})) << 2
        << QByteArrayList{"1", "2"};
    QTest::newRow("objects and index not examined")
        << bytes({0, 99, 7, 5, 6, 0}) << 1 << QByteArrayList{"56"};
    QTest::newRow("56 numbers") << countingReply(56) << 56 << QByteArrayList{"1", "2"};
    QTest::newRow("57 numbers keep 56") << countingReply(57) << 56 << QByteArrayList{"1"};
    // 257 numbers would wrap to 1 in 8 bits; the table is limited first.
    QTest::newRow("257 numbers keep 56") << countingReply(257) << 56 << QByteArrayList{"1"};
}

void TestTData::fillNumbers()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, count);
    QFETCH(QByteArrayList, numbers);

    TData data;
    // An exact-size copy: reading past the reply shows under sanitizers.
    data.FillNumbers(QByteArray(reply.constData(), reply.size()));
    QCOMPARE(int(data.NumberCount), count);
    for (int i = 0; i < numbers.size(); ++i)
        QCOMPARE(numberText(data, i), numbers[i]);
    if (count == TData::MaxNumbers)
        QCOMPARE(numberText(data, 55), QByteArray::number(55 % 9 + 1));
}

void TestTData::fillNumbersLeavesTable_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("result code 7") << bytes({7, 14, 0, 4, 4, 4});
    QTest::newRow("result code 255") << bytes({255});
    QTest::newRow("empty reply") << QByteArray();
}

void TestTData::fillNumbersLeavesTable()
{
    QFETCH(QByteArray, reply);
    TData data;
    load(data, {bytes({1, 2, 3}), bytes({4, 5, 6})});
    data.FillNumbers(reply);
    QCOMPARE(data.NumberCount, 2);
    QCOMPARE(numberText(data, 0), QByteArray("123"));
    QCOMPARE(numberText(data, 1), QByteArray("456"));
}

void TestTData::fillNumbersKeepsCounters()
{
    TData data;
    load(data, {bytes({1, 2, 3}), bytes({4, 5, 6})});
    data.SetMailboxCounts("456", 1, 2, 3, 4);
    load(data, {bytes({7, 0, 0}), bytes({8, 0, 0})});
    QCOMPARE(numberText(data, 1), QByteArray("8"));
    QCOMPARE(data.Numbers[1].counts, (std::array<uint8_t, 4>{1, 3, 2, 4}));
}

void TestTData::findNumber_data()
{
    QTest::addColumn<QByteArrayList>("table"); // each entry three codes
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("row");

    const QByteArrayList table{bytes({1, 2, 3}), bytes({2, 10, 0}), bytes({2, 0, 0}),
                               bytes({1, 2, 3})};
    QTest::newRow("first row") << table << QByteArray("123") << 0;
    QTest::newRow("two digits") << table << QByteArray("20") << 1;
    QTest::newRow("one digit") << table << QByteArray("2") << 2;
    QTest::newRow("zero byte ends the text") << table << QByteArray("20\0x", 4) << 1;
    QTest::newRow("prefix is not equal") << table << QByteArray("12") << 255;
    QTest::newRow("longer is not equal") << table << QByteArray("1234") << 255;
    QTest::newRow("absent") << table << QByteArray("999") << 255;
    QTest::newRow("empty text absent") << table << QByteArray() << 255;
    QTest::newRow("empty text present") << QByteArrayList{bytes({0, 5, 5})} << QByteArray() << 0;
    QTest::newRow("NumberCount 0") << QByteArrayList{} << QByteArray("123") << 255;
    QTest::newRow("NumberCount 0 empty text") << QByteArrayList{} << QByteArray() << 255;
}

void TestTData::findNumber()
{
    QFETCH(QByteArrayList, table);
    QFETCH(QByteArray, text);
    QFETCH(int, row);
    TData data;
    load(data, table);
    QCOMPARE(int(data.FindNumber(text)), row);
}

void TestTData::mailboxCounts_data()
{
    QTest::addColumn<bool>("add");
    QTest::addColumn<QByteArray>("number");
    QTest::addColumn<QList<int>>("args"); // a, b, c, d
    QTest::addColumn<QList<int>>("row1"); // counters of row 1 afterwards, positions 0..3

    // Row 1 ("45") starts with the counters 2, 2, 2, 2.
    QTest::newRow("set crosses b and c")
        << false << QByteArray("45") << QList<int>{4, 5, 6, 7} << QList<int>{4, 6, 5, 7};
    QTest::newRow("add crosses b and c")
        << true << QByteArray("45") << QList<int>{1, 2, 3, 4} << QList<int>{3, 5, 4, 6};
    QTest::newRow("add 255 to 2 gives 1")
        << true << QByteArray("45") << QList<int>{255, 255, 0, 254} << QList<int>{1, 2, 1, 0};
    QTest::newRow("set absent does nothing")
        << false << QByteArray("99") << QList<int>{9, 9, 9, 9} << QList<int>{2, 2, 2, 2};
    QTest::newRow("add absent does nothing")
        << true << QByteArray("99") << QList<int>{9, 9, 9, 9} << QList<int>{2, 2, 2, 2};
}

void TestTData::mailboxCounts()
{
    QFETCH(bool, add);
    QFETCH(QByteArray, number);
    QFETCH(QList<int>, args);
    QFETCH(QList<int>, row1);

    TData data;
    load(data, {bytes({1, 2, 3}), bytes({4, 5, 0}), bytes({6, 0, 0})});
    for (auto& row : data.Numbers)
        row.counts = {2, 2, 2, 2};
    const auto a = uint8_t(args[0]), b = uint8_t(args[1]), c = uint8_t(args[2]),
               d = uint8_t(args[3]);
    if (add)
        data.AddMailboxCounts(number, a, b, c, d);
    else
        data.SetMailboxCounts(number, a, b, c, d);
    for (int p = 0; p < 4; ++p)
        QCOMPARE(int(data.Numbers[1].counts[p]), row1[p]);
    // The other rows are untouched.
    QCOMPARE(data.Numbers[0].counts, (std::array<uint8_t, 4>{2, 2, 2, 2}));
    QCOMPARE(data.Numbers[2].counts, (std::array<uint8_t, 4>{2, 2, 2, 2}));
}

void TestTData::clearMailboxCounts()
{
    TData data;
    load(data, {bytes({1, 0, 0}), bytes({2, 0, 0})});
    for (auto& row : data.Numbers)
        row.counts = {1, 2, 3, 4};
    data.ClearMailboxCounts();
    QCOMPARE(data.Numbers[0].counts, (std::array<uint8_t, 4>{0, 0, 0, 0}));
    QCOMPARE(data.Numbers[1].counts, (std::array<uint8_t, 4>{0, 0, 0, 0}));
    // Rows not in use are not touched.
    QCOMPARE(data.Numbers[2].counts, (std::array<uint8_t, 4>{1, 2, 3, 4}));
    QCOMPARE(data.BuildMessagesWrite(), bytes({1, 17, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

void TestTData::fixedQueries_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("numbers query") << TData::BuildNumbersQuery() << bytes({0, 14, 0});
    QTest::newRow("line status query") << TData::BuildLineStatusQuery() << bytes({0, 22, 0});
}

void TestTData::fixedQueries()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(built, expected);
}

void TestTData::trapQueryCycles()
{
    TData data;
    const int expected[] = {0, 1, 2, 3, 0};
    for (int index : expected) {
        QCOMPARE(data.BuildTrapQuery(), bytes({0, 1, index}));
        QCOMPARE(data.TrapIndex, (index + 1) % 4);
    }
}

void TestTData::trapClear_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("index 2") << 2;
    QTest::newRow("index 0") << 0;
    QTest::newRow("index 3") << 3;
}

void TestTData::trapClear()
{
    QFETCH(int, index);
    const QByteArray packet = TData::BuildTrapClear(uint8_t(index));
    QCOMPARE(packet.size(), 254);
    QCOMPARE(packet.first(3), bytes({1, 1, index}));
    QCOMPARE(packet.sliced(3), QByteArray(251, '\0'));
}

void TestTData::messagesWrite()
{
    TData data;
    load(data, {bytes({1, 2, 3}), bytes({4, 0, 0}), bytes({5, 0, 0})});
    data.SetMailboxCounts("123", 4, 5, 6, 7);
    data.SetMailboxCounts("5", 8, 9, 10, 11);
    const QByteArray packet = data.BuildMessagesWrite();
    QCOMPARE(packet.size(), 3 + 4 * 3);
    QVERIFY(packet.startsWith(bytes({1, 17, 0, 4, 6, 5, 7})));
    QCOMPARE(packet, bytes({1, 17, 0, 4, 6, 5, 7, 0, 0, 0, 0, 8, 10, 9, 11}));
}

QTEST_GUILESS_MAIN(TestTData)
#include "tst_tdata.moc"
