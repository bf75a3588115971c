#pragma once

// USB identities and bootloader commands of the Tessaro wallet.

#include "image/HexLines.h"
#include "protocol/UpdateStep.h"

constexpr unsigned short VENDOR_ID = 0x4B71;
constexpr unsigned short BOOTLOADER_PRODUCT_ID = 0x0820;

// Path texts hidapi forms on macOS: the application's interface 0, and the
// interface the manual device list leaves out.
constexpr const char APP_INTERFACE_TAG[] = "Korvex N1@0";
constexpr const char EXCLUDED_INTERFACE_TAG[] = "Smart@1";
constexpr const char APP_PRODUCT_STRING[] = "Korvex N1";

constexpr int REPORT_BUFFER_SIZE = 65;
constexpr unsigned char FRAME_TAG = 0x11;
constexpr unsigned char FRAME_END = 0xC3;
constexpr int FIRST_REPORT_PAYLOAD = 56;
constexpr int CONTINUATION_PAYLOAD = 58;
constexpr int MAX_COMMAND_PAYLOAD = 255;

constexpr int REPLY_TIMEOUT_MS = 6000;

// Authentication: the first 8 bytes of SHA-256 over the shared key and a nonce.
constexpr const char AUTH_KEY[] = "vkrmqzlt";
constexpr int AUTH_KEY_SIZE = 8;
constexpr int AUTH_NONCE_SIZE = 4;
constexpr int AUTH_DIGEST_PREFIX = 8;

// Erase: the application region, 960 pages from its offset.
constexpr unsigned int ERASE_START = APPLICATION_OFFSET;
constexpr unsigned short ERASE_PAGES = 960;

// The first segment's CRC check starts where the application does.
constexpr unsigned int FIRST_SEGMENT_CRC_OFFSET = APPLICATION_OFFSET;

// Data blocks of CMD_WRITE: a 4-byte address and up to 15 slots of 16 bytes.
constexpr int BLOCK_RECORDS = 15;
constexpr int BLOCK_SLOT = RECORD_MAX_DATA;
constexpr int BLOCK_HEADER = 4;
constexpr int BLOCK_DATA = BLOCK_RECORDS * BLOCK_SLOT; // 240

// The bootloader's commands, one row each: everything the framing, the reply
// test and the step names know of a command comes from here.
struct BootloaderCommand
{
    unsigned char code;
    const char* name;
    int min_payload;
    int max_payload;
    bool reply_read; // one input report is read and tested after it
    UpdateStep step;
    const char* step_name;
};

// Payloads: CMD_AUTH the digest prefix and the nonce (8 + 4), CMD_ERASE the
// offset and the page count (4 + 2), CMD_WRITE a block address and 1 to 240
// data bytes, CMD_CHECK_CRC address, size and CRC (4 + 4 + 2).
// clang-format off
constexpr BootloaderCommand kBootloaderCommands[] = {
    {0xC1, "CMD_GOTO_ROM",   0,   0, false, UpdateStep::BootloaderEntry, "bootloader-entry"},
    {0xC4, "CMD_AUTH",      12,  12, false, UpdateStep::Auth,            "auth"},
    {0xF2, "CMD_ERASE",      6,   6, true,  UpdateStep::Erase,           "erase"},
    {0xF1, "CMD_WRITE",      5, 244, false, UpdateStep::Write,           "write"},
    {0xF8, "CMD_CHECK_CRC", 10,  10, true,  UpdateStep::Crc,             "crc"},
    {0xC2, "CMD_FINISH",     0,   0, false, UpdateStep::Finish,          "finish"},
};
// clang-format on

// The row of a command by its name or code; null for a code of no command.
constexpr const BootloaderCommand* find_command(unsigned char code)
{
    for (const BootloaderCommand& command : kBootloaderCommands) {
        if (command.code == code) {
            return &command;
        }
    }
    return nullptr;
}

constexpr bool same_name(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// A name missing from the table leaves this without a row to read, so it
// does not compile.
constexpr const BootloaderCommand& command_named(const char* name)
{
    for (const BootloaderCommand& command : kBootloaderCommands) {
        if (same_name(command.name, name)) {
            return command;
        }
    }
    return *static_cast<const BootloaderCommand*>(nullptr);
}

constexpr unsigned char CMD_GOTO_ROM = command_named("CMD_GOTO_ROM").code;
constexpr unsigned char CMD_AUTH = command_named("CMD_AUTH").code;
constexpr unsigned char CMD_ERASE = command_named("CMD_ERASE").code;
constexpr unsigned char CMD_WRITE = command_named("CMD_WRITE").code;
constexpr unsigned char CMD_CHECK_CRC = command_named("CMD_CHECK_CRC").code;
constexpr unsigned char CMD_FINISH = command_named("CMD_FINISH").code;

constexpr int AUTH_PAYLOAD_SIZE = command_named("CMD_AUTH").max_payload;
constexpr int ERASE_PAYLOAD_SIZE = command_named("CMD_ERASE").max_payload;
constexpr int CRC_PAYLOAD_SIZE = command_named("CMD_CHECK_CRC").max_payload;
constexpr int FULL_BLOCK_SIZE = command_named("CMD_WRITE").max_payload;
static_assert(AUTH_PAYLOAD_SIZE == AUTH_DIGEST_PREFIX + AUTH_NONCE_SIZE, "the digest prefix, then the nonce");
static_assert(FULL_BLOCK_SIZE == BLOCK_HEADER + BLOCK_DATA, "a full block fills every slot");
