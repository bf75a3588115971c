#pragma once

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

// Finds the wallet (the first entry that is in either mode), sends it
// CMD_GOTO_ROM and closes it. False, after telling the user "设备未找到",
// when none was found or it could not be opened.
bool goto_rom();
