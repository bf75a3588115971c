#include "protocol/BootloaderEntry.h"

#include "protocol/DeviceAccess.h"
#include "protocol/Framing.h"
#include "protocol/HidGlobal.h"

#include <QDebug>
#include <QString>

#include <cstring>

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

EntryResult enter_bootloader(const QString& chosen)
{
    EntryResult result;
    result.path = chosen;
    hid_device_info* list = hid_list(VENDOR_ID, 0);
    for (const hid_device_info* entry = list; entry != nullptr && result.path.isEmpty(); entry = entry->next) {
        if (wallet_mode(*entry) != WalletMode::Other) {
            result.path = QString::fromUtf8(entry->path);
        }
    }
    hid_free_enumeration(list);
    if (result.path.isEmpty()) {
        result.outcome = UpdateOutcome::failed(UpdateFailure::NoWallet);
        return result;
    }
    hid_device* device = hid_open_at(result.path.toUtf8().constData());
    if (device == nullptr) {
        result.outcome = UpdateOutcome::unopenable(result.path, device_error_text(nullptr));
        if (result.outcome.failure == UpdateFailure::WalletNoPermission) {
            qDebug().noquote() << permission_hint(result.path);
        }
        return result;
    }
    result.outcome = prepare_restart(result.path, &result.target);
    if (!result.outcome.ok()) {
        hid_close(device);
        return result;
    }
    // The wallet restarts at once; whether it took the report shows when the
    // bootloader is looked for.
    if (!hid_send_data(device, CMD_GOTO_ROM, 0, nullptr)) {
        result.outcome = UpdateOutcome::failed(UpdateFailure::EntryNotSent, result.path);
        result.outcome.device_error = device_error_text(device);
    }
    hid_close(device);
    return result;
}

bool goto_rom()
{
    return goto_rom(nullptr);
}

bool goto_rom(EntryResult* result, const QString& chosen)
{
    const EntryResult entry = enter_bootloader(chosen);
    if (result != nullptr) {
        *result = entry;
    }
    // Failing before the restart ends the update here.
    if (!entry.outcome.ok() && !entry.outcome.row().touched) {
        show_auto_box(entry.outcome.failure, entry.outcome.facts());
        if (!entry.outcome.detail.isEmpty()) {
            qDebug() << "设备未找到 ";
        }
        return false;
    }
    // A write the wallet did not take shows as a missing bootloader, as it
    // always has.
    return true;
}
