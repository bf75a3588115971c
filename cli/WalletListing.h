#pragma once

#include "protocol/BootloaderEntry.h"
#include "protocol/UpdateOutcome.h"

#include <QList>
#include <QString>

#include <hidapi.h>

// One HID interface of the vendor as the manual device list shows it.
struct ListedInterface
{
    QString path;
    WalletMode mode = WalletMode::Other;
    QString product;
    int interface_number = -1;
    QString port; // empty where it cannot be told
    QString serial;
};

// One interface of an enumeration: its path, mode, product, interface, serial
// and the port it hangs off.
ListedInterface listed_interface(const hid_device_info& info);

// The manual device list (its filter), with each entry's details from the
// enumeration. False with `error` when hidapi could not list.
bool list_wallet_interfaces(QList<ListedInterface>& out, QString& error);

QString mode_name(WalletMode mode);

class DeviceSession;
// Opens the wallet at `path` in `session`: no failure, or why it cannot be
// opened in hidapi's words (for lack of permission, or otherwise).
UpdateOutcome open_wallet(DeviceSession& session, const QString& path);

// The wallet a command writes, in its application or its bootloader: the one
// at `device`, the one on `port`, or with neither the only one attached. An
// empty path, with the failure in `why`, when there is none to take.
QString chosen_wallet(const QString& device, const QString& port, UpdateOutcome& why);

// How the bootloader entry sees the interface at `path`; with an empty path,
// the wallet it would take.
WalletMode listed_mode(const QString& path);
