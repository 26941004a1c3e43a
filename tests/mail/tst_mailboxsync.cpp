#include "agentvxdouble.h"
#include "mailtesttools.h"

#include "mail/mail602.h"
#include "mail/mailboxwalk.h"
#include "mail/mailboxwritereply.h"
#include "mail/messageregister.h"

#include <QTest>

using Records = QList<MailboxRecords::Mailbox>;
using RegisterLines = QList<MessageRegister::Line>;

Q_DECLARE_METATYPE(Records)
Q_DECLARE_METATYPE(RegisterLines)

namespace {

constexpr uint32_t Gone = 2;
constexpr uint32_t Deleted = 4;

MessageRegister registerOf(const RegisterLines& lines)
{
    MessageRegister reg;
    for (const auto& line : lines)
        reg.add(line.kind, line.id);
    return reg;
}

} // namespace

class TestMailboxSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fullRead_data();
    void fullRead();
    void changes_data();
    void changes();
    void readThroughLibrary();
    void failedReadKeepsCountersAndForcesFullRead();
    void fullReadAfterFailureCountsEachMessageOnce();
    void notReadyReadsNothing();
    void writeReply_data();
    void writeReply();
};

// Rows 21, 22, 23; counters before the read are 9 everywhere, to show that a full read
// sets the counters of the mailboxes it lists.
void TestMailboxSync::fullRead_data()
{
    QTest::addColumn<Records>("records");
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<int>("registered");

    QTest::newRow("F and another kind in 21")
        << Records{{"21", {{'F', 2, {{101}, {102}}}, {'A', 3, {{103}, {104}, {105}}}}}}
        << QList<int>{3, 0, 2, 0, 9, 9, 9, 9, 9, 9, 9, 9} << 5;
    QTest::newRow("H counts at position 1, every other kind at 0")
        << Records{{"22", {{'H', 4, {}}, {'L', 1, {}}, {'Q', 2, {}}}}}
        << QList<int>{9, 9, 9, 9, 3, 4, 0, 0, 9, 9, 9, 9} << 0;
    QTest::newRow("several mailboxes in list order")
        << Records{{"23", {{'F', 1, {{1}}}}}, {"21", {{'H', 7, {{2}}}}}}
        << QList<int>{0, 7, 0, 0, 9, 9, 9, 9, 0, 0, 1, 0} << 2;
    QTest::newRow("sum kept modulo 256") << Records{{"21", {{'A', 200, {}}, {'B', 100, {}}}}}
                                         << QList<int>{44, 0, 0, 0, 9, 9, 9, 9, 9, 9, 9, 9} << 0;
    QTest::newRow("mailbox without groups is set to zero")
        << Records{{"22", {}}} << QList<int>{9, 9, 9, 9, 0, 0, 0, 0, 9, 9, 9, 9} << 0;
    QTest::newRow("unknown mailbox changes nothing")
        << Records{{"999", {{'H', 5, {{7}}}}}} << QList<int>(12, 9) << 1;
}

void TestMailboxSync::fullRead()
{
    QFETCH(Records, records);
    QFETCH(QList<int>, counts);
    QFETCH(int, registered);

    TData data = makeData({"21", "22", "23"});
    for (int i = 0; i < data.NumberCount; ++i)
        data.Numbers[i].counts.fill(9);
    MessageRegister reg;
    const MailboxRecords list(records);

    WalkMailboxRecords(list.head(), MailboxReadMode::Full, reg, data);

    QCOMPARE(countsOf(data), counts);
    QCOMPARE(reg.size(), registered);
}

