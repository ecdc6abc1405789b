// Correlation with a template: the valid region for odd and even templates,
// scores against a direct double-precision sum, the exact-copy peak, the
// colour normalisation, constant templates and channels, refusals, and the
// row progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "correlate.h"
#include "corrtransform.h"
#include "progress.h"
#include "zolt_fixture.h"

namespace {

constexpr float UNTOUCHED = 7.5f;

struct Correlate : ZoltTest {
    // A zero-filled image: 2-D, or of `frames` frames.
    ZoltHeader *image(int cols, int rows, int frames = 1, const char *type = "float") {
        return frames > 1 ? ZoltTest::image(type, {cols, rows, frames}) : ZoltTest::image(type, {cols, rows});
    }
    ZoltHeader *random(int cols, int rows, int frames, unsigned seed, float offset = 0) {
        ZoltHeader *h = image(cols, rows, frames);
        std::mt19937 gen(seed);
        std::uniform_real_distribution<float> v(0.f, 10.f);
        float *p = static_cast<float *>(h->oltptr);
        for (size_t k = 0; k < Zoltdimen(h, -1); ++k) p[k] = offset + v(gen);
        return h;
    }
    ZoltHeader *filled(int cols, int rows, int frames, float value) {
        ZoltHeader *h = image(cols, rows, frames);
        std::fill_n(static_cast<float *>(h->oltptr), Zoltdimen(h, -1), value);
        return h;
    }
};

float at(const ZoltHeader *h, int frame, int r, int c) {
    const int cols = static_cast<int>(Zoltdimen(h, 0)), rows = static_cast<int>(Zoltdimen(h, 1));
    return static_cast<const float *>(h->oltptr)[(static_cast<size_t>(frame) * rows + r) * cols + c];
}

// The window sum of (template - mean) x (image - window mean) at (i, j), in double.
double directSum(const ZoltHeader *img, const ZoltHeader *t, int frame, int i, int j) {
    const int r2 = static_cast<int>(Zoltdimen(t, 1)), c2 = static_cast<int>(Zoltdimen(t, 0));
    const int top = i - r2 / 2, left = j - c2 / 2;
    double tm = 0, im = 0;
    for (int a = 0; a < r2; ++a)
        for (int b = 0; b < c2; ++b) {
            tm += at(t, frame, a, b);
            im += at(img, frame, top + a, left + b);
        }
    tm /= r2 * c2;
    im /= r2 * c2;
    double s = 0;
    for (int a = 0; a < r2; ++a)
        for (int b = 0; b < c2; ++b) s += (at(t, frame, a, b) - tm) * (at(img, frame, top + a, left + b) - im);
    return s;
}

double spreadOf(const ZoltHeader *t) {
    const size_t n = Zoltdimen(t, -1);
    const float *p = static_cast<const float *>(t->oltptr);
    double m = 0, v = 0;
    for (size_t k = 0; k < n; ++k) m += p[k];
    m /= n;
    for (size_t k = 0; k < n; ++k) v += (p[k] - m) * (p[k] - m);
    return std::sqrt(v / n);
}

TEST_F(Correlate, ValidRegionOfOddAndEvenTemplates) {
    // 5 x 5 and 4 x 4 over 100 x 100 both write rows and columns 2..97
    for (int size : {5, 4}) {
        ZoltHeader *img = random(100, 100, 1, 1), *t = random(size, size, 1, 2);
        ZoltHeader *out = filled(100, 100, 1, UNTOUCHED);
        ASSERT_EQ(flcorrelate(img, t, out), CORR_OK);
        for (int r = 0; r < 100; ++r)
            for (int c = 0; c < 100; ++c) {
                const bool valid = r >= 2 && r <= 97 && c >= 2 && c <= 97;
                EXPECT_EQ(at(out, 0, r, c) != UNTOUCHED, valid) << size << ": " << r << "," << c;
            }
        // windows run from i - 2 to i - 2 + size - 1: check values at the corners
        const double scale = 1.0 / (size * size * size * spreadOf(t));
        for (int r : {2, 50, 97})
            for (int c : {2, 31, 97})
                EXPECT_NEAR(at(out, 0, r, c), directSum(img, t, 0, r, c) * scale, 1e-5) << size;
    }
}

TEST_F(Correlate, GreyScoresAgreeWithDirectSumsAndPeakAtACopy) {
    // a 9 x 7 patch of the image itself, on an offset that punishes careless
    // single-precision sums; large enough to be worked in bands
    ZoltHeader *img = random(120, 110, 1, 3, 1000.f);
    ZoltHeader *t = image(9, 7);
    const int pr = 40, pc = 70;  // centre of the copy
    for (int a = 0; a < 7; ++a)
        for (int b = 0; b < 9; ++b)
            static_cast<float *>(t->oltptr)[a * 9 + b] = at(img, 0, pr - 3 + a, pc - 4 + b);
    ZoltHeader *out = image(120, 110);
    ASSERT_EQ(flcorrelate(img, t, out), CORR_OK);
    const double u = spreadOf(t), scale = 1.0 / (7.0 * 63 * u);
    double worst = 0, best = -1e30;
    int bestR = 0, bestC = 0;
    for (int r = 3; r <= 106; ++r)
        for (int c = 4; c <= 115; ++c) {
            worst = std::max(worst, std::fabs(at(out, 0, r, c) - directSum(img, t, 0, r, c) * scale));
            if (at(out, 0, r, c) > best) {
                best = at(out, 0, r, c);
                bestR = r;
                bestC = c;
            }
        }
    EXPECT_LT(worst, 1e-4);
    EXPECT_EQ(bestR, pr);
    EXPECT_EQ(bestC, pc);
    // over its own copy the sum is N u^2, so the score is u / rows2
    EXPECT_NEAR(at(out, 0, pr, pc), u / 7, 1e-4);
}

TEST_F(Correlate, GreyScoresStayWithinSinglePrecisionOfADoubleReference) {
    // wide enough for every column block and its leftovers; offsets and
    // magnitudes that strain single-precision sums, odd and even templates
    struct Case {
        int cols, rows, tcols, trows;
        float offset, magnitude;
    };
    const Case cases[] = {{300, 44, 32, 32, 0.f, 1.f},
                          {287, 40, 32, 32, 2.0e4f, 1.f},
                          {230, 37, 17, 9, -500.f, 300.f},
                          {170, 40, 8, 24, 1.0e-3f, 1.0e-4f}};
    unsigned seed = 40;
    for (const Case &k : cases) {
        ZoltHeader *img = random(k.cols, k.rows, 1, seed++), *t = random(k.tcols, k.trows, 1, seed++);
        for (ZoltHeader *h : {img, t}) {
            float *p = static_cast<float *>(h->oltptr);
            for (size_t n = 0; n < Zoltdimen(h, -1); ++n) p[n] = k.offset + k.magnitude * p[n];
        }
        ZoltHeader *out = image(k.cols, k.rows);
        ASSERT_EQ(flcorrelate(img, t, out), CORR_OK);
        const double scale = 1.0 / (static_cast<double>(k.trows) * k.trows * k.tcols * spreadOf(t));
        double worst = 0, largest = 0;
        for (int r = k.trows / 2; r < k.rows - k.trows / 2; ++r)
            for (int c = k.tcols / 2; c < k.cols - k.tcols / 2; ++c) {
                const double ref = directSum(img, t, 0, r, c) * scale;
                worst = std::max(worst, std::fabs(at(out, 0, r, c) - ref));
                largest = std::max(largest, std::fabs(ref));
            }
        // single-precision sums along each template row, added up in double,
        // came within 1.34e-7 of the largest score on these cases
        EXPECT_LT(worst / largest, 1.5e-7) << k.cols << " x " << k.rows << ", offset " << k.offset;
    }
}

TEST_F(Correlate, ColourChannelsAreNormalisedByTheirEnergy) {
    ZoltHeader *img = random(30, 20, 3, 4), *t = random(5, 3, 3, 5);
    ZoltHeader *out = image(30, 20, 3);
    ASSERT_EQ(flcorrelate(img, t, out), CORR_OK);
    for (int k = 0; k < 3; ++k) {
        // energy: (centre pixel - window mean)^2 over the valid region
        double e = 0;
        for (int r = 1; r <= 18; ++r)
            for (int c = 2; c <= 27; ++c) {
                double m = 0;
                for (int a = -1; a <= 1; ++a)
                    for (int b = -2; b <= 2; ++b) m += at(img, k, r + a, c + b);
                m /= 15;
                e += (at(img, k, r, c) - m) * (at(img, k, r, c) - m);
            }
        for (int r : {1, 9, 18})
            for (int c : {2, 13, 27})
                EXPECT_NEAR(at(out, k, r, c), directSum(img, t, k, r, c) / e, 1e-7) << k;
    }
}

TEST_F(Correlate, ConstantTemplateOrChannelScoresZero) {
    ZoltHeader *img = random(20, 20, 1, 6);
    ZoltHeader *out = filled(20, 20, 1, UNTOUCHED);
    ASSERT_EQ(flcorrelate(img, filled(3, 3, 1, 4.f), out), CORR_OK);
    EXPECT_EQ(at(out, 0, 10, 10), 0.f);
    EXPECT_EQ(at(out, 0, 0, 0), UNTOUCHED);

    ZoltHeader *rgb = random(20, 20, 3, 7);
    std::fill_n(static_cast<float *>(rgb->oltptr) + 2 * 400, 400, 3.f);  // a flat blue frame
    ZoltHeader *colourOut = image(20, 20, 3);
    ASSERT_EQ(flcorrelate(rgb, random(3, 3, 3, 8), colourOut), CORR_OK);
    for (int r = 1; r < 19; ++r)
        for (int c = 1; c < 19; ++c) {
            EXPECT_EQ(at(colourOut, 2, r, c), 0.f);
            EXPECT_TRUE(std::isfinite(at(colourOut, 0, r, c)));
        }
}

TEST_F(Correlate, TemplateLargerThanTheImageWritesNothing) {
    // wider, taller, and of the image's own even size (no position left)
    ZoltHeader *img = random(10, 8, 1, 9);
    ZoltHeader *out = filled(10, 8, 1, UNTOUCHED);
    for (ZoltHeader *t : {random(11, 3, 1, 10), random(3, 9, 1, 11), random(10, 8, 1, 12)}) {
        ASSERT_EQ(flcorrelate(img, t, out), CORR_OK);
        for (int k = 0; k < 80; ++k) EXPECT_EQ(static_cast<float *>(out->oltptr)[k], UNTOUCHED);
    }
}

TEST_F(Correlate, ImagesOtherThanFloatOrOfMixedKindsAreRefused) {
    ZoltHeader *img = random(10, 10, 1, 13), *out = filled(10, 10, 1, UNTOUCHED);
    EXPECT_EQ(flcorrelate(img, image(3, 3, 1, "u8bit"), out), CORR_NOTFLOAT);
    EXPECT_EQ(flcorrelate(image(10, 10, 1, "64flt"), random(3, 3, 1, 14), out), CORR_NOTFLOAT);
    EXPECT_EQ(flcorrelate(img, random(3, 3, 3, 15), out), CORR_SHAPE);  // grey against colour
    EXPECT_EQ(flcorrelate(img, random(3, 3, 1, 16), filled(9, 10, 1, 0.f)), CORR_SHAPE);
    for (int k = 0; k < 100; ++k) EXPECT_EQ(static_cast<float *>(out->oltptr)[k], UNTOUCHED);
}

}  // namespace

