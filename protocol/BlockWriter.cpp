#include "protocol/BlockWriter.h"

#include "image/HexLines.h"
#include "image/HexReader.h"
#include "image/ReaderColumns.h"
#include "protocol/Framing.h"

#include <QCoreApplication>

#include <memory>
#include <vector>

namespace {

// Reads the next record line and copies its data bytes (16 at most) into the
// slot; the first record of a block also gives the block its address.
void place_record(HexLineReader& reader, unsigned char* block, int slot, long long room, unsigned int base)
{
    if (!reader.next()) {
        return;
    }
    const HexRecordView record(reader.data(), reader.size());
    unsigned char* at = block + BLOCK_HEADER + BLOCK_SLOT * slot;
    const long long left = room - (BLOCK_HEADER + BLOCK_SLOT * slot);
    record.copyData(at, std::min<long long>(left, BLOCK_SLOT));
    if (slot == 0) {
        fill_block_address(block, base, record.byte(1), record.byte(2));
    }
}

void process_events()
{
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

} // namespace

QVector<SegmentInfo> read_write_columns(const QString& path)
{
    QVector<SegmentInfo> segments;
    // The count once, then one read per column, as the segment table does.
    const int n = Get_BaseAddr_count(path);
    std::unique_ptr<unsigned int[]> sizes(size_column(path, n));
    std::unique_ptr<unsigned int[]> bases(base_column(path, n));
    std::unique_ptr<int[]> lines(line_column(path, n));
    if (!sizes || !bases || !lines) {
        return segments;
    }
    for (int i = 0; i < n; ++i) {
        segments.append(SegmentInfo {bases[i], sizes[i], lines[i], 0});
    }
    return segments;
}

int total_records(const QVector<SegmentInfo>& segments)
{
    int total = 0;
    for (const SegmentInfo& segment : segments) {
        total += segment.lines;
    }
    return total;
}

BlockWriteResult write_image_blocks(hid_device_* device, const QString& path, const QVector<SegmentInfo>& segments,
                                    const BlockWriterHooks& hooks)
{
    HexLineReader reader(path);
    if (!reader.isOpen()) {
        return BlockWriteResult::FileUnreadable;
    }
    for (const SegmentInfo& segment : segments) {
        reader.next(); // the segment's type 04 record
        const int full = segment.lines / BLOCK_RECORDS;
        const int rest = segment.lines - BLOCK_RECORDS * full;
        for (int b = 0; b < full; ++b) {
            process_events();
            unsigned char block[FULL_BLOCK_SIZE] = {};
            for (int k = 0; k < BLOCK_RECORDS; ++k) {
                place_record(reader, block, k, FULL_BLOCK_SIZE, segment.base);
                if (hooks.recordCopied) {
                    hooks.recordCopied();
                }
            }
            if (hooks.fullBlockBuilt) {
                hooks.fullBlockBuilt();
            }
            if (!hid_send_data(device, CMD_WRITE, FULL_BLOCK_SIZE, block)) {
                return BlockWriteResult::WriteFailed;
            }
        }
        if (rest == 0) {
            continue;
        }
        const long long tail = static_cast<long long>(segment.size) - 240LL * full + BLOCK_HEADER;
        if (tail < BLOCK_HEADER || tail > FULL_BLOCK_SIZE) {
            // Only an image the check refuses gets here; sending it would misplace data.
            return BlockWriteResult::WriteFailed;
        }
        std::vector<unsigned char> block(static_cast<size_t>(tail), 0);
        for (int k = 0; k < rest; ++k) {
            process_events();
            place_record(reader, block.data(), k, tail, segment.base);
            if (hooks.recordCopied) {
                hooks.recordCopied();
            }
        }
        if (!hid_send_data(device, CMD_WRITE, static_cast<int>(tail), block.data())) {
            return BlockWriteResult::WriteFailed;
        }
    }
    return BlockWriteResult::Sent;
}