void TestMailboxSync::changes_data()
{
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<RegisterLines>("registerBefore");
    QTest::addColumn<Records>("records");
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<RegisterLines>("registerAfter");

    QTest::newRow("new H message")
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << RegisterLines{}
        << Records{{"21", {{'H', 0, {{500}}}}}} << QList<int>{0, 1, 0, 0, 0, 0, 0, 0}
        << RegisterLines{{'H', 500}};
    QTest::newRow("gone message counted under the remembered kind")
        << QList<int>{0, 1, 0, 0, 0, 0, 0, 0} << RegisterLines{{'H', 500}}
        << Records{{"21", {{'A', 0, {{500, Gone}}}}}} << QList<int>{0, 0, 0, 0, 0, 0, 0, 0}
        << RegisterLines{};
    QTest::newRow("either flag bit marks a message gone")
        << QList<int>{0, 0, 2, 0, 0, 0, 0, 0} << RegisterLines{{'F', 1}, {'F', 2}}
        << Records{{"21", {{'F', 0, {{1, Gone}, {2, Deleted | 1}}}}}}
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << RegisterLines{};
    QTest::newRow("gone message the register does not know")
        << QList<int>{5, 5, 5, 0, 0, 0, 0, 0} << RegisterLines{{'H', 1}}
        << Records{{"21", {{'H', 0, {{2, Gone}}}}}} << QList<int>{5, 5, 5, 0, 0, 0, 0, 0}
        << RegisterLines{{'H', 1}};
    QTest::newRow("three H gone from a counter of 1")
        << QList<int>{0, 0, 0, 0, 0, 1, 0, 0} << RegisterLines{{'H', 1}, {'H', 2}, {'H', 3}}
        << Records{{"22", {{'H', 0, {{1, Gone}, {2, Gone}, {3, Gone}}}}}}
        << QList<int>{0, 0, 0, 0, 0, 254, 0, 0} << RegisterLines{};
    QTest::newRow("group mixing a gone H and a new F")
        << QList<int>{0, 1, 0, 0, 0, 0, 0, 0} << RegisterLines{{'H', 1}}
        << Records{{"21", {{'F', 0, {{1, Gone}, {2}}}}}} << QList<int>{0, 0, 1, 0, 0, 0, 0, 0}
        << RegisterLines{{'F', 2}};
    QTest::newRow("duplicate identifier: the first line goes")
        << QList<int>{1, 1, 0, 0, 0, 0, 0, 0} << RegisterLines{{'A', 7}, {'H', 7}}
        << Records{{"21", {{'H', 0, {{7, Gone}}}}}} << QList<int>{0, 1, 0, 0, 0, 0, 0, 0}
        << RegisterLines{{'H', 7}};
    QTest::newRow("unknown mailbox: no counter, message still registered")
        << QList<int>{1, 1, 1, 0, 2, 2, 2, 0} << RegisterLines{}
        << Records{{"999", {{'H', 0, {{9}}}}}} << QList<int>{1, 1, 1, 0, 2, 2, 2, 0}
        << RegisterLines{{'H', 9}};
    QTest::newRow("two mailboxes")
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0} << RegisterLines{}
        << Records{{"22", {{'L', 0, {{1}, {2}}}}}, {"21", {{'F', 0, {{3}}}}}}
        << QList<int>{0, 0, 1, 0, 2, 0, 0, 0} << RegisterLines{{'L', 1}, {'L', 2}, {'F', 3}};
}

void TestMailboxSync::changes()
{
    QFETCH(QList<int>, before);
    QFETCH(RegisterLines, registerBefore);
    QFETCH(Records, records);
    QFETCH(QList<int>, after);
    QFETCH(RegisterLines, registerAfter);

    TData data = makeData({"21", "22"});
    for (int i = 0; i < before.size(); ++i)
        data.Numbers[i / 4].counts[i % 4] = uint8_t(before[i]);
    MessageRegister reg = registerOf(registerBefore);
    const MailboxRecords list(records);

    WalkMailboxRecords(list.head(), MailboxReadMode::Changes, reg, data);

    QCOMPARE(countsOf(data), after);
    QCOMPARE(reg.lines(), registerAfter);
}

// The whole read through the library: a full read first, then the quick test decides.
void TestMailboxSync::readThroughLibrary()
{
    AgentvxDouble lib;
    QVERIFY(lib.isValid());
    EventLog log;
    TMail602 mail(log, lib.path());
    mail.Initialize();
    QVERIFY(mail.LibraryReady());
    TData data = makeData({"21", "22"});
    data.Numbers[1].counts = {4, 4, 4, 4};

    const MailboxRecords full({{"21", {{'F', 2, {{1}, {2}}}, {'A', 3, {{3}, {4}, {5}}}}}});
    lib.reset();
    lib.setRead(0, full.head());
    QVERIFY(mail.ReadMailboxChanges(data));
    QCOMPARE(lib.calls(), (QList<QByteArray>{"NactiZmenyVeSchrankach(1|zeroed)",
                                             "PotvrdPreneseniZmenVeSchrankach(delivered)"}));
    QCOMPARE(countsOf(data), (QList<int>{3, 0, 2, 0, 0, 0, 0, 0}));
    QVERIFY(data.BuildMessagesWrite().startsWith(QByteArray("\x01\x11\x00\x03\x00\x02\x00", 7)));
    QVERIFY(!mail.FullReadPending());

    lib.reset();
    QVERIFY(!mail.ReadMailboxChanges(data));
    QCOMPARE(lib.calls(), QList<QByteArray>{"RychlyTestZmenVeSchrankach()"});

    const MailboxRecords changes({{"21", {{'H', 0, {{6}}}, {'Z', 0, {{1, Gone}}}}}});
    lib.reset();
    lib.setQuickResult(1);
    lib.setRead(0, changes.head());
    QVERIFY(mail.ReadMailboxChanges(data));
    QCOMPARE(lib.calls(),
             (QList<QByteArray>{"RychlyTestZmenVeSchrankach()", "NactiZmenyVeSchrankach(3|zeroed)",
                                "PotvrdPreneseniZmenVeSchrankach(delivered)"}));
    QCOMPARE(countsOf(data), (QList<int>{3, 1, 1, 0, 0, 0, 0, 0}));
}

