// Display scaling onto 0..255: hand-computed mappings for every scalable type,
// flat images and frames, the per-frame switch and the refusals, which must
// leave the output and the extremes untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "vidscale.h"
#include "zolt_fixture.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

template <typename T>
void fill(ZoltHeader *h, const std::vector<T> &values) {
    std::memcpy(h->oltptr, values.data(), values.size() * sizeof(T));
}

std::vector<int> bytes(const ZoltHeader *h) {
    const auto *p = static_cast<const uint8_t *>(h->oltptr);
    return std::vector<int>(p, p + Zoltpixels(h));
}

struct Vidscale : ZoltTest {
    // an output prefilled with 77 so that untouched pixels show
    ZoltHeader *output(std::initializer_list<int> lengths) {
        ZoltHeader *o = image("u8bit", lengths);
        std::memset(o->oltptr, 77, Zoltpixels(o));
        return o;
    }
};

TEST_F(Vidscale, FloatRampMapsEndsToZeroAnd255) {
    ZoltHeader *in = image("32flt", {3});
    fill<float>(in, {0.0f, 0.5f, 1.0f});
    ZoltHeader *out = output({3});
    float lo = -9, hi = -9;
    EXPECT_EQ(Zoltvidscale(in, out, &lo, &hi, 0), ZOLT_VIDSCALE_DONE);
    EXPECT_EQ(bytes(out), (std::vector<int>{0, 127, 255}));  // 127.5 truncated
    EXPECT_EQ(lo, 0.0f);
    EXPECT_EQ(hi, 1.0f);
}

TEST_F(Vidscale, IntegerTypesMapByValue) {
    // -a, 0, +a map to 0, 127 (127.5 truncated), 255 whatever the type
    {
        ZoltHeader *in = image("u8bit", {3});
        fill<uint8_t>(in, {10, 15, 20});
        ZoltHeader *out = output({3});
        EXPECT_EQ(Zoltvidscale(in, out, nullptr, nullptr, 0), 0);
        EXPECT_EQ(bytes(out), (std::vector<int>{0, 127, 255}));
    }
    {
        ZoltHeader *in = image("8bit", {4});
        fill<int8_t>(in, {127, -128, 0, -1});
        ZoltHeader *out = output({4});
        float lo, hi;
        EXPECT_EQ(Zoltvidscale(in, out, &lo, &hi, 0), 0);
        // (0 + 128) x 255 / 255 = 128; (-1 + 128) = 127
        EXPECT_EQ(bytes(out), (std::vector<int>{255, 0, 128, 127}));
        EXPECT_EQ(lo, -128.0f);
        EXPECT_EQ(hi, 127.0f);
    }
    {
        ZoltHeader *in = image("16bit", {3});
        fill<int16_t>(in, {-1000, 0, 1000});
        ZoltHeader *out = output({3});
        EXPECT_EQ(Zoltvidscale(in, out, nullptr, nullptr, 0), 0);
        EXPECT_EQ(bytes(out), (std::vector<int>{0, 127, 255}));
    }
    {
        ZoltHeader *in = image("u16bit", {3});
        fill<uint16_t>(in, {65535, 0, 51});
        ZoltHeader *out = output({3});
        EXPECT_EQ(Zoltvidscale(in, out, nullptr, nullptr, 0), 0);
        EXPECT_EQ(bytes(out), (std::vector<int>{255, 0, 0}));  // 51 / 257 = 0.198...
    }
    {
        ZoltHeader *in = image("32bit", {3});
        // a power-of-two range keeps the single-precision scale exact
        fill<int32_t>(in, {-8388608, 8388608, 0});
        ZoltHeader *out = output({3});
        float lo, hi;
        EXPECT_EQ(Zoltvidscale(in, out, &lo, &hi, 0), 0);
        EXPECT_EQ(bytes(out), (std::vector<int>{0, 255, 127}));
        EXPECT_EQ(lo, -8388608.0f);
        EXPECT_EQ(hi, 8388608.0f);
    }
    {
        ZoltHeader *in = image("64flt", {2, 2});
        fill<double>(in, {-2.0, 2.0, 0.0, 1.0});
        ZoltHeader *out = output({2, 2});
        EXPECT_EQ(Zoltvidscale(in, out, nullptr, nullptr, 0), 0);
        EXPECT_EQ(bytes(out), (std::vector<int>{0, 255, 127, 191}));  // 3 x 63.75 = 191.25
    }
}

