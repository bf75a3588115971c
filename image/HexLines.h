#pragma once

#include <QFile>
#include <QString>

#include <vector>

// Reads an image file one text line at a time without allocating per line.
// Lines end in LF or CR LF; the line end is not part of the line. A line longer
// than any Intel HEX record is cut to its first kMaxLine characters and marked
// as cut, so hostile input cannot make the reader's memory grow.
class HexLineReader
{
public:
    static constexpr int kMaxLine = 1024;

    explicit HexLineReader(const QString& path);

    bool isOpen() const { return file_.isOpen(); }

    // Moves to the next line. False at the end of the file.
    bool next();

    const char* data() const { return buffer_; }
    int size() const { return size_; }
    bool wasCut() const { return cut_; }

private:
    bool refill();

    QFile file_;
    // The file is read in large chunks and split at LF here: a read call per
    // line costs more than the whole of the parsing.
    std::vector<char> chunk_;
    int pos_ = 0;
    int end_ = 0;
    char buffer_[kMaxLine + 2];
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

    unsigned char byte(int k) const;
    unsigned char count() const { return byte(0); }
    unsigned short offset() const { return static_cast<unsigned short>(byte(1) << 8 | byte(2)); }
    unsigned char type() const { return byte(3); }
    unsigned char dataByte(int i) const { return byte(4 + i); }

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
