#include "protocol/HIDHelper.h"

#include "image/FirmwareImage.h"
#include "protocol/BlockWriter.h"
#include "protocol/Framing.h"

void WriterSignals::dataStarted(int records, int reports)
{
    emit writer_->sig_OnSetRange(0, records);
    ObserverChain::dataStarted(records, reports);
}

void WriterSignals::recordPlaced()
{
    emit writer_->sig_OnOffetPos(1);
    ObserverChain::recordPlaced();
}

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
