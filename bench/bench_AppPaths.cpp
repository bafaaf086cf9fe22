// Cost of one private write (temporary file, fsync, rename, folder fsync) of a small store.
#include "services/AppPaths.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

static void BM_WritePrivate10KB(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/store.json";
    const QByteArray data(10 * 1024, 'x');
    for (auto _ : state) {
        if (!AppPaths::writePrivate(data, path))
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_WritePrivate10KB)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
