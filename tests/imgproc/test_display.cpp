// The viewers' display pipeline without the toolkit: picture widths, the 8-bit
// planes of each kind of image, drawing into rows of words (padding, clipping,
// frame counts), overlay marks, the working copy's rescale and the zoom factor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "display.h"
#include "test_picture.h"
#include "vidscale.h"
#include "zolt.h"
#include "zolt_fixture.h"

namespace {

float *floats(ZoltHeader *h) { return static_cast<float *>(h->oltptr); }
uint8_t *bytes(ZoltHeader *h) { return static_cast<uint8_t *>(h->oltptr); }

uint32_t rgb(int r, int g, int b) {
    return 0xff000000u | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}

// Byte of (v - lo) * 255 / (hi - lo) truncated, worked out in double precision.
int scaled(double v, double lo, double hi) { return static_cast<int>((v - lo) * 255.0 / (hi - lo)); }

// Every suite uses the shared fixture: reports silenced, images released.
using DisplayBytes = ZoltTest;
using DisplayWidth = ZoltTest;
using DrawBytes = ZoltTest;
using DrawWork = ZoltTest;
using ScaleToWorking = ZoltTest;
using ZoomFactor = ZoltTest;

}  // namespace

TEST_F(DisplayWidth, PadsToMultipleOfFour) {
    EXPECT_EQ(ZoltDisplayWidth(1), 4);
    EXPECT_EQ(ZoltDisplayWidth(4), 4);
    EXPECT_EQ(ZoltDisplayWidth(5), 8);
    EXPECT_EQ(ZoltDisplayWidth(7), 8);
    EXPECT_EQ(ZoltDisplayWidth(1024), 1024);
    EXPECT_EQ(ZoltDisplayWidth(1301), 1304);
    EXPECT_EQ(ZoltDisplayWidth(0), 0);
}

TEST_F(ZoomFactor, ControlValues) {
    EXPECT_DOUBLE_EQ(zoomFactor(0), 1.0);
    EXPECT_DOUBLE_EQ(zoomFactor(20), 2.0);
    EXPECT_DOUBLE_EQ(zoomFactor(-50), 0.5);
    EXPECT_DOUBLE_EQ(zoomFactor(-100), 0.0);
    EXPECT_DOUBLE_EQ(zoomFactor(255), 13.75);
    EXPECT_DOUBLE_EQ(zoomFactor(-255), -1.55);
}

// ------------------------------------------------------------ 8-bit planes

TEST_F(DisplayBytes, ThreeFramesShareOneScale) {
    ZoltHeader *img = image("float", {2, 1, 3});
    const float v[6] = {0, 10, 20, 30, 40, 50};  // frame k holds 20k and 20k + 10
    std::memcpy(floats(img), v, sizeof v);
    ZoltHeader *b = keep(ZoltDisplayBytes(img, 0, 0));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->dtype, ZOLT_U8);
    EXPECT_EQ(b->oltndim, 3);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(bytes(b)[i], scaled(v[i], 0, 50)) << i;
}

TEST_F(DisplayBytes, OtherFrameCountsGiveTheChosenFrame) {
    ZoltHeader *img = image("16bit", {2, 2, 5});
    auto *p = static_cast<int16_t *>(img->oltptr);
    for (int f = 0; f < 5; ++f)
        for (int i = 0; i < 4; ++i) p[f * 4 + i] = static_cast<int16_t>(100 * f + i * (f + 1));
    ZoltHeader *b = keep(ZoltDisplayBytes(img, 0, 3));  // 300, 304, 308, 312
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->oltndim, 2);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(bytes(b)[i], scaled(4 * i, 0, 12));
    // A frame past the end is the last frame, one before the start the first.
    b = keep(ZoltDisplayBytes(img, 0, 99));  // 400, 405, 410, 415
    EXPECT_EQ(bytes(b)[1], scaled(5, 0, 15));
    b = keep(ZoltDisplayBytes(img, 0, -1));  // 0, 1, 2, 3
    EXPECT_EQ(bytes(b)[2], scaled(2, 0, 3));
}

TEST_F(DisplayBytes, OneDimensionalImageIsOneRow) {
    ZoltHeader *img = image("u8bit", {3});
    bytes(img)[0] = 10;
    bytes(img)[1] = 20;
    bytes(img)[2] = 15;
    ZoltHeader *b = keep(ZoltDisplayBytes(img, 0, 0));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->oltndim, 2);
    EXPECT_EQ(Zoltdimen(b, 0), 3u);
    EXPECT_EQ(Zoltdimen(b, 1), 1u);
    EXPECT_EQ(bytes(b)[0], 0);
    EXPECT_EQ(bytes(b)[1], 255);
    EXPECT_EQ(bytes(b)[2], 127);
}

