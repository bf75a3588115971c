#pragma once

#include <QByteArray>
#include <QString>

// The verdict on an image file before any writer touches a device. An image is
// accepted only when the writers, which cut blocks by record count and place a
// block's records back to back from its first record's address, would put
// every byte exactly where the file says and the wallet's CRC checks would
// cover exactly that data.
struct ImageCheckResult
{
    bool valid = false;
    bool readable = true; // false when the file could not be opened at all
    int line = 0; // 1-based line of the fault, 0 when not tied to a line
    QString reason;

    // "line N: reason", or the reason alone when no line applies.
    QString message() const;
};

// The verdict on an image's bytes; `check_hex_image` (FirmwareImage.h) reads a
// file first.
ImageCheckResult check_hex_bytes(const QByteArray& bytes);
