#include "protocol/BootloaderEntry.h"

#include "app/UserNotice.h"
#include "protocol/Framing.h"

#include <QDebug>
#include <QString>

#include <cstring>
#include <cwchar>

bool path_lacks_interface_names(const char* path)
{
    // hidapi's IOService paths name every node "name@location"; the other
    // path forms have no '@' at all.
    return path == nullptr || std::strchr(path, '@') == nullptr;
}

WalletMode wallet_mode(const hid_device_info& entry)
{
    if (entry.path != nullptr && std::strstr(entry.path, APP_INTERFACE_TAG) != nullptr) {
        return WalletMode::Application;
    }
    if (entry.product_id == BOOTLOADER_PRODUCT_ID) {
        return WalletMode::Bootloader;
    }
    if (path_lacks_interface_names(entry.path) && entry.interface_number == 0 && entry.product_string != nullptr
        && QString::fromWCharArray(entry.product_string) == QLatin1String(APP_PRODUCT_STRING)) {
        return WalletMode::Application;
    }
    return WalletMode::Other;
}

bool goto_rom()
{
    hid_device_info* list = hid_enumerate(VENDOR_ID, 0);
    const hid_device_info* taken = nullptr;
    for (const hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
        if (wallet_mode(*entry) != WalletMode::Other) {
            taken = entry;
            break;
        }
    }
    if (taken == nullptr) {
        hid_free_enumeration(list);
        show_notice(QStringLiteral("设备未找到"));
        return false;
    }
    hid_device* device = hid_open_path(taken->path);
    hid_free_enumeration(list);
    if (device == nullptr) {
        show_notice(QStringLiteral("设备未找到"));
        qDebug() << "设备未找到 ";
        return false;
    }
    // The wallet restarts at once; whether it took the report shows when the
    // bootloader is looked for.
    hid_send_data(device, CMD_GOTO_ROM, 0, nullptr);
    hid_close(device);
    return true;
}
