#pragma once

#include "protocol/Commands.h"

#include <QString>

#include <hidapi.h>

// Every command goes out through this one framing: a first report with the tag,
// the command code, sequence 0, the payload length and up to 56 payload bytes,
// then continuation reports of up to 58 bytes, each closed by the end marker.
//
// Returns false as soon as a report is not written whole (the device is gone or
// refused it); no further report of the command is sent then. A payload of a
// length the bootloader's command does not take, or longer than byte 7 can
// describe, is refused without writing anything.
bool hid_send_data(hid_device_* device, unsigned char command, int length, const unsigned char* payload);
// The same, adding each report written whole to `*reports_written`.
bool send_command(hid_device_* device, unsigned char command, int length, const unsigned char* payload,
                  int* reports_written);
// How many reports a payload of `length` bytes takes.
int reports_for_payload(int length);

// hidapi's last error text for the device (or for the library when null).
QString device_error_text(hid_device_* device);

// CMD_CHECK_CRC for one segment. Reads no reply.
bool send_crc_data(hid_device_* device, unsigned int address, unsigned int size, unsigned short crc);

enum class ReplyOutcome { NoReply, Success, Refusal };

// The reply test: nothing read is no reply; bytes 7 and 8 of what was read
// must be 0x90 0x00 for success.
ReplyOutcome reply_outcome(int read_result, const unsigned char* reply);

// Reads the reply to `command` into a zeroed buffer of `buffer_size` bytes and
// tests it. A report whose byte 2 names another of the bootloader's commands is
// a late answer to that one and is passed over: taken for this answer, it
// would turn a refusal into a success. The timeout bounds the whole wait.
ReplyOutcome read_reply(hid_device_* device, unsigned char command, int buffer_size = REPORT_BUFFER_SIZE,
                        int timeout_ms = REPLY_TIMEOUT_MS);

// Drops input reports already waiting, so that the next reply read belongs to
// the command sent after this call. Returns how many were dropped.
int drop_pending_input(hid_device_* device);

// Address bytes of a data block: the segment base's two low bytes plus the
// record's address low and high byte, each added on its own without carry.
void fill_block_address(unsigned char* block, unsigned int segment_base, unsigned char address_high,
                        unsigned char address_low);

// Payloads of the fixed commands.
void build_auth_payload(const unsigned char* nonce, unsigned char* payload);
void build_erase_payload(unsigned char* payload);
void build_crc_payload(unsigned int address, unsigned int size, unsigned short crc, unsigned char* payload);

// Little-endian helpers for payload fields.
void put_u32_le(unsigned char* at, unsigned int value);
void put_u16_le(unsigned char* at, unsigned short value);
