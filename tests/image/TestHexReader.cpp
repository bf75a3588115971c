#include "TestConfig.h"
#include "image/Checksums.h"
#include "image/FirmwareImage.h"
#include "image/HexReader.h"
#include "support/TempImage.h"

#include <QtTest>

#include <memory>

using Lines = QList<QByteArray>;
using Table = QList<SegmentInfo>;
Q_DECLARE_METATYPE(Table)

namespace {

unsigned short crc_of(const QByteArray& data)
{
    QByteArray copy = data;
    return CRC16_X25(reinterpret_cast<unsigned char*>(copy.data()), static_cast<unsigned int>(copy.size()));
}

// Hands out the first `good` bytes of its contents, then fails every read,
// as a file on a failing disk or a vanished network share would.
class FailDevice : public QBuffer
{
public:
    FailDevice(const QByteArray& contents, qint64 good)
        : good_(good)
    {
        setData(contents);
    }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        if (pos() >= good_) {
            setErrorString(QStringLiteral("input/output error"));
            return -1;
        }
        return QBuffer::readData(data, qMin(max, good_ - pos()));
    }

private:
    qint64 good_;
};

} // namespace

namespace QTest {
template<>
char* toString(const Table& table)
{
    QStringList rows;
    for (const SegmentInfo& s : table) {
        rows << QString::asprintf("{base %x size %u lines %d crc %x}", s.base, s.size, s.lines, s.crc);
    }
    return qstrdup(qPrintable(rows.join(' ')));
}
} // namespace QTest

class TestHexReader : public QObject
{
    Q_OBJECT
private slots:
    // Files written by srec_cat and objcopy, with LF and CR LF line ends, full
    // and short last records, segments ending at their window's end: the check
    // accepts them, and the expected table was computed from the binaries they
    // were made from. That the reader functions give this same table, on these
    // and on any bytes, the fuzz target's replay in TestFuzzCorpus checks.
    void toolchainImages_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Table>("expected");
        QFile tsv(QStringLiteral(TESSARO_TEST_DATA_DIR "/fixtures.tsv"));
        QVERIFY(tsv.open(QIODevice::ReadOnly | QIODevice::Text));
        QMap<QString, Table> files;
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
    void toolchainImages()
    {
        QFETCH(QString, file);
        QFETCH(Table, expected);
        const FirmwareImage image = FirmwareImage::fromFile(file);
        QVERIFY2(image.accepted(), qPrintable(image.verdict().message()));
        QCOMPARE(image.segments().toList(), expected);
        // An accepted image holds its data, all of it.
        qint64 held = 0;
        for (const SegmentInfo& segment : expected) {
            held += segment.size;
        }
        QCOMPARE(image.dataBytesHeld(), held);
    }

    void layouts_data()
    {
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Table>("expected");

        const QByteArray a = hex::pattern(40, 1);
        const QByteArray b = hex::pattern(16, 2);
        const QByteArray w0 = hex::extendedLinear(0x0800);
        const QByteArray w1 = hex::extendedLinear(0x0801);
        const QByteArray start = hex::startLinear(0);

        QTest::newRow("two type 04 records in a row: an empty first segment") << Lines {w0, w1} + hex::dataRecords(0, a)
                + Lines {start, hex::endOfFile()} << Table {{0x08000000, 0, 0, 0x0000}, {0x08010000, 40, 3, crc_of(a)}};
        QTest::newRow("type 04 load offset becomes the low base bits")
            << Lines {hex::record(0x04, 0x1234, QByteArray::fromHex("0801"))} + hex::dataRecords(0, b) + Lines {start}
            << Table {{0x08011234, 16, 1, crc_of(b)}};
        QTest::newRow("records after type 05 are not read") << Lines {w0} + hex::dataRecords(0x4000, b)
                + Lines {start, hex::extendedLinear(0x0802)} + hex::dataRecords(0, a)
                + Lines {hex::endOfFile()} << Table {{0x08000000, 16, 1, crc_of(b)}};
        // Types 01-03 neither begin a segment nor count.
        QTest::newRow("type 02 after a segment's data is passed over") << Lines {w0} + hex::dataRecords(0x4000, b)
                + Lines {hex::record(0x02, 0, QByteArray::fromHex("1000")), start}
                                                                       << Table {{0x08000000, 16, 1, crc_of(b)}};
        QTest::newRow("gapped load offsets read as contiguous")
            << Lines {w0, hex::record(0, 0x4000, b), hex::record(0, 0x5000, b), start}
            << Table {{0x08000000, 32, 2, crc_of(b + b)}};
        QTest::newRow("no type 05: the last segment's size and lines stay 0")
            << Lines {w0} + hex::dataRecords(0x4000, a) + Lines {w1} + hex::dataRecords(0, b)
            << Table {{0x08000000, 40, 3, crc_of(a)}, {0x08010000, 0, 0, 0x0000}};
    }
    void layouts()
    {
        QFETCH(Lines, lines);
        QFETCH(Table, expected);
        TempImage image(lines);
        QCOMPARE(FirmwareImage::fromFile(image.path()).segments().toList(), expected);
    }

