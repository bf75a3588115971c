#include "FirmwareServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSslSocket>
#include <QTimer>

#include <memory>

#include <unistd.h>

FirmwareServer::FirmwareServer(QObject* parent)
    : QTcpServer(parent)
{
}

bool FirmwareServer::set_certificate_files(const QString& cert_path, const QString& key_path, QString* error)
{
    QFile cert(cert_path);
    QFile key(key_path);
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("cannot open %1 or %2").arg(cert_path, key_path);
        }
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(cert.readAll(), QSsl::Pem);
    const QByteArray key_pem = key.readAll();
    QSslKey parsed(key_pem, QSsl::Rsa, QSsl::Pem);
    if (parsed.isNull()) {
        parsed = QSslKey(key_pem, QSsl::Ec, QSsl::Pem);
    }
    if (chain.isEmpty() || parsed.isNull()) {
        if (error) {
            *error = QStringLiteral("no certificate or key in %1 / %2").arg(cert_path, key_path);
        }
        return false;
    }
    chain_ = chain;
    key_ = parsed;
    return true;
}

void FirmwareServer::set_route(const QString& path, int status, const QByteArray& body, const QByteArray& content_type)
{
    routes_.insert(path, Route {status, body, content_type});
}

void FirmwareServer::remove_route(const QString& path)
{
    routes_.remove(path);
}

void FirmwareServer::set_file_root(const QString& dir)
{
    root_ = dir;
}

void FirmwareServer::set_stall(bool stall)
{
    stall_ = stall;
}

void FirmwareServer::set_trickle(int interval_ms)
{
    trickle_ms_ = interval_ms;
}

bool FirmwareServer::listen_local(quint16 port)
{
    return listen(QHostAddress::LocalHost, port);
}

QString FirmwareServer::base_url() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(serverPort());
}

void FirmwareServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setLocalCertificateChain(chain_);
    socket->setPrivateKey(key_);
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    connect(socket, &QSslSocket::readyRead, this, [this, socket] { handle(socket); });
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    // A client that refuses the certificate just goes away.
    connect(socket, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors), socket,
            [socket](const QList<QSslError>&) { socket->ignoreSslErrors(); });
    socket->startServerEncryption();
}

void FirmwareServer::handle(QSslSocket* socket)
{
    if (socket->property("answered").toBool()) {
        return;
    }
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    if (!buffer.contains("\r\n\r\n")) {
        return;
    }
    socket->setProperty("answered", true);
    ++requests_;
    const QList<QByteArray> request_line = buffer.left(buffer.indexOf("\r\n")).split(' ');
    const QByteArray path = request_line.size() > 1 ? request_line.at(1) : QByteArray("/");
    last_path_ = path;
    if (stall_) {
        return;
    }

    const QString key = QString::fromUtf8(path);
    if (routes_.contains(key)) {
        answer(socket, routes_.value(key));
        return;
    }
    if (!root_.isEmpty() && key.startsWith(QLatin1String("/firmware/"))) {
        const QString name = key.mid(int(qstrlen("/firmware/")));
        if (!name.contains('/') && !name.contains('\\') && name != "." && name != "..") {
            QFile file(QDir(root_).filePath(name));
            if (file.open(QIODevice::ReadOnly)) {
                answer(socket, Route {200, file.readAll(), "text/plain"});
                return;
            }
        }
    }
    answer(socket, Route {404, "<html><body><h1>404 Not Found</h1></body></html>\n", "text/html"});
}

void FirmwareServer::answer(QSslSocket* socket, const Route& route)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + (route.status == 200 ? " OK" : " Error")
        + "\r\nContent-Type: " + route.content_type + "\r\nContent-Length: " + QByteArray::number(route.body.size())
        + "\r\nConnection: close\r\n\r\n";
    if (corrupt_answers_ > 0) {
        --corrupt_answers_;
        corrupt(socket, head + route.body.left(route.body.size() / 2));
        return;
    }
    if (trickle_ms_ <= 0) {
        socket->write(head + route.body);
        socket->disconnectFromHost();
        return;
    }
    // One byte at a time: never stalled, never done.
    auto* timer = new QTimer(socket);
    auto left = std::make_shared<QByteArray>(head + route.body);
    connect(timer, &QTimer::timeout, socket, [socket, timer, left] {
        if (left->isEmpty()) {
            timer->stop();
            socket->disconnectFromHost();
            return;
        }
        socket->write(left->left(1));
        left->remove(0, 1);
    });
    timer->start(trickle_ms_);
}

void FirmwareServer::corrupt(QSslSocket* socket, const QByteArray& part)
{
    socket->write(part);
    // Once the encrypted part is on the wire, plain bytes follow it on the
    // same connection, where the client expects the next TLS record.
    connect(socket, &QSslSocket::encryptedBytesWritten, socket, [socket] {
        if (socket->bytesToWrite() > 0 || socket->encryptedBytesToWrite() > 0 || socket->property("cut").toBool()) {
            return;
        }
        socket->setProperty("cut", true);
        static const char kNotTls[] = "\x17\x03\x03\x00\x10not a TLS record";
        if (::write(int(socket->socketDescriptor()), kNotTls, sizeof kNotTls - 1) < 0) {
            socket->abort();
        }
        socket->disconnectFromHost();
    });
}
