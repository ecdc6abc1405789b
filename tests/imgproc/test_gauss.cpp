// Gaussian-derivative filtering checked against a direct double-precision
// correlation written here from the kernel formulas, with the border
// replicated by clamping coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dog_reference.h"
#include "float_image.h"
#include "gauss.h"
#include "zolt_fixture.h"

namespace {

using dogref::coef;
using dogref::correlate;
using dogref::radius;
using Image = TestImage;

void fillRandom(Image &im, size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(0.0f, 255.0f);
    for (size_t i = 0; i < n; ++i) im.f()[i] = u(gen);
}

using Quiet = ZoltTest;

// ------------------------------------------------------------ accuracy

struct Selector {
    int order, dir;
    float sigma;
};
const Selector kSelectors[] = {{0, 0, 1.0f},  {1, 0, 1.0f},  {2, 0, 1.3f}, {3, 0, 1.0f}, {0, 1, 0.7f},
                               {1, 1, 1.0f},  {2, 1, 1.0f},  {3, 1, 1.4f}, {2, 2, 1.0f}, {0, 3, 1.0f},
                               {0, 3, -1.0f}, {1, 0, -1.2f}, {0, 0, 2.0f}};

using FilterAccuracy = Quiet;

TEST_F(FilterAccuracy, EverySelectorMatchesDoubleCorrelationOnEveryFrame) {
    const int W = 19, H = 34, F = 2;
    Image in(W, H, F), out(W, H, F);
    fillRandom(in, size_t(W) * H * F, 7);
    for (const Selector &sel : kSelectors) {
        SCOPED_TRACE("order " + std::to_string(sel.order) + " dir " + std::to_string(sel.dir) + " sigma " +
                     std::to_string(sel.sigma));
        ASSERT_EQ(flDoG(in.h, out.h, sel.sigma, sel.order, sel.dir), 0);
        for (int f = 0; f < F; ++f) {
            const float *src = in.f() + f * W * H;
            const auto ref = correlate(src, W, H, sel.sigma, sel.order, sel.dir);
            const double scale = dogref::magnitude(ref);
            for (int i = 0; i < W * H; ++i)
                ASSERT_NEAR(out.f()[f * W * H + i], ref[i], 2e-6 * scale) << "frame " << f << " pixel " << i;
        }
    }
}

// A frame large enough to be shared between the cores: every row where one
// share ends and the next begins comes out as in the reference, and the
// library's nesting count, which the cores' buffer requests pass through,
// comes back to where it was (a race there shows under a thread checker).
TEST_F(FilterAccuracy, LargeFrameSharedBetweenCoresMatchesReference) {
    const int W = 1024, H = 160;
    Image in(W, H), out(W, H);
    fillRandom(in, size_t(W) * H, 23);
    const int depth = ZoltDepth;
    for (const Selector &sel : {Selector{1, 0, 2.0f}, Selector{1, 1, 2.0f}, Selector{0, 3, 2.0f}}) {
        SCOPED_TRACE("order " + std::to_string(sel.order) + " dir " + std::to_string(sel.dir));
        ASSERT_EQ(flDoG(in.h, out.h, sel.sigma, sel.order, sel.dir), 0);
        EXPECT_EQ(ZoltDepth, depth);
        for (int y = 0; y < H; ++y)
            for (int x : {0, 3, 517, W - 1}) {
                const double ref = dogref::pixel(in.f(), W, H, sel.sigma, sel.order, sel.dir, x, y);
                ASSERT_NEAR(out.f()[y * W + x], ref, 2e-4) << x << "," << y;
            }
    }
}

// The filter is at least as close to the double result as the plain
// single-precision 2-D sum with a float kernel.
TEST_F(FilterAccuracy, NoWorseThanDirectSinglePrecisionSum) {
    const int W = 48, H = 40;
    Image in(W, H), out(W, H);
    fillRandom(in, size_t(W) * H, 11);
    for (const Selector &sel : kSelectors) {
        SCOPED_TRACE("order " + std::to_string(sel.order) + " dir " + std::to_string(sel.dir));
        ASSERT_EQ(flDoG(in.h, out.h, sel.sigma, sel.order, sel.dir), 0);
        const auto ref = correlate(in.f(), W, H, sel.sigma, sel.order, sel.dir, false);
        const auto plain = correlate(in.f(), W, H, sel.sigma, sel.order, sel.dir, true);
        double errFast = 0, errPlain = 0, sqFast = 0, sqPlain = 0;
        for (int i = 0; i < W * H; ++i) {
            const double a = std::fabs(out.f()[i] - ref[i]), b = std::fabs(plain[i] - ref[i]);
            errFast = std::max(errFast, a);
            errPlain = std::max(errPlain, b);
            sqFast += a * a;
            sqPlain += b * b;
        }
        EXPECT_LE(errFast, errPlain * 1.0001 + 1e-12);
        EXPECT_LE(sqFast, sqPlain * 1.0001 + 1e-24);
    }
}

// --------------------------------------------------------- borders, ramps

using FilterShapes = Quiet;

TEST_F(FilterShapes, ConstantImageGivesValueTimesKernelSumEverywhere) {
    const int W = 12, H = 22;
    const float v = 37.5f;
    Image in(W, H), out(W, H);
    for (int i = 0; i < W * H; ++i) in.f()[i] = v;
    for (float sigma : {1.0f, 1.5f}) {
        const int r = radius(sigma);
        double sum = 0;
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) sum += coef(sigma, 0, 0, dx, dy);
        EXPECT_NEAR(sum, 1.0, 0.01);  // close to a unit sum for sigma of 1 or more
        ASSERT_EQ(flDoG(in.h, out.h, sigma, 0, 0), 0);
        for (int i = 0; i < W * H; ++i) ASSERT_NEAR(out.f()[i], v * sum, 1e-4) << i;  // corners included
    }
}

