// Oriented-gradient histograms: bins of directions, counts per cell against
// directions from the reference derivatives, and the picture's lines drawn
// by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "dog_reference.h"
#include "float_image.h"
#include "hog.h"
#include "zolt_fixture.h"

namespace {

using Quiet = ZoltTest;

const double kPi = 3.14159265358979323846;

// ------------------------------------------------------------------ bins

TEST(HogBins, FortyDegreeBinsFromZeroToAFullTurn) {
    const struct {
        double degrees;
        int bin;
    } cases[] = {{0, 0}, {39.9, 0}, {40.1, 1}, {90, 2}, {179.9, 4}, {180.1, 4}, {-0.1, 8}, {-90, 6}, {-179.9, 4}};
    for (const auto &c : cases) EXPECT_EQ(flhogbin(static_cast<float>(c.degrees * kPi / 180)), c.bin) << c.degrees;
    // Just below 0 the direction rounds up to 360 degrees: that is 0 degrees.
    EXPECT_EQ(flhogbin(-1e-9f), 0);
    EXPECT_EQ(flhogbin(-2e-7f), 0);
    EXPECT_EQ(flhogbin(NAN), 0);
    EXPECT_EQ(flhogbin(static_cast<float>(kPi)), 4);
    EXPECT_EQ(flhogbin(static_cast<float>(-kPi)), 4);
}

// ---------------------------------------------------------------- counts

using HogCounts = Quiet;

TEST_F(HogCounts, NineCountsAddUpTo64InEveryCellAndFollowTheDirections) {
    const int W = 64, H = 64;
    TestImage in(W, H), out(8, 8, 9);
    std::mt19937 gen(17);
    std::uniform_real_distribution<float> u(0.0f, 255.0f);
    for (int i = 0; i < W * H; ++i) in.f()[i] = u(gen);
    ASSERT_EQ(flhog(in.h, out.h), 0);
    const auto ix = dogref::correlate(in.f(), W, H, 1.0, 1, 0), iy = dogref::correlate(in.f(), W, H, 1.0, 1, 1);
    int expected[8][8][9] = {};
    int unsure = 0;  // directions within a hair of a bin edge may go either way
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            double deg = std::atan2(iy[y * W + x], ix[y * W + x]) * 180 / kPi;
            if (deg < 0) deg += 360;
            const double edge = std::fabs(deg / 40 - std::round(deg / 40));
            if (edge < 1e-4) ++unsure;
            expected[y / 8][x / 8][static_cast<int>(deg / 40) % 9]++;
        }
    int differences = 0;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            float sum = 0;
            for (int k = 0; k < 9; ++k) {
                sum += out.at(k, i, j);
                differences += std::abs(static_cast<int>(out.at(k, i, j)) - expected[i][j][k]);
            }
            EXPECT_EQ(sum, 64.0f) << i << "," << j;
        }
    EXPECT_LE(differences, 2 * unsure);
}

TEST_F(HogCounts, ColourInputUsesTheMeanDerivatives) {
    // Frames with gradients to the left, up and left again: the mean points
    // between left and up, which is bin 3 (120 to 160 degrees) once the
    // filter's negation of odd derivatives is counted.
    const int W = 24, H = 24;
    TestImage in(W, H, 3), out(3, 3, 9);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            in.at(0, y, x) = static_cast<float>(x);
            in.at(1, y, x) = static_cast<float>(-2 * y);
            in.at(2, y, x) = static_cast<float>(x);
        }
    ASSERT_EQ(flhog(in.h, out.h), 0);
    // Mean Ix = -2/3, mean Iy = +2/3: 135 degrees away from the borders.
    EXPECT_EQ(out.at(3, 1, 1), 64.0f);
}

