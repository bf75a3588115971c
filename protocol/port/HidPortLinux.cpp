#include "protocol/HidPort.h"

#include <QDir>
#include <QFileInfo>

// /dev/hidrawN's device in sysfs is the HID device under the USB interface
// under the USB device; the USB device's directory is named after its port
// ("1-2.3"), and is the first one up the chain with an idVendor attribute.
bool hid_bus_is_private()
{
    return false;
}

QString hid_port(const QString& path)
{
    const QString node = QFileInfo(path).fileName();
    if (!node.startsWith(QLatin1String("hidraw"))) {
        return QString();
    }
    QString dir = QFileInfo(QStringLiteral("/sys/class/hidraw/%1/device").arg(node)).canonicalFilePath();
    while (!dir.isEmpty() && dir != QLatin1String("/sys") && dir != QLatin1String("/")) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor"))) {
            return QFileInfo(dir).fileName();
        }
        dir = QFileInfo(dir).path();
    }
    return QString();
}
