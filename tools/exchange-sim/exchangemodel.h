#pragma once

#include "scenario.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QStringList>
#include <array>
#include <cstdint>

// The simulated exchange's objects and how it answers a request payload. Pure: bytes in,
// bytes out, no I/O and no clock; the transport and the timing live in Simulator.
//
// Request: operation, object, index, data. Reply: result code (0 success), object, index,
// data; operations 2 to 5 are answered with the result code alone.
class ExchangeModel
{
public:
    // Object codes the exchange gives a meaning of its own.
    static constexpr uint8_t ObjTrap = 1;      // TRAP records, indices 0..3
    static constexpr uint8_t ObjNumbers = 14;  // extension numbers as digit codes
    static constexpr uint8_t ObjMessages = 17; // four message counters per extension
    static constexpr uint8_t ObjLineStatus = 22;

    static constexpr uint8_t OpRead = 0;
    static constexpr uint8_t OpWrite = 1;
    static constexpr int TrapSlots = 4;

    // Result codes this simulator gives for requests it cannot serve.
    static constexpr uint8_t ErrUnknownOperation = 1;
    static constexpr uint8_t ErrShortRequest = 2;
    static constexpr uint8_t ErrNoSuchRecord = 3;

    struct Answer
    {
        QByteArray reply;
        QStringList notes; // readable lines about state changes, e.g. new counters
    };

    explicit ExchangeModel(const Scenario& scenario = {});

    Answer handle(const QByteArray& request);

    // A non-zero code makes every read and write of the object fail with it; 0 clears.
    void setError(uint8_t object, uint8_t code);
    // Appends a record to the queue of its slot; a read shows the head of the queue.
    void queueTrap(const TrapEntry& trap);
    // The slot with the fewest queued records, the lowest index on a tie.
    int leastBusySlot() const;
    int queuedTraps(int slot) const { return int(m_traps[slot].size()); }

    QStringList statusLines() const;

    // "read 14[0]", "write 17[0] 16 bytes", "Info", ...: one request for the log.
    static QString describeRequest(const QByteArray& request);
    // The three digit codes of an extension number, padded with code 0.
    static QByteArray digitCodes(const QString& number);
    // A record's bytes after the index: the address type, then recipient, line feed,
    // subject, line feed, body in Windows-1250.
    static QByteArray trapRecordBytes(const TrapEntry& trap);

private:
    QByteArray readObject(uint8_t object, uint8_t index) const;
    void writeObject(uint8_t object, uint8_t index, const QByteArray& data, QStringList& notes);
    void writeCounters(const QByteArray& data, QStringList& notes);

    QStringList m_numbers;
    QList<uint8_t> m_lineStatus;
    QList<std::array<uint8_t, 4>> m_counters; // one row per extension, in table order
    QMap<uint8_t, uint8_t> m_errors;
    std::array<QList<QByteArray>, TrapSlots> m_traps;
    QMap<QPair<uint8_t, uint8_t>, QByteArray> m_store; // other objects by (object, index)
};
