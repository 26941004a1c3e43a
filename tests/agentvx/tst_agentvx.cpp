// The mail gateway library on a temporary mail store, called through the seven
// entry points of the loaded library exactly as the agent calls them.
#include "mail/agentvxentrypoints.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

struct Item
{
    quint32 id = 0;
    quint32 flags = 0;
};

struct Group
{
    char kind = 0;
    quint16 count = 0;
    QList<Item> items;
};

struct Mailbox
{
    QByteArray name;
    QList<Group> groups;
};

// Walks the records as the agent does, by offset; a bound on every list keeps
// a broken link from hanging the test.
QList<Mailbox> walk(const MailboxRecord* head)
{
    QList<Mailbox> boxes;
    for (auto box = reinterpret_cast<const unsigned char*>(head); box && boxes.size() < 1000;
         box = avx_mailbox_next(box)) {
        Mailbox m;
        const char* name = nullptr;
        const size_t length = avx_mailbox_name(box, &name);
        m.name = QByteArray(name, int(length));
        for (auto g = avx_mailbox_first_group(box); g && m.groups.size() < 1000;
             g = avx_group_next(g)) {
            Group group{avx_group_kind(g), avx_group_count(g), {}};
            for (auto i = avx_group_first_item(g); i && group.items.size() < 100000;
                 i = avx_item_next(i))
                group.items.append({avx_item_id(i), avx_item_flags(i)});
            m.groups.append(group);
        }
        boxes.append(m);
    }
    return boxes;
}

// "21 F2 H3; 22" for a full read: mailbox, then kind and number of items of
// each group (which must equal the group's count).
QString fullText(const QList<Mailbox>& boxes)
{
    QStringList parts;
    for (const Mailbox& box : boxes) {
        QString text = QString::fromLatin1(box.name);
        for (const Group& g : box.groups) {
            text += QStringLiteral(" %1%2").arg(QLatin1Char(g.kind)).arg(g.items.size());
            if (g.count != g.items.size())
                text += QStringLiteral("(count %1)").arg(g.count);
        }
        parts << text;
    }
    return parts.join(QStringLiteral("; "));
}

// "21 F-1 H+2" for a read of changes: each group's kind, "-" when all its
// items have gone, "+" when all have arrived, "?" when it mixes both.
QString changesText(const QList<Mailbox>& boxes)
{
    QStringList parts;
    for (const Mailbox& box : boxes) {
        QString text = QString::fromLatin1(box.name);
        for (const Group& g : box.groups) {
            int gone = 0;
            for (const Item& item : g.items)
                gone += (item.flags & AVX_ITEM_GONE_MASK) ? 1 : 0;
            const QChar sign = gone == g.items.size() ? u'-' : gone == 0 ? u'+' : u'?';
            text +=
                QStringLiteral(" %1%2%3").arg(QLatin1Char(g.kind)).arg(sign).arg(g.items.size());
        }
        parts << text;
    }
    return parts.join(QStringLiteral("; "));
}

using Call = std::function<int32_t(const AgentvxEntryPoints&, const QString& store)>;

QByteArray message(const QByteArray& kind, const QByteArray& body = "Text\n")
{
    QByteArray text = "From: tester\nSubject: test\n";
    if (!kind.isEmpty())
        text += "X-Kind: " + kind + "\n";
    return text + "\n" + body;
}

} // namespace

Q_DECLARE_METATYPE(Call)

class TestAgentVx : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void initialise_data();
    void initialise();
    void fullReadListsMailboxesAndKinds();
    void kindHeader_data();
    void kindHeader();
    void identifiersStayAcrossReads();
    void changes_data();
    void changes();
    void arrivalAndDepartureOfOneMessage();
    void unconfirmedReadIsReportedAgain();
    void statusMessageToLocalMailbox();
    void statusMessageToOutbox_data();
    void statusMessageToOutbox();
    void badArguments_data();
    void badArguments();
    void unwritableFolders();
    void vanishedStore();
    void debugLevelControlsDiagnostics();