TEST_F(Correlate, RowProgressComesFromTheCallingThreadAndLeavesScoresAlone) {
    struct Seen {
        std::vector<long> done;
        long total = 0;
        bool otherThread = false;
        std::thread::id caller = std::this_thread::get_id();
    } seen;
    auto hook = [](void *context, long done, long total) {
        auto *s = static_cast<Seen *>(context);
        s->done.push_back(done);
        s->total = total;
        s->otherThread |= std::this_thread::get_id() != s->caller;
    };
    // colour, worked in bands: 3 channels of 110 - 6 valid rows
    ZoltHeader *img = random(120, 110, 3, 17), *t = random(9, 7, 3, 18);
    ZoltHeader *quiet = image(120, 110, 3), *watched = image(120, 110, 3);
    ASSERT_EQ(flcorrelate(img, t, quiet), CORR_OK);
    setProgressHook(hook, &seen);
    const int status = flcorrelate(img, t, watched);
    setProgressHook(nullptr, nullptr);
    ASSERT_EQ(status, CORR_OK);
    EXPECT_EQ(std::memcmp(quiet->oltptr, watched->oltptr, 120 * 110 * 3 * sizeof(float)), 0);
    EXPECT_FALSE(seen.otherThread);
    EXPECT_EQ(seen.total, 3 * 104);
    ASSERT_GE(seen.done.size(), 3u);
    EXPECT_TRUE(std::is_sorted(seen.done.begin(), seen.done.end()));
    EXPECT_EQ(seen.done.back(), 3 * 104);
}

