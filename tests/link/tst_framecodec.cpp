// The frame codec: CRC-32, encoder and receive state machine.
// Wire vectors are written out by hand from the frame format, their CRCs taken from
// zlib (an independent implementation of the same CRC-32).

#include "link/framecodec.h"

#include <QRandomGenerator>
#include <QTest>

#include <zlib.h>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

uint32_t zlibCrc(QByteArrayView bytes)
{
    return uint32_t(::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                            uInt(bytes.size())));
}

// A frame built from the wire format by hand, the CRC from zlib: marker, length, body,
// CRC, every 0xEE after the marker doubled.
QByteArray handFrame(uint8_t seq, QByteArrayView payload, int lengthField = -1)
{
    QByteArray body;
    body.append(char(seq));
    body.append(payload);
    const uint32_t len = lengthField >= 0 ? uint32_t(lengthField) : uint32_t(body.size());
    const uint32_t crc = zlibCrc(body);
    QByteArray inner;
    inner.append(char(len & 0xFF)).append(char((len >> 8) & 0xFF));
    inner.append(body);
    for (int i = 0; i < 4; ++i)
        inner.append(char((crc >> (8 * i)) & 0xFF));
    QByteArray out = hex("EE23");
    for (char c : inner) {
        out.append(c);
        if (uint8_t(c) == 0xEE)
            out.append(c);
    }
    return out;
}

QList<Frame> feedInPieces(FrameReceiver& rx, const QByteArray& bytes, int piece)
{
    QList<Frame> frames;
    for (qsizetype i = 0; i < bytes.size(); i += piece)
        frames +=
            rx.feed(QByteArrayView(bytes).sliced(i, qMin<qsizetype>(piece, bytes.size() - i)));
    return frames;
}

} // namespace

class TstFrameCodec : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void crcTable();
    void crcAgainstZlib();
    void encode_data();
    void encode();
    void decodeWireVectors_data();
    void decodeWireVectors();
    void startMarkerRepeated_data();
    void startMarkerRepeated();
    void loneEscapeStartsNewFrame_data();
    void loneEscapeStartsNewFrame();
    void escapeFollowedByOtherByteBreaksFrame();
    void piecesDownToOneByte();
    void twoFramesInOneFeed();
    void lengthLimit();
    void tooLongBodyScannedForNewStart();
    void lengthZeroYieldsNoFrame();
    void flippedBitDropsFrame();
    void garbageBetweenFrames();
    void partialFrameKeepsState();
    void roundTrips();
};

void TstFrameCodec::crcTable()
{
    // The table's second entry, and the well-known check value of "123456789".
    QCOMPARE(Update_CRC32(0, 1), 0x77073096u);
    QCOMPARE(crc32Of("123456789"), 0xCBF43926u);
    QCOMPARE(crc32Of(QByteArrayView()), 0u);
    // One step: (crc >> 8) ^ table[(crc ^ b) & 0xFF].
    QCOMPARE(Update_CRC32(0xFFFFFFFFu, 0x05) ^ 0xFFFFFFFFu, zlibCrc(hex("05")));
}

void TstFrameCodec::crcAgainstZlib()
{
    QRandomGenerator rng(20240611);
    for (int round = 0; round < 500; ++round) {
        QByteArray body(rng.bounded(0, 3000), Qt::Uninitialized);
        for (auto& c : body)
            c = char(rng.bounded(256));
        QCOMPARE(crc32Of(body), zlibCrc(body));
    }
}