private:
    QString storePath(const QString& relative = {}) const;
    void makeMailbox(const QString& name);
    void writeFile(const QString& relative, const QByteArray& content);
    int32_t initialiseOn(const QString& path);
    int32_t read(int32_t mode, QList<Mailbox>* boxes, MailboxRecord** head = nullptr);
    void readAndConfirm(int32_t mode, QList<Mailbox>* boxes = nullptr);

    QLibrary m_library;
    AgentvxEntryPoints m_api;
    std::unique_ptr<QTemporaryDir> m_store;
};

void TestAgentVx::initTestCase()
{
    const QString binDir = qEnvironmentVariable("SARVIK_BIN_DIR");
    QVERIFY2(!binDir.isEmpty(), "SARVIK_BIN_DIR is not set");
    m_library.setFileName(QDir(binDir).filePath(QStringLiteral(AVX_LIBRARY_NAME)));
    QVERIFY2(m_library.load(), qPrintable(m_library.errorString()));
    const QString missing = resolveAgentvxEntryPoints(m_library, m_api);
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
}

void TestAgentVx::init()
{
    m_api.deinit();
    m_api.setDebugLevel(0);
    m_store = std::make_unique<QTemporaryDir>();
    QVERIFY(m_store->isValid());
    // Mailbox 21: two fax messages, three voice messages, one of each already seen.
    makeMailbox(QStringLiteral("21"));
    writeFile(QStringLiteral("21/new/1700000001.a.host"), message("F"));
    writeFile(QStringLiteral("21/cur/1700000002.b.host:2,S"), message("F"));
    writeFile(QStringLiteral("21/new/1700000003.c.host"), message("H"));
    writeFile(QStringLiteral("21/new/1700000004.d.host"), message("H"));
    writeFile(QStringLiteral("21/cur/1700000005.e.host:2,"), message("H"));
    // Mailbox 22: empty.
    makeMailbox(QStringLiteral("22"));
}

void TestAgentVx::cleanup()
{
    m_api.deinit();
    m_api.setDebugLevel(0);
}

QString TestAgentVx::storePath(const QString& relative) const
{
    return relative.isEmpty() ? m_store->path() : m_store->filePath(relative);
}

void TestAgentVx::makeMailbox(const QString& name)
{
    QVERIFY(QDir(storePath()).mkpath(name + QStringLiteral("/new")));
    QVERIFY(QDir(storePath()).mkpath(name + QStringLiteral("/cur")));
}

void TestAgentVx::writeFile(const QString& relative, const QByteArray& content)
{
    QFile file(storePath(relative));
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.fileName()));
    QCOMPARE(file.write(content), content.size());
}

int32_t TestAgentVx::initialiseOn(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    return m_api.init(bytes.constData(), "agent", "/tmp", "secret");
}

int32_t TestAgentVx::read(int32_t mode, QList<Mailbox>* boxes, MailboxRecord** head)
{
    ReadParams params{};
    params.ReadMode = mode;
    MailboxRecord* list = nullptr;
    const int32_t result = m_api.read(&list, &params);
    if (boxes)
        *boxes = walk(list);
    if (head)
        *head = list;
    return result;
}

void TestAgentVx::readAndConfirm(int32_t mode, QList<Mailbox>* boxes)
{
    MailboxRecord* head = nullptr;
    QCOMPARE(read(mode, boxes, &head), 0);
    QCOMPARE(m_api.confirm(&head), 0);
}

void TestAgentVx::initialise_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("store folder") << QString() << true;
    QTest::newRow("file inside the store") << QStringLiteral("agentvx.conf") << true;
    QTest::newRow("missing file inside the store") << QStringLiteral("none.conf") << false;
    QTest::newRow("missing folder") << QStringLiteral("nowhere/") << false;
    QTest::newRow("below a file") << QStringLiteral("agentvx.conf/store") << false;
}

void TestAgentVx::initialise()
{
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    writeFile(QStringLiteral("agentvx.conf"), "# mail store\n");
    const int32_t result = initialiseOn(storePath(path));
    QCOMPARE(result == 0, accepted);
    // Only an initialised library reads the store.
    QList<Mailbox> boxes;
    QCOMPARE(read(AVX_READ_FULL, &boxes) == 0, accepted);
    QCOMPARE(fullText(boxes), accepted ? QStringLiteral("21 F2 H3; 22") : QString());
}

