#include "image/HexReader.h"

#include "image/FirmwareImage.h"
#include "image/HexLines.h"
#include "image/SegmentCrc.h"

// Each function reads the file once into an image and answers from its bytes.

namespace {

template<typename T, typename Column>
T* column(const QString& path, Column value)
{
    const FirmwareImage image = FirmwareImage::fromFile(path);
    if (!image.readable()) {
        return nullptr;
    }
    const QVector<SegmentInfo>& segments = image.segments();
    T* out = new T[segments.size()]();
    for (int i = 0; i < segments.size(); ++i) {
        out[i] = value(segments[i]);
    }
    return out;
}

// The plain forms read the image as one segment: after the unparsed first line,
// every record up to the type 05 record.
template<typename T, typename Step>
T sum_data_records(const QByteArray& bytes, Step step)
{
    HexLineReader reader(bytes);
    reader.next();
    T total = 0;
    while (reader.next()) {
        const HexRecordView record(reader);
        if (record.type() == RECORD_START_LINEAR) {
            break;
        }
        if (record.type() == RECORD_DATA) {
            total += step(record);
        }
    }
    return total;
}

unsigned int data_size(const QByteArray& bytes)
{
    return sum_data_records<unsigned int>(bytes, [](const HexRecordView& r) { return r.count(); });
}

int data_lines(const QByteArray& bytes)
{
    return sum_data_records<int>(bytes, [](const HexRecordView&) { return 1; });
}

} // namespace

int Get_BaseAddr_count(QString path)
{
    return FirmwareImage::fromFile(path).segments().size();
}

unsigned int* Get_BaseAddrS(QString path)
{
    return column<unsigned int>(path, [](const SegmentInfo& s) { return s.base; });
}

unsigned int* Get_DataSizeS(QString path)
{
    return column<unsigned int>(path, [](const SegmentInfo& s) { return s.size; });
}

int* Get_DataLineS(QString path)
{
    return column<int>(path, [](const SegmentInfo& s) { return s.lines; });
}

unsigned short* Get_CRCValueS(QString path)
{
    return column<unsigned short>(path, [](const SegmentInfo& s) { return s.crc; });
}

unsigned int Get_BaseAddr(QString path)
{
    const FirmwareImage image = FirmwareImage::fromFile(path);
    return image.segments().isEmpty() ? 0 : image.segments().last().base;
}

unsigned int Get_DataSize(QString path)
{
    return data_size(FirmwareImage::fromFile(path).bytes());
}

int Get_DataLine(QString path)
{
    return data_lines(FirmwareImage::fromFile(path).bytes());
}

// Records are taken by number whatever their type, as for a one-segment image.
unsigned short Get_CRCValue(QString path)
{
    const FirmwareImage image = FirmwareImage::fromFile(path);
    if (!image.readable()) {
        return 0;
    }
    HexLineReader reader(image.bytes());
    reader.next();
    SegmentCrc crc(data_size(image.bytes()));
    const int lines = data_lines(image.bytes());
    for (int k = 0; k < lines && reader.next(); ++k) {
        crc.add(HexRecordView(reader));
    }
    return crc.value();
}

int Get_FileLine(QString path)
{
    const FirmwareImage image = FirmwareImage::fromFile(path);
    HexLineReader reader(image.bytes());
    int count = 0;
    while (reader.next()) {
        ++count;
    }
    return count;
}
