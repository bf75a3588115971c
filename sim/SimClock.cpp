#include "sim/SimClock.h"

#include <atomic>

namespace sim {

namespace {
std::atomic<long long> skipped_ms {0};
}

Clock::time_point bus_now()
{
    return Clock::now() + std::chrono::milliseconds(skipped_ms.load());
}

void skip_time(std::chrono::milliseconds amount)
{
    skipped_ms += amount.count();
}

void reset_time()
{
    skipped_ms = 0;
}

Clock::time_point real_time_of(Clock::time_point bus_time)
{
    return bus_time - std::chrono::milliseconds(skipped_ms.load());
}

} // namespace sim
