#include "protocol/Framing.h"
#include "sim/SimBus.h"

#include <benchmark/benchmark.h>

namespace {

// Full data blocks framed into reports and handed to hidapi; the simulated
// bus stands in for the wire with no link interval, so the figure is the
// host-side cost per report.
void BM_FrameFullBlocks(benchmark::State& state)
{
    sim::Bus& bus = sim::Bus::instance();
    bus.reset();
    bus.setTraceEnabled(false);
    bus.attachWallet();
    hid_device_info* list = hid_enumerate(VENDOR_ID, 0);
    hid_device* device = hid_open_path(list->path);
    hid_free_enumeration(list);
    unsigned char block[FULL_BLOCK_SIZE] = {};
    for (auto _ : state) {
        benchmark::DoNotOptimize(hid_send_data(device, CMD_WRITE, FULL_BLOCK_SIZE, block));
    }
    state.counters["reports/s"] = benchmark::Counter(5.0 * state.iterations(), benchmark::Counter::kIsRate);
    hid_close(device);
    bus.reset();
}

} // namespace

BENCHMARK(BM_FrameFullBlocks);
BENCHMARK_MAIN();
