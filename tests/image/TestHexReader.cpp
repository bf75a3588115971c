#include "TestConfig.h"
#include "image/Checksums.h"
#include "image/FirmwareImage.h"
#include "image/HexReader.h"
#include "support/TempImage.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(QList<SegmentInfo>)

class TestHexReader : public QObject
{
    Q_OBJECT
private slots:
    void toolchainImages_data();
    void toolchainImages();
    void singleSegmentPlainFormsAgree();
    void layouts_data();
    void layouts();
    void plainFormsOverSeveralSegments();
    void missingFile();
    void fileLines_data();
    void fileLines();
    void malformedInputStaysInBounds_data();
    void malformedInputStaysInBounds();
};

namespace {

unsigned short crc_of(const QByteArray& data)
{
    QByteArray copy = data;
    return CRC16_X25(reinterpret_cast<unsigned char*>(copy.data()), static_cast<unsigned int>(copy.size()));
}

QList<SegmentInfo> table_of(const QString& path)
{
    return FirmwareImage::fromFile(path).segments().toList();
}

} // namespace

namespace QTest {
template<>
char* toString(const QList<SegmentInfo>& list)
{
    QByteArray out;
    for (const SegmentInfo& s : list) {
        out += QByteArray("{base ") + QByteArray::number(s.base, 16) + " size " + QByteArray::number(s.size) + " lines "
            + QByteArray::number(s.lines) + " crc " + QByteArray::number(s.crc, 16) + "} ";
    }
    return qstrdup(out.constData());
}
} // namespace QTest

// Files written by srec_cat and objcopy, with LF and CR LF line ends; the
// expected table was computed from the binaries they were made from.
void TestHexReader::toolchainImages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QList<SegmentInfo>>("expected");
    QFile tsv(QStringLiteral(TESSARO_TEST_DATA_DIR "/fixtures.tsv"));
    QVERIFY(tsv.open(QIODevice::ReadOnly | QIODevice::Text));
    QMap<QString, QList<SegmentInfo>> files;
    while (!tsv.atEnd()) {
        const QString line = QString::fromUtf8(tsv.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        const QStringList f = line.split('\t');
        files[f[0]].append(SegmentInfo {f[2].toUInt(nullptr, 16), f[3].toUInt(), f[4].toInt(),
                                        static_cast<unsigned short>(f[5].toUInt(nullptr, 16))});
    }
    QVERIFY(files.size() >= 6);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QTest::newRow(qPrintable(it.key())) << QStringLiteral(TESSARO_TEST_DATA_DIR "/") + it.key() << it.value();
    }
}

void TestHexReader::toolchainImages()
{
    QFETCH(QString, file);
    QFETCH(QList<SegmentInfo>, expected);
    QCOMPARE(Get_BaseAddr_count(file), expected.size());
    QCOMPARE(table_of(file), expected);
}

void TestHexReader::singleSegmentPlainFormsAgree()
{
    const QString file = QStringLiteral(TESSARO_TEST_DATA_DIR "/objcopy-one-segment-crlf.hex");
    const QList<SegmentInfo> t = table_of(file);
    QCOMPARE(t.size(), 1);
    QCOMPARE(Get_BaseAddr(file), t[0].base);
    QCOMPARE(Get_DataSize(file), t[0].size);
    QCOMPARE(Get_DataLine(file), t[0].lines);
    QCOMPARE(Get_CRCValue(file), t[0].crc);
}

void TestHexReader::layouts_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QList<SegmentInfo>>("expected");

    const QByteArray a = hex::pattern(40, 1);
    const QByteArray b = hex::pattern(16, 2);

    QTest::newRow("two type 04 records in a row: an empty first segment")
        << (QList<QByteArray> {hex::extendedLinear(0x0800), hex::extendedLinear(0x0801)} + hex::dataRecords(0, a)
            + QList<QByteArray> {hex::startLinear(0), hex::endOfFile()})
        << QList<SegmentInfo> {{0x08000000, 0, 0, 0x0000}, {0x08010000, 40, 3, crc_of(a)}};

    QTest::newRow("type 04 load offset becomes the low base bits")
        << (QList<QByteArray> {hex::record(0x04, 0x1234, QByteArray::fromHex("0801"))} + hex::dataRecords(0, b)
            + QList<QByteArray> {hex::startLinear(0)})
        << QList<SegmentInfo> {{0x08011234, 16, 1, crc_of(b)}};

    QTest::newRow("records after type 05 are not read")
        << (QList<QByteArray> {hex::extendedLinear(0x0800)} + hex::dataRecords(0x4000, b)
            + QList<QByteArray> {hex::startLinear(0), hex::extendedLinear(0x0802)} + hex::dataRecords(0, a)
            + QList<QByteArray> {hex::endOfFile()})
        << QList<SegmentInfo> {{0x08000000, 16, 1, crc_of(b)}};

    // Types 01-03 neither begin a segment nor count; the CRC reader still takes
    // lines by number, so a type 03 before the data shifts what it reads.
    QTest::newRow("type 02 after a segment's data is passed over")
        << (QList<QByteArray> {hex::extendedLinear(0x0800)} + hex::dataRecords(0x4000, b)
            + QList<QByteArray> {hex::record(0x02, 0, QByteArray::fromHex("1000")), hex::startLinear(0)})
        << QList<SegmentInfo> {{0x08000000, 16, 1, crc_of(b)}};

    QTest::newRow("gapped load offsets read as contiguous")
        << QList<QByteArray> {hex::extendedLinear(0x0800), hex::record(0, 0x4000, b), hex::record(0, 0x5000, b),
                              hex::startLinear(0)}
        << QList<SegmentInfo> {{0x08000000, 32, 2, crc_of(b + b)}};

    QTest::newRow("no type 05: the last segment's size and lines stay 0")
        << (QList<QByteArray> {hex::extendedLinear(0x0800)} + hex::dataRecords(0x4000, a)
            + QList<QByteArray> {hex::extendedLinear(0x0801)} + hex::dataRecords(0, b))
        << QList<SegmentInfo> {{0x08000000, 40, 3, crc_of(a)}, {0x08010000, 0, 0, 0x0000}};

    QTest::newRow("lower-case digits") << QList<QByteArray> {hex::extendedLinear(0x0800).toLower(),
                                                             hex::record(0, 0x4000, b).toLower(), hex::startLinear(0)}
                                       << QList<SegmentInfo> {{0x08000000, 16, 1, crc_of(b)}};
}

