#include "protocol/BlockWriter.h"

#include "image/FirmwareImage.h"
#include "log/StopRequest.h"
#include "protocol/Framing.h"
#include "protocol/UpdateObserver.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

void process_events()
{
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// The blocks of one segment: how many full ones, and the tail's payload length.
struct SegmentBlocks
{
    int full = 0;
    int rest = 0; // records in the tail block
    int tail_length = 0;
};

SegmentBlocks blocks_of(const FirmwareImage& image, int index)
{
    const SegmentInfo& segment = image.segments()[index];
    SegmentBlocks blocks;
    blocks.full = segment.lines / BLOCK_RECORDS;
    blocks.rest = segment.lines - BLOCK_RECORDS * blocks.full;
    blocks.tail_length = static_cast<int>(segment.size) - BLOCK_DATA * blocks.full + BLOCK_HEADER;
    return blocks;
}

// Copies records [first, first + count) of the segment into the block's slots;
// the block's address is that of its first record.
void fill_block(unsigned char* block, int length, const FirmwareImage& image, int index, int first, int count,
                UpdateObserver& observer, bool events_per_record)
{
    const SegmentInfo& segment = image.segments()[index];
    const QByteArray& data = image.segmentData(index);
    const unsigned int offset = (image.firstOffset(index) + static_cast<unsigned int>(BLOCK_SLOT * first)) & 0xFFFF;
    fill_block_address(block, segment.base, static_cast<unsigned char>(offset >> 8),
                       static_cast<unsigned char>(offset));
    for (int k = 0; k < count; ++k) {
        if (events_per_record) {
            process_events();
        }
        const int from = BLOCK_SLOT * (first + k);
        const int slot_at = BLOCK_HEADER + BLOCK_SLOT * k;
        const int bytes = std::max(0, std::min({BLOCK_SLOT, data.size() - from, length - slot_at}));
        if (bytes > 0) {
            std::memcpy(block + slot_at, data.constData() + from, static_cast<size_t>(bytes));
        }
        observer.recordPlaced();
    }
}

} // namespace

int image_data_reports(const FirmwareImage& image)
{
    int total = 0;
    for (int i = 0; i < image.segments().size(); ++i) {
        const SegmentBlocks blocks = blocks_of(image, i);
        total += blocks.full * reports_for_payload(FULL_BLOCK_SIZE);
        if (blocks.rest > 0) {
            total += reports_for_payload(blocks.tail_length);
        }
    }
    return total;
}

BlockWrite write_image_blocks(hid_device_* device, const FirmwareImage& image, UpdateObserver& observer, int* reports)
{
    if (!image.accepted()) {
        return BlockWrite::Failed;
    }
    const int total = image_data_reports(image);
    int sent = 0;
    const auto send = [&](const unsigned char* block, int length) {
        int written = 0;
        const bool ok = send_command(device, CMD_WRITE, length, block, &written);
        sent += written;
        *reports += written;
        if (ok) {
            observer.reportsSent(sent, total);
        }
        return ok;
    };
    for (int i = 0; i < image.segments().size(); ++i) {
        const SegmentBlocks blocks = blocks_of(image, i);
        for (int b = 0; b < blocks.full; ++b) {
            process_events();
            // Asked after the events, which may have brought the request.
            if (stop_requested(StopLevel::AtBlockBoundary)) {
                return BlockWrite::Stopped;
            }
            unsigned char block[FULL_BLOCK_SIZE] = {};
            fill_block(block, FULL_BLOCK_SIZE, image, i, BLOCK_RECORDS * b, BLOCK_RECORDS, observer, false);
            if (!send(block, FULL_BLOCK_SIZE)) {
                return BlockWrite::Failed;
            }
        }
        if (blocks.rest == 0) {
            continue;
        }
        std::vector<unsigned char> tail(static_cast<size_t>(blocks.tail_length), 0);
        fill_block(tail.data(), blocks.tail_length, image, i, BLOCK_RECORDS * blocks.full, blocks.rest, observer, true);
        if (stop_requested(StopLevel::AtBlockBoundary)) {
            return BlockWrite::Stopped;
        }
        if (!send(tail.data(), blocks.tail_length)) {
            return BlockWrite::Failed;
        }
    }
    return BlockWrite::Sent;
}
