#pragma once

#include "image/SegmentTable.h"

#include <hidapi.h>

#include <functional>

// Cuts an image into CMD_WRITE data blocks and sends them: per segment, full
// blocks of 15 records and one tail block of the rest, each record in its own
// 16-byte slot after the block's 4-byte address. The file is read line by
// line in the layout the image check guarantees: each segment's type 04
// record, then exactly its data records, then the type 05 record.
//
// Pending events are processed before each full block and each tail record so
// the window stays alive during the transfer.
struct BlockWriterHooks
{
    std::function<void()> recordCopied; // after each record is placed in its slot
    std::function<void()> fullBlockBuilt; // after a full block is filled, before it is sent
};

enum class BlockWriteResult { Sent, FileUnreadable, WriteFailed };

BlockWriteResult write_image_blocks(hid_device_* device, const QString& path, const QVector<SegmentInfo>& segments,
                                    const BlockWriterHooks& hooks = BlockWriterHooks());

// The table columns the writers take before sending (sizes, bases, record
// counts); the CRCs are left 0 and taken after the data have gone out.
QVector<SegmentInfo> read_write_columns(const QString& path);

// The image's data records over all segments: the progress of both writers.
int total_records(const QVector<SegmentInfo>& segments);
