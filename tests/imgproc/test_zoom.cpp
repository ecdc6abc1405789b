// Zoom and resize: hand-computed 2-D and 3-D results of the three methods,
// a linear ramp (which bilinear interpolation must reproduce exactly), the
// agreement of the fast and the per-pixel paths, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zoom.h"
#include "zolt_fixture.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct Zoom : ZoltTest {
    // 2 x 2 frames holding 100 f + (0, 10 / 20, 30)
    ZoltHeader *square(int frames) {
        ZoltHeader *h = frames ? image("32flt", {2, 2, frames}) : image("32flt", {2, 2});
        float *p = static_cast<float *>(h->oltptr);
        for (int f = 0; f < std::max(frames, 1); ++f)
            for (int i = 0; i < 4; ++i) p[4 * f + i] = 100.0f * f + 10.0f * i;
        return h;
    }
};

std::vector<float> values(const ZoltHeader *h) {
    const float *p = static_cast<const float *>(h->oltptr);
    return std::vector<float>(p, p + Zoltpixels(h));
}

std::vector<float> plus(std::vector<float> v, float add) {
    for (float &x : v) x += add;
    return v;
}

TEST_F(Zoom, TwoByTwoToFourByFourIn2d) {
    ZoltHeader *in = square(0);
    ZoltHeader *out = image("32flt", {4, 4});

    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in, out, 0), 0);
    EXPECT_EQ(GetCapturedStdout(),
              "Image will be zoomed by bilinear interpolation\n"
              "zoomupdown: processing a 2D image\n"
              "f=0,r=0,c=0\n");
    // positions 0, 0.5, 1, 1.5 with the last neighbour held to the last row/column
    EXPECT_EQ(values(out), (std::vector<float>{0, 5, 10, 10, 10, 15, 20, 20,  //
                                               20, 25, 30, 30, 20, 25, 30, 30}));

    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in, out, 1), 0);
    EXPECT_EQ(GetCapturedStdout(),
              "Image will be zoomed by pixel replication\n"
              "zoomupdown: processing a 2D image\n");
    EXPECT_EQ(values(out), (std::vector<float>{0, 0, 10, 10, 0, 0, 10, 10,  //
                                               20, 20, 30, 30, 20, 20, 30, 30}));

    // averaging upward: every output pixel takes the one 2 x 2 block
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in, out, 2), 0);
    EXPECT_EQ(GetCapturedStdout(),
              "Image will be zoomed by averaging\n"
              "zoomupdown: processing a 2D image\n");
    EXPECT_EQ(values(out), std::vector<float>(16, 15.0f));
}

TEST_F(Zoom, HalvingByAveragingTakesEachBlocksMean) {
    ZoltHeader *in = image("32flt", {4, 4});
    float *p = static_cast<float *>(in->oltptr);
    for (int i = 0; i < 16; ++i) p[i] = static_cast<float>(i * i);
    ZoltHeader *out = image("32flt", {2, 2});
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in, out, 2), 0);
    GetCapturedStdout();
    EXPECT_EQ(values(out), (std::vector<float>{(0 + 1 + 16 + 25) / 4.0f, (4 + 9 + 36 + 49) / 4.0f,
                                               (64 + 81 + 144 + 169) / 4.0f, (100 + 121 + 196 + 225) / 4.0f}));
}

TEST_F(Zoom, SingleRowAndColumnInputsStayInside) {
    ZoltHeader *in = image("32flt", {1, 1});
    static_cast<float *>(in->oltptr)[0] = 7.0f;
    ZoltHeader *out = image("32flt", {3, 2});
    for (int method : {0, 1, 2}) {
        std::memset(out->oltptr, 0, 6 * sizeof(float));
        CaptureStdout();
        EXPECT_EQ(Zoltzoomupdown(in, out, method), 0);
        GetCapturedStdout();
        EXPECT_EQ(values(out), std::vector<float>(6, 7.0f)) << method;
    }
}

TEST_F(Zoom, ThreeDUsesPixelCentresFrameByFrame) {
    ZoltHeader *in = square(3);
    ZoltHeader *out = image("32flt", {4, 4, 3});

    // rows and columns sample 0.5, 1, 1.5 and 2 (held to 1)
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in, out, 1), 0);
    EXPECT_EQ(GetCapturedStdout(),
              "Image will be zoomed by pixel replication\n"
              "zoomupdown: processing a 3D, 3 4 4image\n");
    const std::vector<float> replicated{0, 10, 10, 10, 20, 30, 30, 30, 20, 30, 30, 30, 20, 30, 30, 30};
    std::vector<float> got = values(out);
    for (int f = 0; f < 3; ++f)
        EXPECT_EQ(std::vector<float>(got.begin() + 16 * f, got.begin() + 16 * (f + 1)), plus(replicated, 100.0f * f))
            << f;

    const std::vector<float> bilinear{15, 20, 20, 20, 25, 30, 30, 30, 25, 30, 30, 30, 25, 30, 30, 30};
    for (int method : {0, 2}) {  // averaging of 3-D images interpolates too
        CaptureStdout();
        EXPECT_EQ(Zoltzoomupdown(in, out, method), 0);
        GetCapturedStdout();
        got = values(out);
        for (int f = 0; f < 3; ++f)
            EXPECT_EQ(std::vector<float>(got.begin() + 16 * f, got.begin() + 16 * (f + 1)), plus(bilinear, 100.0f * f))
                << method << " " << f;
    }
}

