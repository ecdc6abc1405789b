// Mean-field annealing of a 256 x 256 image with the dialog's defaults
// (sigma 3, r 0.03, b 4, t1 1, t2 0.005, dlt 0.99: 528 steps).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "mfa.h"

namespace {

void anneal(benchmark::State &state) {
    const int dims[] = {2, 256, 256};
    ZoltHeader *f = Zoltcreate("float", dims, 11, 0);
    ZoltHeader *g = Zoltcreate("float", dims, 11, 0);
    std::mt19937 gen(2);
    std::normal_distribution<float> noise(0.f, 5.f);
    std::vector<float> observed(256 * 256);
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j)
            observed[i * 256 + j] = ((i / 64 + j / 64) % 2 ? 40.f : 90.f) + noise(gen);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(observed.begin(), observed.end(), static_cast<float *>(f->oltptr));
        std::copy(observed.begin(), observed.end(), static_cast<float *>(g->oltptr));
        state.ResumeTiming();
        Pcon(f, g, 3.f, 0.03f, 4.f, 1.f, 0.005f, 0.99f);
        benchmark::DoNotOptimize(f->oltptr);
    }
    Zoltfree(f, 7);
    Zoltfree(g, 7);
}
BENCHMARK(anneal)->Name("pcon/256x256")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
