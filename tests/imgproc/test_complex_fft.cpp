// Complex extraction calls and the FFT: hand-computed pixels, the refusals
// (which must write nothing), and the transform against a direct
// double-precision DFT, an impulse and a forward-inverse round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "complexconv.h"
#include "fft.h"
#include "zolt_fixture.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using cd = std::complex<double>;

const double kPi = 3.14159265358979323846;

using Images = ZoltTest;

template <typename T>
T *data(ZoltHeader *h) { return static_cast<T *>(h->oltptr); }

// ------------------------------------------------------------ extraction

using Extract = Images;

TEST_F(Extract, ThreeFourAndZeroOneIntoFloat) {
    ZoltHeader *in = image("32cmp", {2, 1});
    const float v[] = {3, 4, 0, 1};
    std::memcpy(in->oltptr, v, sizeof v);
    ZoltHeader *out = image("32flt", {2, 1});
    float *o = data<float>(out);

    CaptureStdout();
    EXPECT_EQ(Zoltc2mag(in, out), 0);
    EXPECT_EQ(GetCapturedStdout(), "c2mag:incomplex outreal\n");
    EXPECT_FLOAT_EQ(o[0], 5.0f);
    EXPECT_FLOAT_EQ(o[1], 1.0f);

    CaptureStdout();
    EXPECT_EQ(Zoltc2phase(in, out), 0);
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_FLOAT_EQ(o[0], static_cast<float>(std::atan(4.0 / 3.0)));
    EXPECT_FLOAT_EQ(o[1], static_cast<float>(kPi / 2));

    EXPECT_EQ(Zoltc2real(in, out), 0);
    EXPECT_EQ(o[0], 3.0f);
    EXPECT_EQ(o[1], 0.0f);
    EXPECT_EQ(Zoltc2imag(in, out), 0);
    EXPECT_EQ(o[0], 4.0f);
    EXPECT_EQ(o[1], 1.0f);
}

TEST_F(Extract, BytesAreLimitedAndTruncated) {
    ZoltHeader *in = image("32cmp", {4});
    // (0, 1) has phase pi/2 -> 1; (-1, 0) has phase pi -> 3; (300, 0) magnitude 300
    // -> 255; (-5, -0.5) has a negative real part -> 0 and phase below -pi/2 -> 0
    const float v[] = {0, 1, -1, 0, 300, 0, -5, -0.5f};
    std::memcpy(in->oltptr, v, sizeof v);
    ZoltHeader *out = image("u8bit", {4});
    const uint8_t *o = data<uint8_t>(out);
    auto bytes = [&] { return std::vector<int>(o, o + 4); };
    EXPECT_EQ(Zoltc2phase(in, out), 0);
    EXPECT_EQ(bytes(), (std::vector<int>{1, 3, 0, 0}));
    EXPECT_EQ(Zoltc2mag(in, out), 0);
    EXPECT_EQ(bytes(), (std::vector<int>{1, 1, 255, 5}));
    EXPECT_EQ(Zoltc2real(in, out), 0);
    EXPECT_EQ(bytes(), (std::vector<int>{0, 0, 255, 0}));
    EXPECT_EQ(Zoltc2imag(in, out), 0);
    EXPECT_EQ(bytes(), (std::vector<int>{1, 0, 0, 0}));
}

TEST_F(Extract, ComplexOutputGetsTheRealPartOnly) {
    ZoltHeader *in = image("32cmp", {2});
    const float v[] = {3, 4, 6, 8};
    std::memcpy(in->oltptr, v, sizeof v);
    ZoltHeader *out = image("32cmp", {2});
    const float keep[] = {-1, -2, -3, -4};
    std::memcpy(out->oltptr, keep, sizeof keep);
    EXPECT_EQ(Zoltc2mag(in, out), 0);
    const float *o = data<float>(out);
    EXPECT_EQ(std::vector<float>(o, o + 4), (std::vector<float>{5, -2, 10, -4}));
}