void TestAgentVx::fullReadListsMailboxesAndKinds()
{
    // Mailbox named in Czech: its record carries the name in Windows-1250.
    makeMailbox(QStringLiteral("Šťastný"));
    writeFile(QStringLiteral("Šťastný/new/1700000010.x.host"), message({}));
    // Nothing of this is a message or a mailbox.
    writeFile(QStringLiteral("21/new/.1700000011.tmp"), message("H"));
    QVERIFY(QDir(storePath()).mkpath(QStringLiteral("21/new/subfolder")));
    QVERIFY(QDir(storePath()).mkpath(QStringLiteral("notes")));
    QVERIFY(QDir(storePath()).mkpath(QStringLiteral(".hidden/new")));
    QVERIFY(QDir(storePath()).mkpath(QStringLiteral("outbox-V")));
    writeFile(QStringLiteral("outbox-V/1700000012.y.host"), message("F"));
    writeFile(QStringLiteral("readme.txt"), "not a mailbox\n");

    QCOMPARE(initialiseOn(storePath()), 0);
    QList<Mailbox> boxes;
    QCOMPARE(read(AVX_READ_FULL, &boxes), 0);
    QCOMPARE(fullText(boxes), QStringLiteral("21 F2 H3; 22; \x8A\x9D"
                                             "astn\xFD M1"));
    QSet<quint32> ids;
    for (const Mailbox& box : boxes)
        for (const Group& g : box.groups)
            for (const Item& item : g.items) {
                QCOMPARE(item.flags, 0u);
                QVERIFY(item.id != 0);
                ids.insert(item.id);
            }
    QCOMPARE(ids.size(), 6);
}

void TestAgentVx::kindHeader_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fax") << message("F") << QStringLiteral("23 F1");
    QTest::newRow("name in lower case, no blank")
        << QByteArray("x-kind:H\n\nText\n") << QStringLiteral("23 H1");
    QTest::newRow("blanks before the value")
        << QByteArray("X-Kind: \t Q\n\n") << QStringLiteral("23 Q1");
    QTest::newRow("CRLF line ends")
        << QByteArray("Subject: s\r\nX-Kind: F\r\n\r\nText\r\n") << QStringLiteral("23 F1");
    QTest::newRow("no kind header") << message({}) << QStringLiteral("23 M1");
    QTest::newRow("empty kind") << QByteArray("X-Kind:\n\nText\n") << QStringLiteral("23 M1");
    QTest::newRow("kind in the body only")
        << QByteArray("Subject: s\n\nX-Kind: F\n") << QStringLiteral("23 M1");
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("23 M1");
}

void TestAgentVx::kindHeader()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    makeMailbox(QStringLiteral("23"));
    writeFile(QStringLiteral("23/new/1700000020.k.host"), content);
    QCOMPARE(initialiseOn(storePath()), 0);
    QList<Mailbox> boxes;
    QCOMPARE(read(AVX_READ_FULL, &boxes), 0);
    QCOMPARE(fullText(boxes.mid(2)), expected);
}

void TestAgentVx::identifiersStayAcrossReads()
{
    QCOMPARE(initialiseOn(storePath()), 0);
    QList<Mailbox> first;
    readAndConfirm(AVX_READ_FULL, &first);

    // A reader sees the message: it moves from new/ to cur/ and gains flags.
    QVERIFY(QFile::rename(storePath(QStringLiteral("21/new/1700000001.a.host")),
                          storePath(QStringLiteral("21/cur/1700000001.a.host:2,S"))));
    QCOMPARE(m_api.quickTest(), 0);
    QList<Mailbox> second;
    QCOMPARE(read(AVX_READ_FULL, &second), 0);

    // And the same after the library was started again.
    QCOMPARE(m_api.deinit(), 0);
    QCOMPARE(initialiseOn(storePath()), 0);
    QList<Mailbox> third;
    QCOMPARE(read(AVX_READ_FULL, &third), 0);

    auto ids = [](const QList<Mailbox>& boxes) {
        QList<quint32> list;
        for (const Group& g : boxes.value(0).groups)
            for (const Item& item : g.items)
                list << item.id;
        return list;
    };
    QCOMPARE(ids(first).size(), 5);
    QCOMPARE(ids(second), ids(first));
    QCOMPARE(ids(third), ids(first));
}

