#include "protocol/Authentication.h"

#include "image/Checksums.h"
#include "protocol/Framing.h"

#include <cstring>

bool send_authentication(hid_device_* device)
{
    unsigned char nonce[AUTH_NONCE_SIZE];
    GetHexData(nonce, AUTH_NONCE_SIZE);
    unsigned char message[AUTH_KEY_SIZE + AUTH_NONCE_SIZE];
    std::memcpy(message, AUTH_KEY, AUTH_KEY_SIZE);
    std::memcpy(message + AUTH_KEY_SIZE, nonce, AUTH_NONCE_SIZE);
    unsigned char digest[32];
    sha256(message, sizeof message, digest);
    unsigned char payload[AUTH_PAYLOAD_SIZE];
    std::memcpy(payload, digest, 8);
    std::memcpy(payload + 8, nonce, AUTH_NONCE_SIZE);
    return hid_send_data(device, CMD_AUTH, AUTH_PAYLOAD_SIZE, payload);
}