TEST_F(FilterShapes, BorderRepeatsTheEdgePixels) {
    // A single bright pixel in a corner acts like a 5 x 5 block beyond it
    // (r = 4 at sigma 1): the corner output sums the kernel over dx, dy <= 0.
    const int W = 10, H = 18;
    Image in(W, H), out(W, H);
    in.f()[0] = 1.0f;
    ASSERT_EQ(flDoG(in.h, out.h, 1.0f, 0, 0), 0);
    double corner = 0;
    for (int dy = -4; dy <= 0; ++dy)
        for (int dx = -4; dx <= 0; ++dx) corner += coef(1.0, 0, 0, dx, dy);
    EXPECT_NEAR(out.f()[0], corner, 1e-6);
}

TEST_F(FilterShapes, RisingRampHasNegativeConstantDx) {
    const int W = 30, H = 18;
    Image in(W, H), out(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) in.f()[y * W + x] = static_cast<float>(x);
    ASSERT_EQ(flDoG(in.h, out.h, 1.0f, 1, 0), 0);
    double expected = 0;  // sum of k(dx, dy) x dx
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx) expected += coef(1.0, 1, 0, dx, dy) * dx;
    EXPECT_NEAR(expected, -1.0, 0.01);  // the negative of the slope
    for (int y = 0; y < H; ++y)
        for (int x = 4; x < W - 4; ++x) ASSERT_NEAR(out.f()[y * W + x], expected, 1e-5) << x << "," << y;
    EXPECT_GT(out.f()[0], expected);  // the replicated border flattens the ramp
    // Across rows the ramp does not change: Dy is 0.
    ASSERT_EQ(flDoG(in.h, out.h, 1.0f, 1, 1), 0);
    for (int i = 0; i < W * H; ++i) ASSERT_NEAR(out.f()[i], 0.0f, 1e-5);
}

TEST_F(FilterShapes, OutputMayBeTheInputOrAnotherType) {
    const int W = 16, H = 22;
    Image in(W, H), copy(W, H), out(W, H), wide(W, H, 0, "double");
    fillRandom(in, size_t(W) * H, 3);
    std::memcpy(copy.f(), in.f(), sizeof(float) * W * H);
    ASSERT_EQ(flDoG(in.h, out.h, 1.2f, 2, 1), 0);
    ASSERT_EQ(flDoG(copy.h, copy.h, 1.2f, 2, 1), 0);
    ASSERT_EQ(flDoG(in.h, wide.h, 1.2f, 2, 1), 0);
    const double *d = static_cast<const double *>(wide.h->oltptr);
    for (int i = 0; i < W * H; ++i) {
        ASSERT_EQ(copy.f()[i], out.f()[i]) << i;
        ASSERT_EQ(static_cast<float>(d[i]), out.f()[i]) << i;
    }
}

TEST_F(FilterShapes, PadRepeatsEdgesOfTheChosenFrame) {
    Image in(3, 2, 2);
    for (int i = 0; i < 12; ++i) in.f()[i] = static_cast<float>(i);  // frame 1 holds 6..11
    ZoltHeader *pad = flpad(in.h, 1, 2, 1);
    ASSERT_NE(pad, nullptr);
    ASSERT_EQ(Zoltdimen(pad, 0), 7u);
    ASSERT_EQ(Zoltdimen(pad, 1), 4u);
    const float expected[4][7] = {{6, 6, 6, 7, 8, 8, 8},
                                  {6, 6, 6, 7, 8, 8, 8},
                                  {9, 9, 9, 10, 11, 11, 11},
                                  {9, 9, 9, 10, 11, 11, 11}};
    const float *p = static_cast<const float *>(pad->oltptr);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(p[y * 7 + x], expected[y][x]) << y << "," << x;
    Zoltfree(pad, 7);
    EXPECT_EQ(flpad(in.h, 1, 1, 2), nullptr);  // no frame 2
}

