#include "protocol/DeviceSession.h"

#include "log/MyLog.h"
#include "protocol/BootloaderEntry.h"
#include "protocol/Commands.h"
#include "protocol/DeviceAccess.h"
#include "protocol/Framing.h"
#include "protocol/HidGlobal.h"

#include <QDebug>

namespace {

// The application-mode wallet's interface 1: named "Smart@1" in macOS paths,
// known only by its number where paths carry no interface names.
bool left_out(const hid_device_info& entry, const QString& path)
{
    if (path.contains(QLatin1String(EXCLUDED_INTERFACE_TAG))) {
        return true;
    }
    return path_lacks_interface_names(entry.path) && entry.product_id != BOOTLOADER_PRODUCT_ID
        && entry.interface_number == 1;
}

} // namespace

DeviceSession::DeviceSession(bool hid_inited, hid_device** opened_by_path)
    : hid_inited_(hid_inited)
    , opened_by_path_(opened_by_path)
{
}

DeviceSession::~DeviceSession()
{
    Release();
}

void DeviceSession::Release()
{
    CloseHeld();
    if (dev_list_ != nullptr) {
        hid_free_enumeration(dev_list_);
        dev_list_ = nullptr;
    }
}

void DeviceSession::CloseHeld()
{
    if (dev_handle_ != nullptr && dev_opened_) {
        hid_close(dev_handle_);
        if (opened_by_path_ != nullptr && *opened_by_path_ == dev_handle_) {
            *opened_by_path_ = nullptr;
        }
        dev_handle_ = nullptr;
    }
    dev_opened_ = false;
}

bool DeviceSession::GetDeviceList(QString& error, QList<QString>& list)
{
    if (!hid_inited_) {
        error = QStringLiteral("hid is not inited");
        return false;
    }
    if (dev_list_ != nullptr) {
        hid_free_enumeration(dev_list_);
        dev_list_ = nullptr;
    }
    dev_list_ = hid_list(VENDOR_ID, 0);
    for (hid_device_info* entry = dev_list_; entry != nullptr; entry = entry->next) {
        const QString path = QString::fromUtf8(entry->path);
        if (!left_out(*entry, path)) {
            list.append(path);
        }
    }
    MyLog::GetInstance()->WriteLog(QStringLiteral("搜索到的设备数：%1").arg(list.size()));
    return !list.isEmpty();
}

bool DeviceSession::OpenDevice(const QString& path, QString& error)
{
    CloseHeld();
    const QByteArray bytes = path.toUtf8();
    dev_handle_ = hid_open_at(bytes.constData());
    MyLog::GetInstance()->WriteLog(QStringLiteral("打开设备结果：") + QString::fromUtf8(bytes));
    if (dev_handle_ != nullptr) {
        if (opened_by_path_ != nullptr) {
            *opened_by_path_ = dev_handle_;
        }
        dev_opened_ = true;
        return true;
    }
    dev_opened_ = false;
    error = QStringLiteral("未找到设备");
    if (is_permission_error(device_error_text(nullptr))) {
        qDebug().noquote() << permission_hint(path);
    }
    return false;
}

bool DeviceSession::OpenDevice(QString& error)
{
    CloseHeld();
    dev_handle_ = hid_open_first(VENDOR_ID, 0);
    if (dev_handle_ != nullptr) {
        dev_opened_ = true;
        return true;
    }
    dev_opened_ = false;
    error = QStringLiteral("未找到设备");
    return false;
}

bool DeviceSession::CloseDevice()
{
    CloseHeld();
    return true;
}
