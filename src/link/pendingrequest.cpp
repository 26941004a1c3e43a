#include "link/pendingrequest.h"

#include <algorithm>

static QByteArray keyOf(uint8_t seq)
{
    return QByteArray::number(seq);
}

void PendingRequestTable::StorePendingRequest(uint8_t seq, std::unique_ptr<PendingRequest> record)
{
    // A record still under this key never got its reply (or was stored while the
    // port was closed); the newer request displaces it.
    const QByteArray key = keyOf(seq);
    std::erase_if(m_entries, [&](const Entry& e) { return e.key == key; });
    m_entries.push_back({key, std::move(record)});
}

std::unique_ptr<PendingRequest> PendingRequestTable::TakePendingRequest(uint8_t seq)
{
    const QByteArray key = keyOf(seq);
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [&](const Entry& e) { return e.key == key; });
    if (it == m_entries.end())
        return nullptr;
    std::unique_ptr<PendingRequest> record = std::move(it->record);
    m_entries.erase(it);
    return record;
}