void TestHexReader::layouts()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QList<SegmentInfo>, expected);
    TempImage image(lines);
    QCOMPARE(Get_BaseAddr_count(image.path()), expected.size());
    QCOMPARE(table_of(image.path()), expected);
}

void TestHexReader::plainFormsOverSeveralSegments()
{
    const QString file = QStringLiteral(TESSARO_TEST_DATA_DIR "/srec-three-segments-lf.hex");
    QCOMPARE(Get_BaseAddr(file), 0x08020000u);
    QCOMPARE(Get_DataSize(file), 49152u + 65536u + 48u);
    QCOMPARE(Get_DataLine(file), 3072 + 4096 + 3);
}

void TestHexReader::missingFile()
{
    const QString file = QStringLiteral("/nonexistent/dir/image.hex");
    QCOMPARE(Get_BaseAddr_count(file), 0);
    QVERIFY(Get_BaseAddrS(file) == nullptr);
    QVERIFY(Get_DataSizeS(file) == nullptr);
    QVERIFY(Get_DataLineS(file) == nullptr);
    QVERIFY(Get_CRCValueS(file) == nullptr);
    QCOMPARE(Get_BaseAddr(file), 0u);
    QCOMPARE(Get_DataSize(file), 0u);
    QCOMPARE(Get_DataLine(file), 0);
    QCOMPARE(Get_CRCValue(file), static_cast<unsigned short>(0));
    QCOMPARE(Get_FileLine(file), 0);
    QVERIFY(!FirmwareImage::fromFile(file).readable());
}

void TestHexReader::fileLines_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("lines");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("one line without end") << QByteArray(":00000001FF") << 1;
    QTest::newRow("LF") << QByteArray("a\nb\n") << 2;
    QTest::newRow("CR LF, last without end") << QByteArray("a\r\nb\r\nc") << 3;
    QTest::newRow("blank lines count") << QByteArray("\n\n\n") << 3;
    QTest::newRow("a line far longer than a record") << (QByteArray(5000, 'x') + "\nb\n") << 2;
}

void TestHexReader::fileLines()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, lines);
    TempImage file(contents);
    QCOMPARE(Get_FileLine(file.path()), lines);
}

// Files that break the layout the writers rely on have no defined table, but
// every reader must stay inside its arrays and buffers (the sanitizer build
// turns any stray access into a failure).
void TestHexReader::malformedInputStaysInBounds_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("first line not type 04, more 04s than counted") << QByteArray(
        ":10400000000102030405060708090A0B0C0D0E0F78\n:020000040800F2\n:020000040801F1\n:0400000508004000AF\n");
    QTest::newRow("record claims 255 bytes")
        << QByteArray(":020000040800F2\n:FF400000\n:FF400000\n:0400000508004000AF\n");
    QTest::newRow("short records before full ones")
        << QByteArray(":020000040800F2\n:01400000AA15\n:01400100BB03\n:FF400200\n:0400000508004000AF\n");
    QTest::newRow("garbage") << QByteArray("hello\nworld\n\x01\x02\x03\n::::\n");
    QTest::newRow("only type 04") << QByteArray(":020000040800F2\n");
    QTest::newRow("type 03 in a segment")
        << QByteArray(":020000040800F2\n:0400000300000000F9\n:FF000000\n:0400000508004000AF\n");
    QTest::newRow("odd digits and lone characters") << QByteArray(":0\n:020\n:0200000408\n:FF0000050\n");
    QTest::newRow("no line end, very long line") << (QByteArray(":020000040800F2\n:FF400000") + QByteArray(3000, 'F'));
}

void TestHexReader::malformedInputStaysInBounds()
{
    QFETCH(QByteArray, contents);
    TempImage file(contents);
    const int n = Get_BaseAddr_count(file.path());
    QVERIFY(n >= 0);
    std::unique_ptr<unsigned int[]> bases(Get_BaseAddrS(file.path()));
    std::unique_ptr<unsigned int[]> sizes(Get_DataSizeS(file.path()));
    std::unique_ptr<int[]> lines(Get_DataLineS(file.path()));
    std::unique_ptr<unsigned short[]> crcs(Get_CRCValueS(file.path()));
    QVERIFY(bases && sizes && lines && crcs);
    for (int i = 0; i < n; ++i) {
        QVERIFY(lines[i] >= 0);
    }
    Get_CRCValue(file.path());
    Get_BaseAddr(file.path());
}

QTEST_GUILESS_MAIN(TestHexReader)
#include "TestHexReader.moc"