void TstFrameCodec::encode_data()
{
    QTest::addColumn<int>("seq");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("line-status query, seq 05")
        << 0x05 << hex("001600") << hex("EE23 0400 05 001600 F99A020A");
    QTest::newRow("seq EE doubled, CRC over undoubled body")
        << 0xEE << hex("000E00") << hex("EE23 0400 EEEE 000E00 99C46789");
    QTest::newRow("empty payload") << 0x01 << QByteArray() << hex("EE23 0100 01 1BDF05A5");
    QTest::newRow("sequence 0") << 0x00 << QByteArray() << hex("EE23 0100 00 8DEF02D2");
    QTest::newRow("payload EE doubled") << 0x07 << hex("EE") << hex("EE23 0200 07 EEEE 474B2A49");
    QTest::newRow("0x23 inside not escaped")
        << 0x10 << hex("020400012345") << hex("EE23 0700 10 020400012345 32EC27FB");
    QTest::newRow("CRC byte EE doubled")
        << 0x20 << hex("001600") << hex("EE23 0400 20 001600 F5C5EEEE9D");
    QTest::newRow("last CRC byte EE doubled")
        << 0x71 << hex("001600") << hex("EE23 0400 71 001600 32AD5FEEEE");
    // 237 payload bytes: the length is 0xEE, its low byte goes out doubled.
    QTest::newRow("length low byte EE")
        << 0x02 << QByteArray(0xED, '\x11') << handFrame(0x02, QByteArray(0xED, '\x11'));
}

void TstFrameCodec::encode()
{
    QFETCH(int, seq);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, wire);
    QCOMPARE(encodeFrame(uint8_t(seq), payload).toHex(' '), wire.toHex(' '));
    QCOMPARE(encodeFrame(uint8_t(seq), payload), handFrame(uint8_t(seq), payload));
}

void TstFrameCodec::decodeWireVectors_data()
{
    encode_data();
}

void TstFrameCodec::decodeWireVectors()
{
    QFETCH(int, seq);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, wire);
    FrameReceiver rx;
    const QList<Frame> frames = rx.feed(wire);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(int(frames[0].seq), seq);
    QCOMPARE(frames[0].payload, payload);
    QCOMPARE(rx.state(), FrameReceiver::rsIdle);
}

void TstFrameCodec::startMarkerRepeated_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("EE EE 23") << hex("EE");
    QTest::newRow("EE EE EE 23") << hex("EEEE");
    QTest::newRow("noise then EE") << hex("0102EE");
}

void TstFrameCodec::startMarkerRepeated()
{
    QFETCH(QByteArray, prefix);
    FrameReceiver rx;
    const QList<Frame> frames = rx.feed(prefix + encodeFrame(0x05, hex("001600")));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0], (Frame{0x05, hex("001600")}));
}

void TstFrameCodec::loneEscapeStartsNewFrame_data()
{
    QTest::addColumn<QByteArray>("cut");
    QTest::addColumn<int>("stateBefore");
    // A frame in progress stops right after a single 0xEE; then EE's partner 0x23 comes.
    QTest::newRow("length low byte EE") << hex("EE23 EE") << int(FrameReceiver::rsLenLowEsc);
    QTest::newRow("length high byte EE") << hex("EE23 05EE") << int(FrameReceiver::rsLenHighEsc);
    QTest::newRow("sequence byte EE") << hex("EE23 0400 EE") << int(FrameReceiver::rsBodyEsc);
    QTest::newRow("payload byte EE") << hex("EE23 0400 05 00EE") << int(FrameReceiver::rsBodyEsc);
    QTest::newRow("CRC byte EE") << hex("EE23 0400 20 001600 F5C5EE")
                                 << int(FrameReceiver::rsBodyEsc);
}

void TstFrameCodec::loneEscapeStartsNewFrame()
{
    QFETCH(QByteArray, cut);
    QFETCH(int, stateBefore);
    FrameReceiver rx;
    QVERIFY(rx.feed(cut).isEmpty());
    QCOMPARE(int(rx.state()), stateBefore);
    // The lone 0xEE of the cut frame and this 0x23 are the new frame's start marker.
    const QByteArray next = encodeFrame(0x33, hex("0102"));
    QVERIFY(next.startsWith(hex("EE23")));
    const QList<Frame> frames = rx.feed(next.mid(1));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0], (Frame{0x33, hex("0102")}));
}

