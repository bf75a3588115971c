#include "net/NetWait.h"

#include "net/ServerConfig.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QTimer>

bool wait_for_reply(QNetworkReply* reply)
{
    if (reply->isFinished())
        return true;
    QEventLoop loop;
    QTimer stall;
    stall.setSingleShot(true);
    bool stalled = false;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, &stall, [&stall] { stall.start(); });
    QObject::connect(reply, &QNetworkReply::uploadProgress, &stall, [&stall] { stall.start(); });
    QObject::connect(&stall, &QTimer::timeout, &loop, [&] {
        stalled = true;
        loop.quit();
    });
    stall.start(network_stall_timeout_ms());
    loop.exec();
    if (!reply->isFinished()) {
        // Aborting emits finished(); nobody waits on it any more.
        reply->abort();
    }
    return !stalled;
}
