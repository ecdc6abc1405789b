// Per-pixel operations, element-wise arithmetic and raw copies: hand-computed
// values and the refusals of wrong types and sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "elementwise.h"
#include "float_image.h"
#include "pointops.h"
#include "zolt_fixture.h"

namespace {

using Quiet = ZoltTest;

void fill(TestImage &im, std::initializer_list<float> values) {
    size_t i = 0;
    for (float v : values) im.f()[i++] = v;
}

// ------------------------------------------------------ point operations

using PointOps = Quiet;

TEST_F(PointOps, ExponentialIsClippedAt255) {
    TestImage in(3, 2), out(3, 2);
    fill(in, {0.0f, 50.0f, -50.0f, 277.0f, 277.1f, 1e6f});
    ASSERT_EQ(flexp(in.h, out.h, 50.0f), 0);
    EXPECT_FLOAT_EQ(out.f()[0], 1.0f);
    EXPECT_FLOAT_EQ(out.f()[1], 2.7182817f);
    EXPECT_FLOAT_EQ(out.f()[2], 0.36787944f);
    EXPECT_NEAR(out.f()[3], 254.678, 0.01);  // e^5.54, just below 50 ln 255 (about 277.06)
    EXPECT_EQ(out.f()[4], 255.0f);
    EXPECT_EQ(out.f()[5], 255.0f);
}

TEST_F(PointOps, InversionUsesTheDataExtremes) {
    TestImage in(2, 2), out(2, 2);
    fill(in, {10.0f, 200.0f, 55.5f, 120.0f});
    testing::internal::CaptureStdout();
    ASSERT_EQ(flinv(in.h, out.h), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "flinv: max = 200.000000 min=10.000000\n");
    const float expected[] = {190.0f, 0.0f, 144.5f, 80.0f};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out.f()[i], expected[i]);

    // Values all beyond a starting value of -10000000 or 100000000.
    fill(in, {-3e7f, -2e7f, -4e7f, -2.5e7f});
    testing::internal::CaptureStdout();
    ASSERT_EQ(flinv(in.h, out.h), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "flinv: max = -20000000.000000 min=-40000000.000000\n");
    EXPECT_EQ(out.f()[1], 0.0f);
    EXPECT_EQ(out.f()[2], 2e7f);
    fill(in, {2e8f, 3e8f, 5e8f, 4e8f});
    testing::internal::CaptureStdout();
    ASSERT_EQ(flinv(in.h, out.h), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "flinv: max = 500000000.000000 min=200000000.000000\n");
    EXPECT_EQ(out.f()[0], 3e8f);
    EXPECT_EQ(out.f()[2], 0.0f);

    // In place, over all frames.
    TestImage vol(2, 1, 2);
    fill(vol, {1.0f, 2.0f, 3.0f, 4.0f});
    testing::internal::CaptureStdout();
    ASSERT_EQ(flinv(vol.h, vol.h), 0);
    testing::internal::GetCapturedStdout();
    const float inverted[] = {3.0f, 2.0f, 1.0f, 0.0f};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(vol.f()[i], inverted[i]);
}

TEST_F(PointOps, LogarithmIsZeroWhereNotPositive) {
    TestImage in(4, 1), out(4, 1);
    fill(in, {1.0f, 2.718281828f, 0.0f, -5.0f});
    EXPECT_EQ(flln(in.h, out.h), -2);
    EXPECT_EQ(out.f()[0], 0.0f);
    EXPECT_NEAR(out.f()[1], 1.0f, 1e-6);
    EXPECT_EQ(out.f()[2], 0.0f);
    EXPECT_EQ(out.f()[3], 0.0f);
    fill(in, {1.0f, 10.0f, 100.0f, 0.5f});
    EXPECT_EQ(flln(in.h, out.h), -1);  // every element positive
    EXPECT_NEAR(out.f()[2], 4.6051702f, 1e-5);
    EXPECT_NEAR(out.f()[3], -0.6931472f, 1e-6);
}

TEST_F(PointOps, AbsoluteValue) {
    TestImage in(3, 1), out(3, 1);
    fill(in, {-2.5f, 0.0f, 7.0f});
    ASSERT_EQ(flabs(in.h, out.h), 0);
    EXPECT_EQ(out.f()[0], 2.5f);
    EXPECT_EQ(out.f()[1], 0.0f);
    EXPECT_EQ(out.f()[2], 7.0f);
}

