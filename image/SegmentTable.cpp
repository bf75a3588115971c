#include "image/SegmentTable.h"

#include "image/HexReader.h"
#include "image/ReaderColumns.h"

#include <memory>

int SegmentTable::totalLines() const
{
    int total = 0;
    for (const SegmentInfo& s : segments) {
        total += s.lines;
    }
    return total;
}

SegmentTable read_segment_table(const QString& path)
{
    SegmentTable table;
    const int n = Get_BaseAddr_count(path);
    std::unique_ptr<unsigned int[]> bases(base_column(path, n));
    std::unique_ptr<unsigned int[]> sizes(size_column(path, n));
    std::unique_ptr<int[]> lines(line_column(path, n));
    std::unique_ptr<unsigned short[]> crcs(crc_column(path, n, sizes.get(), lines.get()));
    if (!bases || !sizes || !lines || !crcs) {
        return table;
    }
    table.readable = true;
    for (int i = 0; i < n; ++i) {
        table.segments.append(SegmentInfo {bases[i], sizes[i], lines[i], crcs[i]});
    }
    return table;
}
