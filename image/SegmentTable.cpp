#include "image/SegmentTable.h"

#include "image/HexReader.h"

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
    std::unique_ptr<unsigned int[]> bases(Get_BaseAddrS(path));
    std::unique_ptr<unsigned int[]> sizes(Get_DataSizeS(path));
    std::unique_ptr<int[]> lines(Get_DataLineS(path));
    std::unique_ptr<unsigned short[]> crcs(Get_CRCValueS(path));
    if (!bases || !sizes || !lines || !crcs) {
        return table;
    }
    table.readable = true;
    for (int i = 0; i < n; ++i) {
        table.segments.append(SegmentInfo {bases[i], sizes[i], lines[i], crcs[i]});
    }
    return table;
}
