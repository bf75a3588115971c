#pragma once

#include "image/Checksums.h"

class HexRecordView;

// The CRC of a segment's data as the reader lays it out, record k at 16·k of a
// zero-filled buffer of the segment's data size, taken as the records go by.
// What a segment's records claim costs no memory: only the bytes a record can
// still reach are held, and the zeros past the last record are summed at once.
class SegmentCrc
{
public:
    explicit SegmentCrc(unsigned int size);

    // The segment's next record, whatever its type.
    void add(const HexRecordView& record);
    unsigned short value();

private:
    void flushTo(unsigned long long position);

    // A record reaches at most 255 bytes past its slot.
    static constexpr int kReach = 256;

    unsigned long long size_;
    unsigned long long summed_ = 0; // bytes before this are in the sum
    unsigned long long next_slot_ = 0;
    unsigned char ahead_[kReach] = {}; // the bytes from `summed_` on
    X25Sum sum_;
};
