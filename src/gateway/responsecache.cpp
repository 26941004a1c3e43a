#include "gateway/responsecache.h"

#include "data/tdata.h"
#include "link/pendingrequest.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint8_t ReadOperation = 0;

ResponseCache::Clock steadyClock()
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer] { return timer->elapsed(); };
}

} // namespace

ResponseCache::ResponseCache(int32_t maxCache, Clock clock)
    : m_clock(clock ? std::move(clock) : steadyClock())
{
    if (maxCache <= 0)
        return;
    // The slots are left uninitialised: a slot is read only after Store has written
    // every field, so a large cache costs no page until it fills.
    m_slots.reset(new (std::nothrow) CacheEntry[size_t(maxCache)]);
    if (m_slots)
        m_maxCache = maxCache;
}

ResponseCache::~ResponseCache() = default;

bool ResponseCache::isFresh(const CacheEntry& entry, qint64 now) const
{
    // Strict: an entry whose age equals its lifetime is stale. A negative age means the
    // clock went back (only an injected clock can); such an entry is not trusted.
    const qint64 age = now - entry.StoredAt;
    return age >= 0 && age < qint64(entry.LifetimeMs);
}

std::optional<int32_t> ResponseCache::Lookup(QByteArrayView request, bool ageTest) const
{
    if (m_count == 0 || request.isEmpty() || request.size() > CacheEntry::Capacity)
        return std::nullopt;
    const qint64 now = m_clock();
    int32_t i = m_head;
    for (int32_t k = 0; k < m_count; ++k) {
        i = (i - 1 + m_maxCache) % m_maxCache;
        const CacheEntry& entry = m_slots[i];
        if (ageTest && !isFresh(entry, now))
            continue;
        if (std::memcmp(entry.Request.data(), request.data(), size_t(request.size())) == 0)
            return i;
    }
    return std::nullopt;
}

void ResponseCache::Store(QByteArrayView request, QByteArrayView reply)
{
    if (m_maxCache <= 0 || request.size() < 2 || uint8_t(request[0]) != ReadOperation)
        return;
    if (request.size() > CacheEntry::Capacity || reply.size() > CacheEntry::Capacity)
        return;

    const std::optional<int32_t> found = Lookup(request, false);
    const int32_t slot = found ? *found : m_head;
    CacheEntry& entry = m_slots[slot];

    // The bytes after the request are cleared: a longer looked-up request is compared
    // against them, and must not match what an earlier, longer request left there.
    std::fill(std::copy(request.begin(), request.end(), entry.Request.begin()), entry.Request.end(),
              uint8_t(0));
    std::fill(std::copy(reply.begin(), reply.end(), entry.Reply.begin()), entry.Reply.end(),
              uint8_t(0));
    entry.LifetimeMs = objectLifetimeMs(uint8_t(request[1]));
    entry.ReplyLength = int32_t(reply.size());
    entry.StoredAt = m_clock();

    if (!found) {
        m_head = (m_head + 1) % m_maxCache;
        if (m_count < m_maxCache)
            ++m_count;
    }
}

void ResponseCache::Store(const PendingRequest& record, QByteArrayView reply)
{
    if (record.DataLength != record.Data.size())
        return;
    Store(QByteArrayView(record.Data), reply);
}

QByteArrayView ResponseCache::ReplyOf(int32_t slot) const
{
    const CacheEntry& entry = m_slots[slot];
    return QByteArrayView(reinterpret_cast<const char*>(entry.Reply.data()), entry.ReplyLength);
}
