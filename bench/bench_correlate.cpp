// Correlation of a 1024 x 1024 float image with a 32 x 32 template, grey and
// colour, and a sweep of grey images from 512^2 to 4096^2 against square
// templates of side 4 to 256 (peers_correlate.py times the peer on the same
// grid and runs this sweep beside it).
#include <benchmark/benchmark.h>

#include <random>

#include "correlate.h"

namespace {

ZoltHeader *randomImage(int cols, int rows, int frames, unsigned seed) {
    const int d2[] = {2, cols, rows}, d3[] = {3, cols, rows, frames};
    ZoltHeader *h = Zoltcreate("float", frames > 1 ? d3 : d2, 11, 0);
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> v(0.f, 255.f);
    float *p = static_cast<float *>(h->oltptr);
    for (size_t k = 0; k < Zoltdimen(h, -1); ++k) p[k] = v(gen);
    return h;
}

// Scores an image of cols x rows against a template of t x t, both of `frames` frames.
void run(benchmark::State &state, int cols, int rows, int t, int frames) {
    ZoltHeader *img = randomImage(cols, rows, frames, 1);
    ZoltHeader *tm = randomImage(t, t, frames, 2);
    ZoltHeader *out = randomImage(cols, rows, frames, 3);
    for (auto _ : state) {
        flcorrelate(img, tm, out);
        benchmark::DoNotOptimize(out->oltptr);
    }
    Zoltfree(img, 7);
    Zoltfree(tm, 7);
    Zoltfree(out, 7);
}

void correlate(benchmark::State &state) { run(state, 1024, 1024, 32, static_cast<int>(state.range(0))); }
BENCHMARK(correlate)->Name("correlate/1024x1024_32x32")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()->UseRealTime();  // CPU column: both threads, steadier under load

// state.range(0): the image's side; state.range(1): the template's.
void correlateSweep(benchmark::State &state) {
    const int side = static_cast<int>(state.range(0));
    run(state, side, side, static_cast<int>(state.range(1)), 1);
}
BENCHMARK(correlateSweep)
    ->Name("correlate/sweep")
    ->ArgsProduct({{512, 1024, 2048, 4096}, {4, 8, 16, 32, 64, 128, 256}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.2)
    ->UseRealTime();

}  // namespace
