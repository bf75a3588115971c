#pragma once

#include "protocol/BootloaderSearch.h"
#include "protocol/UpdateOutcome.h"

#include <QString>

#include <functional>

class FirmwareImage;
class UpdateObserver;

// Progress of the automatic flash update: the range is 0-100, and the value
// the share of the image's data reports sent, 100 only once the last went out.
struct FlashProgress
{
    std::function<void(int, int)> setRange;
    std::function<void(int)> setValue;
};

// The automatic flash update: finds the restarted wallet's bootloader, runs
// the bootloader update and tells the user the outcome ("更新完成", "更新失败",
// "更新设备未找到"); the firmware file is deleted only after success. `watcher`,
// when given, hears every step too.
UpdateOutcome flash_update(const FirmwareImage& image, const BootloaderTarget& target,
                           const FlashProgress& progress = FlashProgress(), UpdateObserver* watcher = nullptr);
// The same for a file, read once.
bool flash_update(const QString& path, const FlashProgress& progress = FlashProgress());

// The automatic update as one sequence: release query, download and
// verification, bootloader entry, the notice before writing, and `flash` on
// the verified image and the bootloaders to leave alone. The window and the
// command line run the same sequence; only how they show progress differs.
// `watcher`, when given, hears the steps before the flash.
using Flasher = std::function<UpdateOutcome(const FirmwareImage&, const BootloaderTarget&)>;
// `device`, when given, is the wallet to restart; otherwise the first found.
UpdateOutcome run_auto_update(const Flasher& flash, UpdateObserver* watcher = nullptr,
                              const QString& device = QString());
