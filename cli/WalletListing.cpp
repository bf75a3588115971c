#include "cli/WalletListing.h"

#include "protocol/Commands.h"
#include "protocol/DeviceSession.h"
#include "protocol/Framing.h"
#include "protocol/HidGlobal.h"
#include "protocol/HidPort.h"

namespace {

// The entry of `list` for `path`; with an empty path, the first of the wallet's.
const hid_device_info* entry_for(const hid_device_info* list, const QString& path)
{
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        if (path.isEmpty() ? wallet_mode(*info) != WalletMode::Other
                           : info->path != nullptr && QString::fromUtf8(info->path) == path) {
            return info;
        }
    }
    return nullptr;
}

} // namespace

ListedInterface listed_interface(const hid_device_info& info)
{
    ListedInterface entry;
    entry.path = info.path != nullptr ? QString::fromUtf8(info.path) : QString();
    entry.mode = wallet_mode(info);
    entry.product = info.product_string != nullptr ? QString::fromWCharArray(info.product_string) : QString();
    entry.interface_number = info.interface_number;
    entry.serial = info.serial_number != nullptr ? QString::fromWCharArray(info.serial_number).trimmed() : QString();
    entry.port = entry.path.isEmpty() ? QString() : hid_port(entry.path);
    return entry;
}

bool list_wallet_interfaces(QList<ListedInterface>& out, QString& error)
{
    QList<QString> paths;
    // The advanced window's listing, with its run-log line, on a session of its own.
    DeviceSession session(hid_init() == 0);
    if (!session.GetDeviceList(error, paths)) {
        return false;
    }
    hid_device_info* list = hid_list(VENDOR_ID, 0);
    for (const QString& path : qAsConst(paths)) {
        const hid_device_info* info = entry_for(list, path);
        ListedInterface entry = info != nullptr ? listed_interface(*info) : ListedInterface();
        if (info == nullptr) {
            // Gone between the listing and now: its path and port only.
            entry.path = path;
            entry.port = hid_port(path);
        }
        out.append(entry);
    }
    hid_free_enumeration(list);
    return true;
}

WalletMode listed_mode(const QString& path)
{
    hid_device_info* list = hid_list(VENDOR_ID, 0);
    const hid_device_info* info = entry_for(list, path);
    const WalletMode mode = info != nullptr ? wallet_mode(*info) : WalletMode::Other;
    hid_free_enumeration(list);
    return mode;
}

QString chosen_wallet(const QString& device, const QString& port, UpdateOutcome& why)
{
    if (!device.isEmpty()) {
        return device;
    }
    QList<ListedInterface> entries;
    QString error;
    list_wallet_interfaces(entries, error);
    QList<ListedInterface> wallets;
    for (const ListedInterface& entry : qAsConst(entries)) {
        if (entry.mode != WalletMode::Other && (port.isEmpty() || entry.port == port)) {
            wallets << entry;
        }
    }
    if (wallets.size() == 1) {
        return wallets.first().path;
    }
    if (!error.isEmpty() || (wallets.isEmpty() && port.isEmpty())) {
        why = UpdateOutcome::failed(UpdateFailure::NoWallet);
        why.device_error = error;
    } else if (wallets.isEmpty()) {
        why = UpdateOutcome::failed(UpdateFailure::NoWalletOnPort, port);
    } else {
        QStringList listed;
        for (const ListedInterface& wallet : qAsConst(wallets)) {
            listed << mode_name(wallet.mode) + QLatin1Char(' ') + wallet.path
                    + (wallet.port.isEmpty() ? QString() : QStringLiteral(" on port ") + wallet.port);
        }
        why = UpdateOutcome::failed(UpdateFailure::SeveralWallets, listed.join("; "));
    }
    return QString();
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

UpdateOutcome open_wallet(DeviceSession& session, const QString& path)
{
    QString error;
    if (session.OpenDevice(path, error)) {
        return UpdateOutcome();
    }
    const QString reason = device_error_text(nullptr);
    return UpdateOutcome::unopenable(path, reason.isEmpty() ? error : reason);
}