TEST_F(Zoom, ThreeDHalvingInterpolatesAtCentres) {
    // v = 4 r + c is linear, so interpolation at (0.5, 0.5) ... is exact
    ZoltHeader *in = image("32flt", {4, 4, 2});
    float *p = static_cast<float *>(in->oltptr);
    for (int i = 0; i < 32; ++i) p[i] = static_cast<float>(i % 16) + (i >= 16 ? 50.0f : 0.0f);
    ZoltHeader *out = image("32flt", {2, 2, 2});
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in, out, 0), 0);
    GetCapturedStdout();
    EXPECT_EQ(values(out), (std::vector<float>{2.5f, 4.5f, 10.5f, 12.5f, 52.5f, 54.5f, 60.5f, 62.5f}));
}

TEST_F(Zoom, LinearRampIsReproducedAtOddRatios) {
    const int rows = 200, cols = 300, outRows = 311, outCols = 517;
    ZoltHeader *in = image("32flt", {cols, rows});
    float *p = static_cast<float *>(in->oltptr);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p[r * cols + c] = 3.0f * r + 2.0f * c;
    ZoltHeader *out = image("32flt", {outCols, outRows});
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in, out, 0), 0);
    GetCapturedStdout();
    const float ry = float(rows) / float(outRows), rx = float(cols) / float(outCols);
    const float *o = static_cast<const float *>(out->oltptr);
    for (int m = 0; m < outRows; ++m)
        for (int i = 0; i < outCols; ++i) {
            const double y = std::min<float>(ry * float(m), rows - 1), x = std::min<float>(rx * float(i), cols - 1);
            ASSERT_NEAR(o[m * outCols + i], 3 * y + 2 * x, 2e-3) << m << "," << i;
        }

    // the per-pixel path (a "64flt" output) agrees with the buffer path
    ZoltHeader *dbl = image("64flt", {outCols, outRows});
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in, dbl, 0), 0);
    GetCapturedStdout();
    const double *d = static_cast<const double *>(dbl->oltptr);
    for (int k = 0; k < outRows * outCols; ++k) ASSERT_EQ(d[k], static_cast<double>(o[k])) << k;
}

TEST_F(Zoom, OtherTypesGoThroughThePixelCalls) {
    // a "16bit" input into a "u8bit" output: values truncated when stored
    ZoltHeader *in = image("16bit", {2, 2});
    const int16_t v[] = {0, 11, 21, 30};
    std::memcpy(in->oltptr, v, sizeof v);
    ZoltHeader *out = image("u8bit", {4, 1});
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in, out, 0), 0);
    GetCapturedStdout();
    // row 0 only (ratio 2): columns at 0, 0.5, 1, 1.5 -> 0, 5.5, 11, 11
    const uint8_t *o = static_cast<const uint8_t *>(out->oltptr);
    EXPECT_EQ(std::vector<int>(o, o + 4), (std::vector<int>{0, 5, 11, 11}));

    // interleaved colour input, 3-D: each channel is a frame
    ZoltHeader *rgb = image("Su8bit3", {2, 1, 3});
    const uint8_t c[] = {1, 2, 3, 11, 12, 13};  // pixel 0 = (1, 2, 3), pixel 1 = (11, 12, 13)
    std::memcpy(rgb->oltptr, c, sizeof c);
    ZoltHeader *planes = image("32flt", {2, 1, 3});
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(rgb, planes, 1), 0);
    GetCapturedStdout();
    EXPECT_EQ(values(planes), (std::vector<float>{1, 11, 2, 12, 3, 13}));
}

TEST_F(Zoom, RefusalsWriteNothing) {
    ZoltHeader *in3 = square(3);
    ZoltHeader *out2 = image("32flt", {4, 4, 2});
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in3, out2, 0), -1);
    EXPECT_EQ(GetCapturedStdout(),
              "Image will be zoomed by bilinear interpolation\n"
              "Zoltzoomupdown: both input and output images must have same number of frames\n"
              "input image is 2 2 3, output is 4 4 2\n");
    EXPECT_EQ(values(out2), std::vector<float>(32, 0.0f));

    ZoltHeader *line = image("32flt", {5});
    ZoltHeader *out = image("32flt", {4, 4});
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(line, out, 1), -1);
    EXPECT_EQ(GetCapturedStdout(),
              "Image will be zoomed by pixel replication\n"
              "zoomupdown: bug in case statement!\n");

    ZoltHeader *in2 = square(0);
    CaptureStdout();
    EXPECT_EQ(Zoltzoomupdown(in2, out, 3), -1);
    EXPECT_EQ(Zoltzoomupdown(in2, out, -1), -1);
    EXPECT_EQ(Zoltzoomupdown(nullptr, out, 0), -1);
    EXPECT_EQ(Zoltzoomupdown(in2, nullptr, 0), -1);
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(values(out), std::vector<float>(16, 0.0f));
}

TEST_F(Zoom, SamplerHoldsPositionsInside) {
    ZoltHeader *in = square(2);
    CaptureStdout();
    EXPECT_FLOAT_EQ(Zoltbilinear(in, 0, 0.0f, 0.0f), 0.0f);
    EXPECT_FLOAT_EQ(Zoltbilinear(in, 1, 0.0f, 0.0f), 100.0f);
    EXPECT_EQ(GetCapturedStdout(), "f=0,r=0,c=0\nf=1,r=0,c=0\n");
    EXPECT_FLOAT_EQ(Zoltbilinear(in, 1, 0.25f, 0.5f), 100.0f + 0.75f * 5 + 0.25f * 25);
    EXPECT_FLOAT_EQ(Zoltbilinear(in, 0, 9.0f, 9.0f), 30.0f);
    EXPECT_FLOAT_EQ(Zoltbilinear(in, 0, -3.0f, 1.0f), 10.0f);
    EXPECT_EQ(Zoltbilinear(in, 2, 0.5f, 0.5f), 0.0f);
    EXPECT_EQ(Zoltbilinear(in, -1, 0.5f, 0.5f), 0.0f);
}

}  // namespace
