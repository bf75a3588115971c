#pragma once

#include "protocol/BootloaderEntry.h"

#include <QHash>
#include <QString>

// What the enumeration tells of one HID interface of the vendor beyond its
// path: the mode the wallet runs in and the interface's number.
struct InterfaceDetails
{
    WalletMode mode = WalletMode::Other;
    int interface_number = -1;
};

// The vendor's interfaces as hidapi enumerates them now, by path. Empty when
// hidapi lists nothing.
QHash<QString, InterfaceDetails> interface_details();