    // A read that fails part-way makes the image unreadable: a cut-off image
    // must not pass for a shorter one.
    void readErrors_data()
    {
        QTest::addColumn<qint64>("good"); // bytes read before the failure, -1: none
        QTest::newRow("fails at once") << qint64(0);
        QTest::newRow("fails mid-file, at a line end") << qint64(64 * 1024);
        QTest::newRow("never fails") << qint64(-1);
    }
    void readErrors()
    {
        QFETCH(qint64, good);
        const QString path = QStringLiteral(TESSARO_TEST_DATA_DIR "/srec-two-segments-crlf.hex");
        const QByteArray contents = read_file(path);
        QVERIFY(!contents.isEmpty());
        FailDevice device(contents, good < 0 ? contents.size() + 1 : good);
        QVERIFY(device.open(QIODevice::ReadOnly));
        const FirmwareImage image = FirmwareImage::fromDevice(device, QStringLiteral("fw.hex"));
        QCOMPARE(image.readable(), good < 0);
        QCOMPARE(image.accepted(), good < 0);
        QCOMPARE(image.readError().contains(QStringLiteral("input/output error")), good >= 0);
        QCOMPARE(image.segments(), good < 0 ? FirmwareImage::fromFile(path).segments() : QVector<SegmentInfo>());
    }

    // Short lines that claim 255 bytes each: what the records claim is summed
    // by the CRC but never held, and a refused image builds no segment data.
    void claimsCostNoMemory_data()
    {
        QTest::addColumn<int>("segments");
        QTest::addColumn<int>("shortLines");
        QTest::addColumn<QByteArray>("firstRecord"); // a data record before the short lines, or none
        QTest::newRow("segments claiming just under 1 MiB each") << 6 << 4112 << QByteArray();
        QTest::newRow("a segment claiming more than 1 MiB") << 1 << 5000 << QByteArray();
        QTest::newRow("real data, then claims") << 2 << 300 << hex::pattern(16);
    }
    void claimsCostNoMemory()
    {
        QFETCH(int, segments);
        QFETCH(int, shortLines);
        QFETCH(QByteArray, firstRecord);
        QByteArray file;
        for (int i = 0; i < segments; ++i) {
            file += hex::extendedLinear(static_cast<unsigned short>(0x0800 + i)) + '\n';
            if (!firstRecord.isEmpty()) {
                file += hex::dataRecords(0x4000, firstRecord).first() + '\n';
            }
            file += QByteArray(":FF\n").repeated(shortLines);
        }
        file += hex::startLinear(0x08004000) + '\n' + hex::endOfFile() + '\n';
        TempImage temp(file);

        // Record k at 16·k, 255 bytes each, all zero but the data record's.
        const int records = shortLines + (firstRecord.isEmpty() ? 0 : 1);
        QByteArray data(255 * shortLines + firstRecord.size(), '\0');
        data.replace(0, firstRecord.size(), firstRecord);
        const SegmentInfo claimed {0, static_cast<unsigned int>(data.size()), records, crc_of(data)};

        const FirmwareImage image = FirmwareImage::fromFile(temp.path());
        QVERIFY(!image.accepted());
        QCOMPARE(image.verdict().line, firstRecord.isEmpty() ? 2 : 3);
        QCOMPARE(image.dataBytesHeld(), qint64(0));
        QCOMPARE(image.segments().size(), segments);
        const std::unique_ptr<unsigned short[]> crcs(Get_CRCValueS(temp.path()));
        for (int i = 0; i < segments; ++i) {
            SegmentInfo expected = claimed;
            expected.base = (0x0800u + unsigned(i)) << 16;
            QCOMPARE(image.segments()[i], expected);
            QCOMPARE(crcs[i], claimed.crc);
        }
    }

    void missingFile()
    {
        const QString file = QStringLiteral("/nonexistent/dir/image.hex");
        QVERIFY(!Get_BaseAddrS(file) && !Get_DataSizeS(file) && !Get_DataLineS(file) && !Get_CRCValueS(file));
        const QVector<qint64> plain {Get_BaseAddr_count(file), Get_BaseAddr(file), Get_DataSize(file),
                                     Get_DataLine(file),       Get_CRCValue(file), Get_FileLine(file)};
        QCOMPARE(plain, QVector<qint64>(6, 0));
        QVERIFY(!FirmwareImage::fromFile(file).readable());
    }
};

QTEST_GUILESS_MAIN(TestHexReader)
#include "TestHexReader.moc"
