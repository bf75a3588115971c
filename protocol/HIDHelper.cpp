#include "protocol/HIDHelper.h"

#include "protocol/BlockWriter.h"
#include "protocol/Framing.h"

#include <QFile>

HIDHelper::HIDHelper(QObject* parent)
    : QObject(parent)
{
}

void HIDHelper::DownloadFlash(hid_device_* device, const QString& file)
{
    const QVector<SegmentInfo> segments = read_write_columns(file);
    QFile probe(file);
    if (!probe.open(QIODevice::ReadOnly)) {
        return;
    }
    probe.close();
    emit sig_OnSetRange(0, total_records(segments));
    BlockWriterHooks hooks;
    hooks.recordCopied = [this]() { emit sig_OnOffetPos(1); };
    write_image_blocks(device, file, segments, hooks);
}

bool HIDHelper::HidSend(hid_device_* device, unsigned char command, int length, const unsigned char* payload)
{
    return hid_send_data(device, command, length, payload);
}

bool HIDHelper::SendCrc(hid_device_* device, unsigned int address, unsigned int size, unsigned short crc)
{
    return send_crc_data(device, address, size, crc);
}