void TstFrameCodec::escapeFollowedByOtherByteBreaksFrame()
{
    FrameReceiver rx;
    // Sequence byte EE followed by 00 instead of its double: framing error, dropped.
    QVERIFY(rx.feed(hex("EE23 0400 EE 00 0E00 99C46789")).isEmpty());
    QCOMPARE(rx.state(), FrameReceiver::rsIdle);
    const QList<Frame> frames = rx.feed(encodeFrame(0x05, hex("001600")));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].seq, uint8_t(0x05));
}

void TstFrameCodec::piecesDownToOneByte()
{
    const QByteArray payload = hex("00EE0E23EEEE00");
    const QByteArray wire = encodeFrame(0xEE, payload);
    for (int piece = 1; piece <= wire.size(); ++piece) {
        FrameReceiver rx;
        QList<Frame> frames;
        for (qsizetype i = 0; i < wire.size(); i += piece) {
            const qsizetype n = qMin<qsizetype>(piece, wire.size() - i);
            const QList<Frame> got = rx.feed(QByteArrayView(wire).sliced(i, n));
            // Returned by the feed that brings the last CRC byte, not earlier.
            if (i + n < wire.size())
                QVERIFY2(got.isEmpty(), qPrintable(QString("piece %1").arg(piece)));
            frames += got;
        }
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0], (Frame{0xEE, payload}));
    }
}

void TstFrameCodec::twoFramesInOneFeed()
{
    // Both are delivered, in order: the second reply is not lost.
    FrameReceiver rx;
    const QByteArray bytes = encodeFrame(0x05, hex("001600")) + encodeFrame(0xEE, hex("000E00"));
    const QList<Frame> frames = rx.feed(bytes);
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0], (Frame{0x05, hex("001600")}));
    QCOMPARE(frames[1], (Frame{0xEE, hex("000E00")}));

    // And three, split across two feeds in the middle of the second.
    const QByteArray three = bytes + encodeFrame(0x07, hex("EE"));
    FrameReceiver rx2;
    QList<Frame> got = rx2.feed(three.first(20));
    got += rx2.feed(three.mid(20));
    QCOMPARE(got.size(), 3);
    QCOMPARE(got[2], (Frame{0x07, hex("EE")}));
}

void TstFrameCodec::lengthLimit()
{
    // Length 2049: the sequence byte and 2048 payload bytes, accepted.
    QByteArray big(2048, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    FrameReceiver rx;
    QList<Frame> frames = rx.feed(handFrame(0x09, big));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].payload, big);

    // Length 2050: dropped, although its CRC is right.
    QByteArray bigger = big + QByteArray(1, 'x');
    QVERIFY(rx.feed(handFrame(0x09, bigger)).isEmpty());
    QCOMPARE(rx.state(), FrameReceiver::rsIdle);
    // The receiver goes on with the next frame.
    frames = rx.feed(encodeFrame(0x0A, hex("0102")));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].seq, uint8_t(0x0A));
}

void TstFrameCodec::tooLongBodyScannedForNewStart()
{
    // A too-long frame's body is scanned for a start marker: a frame inside it is found.
    const QByteArray inner = encodeFrame(0x42, hex("AABB"));
    FrameReceiver rx;
    const QList<Frame> frames = rx.feed(hex("EE23 FFFF 01 02") + inner + hex("0304"));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0], (Frame{0x42, hex("AABB")}));
}

void TstFrameCodec::lengthZeroYieldsNoFrame()
{
    // Length 0 and CRC 00 00 00 00 pass the checks, but there is no sequence byte.
    FrameReceiver rx;
    QVERIFY(rx.feed(hex("EE23 0000 00000000")).isEmpty());
    QCOMPARE(rx.state(), FrameReceiver::rsIdle);
    const QList<Frame> frames =
        rx.feed(hex("EE23 0000 00000000") + encodeFrame(0x05, hex("001600")));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].seq, uint8_t(0x05));
}

