#include "protocol/WalletIdentity.h"

#include "protocol/Commands.h"
#include "protocol/HidGlobal.h"
#include "protocol/HidPort.h"

#include <hidapi.h>

QString WalletIdentity::text() const
{
    const QString unknown = QStringLiteral("unknown");
    return QStringLiteral("port %1, serial %2")
        .arg(port.isEmpty() ? unknown : port, serial.isEmpty() ? unknown : serial);
}

WalletIdentity identify(const QString& path)
{
    WalletIdentity identity;
    identity.port = hid_port(path);
    hid_device_info* list = hid_list(VENDOR_ID, 0);
    for (const hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
        if (entry->path != nullptr && QString::fromUtf8(entry->path) == path) {
            if (entry->serial_number != nullptr) {
                identity.serial = QString::fromWCharArray(entry->serial_number).trimmed();
            }
            break;
        }
    }
    hid_free_enumeration(list);
    return identity;
}

bool same_wallet(const WalletIdentity& wanted, const WalletIdentity& candidate, bool* serial_differs)
{
    const bool serials = !wanted.serial.isEmpty() && !candidate.serial.isEmpty();
    if (!wanted.port.isEmpty() && !candidate.port.isEmpty()) {
        const bool same = wanted.port == candidate.port;
        if (serial_differs != nullptr) {
            *serial_differs = same && serials && wanted.serial != candidate.serial;
        }
        return same;
    }
    if (serials) {
        return wanted.serial == candidate.serial;
    }
    // A wallet known by its port or serial is never matched by a bootloader
    // that cannot show the same; one known by neither is told by the
    // new-since-the-restart rule alone.
    return !wanted.known();
}
