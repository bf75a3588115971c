#pragma once

#include <QString>

// What tells one wallet from another across its restart into the bootloader:
// the USB port it is plugged into and, where hidapi reports one, its serial
// number. Either may be empty where it cannot be known.
struct WalletIdentity
{
    QString port;
    QString serial;

    bool known() const { return !port.isEmpty() || !serial.isEmpty(); }
    // "port 1-2, serial TS0000001", for debug lines and reasons.
    QString text() const;
};

// The identity of the HID interface at `path`, as the bus shows it now.
WalletIdentity identify(const QString& path);

// Whether `candidate` is the wallet `wanted`: where both ports are known the
// port decides, otherwise the serial where both are known; with neither,
// nothing tells them apart and it counts as the same. `serial_differs` is set
// when the ports agree and both serials are known and differ.
bool same_wallet(const WalletIdentity& wanted, const WalletIdentity& candidate, bool* serial_differs = nullptr);
