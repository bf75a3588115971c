#include "BenchImage.h"

#include "log/Notice.h"
#include "sim/SimBus.h"
#include "update/AutoUpdate.h"
#include "update/ScopedSettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// The outcome boxes would only fill the benchmark's output.
class QuietNotices : public NoticeSink
{
public:
    void show(NoticeKind, const QString&, const QString&, const QString&) override { }
};

// A whole automatic flash update of an image of the given size onto a
// simulated wallet in its bootloader, with no link interval: the host-side
// cost of cutting, framing and verifying. The wire itself adds one interrupt
// interval per report (1 ms full speed, 125 us high speed).
void BM_FlashUpdate(benchmark::State& state)
{
    int argc = 1;
    char name[] = "bench-flash-update";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    QuietNotices quiet;
    ScopedSettings scope;
    settings().notices = &quiet;
    const int bytes = static_cast<int>(state.range(0));
    sim::Bus& bus = sim::Bus::instance();
    int reports = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString path = write_bench_image(folder.path(), bytes);
        bus.reset();
        bus.setTraceEnabled(false);
        sim::WalletConfig config;
        config.mode = sim::Mode::Bootloader;
        sim::Wallet& wallet = bus.attachWallet(config);
        state.ResumeTiming();
        if (!flash_update(path)) {
            state.SkipWithError("update failed");
            break;
        }
        reports = wallet.reportsReceived();
    }
    state.counters["reports"] = reports;
    state.counters["bytes/s"] = benchmark::Counter(double(bytes) * state.iterations(), benchmark::Counter::kIsRate);
    bus.reset();
}

} // namespace

BENCHMARK(BM_FlashUpdate)->Arg(64 * 1024)->Arg(960 * 1024)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
