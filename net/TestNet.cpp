#include "net/TestNet.h"

#include "log/Settings.h"
#include "net/NetWait.h"
#include "net/ServerConfig.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

// The release query's failure for each kind the reply met.
UpdateFailure release_failure(ReplyFailure kind)
{
    switch (kind) {
    case ReplyFailure::None:
        return UpdateFailure::None;
    case ReplyFailure::NoAnswer:
        return UpdateFailure::ReleaseNoAnswer;
    case ReplyFailure::TlsRefused:
        return UpdateFailure::ReleaseTlsRefused;
    case ReplyFailure::HttpStatus:
        return UpdateFailure::ReleaseHttpStatus;
    case ReplyFailure::Oversized:
        return UpdateFailure::AnswerRefused;
    }
    return UpdateFailure::ReleaseNoAnswer;
}

} // namespace

TestNet::~TestNet()
{
    release();
}

void TestNet::release()
{
    delete request;
    request = nullptr;
    // The manager takes its replies with it.
    delete manager;
    manager = nullptr;
}

QString TestNet::get_latest()
{
    release();
    manager = new QNetworkAccessManager();
    request = new QNetworkRequest(QUrl(release_address(), QUrl::TolerantMode));
    qDebug() << "hello";
    // The answer decides what is flashed: the server must prove who it is.
    request->setSslConfiguration(firmware_tls_configuration());
    QNetworkReply* reply = manager->get(*request);
    // Nothing beyond the answer's bound is buffered.
    reply->setReadBufferSize(settings().answer_max_bytes + 1);
    QByteArray body;
    // A stalled request counts as failed; an HTTP error page is returned as it is.
    // A bounded answer: no server keeps the window waiting or fills its memory.
    ReplyBounds bounds;
    bounds.max_bytes = settings().answer_max_bytes;
    bounds.deadline_ms = settings().answer_deadline_ms;
    ReplyFailure kind = ReplyFailure::None;
    if (wait_for_reply(reply, &last_error_, bounds, &kind)) {
        body = reply->readAll();
    }
    last_failure_ = release_failure(kind);
    if (!last_error_.isEmpty()) {
        qDebug().noquote() << "release query failed:" << last_error_;
    }
    const int zero = body.indexOf('\0');
    if (zero >= 0) {
        body.truncate(zero);
    }
    const QString text = QString::fromUtf8(body);
    qDebug() << text;
    reply->deleteLater();
    return text;
}
