#include "net/TestNet.h"

#include "net/NetSettings.h"
#include "net/NetWait.h"
#include "net/ServerConfig.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslError>
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

// A certificate's names as its owner would recognise them.
QString certificate_names(const QSslCertificate& certificate, QSslCertificate::SubjectInfo name)
{
    const QStringList names = certificate.subjectInfo(name) + certificate.subjectInfo(QSslCertificate::Organization);
    return names.isEmpty() ? certificate.subjectDisplayName() : names.join(QStringLiteral(", "));
}

QString server_fact(ReplyFailure kind, QNetworkReply* reply, const QSslCertificate& refused)
{
    switch (kind) {
    case ReplyFailure::HttpStatus:
        return QString::number(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt());
    case ReplyFailure::TlsRefused:
        if (refused.isNull()) {
            return QString();
        }
        return QStringLiteral("（证书颁发给“%1”，签发者“%2”）")
            .arg(certificate_names(refused, QSslCertificate::CommonName),
                 refused.issuerInfo(QSslCertificate::CommonName).join(QStringLiteral(", ")));
    case ReplyFailure::None:
    case ReplyFailure::NoAnswer:
    case ReplyFailure::Oversized:
        return QString();
    }
    return QString();
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
    reply->setReadBufferSize(net_settings().answer_max_bytes + 1);
    QByteArray body;
    // A stalled request counts as failed; an HTTP error page is returned as it is.
    // A bounded answer: no server keeps the window waiting or fills its memory.
    ReplyBounds bounds;
    bounds.max_bytes = net_settings().answer_max_bytes;
    bounds.deadline_ms = net_settings().answer_deadline_ms;
    ReplyFailure kind = ReplyFailure::None;
    QSslCertificate refused;
    connect(reply, &QNetworkReply::sslErrors, this, [&refused](const QList<QSslError>& errors) {
        for (const QSslError& error : errors) {
            if (refused.isNull() && !error.certificate().isNull()) {
                refused = error.certificate();
            }
        }
    });
    if (wait_for_reply(reply, &last_error_, bounds, &kind)) {
        body = reply->readAll();
    }
    disconnect(reply, &QNetworkReply::sslErrors, this, nullptr);
    last_failure_ = release_failure(kind);
    last_server_fact_ = server_fact(kind, reply, refused);
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
