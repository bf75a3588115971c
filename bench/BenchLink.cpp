#include "BenchImage.h"

#include "image/FirmwareImage.h"
#include "log/Notice.h"
#include "protocol/DeviceSession.h"
#include "protocol/HIDHelper.h"
#include "protocol/UpdateOutcome.h"
#include "sim/SimBus.h"
#include "update/ManualDownload.h"
#include "update/ScopedSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

class QuietNotices : public NoticeSink
{
public:
    void show(NoticeKind, const QString&, const QString&, const QString&) override { }
};

QCoreApplication* application()
{
    static int argc = 1;
    static char name[] = "bench-link";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // The download's debug trace would fill the benchmark's output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return &app;
}

// A whole manual download of the application region (960 KiB) to a wallet
// running its application, over a link that takes `range(0)` microseconds a
// report, as an interrupt endpoint does (125 high speed, 1000 full speed):
// restart, search, authentication, erase, blocks, CRC check and finish. The
// link's limit is every report it carried taking exactly one interval; the
// counter `x_limit` is the download's time over that limit.
void BM_ManualDownloadOnLink(benchmark::State& state)
{
    application();
    QTemporaryDir folder;
    const QString home = QDir::currentPath();
    QDir::setCurrent(folder.path()); // the run log's folder
    QuietNotices quiet;
    ScopedSettings scope;
    settings().notices = &quiet;
    const FirmwareImage image = FirmwareImage::fromFile(write_bench_image(folder.path(), 960 * 1024));
    const int interval_us = static_cast<int>(state.range(0));
    sim::Bus& bus = sim::Bus::instance();
    double took = 0;
    double limit = 0;
    int reports = 0;
    for (auto _ : state) {
        bus.reset();
        bus.setTraceEnabled(false);
        bus.setLinkIntervalUs(interval_us);
        sim::Wallet& wallet = bus.attachWallet();
        const QString path = wallet.paths().front();
        DeviceSession session(hid_init() == 0);
        HIDHelper writer;
        QString error;
        if (!session.OpenDevice(path, error)) {
            state.SkipWithError("the wallet cannot be opened");
            break;
        }
        QElapsedTimer clock;
        clock.start();
        const UpdateOutcome outcome = run_manual_download(session, &writer, path, image);
        const double seconds = clock.nsecsElapsed() / 1e9;
        session.CloseDevice();
        if (!outcome.ok()) {
            state.SkipWithError("the download failed");
            break;
        }
        state.SetIterationTime(seconds);
        reports = wallet.reportsReceived();
        took += seconds;
        limit += reports * interval_us / 1e6;
    }
    state.counters["reports"] = reports;
    state.counters["x_limit"] = limit > 0 ? took / limit : 0;
    bus.reset();
    QDir::setCurrent(home);
}

// `tessaro-flash-sim flash` of a 64-byte image (7 reports) to a wallet that
// takes 300 ms to restart into its bootloader, as a whole process; the
// counter `s_over_restart` is its time beyond those 300 ms.
void BM_FlashSimRestart(benchmark::State& state)
{
    application();
    QTemporaryDir folder;
    const QString image = write_bench_image(folder.path(), 64);
    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/tessaro-flash-sim");
    const QString trace = folder.filePath(QStringLiteral("trace.bin"));
    double over = 0;
    for (auto _ : state) {
        QProcess flash;
        flash.setWorkingDirectory(folder.path());
        QElapsedTimer clock;
        clock.start();
        flash.start(tool,
                    {QStringLiteral("flash"), image, QStringLiteral("--fault"), QStringLiteral("reboot-ms=300"),
                     QStringLiteral("--trace"), trace});
        if (!flash.waitForFinished(60000) || flash.exitStatus() != QProcess::NormalExit || flash.exitCode() != 0) {
            state.SkipWithError("tessaro-flash-sim flash failed");
            break;
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(seconds);
        over += seconds - 0.3;
    }
    state.counters["reports"] = static_cast<double>(QFileInfo(trace).size() / 65);
    state.counters["s_over_restart"] = state.iterations() > 0 ? over / state.iterations() : 0;
}

// `range(0)` wallets on one hub, each written 1000 reports by a thread of its
// own over a full-speed link (1000 us): each wallet has its own frames, so the
// limit is 1 s however many there are. The counter `x_limit` is the time over
// that limit.
void BM_WalletsInParallelOnLink(benchmark::State& state)
{
    constexpr int kReports = 1000;
    constexpr int kIntervalUs = 1000;
    const int wallets = static_cast<int>(state.range(0));
    sim::Bus& bus = sim::Bus::instance();
    double took = 0;
    for (auto _ : state) {
        bus.reset();
        bus.setTraceEnabled(false);
        bus.setLinkIntervalUs(kIntervalUs);
        std::vector<hid_device*> devices;
        for (int i = 0; i < wallets; ++i) {
            // Interface 1 takes every report and does nothing with it.
            devices.push_back(hid_open_path(qPrintable(bus.attachWallet().paths()[1])));
        }
        QElapsedTimer clock;
        clock.start();
        std::vector<std::thread> threads;
        for (hid_device* device : devices) {
            threads.emplace_back([device] {
                const unsigned char report[65] = {};
                for (int r = 0; r < kReports; ++r) {
                    hid_write(device, report, sizeof report);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        for (hid_device* device : devices) {
            hid_close(device);
        }
        state.SetIterationTime(seconds);
        took += seconds;
    }
    state.counters["x_limit"] = state.iterations() > 0 ? took / state.iterations() / (kReports * kIntervalUs / 1e6) : 0;
    bus.reset();
}

// The machine's other work delays wake-ups by milliseconds at times, and each
// delay past a slot is lost to the link: the best of three runs is the figure.
double best(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

} // namespace

BENCHMARK(BM_ManualDownloadOnLink)
    ->Arg(125)
    ->Arg(1000)
    ->Iterations(1)
    ->Repetitions(3)
    ->ComputeStatistics("best", best)
    ->DisplayAggregatesOnly()
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalletsInParallelOnLink)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(1)
    ->Repetitions(3)
    ->ComputeStatistics("best", best)
    ->DisplayAggregatesOnly()
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlashSimRestart)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
