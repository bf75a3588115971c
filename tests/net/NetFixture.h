#pragma once

#include "FirmwareServer.h"
#include "TestConfig.h"

#include <QString>

// Test TLS material made by tests/data/tls/make-certs.sh.
inline QString tls_file(const QString& name)
{
    return QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/") + name;
}

inline bool use_certificate(FirmwareServer& server, const QString& stem)
{
    return server.set_certificate_files(tls_file(stem + ".crt"), tls_file(stem + ".key"));
}
