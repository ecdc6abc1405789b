// Whole-image copies: exact within a type, by value across types, refused
// (never zero-filled) where no conversion exists.
#include <gtest/gtest.h>

#include <cstring>

#include "imagecopy.h"
#include "zolt_fixture.h"

namespace {

using Copy = ZoltTest;

TEST_F(Copy, SameTypeIsByteExactComplexAndStructIncluded) {
    ZoltHeader *c = image("complex", {2, 3, 2});
    float *p = static_cast<float *>(c->oltptr);
    for (int i = 0; i < 24; ++i) p[i] = 0.1f * i - 1.0f;
    ZoltHeader *d = keep(Zoltretype(c, "32cmp"));
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->oltdt, "32cmp");
    ASSERT_EQ(d->oltndim, 3);
    EXPECT_EQ(d->oltdim[2].dimlen, 2);
    EXPECT_EQ(std::memcmp(d->oltptr, c->oltptr, 24 * sizeof(float)), 0);

    const int dims[] = {3, 2, 3, 2};
    ZoltHeader *s = keep(Zoltcreate("struct", dims, 11, 5));
    auto *b = static_cast<unsigned char *>(s->oltptr);
    for (int i = 0; i < 60; ++i) b[i] = static_cast<unsigned char>(i * 7);
    d = keep(Zoltretype(s, "struct"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->oltesize, 5);
    EXPECT_EQ(std::memcmp(d->oltptr, s->oltptr, 60), 0);
}

TEST_F(Copy, OtherTypesConvertByValue) {
    ZoltHeader *f = image("float", {2, 2});
    const float v[] = {300.7f, -1.5f, 12.9f, 255.0f};
    std::memcpy(f->oltptr, v, sizeof v);
    ZoltHeader *u = keep(Zoltretype(f, "ubyte"));
    ASSERT_NE(u, nullptr);
    EXPECT_STREQ(u->oltdt, "u8bit");
    ASSERT_EQ(u->oltndim, 2);
    const auto *b = static_cast<const unsigned char *>(u->oltptr);
    // truncated toward zero, low 8 bits kept
    EXPECT_EQ(b[0], 44);
    EXPECT_EQ(b[1], 255);
    EXPECT_EQ(b[2], 12);
    EXPECT_EQ(b[3], 255);

    ZoltHeader *l = image("16bit", {4});
    auto *s = static_cast<short *>(l->oltptr);
    s[0] = -3;
    s[3] = 1000;
    ZoltHeader *lf = keep(Zoltretype(l, "float"));
    ASSERT_NE(lf, nullptr);
    EXPECT_EQ(lf->oltndim, 1);
    EXPECT_EQ(static_cast<float *>(lf->oltptr)[0], -3.0f);
    EXPECT_EQ(static_cast<float *>(lf->oltptr)[3], 1000.0f);
}

TEST_F(Copy, ComplexPrecisionsConvertBothParts) {
    ZoltHeader *d = image("64cmp", {2});
    double *p = static_cast<double *>(d->oltptr);
    p[0] = 1.25;
    p[1] = -2.5;
    p[2] = 1e10;
    p[3] = 0.1;
    ZoltHeader *f = keep(Zoltretype(d, "complex"));
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->oltdt, "32cmp");
    const float *q = static_cast<const float *>(f->oltptr);
    EXPECT_EQ(q[0], 1.25f);
    EXPECT_EQ(q[1], -2.5f);
    EXPECT_EQ(q[2], 1e10f);
    EXPECT_EQ(q[3], 0.1f);
    ZoltHeader *back = keep(Zoltretype(f, "64cmp"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(static_cast<const double *>(back->oltptr)[1], -2.5);
}

TEST_F(Copy, RefusedConversionsGiveNoImage) {
    ZoltHeader *c = image("32cmp", {2, 2});
    ZoltHeader *f = image("float", {2, 2});
    EXPECT_EQ(Zoltretype(c, "float"), nullptr);
    EXPECT_EQ(ZoltErrorCode, ZOLT_ETYPE);
    EXPECT_EQ(Zoltretype(f, "complex"), nullptr);
    ZoltErrorCode = 0;
    EXPECT_EQ(Zoltretype(f, "floaty"), nullptr);
    EXPECT_EQ(ZoltErrorCode, ZOLT_ETYPE);
    EXPECT_EQ(Zoltretype(f, ""), nullptr);
    EXPECT_EQ(Zoltretype(nullptr, "float"), nullptr);
    EXPECT_EQ(Zoltretype(f, nullptr), nullptr);
}

}  // namespace
