// Arithmetic between two translated images: the canvas and the placement of
// both images against a reference that paints each image onto its own canvas,
// Div's 255, colour frame by frame, integer outputs and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "arith.h"
#include "zolt_fixture.h"

namespace {

using Routine = int (*)(const ZoltHeader *, const ZoltHeader *, ZoltHeader *, int, int);

struct Arith : ZoltTest {
    // A float image of 1, 2 or 3 dimensions whose pixel (f, r, c) is v(f, r, c).
    template <class V>
    ZoltHeader *filled(std::initializer_list<int> lengths, V v) {
        ZoltHeader *h = image("float", lengths);
        const std::vector<int> len(lengths);
        const int cols = len[0], rows = len.size() > 1 ? len[1] : 1;
        const int frames = len.size() > 2 ? len[2] : 1;
        float *p = pixels<float>(h);
        for (int f = 0; f < frames; ++f)
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c) *p++ = v(f, r, c);
        return h;
    }
};

float at(const ZoltHeader *h, int r, int c) { return static_cast<float>(Zoltfgp(h, r, c)); }

TEST_F(Arith, BothImagesLandWhereTheShiftPutsThem) {
    // the example of two 100 x 100 images, dr = 10, dc = -5
    ZoltHeader *a = filled({100, 100}, [](int, int r, int c) { return 1.0f + r * 100 + c; });
    ZoltHeader *b = filled({100, 100}, [](int, int r, int c) { return 20000.0f + r * 100 + c; });
    EXPECT_EQ(imgadd(a, b, image("float", {100, 110}), 10, -5), ARITH_SIZE);
    ZoltHeader *out = image("float", {105, 110});
    ASSERT_EQ(imgadd(a, b, out, 10, -5), ARITH_OK);
    EXPECT_EQ(at(out, 0, 0), 0.0f);
    EXPECT_EQ(at(out, 0, 5), 1.0f);        // image 1's (0, 0), nothing of image 2 there
    EXPECT_EQ(at(out, 10, 0), 20000.0f);   // image 2's (0, 0), left of image 1
    EXPECT_EQ(at(out, 10, 5), 1001.0f + 20005.0f);

    // every pixel of every operation for shifts of both signs, against each
    // image painted onto its own canvas; the canvas rule may cut image 2 off
    ZoltHeader *p = filled({7, 5}, [](int, int r, int c) { return 3.0f + r * 7 + c; });
    ZoltHeader *q = filled({4, 9}, [](int, int r, int c) { return (r + c) % 3 ? r - c : 0.0f; });
    const Routine routines[] = {imgadd, imgsub, imgmul, imgdiv};
    for (int dr : {-3, 0, 2, 6})
        for (int dc : {-4, 0, 1, 2}) {
            const int rows = std::max(5 + std::abs(dr), 9), cols = std::max(7 + std::abs(dc), 4);
            std::vector<float> A(rows * cols, 0), B(rows * cols, 0);
            std::vector<bool> hasB(rows * cols, false);
            for (int r = 0; r < 5; ++r)
                for (int c = 0; c < 7; ++c)
                    A[(r + std::max(-dr, 0)) * cols + c + std::max(-dc, 0)] = at(p, r, c);
            for (int r = 0; r < 9; ++r)
                for (int c = 0; c < 4; ++c) {
                    const int cr = r + std::max(dr, 0), cc = c + std::max(dc, 0);
                    if (cr >= rows || cc >= cols) continue;
                    B[cr * cols + cc] = at(q, r, c);
                    hasB[cr * cols + cc] = true;
                }
            for (int op = 0; op < 4; ++op) {
                ZoltHeader *o = image("float", {cols, rows});
                ASSERT_EQ(routines[op](p, q, o, dr, dc), ARITH_OK);
                for (int k = 0; k < rows * cols; ++k) {
                    const float want = op == 0   ? A[k] + B[k]
                                       : op == 1 ? A[k] - B[k]
                                       : op == 2 ? A[k] * B[k]
                                       : (!hasB[k] || B[k] == 0) ? 255.0f
                                                                 : A[k] / B[k];
                    ASSERT_EQ(pixels<float>(o)[k], want)
                        << "op " << op << " dr " << dr << " dc " << dc << " at " << k;
                }
            }
        }
}

TEST_F(Arith, ColourFrameByFrameOneDimensionalAsOneRowAndIntegerOutputs) {
    // four frames in, frames 0..2 combined; a frame image 2 lacks reads as 0
    ZoltHeader *a = filled({3, 2, 4}, [](int f, int r, int c) { return 100.0f * f + 10 * r + c; });
    ZoltHeader *b = filled({3, 2, 2}, [](int f, int, int) { return f + 1.0f; });
    ZoltHeader *out = image("float", {3, 2, 3});
    ASSERT_EQ(imgmul(a, b, out, 0, 0), ARITH_OK);
    EXPECT_EQ(Zoltfgp3d(out, 0, 1, 2), 12.0);
    EXPECT_EQ(Zoltfgp3d(out, 1, 1, 2), 2 * 112.0);
    EXPECT_EQ(Zoltfgp3d(out, 2, 1, 2), 0.0);
    ASSERT_EQ(imgdiv(a, b, out, 0, 0), ARITH_OK);
    EXPECT_EQ(Zoltfgp3d(out, 2, 0, 0), 255.0);

    // 1-D images: columns only
    ZoltHeader *u = filled({4}, [](int, int, int c) { return c + 1.0f; });
    ZoltHeader *line = image("float", {6});
    ASSERT_EQ(imgsub(u, u, line, 0, 2), ARITH_OK);
    const float want[] = {1, 2, 3 - 1, 4 - 2, -3, -4};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(pixels<float>(line)[c], want[c]) << c;

    // "u8bit" output: single-precision sums written by the pixel calls' rules
    ZoltHeader *s = image("u8bit", {2, 1}), *t = image("u8bit", {2, 1});
    pixels<unsigned char>(s)[0] = 200, pixels<unsigned char>(s)[1] = 7;
    pixels<unsigned char>(t)[0] = 100, pixels<unsigned char>(t)[1] = 2;
    ZoltHeader *bytes = image("u8bit", {2, 1});
    ASSERT_EQ(imgadd(s, t, bytes, 0, 0), ARITH_OK);
    EXPECT_EQ(pixels<unsigned char>(bytes)[0], 44);  // 300 keeps its low 8 bits
    ASSERT_EQ(imgdiv(s, t, bytes, 0, 0), ARITH_OK);
    EXPECT_EQ(pixels<unsigned char>(bytes)[1], 3);   // 3.5 truncated
}

TEST_F(Arith, RefusalsLeaveTheOutputAlone) {
    ZoltHeader *grey = image("float", {4, 4}), *colour = image("float", {4, 4, 3});
    ZoltHeader *out = image("float", {4, 4});
    pixels<float>(out)[0] = 9;
    testing::internal::CaptureStdout();
    EXPECT_EQ(imgsub(grey, colour, out, 0, 0), ARITH_DIMS);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "both input images must be either both grayscale or both color\n");
    EXPECT_EQ(imgadd(grey, grey, out, 1, 0), ARITH_SIZE);
    EXPECT_EQ(imgadd(grey, grey, out, 0, INT32_MIN), ARITH_SIZE);
    EXPECT_EQ(imgadd(nullptr, grey, out, 0, 0), ARITH_IMAGE);
    EXPECT_EQ(imgadd(grey, grey, image("Su8bit3", {4, 4}), 0, 0), ARITH_IMAGE);
    EXPECT_EQ(pixels<float>(out)[0], 9.0f);
}

}  // namespace
