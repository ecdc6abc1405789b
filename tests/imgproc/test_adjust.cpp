// Display adjustments without the toolkit: the redraw against a direct
// per-pixel evaluation of the mapping, hand-worked level/window edges, the
// write-back into the source image, and the overlay's frame changes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "adjust.h"
#include "display.h"
#include "float_image.h"
#include "overlay.h"
#include "test_picture.h"
#include "zolt.h"

namespace {

// The channel byte straight from the definition, one value at a time.
uint32_t reference(float w, int offset, int level, int window) {
    const float lo = float(level);
    float hi = float(window + level);
    if (hi - lo == 0.0f) hi = float(double(hi) + 0.0001);
    const float d = hi - lo;
    double x = double(w) + offset;
    if (std::isnan(x)) x = 0.0;  // NaN is clamped like a value below 0
    x = std::min(255.0, std::max(0.0, x));
    double y = (x - double(lo)) * 255.0 / double(d);
    y = std::min(255.0, std::max(0.0, y));
    return uint32_t(int(y));
}

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return 0xff000000u | r << 16 | g << 8 | b; }

}  // namespace

// Wide enough to be shared out over the cores, with an odd width so the
// picture has padding, and values that sit on and near every boundary.
TEST(ApplyAdjustments, EveryPixelIsTheFormula) {
    const int cols = 301, rows = 233;
    TestImage work(cols, rows, 3);
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> any(-1.0f, 260.0f);
    const size_t n = size_t(cols) * rows * 3;
    for (size_t i = 0; i < n; ++i) {
        switch (i % 5) {
            case 0: work.f()[i] = any(gen); break;
            case 1: work.f()[i] = float(i % 256); break;                        // integers
            case 2: work.f()[i] = float(i % 256) + 0.5f; break;                 // halves
            case 3: work.f()[i] = std::nextafter(float(i % 256), 0.0f); break;  // just below
            default: work.f()[i] = (i % 7 == 0) ? std::numeric_limits<float>::quiet_NaN() : 1e-30f;
        }
    }
    struct Setting { int off[3], level, window; };
    const Setting settings[] = {{{0, 0, 0}, 0, 255}, {{50, 50, 20}, 0, 128}, {{-255, 255, 7}, 100, 0},
                                {{3, -4, 5}, -10, 37}, {{0, 0, 0}, 3900, 100}, {{1, 2, 3}, 17, 3}};
    for (const Setting &s : settings) {
        // The first rows hold, per channel, the values whose mapping lands on
        // or next to each step: where a shortcut in the arithmetic would show.
        const ZoltLevelWindow lw = ZoltLevelWindowOf(s.level, s.window);
        for (int f = 0; f < 3; ++f)
            for (int j = 0; j < 256; ++j) {
                const float w = float(double(lw.lo) + j * double(lw.d) / 255.0 - s.off[f]);
                const float near[3] = {std::nextafter(w, -1e9f), w, std::nextafter(w, 1e9f)};
                for (int k = 0; k < 3; ++k) work.at(f, (3 * j + k) / cols, (3 * j + k) % cols) = near[k];
            }
        Picture pic(304, rows);
        ASSERT_EQ(ZoltApplyAdjustments(work.h, s.off, ZoltLevelWindowOf(s.level, s.window), pic.rows()), 0);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                const uint32_t want = rgb(reference(work.at(0, r, c), s.off[0], s.level, s.window),
                                          reference(work.at(1, r, c), s.off[1], s.level, s.window),
                                          reference(work.at(2, r, c), s.off[2], s.level, s.window));
                ASSERT_EQ(pic.at(c, r), want) << "at " << c << "," << r << " level " << s.level;
            }
            for (int c = cols; c < 304; ++c) ASSERT_EQ(pic.at(c, r), pic.at(cols - 1, r));
        }
        EXPECT_TRUE(pic.guardIntact());
    }
}

// Values worked by hand: W 255 keeps values, W 128 doubles the lower half,
// W 0 at L 100 is a threshold, and offsets are clamped before the mapping.
TEST(ApplyAdjustments, LevelWindowEdgesAndShapes) {
    TestImage grey(6, 1);
    const float v[6] = {0, 64, 100, 100.5f, 128, 250};
    for (int c = 0; c < 6; ++c) grey.at(0, 0, c) = v[c];
    auto draw = [&](const ZoltHeader *img, int off0, int level, int window) {
        Picture pic(8, 1);
        const int off[3] = {off0, 99, 99};  // green and blue offsets never reach grey
        EXPECT_EQ(ZoltApplyAdjustments(img, off, ZoltLevelWindowOf(level, window), pic.rows()), 0);
        std::vector<int> out;
        for (int c = 0; c < 8; ++c) out.push_back(int(pic.at(c, 0) & 255u));
        EXPECT_EQ(pic.at(3, 0), rgb(out[3], out[3], out[3]));
        return out;
    };
    EXPECT_EQ(draw(grey.h, 0, 0, 255), (std::vector<int>{0, 64, 100, 100, 128, 250, 250, 250}));
    EXPECT_EQ(draw(grey.h, 0, 0, 128), (std::vector<int>{0, 127, 199, 200, 255, 255, 255, 255}));
    EXPECT_EQ(draw(grey.h, 0, 100, 0), (std::vector<int>{0, 0, 0, 255, 255, 255, 255, 255}));
    EXPECT_EQ(draw(grey.h, 20, 0, 255), (std::vector<int>{20, 84, 120, 120, 148, 255, 255, 255}));
    EXPECT_EQ(draw(grey.h, -70, 0, 255), (std::vector<int>{0, 0, 30, 30, 58, 180, 180, 180}));

    // Two frames: blue stays 0; the maps never read a third frame.
    TestImage two(1, 1, 2);
    two.at(0, 0, 0) = 10;
    two.at(1, 0, 0) = 20;
    Picture pic(4, 1);
    const int off[3] = {1, 2, 3};
    ASSERT_EQ(ZoltApplyAdjustments(two.h, off, ZoltLevelWindowOf(0, 255), pic.rows()), 0);
    EXPECT_EQ(pic.at(0, 0), rgb(11, 22, 0));
    TestImage bytes(2, 2, 0, "u8bit");
    EXPECT_EQ(ZoltApplyAdjustments(bytes.h, off, ZoltLevelWindowOf(0, 255), pic.rows()), -1);
}