TEST_F(DisplayBytes, ComplexModes) {
    ZoltHeader *img = image("complex", {2, 1});
    const float v[4] = {3, 4, -6, 8};  // (3, 4) and (-6, 8)
    std::memcpy(floats(img), v, sizeof v);
    // Magnitudes 5 and 10, phases 0.927 and 2.214, real 3 and -6, imaginary 4 and 8:
    // the larger of two values always maps to 255, the smaller to 0.
    const int expect[4][2] = {{0, 255}, {0, 255}, {255, 0}, {0, 255}};
    for (int mode = 0; mode < 4; ++mode) {
        ZoltHeader *b = keep(ZoltDisplayBytes(img, mode, 0));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(bytes(b)[0], expect[mode][0]) << mode;
        EXPECT_EQ(bytes(b)[1], expect[mode][1]) << mode;
    }

    // Three values tell magnitude from real part: (0, 2), (1, 0), (0, -3).
    img = image("complex", {3, 1});
    const float w[6] = {0, 2, 1, 0, 0, -3};
    std::memcpy(floats(img), w, sizeof w);
    ZoltHeader *b = keep(ZoltDisplayBytes(img, 0, 0));  // 2, 1, 3
    EXPECT_EQ(bytes(b)[0], scaled(2, 1, 3));
    EXPECT_EQ(bytes(b)[1], 0);
    EXPECT_EQ(bytes(b)[2], 255);
}

TEST_F(DisplayBytes, FlatImageGivesZerosAndNullHeaderIsRefused) {
    ZoltHeader *img = image("float", {3, 2});
    std::fill(floats(img), floats(img) + 6, 7.0f);
    ZoltHeader *b = keep(ZoltDisplayBytes(img, 0, 0));
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(bytes(b)[i], 0);
    EXPECT_EQ(ZoltDisplayBytes(nullptr, 0, 0), nullptr);
}

TEST_F(DisplayBytes, ViewsConversionAndScalingRefuseANameOfAnotherWidth) {
    // One-byte elements named as eight-byte ones: any of these calls that
    // believed the name would read eight times past the data.
    ZoltHeader *line = image("u8bit", {8});
    ZoltHeader *plane = image("u8bit", {4, 2});
    ZoltHeader *frames = image("u8bit", {4, 2, 2});
    for (ZoltHeader *h : {line, plane, frames}) std::strcpy(h->oltdt, "64flt");
    EXPECT_EQ(ZoltDisplayBytes(line, 0, 0), nullptr);
    EXPECT_EQ(ZoltDisplayBytes(frames, 0, 1), nullptr);
    ZoltHeader *out = image("u8bit", {4, 2});
    EXPECT_EQ(Zoltvidscale(plane, out, nullptr, nullptr, 0), ZOLT_VIDSCALE_INPUT_TYPE);
    ZoltHeader *f = image("float", {4, 2});
    EXPECT_EQ(Zoltconvert(plane, f), -1);
    EXPECT_EQ(Zoltconvert(f, plane), -1);
}

// ------------------------------------------------------------- drawing

TEST_F(DrawBytes, ColourAndPaddingRepeatTheLastColumn) {
    ZoltHeader *b = image("u8bit", {5, 2, 3});
    for (int i = 0; i < 30; ++i) bytes(b)[i] = static_cast<uint8_t>(i);
    Picture pic(8, 2);
    ASSERT_EQ(ZoltDrawBytes(b, pic.rows()), 0);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 5; ++c) {
            const int at = r * 5 + c;
            EXPECT_EQ(pic.at(c, r), rgb(at, at + 10, at + 20));
        }
        for (int c = 5; c < 8; ++c) EXPECT_EQ(pic.at(c, r), pic.at(4, r));
    }
    EXPECT_TRUE(pic.guardIntact());
}

TEST_F(DrawBytes, GreyAndClippedToASmallerPicture) {
    ZoltHeader *b = image("u8bit", {6, 4});
    for (int i = 0; i < 24; ++i) bytes(b)[i] = static_cast<uint8_t>(10 * i);
    Picture pic(4, 2);
    ASSERT_EQ(ZoltDrawBytes(b, pic.rows()), 0);
    EXPECT_EQ(pic.at(3, 1), rgb(90, 90, 90));
    EXPECT_TRUE(pic.guardIntact());

    ZoltHeader *f = image("float", {2, 2});
    EXPECT_EQ(ZoltDrawBytes(f, pic.rows()), -1);
}

