#pragma once

#include <QList>
#include <QString>

#include <hidapi.h>

// One open wallet handle and the listing it was picked from: the device part
// of the manual download, without a window or a singleton, so the advanced
// window's manager and each command-line run hold one of their own. Every
// listing and every open by path writes its run-log line. hidapi's own state
// (hid_init, hid_exit) belongs to whoever creates the session.
class DeviceSession
{
public:
    // `hid_inited`: hid_init succeeded; without it listing fails. `opened_by_path`,
    // when given, follows the handle last opened by path while it stays open.
    explicit DeviceSession(bool hid_inited, hid_device** opened_by_path = nullptr);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    bool GetDeviceList(QString& error, QList<QString>& list);
    bool OpenDevice(const QString& path, QString& error);
    bool OpenDevice(QString& error);
    bool CloseDevice();
    // Closes the handle and frees the listing; before hid_exit nothing may be left.
    void Release();

    // The open device, or null.
    hid_device* handle() const { return dev_opened_ ? dev_handle_ : nullptr; }

private:
    void CloseHeld();

    bool hid_inited_;
    hid_device** opened_by_path_;
    bool dev_opened_ = false;
    hid_device_info* dev_list_ = nullptr;
    hid_device* dev_handle_ = nullptr;
};