void TestAgentVx::changes_data()
{
    QTest::addColumn<Call>("change");
    QTest::addColumn<QString>("expected");

    auto drop = [](const QString& relative, const QByteArray& content) {
        return [=](const AgentvxEntryPoints&, const QString& store) {
            QFile file(store + u'/' + relative);
            return int32_t(
                file.open(QIODevice::WriteOnly) && file.write(content) == content.size() ? 0 : 1);
        };
    };
    auto remove = [](const QString& relative) {
        return [=](const AgentvxEntryPoints&, const QString& store) {
            return int32_t(QFile::remove(store + u'/' + relative) ? 0 : 1);
        };
    };

    QTest::newRow("nothing") << Call([](const AgentvxEntryPoints&, const QString&) { return 0; })
                             << QString();
    QTest::newRow("new voice message")
        << Call(drop(QStringLiteral("21/new/1700000100.n.host"), message("H")))
        << QStringLiteral("21 H+1");
    QTest::newRow("deleted fax message")
        << Call(remove(QStringLiteral("21/cur/1700000002.b.host:2,S"))) << QStringLiteral("21 F-1");
    QTest::newRow("kind rewritten")
        << Call(drop(QStringLiteral("21/new/1700000001.a.host"), message("H", "Longer text\n")))
        << QStringLiteral("21 F-1 H+1");
    QTest::newRow("message seen by a reader")
        << Call([](const AgentvxEntryPoints&, const QString& store) {
               return int32_t(QFile::rename(store + QStringLiteral("/21/new/1700000003.c.host"),
                                            store + QStringLiteral("/21/cur/1700000003.c.host:2,S"))
                                  ? 0
                                  : 1);
           })
        << QString();
    QTest::newRow("new mailbox") << Call([](const AgentvxEntryPoints&, const QString& store) {
        QDir(store).mkpath(QStringLiteral("24/new"));
        QFile file(store + QStringLiteral("/24/new/1700000101.m.host"));
        return int32_t(file.open(QIODevice::WriteOnly) && file.write(message("F")) > 0 ? 0 : 1);
    }) << QStringLiteral("24 F+1");
    QTest::newRow("mailbox removed") << Call([](const AgentvxEntryPoints&, const QString& store) {
        return int32_t(QDir(store + QStringLiteral("/21")).removeRecursively() ? 0 : 1);
    }) << QStringLiteral("21 F-2 H-3");
    QTest::newRow("empty mailbox created")
        << Call([](const AgentvxEntryPoints&, const QString& store) {
               return int32_t(QDir(store).mkpath(QStringLiteral("25/new")) ? 0 : 1);
           })
        << QString();
    QTest::newRow("file being written")
        << Call(drop(QStringLiteral("22/new/.1700000102.tmp"), message("H"))) << QString();
    QTest::newRow("outgoing message") << Call([](const AgentvxEntryPoints& api, const QString&) {
        return api.send("jan", 'V', "Porucha", "Linka 21 mimo provoz", AVX_FLAG_TRAP);
    }) << QString();
    QTest::newRow("local message delivered")
        << Call([](const AgentvxEntryPoints& api, const QString&) {
               return api.send("22", 'L', "Porucha", "Linka 21 mimo provoz", AVX_FLAG_TRAP);
           })
        << QStringLiteral("22 M+1");
    QTest::newRow("arrivals in two mailboxes")
        << Call([](const AgentvxEntryPoints&, const QString& store) {
               QFile a(store + QStringLiteral("/21/new/1700000103.p.host"));
               QFile b(store + QStringLiteral("/22/cur/1700000104.q.host:2,S"));
               return int32_t(a.open(QIODevice::WriteOnly) && a.write(message("F")) > 0 &&
                                      b.open(QIODevice::WriteOnly) && b.write(message("Z")) > 0
                                  ? 0
                                  : 1);
           })
        << QStringLiteral("21 F+1; 22 Z+1");
}