TEST_F(Vidscale, ComplexImagesScaleByTheirRealParts) {
    ZoltHeader *in = image("32cmp", {5});
    // imaginary parts far outside the real range must not count
    fill<float>(in, {0, 1e9f, 4, -1e9f, 2, 5e8f, 1, 0, 3, 0});
    ZoltHeader *out = output({5});
    float lo, hi;
    EXPECT_EQ(Zoltvidscale(in, out, &lo, &hi, 0), 0);
    EXPECT_EQ(lo, 0.0f);
    EXPECT_EQ(hi, 4.0f);
    EXPECT_EQ(bytes(out), (std::vector<int>{0, 255, 127, 63, 191}));

    ZoltHeader *in64 = image("64cmp", {3});
    fill<double>(in64, {-1, 100, 1, -100, 0, 7});
    ZoltHeader *out64 = output({3});
    EXPECT_EQ(Zoltvidscale(in64, out64, nullptr, nullptr, 0), 0);
    EXPECT_EQ(bytes(out64), (std::vector<int>{0, 255, 127}));
}

TEST_F(Vidscale, ExtremesComeFromTheDataEvenFarFromZero) {
    ZoltHeader *in = image("32flt", {3});
    // all values above a million (power-of-two range: exact scale)
    fill<float>(in, {2097152.0f, 2621440.0f, 3145728.0f});
    ZoltHeader *out = output({3});
    float lo, hi;
    EXPECT_EQ(Zoltvidscale(in, out, &lo, &hi, 0), 0);
    EXPECT_EQ(lo, 2097152.0f);
    EXPECT_EQ(hi, 3145728.0f);
    EXPECT_EQ(bytes(out), (std::vector<int>{0, 127, 255}));

    ZoltHeader *neg = image("64flt", {3});
    fill<double>(neg, {-25165824.0, -16777216.0, -8388608.0});
    ZoltHeader *negOut = output({3});
    EXPECT_EQ(Zoltvidscale(neg, negOut, &lo, &hi, 0), 0);
    EXPECT_EQ(lo, -25165824.0f);
    EXPECT_EQ(hi, -8388608.0f);
    EXPECT_EQ(bytes(negOut), (std::vector<int>{0, 127, 255}));
}

TEST_F(Vidscale, NanValuesAreIgnoredForExtremesAndMapToZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ZoltHeader *in = image("32flt", {9});
    fill<float>(in, {nan, 2, nan, 6, 4, nan, nan, nan, 2});
    ZoltHeader *out = output({9});
    float lo, hi;
    EXPECT_EQ(Zoltvidscale(in, out, &lo, &hi, 0), 0);
    EXPECT_EQ(lo, 2.0f);
    EXPECT_EQ(hi, 6.0f);
    EXPECT_EQ(bytes(out), (std::vector<int>{0, 0, 0, 255, 127, 0, 0, 0, 0}));

    ZoltHeader *allNan = image("32flt", {3});
    fill<float>(allNan, {nan, nan, nan});
    ZoltHeader *out2 = output({3});
    CaptureStdout();
    EXPECT_EQ(Zoltvidscale(allNan, out2, nullptr, nullptr, 0), ZOLT_VIDSCALE_FLAT);
    GetCapturedStdout();
    EXPECT_EQ(bytes(out2), (std::vector<int>{77, 77, 77}));
}

TEST_F(Vidscale, LargeImageFindsExtremesInEveryPiece) {
    // large enough to be split across threads; the extremes sit in the middle
    // and at the very end
    const int side = 640;
    ZoltHeader *in = image("32flt", {side, side});
    std::vector<float> v(size_t(side) * side, 1.0f);
    v[v.size() / 2 + 3] = 7.0f;
    v.back() = -5.0f;
    fill(in, v);
    ZoltHeader *out = output({side, side});
    float lo, hi;
    EXPECT_EQ(Zoltvidscale(in, out, &lo, &hi, 0), 0);
    EXPECT_EQ(lo, -5.0f);
    EXPECT_EQ(hi, 7.0f);
    const std::vector<int> b = bytes(out);
    EXPECT_EQ(b[v.size() / 2 + 3], 255);
    EXPECT_EQ(b.back(), 0);
    EXPECT_EQ(b[0], 127);  // 6 x 21.25 = 127.5
    EXPECT_EQ(b[v.size() - 2], 127);
}

TEST_F(Vidscale, FlatImageLeavesOutputAndExtremesUntouched) {
    ZoltHeader *in = image("32flt", {2, 2});
    fill<float>(in, {3, 3, 3, 3});
    ZoltHeader *out = output({2, 2});
    float lo = -9, hi = -9;
    CaptureStdout();
    EXPECT_EQ(Zoltvidscale(in, out, &lo, &hi, 0), ZOLT_VIDSCALE_FLAT);
    EXPECT_EQ(GetCapturedStdout(), "Cannot vidscale, all pixels are the same brightness\n");
    EXPECT_EQ(bytes(out), (std::vector<int>{77, 77, 77, 77}));
    EXPECT_EQ(lo, -9.0f);
    EXPECT_EQ(hi, -9.0f);
}

