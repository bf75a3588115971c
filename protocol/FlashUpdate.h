#pragma once

#include <QString>

#include <functional>

// Progress of the automatic flash update: the range is set once, to 0-100, and
// the value is the share of the image's data records sent.
struct FlashProgress
{
    std::function<void(int, int)> setRange;
    std::function<void(int)> setValue;
};

// The automatic flash update on the wallet in its bootloader: search, auth,
// erase, data blocks, a CRC check per segment, finish. Tells the user the
// outcome ("更新完成", "更新失败", "更新设备未找到") and deletes the file only
// after success. The wallet is never told to finish after a failure.
bool flash_update(const QString& path, const FlashProgress& progress = FlashProgress());

// The bootloader search: up to five listings with 4000 ms between empty ones.
// Null when none could be opened.
struct hid_device_;
hid_device_* open_bootloader();
