#include "protocol/HidPort.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

// hidapi's macOS paths are IORegistry paths ("IOService:/..."); the USB device
// above the HID interface carries the locationID, one hex digit a hub port.
bool hid_bus_is_private()
{
    return false;
}

QString hid_port(const QString& path)
{
    const QByteArray bytes = path.toUtf8();
    io_registry_entry_t entry = IORegistryEntryFromPath(MACH_PORT_NULL, bytes.constData());
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
