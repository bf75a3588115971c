#include "cli/WalletListing.h"

#include "console/UsbManager.h"
#include "protocol/Commands.h"

bool list_wallet_interfaces(QList<ListedInterface>& out, QString& error)
{
    QList<QString> paths;
    if (!UsbManager::GetInstance()->GetDeviceList(error, paths)) {
        return false;
    }
    hid_device_info* list = hid_enumerate(VENDOR_ID, 0);
    for (const QString& path : qAsConst(paths)) {
        ListedInterface entry;
        entry.path = path;
        for (const hid_device_info* info = list; info != nullptr; info = info->next) {
            if (info->path != nullptr && QString::fromUtf8(info->path) == path) {
                entry.mode = wallet_mode(*info);
                entry.product
                    = info->product_string != nullptr ? QString::fromWCharArray(info->product_string) : QString();
                entry.interface_number = info->interface_number;
                break;
            }
        }
        out.append(entry);
    }
    hid_free_enumeration(list);
    return true;
}

WalletMode listed_mode(const QString& path)
{
    WalletMode mode = WalletMode::Other;
    hid_device_info* list = hid_enumerate(VENDOR_ID, 0);
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        const WalletMode found = wallet_mode(*info);
        if (path.isEmpty() ? found != WalletMode::Other
                           : info->path != nullptr && QString::fromUtf8(info->path) == path) {
            mode = found;
            break;
        }
    }
    hid_free_enumeration(list);
    return mode;
}

QString mode_name(WalletMode mode)
{
    switch (mode) {
    case WalletMode::Application:
        return QStringLiteral("application");
    case WalletMode::Bootloader:
        return QStringLiteral("bootloader");
    case WalletMode::Other:
        break;
    }
    return QStringLiteral("other");
}