TEST_F(HogCounts, ShortImagesGetZeroDerivativesAndCountInBinZero) {
    TestImage in(20, 23), out(2, 2, 9);  // 16 rows of whole cells: too few for the filter
    for (int i = 0; i < 20 * 23; ++i) in.f()[i] = static_cast<float>(i % 7);
    testing::internal::CaptureStdout();
    ASSERT_EQ(flhog(in.h, out.h), 0);
    const std::string refusal = "flDoG:kernel is 4 x 4, but image is only 16 x 16. Exiting\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), refusal + refusal);  // Ix and Iy
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            EXPECT_EQ(out.at(0, i, j), 64.0f);
            for (int k = 1; k < 9; ++k) EXPECT_EQ(out.at(k, i, j), 0.0f);
        }
}

TEST_F(HogCounts, OtherInputsAndMisfitOutputs) {
    TestImage two(16, 24, 2), out(2, 3, 9), in(16, 24), wrong(2, 2, 9), flat(2, 3), bytes(2, 3, 9, "u8bit");
    EXPECT_EQ(flhog(two.h, out.h), 0);  // two frames: nothing counted
    for (int i = 0; i < 54; ++i) ASSERT_EQ(out.f()[i], 0.0f);
    EXPECT_EQ(flhog(in.h, wrong.h), -2);
    EXPECT_EQ(flhog(in.h, flat.h), -2);
    EXPECT_EQ(flhog(in.h, bytes.h), -1);
}

// ---------------------------------------------------------------- picture

using HogPicture = Quiet;

TEST_F(HogPicture, BinZeroIsAHorizontalLineThroughTheCentre) {
    TestImage counts(2, 1, 9), pic(18, 9);
    counts.at(0, 0, 0) = 5.0f;  // cell (0, 0): bin 0 only; cell (0, 1) empty
    ASSERT_EQ(flhogshow(counts.h, pic.h), 0);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 18; ++x) {
            // Row 4 from column 0 to 8 and its right neighbour 9; row 5 under it.
            const bool on = (y == 4 && x <= 9) || (y == 5 && x <= 8);
            EXPECT_EQ(pic.at(0, y, x), on ? 5.0f : 0.0f) << y << "," << x;
        }
}

TEST_F(HogPicture, SteepLineAndLargerCountsOnTop) {
    TestImage counts(1, 1, 9), pic(9, 9);
    counts.at(2, 0, 0) = 3.0f;  // 80 degrees
    ASSERT_EQ(flhogshow(counts.h, pic.h), 0);
    // d = 4: row 4 + 3.94, column 4 + 0.69; d = -4: row 0.06, column 3.31.
    EXPECT_EQ(pic.at(0, 7, 4), 3.0f);
    EXPECT_EQ(pic.at(0, 8, 4), 3.0f);
    EXPECT_EQ(pic.at(0, 0, 3), 3.0f);
    EXPECT_EQ(pic.at(0, 0, 4), 3.0f);
    EXPECT_EQ(pic.at(0, 4, 4), 3.0f);

    for (int swap = 0; swap < 2; ++swap) {
        TestImage c(1, 1, 9), p(9, 9);
        c.at(0, 0, 0) = swap ? 7.0f : 2.0f;
        c.at(4, 0, 0) = swap ? 2.0f : 7.0f;  // 160 degrees, crossing at the centre
        ASSERT_EQ(flhogshow(c.h, p.h), 0);
        EXPECT_EQ(p.at(0, 4, 4), 7.0f) << swap;
    }
}

TEST_F(HogPicture, PointsOutsideTheOutputAreSkipped) {
    TestImage counts(3, 3, 9), pic(9, 9);  // the output holds one block only
    for (int k = 0; k < 9; ++k)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) counts.at(k, i, j) = static_cast<float>(k + 1);
    ASSERT_EQ(flhogshow(counts.h, pic.h), 0);
    EXPECT_EQ(pic.at(0, 4, 4), 9.0f);  // the largest count is drawn last
}

TEST_F(HogPicture, InputNeedsNineFloatFrames) {
    TestImage eight(1, 1, 8), pic(9, 9), vol(9, 9, 1), bytes(9, 9, 0, "u8bit"), nine(1, 1, 9);
    EXPECT_EQ(flhogshow(eight.h, pic.h), -2);
    EXPECT_EQ(flhogshow(nine.h, vol.h), -2);
    EXPECT_EQ(flhogshow(nine.h, bytes.h), -1);
}

}  // namespace