void TestAgentVx::changes()
{
    QFETCH(Call, change);
    QFETCH(QString, expected);
    QCOMPARE(initialiseOn(storePath()), 0);
    readAndConfirm(AVX_READ_FULL);
    QCOMPARE(m_api.quickTest(), 0);

    QCOMPARE(change(m_api, storePath()), 0);
    QCOMPARE(m_api.quickTest() != 0, !expected.isEmpty());
    QList<Mailbox> boxes;
    readAndConfirm(AVX_READ_CHANGES, &boxes);
    QCOMPARE(changesText(boxes), expected);

    // Confirmed: nothing is left to report.
    QCOMPARE(m_api.quickTest(), 0);
    readAndConfirm(AVX_READ_CHANGES, &boxes);
    QCOMPARE(changesText(boxes), QString());
}

void TestAgentVx::arrivalAndDepartureOfOneMessage()
{
    QCOMPARE(initialiseOn(storePath()), 0);
    readAndConfirm(AVX_READ_FULL);

    writeFile(QStringLiteral("22/new/1700000200.r.host"), message("H"));
    QList<Mailbox> arrived;
    readAndConfirm(AVX_READ_CHANGES, &arrived);
    QCOMPARE(changesText(arrived), QStringLiteral("22 H+1"));
    const quint32 id = arrived[0].groups[0].items[0].id;

    QVERIFY(QFile::remove(storePath(QStringLiteral("22/new/1700000200.r.host"))));
    QVERIFY(m_api.quickTest() != 0);
    QList<Mailbox> gone;
    readAndConfirm(AVX_READ_CHANGES, &gone);
    QCOMPARE(changesText(gone), QStringLiteral("22 H-1"));
    QCOMPARE(gone[0].groups[0].items[0].id, id);
    QCOMPARE(gone[0].groups[0].items[0].flags & AVX_ITEM_GONE_MASK, 2u);
}

void TestAgentVx::unconfirmedReadIsReportedAgain()
{
    QCOMPARE(initialiseOn(storePath()), 0);
    // Nothing confirmed yet: a read of changes reports every message as new.
    QList<Mailbox> boxes;
    MailboxRecord* first = nullptr;
    QCOMPARE(read(AVX_READ_CHANGES, &boxes, &first), 0);
    QCOMPARE(changesText(boxes), QStringLiteral("21 F+2 H+3"));

    // Without confirmation the next read reports the same, and the list of
    // the earlier read can no longer be confirmed.
    MailboxRecord* second = nullptr;
    QCOMPARE(read(AVX_READ_CHANGES, &boxes, &second), 0);
    QCOMPARE(changesText(boxes), QStringLiteral("21 F+2 H+3"));
    MailboxRecord* foreign = reinterpret_cast<MailboxRecord*>(&boxes);
    QVERIFY(m_api.confirm(&foreign) != 0);
    QVERIFY(m_api.quickTest() != 0);

    QCOMPARE(m_api.confirm(&second), 0);
    QCOMPARE(m_api.quickTest(), 0);
    // A confirmation is given once.
    QVERIFY(m_api.confirm(&second) != 0);
}

