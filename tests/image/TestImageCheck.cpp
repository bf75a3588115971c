#include "image/FirmwareImage.h"
#include "image/ImageCheck.h"
#include "support/TempImage.h"

#include <QtTest>

using Lines = QList<QByteArray>;

class TestImageCheck : public QObject
{
    Q_OBJECT
private slots:
    // Variants of a well-formed image that are accepted (no message), and one
    // row for each reason an image is refused. The toolchain's own images are
    // accepted too: see TestHexReader.
    void verdict_data()
    {
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<QString>("message"); // empty: accepted

        const Lines good = hex::image({{0x0800, 0x4000, hex::pattern(40)}}); // 04, 3 data records, 05, 01
        auto replaced = [&good](int index, const QByteArray& line) {
            Lines lines = good;
            lines[index] = line;
            return lines;
        };
        auto inserted = [&good](int index, const QByteArray& line) {
            Lines lines = good;
            lines.insert(index, line);
            return lines;
        };
        auto data = [](unsigned short offset, int size) { return hex::record(0, offset, hex::pattern(size)); };

        QTest::newRow("no end-of-file record") << good.mid(0, 5) << QString();
        QTest::newRow("blank lines after the end") << good + Lines {"", "  "} << QString();
        QTest::newRow("lower-case digits") << good.join('\n').toLower().split('\n') << QString();

        QTest::newRow("empty file") << Lines() << "line 1: the file is empty";
        QTest::newRow("missing start code") << replaced(1, good[1].mid(1)) << "line 2: missing start code ':'";
        QTest::newRow("not a hex digit") << replaced(2, QByteArray(good[2]).replace(9, 1, "G"))
                                         << "line 3: character 'G' at column 10 is not a hexadecimal digit";
        QTest::newRow("length disagrees with byte count")
            << replaced(1, ":11400000" + good[1].mid(9))
            << "line 2: the byte count says 17 data bytes, the record holds 16";
        QTest::newRow("odd digit count") << replaced(1, good[1] + "0")
                                         << "line 2: the record has an odd number of hexadecimal digits (43)";
        QTest::newRow("wrong record checksum")
            << replaced(0, ":020000040800F3") << "line 1: record checksum is 0xF3, the record's bytes need 0xF2";
        QTest::newRow("record too short")
            << replaced(1, ":0000") << "line 2: the record has 2 bytes, the shortest record has 5";
        QTest::newRow("unknown type") << replaced(1, hex::record(0x06, 0, "")) << "line 2: unknown record type 0x06";
        QTest::newRow("first record not type 04")
            << inserted(0, hex::record(0x02, 0, QByteArray::fromHex("0000")))
            << "line 1: the image must begin with an extended linear address record "
               "(type 04), not an extended segment address record (type 02)";
        QTest::newRow("data before any type 04")
            << good.mid(1) << "line 1: data before any extended linear address record (type 04)";
        QTest::newRow("type 03 inside a segment")
            << inserted(2, hex::record(0x03, 0, QByteArray::fromHex("00000000")))
            << "line 3: a start segment address record (type 03) inside segment 0: only data records may follow an "
               "extended linear address record";
        QTest::newRow("end-of-file record before type 05")
            << Lines {good[0], good[1], good[2], good[3], good[5]}
            << "line 5: an end-of-file record (type 01) inside segment 0: only data records may follow an extended "
               "linear address record";
        QTest::newRow("data record of 17 bytes")
            << Lines {good[0], data(0x4000, 17), good[4]}
            << "line 2: the data record holds 17 bytes, at most 16 can be sent in one block slot";
        QTest::newRow("empty data record")
            << Lines {good[0], data(0x4000, 0), good[4]} << "line 2: the data record holds no bytes";
        QTest::newRow("short record not the last of its segment")
            << Lines {good[0], data(0x4000, 8), data(0x4008, 16), good[4]}
            << "line 2: a data record shorter than 16 bytes must be the last of its segment";
        QTest::newRow("gap between records")
            << Lines {good[0], data(0x4000, 16), data(0x4020, 16), good[4]}
            << "line 3: the data record at offset 0x4020 leaves a gap after the one before it, which ends at 0x4010";
        QTest::newRow("overlapping records")
            << Lines {good[0], data(0x4000, 16), data(0x4008, 16), good[4]}
            << "line 3: the data record at offset 0x4008 overlaps or steps back from the one before it, which ends at "
               "0x4010";
        QTest::newRow("first segment not at 0x4000")
            << hex::image({{0x0800, 0x0000, hex::pattern(16)}})
            << "line 2: segment 0's data begins at offset 0x0000, its CRC check covers data from offset 0x4000";
        QTest::newRow("later segment not at 0")
            << hex::image({{0x0800, 0x4000, hex::pattern(16)}, {0x0801, 0x0100, hex::pattern(16)}})
            << "line 4: segment 1's data begins at offset 0x0100, its CRC check covers data from offset 0x0000";
        QTest::newRow("no type 05") << good.mid(0, 4)
                                    << "line 5: the file ends without a start linear address record (type 05)";
        QTest::newRow("type 05 of 2 bytes") << replaced(4, hex::record(0x05, 0, QByteArray::fromHex("0800")))
                                            << "line 5: a start linear address record must carry 4 bytes, this one "
                                               "carries 2";
        QTest::newRow("no data at all")
            << Lines {good[0], good[4], good[5]}
            << "line 2: the image holds no data: the wallet would be erased and then told the "
               "update is finished";
        QTest::newRow("empty segment") << Lines {good[0], hex::extendedLinear(0x0801)} + good.mid(1)
                                       << "line 1: segment 0 (base 0x08000000) holds no data";
        QTest::newRow("repeated window")
            << hex::image(
                   {{0x0800, 0x4000, hex::pattern(16)}, {0x0801, 0, hex::pattern(16)}, {0x0801, 0, hex::pattern(16)}})
            << "line 5: segment 2 repeats the address window 0x08010000 of an earlier segment";
        QTest::newRow("type 04 with load offset")
            << replaced(0, hex::record(0x04, 0x0010, QByteArray::fromHex("0800")))
            << "line 1: the extended linear address record has load offset 0x0010, it must be 0x0000";
        QTest::newRow("type 04 of 4 bytes")
            << replaced(0, hex::record(0x04, 0, QByteArray::fromHex("08000000")))
            << "line 1: an extended linear address record must carry 2 bytes, this one carries 4";
        QTest::newRow("data after type 05")
            << inserted(5, data(0x4030, 16))
            << "line 6: a record after the start linear address record (type 05) would never be sent";
        QTest::newRow("blank line inside") << inserted(2, "") << "line 3: empty line where a record is expected";
        QTest::newRow("a line of 1025 characters")
            << Lines {":" + QByteArray(1024, '0')} << "line 1: the line is longer than any Intel HEX record";
    }
    void verdict()
    {
        QFETCH(Lines, lines);
        QFETCH(QString, message);
        TempImage image(lines);
        const ImageCheckResult result = check_hex_image(image.path());
        QCOMPARE(result.valid, message.isEmpty());
        QVERIFY(result.readable);
        QCOMPARE(result.message(), message);
    }

    void unreadableFile()
    {
        const ImageCheckResult result = check_hex_image(QStringLiteral("/nonexistent/image.hex"));
        QVERIFY(!result.valid);
        QVERIFY(!result.readable);
    }
};

QTEST_GUILESS_MAIN(TestImageCheck)
#include "TestImageCheck.moc"
