#pragma once

#include "protocol/BootloaderSearch.h"

#include <hidapi.h>

// How the bootloader entry sees one HID interface of the vendor.
enum class WalletMode { Other, Application, Bootloader };

// The path test comes first ("Korvex N1@0", as hidapi names interfaces on
// macOS), then the bootloader's product ID. Paths that carry no interface
// names (Linux's /dev/hidrawN, macOS's "DevSrvsID:" paths) fall back to the
// application's interface 0 by its number and product string.
WalletMode wallet_mode(const hid_device_info& entry);

// True for a path in which hidapi names no interfaces.
bool path_lacks_interface_names(const char* path);

struct EntryResult
{
    UpdateOutcome outcome;
    QString path; // the wallet that was sent CMD_GOTO_ROM
    // The bootloaders that were there before it; the wallet itself stays
    // eligible when it already ran its bootloader.
    BootloaderTarget target;
};

// Finds the wallet (`chosen`, or the first entry in either mode), takes its
// lock and notes the bootloaders already on the bus, sends it CMD_GOTO_ROM
// and closes it.
EntryResult enter_bootloader(const QString& chosen = QString());

// The same, telling the user "设备未找到" when no wallet was found, it could
// not be opened or another process is updating it; `entry` (when given)
// receives the result.
bool goto_rom(EntryResult* entry, const QString& chosen = QString());
bool goto_rom();
