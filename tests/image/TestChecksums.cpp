#include "image/Checksums.h"
#include "support/TempImage.h"

#include <QtTest>

#include <cstdlib>
#include <cstring>

namespace {

QByteArray digest_hex(const unsigned char* digest)
{
    return QByteArray(reinterpret_cast<const char*>(digest), 32).toHex();
}

unsigned int reversed(unsigned int value, int bits)
{
    unsigned int out = 0;
    for (int i = 0; i < bits; ++i) {
        out |= ((value >> i) & 1) << (bits - 1 - i);
    }
    return out;
}

// CRC-16/X-25 by its definition: each byte bit reversed, shifted through the
// CCITT polynomial most significant bit first, the result reversed and inverted.
int x25_by_definition(const QByteArray& data)
{
    unsigned int crc = 0xFFFF;
    for (char c : data) {
        crc ^= reversed(static_cast<unsigned char>(c), 8) << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = ((crc << 1) ^ ((crc & 0x8000) ? 0x1021 : 0)) & 0xFFFF;
        }
    }
    return int(reversed(crc, 16) ^ 0xFFFF);
}

} // namespace

class TestChecksums : public QObject
{
    Q_OBJECT
private slots:
    void crc_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("crc");
        QTest::newRow("published check value") << QByteArray("123456789") << 0x906E;
        QTest::newRow("no bytes") << QByteArray() << 0x0000;
        for (int size : {1, 17, 256, 65537}) {
            const QByteArray data = hex::pattern(size, size);
            QTest::addRow("%d pseudo-random bytes, by the bitwise definition", size) << data << x25_by_definition(data);
        }
        for (int zeros : {1, 255, 70001}) {
            const QByteArray data = QByteArray("123456789") + QByteArray(zeros, '\0');
            QTest::addRow("digits and %d zeros, by the bitwise definition", zeros) << data << x25_by_definition(data);
        }
    }
    void crc()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, crc);
        QCOMPARE(int(CRC16_X25(reinterpret_cast<unsigned char*>(data.data()), static_cast<unsigned int>(data.size()))),
                 crc);
        // Taken piece by piece, a trailing run of zeros added at once.
        int head = data.size();
        while (head > 0 && data[head - 1] == '\0') {
            --head;
        }
        X25Sum sum;
        sum.add(reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned int>(head / 2));
        sum.add(reinterpret_cast<const unsigned char*>(data.constData()) + head / 2,
                static_cast<unsigned int>(head - head / 2));
        sum.addZeros(static_cast<unsigned long long>(data.size() - head));
        QCOMPARE(int(sum.value()), crc);
    }
    // Every value, against the reversal the bitwise definition uses.
    void bitReversal()
    {
        for (unsigned int value = 0; value <= 0xFFFF; ++value) {
            unsigned short in16 = static_cast<unsigned short>(value), out16 = 0;
            unsigned char in8 = static_cast<unsigned char>(value), out8 = 0;
            InvertUint16(&out16, &in16);
            InvertUint8(&out8, &in8);
            QCOMPARE(out16, static_cast<unsigned short>(reversed(value, 16)));
            QCOMPARE(out8, static_cast<unsigned char>(reversed(value & 0xFF, 8)));
        }
    }
    void sha256_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("digest");
        // The FIPS 180-4 examples.
        QTest::newRow("empty") << QByteArray()
                               << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        QTest::newRow("abc") << QByteArray("abc")
                             << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        QTest::newRow("448 bits, two final blocks")
            << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
            << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        QTest::newRow("896 bits") << QByteArray(
            "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
            "mnopqrstnopqrstu") << QByteArray("cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
        QTest::newRow("one million a") << QByteArray(
            1000000, 'a') << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
        // Against Qt's SHA-256: 55 bytes left for the final block, the most one block takes; fed in
        // pieces, whole blocks are also taken straight from the message after bytes already pending.
        const QByteArray mixed = hex::pattern(311, 5);
        QTest::newRow("311 bytes") << mixed << QCryptographicHash::hash(mixed, QCryptographicHash::Sha256).toHex();
    }
    // One shot, and fed in pieces of every size from 1 to past two blocks.
    void sha256()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, digest);
        const auto* bytes = reinterpret_cast<const unsigned char*>(message.constData());
        unsigned char out[32];
        ::sha256(bytes, static_cast<unsigned int>(message.size()), out);
        QCOMPARE(digest_hex(out), digest);
        for (int piece = 1; piece <= 130 && message.size() < 1000; ++piece) {
            sha256_ctx ctx;
            sha256_init(&ctx);
            for (int at = 0; at < message.size(); at += piece) {
                sha256_update(&ctx, bytes + at, static_cast<unsigned int>(qMin(piece, message.size() - at)));
            }
            sha256_final(&ctx, out);
            QCOMPARE(digest_hex(out), digest);
        }
    }
    // Only the requested bytes are written, none for a count of 0 or less; and the C
    // library's generator does not decide them: reseeding it alike twice gives other bytes.
    void nonce()
    {
        QByteArray buffer(16, '\xAB');
        auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
        GetHexData(bytes, 0);
        GetHexData(bytes, -3);
        GetHexData(bytes + 8, 4);
        QCOMPARE(buffer.left(8) + buffer.mid(12), QByteArray(12, '\xAB'));
        unsigned char first[16], second[16];
        std::srand(1);
        GetHexData(first, 16);
        std::srand(1);
        GetHexData(second, 16);
        QVERIFY(std::memcmp(first, second, 16) != 0);
    }
};

QTEST_GUILESS_MAIN(TestChecksums)
#include "TestChecksums.moc"
