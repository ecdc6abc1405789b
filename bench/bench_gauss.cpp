// Speed of the Gaussian-derivative filter and of the curvature built on it.
#include <benchmark/benchmark.h>

#include <random>

#include "imgproc.h"

namespace {

ZoltHeader *randomImage(int side) {
    const int dims[] = {2, side, side};
    ZoltHeader *h = Zoltcreate("float", dims, 11, 0);
    std::mt19937 gen(5);
    std::uniform_real_distribution<float> u(0.0f, 255.0f);
    float *p = static_cast<float *>(h->oltptr);
    for (size_t i = 0; i < size_t(side) * side; ++i) p[i] = u(gen);
    return h;
}

void filter(benchmark::State &state, float sigma, int order, int direction) {
    const int side = static_cast<int>(state.range(0));
    ZoltHeader *in = randomImage(side);
    const int dims[] = {2, side, side};
    ZoltHeader *out = Zoltcreate("float", dims, 11, 0);
    for (auto _ : state) benchmark::DoNotOptimize(flDoG(in, out, sigma, order, direction));
    state.SetItemsProcessed(state.iterations() * side * side);
    Zoltfree(in, 7);
    Zoltfree(out, 7);
}

void BM_BlurSigma2(benchmark::State &state) { filter(state, 2.0f, 0, 0); }
void BM_DxSigma1(benchmark::State &state) { filter(state, 1.0f, 1, 0); }
void BM_DySigma1(benchmark::State &state) { filter(state, 1.0f, 1, 1); }
void BM_LaplaceKernelSigma1(benchmark::State &state) { filter(state, 1.0f, 0, 3); }

void BM_Curvature(benchmark::State &state) {
    const int side = static_cast<int>(state.range(0));
    ZoltHeader *in = randomImage(side);
    const int dims[] = {2, side, side};
    ZoltHeader *out = Zoltcreate("float", dims, 11, 0);
    for (auto _ : state) benchmark::DoNotOptimize(flcurv(in, out, 1.0f));
    state.SetItemsProcessed(state.iterations() * side * side);
    Zoltfree(in, 7);
    Zoltfree(out, 7);
}

}  // namespace

BENCHMARK(BM_BlurSigma2)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DxSigma1)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DySigma1)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LaplaceKernelSigma1)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Curvature)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();
