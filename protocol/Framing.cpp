#include "protocol/Framing.h"

#include "image/Checksums.h"
#include "log/StopRequest.h"
#include "protocol/HidGlobal.h"

#include <QElapsedTimer>

#include <cstring>

void put_u32_le(unsigned char* at, unsigned int value)
{
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

void put_u16_le(unsigned char* at, unsigned short value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

namespace {

bool write_report(hid_device_* device, const unsigned char* report)
{
    return hid_write(device, report, REPORT_BUFFER_SIZE) == REPORT_BUFFER_SIZE;
}

// A bootloader command's payload has the length its row allows; any other
// code goes out with whatever byte 7 can say.
bool payload_length_allowed(unsigned char command, int length)
{
    const BootloaderCommand* known = find_command(command);
    if (known != nullptr) {
        return length >= known->min_payload && length <= known->max_payload;
    }
    return length >= 0 && length <= MAX_COMMAND_PAYLOAD;
}

void clear_after_code(unsigned char* report)
{
    std::memset(report + 4, 0, REPORT_BUFFER_SIZE - 4);
}

} // namespace

bool hid_send_data(hid_device_* device, unsigned char command, int length, const unsigned char* payload)
{
    return send_command(device, command, length, payload, nullptr);
}

int reports_for_payload(int length)
{
    if (length <= FIRST_REPORT_PAYLOAD) {
        return 1;
    }
    return 1 + (length - FIRST_REPORT_PAYLOAD + CONTINUATION_PAYLOAD - 1) / CONTINUATION_PAYLOAD;
}

QString device_error_text(hid_device_* device)
{
    // hidapi answers "Success" when nothing went wrong, which explains nothing.
    // Without a device, the error of this thread's last listing or opening.
    const wchar_t* text = device != nullptr ? hid_error(device) : nullptr;
    const QString error
        = device != nullptr ? (text != nullptr ? QString::fromWCharArray(text) : QString()) : last_global_error();
    return error == QLatin1String("Success") ? QString() : error;
}

bool send_command(hid_device_* device, unsigned char command, int length, const unsigned char* payload,
                  int* reports_written)
{
    int scratch = 0;
    int& written = reports_written != nullptr ? *reports_written : scratch;
    if (!payload_length_allowed(command, length) || (length > 0 && payload == nullptr)) {
        return false;
    }
    unsigned char report[REPORT_BUFFER_SIZE] = {};
    report[1] = FRAME_TAG;
    report[2] = 0x00;
    report[3] = command;
    report[7] = static_cast<unsigned char>(length);

    const int first = length < FIRST_REPORT_PAYLOAD ? length : FIRST_REPORT_PAYLOAD;
    if (first > 0) {
        std::memcpy(report + 8, payload, first);
    }
    report[8 + first] = FRAME_END;
    if (!write_report(device, report)) {
        return false;
    }
    ++written;
    int sent = first;
    unsigned char sequence = 1;
    while (sent < length) {
        clear_after_code(report);
        const int left = length - sent;
        const int carried = left < CONTINUATION_PAYLOAD ? left : CONTINUATION_PAYLOAD;
        report[5] = sequence++;
        std::memcpy(report + 6, payload + sent, carried);
        report[6 + carried] = FRAME_END;
        if (!write_report(device, report)) {
            return false;
        }
        ++written;
        sent += carried;
    }
    return true;
}

void build_crc_payload(unsigned int address, unsigned int size, unsigned short crc, unsigned char* payload)
{
    put_u32_le(payload, address);
    put_u32_le(payload + 4, size);
    put_u16_le(payload + 8, crc);
}

bool send_crc_data(hid_device_* device, unsigned int address, unsigned int size, unsigned short crc)
{
    unsigned char payload[CRC_PAYLOAD_SIZE];
    build_crc_payload(address, size, crc, payload);
    return hid_send_data(device, CMD_CHECK_CRC, CRC_PAYLOAD_SIZE, payload);
}

ReplyOutcome reply_outcome(int read_result, const unsigned char* reply)
{
    if (read_result <= 0) {
        return ReplyOutcome::NoReply;
    }
    const unsigned int status = reply[7] | reply[8] << 8;
    return status == 0x0090 ? ReplyOutcome::Success : ReplyOutcome::Refusal;
}

namespace {

// However many reports a device sends unasked, a wait for its reply or for
// its silence ends after this many: one that never stops talking is no answer.
constexpr int kMaxUnaskedReports = 64;

// The reply test looks at bytes 7 and 8 alone, and the wallet's other reply
// bytes are its own: only a report whose byte 2 names another of the
// bootloader's commands is known to be no answer to this one (a late answer to
// that command). Anything else is taken as the reply.
bool answers_another_command(int got, const unsigned char* reply, unsigned char command)
{
    return got > 2 && reply[2] != command && find_command(reply[2]) != nullptr;
}

} // namespace

ReplyOutcome read_reply(hid_device_* device, unsigned char command, int buffer_size, int timeout_ms)
{
    const int size = qBound(1, buffer_size, REPORT_BUFFER_SIZE);
    QElapsedTimer clock;
    clock.start();
    // A Ctrl-C meanwhile is taken up after the read, not as a lost reply.
    const StopSignalsHeld held;
    for (int reads = 0; reads < kMaxUnaskedReports; ++reads) {
        unsigned char reply[REPORT_BUFFER_SIZE] = {};
        const int left = static_cast<int>(qMax<qint64>(0, timeout_ms - clock.elapsed()));
        const int got = hid_read_timeout(device, reply, static_cast<size_t>(size), left);
        if (!answers_another_command(got, reply, command)) {
            return reply_outcome(got, reply);
        }
    }
    return ReplyOutcome::NoReply;
}

int drop_pending_input(hid_device_* device)
{
    unsigned char scratch[REPORT_BUFFER_SIZE];
    int dropped = 0;
    while (dropped < kMaxUnaskedReports && hid_read_timeout(device, scratch, sizeof scratch, 0) > 0) {
        ++dropped;
    }
    return dropped;
}

void fill_block_address(unsigned char* block, unsigned int segment_base, unsigned char address_high,
                        unsigned char address_low)
{
    block[0] = static_cast<unsigned char>((segment_base & 0xFF) + address_low);
    block[1] = static_cast<unsigned char>(((segment_base >> 8) & 0xFF) + address_high);
    block[2] = static_cast<unsigned char>(segment_base >> 16);
    block[3] = static_cast<unsigned char>(segment_base >> 24);
}

void build_auth_payload(const unsigned char* nonce, unsigned char* payload)
{
    unsigned char message[AUTH_KEY_SIZE + AUTH_NONCE_SIZE];
    std::memcpy(message, AUTH_KEY, AUTH_KEY_SIZE);
    std::memcpy(message + AUTH_KEY_SIZE, nonce, AUTH_NONCE_SIZE);
    unsigned char digest[32];
    sha256(message, sizeof message, digest);
    std::memcpy(payload, digest, AUTH_DIGEST_PREFIX);
    std::memcpy(payload + AUTH_DIGEST_PREFIX, nonce, AUTH_NONCE_SIZE);
}

void build_erase_payload(unsigned char* payload)
{
    put_u32_le(payload, ERASE_START);
    put_u16_le(payload + 4, ERASE_PAGES);
}
