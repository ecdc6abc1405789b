// Speed of ZOLT file writing and reading for a 4096 x 4096 "32flt" image,
// raw and compressed (to a temporary file), and of its conversion to "u8bit".
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zolt.h"

namespace {

constexpr int kSide = 4096;

// A smooth field with fine texture: compresses somewhat, not trivially.
ZoltHeader *makeImage() {
    const int dims[] = {2, kSide, kSide};
    ZoltHeader *h = Zoltcreate("32flt", dims, 11, 0);
    auto *p = static_cast<float *>(h->oltptr);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            p[static_cast<size_t>(y) * kSide + x] =
                100.0f + 80.0f * std::sin(0.01f * x) * std::cos(0.013f * y) + static_cast<float>((x * 7 + y * 13) % 5);
    return h;
}

std::string tempName(const char *what) {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/bench_zoltio_" + std::to_string(getpid()) + "_" + what;
}

void BM_Write(benchmark::State &state) {
    ZoltHeader *h = makeImage();
    h->oltcomp = static_cast<unsigned char>(state.range(0));
    const std::string path = tempName("write.zol");
    for (auto _ : state) {
        if (Zoltpot(h, path.c_str()) != -1) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSide * kSide * 4);
    std::remove(path.c_str());
    Zoltfree(h, 7);
}
BENCHMARK(BM_Write)->Arg(0)->Arg(1)->ArgName("compressed")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Read(benchmark::State &state) {
    ZoltHeader *h = makeImage();
    h->oltcomp = static_cast<unsigned char>(state.range(0));
    const std::string path = tempName("read.zol");
    Zoltpot(h, path.c_str());
    Zoltfree(h, 7);
    for (auto _ : state) {
        ZoltHeader *back = Zoltpin(path.c_str());
        if (!back) state.SkipWithError("read failed");
        Zoltfree(back, 7);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSide * kSide * 4);
    std::remove(path.c_str());
}
BENCHMARK(BM_Read)->Arg(0)->Arg(1)->ArgName("compressed")->Unit(benchmark::kMillisecond);

void BM_ConvertToU8bit(benchmark::State &state) {
    ZoltHeader *h = makeImage();
    const int dims[] = {2, kSide, kSide};
    ZoltHeader *u8 = Zoltcreate("u8bit", dims, 11, 0);
    for (auto _ : state) {
        if (Zoltconvert(h, u8) != 0) state.SkipWithError("conversion refused");
        benchmark::DoNotOptimize(u8->oltptr);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSide * kSide);
    Zoltfree(u8, 7);
    Zoltfree(h, 7);
}
BENCHMARK(BM_ConvertToU8bit)->Unit(benchmark::kMillisecond);

}  // namespace
