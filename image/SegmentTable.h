#pragma once

// One row of an image's segment table as the reader computes it.
struct SegmentInfo
{
    unsigned int base = 0;
    unsigned int size = 0;
    int lines = 0;
    unsigned short crc = 0;

    bool operator==(const SegmentInfo& o) const
    {
        return base == o.base && size == o.size && lines == o.lines && crc == o.crc;
    }
};