TEST(WriteBack, NeutralKeepsValuesWindowClipsAndShapesAreRespected) {
    TestImage src(5, 4, 3);
    for (int f = 0; f < 3; ++f)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 5; ++c) src.at(f, r, c) = -40.0f + 7.5f * (c + 5 * r) + f;
    TestImage work(5, 4, 3);
    float mx = 0, mn = 0;
    ASSERT_EQ(scaleToWorking(src.h, work.h, 255.0f, 0.0f, &mx, &mn), 0);
    std::vector<float> before(src.f(), src.f() + 60);

    const int zero[3] = {0, 0, 0};
    ASSERT_EQ(ZoltWriteBackAdjusted(work.h, src.h, true, zero, ZoltLevelWindowOf(0, 255), mx, mn), 0);
    for (int i = 0; i < 60; ++i) EXPECT_NEAR(src.f()[i], before[i], 1e-4 * (mx - mn)) << i;

    // Window 128: the upper half of the range comes back as the maximum.
    ASSERT_EQ(ZoltWriteBackAdjusted(work.h, src.h, true, zero, ZoltLevelWindowOf(0, 128), mx, mn), 0);
    for (int i = 0; i < 60; ++i)
        if (before[i] >= mn + (mx - mn) * 128.0f / 255.0f) {
            EXPECT_FLOAT_EQ(src.f()[i], mx) << i;
        }

    // A grey write-back touches frame 0 only; a smaller target (a buffer
    // refilled behind the viewer) gets only what both images hold.
    TestImage small(2, 2, 3);
    small.at(1, 1, 1) = 77.0f;
    const int bright[3] = {255, 0, 0};
    ASSERT_EQ(ZoltWriteBackAdjusted(work.h, small.h, false, bright, ZoltLevelWindowOf(0, 255), 1.0f, 0.0f), 0);
    EXPECT_FLOAT_EQ(small.at(0, 1, 1), 1.0f);
    EXPECT_FLOAT_EQ(small.at(1, 1, 1), 77.0f);
}

TEST(Overlay, FramesComeAndGoAndPicturesSplitIntoPlanes) {
    TestImage three(3, 2, 3);
    for (int i = 0; i < 18; ++i) three.f()[i] = float(i);
    ZoltHeader *four = ZoltWithFrames(three.h, 4);
    ASSERT_NE(four, nullptr);
    ASSERT_EQ(Zoltdimen(four, 2), 4u);
    const float *p = static_cast<const float *>(four->oltptr);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(p[i], float(i));
    for (int i = 18; i < 24; ++i) EXPECT_EQ(p[i], 0.0f);
    static_cast<float *>(four->oltptr)[18 + 4] = 255.0f;  // a mark at row 1, column 1

    // The picture is 4 wide: its padding column has no mark to copy.
    Picture pic(4, 2);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) pic.words[size_t(r) * 4 + c] = rgb(c, 10 * r, 200);
    ZoltHeader *planes = ZoltPicturePlanes(pic.rows(), 4, four);
    ASSERT_NE(planes, nullptr);
    const float *q = static_cast<const float *>(planes->oltptr);
    EXPECT_EQ(q[4 + 3], 3.0f);           // red of (3, 1)
    EXPECT_EQ(q[8 + 4 + 3], 10.0f);      // green
    EXPECT_EQ(q[16 + 4 + 3], 200.0f);    // blue
    EXPECT_EQ(q[24 + 4 + 1], 255.0f);    // the mark
    EXPECT_EQ(q[24 + 4 + 3], 0.0f);      // padding: no mark
    ZoltHeader *back = ZoltWithFrames(four, 3);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Zoltdimen(back, 2), 3u);
    EXPECT_EQ(ZoltPicturePlanes(pic.rows(), 2, nullptr), nullptr);
    Zoltfree(back, 7);
    Zoltfree(planes, 7);
    Zoltfree(four, 7);
}