TEST_F(DrawWork, FrameCountsDecideTheColours) {
    // Values past 255 keep their low 8 bits (300 -> 44), negative ones wrap
    // (-1.5 -> 255), NaN draws 0.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ZoltHeader *one = image("float", {2, 1, 1});
    floats(one)[0] = 300.7f;
    floats(one)[1] = nan;
    ZoltHeader *two = image("float", {2, 1, 2});
    const float v2[4] = {10.9f, 20, 30, -1.5f};
    std::memcpy(floats(two), v2, sizeof v2);
    ZoltHeader *three = image("float", {2, 1, 3});
    const float v3[6] = {1, 2, 3, 4, 5, 6};
    std::memcpy(floats(three), v3, sizeof v3);

    Picture pic(4, 1, rgb(9, 9, 9));
    ASSERT_EQ(ZoltDrawWorkColour(one, pic.rows()), 0);
    EXPECT_EQ(pic.at(0, 0), rgb(44, 44, 44));
    EXPECT_EQ(pic.at(1, 0), rgb(0, 0, 0));
    EXPECT_EQ(pic.at(2, 0), rgb(9, 9, 9));  // padding keeps its colour
    ASSERT_EQ(ZoltDrawWorkColour(two, pic.rows()), 0);
    EXPECT_EQ(pic.at(0, 0), rgb(10, 30, 0));
    EXPECT_EQ(pic.at(1, 0), rgb(20, 255, 0));
    ASSERT_EQ(ZoltDrawWorkColour(three, pic.rows()), 0);
    EXPECT_EQ(pic.at(1, 0), rgb(2, 4, 6));

    ASSERT_EQ(ZoltDrawWorkFrame(three, 2, pic.rows()), 0);
    EXPECT_EQ(pic.at(0, 0), rgb(5, 5, 5));
    EXPECT_EQ(ZoltDrawWorkFrame(three, 3, pic.rows()), -1);
    EXPECT_EQ(ZoltDrawWorkFrame(two, -1, pic.rows()), -1);
    EXPECT_TRUE(pic.guardIntact());
}

// Far outside 0..255 the low 8 bits of the truncated value still decide.
TEST_F(DrawWork, LowBitsOfLargeValues) {
    ZoltHeader *w = image("float", {4});
    const float v[4] = {2147483520.0f, -2147483520.0f, 5.0e9f, -256.5f};  // 0x7fffff80 and its negative
    std::memcpy(floats(w), v, sizeof v);
    Picture pic(4, 1);
    ASSERT_EQ(ZoltDrawWorkFrame(w, 0, pic.rows()), 0);
    EXPECT_EQ(pic.at(0, 0), rgb(128, 128, 128));
    EXPECT_EQ(pic.at(1, 0), rgb(128, 128, 128));
    EXPECT_EQ(pic.at(2, 0), rgb(0, 0, 0));  // a multiple of 512
    EXPECT_EQ(pic.at(3, 0), rgb(0, 0, 0));  // -256
}

TEST_F(DrawWork, OverlayMarksOnlyAtMarkedPixels) {
    ZoltHeader *w = image("float", {4, 2, 4});
    float *p = floats(w);
    const size_t plane = 8;
    p[0] = 100;  // (r 0, c 0): dark, marked -> pure red
    p[plane * 3 + 0] = 255;
    p[3] = 200;  // (r 0, c 3): bright, marked -> red 55
    p[plane * 3 + 3] = 255;
    p[5] = 250;  // (r 1, c 1): bright, not marked
    Picture pic(4, 2, rgb(1, 2, 3));
    ASSERT_EQ(ZoltDrawOverlayMarks(w, 1.0, pic.rows()), 0);
    EXPECT_EQ(pic.at(0, 0), rgb(255, 0, 0));
    EXPECT_EQ(pic.at(3, 0), rgb(55, 0, 0));
    EXPECT_EQ(pic.at(1, 1), rgb(1, 2, 3));

    // At factor 2 the marks land at half their positions.
    Picture half(4, 2, rgb(1, 2, 3));
    ASSERT_EQ(ZoltDrawOverlayMarks(w, 2.0, half.rows()), 0);
    EXPECT_EQ(half.at(1, 0), rgb(55, 0, 0));
    EXPECT_EQ(half.at(3, 0), rgb(1, 2, 3));

    // A picture smaller than the marks' reach is not written outside.
    Picture tiny(2, 1);
    ASSERT_EQ(ZoltDrawOverlayMarks(w, 1.0, tiny.rows()), 0);
    EXPECT_TRUE(tiny.guardIntact());

    EXPECT_EQ(ZoltDrawOverlayMarks(w, 0.0, pic.rows()), -1);
    EXPECT_EQ(ZoltDrawOverlayMarks(w, -0.5, pic.rows()), -1);
    ZoltHeader *three = image("float", {4, 2, 3});
    EXPECT_EQ(ZoltDrawOverlayMarks(three, 1.0, pic.rows()), -1);
}

