#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class NoticeSink;

// Everything a front end or a test may set for the whole process, in one place:
// the product leaves it all at its defaults.
struct RuntimeSettings
{
    // Replaces the waits between bootloader searches; gets the milliseconds.
    std::function<void(unsigned int)> wait;
    // Where notices go; null means stderr lines.
    NoticeSink* notices = nullptr;
    // The firmware server's base address; empty means the built-in host.
    QString server_base;
    // PEM certificates trusted for the firmware server besides the system's.
    QList<QByteArray> extra_ca_pem;
    // A request or download that makes no progress for this long fails.
    int stall_timeout_ms = 30000;
    // While a reply is awaited: told the bytes it has brought so far, and told
    // once the server has sent nothing for `silence_notice_ms`, so a window
    // can say so long before the request fails.
    std::function<void(qint64)> network_received;
    std::function<void()> network_silent;
    int silence_notice_ms = 5000;
    // The release answer: at most this large, this long in all.
    qint64 answer_max_bytes = 64 * 1024;
    int answer_deadline_ms = 2 * 60 * 1000;
    // The firmware body: at most this large (a full image is under 3 MB of
    // text), this long in all.
    qint64 body_max_bytes = 16 * 1024 * 1024;
    int body_deadline_ms = 10 * 60 * 1000;
    // First choice for the firmware files; empty means the application's folder.
    QString firmware_dir;
    // Where udev looks for the rules that let a user open the wallet's nodes.
    QStringList udev_rule_dirs {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/run/udev/rules.d"),
                                QStringLiteral("/usr/lib/udev/rules.d"), QStringLiteral("/lib/udev/rules.d")};
    // Where the wallets' lock files go; empty means the folder every local
    // user shares (/run/lock, on macOS /tmp), or none where the bus is the
    // process's own.
    QString lock_dir;
    // Whether the program runs as root, who needs no rule; null asks the system.
    std::function<bool()> is_root;
};

RuntimeSettings& settings();

// Restores the settings as they were when it was made, whatever was changed
// meanwhile: tests change what they need and forget nothing.
class ScopedSettings
{
public:
    ScopedSettings();
    ~ScopedSettings();
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

private:
    RuntimeSettings saved_;
};
