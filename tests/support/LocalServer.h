#pragma once

#include <QSslConfiguration>

class FirmwareServer;

// Starts `server` on loopback with the test certificate, points the firmware
// server's address at it and makes the test CA the process's only root (the
// system's store, slow to read, plays no part). Returns that configuration,
// or one without CA certificates when the server could not be started.
QSslConfiguration serve_firmware_locally(FirmwareServer& server);
