#include "TestConfig.h"
#include "image/ImageCheck.h"
#include "support/TempImage.h"

#include <QtTest>

class TestImageCheck : public QObject
{
    Q_OBJECT
private slots:
    void acceptsToolchainImages_data();
    void acceptsToolchainImages();
    void acceptsWellFormed_data();
    void acceptsWellFormed();
    void refuses_data();
    void refuses();
    void unreadableFile();
};

namespace {

using Lines = QList<QByteArray>;

// Segment 0 with `size` bytes from offset 0x4000, then the end records.
Lines simple(int size = 40)
{
    return hex::image({{0x0800, 0x4000, hex::pattern(size)}});
}

Lines replaced(Lines lines, int index, const QByteArray& line)
{
    lines[index] = line;
    return lines;
}

Lines inserted(Lines lines, int index, const QByteArray& line)
{
    lines.insert(index, line);
    return lines;
}

} // namespace

void TestImageCheck::acceptsToolchainImages_data()
{
    QTest::addColumn<QString>("file");
    for (const char* name :
         {"srec-two-segments-lf.hex", "srec-two-segments-crlf.hex", "srec-three-segments-lf.hex",
          "srec-three-segments-crlf.hex", "objcopy-one-segment-lf.hex", "objcopy-one-segment-crlf.hex"}) {
        QTest::newRow(name) << QStringLiteral(TESSARO_TEST_DATA_DIR "/") + QLatin1String(name);
    }
}

void TestImageCheck::acceptsToolchainImages()
{
    QFETCH(QString, file);
    const ImageCheckResult result = check_hex_image(file);
    QVERIFY2(result.valid, qPrintable(result.message()));
}

void TestImageCheck::acceptsWellFormed_data()
{
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::newRow("one full record") << simple(16) << QByteArray("\n");
    QTest::newRow("short last record") << simple(17) << QByteArray("\r\n");
    QTest::newRow("segment ends at its window's end")
        << hex::image({{0x0800, 0x4000, hex::pattern(0xC000)}, {0x0801, 0, hex::pattern(20)}}) << QByteArray("\n");
    QTest::newRow("no end-of-file record") << simple().mid(0, simple().size() - 1) << QByteArray("\n");
    QTest::newRow("blank lines after the end") << (simple() + Lines {"", "  "}) << QByteArray("\n");
    QTest::newRow("lower-case digits") << [] {
        Lines l = simple();
        for (QByteArray& s : l) {
            s = s.toLower();
        }
        return l;
    }() << QByteArray("\n");
}

void TestImageCheck::acceptsWellFormed()
{
    QFETCH(Lines, lines);
    QFETCH(QByteArray, lineEnd);
    TempImage image(lines, lineEnd);
    const ImageCheckResult result = check_hex_image(image.path());
    QVERIFY2(result.valid, qPrintable(result.message()));
    QCOMPARE(result.message(), QString());
}

