// Operations built from Gaussian derivatives: each checked against its formula
// evaluated in double on derivatives from the reference correlation, or
// against a hand-derived value on simple images.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "derivatives.h"
#include "elementwise.h"
#include "dog_reference.h"
#include "float_image.h"
#include "gauss.h"
#include "zolt_fixture.h"

namespace {

using dogref::correlate;

using Quiet = ZoltTest;

void fillRandom(TestImage &im, size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(0.0f, 100.0f);
    for (size_t i = 0; i < n; ++i) im.f()[i] = u(gen);
}

// The five derivatives of one frame from the reference.
struct Derivs {
    std::vector<double> x, y, xx, yy, xy;
    Derivs(const float *in, int W, int H, double sigma)
        : x(correlate(in, W, H, sigma, 1, 0)), y(correlate(in, W, H, sigma, 1, 1)),
          xx(correlate(in, W, H, sigma, 2, 0)), yy(correlate(in, W, H, sigma, 2, 1)),
          xy(correlate(in, W, H, sigma, 2, 2)) {}
};

// ------------------------------------------------------- formulas in double

using DerivedFormulas = Quiet;

TEST_F(DerivedFormulas, CurvatureMatchesFormulaOnEachFrame) {
    const int W = 14, H = 20, F = 2;
    TestImage in(W, H, F), out(W, H, F);
    fillRandom(in, size_t(W) * H * F, 21);
    ASSERT_EQ(flcurv(in.h, out.h, 1.0f), 0);
    for (int f = 0; f < F; ++f) {
        const Derivs d(in.f() + f * W * H, W, H, 1.0);
        for (int i = 0; i < W * H; ++i) {
            const double g2 = d.x[i] * d.x[i] + d.y[i] * d.y[i];
            const double num = d.xx[i] * d.y[i] * d.y[i] - 2 * d.x[i] * d.y[i] * d.xy[i] + d.yy[i] * d.x[i] * d.x[i];
            const double expected = num / (g2 * std::sqrt(g2) + 0.01);
            ASSERT_NEAR(out.f()[f * W * H + i], expected, 1e-4 * (1 + std::fabs(expected))) << f << ":" << i;
        }
    }
}

TEST_F(DerivedFormulas, CurvatureEqualsTheElementWiseSteps) {
    // The documented composition, step by step with the element-wise
    // routines, gives the very same floats.
    const int W = 13, H = 23;
    TestImage in(W, H), out(W, H), ix(W, H), iy(W, H), ixx(W, H), iyy(W, H), ixy(W, H), a(W, H), b(W, H);
    fillRandom(in, size_t(W) * H, 31);
    ASSERT_EQ(flcurv(in.h, out.h, 1.5f), 0);
    ASSERT_EQ(flDoG(in.h, ix.h, 1.5f, 1, 0), 0);
    ASSERT_EQ(flDoG(in.h, iy.h, 1.5f, 1, 1), 0);
    ASSERT_EQ(flDoG(in.h, ixx.h, 1.5f, 2, 0), 0);
    ASSERT_EQ(flDoG(in.h, iyy.h, 1.5f, 2, 1), 0);
    ASSERT_EQ(flDoG(in.h, ixy.h, 1.5f, 2, 2), 0);
    flmul(iy.h, iy.h, a.h);
    flmul(ixx.h, a.h, a.h);
    flmul(ix.h, iy.h, b.h);
    flmul(b.h, ixy.h, b.h);
    flscale(b.h, b.h, -2.0f);
    fladd(a.h, b.h, a.h);
    flmul(ix.h, ix.h, ix.h);
    flmul(iyy.h, ix.h, iyy.h);
    fladd(a.h, iyy.h, a.h);
    flmul(iy.h, iy.h, iy.h);
    fladd(ix.h, iy.h, ixx.h);
    ASSERT_EQ(flsgrt(ixx.h, ixy.h), 0);
    flmul(ixy.h, ixx.h, ixy.h);
    fladdconst(ixy.h, ixy.h, 0.01f);
    fldiv(a.h, ixy.h, a.h);
    for (int i = 0; i < W * H; ++i) ASSERT_EQ(out.f()[i], a.f()[i]) << i;
}

TEST_F(DerivedFormulas, CurvatureOfConstantImageIsZero) {
    TestImage in(12, 18), out(12, 18);
    for (int i = 0; i < 12 * 18; ++i) in.f()[i] = 42.0f;
    for (int i = 0; i < 12 * 18; ++i) out.f()[i] = 7.0f;
    ASSERT_EQ(flcurv(in.h, out.h, 1.0f), 0);
    for (int i = 0; i < 12 * 18; ++i) ASSERT_NEAR(out.f()[i], 0.0f, 1e-6) << i;
}

TEST_F(DerivedFormulas, CurvatureOfDistanceToAPointIsOneOverRadius) {
    // Level sets of the distance to a point are circles of radius rho; the
    // gradient has length 1, so the result is (1 / rho) / (1 + 0.01).
    const int W = 41, H = 41;
    TestImage in(W, H), out(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) in.at(0, y, x) = static_cast<float>(std::hypot(x - 20.0, y - 20.0));
    ASSERT_EQ(flcurv(in.h, out.h, 1.0f), 0);
    for (int rho : {8, 12}) {
        EXPECT_NEAR(out.at(0, 20, 20 + rho), 1.0 / rho / 1.01, 0.05 / rho) << rho;
        EXPECT_NEAR(out.at(0, 20 - rho, 20), 1.0 / rho / 1.01, 0.05 / rho) << rho;
    }
}

TEST_F(DerivedFormulas, HarrisInteriorMatchesAndBordersAreLeftUnwritten) {
    const int W = 11, H = 19;
    TestImage in(W, H), out(W, H);
    fillRandom(in, size_t(W) * H, 5);
    for (int i = 0; i < W * H; ++i) out.f()[i] = -123.0f;
    ASSERT_EQ(flharris(in.h, out.h, 1.0f), 0);
    const Derivs d(in.f(), W, H, 1.0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (y == 0 || x == 0 || y == H - 1 || x == W - 1) {
                ASSERT_EQ(out.at(0, y, x), -123.0f) << y << "," << x;
                continue;
            }
            double sxx = 0, syy = 0, sxy = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int i = (y + dy) * W + x + dx;
                    sxx += d.x[i] * d.x[i] / 9;
                    syy += d.y[i] * d.y[i] / 9;
                    sxy += d.x[i] * d.y[i] / 9;
                }
            const double expected = sxx * syy - sxy * sxy - 0.07 * (sxx + syy) * (sxx + syy);
            ASSERT_NEAR(out.at(0, y, x), expected, 1e-4 * (1 + std::fabs(expected))) << y << "," << x;
        }
}

