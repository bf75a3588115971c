#include "protocol/FlashUpdate.h"

#include "app/UserNotice.h"
#include "image/HexReader.h"
#include "image/ImageCheck.h"
#include "protocol/Authentication.h"
#include "protocol/BlockWriter.h"
#include "protocol/Framing.h"
#include "protocol/Wait.h"

#include <QDebug>
#include <QFile>

#include <cstring>
#include <memory>

namespace {

constexpr int kSearchAttempts = 5;
constexpr unsigned int kSearchWaitMs = 4000;

// Closes the bootloader handle on every way out.
struct DeviceCloser
{
    void operator()(hid_device* device) const { hid_close(device); }
};
using DeviceHandle = std::unique_ptr<hid_device, DeviceCloser>;

bool erase(hid_device* device)
{
    // Whatever the wallet queued before (a stray report) must not be taken
    // for the erase's answer.
    drop_pending_input(device);
    unsigned char payload[ERASE_PAYLOAD_SIZE];
    build_erase_payload(payload);
    if (!hid_send_data(device, CMD_ERASE, ERASE_PAYLOAD_SIZE, payload)) {
        return false;
    }
    return read_reply(device) == ReplyOutcome::Success;
}

bool check_segments(hid_device* device, const QString& path, const QVector<SegmentInfo>& segments)
{
    std::unique_ptr<unsigned short[]> crcs(Get_CRCValueS(path));
    if (!segments.isEmpty() && !crcs) {
        return false;
    }
    for (int i = 0; i < segments.size(); ++i) {
        const unsigned int address = segments[i].base + (i == 0 ? FIRST_SEGMENT_CRC_OFFSET : 0);
        if (!send_crc_data(device, address, segments[i].size, crcs[i])) {
            return false;
        }
        if (read_reply(device) != ReplyOutcome::Success) {
            qDebug() << "CRC check failed for segment" << i;
            return false;
        }
    }
    return true;
}

bool fail(const QString& text)
{
    show_notice(text);
    return false;
}

} // namespace

hid_device* open_bootloader()
{
    for (int attempt = 0; attempt < kSearchAttempts; ++attempt) {
        hid_device_info* list = hid_enumerate(VENDOR_ID, BOOTLOADER_PRODUCT_ID);
        if (list == nullptr) {
            msleep(kSearchWaitMs);
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
    if (!send_authentication(device.get()) || !erase(device.get())) {
        return fail(QStringLiteral("更新失败"));
    }

    const QVector<SegmentInfo> segments = read_write_columns(path);
    int records = 0;
    for (const SegmentInfo& segment : segments) {
        records += segment.lines;
    }
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
    if (!check_segments(device.get(), path, segments)) {
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