// ------------------------------------------------------------ working copy

TEST_F(ScaleToWorking, LinearOverAllFramesWithTrueExtremes) {
    ZoltHeader *src = image("float", {3, 1, 2});
    const float v[6] = {2.5e6f, 2.0e6f, 3.0e6f, -4.0e6f, 0.0f, 1.0e6f};
    std::memcpy(floats(src), v, sizeof v);
    ZoltHeader *work = image("float", {3, 1, 2});
    float mx = 0, mn = 0;
    ASSERT_EQ(scaleToWorking(src, work, 255.0f, 0.0f, &mx, &mn), 0);
    EXPECT_EQ(mx, 3.0e6f);
    EXPECT_EQ(mn, -4.0e6f);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(floats(work)[i], (v[i] + 4.0e6) * 255.0 / 7.0e6, 1e-3) << i;
    // Another range: low..high.
    ASSERT_EQ(scaleToWorking(src, work, 20.0f, 10.0f, nullptr, nullptr), 0);
    EXPECT_NEAR(floats(work)[2], 20.0, 1e-5);
    EXPECT_NEAR(floats(work)[3], 10.0, 1e-5);
}

TEST_F(ScaleToWorking, IntegerSourcesAndSpecialValues) {
    ZoltHeader *src = image("u8bit", {4});
    const uint8_t v[4] = {10, 20, 15, 12};
    std::memcpy(src->oltptr, v, 4);
    ZoltHeader *work = image("float", {4});
    float mx = 0, mn = 0;
    ASSERT_EQ(scaleToWorking(src, work, 255.0f, 0.0f, &mx, &mn), 0);
    EXPECT_EQ(mx, 20.0f);
    EXPECT_EQ(mn, 10.0f);
    EXPECT_FLOAT_EQ(floats(work)[2], 127.5f);
    EXPECT_FLOAT_EQ(floats(work)[3], 51.0f);

    // NaN goes to the low end, infinities to the ends, and neither moves the extremes.
    ZoltHeader *f = image("float", {4});
    const float inf = std::numeric_limits<float>::infinity();
    const float w[4] = {std::numeric_limits<float>::quiet_NaN(), -inf, 4.0f, inf};
    std::memcpy(floats(f), w, sizeof w);
    ASSERT_EQ(scaleToWorking(f, work, 255.0f, 0.0f, &mx, &mn), 0);
    EXPECT_EQ(mx, 4.0f);
    EXPECT_EQ(mn, 4.0f);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(floats(work)[i], 0.0f);  // one finite value: flat
    floats(f)[0] = 0.0f;
    ASSERT_EQ(scaleToWorking(f, work, 255.0f, 0.0f, &mx, &mn), 0);
    EXPECT_EQ(floats(work)[1], 0.0f);
    EXPECT_EQ(floats(work)[2], 255.0f);
    EXPECT_EQ(floats(work)[3], 255.0f);
    floats(f)[0] = std::numeric_limits<float>::quiet_NaN();
    floats(f)[1] = 2.0f;
    ASSERT_EQ(scaleToWorking(f, work, 255.0f, 0.0f, &mx, &mn), 0);
    EXPECT_EQ(floats(work)[0], 0.0f);
}

TEST_F(ScaleToWorking, RefusalsLeaveEverythingAlone) {
    ZoltHeader *src = image("float", {2, 2});
    floats(src)[1] = 1.0f;
    ZoltHeader *work = image("float", {2, 2});
    floats(work)[0] = 42.0f;
    float mx = -7, mn = -7;
    EXPECT_EQ(scaleToWorking(src, work, 0.0f, 255.0f, &mx, &mn), -1);  // high below low
    ZoltHeader *small = image("float", {2, 1});
    EXPECT_EQ(scaleToWorking(src, small, 255.0f, 0.0f, &mx, &mn), -1);  // sizes differ
    ZoltHeader *u8work = image("u8bit", {2, 2});
    EXPECT_EQ(scaleToWorking(src, u8work, 255.0f, 0.0f, &mx, &mn), -1);  // work not float
    ZoltHeader *cmp = image("complex", {2, 2});
    EXPECT_EQ(scaleToWorking(cmp, work, 255.0f, 0.0f, &mx, &mn), -1);  // complex source
    EXPECT_EQ(scaleToWorking(nullptr, work, 255.0f, 0.0f, &mx, &mn), -1);
    EXPECT_EQ(floats(work)[0], 42.0f);
    EXPECT_EQ(mx, -7.0f);
    EXPECT_EQ(mn, -7.0f);
}
