#pragma once

#include <hidapi.h>

class FirmwareImage;
class UpdateObserver;

// Cuts an accepted image into CMD_WRITE data blocks and sends them: per
// segment, full blocks of 15 records and one tail block of the rest, each
// record in its own 16-byte slot after the block's 4-byte address. The data
// come from the image in memory, never from its file again.
//
// Pending events are processed before each full block and each tail record so
// the window stays alive during the transfer. Stops at the first report not
// written whole (Failed; also when the image was not accepted, nothing sent),
// or, between two blocks, when a stop at the block boundary was requested
// (Stopped): a block is never cut in half. `reports` grows by every report
// written whole.
enum class BlockWrite { Sent, Failed, Stopped };
BlockWrite write_image_blocks(hid_device_* device, const FirmwareImage& image, UpdateObserver& observer, int* reports);

// The reports the data blocks of an image take.
int image_data_reports(const FirmwareImage& image);