void TestAgentVx::statusMessageToLocalMailbox()
{
    makeMailbox(QStringLiteral("Šťastný"));
    QCOMPARE(initialiseOn(storePath()), 0);
    readAndConfirm(AVX_READ_FULL);

    // Recipient, subject and text in Windows-1250.
    const char recipient[] = "\x8A\x9D"
                             "astn\xFD";
    const char subject[] = "Porucha \xFA"
                           "st\xF8"
                           "edny";
    const char text[] = "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1"
                        "belsk\xE9 \xF3"
                        "dy \x96 \x84\x80\x93";
    QCOMPARE(m_api.send(recipient, 'L', subject, text, AVX_FLAG_STATUS), 0);

    const QDir inbox(storePath(QStringLiteral("Šťastný/new")));
    const QStringList files = inbox.entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY(!files[0].startsWith(u'.'));
    QVERIFY(QDir(storePath(QStringLiteral("Šťastný/tmp"))).isEmpty());
    QFile file(inbox.filePath(files[0]));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(file.readAll());
    const qsizetype split = content.indexOf(QStringLiteral("\n\n"));
    QVERIFY(split > 0);
    const QStringList headers = content.left(split).split(u'\n');
    QVERIFY(headers.contains(QStringLiteral("To: Šťastný")));
    QVERIFY(headers.contains(QStringLiteral("Subject: Porucha ústředny")));
    QVERIFY(headers.contains(QStringLiteral("From: agent")));
    QVERIFY(headers.contains(QStringLiteral("X-Kind: M")));
    QVERIFY(headers.contains(QStringLiteral("X-Address-Type: L")));
    QVERIFY(headers.contains(QStringLiteral("X-Flag: 0x01")));
    QVERIFY(headers.contains(QStringLiteral("Content-Type: text/plain; charset=UTF-8")));
    QCOMPARE(content.mid(split + 2),
             QStringLiteral("Příliš žluťoučký kůň úpěl ďábelské ódy – „€“\n"));

    // The delivered message is a message of that mailbox like any other.
    QList<Mailbox> boxes;
    readAndConfirm(AVX_READ_CHANGES, &boxes);
    QCOMPARE(changesText(boxes), QString::fromLatin1("\x8A\x9D"
                                                     "astn\xFD M+1"));
}

void TestAgentVx::statusMessageToOutbox_data()
{
    QTest::addColumn<char>("type");
    QTest::addColumn<int>("flag");
    QTest::newRow("mail, outside") << 'V' << AVX_FLAG_TRAP;
    QTest::newRow("SMS") << 'Q' << AVX_FLAG_TRAP;
    QTest::newRow("internet") << 'I' << AVX_FLAG_STATUS;
    QTest::newRow("fax") << 'F' << AVX_FLAG_TRAP;
    QTest::newRow("modem") << 'Z' << AVX_FLAG_STATUS;
}

void TestAgentVx::statusMessageToOutbox()
{
    QFETCH(char, type);
    QFETCH(int, flag);
    QCOMPARE(initialiseOn(storePath()), 0);
    // Multi-line text with Windows line ends; the file keeps LF only.
    QCOMPARE(m_api.send("jan@example.org", static_cast<unsigned char>(type),
                        "Hl\xE1\x9A"
                        "en\xED",
                        "Linka 21\r\nmimo provoz", static_cast<unsigned char>(flag)),
             0);
    QCOMPARE(m_api.send("dispecink", static_cast<unsigned char>(type), "Druh\xE1",
                        "Druh\xE1 zpr\xE1va", static_cast<unsigned char>(flag)),
             0);

    const QDir outbox(storePath(QStringLiteral("outbox-%1").arg(QLatin1Char(type))));
    const QStringList files = outbox.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QCOMPARE(files.size(), 2);
    QFile file(outbox.filePath(files[0]));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString content = QString::fromUtf8(file.readAll());
    QVERIFY(content.contains(QStringLiteral("\nTo: jan@example.org\n")));
    QVERIFY(content.contains(QStringLiteral("\nSubject: Hlášení\n")));
    QVERIFY(content.contains(QStringLiteral("\nX-Address-Type: %1\n").arg(QLatin1Char(type))));
    QVERIFY(content.contains(flag == AVX_FLAG_TRAP ? QStringLiteral("\nX-Flag: 0x31\n")
                                                   : QStringLiteral("\nX-Flag: 0x01\n")));
    QVERIFY(content.endsWith(QStringLiteral("\n\nLinka 21\nmimo provoz\n")));
    // Outgoing messages are not in any mailbox.
    QList<Mailbox> boxes;
    QCOMPARE(read(AVX_READ_FULL, &boxes), 0);
    QCOMPARE(fullText(boxes), QStringLiteral("21 F2 H3; 22"));
}