void TestMailboxSync::failedReadKeepsCountersAndForcesFullRead()
{
    AgentvxDouble lib;
    EventLog log;
    TMail602 mail(log, lib.path());
    mail.Initialize();
    TData data = makeData({"21"});

    const MailboxRecords full({{"21", {{'H', 1, {{1}}}}}});
    lib.setRead(0, full.head());
    QVERIFY(mail.ReadMailboxChanges(data));

    lib.reset();
    lib.setQuickResult(1);
    lib.setRead(3, nullptr);
    QVERIFY2(mail.ReadMailboxChanges(data), "the write goes out with the counters as they are");
    QCOMPARE(lib.calls(), (QList<QByteArray>{"RychlyTestZmenVeSchrankach()",
                                             "NactiZmenyVeSchrankach(3|zeroed)"}));
    QCOMPARE(countsOf(data), (QList<int>{0, 1, 0, 0}));
    QVERIFY(mail.FullReadPending());

    lib.reset();
    lib.setRead(0, nullptr); // the mailboxes are empty now
    QVERIFY(mail.ReadMailboxChanges(data));
    QCOMPARE(lib.calls(), (QList<QByteArray>{"NactiZmenyVeSchrankach(1|zeroed)",
                                             "PotvrdPreneseniZmenVeSchrankach(delivered)"}));
    QCOMPARE(countsOf(data), (QList<int>{0, 0, 0, 0}));
}

// After a failed read the full read registers every message again; the lines of the
// earlier full read must not stay beside them, or a later change would find stale ones.
void TestMailboxSync::fullReadAfterFailureCountsEachMessageOnce()
{
    AgentvxDouble lib;
    EventLog log;
    TMail602 mail(log, lib.path());
    mail.Initialize();
    TData data = makeData({"21"});
    const MailboxRecords full({{"21", {{'H', 2, {{1}, {2}}}}}});

    lib.setRead(0, full.head());
    QVERIFY(mail.ReadMailboxChanges(data));
    lib.setQuickResult(1);
    lib.setRead(1, nullptr);
    QVERIFY(mail.ReadMailboxChanges(data));
    lib.setRead(0, full.head());
    QVERIFY(mail.ReadMailboxChanges(data));
    QCOMPARE(mail.messageRegister().size(), 2);

    // Message 1 is reported gone by two reads in a row: only the first subtracts.
    const MailboxRecords gone({{"21", {{'H', 0, {{1, Gone}}}}}});
    lib.setRead(0, gone.head());
    QVERIFY(mail.ReadMailboxChanges(data));
    QVERIFY(mail.ReadMailboxChanges(data));
    QCOMPARE(countsOf(data), (QList<int>{0, 1, 0, 0}));
}

void TestMailboxSync::notReadyReadsNothing()
{
    AgentvxDouble lib;
    lib.setInitResult(5);
    EventLog log;
    TMail602 mail(log, lib.path());
    mail.Initialize();
    TData data = makeData({"21"});
    data.Numbers[0].counts = {1, 2, 3, 4};
    lib.reset();

    QVERIFY(!mail.ReadMailboxChanges(data));
    QVERIFY(lib.calls().isEmpty());
    QCOMPARE(countsOf(data), (QList<int>{1, 2, 3, 4}));
}

void TestMailboxSync::writeReply_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("pureIn");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("refused, switches off")
        << QByteArray("\x04\x11\x00", 3) << false << QStringList{"<COM Chyba zápisu zpráv:4"};
    QTest::newRow("refused with a high code")
        << QByteArray("\xC8\x11\x00", 3) << true << QStringList{"<COM Chyba zápisu zpráv:200"};
    QTest::newRow("accepted, Com_PureIn on")
        << QByteArray("\x00\x11\x00", 3) << true << QStringList{"<COM Zápis zpráv"};
    QTest::newRow("accepted, Com_PureIn off")
        << QByteArray("\x00\x11\x00", 3) << false << QStringList{};
}

void TestMailboxSync::writeReply()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, pureIn);
    QFETCH(QStringList, lines);

    EventLog log;
    log.switches() = LogSwitches{};
    log.switches().Com_In = false;
    log.switches().Com_PureIn = pureIn;
    LogRecorder recorder(log);

    OnMailboxWriteReply(log, payload);

    QCOMPARE(recorder.lines(), lines);
}

QTEST_GUILESS_MAIN(TestMailboxSync)
#include "tst_mailboxsync.moc"
