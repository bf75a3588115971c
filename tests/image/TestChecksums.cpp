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
    void crcMatchesTheBitwiseDefinition();
    void bitReversal();
    void sha256Vectors_data();
    void sha256Vectors();
    void sha256InPieces_data();
    void sha256InPieces();
    void finalBlockBoundary_data();
    void finalBlockBoundary();
    void lengthBeyond32Bits_data();
    void lengthBeyond32Bits();
    void transformIgnoresNonPositiveCounts();
    void nonce();
};

namespace {

QByteArray digest_of(const QByteArray& message)
{
    unsigned char out[32];
    sha256(reinterpret_cast<const unsigned char*>(message.constData()), static_cast<unsigned int>(message.size()), out);
    return QByteArray(reinterpret_cast<char*>(out), 32).toHex();
}

} // namespace

void TestChecksums::crc_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");
    QTest::newRow("published check value") << QByteArray("123456789") << 0x906E;
    QTest::newRow("no bytes") << QByteArray() << 0x0000;
    QTest::newRow("one zero byte") << QByteArray(1, '\0') << 0xF078;
    QTest::newRow("0xFF x4") << QByteArray(4, '\xFF') << 0x0F47;
}

void TestChecksums::crc()
{
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    QCOMPARE(int(CRC16_X25(reinterpret_cast<unsigned char*>(data.data()), static_cast<unsigned int>(data.size()))),
             crc);
}

// CRC-16/X-25 by its definition: each byte bit reversed, shifted through the
// CCITT polynomial most significant bit first, the result reversed and inverted.
static unsigned short x25_by_definition(const QByteArray& data)
{
    unsigned short crc = 0xFFFF;
    for (char c : data) {
        unsigned char in = 0;
        for (int i = 0; i < 8; ++i) {
            in |= ((static_cast<unsigned char>(c) >> i) & 1) << (7 - i);
        }
        crc ^= static_cast<unsigned short>(in << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<unsigned short>((crc << 1) ^ 0x1021)
                                 : static_cast<unsigned short>(crc << 1);
        }
    }
    unsigned short out = 0;
    for (int i = 0; i < 16; ++i) {
        out |= ((crc >> i) & 1) << (15 - i);
    }
    return static_cast<unsigned short>(out ^ 0xFFFF);
}

void TestChecksums::crcMatchesTheBitwiseDefinition()
{
    QRandomGenerator random(20261207);
    for (int size : {1, 2, 3, 15, 16, 17, 255, 256, 4096, 65537}) {
        QByteArray data(size, '\0');
        for (char& c : data) {
            c = static_cast<char>(random.bounded(256));
        }
        QCOMPARE(CRC16_X25(reinterpret_cast<unsigned char*>(data.data()), static_cast<unsigned int>(size)),
                 x25_by_definition(data));
    }
}

void TestChecksums::bitReversal()
{
    unsigned char in8[] = {0x01, 0x80, 0x0F, 0xA5};
    unsigned char out8[] = {0x80, 0x01, 0xF0, 0xA5};
    for (int i = 0; i < 4; ++i) {
        unsigned char got;
        InvertUint8(&got, &in8[i]);
        QCOMPARE(got, out8[i]);
    }
    unsigned short in16[] = {0x0001, 0x8000, 0x00FF, 0x1234};
    unsigned short out16[] = {0x8000, 0x0001, 0xFF00, 0x2C48};
    for (int i = 0; i < 4; ++i) {
        unsigned short got;
        InvertUint16(&got, &in16[i]);
        QCOMPARE(got, out16[i]);
    }
}

void TestChecksums::sha256Vectors_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("digest");
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
}

void TestChecksums::sha256Vectors()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, digest);
    QCOMPARE(digest_of(message), digest);
}

void TestChecksums::sha256InPieces_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("896 bits") << QByteArray(
        "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
        "mnopqrstnopqrstu");
    QByteArray mixed(300, '\0');
    for (int i = 0; i < mixed.size(); ++i) {
        mixed[i] = static_cast<char>(i * 7 + 3);
    }
    QTest::newRow("300 mixed bytes") << mixed;
}

