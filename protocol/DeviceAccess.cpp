#include "protocol/DeviceAccess.h"

#include "protocol/Commands.h"
#include "protocol/DeviceSettings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <unistd.h>

namespace {

const char kRuleName[] = "70-tessaro-wallet.rules";

// The vendor as udev writes it: four lower-case hex digits.
QString vendor_hex()
{
    return QStringLiteral("%1").arg(VENDOR_ID, 4, 16, QLatin1Char('0'));
}

QString install_command()
{
    return QStringLiteral("Install the udev rule %1: sudo cp packaging/linux/%1 /etc/udev/rules.d/ && sudo udevadm "
                          "control --reload-rules && sudo udevadm trigger (the tessaro-updater package installs it), "
                          "then plug the wallet in again.")
        .arg(QLatin1String(kRuleName));
}

} // namespace

bool is_permission_error(const QString& device_error)
{
    return device_error.contains(QLatin1String("Permission denied"), Qt::CaseInsensitive);
}

QString permission_hint(const QString& path)
{
    return QStringLiteral("cannot open %1: permission denied. ").arg(path) + install_command();
}

bool udev_rule_installed()
{
    // A rule may name the vendor with either attribute form, in either case.
    static const QRegularExpression vendor(QStringLiteral("ATTRS?\\{idVendor\\}\\s*==\\s*\"%1\"").arg(vendor_hex()),
                                           QRegularExpression::CaseInsensitiveOption);
    for (const QString& folder : qAsConst(device_settings().udev_rule_dirs)) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("*.rules")}, QDir::Files | QDir::Readable)) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            while (!file.atEnd()) {
                const QString line = QString::fromUtf8(file.readLine(64 * 1024)).trimmed();
                if (!line.startsWith(QLatin1Char('#')) && line.contains(vendor)) {
                    return true;
                }
            }
        }
    }
    return false;
}

QString missing_udev_rule_warning()
{
#ifndef Q_OS_LINUX
    return QString(); // only udev hands nodes to users
#endif
    const bool root = device_settings().is_root ? device_settings().is_root() : ::geteuid() == 0;
    if (root || udev_rule_installed()) {
        return QString();
    }
    return QStringLiteral("warning: no udev rule for the wallet's vendor %1 is installed, so its bootloader may not "
                          "be reachable after the restart. ")
               .arg(vendor_hex())
        + install_command();
}
