// Mean-field annealing: against a direct double-precision rendering of the
// method, the cooling schedule counted through a data-only run, the borders,
// and the refusals that leave both images alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "mfa.h"
#include "mfa_internal.h"
#include "progress.h"
#include "zolt_fixture.h"

namespace {

struct Mfa : ZoltTest {
    // A 2-D float image holding the values.
    ZoltHeader *floats(int cols, int rows, const std::vector<float> &v) {
        ZoltHeader *h = image("float", {cols, rows});
        std::copy(v.begin(), v.end(), pixels<float>(h));
        return h;
    }
};

std::vector<float> values(const ZoltHeader *h) {
    const float *p = static_cast<const float *>(h->oltptr);
    return std::vector<float>(p, p + Zoltdimen(h, -1));
}

using Grid = std::vector<double>;

void replicate(Grid &p, int rows, int cols) {
    auto at = [&](int i, int j) -> double & { return p[i * cols + j]; };
    for (int i = 0; i < rows; ++i) {
        at(i, 0) = at(i, 1);
        at(i, cols - 1) = at(i, cols - 2);
    }
    for (int j = 1; j < cols - 1; ++j) {
        at(0, j) = at(1, j);
        at(rows - 1, j) = at(rows - 2, j);
    }
    at(0, 0) = at(1, 1);
    at(rows - 1, 0) = at(rows - 2, 1);
    at(rows - 1, cols - 1) = at(rows - 2, cols - 2);
    at(0, cols - 1) = at(0, cols - 2);
}

// The annealing written out plainly in double precision; returns the
// number of iterations.
int reference(Grid &f, Grid &g, int rows, int cols, double sigma, double r, double b, double t1,
              double t2, double dlt) {
    replicate(g, rows, cols);
    int iterations = 0;
    const size_t n = f.size();
    for (double T = t1; T >= t2; T *= dlt, ++iterations) {
        replicate(f, rows, cols);
        Grid dD(n, 0), dR(n, 0), dH(n, 0), dU(n, 0), Dg(n, 0);
        const double x = T * 1.41 * 1.41 * sigma * sigma;
        auto infl = [x](double d) { return d / x * std::exp(-d * d / (2 * x)); };
        for (int i = 1; i < rows - 1; ++i)
            for (int j = 1; j < cols - 1; ++j) {
                const double h = f[i * cols + j];
                dD[i * cols + j] = infl(f[(i + 1) * cols + j] - h);
                dR[i * cols + j] = infl(f[(i + 1) * cols + j + 1] - h);
                dH[i * cols + j] = infl(f[i * cols + j + 1] - h);
                dU[i * cols + j] = infl(f[(i - 1) * cols + j + 1] - h);
            }
        double sum = 0;
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) {
                const int k = i * cols + j;
                double dv = 0;
                if (i >= 1 && i < rows - 1 && j >= 1 && j < cols - 1)
                    dv = 0.7 * ((dR[k - cols - 1] - dR[k]) + (dU[k + cols - 1] - dU[k])) +
                         (dD[k - cols] - dD[k]) + (dH[k - 1] - dH[k]);
                Dg[k] = (f[k] - g[k]) / (sigma * sigma) + b / std::sqrt(2 * M_PI * T) * dv;
                sum += Dg[k] * Dg[k];
            }
        const double magf = std::sqrt(sum / n);
        for (size_t k = 0; k < n; ++k) f[k] -= sigma * r * std::sqrt(T) / magf * Dg[k];
    }
    return iterations;
}

std::vector<float> noisySteps(int cols, int rows, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<float> noise(0.f, 3.f);
    std::vector<float> v(cols * rows);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) v[i * cols + j] = (j < cols / 2 ? 20.f : 60.f) + noise(gen);
    return v;
}

double largestDifference(const std::vector<float> &a, const Grid &b) {
    double worst = 0;
    for (size_t k = 0; k < a.size(); ++k) worst = std::max(worst, std::fabs(a[k] - b[k]));
    return worst;
}

TEST_F(Mfa, AgreesWithDoublePrecisionAnnealing) {
    // small (one thread) and large enough for two threads; four temperatures
    for (int size : {9, 130}) {
        const auto observed = noisySteps(size, size - 1, 5);
        const auto start = noisySteps(size, size - 1, 6);
        ZoltHeader *f = floats(size, size - 1, start), *g = floats(size, size - 1, observed);
        ASSERT_EQ(Pcon(f, g, 3.f, 0.03f, 4.f, 1.f, 0.5f, 0.8f), PCON_OK);
        Grid rf(start.begin(), start.end()), rg(observed.begin(), observed.end());
        EXPECT_EQ(reference(rf, rg, size - 1, size, 3.f, 0.03f, 4.f, 1.f, 0.5f, 0.8f), 4);
        EXPECT_LT(largestDifference(values(f), rf), 2e-4) << size;
        EXPECT_LT(largestDifference(values(g), rg), 1e-6) << size;
        // every outer pixel of g holds the value of the nearest inner pixel
        const auto after = values(g);
        const int rows = size - 1, cols = size;
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) {
                const int ii = std::clamp(i, 1, rows - 2), jj = std::clamp(j, 1, cols - 2);
                EXPECT_EQ(after[i * cols + j], after[ii * cols + jj]) << size << ": " << i << "," << j;
            }
    }
}

