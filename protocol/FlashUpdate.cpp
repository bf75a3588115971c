#include "protocol/FlashUpdate.h"

#include "app/UserNotice.h"
#include "image/ImageCheck.h"
#include "protocol/Authentication.h"
#include "protocol/BlockWriter.h"
#include "protocol/BootloaderSteps.h"
#include "protocol/Framing.h"
#include "protocol/Wait.h"

#include <QDebug>
#include <QFile>

#include <memory>

namespace {

// Closes the bootloader handle on every way out.
struct DeviceCloser
{
    void operator()(hid_device* device) const { hid_close(device); }
};
using DeviceHandle = std::unique_ptr<hid_device, DeviceCloser>;

bool fail(const QString& text)
{
    show_notice(text);
    return false;
}

} // namespace

hid_device* open_bootloader()
{
    for (int attempt = 0; attempt < BOOTLOADER_SEARCH_ATTEMPTS; ++attempt) {
        hid_device_info* list = hid_enumerate(VENDOR_ID, BOOTLOADER_PRODUCT_ID);
        if (list == nullptr) {
            msleep(BOOTLOADER_SEARCH_WAIT_MS);
            continue;
        }
        hid_free_enumeration(list);
        if (hid_device* device = hid_open(VENDOR_ID, BOOTLOADER_PRODUCT_ID, nullptr)) {
            return device;
        }
    }
    return nullptr;
}

bool flash_update(const QString& path, const FlashProgress& progress)
{
    // An image the writer would misplace is refused before the wallet is
    // erased, so a bad file never leaves it without firmware.
    const ImageCheckResult verdict = check_hex_image(path);
    if (!verdict.valid) {
        qWarning().noquote() << "固件文件格式错误:" << verdict.message();
        return fail(QStringLiteral("固件文件格式错误"));
    }

    DeviceHandle device(open_bootloader());
    if (!device) {
        return fail(QStringLiteral("更新设备未找到"));
    }
    if (!send_authentication(device.get()) || erase_application(device.get()) != ReplyOutcome::Success) {
        return fail(QStringLiteral("更新失败"));
    }

    const QVector<SegmentInfo> segments = read_write_columns(path);
    const int records = total_records(segments);
    if (progress.setRange) {
        progress.setRange(0, 100);
    }
    int copied = 0;
    BlockWriterHooks hooks;
    hooks.recordCopied = [&]() {
        ++copied;
        if (progress.setValue && records > 0) {
            progress.setValue(static_cast<int>(100LL * copied / records));
        }
    };
    const BlockWriteResult written = write_image_blocks(device.get(), path, segments, hooks);
    if (written == BlockWriteResult::WriteFailed) {
        // The wallet is gone or refused a report: no CRC reply can come.
        return fail(QStringLiteral("更新失败"));
    }
    if (check_segment_crcs(device.get(), path, segments) != ReplyOutcome::Success) {
        qDebug() << "CRC check failed";
        return fail(QStringLiteral("更新失败"));
    }
    if (!hid_send_data(device.get(), CMD_FINISH, 0, nullptr)) {
        // The wallet never heard it is finished; it stays in its bootloader.
        return fail(QStringLiteral("更新失败"));
    }
    device.reset();
    show_notice(QStringLiteral("更新完成"));
    QFile::remove(path);
    return true;
}
