#include "net/NetWait.h"

#include "log/StopRequest.h"
#include "net/NetSettings.h"
#include "net/ServerConfig.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QSslError>
#include <QStringList>
#include <QTimer>

namespace {

QString failure_of(QNetworkReply* reply, const QStringList& ssl_errors)
{
    const QString address = reply->url().toString();
    if (reply->error() == QNetworkReply::NoError) {
        return QString();
    }
    QString reason = QStringLiteral("%1: %2").arg(address, reply->errorString());
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        reason += QStringLiteral(" (HTTP %1)").arg(status.toInt());
    }
    if (!ssl_errors.isEmpty()) {
        reason += QStringLiteral("; certificate: ") + ssl_errors.join(QStringLiteral("; "));
    }
    return reason;
}

ReplyFailure kind_of(QNetworkReply* reply, const QStringList& ssl_errors)
{
    if (reply->error() == QNetworkReply::NoError) {
        return ReplyFailure::None;
    }
    if (!ssl_errors.isEmpty() || reply->error() == QNetworkReply::SslHandshakeFailedError) {
        return ReplyFailure::TlsRefused;
    }
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        return ReplyFailure::HttpStatus;
    }
    return ReplyFailure::NoAnswer;
}

} // namespace

bool wait_for_reply(QNetworkReply* reply, QString* reason, const ReplyBounds& bounds, ReplyFailure* kind)
{
    QStringList ssl_errors;
    QString broken; // the bound the reply broke, if it broke one
    bool oversized = false;
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [&ssl_errors](const QList<QSslError>& errors) {
        for (const QSslError& error : errors) {
            ssl_errors << error.errorString();
        }
    });
    const auto finish = [&]() {
        QObject::disconnect(reply, &QNetworkReply::sslErrors, reply, nullptr);
        if (reason != nullptr) {
            *reason = broken.isEmpty() ? failure_of(reply, ssl_errors)
                                       : QStringLiteral("%1: %2").arg(reply->url().toString(), broken);
        }
        if (kind != nullptr) {
            *kind = oversized      ? ReplyFailure::Oversized
                : broken.isEmpty() ? kind_of(reply, ssl_errors)
                                   : ReplyFailure::NoAnswer;
        }
        return broken.isEmpty();
    };
    if (reply->isFinished()) {
        return finish();
    }
    QEventLoop loop;
    QTimer stall;
    QTimer deadline;
    QTimer silence; // since the server last sent something
    silence.setSingleShot(true);
    QObject::connect(&silence, &QTimer::timeout, &loop, [] {
        if (net_settings().network_silent) {
            net_settings().network_silent();
        }
    });
    stall.setSingleShot(true);
    deadline.setSingleShot(true);
    const auto stop = [&](const QString& why) {
        if (broken.isEmpty()) {
            broken = why;
        }
        loop.quit();
    };
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // Counted as the data arrives: downloadProgress comes at most every
    // 100 ms, in which a fast server sends megabytes past the bound.
    qint64 taken = 0;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        stall.start();
        silence.start();
        if (!broken.isEmpty()) {
            return;
        }
        if (bounds.take) {
            const qint64 before = reply->bytesAvailable();
            bounds.take(reply);
            taken += before - reply->bytesAvailable();
        }
        if (bounds.max_bytes > 0 && taken + reply->bytesAvailable() > bounds.max_bytes) {
            oversized = broken.isEmpty();
            stop(QStringLiteral("more than %1 bytes").arg(bounds.max_bytes));
        }
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, &stall, [&stall, &silence](qint64 received) {
        stall.start();
        silence.start();
        if (net_settings().network_received) {
            net_settings().network_received(received);
        }
    });
    QObject::connect(reply, &QNetworkReply::uploadProgress, &stall, [&stall] { stall.start(); });
    QObject::connect(&stall, &QTimer::timeout, &loop,
                     [&] { stop(QStringLiteral("no progress for %1 s").arg(network_stall_timeout_ms() / 1000.0)); });
    QObject::connect(&deadline, &QTimer::timeout, &loop,
                     [&] { stop(QStringLiteral("not finished within %1 s").arg(bounds.deadline_ms / 1000.0)); });
    // Nothing was sent to a wallet while the network is waited for: any stop
    // ends the wait at once.
    if (stop_requested(StopLevel::NoNewWallets)) {
        stop(QStringLiteral("interrupted"));
    }
    QObject::connect(StopNotifier::instance(), &StopNotifier::requested, &loop,
                     [&] { stop(QStringLiteral("interrupted")); });
    stall.start(network_stall_timeout_ms());
    silence.start(net_settings().silence_notice_ms);
    if (bounds.deadline_ms > 0) {
        deadline.start(bounds.deadline_ms);
    }
    if (broken.isEmpty()) {
        loop.exec();
    }
    // Past a bound nothing more is read: the transfer is aborted at once.
    if (!reply->isFinished() || !broken.isEmpty()) {
        reply->abort();
    }
    return finish();
}
