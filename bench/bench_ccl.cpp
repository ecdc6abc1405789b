// Labelling of a 10-megapixel image (3650 x 2740) with many regions and many
// merges, into a float output as the labelling dialog asks for it; and of
// 3162 x 3162 binary bytes (0 and 1) into 32-bit labels, the input other
// labelling libraries take: blobs (smoothed noise cut at its middle) and noise
// (half the pixels set).
#include <benchmark/benchmark.h>


#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "ccl.h"

namespace {

constexpr int COLS = 3650, ROWS = 2740;

// The routine's progress lines are switched off while it is timed.
struct Silenced {
    Silenced() { ZoltChatter = 0; }
    ~Silenced() { ZoltChatter = 1; }
};

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
    {
        Silenced quiet;
        cclC4_2(in, 2.f, 10.f, 255.f, eraseSmall, 0, count, "", out);  // the output's pages touched before timing
        for (auto _ : state) {
            cclC4_2(in, 2.f, 10.f, 255.f, eraseSmall, 0, count, "", out);
            benchmark::DoNotOptimize(out->oltptr);
        }
    }
    state.counters["labels"] = count;
    Zoltfree(in, 7);
    Zoltfree(out, 7);
}
// EraseSmall 1 (the dialog's default, nothing to erase) and 5 (areas counted)
BENCHMARK(label<noise>)->Name("ccl/noise10M")->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(label<blobs>)->Name("ccl/blobs10M")->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr int SIDE = 3162;

// Binary noise: each pixel 1 with probability one half.
void binaryNoise(unsigned char *p) {
    std::mt19937 gen(11);
    for (size_t i = 0; i < size_t(SIDE) * SIDE; ++i) p[i] = gen() & 1;
}

// Binary blobs: uniform noise smoothed by a Gaussian of sigma 4 (radius 16,
// mirrored at the edges), 1 where above one half.
void binaryBlobs(unsigned char *p) {
    std::mt19937 gen(13);
    std::uniform_real_distribution<float> u(0.f, 1.f);
    std::vector<float> a(size_t(SIDE) * SIDE), b(a.size());
    for (float &v : a) v = u(gen);
    constexpr int R = 16;
    float w[2 * R + 1], sum = 0;
    for (int k = -R; k <= R; ++k) sum += w[k + R] = std::exp(-k * k / 32.f);
    for (float &x : w) x /= sum;
    auto mirror = [](int i) { return i < 0 ? -i - 1 : i >= SIDE ? 2 * SIDE - i - 1 : i; };
    for (int r = 0; r < SIDE; ++r)
        for (int c = 0; c < SIDE; ++c) {
            float s = 0;
            for (int k = -R; k <= R; ++k) s += w[k + R] * a[size_t(r) * SIDE + mirror(c + k)];
            b[size_t(r) * SIDE + c] = s;
        }
    for (int r = 0; r < SIDE; ++r)
        for (int c = 0; c < SIDE; ++c) {
            float s = 0;
            for (int k = -R; k <= R; ++k) s += w[k + R] * b[size_t(mirror(r + k)) * SIDE + c];
            p[size_t(r) * SIDE + c] = s > 0.5f;
        }
}

template <void (*Make)(unsigned char *)>
void labelBinary(benchmark::State &state) {
    const int dims[] = {2, SIDE, SIDE};
    ZoltHeader *in = Zoltcreate("u8bit", dims, 11, 0);
    ZoltHeader *out = Zoltcreate("32bit", dims, 11, 0);
    Make(static_cast<unsigned char *>(in->oltptr));
    int count = 0;
    {
        Silenced quiet;
        cclC4_2(in, 0.5f, 0.5f, 1.5f, 1, 0, count, "", out);  // the output's pages touched before timing
        for (auto _ : state) {
            cclC4_2(in, 0.5f, 0.5f, 1.5f, 1, 0, count, "", out);
            benchmark::DoNotOptimize(out->oltptr);
        }
    }
    state.counters["labels"] = count;
    Zoltfree(in, 7);
    Zoltfree(out, 7);
}
BENCHMARK(labelBinary<binaryBlobs>)->Name("ccl/binary_blobs3162")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(labelBinary<binaryNoise>)->Name("ccl/binary_noise3162")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
