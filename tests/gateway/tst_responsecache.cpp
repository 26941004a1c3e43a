#include "common/bytes.h"
#include "gateway/responsecache.h"
#include "link/pendingrequest.h"

#include <QTest>
#include <initializer_list>

namespace {

QByteArray read(int object, int index = 0)
{
    return bytes({0, object, index});
}

} // namespace

class TestResponseCache : public QObject
{
    Q_OBJECT

private:
    qint64 m_now = 0;
    ResponseCache::Clock clock()
    {
        return [this] { return m_now; };
    }
    // The reply the cache would serve for request now, or a null array.
    static QByteArray served(const ResponseCache& cache, const QByteArray& request)
    {
        const std::optional<int32_t> slot = cache.Lookup(request, true);
        return slot ? cache.ReplyOf(*slot).toByteArray() : QByteArray();
    }

private Q_SLOTS:
    void init() { m_now = 1'000'000; }

    void freshness_data()
    {
        QTest::addColumn<int>("object");
        QTest::addColumn<qint64>("age");
        QTest::addColumn<bool>("served");
        QTest::newRow("line status at 100 ms") << 22 << qint64(100) << true;
        QTest::newRow("line status at 299 ms") << 22 << qint64(299) << true;
        QTest::newRow("line status at its lifetime") << 22 << qint64(300) << false;
        QTest::newRow("line status at 400 ms") << 22 << qint64(400) << false;
        QTest::newRow("Global just before an hour") << 0 << qint64(3'599'999) << true;
        QTest::newRow("Global at an hour") << 0 << qint64(3'600'000) << false;
        QTest::newRow("last listed object") << 26 << qint64(59'999) << true;
        QTest::newRow("first unlisted object at 9 ms") << 27 << qint64(9) << true;
        QTest::newRow("object 200 at 9 ms") << 200 << qint64(9) << true;
        QTest::newRow("object 200 at 10 ms") << 200 << qint64(10) << false;
        // The clock the cache reads never runs back; if one did, an entry "from the
        // future" must not be served for longer than its lifetime.
        QTest::newRow("clock set back") << 22 << qint64(-100) << false;
        QTest::newRow("clock set back a day") << 0 << qint64(-86'400'000) << false;
    }
    void freshness()
    {
        QFETCH(int, object);
        QFETCH(qint64, age);
        QFETCH(bool, served);

        ResponseCache cache(4, clock());
        const QByteArray reply = bytes({0, object, 0, 7, 8});
        cache.Store(read(object), reply);
        m_now += age;
        QCOMPARE(TestResponseCache::served(cache, read(object)), served ? reply : QByteArray());
        // A stale entry is passed over, not removed.
        QVERIFY(cache.Lookup(read(object), false).has_value());
    }

    void staleEntryIsUpdatedInPlace()
    {
        ResponseCache cache(5, clock());
        cache.Store(read(22), bytes({0, 22, 0, 1}));
        cache.Store(read(14), bytes({0, 14, 0, 9}));
        m_now += 400;
        QVERIFY(served(cache, read(22)).isNull());

        cache.Store(read(22), bytes({0, 22, 0, 2}));
        QCOMPARE(cache.Count(), 2);
        QCOMPARE(cache.Head(), 2);
        QCOMPARE(*cache.Lookup(read(22), true), 0);
        QCOMPARE(served(cache, read(22)), bytes({0, 22, 0, 2}));
    }

    void onlyReadsAreStored_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("stored");
        QTest::newRow("read") << read(14) << bytes({0, 14, 0, 1, 2}) << true;
        QTest::newRow("read answered with an error") << read(14) << bytes({5, 14, 0}) << true;
        QTest::newRow("write") << bytes({1, 14, 0, 3}) << bytes({0, 14, 0}) << false;
        for (int op = 2; op <= 5; ++op)
            QTest::addRow("operation %d", op) << bytes({op, 14, 0}) << bytes({0}) << false;
        QTest::newRow("read without object code") << bytes({0}) << bytes({3}) << false;
        QTest::newRow("request of 256 bytes")
            << read(14) + QByteArray(253, '\x01') << bytes({0, 14}) << true;
        QTest::newRow("request over 256 bytes")
            << read(14) + QByteArray(254, '\x01') << bytes({0, 14}) << false;
        QTest::newRow("reply of 256 bytes")
            << read(14) << bytes({0, 14}) + QByteArray(254, 'r') << true;
        QTest::newRow("reply over 256 bytes")
            << read(14) << bytes({0, 14}) + QByteArray(255, 'r') << false;
    }
    void onlyReadsAreStored()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(bool, stored);

