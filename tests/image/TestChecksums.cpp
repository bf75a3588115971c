#include "image/Checksums.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <QRandomGenerator>
#include <QtTest>

#include <cstdlib>
#include <cstring>

class TestChecksums : public QObject
{
    Q_OBJECT
private slots:
    void crc_data();
    void crc();
    void bitReversal();
    void sha256_data();
    void sha256();
    void lengthBeyond32Bits_data();
    void lengthBeyond32Bits();
    void transformIgnoresNonPositiveCounts();
    void nonce();
};

namespace {

QByteArray hex(const unsigned char* digest)
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

void TestChecksums::crc_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");
    QTest::newRow("published check value") << QByteArray("123456789") << 0x906E;
    QTest::newRow("no bytes") << QByteArray() << 0x0000;
    QRandomGenerator random(20261207);
    for (int size : {1, 17, 256, 65537}) {
        QByteArray data(size, '\0');
        for (char& c : data) {
            c = static_cast<char>(random.bounded(256));
        }
        QTest::addRow("%d random bytes, by the bitwise definition", size) << data << x25_by_definition(data);
    }
}

void TestChecksums::crc()
{
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    QCOMPARE(int(CRC16_X25(reinterpret_cast<unsigned char*>(data.data()), static_cast<unsigned int>(data.size()))),
             crc);
}

// Every value, against the reversal the bitwise definition uses.
void TestChecksums::bitReversal()
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

void TestChecksums::sha256_data()
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
    QTest::newRow("one million a") << QByteArray(1000000, 'a')
                                   << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // One final block at most, and several whole blocks at once, against Qt's SHA-256.
    QByteArray mixed(300, '\0');
    for (int i = 0; i < mixed.size(); ++i) {
        mixed[i] = static_cast<char>(i * 7 + 3);
    }
    for (const QByteArray& message : {QByteArray(55, 'x'), mixed}) {
        QTest::addRow("%d bytes", int(message.size()))
            << message << QCryptographicHash::hash(message, QCryptographicHash::Sha256).toHex();
    }
}

// One shot, and fed in pieces of every size from 1 to past two blocks.
void TestChecksums::sha256()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, digest);
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.constData());
    unsigned char out[32];
    ::sha256(bytes, static_cast<unsigned int>(message.size()), out);
    QCOMPARE(hex(out), digest);
    for (int piece = 1; piece <= 130 && message.size() < 1000; ++piece) {
        sha256_ctx ctx;
        sha256_init(&ctx);
        for (int at = 0; at < message.size(); at += piece) {
            sha256_update(&ctx, bytes + at, static_cast<unsigned int>(qMin(piece, message.size() - at)));
        }
        sha256_final(&ctx, out);
        QCOMPARE(hex(out), digest);
    }
}

void TestChecksums::lengthBeyond32Bits_data()
{
    QTest::addColumn<quint64>("compressed");
    QTest::newRow("512 MiB, the bit count needs 33 bits") << (quint64(1) << 29);
    QTest::newRow("4 GiB") << (quint64(1) << 32);
}

// Hashing gigabytes in a test is too slow, so both our context and OpenSSL's
// are set to the same mid-message state and finished from there: the length
// block decides the digest.
void TestChecksums::lengthBeyond32Bits()
{
    QFETCH(quint64, compressed);
    const unsigned char tail[] = "tail bytes";
    sha256_ctx ours;
    sha256_init(&ours);
    ours.total_len = compressed;
    SHA256_CTX theirs;
    SHA256_Init(&theirs);
    for (int i = 0; i < 8; ++i) {
        ours.hash[i] = theirs.h[i] = 0x01020304u * static_cast<uint32_t>(i + 1);
    }
    theirs.Nl = static_cast<unsigned int>((compressed * 8) & 0xFFFFFFFFu);
    theirs.Nh = static_cast<unsigned int>((compressed * 8) >> 32);
    sha256_update(&ours, tail, sizeof tail);
    SHA256_Update(&theirs, tail, sizeof tail);
    unsigned char mine[32], reference[32];
    sha256_final(&ours, mine);
    SHA256_Final(reference, &theirs);
    QCOMPARE(hex(mine), hex(reference));
}

void TestChecksums::transformIgnoresNonPositiveCounts()
{
    sha256_ctx ctx;
    sha256_init(&ctx);
    const unsigned char block[64] = {};
    sha256_transf(&ctx, block, 0);
    sha256_transf(&ctx, block, 0x80000000u); // negative as a signed count
    QCOMPARE(std::memcmp(ctx.hash, sha256_h0, sizeof ctx.hash), 0);
}

void TestChecksums::nonce()
{
    // Only the requested bytes are written; a count of 0 or less writes none.
    unsigned char buffer[16];
    std::memset(buffer, 0xAB, sizeof buffer);
    GetHexData(buffer, 0);
    GetHexData(buffer, -3);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 16), QByteArray(16, '\xAB'));
    GetHexData(buffer, 4);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer) + 4, 12), QByteArray(12, '\xAB'));
    // The C library's generator must not decide the nonce: reseeding it the
    // same way twice must not give the same bytes.
    unsigned char first[16], second[16];
    std::srand(1);
    GetHexData(first, 16);
    std::srand(1);
    GetHexData(second, 16);
    QVERIFY(std::memcmp(first, second, 16) != 0);
}

QTEST_GUILESS_MAIN(TestChecksums)
#include "TestChecksums.moc"
