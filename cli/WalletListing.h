#pragma once

#include "protocol/BootloaderEntry.h"

#include <QList>
#include <QString>

// One HID interface of the vendor as the manual device list shows it.
struct ListedInterface
{
    QString path;
    WalletMode mode = WalletMode::Other;
    QString product;
    int interface_number = -1;
};

// The manual device list (its filter), with each entry's details from the
// enumeration. False with `error` when hidapi could not list.
bool list_wallet_interfaces(QList<ListedInterface>& out, QString& error);

QString mode_name(WalletMode mode);

// How the bootloader entry sees the interface at `path`; with an empty path,
// the wallet it would take.
WalletMode listed_mode(const QString& path);