void TestImageCheck::refuses_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");

    auto file = [](const Lines& lines) {
        QByteArray all;
        for (const QByteArray& l : lines) {
            all += l + "\n";
        }
        return all;
    };
    const Lines good = simple(40); // 04, 3 data records, 05, 01

    QTest::newRow("empty file") << QByteArray() << "line 1: the file is empty";
    QTest::newRow("missing start code") << file(replaced(good, 1, good[1].mid(1))) << "line 2: missing start code ':'";
    QTest::newRow("not a hex digit") << file(replaced(good, 2, QByteArray(good[2]).replace(9, 1, "G")))
                                     << "line 3: character 'G' at column 10 is not a hexadecimal digit";
    QTest::newRow("trailing blank in a record")
        << file(replaced(good, 1, good[1] + " ")) << "line 2: character ' ' at column 44 is not a hexadecimal digit";
    QTest::newRow("length disagrees with byte count")
        << file(replaced(good, 1, ":11400000" + good[1].mid(9)))
        << "line 2: the byte count says 17 data bytes, the record holds 16";
    QTest::newRow("odd digit count") << file(replaced(good, 1, good[1] + "0"))
                                     << "line 2: the record has an odd number of hexadecimal digits (43)";
    QTest::newRow("wrong record checksum") << file(replaced(good, 0, ":020000040800F3"))
                                           << "line 1: record checksum is 0xF3, the record's bytes need 0xF2";
    QTest::newRow("record too short") << file(replaced(good, 1, ":0000"))
                                      << "line 2: the record has 2 bytes, the shortest record has 5";
    QTest::newRow("unknown type") << file(replaced(good, 1, hex::record(0x06, 0, "")))
                                  << "line 2: unknown record type 0x06";
    QTest::newRow("first record not type 04")
        << file(inserted(good, 0, hex::record(0x02, 0, QByteArray::fromHex("0000"))))
        << "line 1: the image must begin with an extended linear address record "
           "(type 04), not an extended segment address record (type 02)";
    QTest::newRow("data before any type 04")
        << file(good.mid(1)) << "line 1: data before any extended linear address record (type 04)";
    QTest::newRow("type 03 inside a segment")
        << file(inserted(good, 2, hex::record(0x03, 0, QByteArray::fromHex("00000000"))))
        << "line 3: a start segment address record (type 03) inside segment 0: only data records may follow an "
           "extended linear address record";
    QTest::newRow("end-of-file record before type 05")
        << file(Lines {good[0], good[1], good[2], good[3], good[5]})
        << "line 5: an end-of-file record (type 01) inside segment 0: "
           "only data records may follow an extended linear address record";
    QTest::newRow("data record of 17 bytes")
        << file(Lines {good[0], hex::record(0, 0x4000, hex::pattern(17)), good[4]})
        << "line 2: the data record holds 17 bytes, at most 16 can be sent in one block slot";
    QTest::newRow("empty data record") << file(Lines {good[0], hex::record(0, 0x4000, ""), good[4]})
                                       << "line 2: the data record holds no bytes";
    QTest::newRow("short record not the last of its segment")
        << file(Lines {good[0], hex::record(0, 0x4000, hex::pattern(8)), hex::record(0, 0x4008, hex::pattern(16)),
                       good[4]})
        << "line 2: a data record shorter than 16 bytes must be the last of its segment";
    QTest::newRow("gap between records")
        << file(Lines {good[0], hex::record(0, 0x4000, hex::pattern(16)), hex::record(0, 0x4020, hex::pattern(16)),
                       good[4]})
        << "line 3: the data record at offset 0x4020 leaves a gap after the one before it, which ends at 0x4010";
    QTest::newRow("overlapping records") << file(
        Lines {good[0], hex::record(0, 0x4000, hex::pattern(16)), hex::record(0, 0x4008, hex::pattern(16)), good[4]})
                                         << "line 3: the data record at offset 0x4008 overlaps or steps back from the "
                                            "one before it, which ends at 0x4010";
    QTest::newRow("step back") << file(Lines {good[0], hex::record(0, 0x4000, hex::pattern(16)),
                                              hex::record(0, 0x4010, hex::pattern(16)),
                                              hex::record(0, 0x4000, hex::pattern(16)), good[4]})
                               << "line 4: the data record at offset 0x4000 overlaps or steps back from the one before "
                                  "it, which ends at 0x4020";
    QTest::newRow("first segment not at 0x4000")
        << file(hex::image({{0x0800, 0x0000, hex::pattern(16)}}))
        << "line 2: segment 0's data begins at offset 0x0000, its CRC check covers data from offset 0x4000";
    QTest::newRow("later segment not at 0")
        << file(hex::image({{0x0800, 0x4000, hex::pattern(16)}, {0x0801, 0x0100, hex::pattern(16)}}))
        << "line 4: segment 1's data begins at offset 0x0100, its CRC check covers data from offset 0x0000";
    QTest::newRow("no type 05") << file(good.mid(0, 4))
                                << "line 5: the file ends without a start linear address record (type 05)";
    QTest::newRow("no data at all") << file(Lines {good[0], good[4], good[5]})
                                    << "line 2: the image holds no data: the wallet would be erased and then told the "
                                       "update is finished";
    QTest::newRow("empty segment") << file(Lines {good[0], hex::extendedLinear(0x0801)} + good.mid(1))
                                   << "line 1: segment 0 (base 0x08000000) holds no data";
    QTest::newRow("repeated window") << file(
        hex::image({{0x0800, 0x4000, hex::pattern(16)}, {0x0801, 0, hex::pattern(16)}, {0x0801, 0, hex::pattern(16)}}))
                                     << "line 5: segment 2 repeats the address window 0x08010000 of an earlier segment";
    QTest::newRow("type 04 with load offset")
        << file(replaced(good, 0, hex::record(0x04, 0x0010, QByteArray::fromHex("0800"))))
        << "line 1: the extended linear address record has load offset 0x0010, it must be 0x0000";
    QTest::newRow("type 04 of 4 bytes")
        << file(replaced(good, 0, hex::record(0x04, 0, QByteArray::fromHex("08000000"))))
        << "line 1: an extended linear address record must carry 2 bytes, this one carries 4";
    QTest::newRow("data after type 05") << file(inserted(good, 5, hex::record(0, 0x4030, hex::pattern(16))))
                                        << "line 6: a record after the start linear address record (type 05) would "
                                           "never be sent";
    QTest::newRow("blank line inside") << file(inserted(good, 2, ""))
                                       << "line 3: empty line where a record is expected";
    QTest::newRow("endless line") << (QByteArray(":") + QByteArray(4000, '0') + "\n")
                                  << "line 1: the line is longer than any Intel HEX record";
}

void TestImageCheck::refuses()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    TempImage image(contents);
    const ImageCheckResult result = check_hex_image(image.path());
    QVERIFY(!result.valid);
    QVERIFY(result.readable);
    QVERIFY(result.line > 0);
    QCOMPARE(result.message(), message);
}

void TestImageCheck::unreadableFile()
{
    const ImageCheckResult result = check_hex_image(QStringLiteral("/nonexistent/image.hex"));
    QVERIFY(!result.valid);
    QVERIFY(!result.readable);
}

QTEST_GUILESS_MAIN(TestImageCheck)
#include "TestImageCheck.moc"
