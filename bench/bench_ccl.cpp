// Labelling of a 10-megapixel image (3650 x 2740) with many regions and many
// merges, into a float output as the labelling dialog asks for it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "ccl.h"

namespace {

constexpr int COLS = 3650, ROWS = 2740;

// Binary noise: half the pixels in the value window, hundreds of thousands
// of small regions, most of them built from several provisional labels.
void noise(float *p) {
    std::mt19937 gen(7);
    std::bernoulli_distribution on(0.5);
    for (size_t i = 0; i < size_t(COLS) * ROWS; ++i) p[i] = on(gen) ? 100.f : 0.f;
}

// Blobs: a wavy field with a little noise, cut at one level, then grey
// steps of 1 inside, so regions are large, U-shaped and merged often.
void blobs(float *p) {
    std::mt19937 gen(9);
    std::uniform_real_distribution<float> jitter(-0.3f, 0.3f);
    for (int r = 0; r < ROWS; ++r)
        for (int c = 0; c < COLS; ++c) {
            const float f = std::sin(c / 9.f) * std::sin(r / 7.f) + 0.5f * std::sin((c + r) / 23.f) + jitter(gen);
            p[size_t(r) * COLS + c] = f > 0 ? 100.f + std::floor(f * 4) : 0.f;
        }
}

template <void (*Make)(float *)>
void label(benchmark::State &state) {
    const int eraseSmall = static_cast<int>(state.range(0));
    const int dims[] = {2, COLS, ROWS};
    ZoltHeader *in = Zoltcreate("float", dims, 11, 0);
    ZoltHeader *out = Zoltcreate("float", dims, 11, 0);
    Make(static_cast<float *>(in->oltptr));
    int count = 0;
    // the routine's progress lines go to /dev/null while it is timed
    std::fflush(stdout);
    const int saved = dup(1), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    for (auto _ : state) {
        cclC4_2(in, 2.f, 10.f, 255.f, eraseSmall, 0, count, "", out);
        benchmark::DoNotOptimize(out->oltptr);
    }
    std::fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
    state.counters["labels"] = count;
    Zoltfree(in, 7);
    Zoltfree(out, 7);
}
// EraseSmall 1 (the dialog's default, nothing to erase) and 5 (areas counted)
BENCHMARK(label<noise>)->Name("ccl/noise10M")->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(label<blobs>)->Name("ccl/blobs10M")->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
