#include "net/NetWait.h"

#include "net/ServerConfig.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QSslError>
#include <QStringList>
#include <QTimer>

namespace {

QString failure_of(QNetworkReply* reply, bool stalled, const QStringList& ssl_errors)
{
    const QString address = reply->url().toString();
    if (stalled)
        return QStringLiteral("%1: no progress for %2 s").arg(address).arg(network_stall_timeout_ms() / 1000.0);
    if (reply->error() == QNetworkReply::NoError)
        return QString();
    QString reason = QStringLiteral("%1: %2").arg(address, reply->errorString());
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        reason += QStringLiteral(" (HTTP %1)").arg(status.toInt());
    if (!ssl_errors.isEmpty())
        reason += QStringLiteral("; certificate: ") + ssl_errors.join(QStringLiteral("; "));
    return reason;
}

} // namespace

bool wait_for_reply(QNetworkReply* reply, QString* reason)
{
    QStringList ssl_errors;
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [&ssl_errors](const QList<QSslError>& errors) {
        for (const QSslError& error : errors)
            ssl_errors << error.errorString();
    });
    const auto finish = [&](bool stalled) {
        QObject::disconnect(reply, &QNetworkReply::sslErrors, reply, nullptr);
        if (reason != nullptr)
            *reason = failure_of(reply, stalled, ssl_errors);
        return !stalled;
    };
    if (reply->isFinished())
        return finish(false);
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
    return finish(stalled);
}
