#pragma once

#include <QList>
#include <QSharedPointer>
#include <QString>

#include "protocol/UpdateOutcome.h"

#include <hidapi.h>

class FirmwareImage;
class UpdateObserver;
class HIDHelper;

// The device last opened by path while it stays open, otherwise null.
extern hid_device* sta_handle_;

// Owns hidapi's state and the one device handle of the manual download.
class UsbManager
{
public:
    static QSharedPointer<UsbManager> GetInstance();

    UsbManager();
    ~UsbManager();
    UsbManager(const UsbManager&) = delete;
    UsbManager& operator=(const UsbManager&) = delete;

    bool GetDeviceList(QString& error, QList<QString>& list);
    bool OpenDevice(const QString& path, QString& error);
    bool OpenDevice(QString& error);
    bool CloseDevice();

    // The manual download of a HEX file; the outcome goes out through
    // flash_writer_'s sig_OnDownloadFinished, once per call.
    void Send(const QString& path, const QString& file);
    // The same for an image already read, returning what became of it.
    // `watcher`, when given, hears every step and the reports sent too.
    UpdateOutcome Download(const QString& path, const FirmwareImage& image, UpdateObserver* watcher = nullptr);
    // What became of the last manual download; set before its
    // sig_OnDownloadFinished goes out, so the receivers can say why.
    const UpdateOutcome& LastOutcome() const { return last_outcome_; }

    QSharedPointer<HIDHelper> flash_writer_;

private:
    void CloseHeld();

    bool hid_inited_ = false;
    bool dev_opened_ = false;
    hid_device_info* dev_list_ = nullptr;
    hid_device* dev_handle_ = nullptr;
    UpdateOutcome last_outcome_;
};
