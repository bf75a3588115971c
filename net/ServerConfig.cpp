#include "net/ServerConfig.h"

#include "net/NetSettings.h"

#include <QFile>
#include <QList>
#include <QSslCertificate>

QString server_base()
{
    const QString& base = net_settings().server_base;
    return base.isEmpty() ? QStringLiteral("https://" TESSARO_FIRMWARE_HOST) : base;
}

QString normalized_base(const QString& base)
{
    QString b = base;
    while (b.endsWith(QLatin1Char('/'))) {
        b.chop(1);
    }
    return b;
}

QString release_address()
{
    return server_base() + QStringLiteral("/firmware/latest");
}

bool add_trusted_ca_file(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        }
        return false;
    }
    const QByteArray pem = file.readAll();
    if (QSslCertificate::fromData(pem, QSsl::Pem).isEmpty()) {
        if (error) {
            *error = QStringLiteral("no PEM certificate in %1").arg(path);
        }
        return false;
    }
    net_settings().extra_ca_pem.append(pem);
    return true;
}

QSslConfiguration firmware_tls_configuration()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setProtocol(QSsl::TlsV1_2OrLater);
    if (!net_settings().extra_ca_pem.isEmpty()) {
        // A CA list of our own switches off Qt's loading of the system's roots
        // on demand: load them here, or --ca would drop every public server.
        // Read once: parsing the system's store takes longer than a request.
        static const QList<QSslCertificate> system_roots = QSslConfiguration::systemCaCertificates();
        QList<QSslCertificate> cas = system_roots;
        for (const QByteArray& pem : qAsConst(net_settings().extra_ca_pem)) {
            cas.append(QSslCertificate::fromData(pem, QSsl::Pem));
        }
        config.setCaCertificates(cas);
    }
    return config;
}

int network_stall_timeout_ms()
{
    const int ms = net_settings().stall_timeout_ms;
    return ms > 0 ? ms : 30000;
}
