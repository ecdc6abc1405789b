// Speed of the in-place 2-D FFT on a 1024 x 1024 complex image.
#include <benchmark/benchmark.h>

#include <random>

#include "fft.h"

namespace {

void BM_Cff2dForward(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    const int dims[] = {2, n, n};
    ZoltHeader *h = Zoltcreate("32cmp", dims, 11, 0);
    float *p = static_cast<float *>(h->oltptr);
    std::mt19937 gen(1);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (long i = 0; i < 2L * n * n; ++i) p[i] = u(gen);
    // alternate directions so the values stay in range
    int direction = -1;
    for (auto _ : state) {
        cff2d(h, direction);
        direction = -direction;
        benchmark::ClobberMemory();
    }
    Zoltfree(h, 7);
}
BENCHMARK(BM_Cff2dForward)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
