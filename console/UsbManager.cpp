#include "console/UsbManager.h"

#include "image/FirmwareImage.h"
#include "protocol/HIDHelper.h"
#include "update/ManualDownload.h"

hid_device* sta_handle_ = nullptr;

QSharedPointer<UsbManager> UsbManager::GetInstance()
{
    static QSharedPointer<UsbManager> instance(new UsbManager);
    return instance;
}

UsbManager::UsbManager()
    : flash_writer_(new HIDHelper(nullptr))
    , hid_inited_(hid_init() == 0)
    , session_(hid_inited_, &sta_handle_)
{
}

UsbManager::~UsbManager()
{
    // Nothing of hidapi may outlive hid_exit.
    session_.Release();
    hid_exit();
    flash_writer_.reset();
}

bool UsbManager::GetDeviceList(QString& error, QList<QString>& list)
{
    return session_.GetDeviceList(error, list);
}

bool UsbManager::OpenDevice(const QString& path, QString& error)
{
    return session_.OpenDevice(path, error);
}

bool UsbManager::OpenDevice(QString& error)
{
    return session_.OpenDevice(error);
}

bool UsbManager::CloseDevice()
{
    return session_.CloseDevice();
}

void UsbManager::Send(const QString& path, const QString& file)
{
    run_manual_download(session_, flash_writer_.data(), path, FirmwareImage::fromFile(file), nullptr, &last_outcome_);
}
