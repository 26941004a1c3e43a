#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct PendingRequest;

// One remembered reply to a read request.
struct CacheEntry
{
    static constexpr int Capacity = 256;

    std::array<uint8_t, Capacity> Request; // the request; bytes beyond its length are zero
    std::array<uint8_t, Capacity> Reply;   // the reply as the exchange sent it
    int32_t ReplyLength;
    qint64 StoredAt;     // milliseconds on the cache's monotonic clock
    uint32_t LifetimeMs; // how long the entry stays fresh
};

// A ring of MaxCache recent replies to read requests, so that a client asking the same
// thing again shortly after is answered without using the serial link. Slots in use are
// the Count slots just before Head, newest first.
class ResponseCache
{
public:
    // Milliseconds from a clock that never runs backwards.
    using Clock = std::function<qint64()>;

    // maxCache 0 or negative switches the cache off; so does a failed allocation of the
    // slots. Without a clock a steady clock is used, so that setting the system's date
    // and time back cannot keep a reply fresh.
    explicit ResponseCache(int32_t maxCache, Clock clock = {});
    ~ResponseCache();
    ResponseCache(const ResponseCache&) = delete;
    ResponseCache& operator=(const ResponseCache&) = delete;

    int32_t MaxCache() const { return m_maxCache; }
    int32_t Head() const { return m_head; }
    int32_t Count() const { return m_count; }

    // The newest slot whose stored request begins with these bytes, passing over stale
    // slots when ageTest is set. An empty request or one longer than an entry finds nothing.
    std::optional<int32_t> Lookup(QByteArrayView request, bool ageTest) const;

    // Keeps the reply when the request is a read (operation code 0), whatever the reply's
    // result code. An equal request's entry is updated in place, otherwise the slot at Head
    // is taken. Requests without an object code and requests or replies longer than an
    // entry are left out.
    void Store(QByteArrayView request, QByteArrayView reply);
    // The dispatcher's offer: the record's request copy, unless the request was longer
    // than the copy (its reply must not be served for the shorter prefix).
    void Store(const PendingRequest& record, QByteArrayView reply);

    const CacheEntry& Entry(int32_t slot) const { return m_slots[slot]; }
    QByteArrayView ReplyOf(int32_t slot) const;

    bool isFresh(const CacheEntry& entry, qint64 now) const;

private:
    int32_t m_maxCache = 0;
    int32_t m_head = 0;
    int32_t m_count = 0;
    std::unique_ptr<CacheEntry[]> m_slots;
    Clock m_clock;
};