// Templates large enough to be scored through transforms: grey and colour
// scores, odd and even sides, against the double-precision reference.
TEST_F(Correlate, LargeTemplatesScoredByTransformsStayWithinTheBound) {
    struct Case {
        int cols, rows, tcols, trows, frames;
        float offset;
    };
    const Case cases[] = {{220, 200, 64, 56, 1, 2.0e4f}, {201, 190, 57, 41, 1, -500.f}, {150, 140, 48, 48, 3, 0.f}};
    unsigned seed = 90;
    for (const Case &k : cases) {
        double ns = 0;
        ASSERT_GT(corrtransform::bestTile(k.rows, k.cols, k.trows, k.tcols, &ns), 0);
        ASSERT_LT(ns, corrtransform::directCost(k.rows, k.cols, k.trows, k.tcols)) << k.cols;  // the path under test
        ZoltHeader *img = random(k.cols, k.rows, k.frames, seed++, k.offset);
        ZoltHeader *t = random(k.tcols, k.trows, k.frames, seed++);
        ZoltHeader *out = image(k.cols, k.rows, k.frames);
        ASSERT_EQ(flcorrelate(img, t, out), CORR_OK);
        const int hr = k.trows / 2, hc = k.tcols / 2;
        for (int f = 0; f < k.frames; ++f) {
            std::vector<double> ref;
            double energy = 0;
            for (int r = hr; r < k.rows - hr; ++r)
                for (int c = hc; c < k.cols - hc; ++c) {
                    ref.push_back(directSum(img, t, f, r, c));
                    double m = 0;
                    for (int a = 0; a < k.trows; ++a)
                        for (int b = 0; b < k.tcols; ++b) m += at(img, f, r - hr + a, c - hc + b);
                    m /= k.trows * k.tcols;
                    energy += (at(img, f, r, c) - m) * (at(img, f, r, c) - m);
                }
            ZoltHeader *tf = image(k.tcols, k.trows);
            std::memcpy(tf->oltptr, static_cast<float *>(t->oltptr) + f * k.tcols * k.trows,
                        sizeof(float) * k.tcols * k.trows);
            const double scale = k.frames == 3 ? 1.0 / energy
                                               : 1.0 / (static_cast<double>(k.trows) * k.trows * k.tcols * spreadOf(tf));
            double worst = 0, largest = 0;
            size_t n = 0;
            for (int r = hr; r < k.rows - hr; ++r)
                for (int c = hc; c < k.cols - hc; ++c, ++n) {
                    worst = std::max(worst, std::fabs(at(out, f, r, c) - ref[n] * scale));
                    largest = std::max(largest, std::fabs(ref[n] * scale));
                }
            EXPECT_LT(worst / largest, 1.5e-7) << k.cols << " x " << k.rows << ", frame " << f;
        }
    }
}
