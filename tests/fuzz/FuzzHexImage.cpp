// Any bytes as an Intel HEX image: the image model and the check, every reader
// function over the same bytes as a file, and the line reader, also across the
// end of a read chunk.
#include "FuzzTarget.h"
#include "image/Checksums.h"
#include "image/FirmwareImage.h"
#include "image/HexLines.h"
#include "image/HexReader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <memory>

namespace {

// The lines as plainly split: LF ends a line, a CR right before it is not part of it.
QList<QByteArray> plain_lines(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.last().isEmpty()) {
        lines.removeLast(); // nothing follows the last line end
    }
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    return lines;
}

} // namespace

FUZZ_TARGET(hex_image)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const FirmwareImage image = FirmwareImage::fromBytes(bytes);
    const QVector<SegmentInfo>& table = image.segments();
    FUZZ_CHECK(image.accepted() || !image.verdict().message().isEmpty());

    // The readers take a path: one file a process, in memory where there is such a folder.
    static const QString path
        = (QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
        + QStringLiteral("/tessaro-fuzz-%1.hex").arg(QCoreApplication::applicationPid());
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    file.close();
    const int n = Get_BaseAddr_count(path);
    const std::unique_ptr<unsigned int[]> bases(Get_BaseAddrS(path)), sizes(Get_DataSizeS(path));
    const std::unique_ptr<int[]> lines(Get_DataLineS(path));
    const std::unique_ptr<unsigned short[]> crcs(Get_CRCValueS(path));
    FUZZ_CHECK(n == table.size() && bases && sizes && lines && crcs);
    unsigned int total_size = 0;
    int total_lines = 0;
    for (int i = 0; i < n; ++i) {
        const SegmentInfo& s = table[i];
        FUZZ_CHECK((SegmentInfo {bases[i], sizes[i], lines[i], crcs[i]}) == s);
        // Only an accepted image holds its data, exactly what the table says and its CRC covers.
        FUZZ_CHECK(s.lines >= 0);
        FUZZ_CHECK(
            !image.accepted()
            || (image.segmentData(i).size() == qint64(s.size)
                && CRC16_X25(reinterpret_cast<unsigned char*>(const_cast<char*>(image.segmentData(i).constData())),
                             s.size)
                    == s.crc));
        // What the check lets through is sent and checked exactly as the table says.
        FUZZ_CHECK(!image.accepted() || (s.lines > 0 && (s.size + 15) / 16 == unsigned(s.lines)));
        total_size += s.size;
        total_lines += s.lines;
    }
    FUZZ_CHECK(image.accepted() || image.dataBytesHeld() == 0);
    FUZZ_CHECK(Get_BaseAddr(path) == (n == 0 ? 0 : table.last().base));
    const unsigned short crc = Get_CRCValue(path);
    FUZZ_CHECK(
        !image.accepted()
        || (Get_DataSize(path) == total_size && Get_DataLine(path) == total_lines && (n > 1 || crc == table[0].crc)));
    FUZZ_CHECK(Get_FileLine(path) == plain_lines(bytes).size());

    // The same bytes read from a device 64 KiB at a time, after a line of
    // filler that puts the chunk's end in their middle; then their lines.
    QByteArray padded = QByteArray(64 * 1024 - bytes.size() / 2 - 1, ';') + '\n' + bytes;
    QBuffer device(&padded);
    device.open(QIODevice::ReadOnly);
    const FirmwareImage read = FirmwareImage::fromDevice(device, path);
    FUZZ_CHECK(read.bytes() == padded);
    HexLineReader reader(read.bytes());
    for (const QByteArray& line : plain_lines(padded)) {
        FUZZ_CHECK(reader.next() && reader.wasCut() == (line.size() > HexLineReader::kMaxLine));
        FUZZ_CHECK(QByteArray(reader.data(), reader.size()) == line.left(HexLineReader::kMaxLine));
    }
    FUZZ_CHECK(!reader.next());
    return 0;
}