// -------------------------------------------------------------- refusals

using FilterRefusals = Quiet;

TEST_F(FilterRefusals, ImageMustHave4rPlus2Rows) {
    Image shortImg(12, 17), tall(12, 18), out17(12, 17), out18(12, 18);
    testing::internal::CaptureStdout();
    EXPECT_EQ(flDoG(shortImg.h, out17.h, 1.0f, 0, 0), -5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "flDoG:kernel is 4 x 4, but image is only 17 x 12. Exiting\n");
    EXPECT_EQ(flDoG(tall.h, out18.h, 1.0f, 0, 0), 0);
    Image r29(3, 29), r30(3, 30), o29(3, 29), o30(3, 30);  // sigma 2: r = 7
    testing::internal::CaptureStdout();
    EXPECT_EQ(flDoG(r29.h, o29.h, 2.0f, 1, 1), -5);
    EXPECT_EQ(flDoG(r30.h, o30.h, 2.0f, 1, 1), 0);
    EXPECT_EQ(flDoG(r30.h, o30.h, 0.5f, 1, 1), 0);  // r = 2
    testing::internal::GetCapturedStdout();
}

TEST_F(FilterRefusals, OrdersAndDirectionsReturnTheirStatusWithoutStopping) {
    Image in(10, 20), out(10, 20);
    struct {
        int order, dir, status;
        const char *message;
    } cases[] = {
        {4, 0, -1, "flDoG: cannot take derivatives higher than third order. Sorry.\n"},
        {0, 2, -2, "flDoG: cannot compute first deriv wrt x and y. Exiting.\n"},
        {1, 2, -2, "flDoG: cannot compute first deriv wrt x and y. Exiting.\n"},
        {3, 2, -3, "flDoG: cannot compute third deriv wrt xy. Exiting.\n"},
        {1, 3, -4, "Something wrong with arguments to function flDoG. Exiting.\n"},
        {0, 4, -4, "Something wrong with arguments to function flDoG. Exiting.\n"},
        {0, -1, -4, "Something wrong with arguments to function flDoG. Exiting.\n"},
        {-1, 1, -4, "Something wrong with arguments to function flDoG. Exiting.\n"},
    };
    in.f()[5] = 9.0f;
    out.f()[7] = 3.0f;
    for (const auto &c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(flDoG(in.h, out.h, 1.0f, c.order, c.dir), c.status) << c.order << "," << c.dir;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    }
    EXPECT_EQ(out.f()[7], 3.0f);
    EXPECT_EQ(out.f()[5], 0.0f);
}

TEST_F(FilterRefusals, SigmaZeroOrNotFiniteIsRefused) {
    Image in(10, 20), out(10, 20);
    for (float sigma : {0.0f, -0.0f, NAN, INFINITY, 1e-30f}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(flDoG(in.h, out.h, sigma, 0, 0), FLDOG_SIGMA) << sigma;
        EXPECT_NE(testing::internal::GetCapturedStdout().find("flDoG: cannot build a kernel for sigma"),
                  std::string::npos);
    }
    for (int i = 0; i < 200; ++i) ASSERT_EQ(out.f()[i], 0.0f);
}

TEST_F(FilterRefusals, NonFloatInputAndMisfitOutputLeaveOutputAlone) {
    Image bytes(10, 20, 0, "u8bit"), in(10, 20), out(10, 20), small(10, 19), frames(10, 20, 2);
    out.f()[3] = 4.0f;
    testing::internal::CaptureStdout();
    EXPECT_EQ(flDoG(bytes.h, out.h, 1.0f, 0, 0), -6);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "flDoG: Data type of input image MUST be float. Exiting\n");
    EXPECT_EQ(out.f()[3], 4.0f);
    testing::internal::CaptureStdout();
    EXPECT_EQ(flDoG(nullptr, out.h, 1.0f, 0, 0), -6);
    EXPECT_EQ(flDoG(in.h, small.h, 1.0f, 0, 0), FLDOG_OUTPUT);
    EXPECT_EQ(flDoG(in.h, frames.h, 1.0f, 0, 0), FLDOG_OUTPUT);
    EXPECT_EQ(flDoG(in.h, nullptr, 1.0f, 0, 0), FLDOG_OUTPUT);
    testing::internal::GetCapturedStdout();
}

}  // namespace
