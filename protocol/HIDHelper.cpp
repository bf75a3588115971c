#include "protocol/HIDHelper.h"

#include "image/FirmwareImage.h"
#include "protocol/BlockWriter.h"
#include "protocol/Framing.h"
#include "protocol/UpdateObserver.h"

namespace {

// The writer's signals: the range once, then one step per record placed.
class WriterSignals : public UpdateObserver
{
public:
    explicit WriterSignals(HIDHelper* writer)
        : writer_(writer)
    {
    }
    void dataStarted(int records, int) override { emit writer_->sig_OnSetRange(0, records); }
    void recordPlaced() override { emit writer_->sig_OnOffetPos(1); }

private:
    HIDHelper* writer_;
};

} // namespace

HIDHelper::HIDHelper(QObject* parent)
    : QObject(parent)
{
}

void HIDHelper::DownloadFlash(hid_device_* device, const QString& file)
{
    DownloadFlash(device, FirmwareImage::fromFile(file));
}

void HIDHelper::DownloadFlash(hid_device_* device, const FirmwareImage& image)
{
    if (!image.accepted()) {
        return;
    }
    WriterSignals observer(this);
    observer.dataStarted(image.totalRecords(), 0);
    int reports = 0;
    write_image_blocks(device, image, observer, &reports);
}

bool HIDHelper::HidSend(hid_device_* device, unsigned char command, int length, const unsigned char* payload)
{
    return hid_send_data(device, command, length, payload);
}

bool HIDHelper::SendCrc(hid_device_* device, unsigned int address, unsigned int size, unsigned short crc)
{
    return send_crc_data(device, address, size, crc);
}
