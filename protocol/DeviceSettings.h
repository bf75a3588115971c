#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// How the program waits for wallets and what it assumes of the machine: what
// a front end or a test may set for the whole process. The product leaves it
// at its defaults.
struct DeviceSettings
{
    // Replaces the waits between bootloader searches; gets the milliseconds.
    std::function<void(unsigned int)> wait;
    // Where udev looks for the rules that let a user open the wallet's nodes.
    QStringList udev_rule_dirs {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/run/udev/rules.d"),
                                QStringLiteral("/usr/lib/udev/rules.d"), QStringLiteral("/lib/udev/rules.d")};
    // Where the wallets' lock files go; empty means the folder every local
    // user shares (/run/lock, on macOS /tmp), or none where the bus is the
    // process's own.
    QString lock_dir;
    // A station counts a wallet as unplugged once its port has stayed empty
    // this long: longer than the wallet takes to restart after its update.
    int unplugged_after_ms = 5000;
    // Whether the program runs as root, who needs no rule; null asks the system.
    std::function<bool()> is_root;
};

DeviceSettings& device_settings();