        ResponseCache cache(3, clock());
        cache.Store(request, reply);
        QCOMPARE(cache.Count(), stored ? 1 : 0);
        QCOMPARE(served(cache, request), stored ? reply : QByteArray());
    }

    void offerFromPendingRecord()
    {
        ResponseCache cache(3, clock());
        PendingRequest whole;
        whole.Data = read(14, 3);
        whole.DataLength = 3;
        cache.Store(whole, bytes({0, 14, 3, 1}));
        QCOMPARE(served(cache, read(14, 3)), bytes({0, 14, 3, 1}));

        // The record of a longer request keeps only its first 256 bytes; its reply must
        // not be served to a request that merely shares them.
        PendingRequest cut;
        cut.Data = read(15) + QByteArray(253, '\x02');
        cut.DataLength = 300;
        cache.Store(cut, bytes({0, 15, 0, 9}));
        QCOMPARE(cache.Count(), 1);
        QVERIFY(served(cache, cut.Data).isNull());
    }

    void singleSlot()
    {
        ResponseCache cache(1, clock());
        cache.Store(read(14, 1), bytes({0, 14, 1, 1}));
        cache.Store(read(14, 2), bytes({0, 14, 2, 2}));
        QCOMPARE(cache.Count(), 1);
        QCOMPARE(cache.Head(), 0);
        QVERIFY(served(cache, read(14, 1)).isNull());
        QCOMPARE(served(cache, read(14, 2)), bytes({0, 14, 2, 2}));

        m_now += 10;
        cache.Store(read(14, 2), bytes({0, 14, 2, 3}));
        QCOMPARE(cache.Count(), 1);
        QCOMPARE(served(cache, read(14, 2)), bytes({0, 14, 2, 3}));
    }

    void prefixAndNewestFirst()
    {
        ResponseCache cache(4, clock());
        cache.Store(bytes({0, 14, 5, 7}), bytes({0, 14, 5, 1}));
        cache.Store(bytes({0, 14, 6, 7}), bytes({0, 14, 6, 2}));

        // A shorter looked-up request matches the start of a longer stored one; of two
        // such entries the newer is found.
        QCOMPARE(served(cache, bytes({0, 14, 5})), bytes({0, 14, 5, 1}));
        QCOMPARE(served(cache, bytes({0, 14})), bytes({0, 14, 6, 2}));
        QVERIFY(served(cache, bytes({0, 14, 7})).isNull());
        QVERIFY(served(cache, QByteArray()).isNull());
    }

    void shorterRequestLeavesNoTailBehind()
    {
        // The shorter request finds the longer one's slot and updates it in place; the
        // longer request must then no longer match bytes that only it had sent.
        ResponseCache cache(2, clock());
        const QByteArray longer = bytes({0, 14, 5, 7, 9});
        cache.Store(longer, bytes({0, 14, 5, 0xAA}));
        cache.Store(read(14, 5), bytes({0, 14, 5, 0xBB}));
        QCOMPARE(cache.Count(), 1);
        QVERIFY(served(cache, longer).isNull());
        QCOMPARE(served(cache, read(14, 5)), bytes({0, 14, 5, 0xBB}));
    }

    void ringWraps()
    {
        constexpr int slotCount = 3;
        ResponseCache cache(slotCount, clock());
        for (int i = 0; i < slotCount; ++i)
            cache.Store(read(14, i), bytes({0, 14, i, i}));
        QCOMPARE(cache.Count(), slotCount);
        QCOMPARE(cache.Head(), 0);
        for (int i = 0; i < slotCount; ++i)
            QCOMPARE(served(cache, read(14, i)), bytes({0, 14, i, i}));

        cache.Store(read(14, slotCount), bytes({0, 14, slotCount, slotCount}));
        QCOMPARE(cache.Count(), slotCount);
        QCOMPARE(cache.Head(), 1);
        QCOMPARE(*cache.Lookup(read(14, slotCount), true), 0);
        QVERIFY(served(cache, read(14, 0)).isNull());
        for (int i = 1; i <= slotCount; ++i)
            QCOMPARE(served(cache, read(14, i)), bytes({0, 14, i, i}));
    }

    void switchedOff_data()
    {
        QTest::addColumn<int>("maxCache");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -5;
    }
    void switchedOff()
    {
        QFETCH(int, maxCache);
        ResponseCache cache(maxCache, clock());
        QCOMPARE(cache.MaxCache(), 0);
        cache.Store(read(14), bytes({0, 14, 0, 1}));
        QCOMPARE(cache.Count(), 0);
        QVERIFY(!cache.Lookup(read(14), false).has_value());
    }

    void defaultClockServesFreshReplies()
    {
        ResponseCache cache(2);
        cache.Store(read(0), bytes({0, 0, 0, 1}));
        QCOMPARE(served(cache, read(0)), bytes({0, 0, 0, 1}));
    }
};

QTEST_GUILESS_MAIN(TestResponseCache)
#include "tst_responsecache.moc"