TEST_F(Vidscale, FrameSwitchScalesEachFrameAndSkipsFlatOnes) {
    ZoltHeader *in = image("32flt", {2, 1, 3});
    fill<float>(in, {0, 10, 5, 5, -4, -2});
    ZoltHeader *out = output({2, 1, 3});
    float lo, hi;
    CaptureStdout();
    EXPECT_EQ(Zoltvidscale(in, out, &lo, &hi, 1), ZOLT_VIDSCALE_FLAT);
    EXPECT_EQ(GetCapturedStdout(),
              "Zoltvidscale: image is 3D float, frame-independent scaling\n"
              "Zoltvidscale frame 0\n"
              "Zoltvidscale frame 1\n"
              "Cannot vidscale frame 1, all pixels are the same brightness\n"
              "Zoltvidscale frame 2\n");
    EXPECT_EQ(bytes(out), (std::vector<int>{0, 255, 77, 77, 0, 255}));
    EXPECT_EQ(lo, -4.0f);  // extremes of the last frame
    EXPECT_EQ(hi, -2.0f);

    // other types scale frame by frame without the progress lines
    ZoltHeader *in8 = image("u8bit", {2, 1, 2});
    fill<uint8_t>(in8, {1, 3, 200, 100});
    ZoltHeader *out8 = output({2, 1, 2});
    CaptureStdout();
    EXPECT_EQ(Zoltvidscale(in8, out8, &lo, &hi, 1), ZOLT_VIDSCALE_DONE);
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(bytes(out8), (std::vector<int>{0, 255, 255, 0}));
    EXPECT_EQ(lo, 100.0f);
    EXPECT_EQ(hi, 200.0f);
}

TEST_F(Vidscale, RefusalsPrintTheirMessageAndTouchNothing) {
    ZoltHeader *in2 = image("32flt", {2, 2});
    fill<float>(in2, {0, 1, 2, 3});
    ZoltHeader *out2 = output({2, 2});
    ZoltHeader *out3 = output({2, 2, 1});
    ZoltHeader *flt = image("32flt", {2, 2});
    ZoltHeader *small = output({2, 1});
    ZoltHeader *rgb = image("Su8bit3", {2, 2, 3});
    ZoltHeader *rgbOut = output({2, 2, 3});
    struct Case {
        const ZoltHeader *in;
        ZoltHeader *out;
        int frameSwitch, status;
        const char *message;
    } cases[] = {
        {in2, nullptr, 0, ZOLT_VIDSCALE_NO_OUTPUT, "Zoltvidscale: output image must already exist\n"},
        {nullptr, out2, 0, ZOLT_VIDSCALE_NO_INPUT, "Zoltvidscale: input image must already exist\n"},
        {in2, flt, 0, ZOLT_VIDSCALE_OUTPUT_TYPE, "Zoltvidscale: output image must be unsigned byte\n"},
        // the output is judged before the input
        {nullptr, flt, 0, ZOLT_VIDSCALE_OUTPUT_TYPE, "Zoltvidscale: output image must be unsigned byte\n"},
        {in2, out2, 1, ZOLT_VIDSCALE_NOT_3D,
         "Zoltvidscale: 3d switch is set, but image is not 3d. Must exit\n"},
        {in2, out3, 0, ZOLT_VIDSCALE_DIMENSIONS,
         "Zoltvidscale: input and output images have different dimensions.\n"},
        {in2, small, 0, ZOLT_VIDSCALE_OUTPUT_SMALL,
         "Zoltvidscale: output image is smaller than the input image.\n"},
        {rgb, rgbOut, 0, ZOLT_VIDSCALE_INPUT_TYPE, "Data type not recognized.\n"},
    };
    for (const Case &c : cases) {
        float lo = -9, hi = -9;
        CaptureStdout();
        EXPECT_EQ(Zoltvidscale(c.in, c.out, &lo, &hi, c.frameSwitch), c.status) << c.message;
        EXPECT_EQ(GetCapturedStdout(), c.message);
        EXPECT_EQ(lo, -9.0f);
        EXPECT_EQ(hi, -9.0f);
    }
    for (ZoltHeader *o : {out2, out3, small, rgbOut})
        for (int b : bytes(o)) EXPECT_EQ(b, 77);
    for (float v : std::vector<float>(static_cast<float *>(flt->oltptr),
                                      static_cast<float *>(flt->oltptr) + 4))
        EXPECT_EQ(v, 0.0f);
}

}  // namespace
