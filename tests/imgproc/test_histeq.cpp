// Histogram equalisation: values worked out by hand, the empirical
// distribution of integer images, colour frames sharing one histogram, and
// the refusals that leave the output alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "histeq.h"
#include "zolt_fixture.h"

namespace {

struct Histeq : ZoltTest {
    // A zero-filled float image: 2-D, or of `frames` frames.
    ZoltHeader *floatImage(int cols, int rows, int frames = 1) {
        return frames > 1 ? image("float", {cols, rows, frames}) : image("float", {cols, rows});
    }
    ZoltHeader *floats(int cols, int rows, const std::vector<float> &v, int frames = 1) {
        ZoltHeader *h = floatImage(cols, rows, frames);
        std::copy(v.begin(), v.end(), pixels<float>(h));
        return h;
    }
    // Equalises and returns the output values (frames x rows x cols).
    std::vector<float> equalise(ZoltHeader *in, int frames = 1, std::string *said = nullptr) {
        const int cols = static_cast<int>(Zoltdimen(in, 0)), rows = static_cast<int>(Zoltdimen(in, 1));
        ZoltHeader *out = floatImage(cols, rows, frames);
        testing::internal::CaptureStdout();
        EXPECT_EQ(flhisteq(in, out, 0), HISTEQ_OK);
        const std::string text = testing::internal::GetCapturedStdout();
        if (said) *said = text;
        const float *o = static_cast<const float *>(out->oltptr);
        return std::vector<float>(o, o + static_cast<size_t>(cols) * rows * frames);
    }
};

TEST_F(Histeq, DistinctValuesSpreadByRank) {
    // 0..15: each value has a bin of its own (v x 255 / 15 = 17 v), so value v
    // becomes 255 (v + 1) / 16; the maximum becomes 255 exactly
    std::vector<float> v(16);
    for (int i = 0; i < 16; ++i) v[i] = static_cast<float>(i);
    const auto out = equalise(floats(4, 4, v));
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(out[i], 255.0 * (i + 1) / 16.0, 1e-4) << i;
    EXPECT_EQ(out[15], 255.f);
}

TEST_F(Histeq, TwoValuedImage) {
    // 5 of 20 pixels hold the lower value: 255 x 5 / 20 = 63.75
    std::vector<float> v(20, 7.f);
    for (int i : {0, 3, 8, 11, 19}) v[i] = 3.f;
    const auto out = equalise(floats(5, 4, v));
    for (int i = 0; i < 20; ++i) EXPECT_FLOAT_EQ(out[i], v[i] == 3.f ? 63.75f : 255.f) << i;
}

TEST_F(Histeq, ExtremesComeFromTheDataFarFromZero) {
    // values above a million (and below minus a million) are equalised too
    EXPECT_EQ(equalise(floats(2, 2, {2e6f, 2e6f, 3e6f, 3e6f})),
              (std::vector<float>{127.5f, 127.5f, 255.f, 255.f}));
    EXPECT_EQ(equalise(floats(2, 2, {-3e6f, -2e6f, -2e6f, -2e6f})),
              (std::vector<float>{63.75f, 255.f, 255.f, 255.f}));
}

TEST_F(Histeq, IntegerImageFollowsItsEmpiricalDistribution) {
    // values 0..255 with both ends present: the bin of v is v, so the output
    // is 255 x (share of pixels not above v), counted here by sorting
    const int cols = 300, rows = 450;  // large enough to be cut in pieces
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> pick(0, 255);
    std::vector<float> v(cols * rows);
    for (float &x : v) x = static_cast<float>(pick(gen));
    v[17] = 0.f;
    v[4000] = 255.f;
    std::vector<float> sorted(v);
    std::sort(sorted.begin(), sorted.end());
    const auto out = equalise(floats(cols, rows, v));
    int wrong = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double notAbove = std::upper_bound(sorted.begin(), sorted.end(), v[i]) - sorted.begin();
        wrong += std::fabs(out[i] - 255.0 * notAbove / v.size()) > 1e-3;
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Histeq, SpreadValuesFollowTheBinFormula) {
    // real values: bins by trunc((v - min) x 255 / (max - min)) in double
    // precision, counted and accumulated here the plain way
    const int cols = 300, rows = 450;
    std::mt19937 gen(4);
    std::normal_distribution<float> pick(100.f, 30.f);
    std::vector<float> v(cols * rows);
    for (float &x : v) x = pick(gen);
    const double lo = *std::min_element(v.begin(), v.end()), hi = *std::max_element(v.begin(), v.end());
    // every third value on or one step beside a bin edge, where a single-
    // precision product and the quotient may truncate differently
    for (size_t i = 0; i < v.size(); i += 3) {
        const float edge = static_cast<float>(lo + (gen() % 256) * (hi - lo) / 255.0);
        const float step = gen() % 3 == 0 ? edge : std::nextafter(edge, gen() % 2 ? 1e30f : -1e30f);
        v[i] = static_cast<float>(std::clamp<double>(step, lo, hi));
    }
    std::vector<int> bin(v.size());
    std::vector<double> below(256, 0);
    for (size_t i = 0; i < v.size(); ++i) {
        bin[i] = static_cast<int>((v[i] - lo) * 255.0 / (hi - lo));
        for (int b = bin[i]; b < 256; ++b) ++below[b];
    }
    const auto out = equalise(floats(cols, rows, v));
    int wrong = 0;
    for (size_t i = 0; i < v.size(); ++i) wrong += std::fabs(out[i] - 255.0 * below[bin[i]] / v.size()) > 1e-3;
    EXPECT_EQ(wrong, 0);
    // in place, where the output cannot hold anything while counting: the same values
    ZoltHeader *same = floats(cols, rows, v);
    testing::internal::CaptureStdout();
    EXPECT_EQ(flhisteq(same, same, 0), HISTEQ_OK);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::equal(out.begin(), out.end(), pixels<float>(same)));
}