// Every piece size from 1 to past two blocks must give the one-shot digest.
void TestChecksums::sha256InPieces()
{
    QFETCH(QByteArray, message);
    const QByteArray expected = QCryptographicHash::hash(message, QCryptographicHash::Sha256).toHex();
    QCOMPARE(digest_of(message), expected);
    for (int piece = 1; piece <= 130; ++piece) {
        sha256_ctx ctx;
        sha256_init(&ctx);
        for (int at = 0; at < message.size(); at += piece) {
            const int n = qMin(piece, message.size() - at);
            sha256_update(&ctx, reinterpret_cast<const unsigned char*>(message.constData()) + at,
                          static_cast<unsigned int>(n));
        }
        unsigned char out[32];
        sha256_final(&ctx, out);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(out), 32).toHex(), expected);
    }
}

void TestChecksums::finalBlockBoundary_data()
{
    QTest::addColumn<int>("size");
    for (int size : {55, 56, 63, 64, 119, 120, 128}) {
        QTest::newRow(qPrintable(QString::number(size))) << size;
    }
}

void TestChecksums::finalBlockBoundary()
{
    QFETCH(int, size);
    const QByteArray message(size, 'x');
    QCOMPARE(digest_of(message), QCryptographicHash::hash(message, QCryptographicHash::Sha256).toHex());
}

void TestChecksums::lengthBeyond32Bits_data()
{
    QTest::addColumn<quint64>("compressed");
    QTest::newRow("512 MiB, the bit count needs 33 bits") << (quint64(1) << 29);
    QTest::newRow("4 GiB") << (quint64(1) << 32);
    QTest::newRow("just under 512 MiB") << (quint64(1) << 29) - 64;
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
    for (int i = 0; i < 8; ++i) {
        ours.hash[i] = 0x01020304u * static_cast<uint32_t>(i + 1);
    }
    sha256_update(&ours, tail, sizeof tail);
    unsigned char mine[32];
    sha256_final(&ours, mine);

    SHA256_CTX theirs;
    SHA256_Init(&theirs);
    for (int i = 0; i < 8; ++i) {
        theirs.h[i] = 0x01020304u * static_cast<uint32_t>(i + 1);
    }
    const quint64 bits = compressed * 8;
    theirs.Nl = static_cast<unsigned int>(bits & 0xFFFFFFFFu);
    theirs.Nh = static_cast<unsigned int>(bits >> 32);
    SHA256_Update(&theirs, tail, sizeof tail);
    unsigned char reference[32];
    SHA256_Final(reference, &theirs);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(mine), 32).toHex(),
             QByteArray(reinterpret_cast<char*>(reference), 32).toHex());
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
    unsigned char buffer[16];
    std::memset(buffer, 0xAB, sizeof buffer);
    GetHexData(buffer, 0);
    GetHexData(buffer, -3);
    for (unsigned char b : buffer) {
        QCOMPARE(b, static_cast<unsigned char>(0xAB));
    }
    // Only the requested bytes are written.
    GetHexData(buffer, 4);
    for (int i = 4; i < 16; ++i) {
        QCOMPARE(buffer[i], static_cast<unsigned char>(0xAB));
    }
    // The C library's generator must not decide the nonce: reseeding it the
    // same way twice must not give the same bytes.
    unsigned char first[16], second[16];
    std::srand(1);
    GetHexData(first, 16);
    std::srand(1);
    GetHexData(second, 16);
    QVERIFY(std::memcmp(first, second, 16) != 0);
    // Two draws of 128 bits agreeing would mean a predictable source.
    unsigned char a[16], b[16];
    GetHexData(a, 16);
    GetHexData(b, 16);
    QVERIFY(std::memcmp(a, b, 16) != 0);
}

QTEST_GUILESS_MAIN(TestChecksums)
#include "TestChecksums.moc"
