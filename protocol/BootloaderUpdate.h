#pragma once

#include "protocol/Commands.h"
#include "protocol/UpdateOutcome.h"

#include <hidapi.h>

class FirmwareImage;
class UpdateObserver;

// The one bootloader update both paths run on an open bootloader: authenticate,
// erase and read the erase reply, write the data blocks, have the wallet check
// every segment's CRC, finish. It stops at the first failure, and CMD_FINISH
// goes out only after every check passed. An image that is unreadable or
// refused by the check is not sent at all.
struct UpdateOptions
{
    // The buffer size passed for the erase reply (the manual download reads 64).
    int erase_reply_buffer = REPORT_BUFFER_SIZE;
};

UpdateOutcome update_bootloader(hid_device_* bootloader, const FirmwareImage& image, UpdateObserver& observer,
                                const UpdateOptions& options = UpdateOptions());

// The image's own verdict as an outcome: a failure when the image is unreadable,
// refused, or holds no data.
UpdateOutcome image_outcome(const FirmwareImage& image);
