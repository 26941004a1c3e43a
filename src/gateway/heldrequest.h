#pragma once

#include <QByteArray>
#include <QPointer>
#include <QTcpSocket>
#include <cstdint>

// The one slot in which a client request waits while the serial link is busy. Besides
// the client's handle it keeps the connection itself: the system hands a closed
// connection's handle to later connections, and a held request must never be sent on
// behalf of a newer client that happens to own the same number.
struct HeldRequest
{
    static constexpr int Capacity = 500;

    int32_t ClientHandle = 0;
    QPointer<QTcpSocket> client;
    QByteArray Data; // the request, at most Capacity bytes
    int32_t DataLength = 0;

    // A held request always has bytes: empty reads are never held.
    bool isEmpty() const { return DataLength == 0; }
    void clear()
    {
        ClientHandle = 0;
        client.clear();
        Data.clear();
        DataLength = 0;
    }
};
