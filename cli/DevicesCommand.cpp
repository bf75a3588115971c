#include "cli/DevicesCommand.h"

#include "cli/FlashTool.h"
#include "cli/WalletListing.h"
#include "protocol/DeviceAccess.h"
#include "protocol/Framing.h"
#include "protocol/HidGlobal.h"
#include "protocol/UpdateOutcome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTextStream>

int run_devices(bool json, QTextStream& out, QTextStream& err)
{
    QList<ListedInterface> entries;
    QString error;
    list_wallet_interfaces(entries, error);
    // Listed is not yet usable: without the udev rule the node is root's.
    QList<bool> denied;
    QString first_denied;
    for (const ListedInterface& entry : qAsConst(entries)) {
        hid_device* device = hid_open_at(entry.path.toUtf8().constData());
        denied << (device == nullptr && is_permission_error(device_error_text(nullptr)));
        if (denied.last() && first_denied.isEmpty()) {
            first_denied = entry.path;
        }
        hid_close(device);
    }
    if (json) {
        QJsonArray devices;
        for (const ListedInterface& entry : qAsConst(entries)) {
            devices.append(
                QJsonObject {{QStringLiteral("path"), entry.path},
                             {QStringLiteral("mode"), mode_name(entry.mode)},
                             {QStringLiteral("product"), entry.product},
                             {QStringLiteral("interface"), entry.interface_number},
                             {QStringLiteral("port"), entry.port.isEmpty() ? QJsonValue() : entry.port},
                             {QStringLiteral("serial"), entry.serial.isEmpty() ? QJsonValue() : entry.serial},
                             {QStringLiteral("no_permission"), denied.value(devices.size())}});
        }
        out << QJsonDocument(QJsonObject {{QStringLiteral("devices"), devices}}).toJson(QJsonDocument::Compact) << '\n';
    }
    if (entries.isEmpty()) {
        // An empty error text means the bus is empty; otherwise hidapi could not list.
        UpdateOutcome none = UpdateOutcome::failed(UpdateFailure::NoWallet);
        none.device_error = error;
        err << "tessaro-flash: " << none.reason() << '\n';
        return none.row().exit;
    }
    for (int i = 0; !json && i < entries.size(); ++i) {
        const ListedInterface& entry = entries[i];
        out << mode_name(entry.mode) << '\t' << entry.interface_number << '\t' << entry.product << '\t' << entry.path
            << '\t' << (entry.port.isEmpty() ? QStringLiteral("-") : entry.port) << '\t'
            << (entry.serial.isEmpty() ? QStringLiteral("-") : entry.serial) << (denied[i] ? "\tno permission" : "")
            << '\n';
    }
    if (!first_denied.isEmpty()) {
        out.flush();
        const UpdateOutcome denied_open = UpdateOutcome::failed(UpdateFailure::WalletNoPermission, first_denied);
        err << "tessaro-flash: " << denied_open.reason() << '\n';
        return denied_open.row().exit;
    }
    return EXIT_OK;
}

DevicesCommand::DevicesCommand()
    : Command({"devices",
               {},
               {CliOption::Json},
               "list the wallet's HID interfaces",
               "Lists the wallet's HID interfaces: mode, interface, product, path, USB port and serial\n"
               "(\"-\" where unknown), and \"no permission\" where this user may not open one (then the\n"
               "exit status is 6).",
               "devices --json"})
{
}

int DevicesCommand::run(const CommandCall& call) const
{
    return run_devices(call.isSet(CliOption::Json), call.out, call.err);
}
