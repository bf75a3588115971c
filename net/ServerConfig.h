#pragma once

#include <QSslConfiguration>
#include <QString>

// Where the firmware server is and whom to trust. The product uses the
// built-in host; tessaro-flash --server and --ca, the -sim window and the
// tests point it elsewhere through the run-time settings.

// "https://" + the built-in host, unless the settings name another base.
QString server_base();
// A base address as the settings keep it: without trailing slashes.
QString normalized_base(const QString& base);
// server_base() + "/firmware/latest".
QString release_address();

// Adds the CA certificates of a PEM file to those trusted for the release
// query and the download. False, with `error` set, when the file holds none.
bool add_trusted_ca_file(const QString& path, QString* error);

// TLS for the release query and the download: peer verified, TLS 1.2 or
// later, the system's CAs plus any added above.
QSslConfiguration firmware_tls_configuration();

// A request or download that makes no progress for this long fails.
int network_stall_timeout_ms();
