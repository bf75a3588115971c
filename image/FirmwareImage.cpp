#include "image/FirmwareImage.h"

#include "image/Checksums.h"
#include "image/HexLines.h"
#include "image/SegmentCrc.h"

#include <QFile>

namespace {

// One segment for each type 04 record before the first type 05 record, with
// the base address that record gives.
QVector<SegmentInfo> read_bases(const QByteArray& bytes)
{
    QVector<SegmentInfo> table;
    HexLineReader reader(bytes);
    while (reader.next()) {
        const HexRecordView record(reader);
        if (record.type() == RECORD_EXTENDED_LINEAR) {
            SegmentInfo segment;
            segment.base = record.linearBase();
            table.append(segment);
        } else if (record.type() == RECORD_START_LINEAR) {
            break;
        }
    }
    return table;
}

// Sizes and record counts: after the (unparsed) first line each segment's
// running values are stored at the next type 04 or 05 record, so the last
// segment is stored only when a type 05 record ends it.
void read_sizes_and_lines(const QByteArray& bytes, QVector<SegmentInfo>& table)
{
    HexLineReader reader(bytes);
    reader.next();
    unsigned int size = 0;
    int lines = 0;
    int index = 0;
    while (reader.next()) {
        const HexRecordView record(reader);
        const unsigned char type = record.type();
        if (type == RECORD_EXTENDED_LINEAR || type == RECORD_START_LINEAR) {
            if (index < table.size()) {
                table[index].size = size;
                table[index].lines = lines;
            }
            if (type == RECORD_START_LINEAR) {
                break;
            }
            ++index;
            size = 0;
            lines = 0;
        } else if (type == RECORD_DATA) {
            size += record.count();
            ++lines;
        }
    }
}

} // namespace

FirmwareImage::FirmwareImage()
{
    verdict_.readable = false;
    verdict_.reason = QStringLiteral("the file cannot be opened");
}

void FirmwareImage::unreadable(const QString& why)
{
    readable_ = false;
    read_error_ = why;
    bytes_.clear();
    verdict_ = ImageCheckResult();
    verdict_.readable = false;
    verdict_.reason = why;
}

FirmwareImage FirmwareImage::fromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        FirmwareImage image;
        image.path_ = path;
        // The system's own words tell a missing file from a folder or a denial.
        image.unreadable(file.errorString());
        return image;
    }
    return fromDevice(file, path);
}

FirmwareImage FirmwareImage::fromDevice(QIODevice& device, const QString& name)
{
    FirmwareImage image;
    image.path_ = name;
    QByteArray bytes;
    char chunk[64 * 1024];
    for (;;) {
        const qint64 got = device.read(chunk, sizeof chunk);
        if (got < 0) {
            image.unreadable(QStringLiteral("the file cannot be read: %1").arg(device.errorString()));
            return image;
        }
        if (got == 0 && (device.atEnd() || !device.isSequential())) {
            break;
        }
        bytes.append(chunk, static_cast<int>(got));
        // fromBytes refuses a file past the bound: nothing more need be read.
        if (bytes.size() > kMaxFileSize) {
            break;
        }
    }
    return fromBytes(bytes, name);
}

FirmwareImage FirmwareImage::fromBytes(const QByteArray& bytes, const QString& name)
{
    FirmwareImage image;
    image.path_ = name;
    if (bytes.size() > kMaxFileSize) {
        image.unreadable(QStringLiteral("the file is larger than any image for the wallet (over %1 MiB)")
                             .arg(kMaxFileSize / (1024 * 1024)));
        return image;
    }
    image.bytes_ = bytes;
    image.analyse();
    return image;
}

void FirmwareImage::analyse()
{
    readable_ = true;
    read_error_.clear();
    verdict_ = check_hex_bytes(bytes_);

    segments_ = read_bases(bytes_);
    read_sizes_and_lines(bytes_, segments_);

    // Each segment's records follow its type 04 line, taken by number. Only an
    // accepted image is sent, and each of its records holds every byte it
    // claims, so only its data is built; a refused image's CRCs are summed as
    // the records go by, whatever sizes they claim.
    HexLineReader reader(bytes_);
    data_.clear();
    first_offsets_.clear();
    for (SegmentInfo& segment : segments_) {
        reader.next();
        SegmentCrc crc(segment.size);
        QByteArray data;
        unsigned short first = 0;
        if (accepted()) {
            data.fill('\0', static_cast<int>(segment.size));
        }
        auto* out = reinterpret_cast<unsigned char*>(data.data());
        for (int k = 0; k < segment.lines && reader.next(); ++k) {
            const HexRecordView record(reader);
            crc.add(record);
            const int at = RECORD_MAX_DATA * k;
            if (k == 0) {
                first = record.offset();
            }
            if (at < data.size()) {
                record.copyData(out + at, data.size() - at);
            }
        }
        segment.crc = crc.value();
        if (accepted()) {
            data_.append(data);
            first_offsets_.append(first);
        }
    }
}

qint64 FirmwareImage::dataBytesHeld() const
{
    qint64 held = 0;
    for (const QByteArray& data : data_) {
        held += data.size();
    }
    return held;
}

int FirmwareImage::totalRecords() const
{
    int total = 0;
    for (const SegmentInfo& s : segments_) {
        total += s.lines;
    }
    return total;
}

ImageCheckResult check_hex_image(const QString& path)
{
    return FirmwareImage::fromFile(path).verdict();
}
