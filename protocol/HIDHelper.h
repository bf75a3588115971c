#pragma once

#include "protocol/UpdateObserver.h"

#include <QObject>
#include <QString>

#include <hidapi.h>

class FirmwareImage;

// The flash writer of the manual download: streams the data blocks of a HEX
// image to a device that already runs its bootloader.
class HIDHelper : public QObject
{
    Q_OBJECT

public:
    explicit HIDHelper(QObject* parent = nullptr);

    // Reads the file once and sends its data blocks; nothing at all (no
    // signal either) when it cannot be read or the image check refuses it.
    // Stops at the first failed write, so the CRC check that follows fails.
    void DownloadFlash(hid_device_* device, const QString& file);
    // The same for an image already read.
    void DownloadFlash(hid_device_* device, const FirmwareImage& image);

    bool HidSend(hid_device_* device, unsigned char command, int length, const unsigned char* payload);
    bool SendCrc(hid_device_* device, unsigned int address, unsigned int size, unsigned short crc);

signals:
    void sig_OnSetRange(int start, int end);
    void sig_OnDownloadFinished(bool successed);
    void sig_OnOffetPos(int value);
};

// The writer's progress signals as an update observer: the range once, then
// one step per record placed; everything else goes on to `next`.
class WriterSignals : public ObserverChain
{
public:
    explicit WriterSignals(HIDHelper* writer, UpdateObserver* next = nullptr)
        : ObserverChain(next)
        , writer_(writer)
    {
    }
    void dataStarted(int records, int reports) override;
    void recordPlaced() override;

private:
    HIDHelper* writer_;
};
