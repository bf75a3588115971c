#include "image/SegmentCrc.h"

#include "image/HexLines.h"

#include <algorithm>
#include <cstring>

SegmentCrc::SegmentCrc(unsigned int size)
    : size_(size)
{
}

// Sums the bytes before `position`, which no later record can reach.
void SegmentCrc::flushTo(unsigned long long position)
{
    position = std::min(position, size_);
    if (position <= summed_) {
        return;
    }
    const unsigned long long held = std::min<unsigned long long>(position - summed_, kReach);
    sum_.add(ahead_, held);
    sum_.addZeros(position - summed_ - held);
    std::memmove(ahead_, ahead_ + held, static_cast<size_t>(kReach - held));
    std::memset(ahead_ + (kReach - held), 0, static_cast<size_t>(held));
    summed_ = position;
}

void SegmentCrc::add(const HexRecordView& record)
{
    const unsigned long long slot = next_slot_;
    next_slot_ += RECORD_MAX_DATA;
    flushTo(slot);
    if (slot >= size_) {
        return;
    }
    record.copyData(ahead_, static_cast<long long>(std::min<unsigned long long>(size_ - slot, kReach)));
}

unsigned short SegmentCrc::value()
{
    flushTo(size_);
    return sum_.value();
}
