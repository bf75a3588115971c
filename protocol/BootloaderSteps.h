#pragma once

#include "image/SegmentTable.h"
#include "protocol/Framing.h"

#include <QString>
#include <QVector>

#include <hidapi.h>

// The bootloader search of both update paths: this many listings, with this
// long a wait between them.
constexpr int BOOTLOADER_SEARCH_ATTEMPTS = 5;
constexpr unsigned int BOOTLOADER_SEARCH_WAIT_MS = 4000;

// CMD_ERASE of the application region and the wallet's answer to it, read into
// a buffer of `reply_buffer_size` bytes. Input already waiting is dropped first,
// so that a stray report is not taken for the answer. No reply when the
// command could not be written.
ReplyOutcome erase_application(hid_device_* device, int reply_buffer_size = REPORT_BUFFER_SIZE);

// One CMD_CHECK_CRC per segment, in order, each with its own reply; the first
// segment is checked from its CRC offset. Success when every segment passed;
// otherwise the outcome of the first that did not (no reply also when the
// CRCs cannot be read or a check cannot be written).
ReplyOutcome check_segment_crcs(hid_device_* device, const QString& path, const QVector<SegmentInfo>& segments);
