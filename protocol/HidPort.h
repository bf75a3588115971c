#pragma once

#include <QString>

// The USB port a HID interface hangs off: the chain of hub ports it is plugged
// into, which stays the same when a wallet restarts into its bootloader under
// another product ID. On Linux the USB device's name in sysfs ("1-2.3"), on
// macOS its location ID ("0x14100000"). Empty when it cannot be told.
//
// Declared here, defined by the hidapi backend an executable links: the native
// readers in protocol/port/ beside the real hidapi, the simulated bus beside
// its wallets.
QString hid_port(const QString& path);

// True where the wallets are this process's own (the simulated bus): no other
// process can reach them, so their locks need no shared files.
bool hid_bus_is_private();
