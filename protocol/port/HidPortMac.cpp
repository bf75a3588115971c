#include "protocol/HidPort.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

namespace {

// hidapi's macOS paths name the HID service either by its registry path
// ("IOService:/...") or, from hidapi 0.12 on, by its registry entry ID
// ("DevSrvsID:4294971234").
io_registry_entry_t entry_of(const QString& path)
{
    static const QLatin1String id_prefix("DevSrvsID:");
    if (path.startsWith(id_prefix)) {
        bool ok = false;
        const quint64 id = path.mid(id_prefix.size()).toULongLong(&ok);
        // IOServiceGetMatchingService takes over the matching dictionary.
        return ok ? IOServiceGetMatchingService(MACH_PORT_NULL, IORegistryEntryIDMatching(id)) : MACH_PORT_NULL;
    }
    const QByteArray bytes = path.toUtf8();
    return IORegistryEntryFromPath(MACH_PORT_NULL, bytes.constData());
}

} // namespace

bool hid_bus_is_private()
{
    return false;
}

// The USB device above the HID interface carries the locationID, one hex digit
// a hub port, which stays when the wallet restarts into its bootloader.
QString hid_port(const QString& path)
{
    const io_registry_entry_t entry = entry_of(path);
    if (entry == MACH_PORT_NULL) {
        return QString();
    }
    QString port;
    CFTypeRef location
        = IORegistryEntrySearchCFProperty(entry, kIOServicePlane, CFSTR("locationID"), kCFAllocatorDefault,
                                          kIORegistryIterateRecursively | kIORegistryIterateParents);
    if (location != nullptr) {
        SInt32 value = 0;
        if (CFGetTypeID(location) == CFNumberGetTypeID()
            && CFNumberGetValue(static_cast<CFNumberRef>(location), kCFNumberSInt32Type, &value)) {
            port = QStringLiteral("0x%1").arg(quint32(value), 8, 16, QLatin1Char('0'));
        }
        CFRelease(location);
    }
    IOObjectRelease(entry);
    return port;
}