TEST_F(Mfa, FirstStepFromThePriorAloneWhenFEqualsG) {
    // t1 = t2 gives one step; with f = g the data term is 0 everywhere
    const auto v = noisySteps(8, 7, 9);
    ZoltHeader *f = floats(8, 7, v), *g = floats(8, 7, v);
    ASSERT_EQ(Pcon(f, g, 3.f, 0.03f, 4.f, 1.f, 1.f, 0.99f), PCON_OK);
    Grid rf(v.begin(), v.end()), rg(v.begin(), v.end());
    EXPECT_EQ(reference(rf, rg, 7, 8, 3.f, 0.03f, 4.f, 1.f, 1.f, 0.99f), 1);
    EXPECT_LT(largestDifference(values(f), rf), 1e-5);
    // the step has root-mean-square size sigma r sqrt(T) = 0.09
    double sum = 0;
    const auto out = values(f);
    Grid replicated(v.begin(), v.end());
    replicate(replicated, 7, 8);
    for (size_t k = 0; k < out.size(); ++k) sum += (out[k] - replicated[k]) * (out[k] - replicated[k]);
    EXPECT_NEAR(std::sqrt(sum / out.size()), 0.09, 1e-5);
}

TEST_F(Mfa, DefaultCoolingRuns528Steps) {
    // Without the prior (b = 0) and with f - g = 20 everywhere, every step
    // lowers f by exactly sigma r sqrt(T): the total tells the step count.
    std::vector<float> ramp(6 * 5), raised(6 * 5);
    for (int k = 0; k < 30; ++k) {
        ramp[k] = 0.25f * k;
        raised[k] = ramp[k] + 20.f;
    }
    ZoltHeader *f = floats(6, 5, raised), *g = floats(6, 5, ramp);
    // the progress hook hears of every finished step, and of the start
    std::vector<std::pair<long, long>> heard;
    setProgressHook([](void *to, long done, long total) {
        static_cast<std::vector<std::pair<long, long>> *>(to)->emplace_back(done, total);
    }, &heard);
    const int status = Pcon(f, g, 3.f, 0.03f, 0.f, 1.f, 0.005f, 0.99f);
    setProgressHook(nullptr, nullptr);
    ASSERT_EQ(status, PCON_OK);
    ASSERT_EQ(heard.size(), 529u);
    for (size_t k = 0; k < heard.size(); ++k)
        ASSERT_EQ(heard[k], std::make_pair(static_cast<long>(k), 528L)) << k;
    double moved = 0;
    int steps = 0;
    for (double T = 1.0; T >= 0.005f; T *= 0.99f, ++steps) moved += 3.0 * 0.03f * std::sqrt(T);
    EXPECT_EQ(steps, 528);
    const auto out = values(f), data = values(g);
    for (int k = 0; k < 30; ++k) EXPECT_NEAR(out[k] - data[k], 20.0 - moved, 2e-3) << k;
}

TEST_F(Mfa, NoCoolingLeavesOnlyReplicatedBorders) {
    // t1 < t2: no step, whatever the cooling factor
    std::vector<float> v(5 * 4);
    for (int k = 0; k < 20; ++k) v[k] = static_cast<float>(k);
    ZoltHeader *f = floats(5, 4, v), *g = floats(5, 4, v);
    ASSERT_EQ(Pcon(f, g, 3.f, 0.03f, 4.f, 0.5f, 1.f, 1.5f), PCON_OK);
    // rows 1 and 2 keep 6 7 8 and 11 12 13 inside; the border copies them
    const std::vector<float> want{6, 6, 7, 8, 8, 6, 6, 7, 8, 8, 11, 11, 12, 13, 13, 11, 11, 12, 13, 13};
    EXPECT_EQ(values(g), want);
    // f gets its border in the first step only, so here it stays as it was
    EXPECT_EQ(values(f), v);
}

