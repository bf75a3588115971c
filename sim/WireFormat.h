#pragma once

// The wire as the wallet's own firmware knows it, written down here on its
// own: the simulated wallet decodes the updater's reports with these bytes, so
// a constant the updater gets wrong shows as a refusal instead of agreeing
// with itself.

namespace sim::wire {

// USB identities.
constexpr unsigned short kVendorId = 0x4B71;
constexpr unsigned short kBootloaderProductId = 0x0820;
// The application's product string, and the interface names macOS puts into
// the device paths: interface 0 takes commands, interface 1 does not.
constexpr const char kAppProductString[] = "Korvex N1";
constexpr const char kAppCommandInterface[] = "Korvex N1@0";
constexpr const char kAppOtherInterface[] = "Smart@1";

// Output reports: a report number, then 64 bytes.
constexpr int kOutputBufferSize = 65;
constexpr int kInputReportSize = 64;
constexpr unsigned char kFrameTag = 0x11;
constexpr unsigned char kFrameEnd = 0xC3;
constexpr int kFirstReportPayload = 56; // bytes 8 to 63
constexpr int kContinuationPayload = 58; // bytes 6 to 63

// Reply status bytes 7 and 8.
constexpr unsigned char kStatusSuccess[2] = {0x90, 0x00};
// "Security status not satisfied": every refusal carries it.
constexpr unsigned char kStatusRefused[2] = {0x69, 0x85};

// The bootloader's commands and the payload lengths it accepts for each.
constexpr unsigned char kGotoRom = 0xC1;
constexpr unsigned char kAuth = 0xC4;
constexpr unsigned char kErase = 0xF2;
constexpr unsigned char kWrite = 0xF1;
constexpr unsigned char kCheckCrc = 0xF8;
constexpr unsigned char kFinish = 0xC2;

struct CommandSize
{
    unsigned char code;
    int min;
    int max;
};
constexpr CommandSize kCommandSizes[] = {
    {kGotoRom, 0, 0}, {kAuth, 12, 12}, {kErase, 6, 6}, {kWrite, 5, 244}, {kCheckCrc, 10, 10}, {kFinish, 0, 0},
};

// CMD_AUTH: the first 8 bytes of SHA-256 over the key and the 4 nonce bytes,
// then the nonce as sent.
constexpr const char kAuthKey[] = "vkrmqzlt";
constexpr int kAuthKeySize = 8;
constexpr int kAuthDigestSize = 8;
constexpr int kAuthNonceSize = 4;

// CMD_ERASE: 0x00004000 and 960 pages, the one erase the bootloader does.
constexpr unsigned char kErasePayload[6] = {0x00, 0x40, 0x00, 0x00, 0xC0, 0x03};
constexpr unsigned int kEraseOffset = 0x4000;
constexpr unsigned int kErasePages = 960;

// CMD_WRITE: a 4-byte target address, then the data.
constexpr int kBlockHeader = 4;

// The application begins this far into flash; the first segment's CRC check
// names its window's base plus this offset, where its data begin.
constexpr unsigned int kFirstSegmentCrcOffset = 0x4000;

} // namespace sim::wire