void TstFrameCodec::flippedBitDropsFrame()
{
    const QByteArray good = encodeFrame(0x05, hex("001600"));
    for (int byte = 4; byte < good.size(); ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            QByteArray bad = good;
            bad[byte] = char(uint8_t(bad[byte]) ^ (1 << bit));
            FrameReceiver rx;
            const QList<Frame> frames = rx.feed(bad + encodeFrame(0x06, hex("001601")));
            // The damaged frame is dropped; the good frame right after it is returned. (A
            // flip that makes an EE, or a length that swallows the next frame, may cost
            // the next frame too; the damaged one is never delivered.)
            for (const Frame& f : frames)
                QVERIFY2(f.seq != 0x05 || f.payload != hex("001600"),
                         qPrintable(QString("byte %1 bit %2").arg(byte).arg(bit)));
            if (byte >= 4 && uint8_t(bad[byte]) != 0xEE) {
                // A flipped bit of the body or the CRC: exactly the next frame.
                QCOMPARE(frames.size(), 1);
                QCOMPARE(frames[0], (Frame{0x06, hex("001601")}));
            }
        }
    }
    // One flipped payload bit yields nothing.
    QByteArray bad = good;
    bad[6] = char(uint8_t(bad[6]) ^ 0x01);
    FrameReceiver rx;
    QVERIFY(rx.feed(bad).isEmpty());
    QCOMPARE(rx.feed(good).size(), 1);
}

void TstFrameCodec::garbageBetweenFrames()
{
    FrameReceiver rx;
    const QByteArray bytes = hex("0023 4455 EE00") + encodeFrame(0x01, hex("00")) +
                             hex("23 23 EE 11") + encodeFrame(0x02, hex("01"));
    const QList<Frame> frames = rx.feed(bytes);
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0].seq, uint8_t(1));
    QCOMPARE(frames[1].seq, uint8_t(2));
}

void TstFrameCodec::partialFrameKeepsState()
{
    FrameReceiver rx;
    QCOMPARE(rx.state(), FrameReceiver::rsIdle);
    rx.feed(hex("EE"));
    QCOMPARE(rx.state(), FrameReceiver::rsMarker);
    rx.feed(hex("23"));
    QCOMPARE(rx.state(), FrameReceiver::rsLenLow);
    rx.feed(hex("04"));
    QCOMPARE(rx.state(), FrameReceiver::rsLenHigh);
    rx.feed(hex("00"));
    QCOMPARE(rx.state(), FrameReceiver::rsBody);
    rx.feed(hex("EE"));
    QCOMPARE(rx.state(), FrameReceiver::rsBodyEsc);
    rx.feed(hex("EE"));
    QCOMPARE(rx.state(), FrameReceiver::rsBody);
    const QList<Frame> frames = rx.feed(hex("000E00 99C46789"));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0], (Frame{0xEE, hex("000E00")}));
}

void TstFrameCodec::roundTrips()
{
    QRandomGenerator rng(4711);
    for (int round = 0; round < 300; ++round) {
        QList<Frame> sent;
        QByteArray wire;
        const int count = rng.bounded(1, 6);
        for (int i = 0; i < count; ++i) {
            Frame f;
            f.seq = uint8_t(rng.bounded(256));
            f.payload.resize(rng.bounded(0, 2049));
            // Many 0xEE and 0x23 bytes, to exercise the doubling.
            for (auto& c : f.payload) {
                const int pick = rng.bounded(8);
                c = pick == 0 ? char(0xEE) : pick == 1 ? char(0x23) : char(rng.bounded(256));
            }
            wire += encodeFrame(f.seq, f.payload);
            sent.append(f);
        }
        FrameReceiver rx;
        const QList<Frame> got = feedInPieces(rx, wire, rng.bounded(1, 5000));
        QCOMPARE(got, sent);
        QCOMPARE(rx.state(), FrameReceiver::rsIdle);
    }
}

QTEST_APPLESS_MAIN(TstFrameCodec)
#include "tst_framecodec.moc"