void TestAgentVx::badArguments_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<bool>("initialised");

    auto readWith = [](int32_t mode) {
        return [=](const AgentvxEntryPoints& api, const QString&) {
            ReadParams params{};
            params.ReadMode = mode;
            MailboxRecord* head = reinterpret_cast<MailboxRecord*>(&params);
            const int32_t r = api.read(&head, &params);
            // A failed read leaves no list behind.
            return head == nullptr ? r : 0;
        };
    };
    auto send = [](const char* recipient, unsigned char type, const char* subject, const char* text,
                   unsigned char flag) {
        return [=](const AgentvxEntryPoints& api, const QString&) {
            return api.send(recipient, type, subject, text, flag);
        };
    };
    auto initWith = [](const char* user, const char* workDir, const char* password, bool nullPath) {
        return [=](const AgentvxEntryPoints& api, const QString& store) {
            const QByteArray path = QFile::encodeName(store);
            return api.init(nullPath ? nullptr : path.constData(), user, workDir, password);
        };
    };

    QTest::newRow("init: no path") << Call(initWith("u", "/tmp", "p", true)) << false;
    QTest::newRow("init: no user") << Call(initWith(nullptr, "/tmp", "p", false)) << false;
    QTest::newRow("init: no working folder") << Call(initWith("u", nullptr, "p", false)) << false;
    QTest::newRow("init: no password") << Call(initWith("u", "/tmp", nullptr, false)) << false;
    QTest::newRow("init: empty path") << Call([](const AgentvxEntryPoints& api, const QString&) {
        return api.init("", "u", "/tmp", "p");
    }) << false;

    QTest::newRow("read: not initialised") << Call(readWith(AVX_READ_FULL)) << false;
    QTest::newRow("read: no head") << Call([](const AgentvxEntryPoints& api, const QString&) {
        ReadParams params{};
        params.ReadMode = AVX_READ_FULL;
        return api.read(nullptr, &params);
    }) << true;
    QTest::newRow("read: no parameters") << Call([](const AgentvxEntryPoints& api, const QString&) {
        MailboxRecord* head = nullptr;
        return api.read(&head, nullptr);
    }) << true;
    QTest::newRow("read: mode 0") << Call(readWith(0)) << true;
    QTest::newRow("read: mode 2") << Call(readWith(2)) << true;
    QTest::newRow("read: mode -1") << Call(readWith(-1)) << true;

    QTest::newRow("confirm: no head")
        << Call([](const AgentvxEntryPoints& api, const QString&) { return api.confirm(nullptr); })
        << true;
    QTest::newRow("confirm: no read") << Call([](const AgentvxEntryPoints& api, const QString&) {
        MailboxRecord* head = nullptr;
        return api.confirm(&head);
    }) << true;
    QTest::newRow("quick test: not initialised")
        << Call([](const AgentvxEntryPoints& api, const QString&) { return api.quickTest(); })
        << false;

    QTest::newRow("send: not initialised") << Call(send("21", 'L', "s", "t", 1)) << false;
    QTest::newRow("send: no recipient") << Call(send(nullptr, 'L', "s", "t", 1)) << true;
    QTest::newRow("send: no subject") << Call(send("21", 'L', nullptr, "t", 1)) << true;
    QTest::newRow("send: no text") << Call(send("21", 'L', "s", nullptr, 1)) << true;
    QTest::newRow("send: empty recipient") << Call(send("", 'V', "s", "t", 0x31)) << true;
    QTest::newRow("send: no address type") << Call(send("21", 0, "s", "t", 1)) << true;
    QTest::newRow("send: address type not a letter") << Call(send("jan", '/', "s", "t", 1)) << true;
    QTest::newRow("send: unknown flag") << Call(send("21", 'L', "s", "t", 7)) << true;
    QTest::newRow("send: unknown mailbox") << Call(send("99", 'L', "s", "t", 1)) << true;
    QTest::newRow("send: path as mailbox") << Call(send("../21", 'L', "s", "t", 1)) << true;
    QTest::newRow("send: outbox as mailbox") << Call(send("outbox-V", 'L', "s", "t", 1)) << true;
    QTest::newRow("send: dot as mailbox") << Call(send(".", 'L', "s", "t", 1)) << true;
}

