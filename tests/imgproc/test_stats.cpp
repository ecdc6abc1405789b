// Per-frame statistics against a direct double-precision reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "stats.h"
#include "zolt_fixture.h"

namespace {

using Stats = ZoltTest;

// Straightforward reference over a list of values.
ZoltFrameStats reference(const std::vector<double> &v) {
    ZoltFrameStats s;
    s.max = -INFINITY;
    s.min = INFINITY;
    double sum = 0;
    for (double x : v) {
        sum += x;
        s.max = std::fmax(s.max, x);
        s.min = std::fmin(s.min, x);
    }
    s.mean = sum / v.size();
    double sq = 0;
    for (double x : v) sq += (x - s.mean) * (x - s.mean);
    s.sd = std::sqrt(sq / v.size());
    s.count = v.size();
    return s;
}

void expectNear(const ZoltFrameStats &got, const ZoltFrameStats &want, double tol) {
    EXPECT_NEAR(got.max, want.max, tol);
    EXPECT_NEAR(got.min, want.min, tol);
    EXPECT_NEAR(got.mean, want.mean, tol);
    EXPECT_NEAR(got.sd, want.sd, tol);
    EXPECT_EQ(got.count, want.count);
}

TEST_F(Stats, SmallU8ImageByHand) {
    ZoltHeader *h = image("u8bit", {2, 2});
    ASSERT_NE(h, nullptr);
    const unsigned char v[] = {1, 2, 3, 4};
    std::memcpy(h->oltptr, v, 4);
    ZoltFrameStats s;
    ASSERT_EQ(Zoltframestats(h, 0, &s), 0);
    EXPECT_EQ(s.max, 4.0);
    EXPECT_EQ(s.min, 1.0);
    EXPECT_EQ(s.mean, 2.5);
    EXPECT_NEAR(s.sd, std::sqrt(1.25), 1e-12);
    EXPECT_EQ(s.count, 4u);
}

TEST_F(Stats, ExtremesComeFromTheDataWhateverTheirRange) {
    ZoltHeader *h = image("float", {3, 1});
    float *p = static_cast<float *>(h->oltptr);
    p[0] = -3e6f;
    p[1] = -2e6f;
    p[2] = -2.5e6f;
    ZoltFrameStats s;
    ASSERT_EQ(Zoltframestats(h, 0, &s), 0);
    EXPECT_EQ(s.max, -2e6);
    EXPECT_EQ(s.min, -3e6);
    p[0] = 5e7f;
    p[1] = 2e7f;
    p[2] = 3e7f;
    ASSERT_EQ(Zoltframestats(h, 0, &s), 0);
    EXPECT_EQ(s.max, 5e7);
    EXPECT_EQ(s.min, 2e7);
}

// A NaN takes no part in the extremes wherever it stands; the sums carry it.
TEST_F(Stats, NaNValuesTakeNoPartInTheExtremes) {
    ZoltHeader *h = image("float", {3});
    float *p = static_cast<float *>(h->oltptr);
    const float orders[3][3] = {{NAN, 5.0f, -2.0f}, {5.0f, NAN, -2.0f}, {5.0f, -2.0f, NAN}};
    for (const auto &v : orders) {
        std::memcpy(p, v, sizeof v);
        ZoltFrameStats s;
        ASSERT_EQ(Zoltframestats(h, 0, &s), 0);
        EXPECT_EQ(s.max, 5.0);
        EXPECT_EQ(s.min, -2.0);
        EXPECT_TRUE(std::isnan(s.mean));
        EXPECT_TRUE(std::isnan(s.sd));
    }
    // Nothing but NaN: no extremes at all.
    std::fill(p, p + 3, NAN);
    ZoltFrameStats s;
    ASSERT_EQ(Zoltframestats(h, 0, &s), 0);
    EXPECT_TRUE(std::isnan(s.max));
    EXPECT_TRUE(std::isnan(s.min));
}

TEST_F(Stats, ConstantImageHasNoSpread) {
    ZoltHeader *h = image("float", {4, 3});
    float *p = static_cast<float *>(h->oltptr);
    for (int i = 0; i < 12; ++i) p[i] = -7.25f;
    ZoltFrameStats s;
    ASSERT_EQ(Zoltframestats(h, 0, &s), 0);
    EXPECT_EQ(s.max, -7.25);
    EXPECT_EQ(s.min, -7.25);
    EXPECT_EQ(s.mean, -7.25);
    EXPECT_EQ(s.sd, 0.0);
}

TEST_F(Stats, SumsDoNotLoseSmallValuesNextToLargeOnes) {
    // In single precision 1e8 + 1 stays 1e8, so the ones would vanish.
    ZoltHeader *h = image("float", {1000});
    float *p = static_cast<float *>(h->oltptr);
    std::vector<double> v(1000, 1.0);
    v[0] = 1e8;
    for (int i = 0; i < 1000; ++i) p[i] = static_cast<float>(v[i]);
    ZoltFrameStats s;
    ASSERT_EQ(Zoltframestats(h, 0, &s), 0);
    EXPECT_DOUBLE_EQ(s.mean, (1e8 + 999.0) / 1000.0);
    expectNear(s, reference(v), 1e-6);
}

TEST_F(Stats, EachFrameOfAThreeDimensionalImageStandsAlone) {
    const int cols = 5, rows = 4, frames = 3;
    ZoltHeader *h = image("16bit", {cols, rows, frames});
    auto *p = static_cast<int16_t *>(h->oltptr);
    std::vector<std::vector<double>> want(frames);
    for (int f = 0; f < frames; ++f)
        for (int i = 0; i < cols * rows; ++i) {
            const int v = (f - 1) * 1000 + (i * 37) % 23 - 11;
            p[f * cols * rows + i] = static_cast<int16_t>(v);
            want[f].push_back(v);
        }
    for (int f = 0; f < frames; ++f) {
        ZoltFrameStats s;
        ASSERT_EQ(Zoltframestats(h, f, &s), 0) << "frame " << f;
        expectNear(s, reference(want[f]), 1e-9);
    }
    ZoltFrameStats s;
    EXPECT_NE(Zoltframestats(h, 3, &s), 0);
    EXPECT_EQ(ZoltErrorCode, ZOLT_EDIM);
    EXPECT_NE(Zoltframestats(h, -1, &s), 0);
}

TEST_F(Stats, ComplexImagesCountTheirRealParts) {
    ZoltHeader *h = image("32cmp", {2, 1});
    float *p = static_cast<float *>(h->oltptr);
    const float v[] = {1.0f, 100.0f, 3.0f, -100.0f};
    std::memcpy(p, v, sizeof v);
    ZoltFrameStats s;
    ASSERT_EQ(Zoltframestats(h, 0, &s), 0);
    expectNear(s, reference({1.0, 3.0}), 1e-12);
}

TEST_F(Stats, InterleavedChannelsAreFrames) {
    ZoltHeader *h = image("Su8bit3", {2, 1, 3});
    ASSERT_NE(h, nullptr);
    const unsigned char v[] = {10, 20, 30, 40, 50, 60};  // two pixels of R G B
    std::memcpy(h->oltptr, v, sizeof v);
    ZoltFrameStats s;
    ASSERT_EQ(Zoltframestats(h, 1, &s), 0);
    expectNear(s, reference({20, 50}), 1e-12);
    ASSERT_EQ(Zoltframestats(h, 2, &s), 0);
    expectNear(s, reference({30, 60}), 1e-12);
}

TEST_F(Stats, InterleavedImageWithoutItsChannelFramesIsRefused) {
    // A 2-D "Su8bit3" image holds one byte a pixel, not three: walking its
    // channels would read past the data.
    ZoltHeader *h = image("Su8bit3", {4, 4});
    ASSERT_NE(h, nullptr);
    ZoltFrameStats s;
    s.max = 42;
    EXPECT_EQ(Zoltframestats(h, 0, &s), ZOLT_EHEADER);
    EXPECT_EQ(s.max, 42);
}

TEST_F(Stats, BadInputIsReportedNotRead) {
    ZoltFrameStats s;
    s.max = 42;
    EXPECT_NE(Zoltframestats(nullptr, 0, &s), 0);
    EXPECT_EQ(ZoltErrorCode, ZOLT_ENULL);
    EXPECT_EQ(s.max, 42);
    const int dims[] = {2, 3, 3};
    ZoltHeader *bare = keep(Zoltcreate("float", dims, 1, 0));  // no pixel data
    ASSERT_NE(bare, nullptr);
    EXPECT_NE(Zoltframestats(bare, 0, &s), 0);
    ZoltHeader *st = keep(Zoltcreate("struct", dims, 11, 6));
    ASSERT_NE(st, nullptr);
    EXPECT_NE(Zoltframestats(st, 0, &s), 0);
    EXPECT_EQ(ZoltErrorCode, ZOLT_ETYPE);
}

TEST_F(Stats, ShapeFillsMissingDimensionsWithOne) {
    int c, r, f;
    ZoltHeader *h = image("float", {7});
    ASSERT_EQ(Zoltshape(h, &c, &r, &f), 0);
    EXPECT_EQ(c, 7);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(f, 1);
    h = image("float", {7, 2, 5});
    ASSERT_EQ(Zoltshape(h, &c, &r, &f), 0);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(f, 5);
}

}  // namespace

TEST_F(Stats, UnknownTypeCodeIsReportedAsSuchEvenWithChannelBits) {
    // 0x31 is no type, though its channel bits read "three channels".
    ZoltHeader *h = image("u8bit", {4, 4, 1});
    ASSERT_NE(h, nullptr);
    h->dtype = 0x31;
    ZoltErrorMode = 8;
    ZoltFrameStats s;
    testing::internal::CaptureStderr();
    const int status = Zoltframestats(h, 0, &s);
    const std::string said = testing::internal::GetCapturedStderr();
    ZoltErrorMode = 1;
    EXPECT_EQ(status, ZOLT_ETYPE);
    EXPECT_NE(said.find("unrecognized or illegal data type"), std::string::npos) << said;
    EXPECT_EQ(said.find("fewer frames"), std::string::npos) << said;
}