TEST_F(PointOps, TypesAndSizesAreChecked) {
    TestImage in(3, 2), out(3, 2), bytes(3, 2, 0, "u8bit"), other(2, 3), vol(3, 2, 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(flexp(bytes.h, out.h, 1.0f), -1);
    EXPECT_EQ(flinv(in.h, bytes.h), -1);
    EXPECT_EQ(flln(nullptr, out.h), -1);
    EXPECT_EQ(flabs(in.h, other.h), -2);
    EXPECT_EQ(flinv(in.h, vol.h), -2);  // same pixels, other dimension list
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ----------------------------------------------------------- colour to grey

using ColourToGrey = Quiet;

TEST_F(ColourToGrey, WeightsTheThreeFrames) {
    TestImage in(2, 1, 3), grey(2, 1);
    in.at(0, 0, 0) = 100.0f, in.at(1, 0, 0) = 100.0f, in.at(2, 0, 0) = 100.0f;
    in.at(0, 0, 1) = 255.0f;
    ZoltHeader *o = grey.h;
    ASSERT_EQ(clr2gray(in.h, o), 0);
    EXPECT_EQ(o, grey.h);
    EXPECT_NEAR(grey.f()[0], 100.0f, 1e-4);
    EXPECT_NEAR(grey.f()[1], 53.55f, 1e-4);
}

TEST_F(ColourToGrey, GreyInputAndByteInputAndOutputReplacement) {
    TestImage flat(2, 2);
    fill(flat, {1.0f, 2.0f, 3.0f, 4.0f});
    TestImage grey(2, 2);
    ZoltHeader *o = grey.h;
    ASSERT_EQ(clr2gray(flat.h, o), 0);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(grey.f()[i], i + 1.0f, 1e-5);  // weights add up to 1

    // A byte colour image into a byte output: the output becomes float.
    TestImage bytes(1, 2, 3, "u8bit");
    auto *b = static_cast<unsigned char *>(bytes.h->oltptr);
    b[0] = 255, b[2] = 0, b[4] = 0;    // pixel (0, 0): red
    b[1] = 10, b[3] = 20, b[5] = 30;   // pixel (1, 0)
    const int dims[] = {2, 1, 2};
    ZoltHeader *target = Zoltcreate("u8bit", dims, 11, 0);
    ZoltHeader *before = target;
    ASSERT_EQ(clr2gray(bytes.h, target), 0);
    ASSERT_NE(target, nullptr);
    EXPECT_NE(target, before);
    EXPECT_STREQ(target->oltdt, "32flt");
    EXPECT_EQ(Zoltdimen(target, 0), 1u);
    EXPECT_EQ(Zoltdimen(target, 1), 2u);
    const float *g = static_cast<const float *>(target->oltptr);
    EXPECT_NEAR(g[0], 53.55f, 1e-4);
    EXPECT_NEAR(g[1], 0.21f * 10 + 0.72f * 20 + 0.07f * 30, 1e-4);
    Zoltfree(target, 7);

    // A byte grey image that is its own output: it is read before it is
    // replaced, so the float result holds its values.
    ZoltHeader *self = Zoltcreate("u8bit", dims, 11, 0);
    static_cast<unsigned char *>(self->oltptr)[0] = 40;
    static_cast<unsigned char *>(self->oltptr)[1] = 250;
    ZoltHeader *same = self;
    ASSERT_EQ(clr2gray(self, same), 0);
    ASSERT_NE(same, self);
    EXPECT_NEAR(static_cast<const float *>(same->oltptr)[0], 40.0f, 1e-4);
    EXPECT_NEAR(static_cast<const float *>(same->oltptr)[1], 250.0f, 1e-4);
    Zoltfree(same, 7);
}

TEST_F(ColourToGrey, RefusalsLeaveTheOutputInPlace) {
    TestImage in(4, 3, 3), two(4, 3, 2), line(4, 3), vol(4, 3, 1), wide(5, 3), tall(4, 4);
    ZoltHeader *o = vol.h;
    EXPECT_EQ(clr2gray(in.h, o), -4);
    o = wide.h;
    EXPECT_EQ(clr2gray(in.h, o), -6);
    o = tall.h;
    EXPECT_EQ(clr2gray(in.h, o), -5);
    o = line.h;
    testing::internal::CaptureStdout();
    EXPECT_EQ(clr2gray(two.h, o), -3);  // two frames: no blue to read
    EXPECT_EQ(clr2gray(nullptr, o), -3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Input must be a 3D 3 frame Zolt image\nor a 2D 1 frame Zolt image\n"
              "Input must be a 3D 3 frame Zolt image\nor a 2D 1 frame Zolt image\n");
    EXPECT_EQ(o, line.h);
}

// ------------------------------------------------------ element-wise maths

using ElementWise = Quiet;

TEST_F(ElementWise, ArithmeticOverAllFramesAndInPlace) {
    TestImage a(2, 1, 2), b(2, 1, 2), out(2, 1, 2);
    fill(a, {1.0f, -2.0f, 9.0f, 0.5f});
    fill(b, {4.0f, 8.0f, -3.0f, 0.25f});
    ASSERT_EQ(fladd(a.h, b.h, out.h), 0);
    EXPECT_EQ(out.f()[3], 0.75f);
    ASSERT_EQ(flmul(a.h, b.h, out.h), 0);
    EXPECT_EQ(out.f()[1], -16.0f);
    ASSERT_EQ(fldiv(a.h, b.h, out.h), 0);
    EXPECT_EQ(out.f()[2], -3.0f);
    ASSERT_EQ(flscale(a.h, out.h, -2.0f), 0);
    EXPECT_EQ(out.f()[2], -18.0f);
    ASSERT_EQ(fladdconst(a.h, out.h, 0.5f), 0);
    EXPECT_EQ(out.f()[3], 1.0f);
    ASSERT_EQ(flatan2(a.h, b.h, out.h), 0);
    EXPECT_NEAR(out.f()[0], std::atan2(1.0, 4.0), 1e-7);
    EXPECT_NEAR(out.f()[2], std::atan2(9.0, -3.0), 1e-6);
    ASSERT_EQ(flmul(a.h, a.h, a.h), 0);  // the output may be an input
    EXPECT_EQ(a.f()[1], 4.0f);
}

TEST_F(ElementWise, SquareRootStopsAtTheFirstNegative) {
    TestImage a(4, 1), out(4, 1);
    fill(a, {9.0f, -1.0f, 16.0f, 4.0f});
    fill(out, {7.0f, 7.0f, 7.0f, 7.0f});
    testing::internal::CaptureStderr();
    EXPECT_EQ(flsgrt(a.h, out.h), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "!! flsgrt error : Negative Value for Square Root !!\n");
    EXPECT_EQ(out.f()[0], 3.0f);
    EXPECT_EQ(out.f()[1], 7.0f);
    EXPECT_EQ(out.f()[2], 7.0f);
    a.f()[1] = 0.0f;
    EXPECT_EQ(flsgrt(a.h, out.h), 0);
    EXPECT_EQ(out.f()[2], 4.0f);
}

TEST_F(ElementWise, TypesAndDimensionListsAreChecked) {
    TestImage a(2, 2), b(2, 2), bytes(2, 2, 0, "u8bit"), other(4, 1), vol(2, 2, 1);
    EXPECT_EQ(fladd(a.h, bytes.h, b.h), -1);
    EXPECT_EQ(flmul(a.h, b.h, nullptr), -1);
    EXPECT_EQ(fldiv(a.h, other.h, b.h), -2);
    EXPECT_EQ(flscale(a.h, vol.h, 2.0f), -2);
    EXPECT_EQ(flatan2(a.h, b.h, other.h), -2);
    EXPECT_EQ(flsgrt(bytes.h, a.h), -1);
}

// --------------------------------------------------------------- copies

using Copies = Quiet;

TEST_F(Copies, DuplicateIsAnIndependentFloatImage) {
    TestImage a(3, 2, 2);
    for (int i = 0; i < 12; ++i) a.f()[i] = i * 1.5f;
    ZoltHeader *d = fldup(a.h);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->oltdt, "32flt");
    EXPECT_EQ(d->oltndim, 3);
    EXPECT_EQ(Zoltdimen(d, 2), 2u);
    EXPECT_NE(d->oltptr, a.h->oltptr);
    EXPECT_EQ(std::memcmp(d->oltptr, a.h->oltptr, 48), 0);
    Zoltfree(d, 7);
    TestImage bytes(3, 2, 0, "u8bit");
    EXPECT_EQ(fldup(bytes.h), nullptr);
    EXPECT_EQ(fldup(nullptr), nullptr);
}

TEST_F(Copies, RawCopyOfFloatAndComplexElements) {
    TestImage f(2, 2), g(2, 2), c(2, 2, 0, "complex"), d(2, 2, 0, "complex");
    fill(f, {1.0f, 2.0f, 3.0f, 4.0f});
    ASSERT_EQ(flcopy(f.h, g.h), 0);
    EXPECT_EQ(std::memcmp(f.f(), g.f(), 16), 0);
    for (int i = 0; i < 8; ++i) c.f()[i] = i - 3.0f;
    ASSERT_EQ(flcopy(c.h, d.h), 0);  // real and imaginary parts
    EXPECT_EQ(std::memcmp(c.f(), d.f(), 32), 0);
    ASSERT_EQ(flcopy(f.h, d.h), 0);  // float elements, raw, into the complex array
    EXPECT_EQ(d.f()[3], 4.0f);
    EXPECT_EQ(d.f()[4], 1.0f);  // the rest stays as it was
    ASSERT_EQ(flcopy(g.h, g.h), 0);

    TestImage bytes(2, 2, 0, "u8bit"), other(4, 1), dbl(2, 2, 0, "double");
    EXPECT_EQ(flcopy(c.h, g.h), -1);      // complex into float
    EXPECT_EQ(flcopy(bytes.h, d.h), -1);  // bytes would be read as floats
    EXPECT_EQ(flcopy(f.h, dbl.h), -1);
    EXPECT_EQ(flcopy(f.h, other.h), -2);
}

}  // namespace
