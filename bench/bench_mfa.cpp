// Mean-field annealing with the dialog's defaults (sigma 3, r 0.03, b 4,
// t1 1, t2 0.005, dlt 0.99: 528 steps) on 256 x 256 and on 512 x 512, the
// latter also with one and with two threads forced.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "mfa.h"
#include "mfa_internal.h"

namespace {

// arguments: the side of the square image, and the threads (0: Pcon's own pick)
void anneal(benchmark::State &state) {
    const int side = static_cast<int>(state.range(0)), threads = static_cast<int>(state.range(1));
    const int dims[] = {2, side, side};
    ZoltHeader *f = Zoltcreate("float", dims, 11, 0);
    ZoltHeader *g = Zoltcreate("float", dims, 11, 0);
    std::mt19937 gen(2);
    std::normal_distribution<float> noise(0.f, 5.f);
    const int square = side / 4;
    std::vector<float> observed(static_cast<size_t>(side) * side);
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j)
            observed[static_cast<size_t>(i) * side + j] =
                ((i / square + j / square) % 2 ? 40.f : 90.f) + noise(gen);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(observed.begin(), observed.end(), static_cast<float *>(f->oltptr));
        std::copy(observed.begin(), observed.end(), static_cast<float *>(g->oltptr));
        state.ResumeTiming();
        PconThreads(f, g, 3.f, 0.03f, 4.f, 1.f, 0.005f, 0.99f, threads);
        benchmark::DoNotOptimize(f->oltptr);
    }
    Zoltfree(f, 7);
    Zoltfree(g, 7);
}
BENCHMARK(anneal)
    ->Name("pcon")
    ->ArgNames({"side", "threads"})
    ->Args({256, 0})
    ->Args({512, 1})
    ->Args({512, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
