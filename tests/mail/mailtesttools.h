#pragma once

#include "agent/eventlog.h"
#include "data/tdata.h"
#include "link/tcommpack.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <cstring>
#include <memory>
#include <vector>

// Collects the log lines without their time of day: "<tag> <text>".
class LogRecorder
{
public:
    explicit LogRecorder(EventLog& log)
    {
        QObject::connect(&log, &EventLog::lineWritten, [this](const QString& line) {
            m_lines.append(line.mid(10)); // "HH:mm:ss  "
        });
    }
    QStringList lines() const { return m_lines; }
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
};

// Records the frames SendPacket writes.
class FakePort : public PacketPort
{
public:
    bool open = true;
    QList<QByteArray> written;

    bool IsOpen() const override { return open; }
    void WritePacket(uint8_t, QByteArrayView payload) override
    {
        written.append(payload.toByteArray());
    }
};

// An extension table holding the given numbers in this order, every counter 0.
inline TData makeData(const QList<QByteArray>& numbers)
{
    TData data;
    for (const QByteArray& n : numbers) {
        auto& row = data.Numbers[data.NumberCount++];
        std::memcpy(row.number.data(), n.constData(), std::min<size_t>(n.size(), 3));
    }
    return data;
}

// The counters of every row, row after row.
inline QList<int> countsOf(const TData& data)
{
    QList<int> counts;
    for (int i = 0; i < data.NumberCount; ++i)
        for (uint8_t c : data.Numbers[i].counts)
            counts.append(c);
    return counts;
}

// A mailbox record list laid out in memory as the mail library delivers it: packed
// records at odd addresses, linked by native pointers, the bytes nobody should read
// filled with 0xA5. The offsets are written out here, apart from the ABI header, so
// that a wrong offset there shows.
class MailboxRecords
{
public:
    struct Item
    {
        uint32_t id;
        uint32_t flags = 0; // 2 or 4: gone
    };
    struct Group
    {
        char kind;
        uint16_t count = 0;
        QList<Item> items;
    };
    struct Mailbox
    {
        QByteArray name;
        QList<Group> groups;
    };

    static constexpr size_t P = sizeof(void*);

    explicit MailboxRecords(const QList<Mailbox>& mailboxes)
    {
        unsigned char* next = nullptr;
        for (auto m = mailboxes.crbegin(); m != mailboxes.crend(); ++m) {
            unsigned char* rec = block(321 + P);
            std::memcpy(rec + 69, m->name.constData(), m->name.size());
            rec[69 + m->name.size()] = 0;
            putPtr(rec + 113, groups(m->groups));
            putPtr(rec + 321, next);
            next = rec;
        }
        m_head = next;
    }

    const void* head() const { return m_head; }

private:
    unsigned char* groups(const QList<Group>& list)
    {
        const size_t nextOffset = P == 8 ? 11 : 7;
        unsigned char* next = nullptr;
        for (auto g = list.crbegin(); g != list.crend(); ++g) {
            unsigned char* rec = block(nextOffset + P);
            rec[0] = uint8_t(g->kind);
            std::memcpy(rec + 1, &g->count, 2);
            putPtr(rec + 3, items(g->items));
            putPtr(rec + nextOffset, next);
            next = rec;
        }
        return next;
    }

    unsigned char* items(const QList<Item>& list)
    {
        unsigned char* next = nullptr;
        for (auto i = list.crbegin(); i != list.crend(); ++i) {
            unsigned char* rec = block(54 + P);
            std::memcpy(rec + 4, &i->flags, 4);
            std::memcpy(rec + 8, &i->id, 4);
            putPtr(rec + 54, next);
            next = rec;
        }
        return next;
    }

    unsigned char* block(size_t size)
    {
        m_blocks.push_back(std::make_unique<unsigned char[]>(size + 1));
        unsigned char* rec = m_blocks.back().get() + 1; // odd address: no alignment
        std::memset(rec, 0xA5, size);
        return rec;
    }

    static void putPtr(unsigned char* at, const unsigned char* ptr) { std::memcpy(at, &ptr, P); }

    std::vector<std::unique_ptr<unsigned char[]>> m_blocks;
    const void* m_head = nullptr;
};