TEST_F(DerivedFormulas, LaplacianSumsOrSquaresTheSecondDerivatives) {
    const int W = 16, H = 30;
    TestImage in(W, H), pos(W, H), neg(W, H), direct(W, H);
    fillRandom(in, size_t(W) * H, 9);
    ASSERT_EQ(fllaplace(in.h, pos.h, 2.0f), 0);
    ASSERT_EQ(fllaplace(in.h, neg.h, -2.0f), 0);
    ASSERT_EQ(flDoG(in.h, direct.h, 2.0f, 0, 3), 0);  // the summed kernel
    const auto xx = correlate(in.f(), W, H, 2.0, 2, 0), yy = correlate(in.f(), W, H, 2.0, 2, 1);
    for (int i = 0; i < W * H; ++i) {
        ASSERT_NEAR(pos.f()[i], xx[i] + yy[i], 1e-4) << i;
        ASSERT_NEAR(direct.f()[i], pos.f()[i], 1e-4) << i;
        const double squares = xx[i] * xx[i] + yy[i] * yy[i];
        ASSERT_NEAR(neg.f()[i], squares, 1e-4 * (1 + squares)) << i;
    }
}

TEST_F(DerivedFormulas, QuadraticVariationScalesBySigmaSquared) {
    const int W = 12, H = 22;
    TestImage in(W, H), out(W, H);
    fillRandom(in, size_t(W) * H, 13);
    ASSERT_EQ(flqvar(in.h, out.h, 1.25f), 0);
    const auto xx = correlate(in.f(), W, H, 1.25, 2, 0), yy = correlate(in.f(), W, H, 1.25, 2, 1),
               xy = correlate(in.f(), W, H, 1.25, 2, 2);
    for (int i = 0; i < W * H; ++i) {
        const double expected = 1.5625 * (xx[i] * xx[i] + yy[i] * yy[i] + xy[i] * xy[i]);
        ASSERT_NEAR(out.f()[i], expected, 1e-4 * (1 + expected)) << i;
    }
}