TEST_F(Extract, OtherOutputTypesGetEachPixelsOwnValue) {
    // 3 columns x 2 rows: a mix-up of rows and columns would show
    ZoltHeader *in = image("32cmp", {3, 2});
    float *p = data<float>(in);
    for (int i = 0; i < 6; ++i) {
        p[2 * i] = 10.0f * i - 20.7f;
        p[2 * i + 1] = 0.5f;
    }
    ZoltHeader *dbl = image("64flt", {3, 2});
    EXPECT_EQ(Zoltc2real(in, dbl), 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(data<double>(dbl)[i], static_cast<double>(10.0f * i - 20.7f)) << i;

    ZoltHeader *shorts = image("16bit", {3, 2});
    EXPECT_EQ(Zoltc2real(in, shorts), 0);
    const std::vector<int16_t> truncated{-20, -10, 0, 9, 19, 29};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(data<int16_t>(shorts)[i], truncated[i]) << i;
}

TEST_F(Extract, RefusalsWriteNothing) {
    ZoltHeader *in = image("32cmp", {2, 2});
    ZoltHeader *flt = image("32flt", {2, 2});
    ZoltHeader *wide = image("32flt", {3, 2});
    ZoltHeader *tall = image("32flt", {2, 3});
    ZoltHeader *cmp64 = image("64cmp", {2, 2});
    const int structDims[] = {2, 2, 2};
    ZoltHeader *st = keep(Zoltcreate("struct", structDims, 11, 4));  // 4-byte records
    ASSERT_NE(st, nullptr);
    ZoltHeader *target = image("32flt", {2, 2});
    for (int i = 0; i < 8; ++i) data<float>(in)[i] = 1.0f + i;
    for (int i = 0; i < 4; ++i) data<float>(target)[i] = -7.0f;

    using Call = int (*)(const ZoltHeader *, ZoltHeader *);
    const struct {
        Call call;
        const char *name;
    } calls[] = {{Zoltc2mag, "Zoltc2mag"}, {Zoltc2phase, "Zoltc2phase"},
                 {Zoltc2real, "Zoltc2real"}, {Zoltc2imag, "Zoltc2imag"}};
    for (const auto &c : calls) {
        CaptureStderr();
        EXPECT_EQ(c.call(in, wide), -1) << c.name;
        EXPECT_EQ(c.call(in, tall), -1) << c.name;
        EXPECT_EQ(c.call(cmp64, target), -2) << c.name;
        EXPECT_EQ(c.call(in, cmp64), -2) << c.name;
        EXPECT_EQ(c.call(in, st), -2) << c.name;
        EXPECT_EQ(GetCapturedStderr(), "");
        CaptureStderr();
        EXPECT_EQ(c.call(flt, target), -2) << c.name;
        EXPECT_EQ(GetCapturedStderr(), std::string(c.name) + ": Input data type not complex\n");
        EXPECT_EQ(c.call(nullptr, target), -1) << c.name;
        EXPECT_EQ(c.call(in, nullptr), -1) << c.name;
    }
    for (int i = 0; i < 4; ++i) EXPECT_EQ(data<float>(target)[i], -7.0f);
    for (ZoltHeader *h : {wide, tall})
        for (int i = 0; i < 6; ++i) EXPECT_EQ(data<float>(h)[i], 0.0f);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(data<double>(cmp64)[i], 0.0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(data<uint8_t>(st)[i], 0);
}

// ------------------------------------------------------------------- FFT

// Direct 2-D DFT in double precision of an n x n interleaved complex image:
// sign -1 forward, +1 inverse (then divided by n^2).
std::vector<cd> directDft(const float *x, int n, int sign) {
    std::vector<cd> out(static_cast<size_t>(n) * n);
    for (int k = 0; k < n; ++k)
        for (int l = 0; l < n; ++l) {
            cd sum = 0;
            for (int r = 0; r < n; ++r)
                for (int c = 0; c < n; ++c) {
                    const double a = sign * 2 * kPi * ((k * r + l * c) % n) / n;
                    sum += cd(x[2 * (r * n + c)], x[2 * (r * n + c) + 1]) * cd(std::cos(a), std::sin(a));
                }
            out[static_cast<size_t>(k) * n + l] = sign == 1 ? sum / double(n * n) : sum;
        }
    return out;
}

std::vector<float> randomValues(size_t count, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (float &x : v) x = u(gen);
    return v;
}

// Largest deviation between a float buffer and a double reference.
double maxError(const float *x, const std::vector<cd> &ref) {
    double worst = 0;
    for (size_t i = 0; i < ref.size(); ++i)
        worst = std::max(worst, std::abs(cd(x[2 * i], x[2 * i + 1]) - ref[i]));
    return worst;
}

using Fft = Images;

TEST_F(Fft, ImpulseGivesAllOnesAndBack) {
    ZoltHeader *h = image("32cmp", {8, 8});
    float *p = data<float>(h);
    p[0] = 1.0f;
    EXPECT_EQ(cff2d(h, -1), 0);
    for (int i = 0; i < 64; ++i) {
        EXPECT_NEAR(p[2 * i], 1.0f, 1e-6) << i;
        EXPECT_NEAR(p[2 * i + 1], 0.0f, 1e-6) << i;
    }
    EXPECT_EQ(cff2d(h, 1), 0);
    for (int i = 0; i < 64; ++i) {
        EXPECT_NEAR(p[2 * i], i == 0 ? 1.0f : 0.0f, 1e-6) << i;
        EXPECT_NEAR(p[2 * i + 1], 0.0f, 1e-6) << i;
    }
}

TEST_F(Fft, ShiftedImpulseFollowsTheSignConvention) {
    // x = 1 at row 0, column 1: X(k, l) = exp(-2 pi i l / 4), the same in every row
    ZoltHeader *h = image("32cmp", {4, 4});
    float *p = data<float>(h);
    p[2] = 1.0f;
    EXPECT_EQ(cff2d(h, -1), 0);
    const float re[] = {1, 0, -1, 0}, im[] = {0, -1, 0, 1};
    for (int k = 0; k < 4; ++k)
        for (int l = 0; l < 4; ++l) {
            EXPECT_NEAR(p[2 * (4 * k + l)], re[l], 1e-6) << k << "," << l;
            EXPECT_NEAR(p[2 * (4 * k + l) + 1], im[l], 1e-6) << k << "," << l;
        }
}

TEST_F(Fft, ForwardAndInverseMatchADirectDft) {
    for (int n : {2, 8, 16, 32}) {  // 32 columns make two column blocks
        ZoltHeader *h = image("32cmp", {n, n});
        const std::vector<float> start = randomValues(2 * size_t(n) * n, 7 + n);
        std::copy(start.begin(), start.end(), data<float>(h));
        EXPECT_EQ(cff2d(h, -1), 0);
        EXPECT_LT(maxError(data<float>(h), directDft(start.data(), n, -1)), 2e-5 * n) << n;

        std::copy(start.begin(), start.end(), data<float>(h));
        EXPECT_EQ(cff2d(h, 1), 0);
        EXPECT_LT(maxError(data<float>(h), directDft(start.data(), n, 1)), 2e-7 * n) << n;
    }
}

TEST_F(Fft, RoundTripReturnsTheStartingValues) {
    // 256 x 256 also takes the path split across cores
    for (int n : {1, 4, 64, 256}) {
        ZoltHeader *h = image("32cmp", {n, n});
        const std::vector<float> start = randomValues(2 * size_t(n) * n, 3 + n);
        std::copy(start.begin(), start.end(), data<float>(h));
        ASSERT_EQ(cff2d(h, -1), 0);
        ASSERT_EQ(cff2d(h, 1), 0);
        const float *p = data<float>(h);
        float worst = 0;
        for (size_t i = 0; i < start.size(); ++i) worst = std::max(worst, std::fabs(p[i] - start[i]));
        // the six-decimal rotation constants put errors of about 1e-4 into
        // the twiddles; a wrong twiddle or ordering would give errors near 1
        EXPECT_LT(worst, 2e-4f) << n;
    }
}

TEST_F(Fft, SidesBeyondAThousandPoints) {
    // an impulse at row 1, column 3 of a 2048 x 2048 image transforms to
    // exp(-2 pi i (k + 3 l) / 2048) at row k, column l
    const int n = 2048;
    ZoltHeader *h = image("32cmp", {n, n});
    float *p = data<float>(h);
    p[2 * (n + 3)] = 1.0f;
    ASSERT_EQ(cff2d(h, -1), 0);
    double worst = 0;
    for (int k = 0; k < n; ++k)
        for (int l = 0; l < n; ++l) {
            const double a = -2 * kPi * ((k + 3 * l) % n) / n;
            const size_t i = 2 * (size_t(k) * n + l);
            worst = std::max(worst, std::abs(cd(p[i], p[i + 1]) - std::polar(1.0, a)));
        }
    EXPECT_LT(worst, 1e-3);
    ASSERT_EQ(cff2d(h, 1), 0);
    worst = 0;
    for (size_t i = 0; i < 2 * size_t(n) * n; ++i)
        worst = std::max(worst, std::fabs(double(p[i]) - (i == 2 * size_t(n + 3) ? 1.0 : 0.0)));
    EXPECT_LT(worst, 2e-4);  // the shorter spans' six-decimal constants dominate
}

TEST_F(Fft, OnlyTheFirstFrameIsTransformed) {
    ZoltHeader *h = image("32cmp", {4, 4, 2});
    float *p = data<float>(h);
    p[0] = 1.0f;
    p[32] = 1.0f;  // frame 1, pixel (0, 0)
    EXPECT_EQ(cff2d(h, -1), 0);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(p[2 * i], 1.0f, 1e-6);
    for (int i = 1; i < 32; ++i) EXPECT_EQ(p[32 + i], 0.0f);
    EXPECT_EQ(p[32], 1.0f);
}

TEST_F(Fft, RefusalsAndOtherDirections) {
    ZoltHeader *six = image("32cmp", {6, 6});
    ZoltHeader *oblong = image("32cmp", {8, 4});
    ZoltHeader *flt = image("32flt", {8, 8});
    CaptureStderr();
    EXPECT_EQ(cff2d(six, -1), -2);
    EXPECT_EQ(GetCapturedStderr(), "cff2d:image dimension must be  a power of 2! BYE!\n");
    CaptureStderr();
    EXPECT_EQ(cff2d(oblong, -1), -1);
    EXPECT_EQ(GetCapturedStderr(), "cff2d:image must be square\n");
    CaptureStderr();
    EXPECT_EQ(cff2d(flt, 1), -3);
    EXPECT_EQ(cff2d(nullptr, 1), -3);
    EXPECT_EQ(GetCapturedStderr(),
              "cfft2d:image is not floating point complex! BYE!\n"
              "cfft2d:image is not floating point complex! BYE!\n");

    ZoltHeader *h = image("32cmp", {4, 4});
    data<float>(h)[0] = 1.0f;
    for (int direction : {0, 2, -2}) {
        EXPECT_EQ(cff2d(h, direction), 0);
        for (int i = 0; i < 32; ++i) EXPECT_EQ(data<float>(h)[i], i == 0 ? 1.0f : 0.0f);
    }
}

// Long 1-D transforms reach spans beyond the six-decimal constants.
std::vector<cd> directDft1d(const std::vector<float> &x, int sign) {
    const size_t n = x.size() / 2;
    std::vector<cd> roots(n), out(n);
    for (size_t k = 0; k < n; ++k) roots[k] = std::polar(1.0, sign * 2 * kPi * double(k) / double(n));
    for (size_t k = 0; k < n; ++k) {
        cd sum = 0;
        for (size_t m = 0; m < n; ++m) sum += cd(x[2 * m], x[2 * m + 1]) * roots[(k * m) % n];
        out[k] = sum;
    }
    return out;
}

TEST(Fft1d, LongTransformsMatchADirectDft) {
    const int n = 2048;
    const std::vector<float> start = randomValues(2 * n, 11);
    std::vector<float> x = start;
    ASSERT_EQ(cff1d(x.data(), n, -1), 0);
    // outputs are about sqrt(n) = 45 in size; the twiddles of the shorter
    // spans carry errors of about 1e-4, so the outputs may be off by 1e-2
    EXPECT_LT(maxError(x.data(), directDft1d(start, -1)), 0.03);
}

TEST(Fft1d, PureTonesAtEightThousandPoints) {
    for (int n : {4096, 8192}) {
        const int tone = 1234;
        std::vector<float> x(2 * size_t(n));
        for (int m = 0; m < n; ++m) {
            const double a = 2 * kPi * double((long(tone) * m) % n) / n;
            x[2 * m] = static_cast<float>(std::cos(a));
            x[2 * m + 1] = static_cast<float>(std::sin(a));
        }
        const std::vector<float> start = x;
        ASSERT_EQ(cff1d(x.data(), n, -1), 0);
        double off = 0;
        for (int k = 0; k < n; ++k)
            if (k != tone) off = std::max(off, std::abs(cd(x[2 * k], x[2 * k + 1])));
        // all the energy lands in the tone's bin, to within a relative 1e-4
        EXPECT_NEAR(x[2 * tone], n, 1e-4 * n) << n;
        EXPECT_NEAR(x[2 * tone + 1], 0, 1e-4 * n) << n;
        EXPECT_LT(off, 1e-4 * n) << n;

        ASSERT_EQ(cff1d(x.data(), n, 1), 0);
        float worst = 0;
        for (size_t i = 0; i < x.size(); ++i) worst = std::max(worst, std::fabs(x[i] - start[i]));
        EXPECT_LT(worst, 5e-4f) << n;
    }
    std::vector<float> x(12, 1.0f);
    EXPECT_EQ(cff1d(x.data(), 6, -1), -2);
    EXPECT_EQ(x, std::vector<float>(12, 1.0f));
}

}  // namespace
