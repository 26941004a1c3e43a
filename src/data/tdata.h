#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>

enum class PacketDirection { Request, Reply };

struct ObjectInfo
{
    const char* name;    // UTF-8 display name
    uint32_t lifetimeMs; // how long a reply to a read of it stays fresh in the cache
};
// Codes 0 to 26; lifetime of a code above 26 is 10 ms.
extern const std::array<ObjectInfo, 27> ObjectTable;
extern const std::array<const char*, 6> OperationNames;
uint32_t objectLifetimeMs(uint8_t objectCode);

// The agent's model of the exchange's data: the extension table with four mailbox
// counters per extension, the builders of the agent's own requests, and the decoder.
class TData
{
public:
    static constexpr int MaxNumbers = 56;
    struct ExtensionEntry
    {
        std::array<char, 4> number{}; // up to three characters and a zero byte
        std::array<uint8_t, 4> counts{};
    };

    std::array<ExtensionEntry, MaxNumbers> Numbers{};
    uint8_t NumberCount = 0;
    int TrapIndex = 0; // 0..3: the TRAP record the next query asks for

    void FillNumbers(QByteArrayView reply);
    static QByteArray DigitsToText(QByteArrayView codes, int n);
    uint8_t FindNumber(QByteArrayView text) const; // 255 when absent
    void ClearMailboxCounts();
    void SetMailboxCounts(QByteArrayView number, uint8_t a, uint8_t b, uint8_t c, uint8_t d);
    void AddMailboxCounts(QByteArrayView number, uint8_t a, uint8_t b, uint8_t c, uint8_t d);

    static QByteArray BuildNumbersQuery();
    static QByteArray BuildLineStatusQuery();
    QByteArray BuildTrapQuery(); // advances TrapIndex
    static QByteArray BuildTrapClear(uint8_t index);
    QByteArray BuildMessagesWrite() const;

    static QString PacketToText(PacketDirection direction, QByteArrayView bytes, uint8_t op,
                                bool byteDump);
};
