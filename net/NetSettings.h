#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The firmware server, whom to trust and how long to wait: what a front end
// or a test may set for the whole process. The product leaves it at its
// defaults.
struct NetSettings
{
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
};

NetSettings& net_settings();
