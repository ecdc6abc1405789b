// Speed of the display path: scaling a 4096 x 4096 float image to bytes and
// zooming a 2048 x 2048 float image to 4096 x 4096 by bilinear interpolation.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <random>

#include "vidscale.h"
#include "zoom.h"

namespace {

ZoltHeader *randomImage(const char *type, int cols, int rows) {
    const int dims[] = {2, cols, rows};
    ZoltHeader *h = Zoltcreate(type, dims, 11, 0);
    if (h->dtype == ZOLT_F32) {
        float *p = static_cast<float *>(h->oltptr);
        std::mt19937 gen(2);
        std::uniform_real_distribution<float> u(-100.0f, 100.0f);
        for (long i = 0; i < long(cols) * rows; ++i) p[i] = u(gen);
    }
    return h;
}

void BM_Vidscale(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    ZoltHeader *in = randomImage("32flt", n, n);
    ZoltHeader *out = randomImage("u8bit", n, n);
    float lo, hi;
    for (auto _ : state) {
        Zoltvidscale(in, out, &lo, &hi, 0);
        benchmark::ClobberMemory();
    }
    Zoltfree(in, 7);
    Zoltfree(out, 7);
}
BENCHMARK(BM_Vidscale)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZoomBilinear(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    ZoltHeader *in = randomImage("32flt", n, n);
    ZoltHeader *out = randomImage("32flt", 2 * n, 2 * n);
    // the progress lines go to /dev/null while the zoom runs
    std::fflush(stdout);
    const int saved = dup(1);
    std::FILE *sink = std::fopen("/dev/null", "w");
    if (sink) dup2(fileno(sink), 1);
    for (auto _ : state) {
        Zoltzoomupdown(in, out, 0);
        benchmark::ClobberMemory();
    }
    std::fflush(stdout);
    if (saved >= 0) {
        dup2(saved, 1);
        close(saved);
    }
    if (sink) std::fclose(sink);
    Zoltfree(in, 7);
    Zoltfree(out, 7);
}
BENCHMARK(BM_ZoomBilinear)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
