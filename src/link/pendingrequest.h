#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpSocket>
#include <cstdint>
#include <memory>
#include <vector>

enum PendingKind : uint8_t {
    pkClient = 1,
    pkMailboxWrite = 3,
    pkTrapQuery = 4,
    pkNumbersQuery = 5,
    pkLineStatus = 6,
};

// What the agent remembers of a sent request until its reply arrives.
struct PendingRequest
{
    static constexpr int DataCapacity = 256;

    uint8_t Kind = 0;
    uint8_t Op = 0;
    int32_t ClientHandle = 0;
    QByteArray Data;        // at most DataCapacity bytes of the request payload
    int32_t DataLength = 0; // the request's full length
    // The connection itself, beside its handle: the system reuses a closed socket's
    // handle, and a reply must not reach a newer client that got the same number.
    QPointer<QTcpSocket> client;
};

// Records keyed by the decimal text of the sequence number, in insertion order.
class PendingRequestTable
{
public:
    // Stores under key seq; a record already under that key is released.
    void StorePendingRequest(uint8_t seq, std::unique_ptr<PendingRequest> record);
    std::unique_ptr<PendingRequest> TakePendingRequest(uint8_t seq);
    int count() const { return int(m_entries.size()); }
    void clear() { m_entries.clear(); }

private:
    struct Entry
    {
        QByteArray key;
        std::unique_ptr<PendingRequest> record;
    };
    std::vector<Entry> m_entries;
};
