#pragma once

#include <QByteArray>

// Facts of the wallet's images that more than one layer relies on.
// A data record carries at most this many bytes; each fills one block slot.
constexpr int RECORD_MAX_DATA = 16;
// The application starts this far into the first segment's 64 KiB window: the
// bootloader keeps the 16 KiB below it.
constexpr unsigned int APPLICATION_OFFSET = 0x4000;

// Walks the text lines of an image held in memory. Lines end in LF or CR LF;
// the line end is not part of the line. A line longer than any Intel HEX record
// is shown cut to its first kMaxLine characters and marked as cut.
class HexLineReader
{
public:
    static constexpr int kMaxLine = 1024;

    explicit HexLineReader(const QByteArray& bytes);

    // Moves to the next line. False at the end of the bytes.
    bool next();

    const char* data() const { return line_; }
    int size() const { return size_; }
    bool wasCut() const { return cut_; }

private:
    const char* pos_;
    const char* end_;
    const char* line_ = nullptr;
    int size_ = 0;
    bool cut_ = false;
};

// The fields of one record line as the reader sees them: byte k is the pair of
// characters at positions 2k+1 and 2k+2; a pair that is missing or not two
// hexadecimal digits reads as 0. The start code is not looked at.
class HexRecordView
{
public:
    HexRecordView(const char* line, int size)
        : line_(line)
        , size_(size)
    {
    }
    explicit HexRecordView(const HexLineReader& reader)
        : HexRecordView(reader.data(), reader.size())
    {
    }

    unsigned char byte(int k) const;
    unsigned char count() const { return byte(0); }
    unsigned short offset() const { return static_cast<unsigned short>(byte(1) << 8 | byte(2)); }
    unsigned char type() const { return byte(3); }
    unsigned char dataByte(int i) const { return byte(4 + i); }
    // What an extended linear address record says: its two data bytes as the
    // upper 16 bits, its own load offset (0 in a well-formed file) as the lower.
    unsigned int linearBase() const
    {
        return static_cast<unsigned int>(dataByte(0)) << 24 | static_cast<unsigned int>(dataByte(1)) << 16 | offset();
    }

    // Copies up to `count()` data bytes, never more than `room`; returns how many.
    int copyData(unsigned char* dest, long long room) const;

private:
    const char* line_;
    int size_;
};

int hex_digit_value(char c);

enum HexRecordType : unsigned char {
    RECORD_DATA = 0x00,
    RECORD_END_OF_FILE = 0x01,
    RECORD_EXTENDED_SEGMENT = 0x02,
    RECORD_START_SEGMENT = 0x03,
    RECORD_EXTENDED_LINEAR = 0x04,
    RECORD_START_LINEAR = 0x05,
};
