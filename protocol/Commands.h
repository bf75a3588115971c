#pragma once

// USB identities and bootloader commands of the Tessaro wallet.

#include "image/HexLines.h"

constexpr unsigned short VENDOR_ID = 0x4B71;
constexpr unsigned short BOOTLOADER_PRODUCT_ID = 0x0820;

// Path texts hidapi forms on macOS: the application's interface 0, and the
// interface the manual device list leaves out.
constexpr const char APP_INTERFACE_TAG[] = "Korvex N1@0";
constexpr const char EXCLUDED_INTERFACE_TAG[] = "Smart@1";
constexpr const char APP_PRODUCT_STRING[] = "Korvex N1";

constexpr unsigned char CMD_GOTO_ROM = 0xC1;
constexpr unsigned char CMD_AUTH = 0xC4;
constexpr unsigned char CMD_ERASE = 0xF2;
constexpr unsigned char CMD_WRITE = 0xF1;
constexpr unsigned char CMD_CHECK_CRC = 0xF8;
constexpr unsigned char CMD_FINISH = 0xC2;

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
constexpr int AUTH_PAYLOAD_SIZE = 12;

// Erase: the application region, 960 pages from its offset.
constexpr unsigned int ERASE_START = APPLICATION_OFFSET;
constexpr unsigned short ERASE_PAGES = 960;
constexpr int ERASE_PAYLOAD_SIZE = 6;

constexpr int CRC_PAYLOAD_SIZE = 10;
// The first segment's CRC check starts where the application does.
constexpr unsigned int FIRST_SEGMENT_CRC_OFFSET = APPLICATION_OFFSET;

// Data blocks of CMD_WRITE: a 4-byte address and up to 15 slots of 16 bytes.
constexpr int BLOCK_RECORDS = 15;
constexpr int BLOCK_SLOT = RECORD_MAX_DATA;
constexpr int BLOCK_HEADER = 4;
constexpr int BLOCK_DATA = BLOCK_RECORDS * BLOCK_SLOT; // 240
constexpr int FULL_BLOCK_SIZE = BLOCK_HEADER + BLOCK_DATA; // 244
