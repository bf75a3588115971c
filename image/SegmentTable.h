#pragma once

#include <QString>
#include <QVector>

// The segment table of an image as the reader computes it, in one value.
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

struct SegmentTable
{
    bool readable = false;
    QVector<SegmentInfo> segments;

    int totalLines() const;
};

SegmentTable read_segment_table(const QString& path);
