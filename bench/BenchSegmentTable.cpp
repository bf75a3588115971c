#include "BenchImage.h"
#include "image/ImageCheck.h"
#include "image/SegmentTable.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// What `tessaro-flash info` does with a file: check it, then read its table.
void BM_CheckAndSegmentTable(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = write_bench_image(dir.path(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(check_hex_image(path).valid);
        benchmark::DoNotOptimize(read_segment_table(path).segments.size());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_SegmentTable(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = write_bench_image(dir.path(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(read_segment_table(path).segments.size());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_CheckAndSegmentTable)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SegmentTable)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
