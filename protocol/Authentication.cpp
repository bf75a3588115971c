#include "protocol/Authentication.h"

#include "image/Checksums.h"
#include "protocol/Framing.h"

bool send_authentication(hid_device_* device)
{
    unsigned char nonce[AUTH_NONCE_SIZE];
    GetHexData(nonce, AUTH_NONCE_SIZE);
    unsigned char payload[AUTH_PAYLOAD_SIZE];
    build_auth_payload(nonce, payload);
    return hid_send_data(device, CMD_AUTH, AUTH_PAYLOAD_SIZE, payload);
}
