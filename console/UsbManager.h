#pragma once

#include <QList>
#include <QSharedPointer>
#include <QString>

#include "protocol/DeviceSession.h"
#include "protocol/UpdateOutcome.h"

#include <hidapi.h>

class HIDHelper;

// The device last opened by path while it stays open, otherwise null.
extern hid_device* sta_handle_;

// Owns hidapi's state and the one device session of the advanced window's
// manual download; the session lists, opens and closes, the manager keeps it
// process-wide and runs the download on it.
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
    // What became of the last manual download; set before its
    // sig_OnDownloadFinished goes out, so the receivers can say why.
    const UpdateOutcome& LastOutcome() const { return last_outcome_; }

    QSharedPointer<HIDHelper> flash_writer_;

private:
    bool hid_inited_;
    DeviceSession session_;
    UpdateOutcome last_outcome_;
};
