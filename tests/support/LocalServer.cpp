#include "support/LocalServer.h"

#include "FirmwareServer.h"
#include "TestConfig.h"
#include "net/NetSettings.h"
#include "net/ServerConfig.h"

#include <QSslCertificate>

QSslConfiguration serve_firmware_locally(FirmwareServer& server)
{
    const QString tls = QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/");
    QSslConfiguration trust = QSslConfiguration::defaultConfiguration();
    if (!server.set_certificate_files(tls + "server.crt", tls + "server.key") || !server.listen_local()) {
        trust.setCaCertificates({});
        return trust;
    }
    net_settings().server_base = normalized_base(server.base_url());
    trust.setCaCertificates(QSslCertificate::fromPath(tls + "ca.crt"));
    QSslConfiguration::setDefaultConfiguration(trust);
    return trust;
}
