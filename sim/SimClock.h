#pragma once

#include <chrono>

namespace sim {

using Clock = std::chrono::steady_clock;

// The bus's time: the steady clock plus whatever a test has skipped forward, so
// that a reboot or a late reply can be waited for without waiting.
Clock::time_point bus_now();
void skip_time(std::chrono::milliseconds amount);
void reset_time();
// The steady clock's moment at which the bus reaches `bus_time`.
Clock::time_point real_time_of(Clock::time_point bus_time);

} // namespace sim
