#include "BenchImage.h"
#include "image/FirmwareImage.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// What `tessaro-flash info` and every update do with a file: read it once,
// check it and make its segment table.
void BM_ReadImage(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = write_bench_image(dir.path(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(FirmwareImage::fromFile(path).segments().size());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_ReadImage)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
