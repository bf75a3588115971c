#pragma once

#include <hidapi.h>

// CMD_AUTH with a fresh nonce: the first 8 bytes of SHA-256 over the shared
// key and the nonce, then the nonce. Reads no reply; false when not written.
bool send_authentication(hid_device_* device);