void TestAgentVx::badArguments()
{
    QFETCH(Call, call);
    QFETCH(bool, initialised);
    if (initialised)
        QCOMPARE(initialiseOn(storePath()), 0);
    QVERIFY(call(m_api, storePath()) != 0);
    // Nothing was written into the store's mailboxes, and the library still works.
    QVERIFY(QDir(storePath(QStringLiteral("21/new"))).entryList(QDir::Files).size() == 3);
    QVERIFY(!QDir(storePath(QStringLiteral("99"))).exists());
    if (!initialised)
        QCOMPARE(initialiseOn(storePath()), 0);
    QList<Mailbox> boxes;
    QCOMPARE(read(AVX_READ_FULL, &boxes), 0);
    QCOMPARE(fullText(boxes), QStringLiteral("21 F2 H3; 22"));
}

void TestAgentVx::unwritableFolders()
{
    QCOMPARE(initialiseOn(storePath()), 0);
    // A file where the outbox folder belongs: the outbox cannot be made.
    writeFile(QStringLiteral("outbox-V"), "in the way\n");
    QVERIFY(m_api.send("jan", 'V', "s", "t", AVX_FLAG_TRAP) != 0);
    // A file where the mailbox's delivery folder belongs.
    QVERIFY(QDir(storePath(QStringLiteral("22/new"))).removeRecursively());
    writeFile(QStringLiteral("22/tmp"), "in the way\n");
    QVERIFY(m_api.send("22", 'L', "s", "t", AVX_FLAG_STATUS) != 0);

    // A store without write permission (the permission bits bind only an
    // unprivileged user).
    if (::geteuid() == 0)
        QSKIP("permission bits do not bind a privileged user");
    QVERIFY(QFile::setPermissions(storePath(), QFile::ReadOwner | QFile::ExeOwner));
    const int32_t result = initialiseOn(storePath());
    QFile::setPermissions(storePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(result != 0);
}

void TestAgentVx::vanishedStore()
{
    QCOMPARE(initialiseOn(storePath()), 0);
    readAndConfirm(AVX_READ_FULL);
    QVERIFY(m_store->remove());
    // The quick test sends the caller to read, and the read fails.
    QVERIFY(m_api.quickTest() != 0);
    QList<Mailbox> boxes;
    QVERIFY(read(AVX_READ_CHANGES, &boxes) != 0);
    QVERIFY(boxes.isEmpty());
    QVERIFY(m_api.send("21", 'L', "s", "t", AVX_FLAG_STATUS) != 0);
    // Delivery to an outbox does not bring the store back.
    QVERIFY(m_api.send("jan", 'V', "s", "t", AVX_FLAG_STATUS) != 0);
    QVERIFY(!QDir(storePath()).exists());
}

void TestAgentVx::debugLevelControlsDiagnostics()
{
    // Standard error goes to a file for the length of the test.
    QTemporaryFile capture;
    QVERIFY(capture.open());
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    QVERIFY(saved >= 0);
    QVERIFY(::dup2(capture.handle(), STDERR_FILENO) >= 0);

    m_api.setDebugLevel(0);
    const int32_t silentResult = m_api.send("99", 'L', "s", "t", AVX_FLAG_STATUS);
    std::fflush(stderr);
    const qint64 silentSize = QFileInfo(capture.fileName()).size();
    m_api.setDebugLevel(1);
    const int32_t loudResult = initialiseOn(storePath(QStringLiteral("nowhere")));
    std::fflush(stderr);

    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    QVERIFY(silentResult != 0);
    QVERIFY(loudResult != 0);
    QCOMPARE(silentSize, 0);
    capture.seek(0);
    const QByteArray written = capture.readAll();
    QVERIFY2(written.startsWith("agentvx: "), written.constData());
    QVERIFY(written.contains("nowhere"));
}

QTEST_GUILESS_MAIN(TestAgentVx)
#include "tst_agentvx.moc"