TEST_F(Histeq, ColourFramesShareOneHistogram) {
    // frames {1,2,3,4}, {1,1,1,1}, {4,4,4,4}: bins 0, 85, 170, 255 with
    // counts 5, 1, 1, 5 of 12
    ZoltHeader *in = floats(2, 2, {1, 2, 3, 4, 1, 1, 1, 1, 4, 4, 4, 4}, 3);
    std::string said;
    const auto out = equalise(in, 3, &said);
    const float one = 255.f * 5 / 12, two = 255.f * 6 / 12, three = 255.f * 7 / 12;
    const std::vector<float> want{one, two, three, 255, one, one, one, one, 255, 255, 255, 255};
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(out[i], want[i], 1e-4) << i;
    EXPECT_NE(said.find("h[0]= 5.000000\n"), std::string::npos);
    EXPECT_NE(said.find("h[85]= 1.000000\n"), std::string::npos);
    EXPECT_NE(said.find("p[254]= 0.583333\n"), std::string::npos);
    EXPECT_NE(said.find("p[255]= 1.000000\n"), std::string::npos);
}

TEST_F(Histeq, NotANumberStaysOutOfTheHistogram) {
    const auto out = equalise(floats(2, 2, {NAN, 0.f, 1.f, 1.f}));
    EXPECT_TRUE(std::isnan(out[0]));
    EXPECT_FLOAT_EQ(out[1], 85.f);  // one of the three numbers
    EXPECT_FLOAT_EQ(out[2], 255.f);
}

TEST_F(Histeq, ByteImagesInAndOut) {
    ZoltHeader *in = image("u8bit", {2, 2});
    const unsigned char v[] = {10, 10, 10, 200};
    std::copy(v, v + 4, static_cast<unsigned char *>(in->oltptr));
    ZoltHeader *out = image("u8bit", {2, 2});
    testing::internal::CaptureStdout();
    ASSERT_EQ(flhisteq(in, out, 0), HISTEQ_OK);
    testing::internal::GetCapturedStdout();
    const auto *o = static_cast<const unsigned char *>(out->oltptr);
    EXPECT_EQ(o[0], 191);  // 255 x 3 / 4 = 191.25, truncated on the way in
    EXPECT_EQ(o[3], 255);
}

TEST_F(Histeq, NegativeBorderValuesAreReported) {
    // 4 x 3: (0,1) and (1,3) lie on the border, (1,1) and (1,2) inside
    ZoltHeader *in = floats(4, 3, {0, -1, 2, 3, 4, -5, -6, -7, 8, 9, 10, 11});
    std::string said;
    equalise(in, 1, &said);
    EXPECT_EQ(said, "row 0 col 1\nrow 1 col 3\n");
}

TEST_F(Histeq, RefusalsLeaveTheOutputAlone) {
    ZoltHeader *flat = floats(3, 3, std::vector<float>(9, 42.f));
    ZoltHeader *out = floats(3, 3, std::vector<float>(9, 7.f));
    testing::internal::CaptureStdout();
    EXPECT_EQ(flhisteq(flat, out, 0), HISTEQ_CONSTANT);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "maximum = minimum. Somethings is wrong with this image\n");

    ZoltHeader *in = floats(3, 4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    testing::internal::CaptureStdout();
    EXPECT_EQ(flhisteq(in, floats(3, 4, std::vector<float>(12, 7.f)), 3), HISTEQ_SMALL);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Hist0.0:Cannot equalize histogram of an image (4 x 3 )smaller than the neighborhood(3)\n");
    EXPECT_EQ(flhisteq(in, out, 2), HISTEQ_REFUSED);   // windows are not offered
    EXPECT_EQ(flhisteq(in, image("float", {4, 3}), 0), HISTEQ_REFUSED);  // wrong shape
    EXPECT_EQ(flhisteq(floats(2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 3), image("float", {2, 2}), 0),
              HISTEQ_REFUSED);  // colour into one frame
    for (int i = 0; i < 9; ++i) EXPECT_EQ(static_cast<float *>(out->oltptr)[i], 7.f) << i;
}

}  // namespace
