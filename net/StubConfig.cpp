// Placeholder until the network code lands.
#include "net/ServerConfig.h"
#include "net/FirmwareGlobals.h"
const QString FILE_NAME = QStringLiteral("hex.txt");
QString API_DATA;
QString server_base() { return {}; }
void set_server_base(const QString&) {}
QString release_address() { return {}; }
bool add_trusted_ca_file(const QString&, QString*) { return true; }
QSslConfiguration firmware_tls_configuration() { return {}; }
int network_stall_timeout_ms() { return 30000; }
void set_network_stall_timeout_ms(int) {}
void reset_server_config() {}