TEST_F(DerivedFormulas, GradientOfRampsHasUnitLengthAndItsDirection) {
    // Odd derivatives come out negated, so a ramp rising to the right points
    // at pi and one rising downwards at -pi/2.
    const int W = 24, H = 20;
    TestImage right(W, H), down(W, H), mag(W, H), dir(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            right.at(0, y, x) = 2.0f * x;
            down.at(0, y, x) = 0.5f * y;
        }
    ASSERT_EQ(flgmag(right.h, mag.h, 1.0f), 0);
    ASSERT_EQ(flgdir(right.h, dir.h, 1.0f), 0);
    for (int y = 4; y < H - 4; ++y)
        for (int x = 4; x < W - 4; ++x) {
            ASSERT_NEAR(mag.at(0, y, x), 2.0f, 0.01f);
            ASSERT_NEAR(std::fabs(dir.at(0, y, x)), 3.14159265f, 1e-5f);
        }
    ASSERT_EQ(flgmag(down.h, mag.h, 1.0f), 0);
    ASSERT_EQ(flgdir(down.h, dir.h, 1.0f), 0);
    for (int y = 4; y < H - 4; ++y)
        for (int x = 4; x < W - 4; ++x) {
            ASSERT_NEAR(mag.at(0, y, x), 0.5f, 0.01f);
            ASSERT_NEAR(dir.at(0, y, x), -3.14159265f / 2, 1e-5f);
        }
}

// -------------------------------------------------------------- refusals

using DerivedRefusals = Quiet;

TEST_F(DerivedRefusals, TypesAndSizesAreChecked) {
    TestImage in(10, 20), out(10, 20), bytes(10, 20, 0, "u8bit"), small(10, 19), frames(10, 20, 2);
    using Op = int (*)(const ZoltHeader *, ZoltHeader *, float);
    const Op checked[] = {flcurv, fllaplace, flqvar, flgmag, flgdir};
    for (Op op : checked) {
        EXPECT_EQ(op(bytes.h, out.h, 1.0f), -1);
        EXPECT_EQ(op(in.h, bytes.h, 1.0f), -1);
        EXPECT_EQ(op(in.h, small.h, 1.0f), -2);
        EXPECT_EQ(op(in.h, frames.h, 1.0f), -2);
        EXPECT_EQ(op(nullptr, out.h, 1.0f), -1);
    }
    // Harris and the maxima write only float outputs that fit.
    EXPECT_EQ(flharris(in.h, bytes.h, 1.0f), -1);
    EXPECT_EQ(flharris(in.h, small.h, 1.0f), -2);
    // Harris writes every frame of the input: a one-frame output of a
    // two-frame input is refused, not written past its end.
    for (int i = 0; i < 200; ++i) out.f()[i] = 5.0f;
    EXPECT_EQ(flharris(frames.h, out.h, 1.0f), -2);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(out.f()[i], 5.0f) << i;
    TestImage two(10, 20, 2);
    EXPECT_EQ(flmarkmax(in.h, two.h, 0.0f), -2);
    EXPECT_EQ(flmarkmax(in.h, out.h, 0.0f), -2);
}

TEST_F(DerivedRefusals, FailingFilterLeavesZerosAndReportsItsStatus) {
    TestImage in(10, 17), out(10, 17);  // 17 rows: too few for sigma 1
    fillRandom(in, 170, 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(flqvar(in.h, out.h, 1.0f), FLDOG_SHORT);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("non zero value returned from flDoG2,0\n"), std::string::npos);
    EXPECT_NE(said.find("non zero value returned from flDoG2,1\n"), std::string::npos);
    EXPECT_NE(said.find("value -5 returned from flDoG2,2\n"), std::string::npos);
    for (int i = 0; i < 170; ++i) ASSERT_EQ(out.f()[i], 0.0f);
    testing::internal::CaptureStdout();
    EXPECT_EQ(fllaplace(in.h, out.h, 0.5f), 0);  // r = 2 fits
    EXPECT_EQ(flgmag(in.h, out.h, 0.0f), FLDOG_SIGMA);
    testing::internal::GetCapturedStdout();
    for (int i = 0; i < 170; ++i) ASSERT_EQ(out.f()[i], 0.0f);
}

// ------------------------------------------------------------ local maxima

using MarkMax = Quiet;

