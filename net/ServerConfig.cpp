#include "net/ServerConfig.h"

#include <QFile>
#include <QList>
#include <QSslCertificate>

namespace {

const int kDefaultStallMs = 30000;

QString default_base()
{
    return QStringLiteral("https://" TESSARO_FIRMWARE_HOST);
}

QString& base_value()
{
    static QString value = default_base();
    return value;
}

QList<QSslCertificate>& extra_cas()
{
    static QList<QSslCertificate> cas;
    return cas;
}

int& stall_ms()
{
    static int value = kDefaultStallMs;
    return value;
}

} // namespace

QString server_base()
{
    return base_value();
}

void set_server_base(const QString& base)
{
    QString b = base;
    while (b.endsWith(QLatin1Char('/')))
        b.chop(1);
    base_value() = b;
}

QString release_address()
{
    return server_base() + QStringLiteral("/firmware/latest");
}

bool add_trusted_ca_file(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    const QList<QSslCertificate> certs = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (certs.isEmpty()) {
        if (error)
            *error = QStringLiteral("no PEM certificate in %1").arg(path);
        return false;
    }
    extra_cas().append(certs);
    return true;
}

QSslConfiguration firmware_tls_configuration()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setProtocol(QSsl::TlsV1_2OrLater);
    if (!extra_cas().isEmpty()) {
        QList<QSslCertificate> cas = config.caCertificates();
        cas.append(extra_cas());
        config.setCaCertificates(cas);
    }
    return config;
}

int network_stall_timeout_ms()
{
    return stall_ms();
}

void set_network_stall_timeout_ms(int ms)
{
    stall_ms() = ms > 0 ? ms : kDefaultStallMs;
}

void reset_server_config()
{
    base_value() = default_base();
    extra_cas().clear();
    stall_ms() = kDefaultStallMs;
}