TEST_F(Mfa, ConstantImageStopsWithItsOwnStatus) {
    ZoltHeader *f = floats(4, 4, std::vector<float>(16, 9.f)), *g = floats(4, 4, std::vector<float>(16, 9.f));
    testing::internal::CaptureStdout();
    EXPECT_EQ(Pcon(f, g, 3.f, 0.03f, 4.f, 1.f, 0.005f, 0.99f), PCON_FLAT);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "magf=0 exiting\n");
    EXPECT_EQ(values(f), std::vector<float>(16, 9.f));
}

TEST_F(Mfa, OneAndTwoThreadsGiveTheSameBits) {
    // odd sizes whose rows the threads share out in chunks of unequal size;
    // a stop at the third report and a constant image end early, the same
    // way with either count
    struct Case {
        int cols, rows;
        float sigma, r, b, t1, t2, dlt;
        bool flat, cancel;
    } cases[] = {{37, 23, 3, 0.03f, 4, 1, 0.3f, 0.9f, false, false},
                 {130, 129, 3, 0.03f, 4, 1, 0.5f, 0.8f, false, false},
                 {20, 41, -2, 0.1f, 40, 2, 0.2f, 0.7f, false, false},
                 {16, 33, 1.5f, 0.05f, 0, 1, 0.3f, 0.9f, false, false},
                 {24, 17, 3, 0.03f, 4, 1, 0.005f, 0.99f, false, true},
                 {12, 24, 3, 0.03f, 4, 1, 0.005f, 0.99f, true, false}};
    for (const Case &c : cases) {
        const auto observed = noisySteps(c.cols, c.rows, 3), start = noisySteps(c.cols, c.rows, 4);
        std::vector<float> out[2], border[2];
        for (int threads : {1, 2}) {
            const std::vector<float> flat(observed.size(), 7.f);
            ZoltHeader *f = floats(c.cols, c.rows, c.flat ? flat : start);
            ZoltHeader *g = floats(c.cols, c.rows, c.flat ? flat : observed);
            if (c.cancel)
                setProgressHook([](void *, long done, long) { if (done == 3) cancelProgress(); },
                                nullptr);
            testing::internal::CaptureStdout();
            const int status = PconThreads(f, g, c.sigma, c.r, c.b, c.t1, c.t2, c.dlt, threads);
            testing::internal::GetCapturedStdout();
            setProgressHook(nullptr, nullptr);
            EXPECT_EQ(status, c.flat ? PCON_FLAT : c.cancel ? PCON_CANCELLED : PCON_OK) << c.cols;
            out[threads - 1] = values(f);
            border[threads - 1] = values(g);
        }
        EXPECT_EQ(out[0], out[1]) << c.cols << " x " << c.rows;
        EXPECT_EQ(border[0], border[1]) << c.cols << " x " << c.rows;
        if (!c.flat) EXPECT_NE(out[0], start) << c.cols;
    }
}

TEST_F(Mfa, RefusalsChangeNothing) {
    std::vector<float> v(4 * 3);
    for (int k = 0; k < 12; ++k) v[k] = static_cast<float>(k * k);
    ZoltHeader *f = floats(4, 3, v), *g = floats(4, 3, v);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Pcon(f, image("u8bit", {4, 3}), 3.f, 0.03f, 4.f, 1.f, 0.005f, 0.99f), PCON_NOTFLOAT);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Pcon: this program will only work with Zolt float images, please convert your "
              "input image to float\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(Pcon(f, floats(3, 4, std::vector<float>(12, 1.f)), 3.f, 0.03f, 4.f, 1.f, 0.005f, 0.99f),
              PCON_SIZES);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "bug1");
    ZoltHeader *row = floats(5, 1, std::vector<float>(5, 1.f));
    EXPECT_EQ(Pcon(row, row, 3.f, 0.03f, 4.f, 1.f, 0.005f, 0.99f), PCON_SIZES);
    struct {
        float sigma, t1, t2, dlt;
    } bad[] = {{3, 1, 0.005f, 1},      // would never cool
               {3, 1, 0.005f, 0},      // nor here
               {3, 1, 0.005f, 1.5f},   // warms up
               {3, 1, 0, 0.99f},       // never below an end of 0
               {3, -2, -1, 0.99f},     // nor below a negative one
               {0, 1, 0.005f, 0.99f},  // divides by sigma^2
               {3, 1, 0.005f, NAN},
               {3, INFINITY, 0.005f, 0.99f}};  // an infinite start never cools
    for (const auto &p : bad)
        EXPECT_EQ(Pcon(f, g, p.sigma, 0.03f, 4.f, p.t1, p.t2, p.dlt), PCON_PARAMS)
            << p.sigma << " " << p.t1 << " " << p.t2 << " " << p.dlt;
    EXPECT_EQ(values(f), v);
    EXPECT_EQ(values(g), v);
}

}  // namespace
