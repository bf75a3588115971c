#pragma once

// State of the simulated bus shared by the Bus control API and the hidapi
// functions. Everything in it is guarded by `mutex`.

#include "sim/SimWallet.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim::detail {

using Lock = std::unique_lock<std::recursive_mutex>;

struct BusState
{
    std::recursive_mutex mutex;
    // Wallets of the current epoch; handles from an earlier epoch fail.
    std::vector<std::unique_ptr<SimWallet>> wallets;
    unsigned long long epoch = 0;
    int next_location = 1;
    int next_hidraw = 0;

    std::vector<QByteArray> trace;
    bool trace_enabled = true;
    int link_us = 0; // each wallet keeps its own slots of this interval
    bool init_fails = false;
    // hid_write calls since the reset, as the trace counts them, and the
    // signals to raise in the process as a given one returns.
    int writes = 0;
    std::multimap<int, int> raise_at;
    int init_count = 0;
    int open_handles = 0;
};

BusState& bus_state();

// hidapi's error of the calls without a handle. Each thread has its own, so
// the text hid_error(NULL) hands out stays valid while other threads open,
// enumerate and fail.
std::wstring& global_error();

} // namespace sim::detail
