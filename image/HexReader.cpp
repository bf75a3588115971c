#include "image/HexReader.h"

#include "image/Checksums.h"
#include "image/HexLines.h"
#include "image/ReaderColumns.h"

#include <memory>
#include <vector>

namespace {

unsigned int base_address_of(const HexRecordView& record)
{
    return static_cast<unsigned int>(record.dataByte(0)) << 24 | static_cast<unsigned int>(record.dataByte(1)) << 16
        | static_cast<unsigned int>(record.byte(1)) << 8 | record.byte(2);
}

// Walks the lines after the (unparsed) first one and hands each segment's
// running value to `store` at a type 04 or 05 record, as the size and line
// columns are built. The last segment is stored only when a type 05 ends it.
template<typename T, typename Step>
T* segment_column(const QString& path, int n, Step step)
{
    HexLineReader reader(path);
    if (!reader.isOpen()) {
        return nullptr;
    }
    T* column = new T[n > 0 ? n : 0]();
    reader.next();
    T running = 0;
    int index = 0;
    while (reader.next()) {
        HexRecordView record(reader.data(), reader.size());
        const unsigned char type = record.type();
        if (type == RECORD_EXTENDED_LINEAR || type == RECORD_START_LINEAR) {
            if (index < n) {
                column[index] = running;
            }
            if (type == RECORD_START_LINEAR) {
                break;
            }
            ++index;
            running = 0;
        } else if (type == RECORD_DATA) {
            running += step(record);
        }
    }
    return column;
}

unsigned short crc_of_records(HexLineReader& reader, unsigned int size, long long lines)
{
    std::vector<unsigned char> data(size, 0);
    for (long long k = 0; k < lines && reader.next(); ++k) {
        const long long at = 16 * k;
        if (at < static_cast<long long>(size)) {
            HexRecordView(reader.data(), reader.size()).copyData(data.data() + at, size - at);
        }
    }
    return CRC16_X25(data.data(), size);
}

} // namespace

int Get_BaseAddr_count(QString path)
{
    HexLineReader reader(path);
    int count = 0;
    while (reader.next()) {
        const unsigned char type = HexRecordView(reader.data(), reader.size()).type();
        if (type == RECORD_EXTENDED_LINEAR) {
            ++count;
        } else if (type == RECORD_START_LINEAR) {
            break;
        }
    }
    return count;
}

unsigned int* base_column(const QString& path, int n)
{
    HexLineReader reader(path);
    if (!reader.isOpen()) {
        return nullptr;
    }
    unsigned int* bases = new unsigned int[n > 0 ? n : 0]();
    int index = 0;
    while (reader.next()) {
        HexRecordView record(reader.data(), reader.size());
        if (record.type() == RECORD_EXTENDED_LINEAR) {
            if (index < n) {
                bases[index++] = base_address_of(record);
            }
        } else if (record.type() == RECORD_START_LINEAR) {
            break;
        }
    }
    return bases;
}

unsigned int* size_column(const QString& path, int n)
{
    return segment_column<unsigned int>(path, n, [](const HexRecordView& r) { return r.count(); });
}

int* line_column(const QString& path, int n)
{
    return segment_column<int>(path, n, [](const HexRecordView&) { return 1; });
}

unsigned short* crc_column(const QString& path, int n, const unsigned int* sizes, const int* lines)
{
    HexLineReader reader(path);
    if (sizes == nullptr || lines == nullptr || !reader.isOpen()) {
        return nullptr;
    }
    unsigned short* crcs = new unsigned short[n > 0 ? n : 0]();
    for (int i = 0; i < n; ++i) {
        reader.next(); // the segment's type 04 record
        crcs[i] = crc_of_records(reader, sizes[i], lines[i]);
    }
    return crcs;
}

unsigned int Get_BaseAddr(QString path)
{
    HexLineReader reader(path);
    unsigned int base = 0;
    while (reader.next()) {
        HexRecordView record(reader.data(), reader.size());
        if (record.type() == RECORD_EXTENDED_LINEAR) {
            base = base_address_of(record);
        } else if (record.type() == RECORD_START_LINEAR) {
            break;
        }
    }
    return base;
}

namespace {

template<typename T, typename Step>
T sum_data_records(const QString& path, Step step)
{
    HexLineReader reader(path);
    reader.next();
    T total = 0;
    while (reader.next()) {
        HexRecordView record(reader.data(), reader.size());
        if (record.type() == RECORD_START_LINEAR) {
            break;
        }
        if (record.type() == RECORD_DATA) {
            total += step(record);
        }
    }
    return total;
}

} // namespace

unsigned int Get_DataSize(QString path)
{
    return sum_data_records<unsigned int>(path, [](const HexRecordView& r) { return r.count(); });
}

int Get_DataLine(QString path)
{
    return sum_data_records<int>(path, [](const HexRecordView&) { return 1; });
}

unsigned short Get_CRCValue(QString path)
{
    const unsigned int size = Get_DataSize(path);
    const int lines = Get_DataLine(path);
    HexLineReader reader(path);
    if (!reader.isOpen()) {
        return 0;
    }
    reader.next();
    return crc_of_records(reader, size, lines);
}

int Get_FileLine(QString path)
{
    HexLineReader reader(path);
    int count = 0;
    while (reader.next()) {
        ++count;
    }
    return count;
}

unsigned int* Get_BaseAddrS(QString path)
{
    return base_column(path, Get_BaseAddr_count(path));
}

unsigned int* Get_DataSizeS(QString path)
{
    return size_column(path, Get_BaseAddr_count(path));
}

int* Get_DataLineS(QString path)
{
    return line_column(path, Get_BaseAddr_count(path));
}

unsigned short* Get_CRCValueS(QString path)
{
    const int n = Get_BaseAddr_count(path);
    std::unique_ptr<unsigned int[]> sizes(size_column(path, n));
    std::unique_ptr<int[]> lines(line_column(path, n));
    return crc_column(path, n, sizes.get(), lines.get());
}