// The 8-bit value a float takes when an image spanning lo..hi is scaled.
float byteOf(float v, float lo, float hi) {
    const float scale = 255.0f / (hi - lo);
    return std::trunc((v - lo) * scale);
}

TEST_F(MarkMax, SingleBrightPixelIsMarkedRedAndTheRestKeepsItsGrey) {
    const int W = 9, H = 7;
    TestImage in(W, H), out(W, H, 3);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) in.at(0, y, x) = static_cast<float>(10 * x);  // no maxima of its own
    in.at(0, 3, 4) = 400.0f;
    for (int i = 0; i < W * H * 3; ++i) out.f()[i] = -1.0f;
    testing::internal::CaptureStdout();
    ASSERT_EQ(flmarkmax(in.h, out.h, 0.0f), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "starting..\n");
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const bool border = y == 0 || x == 0 || y == H - 1 || x == W - 1;
            for (int c = 0; c < 3; ++c) {
                float expected = border ? -1.0f : byteOf(in.at(0, y, x), 0.0f, 400.0f);
                if (y == 3 && x == 4) expected = c == 0 ? 255.0f : 0.0f;
                ASSERT_EQ(out.at(c, y, x), expected) << c << ":" << y << "," << x;
            }
        }
}

TEST_F(MarkMax, TwoEqualNeighbouringMaximaAreNeitherMarked) {
    TestImage in(8, 8), out(8, 8, 3);
    in.at(0, 4, 3) = 50.0f;
    in.at(0, 4, 4) = 50.0f;
    testing::internal::CaptureStdout();
    ASSERT_EQ(flmarkmax(in.h, out.h, 0.0f), 0);
    testing::internal::GetCapturedStdout();
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(out.at(c, 4, 3), 255.0f);
        EXPECT_EQ(out.at(c, 4, 4), 255.0f);
        EXPECT_EQ(out.at(c, 2, 2), 0.0f);
    }
}

TEST_F(MarkMax, BlurKeepsAnIsolatedPeakInPlace) {
    TestImage in(20, 20), out(20, 20, 3);
    in.at(0, 9, 11) = 100.0f;
    testing::internal::CaptureStdout();
    ASSERT_EQ(flmarkmax(in.h, out.h, 1.0f), 0);
    testing::internal::GetCapturedStdout();
    int marks = 0;
    for (int y = 1; y < 19; ++y)
        for (int x = 1; x < 19; ++x)
            if (out.at(0, y, x) == 255.0f && out.at(1, y, x) == 0.0f) ++marks;
    EXPECT_EQ(marks, 1);
    EXPECT_EQ(out.at(0, 9, 11), 255.0f);
    EXPECT_EQ(out.at(1, 9, 11), 0.0f);
}

TEST_F(MarkMax, ColourInputTakesItsTestFromTheLastFrame) {
    const int W = 6, H = 6;
    TestImage in(W, H, 3), out(W, H, 3);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) in.at(c, y, x) = static_cast<float>(c * 20 + x);
    in.at(2, 2, 2) = 255.0f;  // a peak in the last frame only
    in.at(0, 3, 3) = 255.0f;  // a peak in the first frame only: not marked
    ASSERT_EQ(flmarkmax(in.h, out.h, 0.0f), 0);
    EXPECT_EQ(out.at(0, 2, 2), 255.0f);
    EXPECT_EQ(out.at(1, 2, 2), 0.0f);
    EXPECT_EQ(out.at(2, 2, 2), 0.0f);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(out.at(c, 3, 3), byteOf(in.at(c, 3, 3), 0.0f, 255.0f)) << c;
    EXPECT_EQ(out.at(1, 1, 4), byteOf(24.0f, 0.0f, 255.0f));
}

TEST_F(MarkMax, FewerThanThreeFramesLendTheLastFrame) {
    const int W = 5, H = 5;
    TestImage in(W, H, 2), out(W, H, 3);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            in.at(0, y, x) = static_cast<float>(x);
            in.at(1, y, x) = static_cast<float>(10 + y);
        }
    ASSERT_EQ(flmarkmax(in.h, out.h, 0.0f), 0);
    const float lo = 0.0f, hi = 14.0f;
    EXPECT_EQ(out.at(0, 1, 2), byteOf(2.0f, lo, hi));
    EXPECT_EQ(out.at(1, 1, 2), byteOf(11.0f, lo, hi));
    EXPECT_EQ(out.at(2, 1, 2), byteOf(11.0f, lo, hi));
}

}  // namespace
