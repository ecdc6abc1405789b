// Speed of a viewer's pictures for a 2048 x 2048 image of three frames: the
// first display (8-bit picture, working copy scaled to 0..255, colour drawing
// of the working copy), a re-render of the picture from the working copy, and
// the redraw with display adjustments that runs on every slider move.
#include <benchmark/benchmark.h>

#include <QImage>
#include <memory>

#include "adjust.h"
#include "display.h"
#include "displayimage.h"
#include "zolt.h"

namespace {

constexpr int kSide = 2048;

ZoltHeader *threeFrames() {
    const int dims[] = {3, kSide, kSide, 3};
    ZoltHeader *h = Zoltcreate("float", dims, 11, 0);
    float *p = static_cast<float *>(h->oltptr);
    const size_t plane = size_t(kSide) * kSide;
    for (int f = 0; f < 3; ++f)
        for (size_t i = 0; i < plane; ++i)
            p[f * plane + i] = float((i * (f + 3)) % 4093) - 1000.0f;
    return h;
}

ZoltHeader *workLike(const ZoltHeader *img) {
    int *dims = Zoltsiz(img);
    ZoltHeader *w = Zoltcreate("float", dims, 11, 0);
    Zoltcfree(dims);
    return w;
}

// What the View command and the viewer's construction compute before the
// window shows: no widgets, only the pictures.
void BM_FirstDisplay(benchmark::State &state) {
    ZoltHeader *img = threeFrames();
    for (auto _ : state) {
        std::unique_ptr<QImage> picture(makeDisplayImage(img, 0, 0));
        ZoltHeader *work = workLike(img);
        float mx, mn;
        scaleToWorking(img, work, 255.0f, 0.0f, &mx, &mn);
        ZoltDrawWorkColour(work, pictureRows(*picture));
        benchmark::DoNotOptimize(picture->constBits());
        Zoltfree(work, 7);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kSide) * kSide);
    Zoltfree(img, 7);
}
BENCHMARK(BM_FirstDisplay)->Unit(benchmark::kMillisecond);

// Redrawing the colour picture from the working copy.
void BM_Rerender(benchmark::State &state) {
    ZoltHeader *img = threeFrames();
    ZoltHeader *work = workLike(img);
    scaleToWorking(img, work, 255.0f, 0.0f, nullptr, nullptr);
    std::unique_ptr<QImage> picture(makeDisplayImage(img, 0, 0));
    for (auto _ : state) {
        ZoltDrawWorkColour(work, pictureRows(*picture));
        benchmark::DoNotOptimize(picture->constBits());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kSide) * kSide);
    Zoltfree(work, 7);
    Zoltfree(img, 7);
}
BENCHMARK(BM_Rerender)->Unit(benchmark::kMillisecond);

// Redrawing with offsets and a level/window mapping (every slider move).
void BM_ApplyAdjustments(benchmark::State &state) {
    ZoltHeader *img = threeFrames();
    ZoltHeader *work = workLike(img);
    scaleToWorking(img, work, 255.0f, 0.0f, nullptr, nullptr);
    std::unique_ptr<QImage> picture(makeDisplayImage(img, 0, 0));
    const int offsets[3] = {50, 50, 20};
    const ZoltLevelWindow lw = ZoltLevelWindowOf(30, 128);
    for (auto _ : state) {
        ZoltApplyAdjustments(work, offsets, lw, pictureRows(*picture));
        benchmark::DoNotOptimize(picture->constBits());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kSide) * kSide);
    Zoltfree(work, 7);
    Zoltfree(img, 7);
}
BENCHMARK(BM_ApplyAdjustments)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
