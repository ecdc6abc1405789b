// Pixel reads and writes through the access calls: conversion rules of every
// element type, complex real parts, planar and interleaved addresses, refusals.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "zolt.h"
#include "zolt_fixture.h"

namespace {

// Pixel access tests run with the header check on, as the program does.
struct Quiet : ZoltTest {
    void SetUp() override {
        ZoltTest::SetUp();
        ZoltCheckAccess = 1;
    }
    void TearDown() override {
        ZoltCheckAccess = 1;
        ZoltTest::TearDown();
    }
    // A zero-filled 2-D image, or 3-D when frames are given; released after the test.
    ZoltHeader *make(const char *type, int cols, int rows, int frames = 0) {
        return frames ? image(type, {cols, rows, frames}) : image(type, {cols, rows});
    }
};

template <typename T>
T raw(const ZoltHeader *h, size_t index) {
    T v;
    std::memcpy(&v, static_cast<const char *>(h->oltptr) + index * sizeof(T), sizeof v);
    return v;
}

template <typename T>
void setRaw(ZoltHeader *h, size_t index, T v) {
    std::memcpy(static_cast<char *>(h->oltptr) + index * sizeof(T), &v, sizeof v);
}

using IntegerPut = Quiet;

// Writes truncate toward zero and keep the low bits; values worked out by hand.
TEST_F(IntegerPut, UnsignedByteKeepsLowEightBits) {
    ZoltHeader *h = make("u8bit", 4, 3);
    const struct {
        double in;
        int stored;
    } cases[] = {{300.7, 44}, {-1.5, 255}, {255.9, 255}, {256.0, 0}, {-0.9, 0},
                 {4194604.0, 44}, {NAN, 0}, {INFINITY, 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(Zoltfpp(h, 2, 1, c.in), -1);
        EXPECT_EQ(raw<uint8_t>(h, 2 * 4 + 1), c.stored) << c.in;
        EXPECT_EQ(Zoltigp(h, 2, 1), c.stored) << c.in;
        EXPECT_EQ(Zoltfgp(h, 2, 1), c.stored) << c.in;
    }
    EXPECT_EQ(Zoltipp(h, 0, 3, -2), -1);
    EXPECT_EQ(raw<uint8_t>(h, 3), 254);
}

TEST_F(IntegerPut, SignedTypesReadBackTheirSign) {
    ZoltHeader *s8 = make("8bit", 2, 2);
    Zoltfpp(s8, 1, 1, 200.0);  // 200 - 256
    EXPECT_EQ(Zoltigp(s8, 1, 1), -56);
    Zoltfpp(s8, 1, 1, -1.5);
    EXPECT_EQ(Zoltfgp(s8, 1, 1), -1.0);
    EXPECT_EQ(raw<uint8_t>(s8, 3), 255);

    ZoltHeader *s16 = make("16bit", 2, 2);
    Zoltfpp(s16, 0, 1, 70000.5);  // 70000 - 65536
    EXPECT_EQ(Zoltigp(s16, 0, 1), 4464);
    Zoltipp(s16, 0, 1, -40000);  // -40000 + 65536
    EXPECT_EQ(Zoltigp(s16, 0, 1), 25536);
    Zoltfpp(s16, 0, 1, -1.9);
    EXPECT_EQ(Zoltfgp(s16, 0, 1), -1.0);

    ZoltHeader *u16 = make("u16bit", 2, 2);
    Zoltipp(u16, 1, 0, -1);
    EXPECT_EQ(Zoltigp(u16, 1, 0), 65535);
    Zoltfpp(u16, 1, 0, 65536.0 + 12.3);
    EXPECT_EQ(Zoltfgp(u16, 1, 0), 12.0);
}

TEST_F(IntegerPut, ThirtyTwoBitWrapsEvenForHugeValues) {
    ZoltHeader *h = make("32bit", 3, 1);
    const struct {
        double in;
        int32_t stored;
    } cases[] = {{-2.9, -2},
                 {2147483648.0, INT32_MIN},
                 {4294967297.0, 1},
                 {1099511627781.0, 5},        // 2^40 + 5
                 {3e19, -1648885760},         // 3e19 mod 2^32, as a signed value
                 {-3e19, 1648885760}};
    for (const auto &c : cases) {
        EXPECT_EQ(Zoltfpp(h, 0, 2, c.in), -1);
        EXPECT_EQ(raw<int32_t>(h, 2), c.stored) << c.in;
        EXPECT_EQ(Zoltigp(h, 0, 2), c.stored) << c.in;
    }
}

using FloatAccess = Quiet;

TEST_F(FloatAccess, IntReadsTruncateTowardZero) {
    ZoltHeader *f = make("32flt", 3, 2);
    Zoltfpp(f, 1, 2, -2.7);
    EXPECT_EQ(Zoltigp(f, 1, 2), -2);
    EXPECT_FLOAT_EQ(raw<float>(f, 5), -2.7f);
    EXPECT_EQ(Zoltfgp(f, 1, 2), static_cast<double>(-2.7f));
    Zoltfpp(f, 1, 2, 2.7);
    EXPECT_EQ(Zoltigp(f, 1, 2), 2);
    Zoltipp(f, 0, 0, 16777217);  // nearest float is 16777216
    EXPECT_EQ(raw<float>(f, 0), 16777216.0f);
    // Beyond the int range the read holds at the limit instead of overflowing.
    Zoltfpp(f, 0, 1, 1e20);
    EXPECT_EQ(Zoltigp(f, 0, 1), INT_MAX);
    Zoltfpp(f, 0, 1, -1e300);
    EXPECT_TRUE(std::isinf(raw<float>(f, 1)));
    EXPECT_EQ(Zoltigp(f, 0, 1), INT_MIN);

    ZoltHeader *d = make("64flt", 2, 2);
    Zoltfpp(d, 1, 1, 0.1);
    EXPECT_EQ(raw<double>(d, 3), 0.1);
    EXPECT_EQ(Zoltfgp(d, 1, 1), 0.1);
    Zoltfpp(d, 1, 1, -7.99);
    EXPECT_EQ(Zoltigp(d, 1, 1), -7);
}

TEST_F(FloatAccess, ComplexUsesOnlyTheRealPart) {
    ZoltHeader *c = make("complex", 2, 2);
    setRaw<float>(c, 2 * 3, 1.5f);      // pixel (1, 1): real
    setRaw<float>(c, 2 * 3 + 1, -3.25f);  // imaginary
    EXPECT_EQ(Zoltfgp(c, 1, 1), 1.5);
    EXPECT_EQ(Zoltfgp3d(c, 0, 1, 1), 1.5);
    EXPECT_EQ(Zoltfpp(c, 1, 1, 7.25), -1);
    EXPECT_EQ(raw<float>(c, 6), 7.25f);
    EXPECT_EQ(raw<float>(c, 7), -3.25f);
    EXPECT_EQ(Zoltigp(c, 1, 1), 7);

    ZoltHeader *z = make("64cmp", 3, 1);
    setRaw<double>(z, 2 * 2 + 1, 9.5);
    EXPECT_EQ(Zoltipp(z, 0, 2, -4), -1);
    EXPECT_EQ(raw<double>(z, 4), -4.0);
    EXPECT_EQ(raw<double>(z, 5), 9.5);
    EXPECT_EQ(Zoltfgp(z, 0, 2), -4.0);
}

using Address = Quiet;

TEST_F(Address, PlanarFramesRowsColumns) {
    ZoltHeader *h = make("32bit", 4, 3, 2);
    for (int i = 0; i < 24; ++i) setRaw<int32_t>(h, i, i);
    for (int f = 0; f < 2; ++f)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) {
                EXPECT_EQ(Zoltigp3d(h, f, r, c), c + 4 * r + 12 * f);
                EXPECT_EQ(Zoltfgp3d(h, f, r, c), c + 4 * r + 12 * f);
            }
    EXPECT_EQ(Zoltigp(h, 2, 3), 11);  // 2-D calls see the first frame
    EXPECT_EQ(Zoltipp3d(h, 1, 2, 0, -9), -1);
    EXPECT_EQ(raw<int32_t>(h, 12 + 8), -9);
    // The address is only a sum: a column past the row end is the next row.
    EXPECT_EQ(Zoltigp(h, 0, 4), 4);

    const int line[] = {1, 5};
    ZoltHeader *l = keep(Zoltcreate("u8bit", line, 11, 0));
    EXPECT_EQ(Zoltipp(l, 0, 4, 77), -1);
    EXPECT_EQ(Zoltfgp3d(l, 0, 0, 4), 77.0);
}

TEST_F(Address, InterleavedChannelsComeThroughTheFrameIndex) {
    ZoltHeader *h = make("Su8bit3", 4, 3, 3);
    ASSERT_NE(h, nullptr);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            for (int ch = 0; ch < 3; ++ch) setRaw<uint8_t>(h, ch + 3 * (r * 4 + c), 100 * ch + 10 * r + c);
    EXPECT_EQ(Zoltfgp3d(h, 2, 1, 3), 213.0);
    EXPECT_EQ(Zoltigp3d(h, 0, 2, 1), 21);
    EXPECT_EQ(Zoltigp3d(h, 1, 0, 0), 100);

    ZoltHeader *q = make("Su16bit4", 2, 2, 4);
    EXPECT_EQ(Zoltipp3d(q, 3, 1, 0, 70000), -1);  // low 16 bits: 4464
    EXPECT_EQ(raw<uint16_t>(q, 3 + 4 * (1 * 2 + 0)), 4464);
    EXPECT_EQ(Zoltfpp3d(q, 1, 0, 1, -1.0), -1);
    EXPECT_EQ(raw<uint16_t>(q, 1 + 4 * 1), 65535);

    ZoltHeader *d = make("S64flt3", 2, 1, 3);
    EXPECT_EQ(Zoltfpp3d(d, 2, 0, 1, 0.25), -1);
    EXPECT_EQ(raw<double>(d, 2 + 3 * 1), 0.25);
}

using Refusal = Quiet;

TEST_F(Refusal, ChannelTypesOnlyForThreeDCallsAndNeverStruct) {
    ZoltHeader *h = make("Su8bit3", 2, 2, 3);
    setRaw<uint8_t>(h, 0, 9);
    EXPECT_EQ(Zoltfgp(h, 0, 0), 0.0);
    EXPECT_EQ(ZoltErrorCode, 1024);
    EXPECT_EQ(Zoltipp(h, 0, 0, 5), 0);
    EXPECT_EQ(raw<uint8_t>(h, 0), 9);

    const int dims[] = {2, 2, 2};
    ZoltHeader *s = keep(Zoltcreate("struct", dims, 11, 6));
    ZoltErrorCode = 0;
    EXPECT_EQ(Zoltfgp3d(s, 0, 0, 0), 0.0);
    EXPECT_EQ(ZoltErrorCode, 1024);
    ZoltErrorCode = 0;
    EXPECT_EQ(Zoltfpp3d(s, 0, 1, 1, 3.0), 0);
    EXPECT_EQ(ZoltErrorCode, 1024);
}

TEST_F(Refusal, NullAndBadHeadersWithTheirCodesAndMessages) {
    ZoltErrorMode = 8;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Zoltfgp(nullptr, 0, 0), 0.0);
    EXPECT_EQ(ZoltErrorCode, 8);
    EXPECT_EQ(Zoltipp3d(nullptr, 0, 0, 0, 1), 0);
    ZoltHeader *h = make("16bit", 2, 2);
    Zoltipp(h, 0, 0, 31);
    std::memcpy(h->oltmagic, "BAD", 4);
    EXPECT_EQ(Zoltipp3d(h, 0, 0, 0, 5), 0);
    EXPECT_EQ(ZoltErrorCode, 24);
    EXPECT_EQ(Zoltigp(h, 0, 0), 0);
    const int dims[] = {1, 3};
    ZoltHeader *s = keep(Zoltcreate("struct", dims, 11, 4));
    EXPECT_EQ(Zoltigp(s, 0, 0), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Zoltfgp: Image header is NULL\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Zoltipp3d: Image header is NULL\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Zoltipp3d: Invalid image header (bad magic no.)\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Zoltigp: unrecognized or illegal data type.\n"), std::string::npos) << err;
    EXPECT_EQ(raw<int16_t>(h, 0), 31);

    // With the check off, the header is trusted as it is.
    ZoltCheckAccess = 0;
    EXPECT_EQ(Zoltigp(h, 0, 0), 31);
    std::memcpy(h->oltmagic, "ZOL", 4);
}

TEST_F(Refusal, PixelsOutsideTheDataAreNeverTouched) {
    ZoltHeader *h = make("32flt", 3, 2, 2);
    EXPECT_EQ(Zoltfpp3d(h, 2, 0, 0, 1.0), 0);
    EXPECT_EQ(ZoltErrorCode, 4096);
    EXPECT_EQ(Zoltfpp(h, -1, 0, 1.0), 0);
    EXPECT_EQ(Zoltfgp3d(h, 1, 1, 3), 0.0);
    EXPECT_EQ(Zoltipp3d(h, 1, 1, 2, 6), -1);  // the last element is still inside
    EXPECT_EQ(raw<float>(h, 11), 6.0f);

    ZoltHeader *c = make("Su8bit4", 2, 2, 4);
    EXPECT_EQ(Zoltipp3d(c, 4, 1, 1, 1), 0);
    EXPECT_EQ(Zoltipp3d(c, 3, 1, 1, 1), -1);

    const int dims[] = {2, 2, 2};
    ZoltHeader *empty = keep(Zoltcreate("u8bit", dims, 1, 0));  // no pixel buffer
    EXPECT_EQ(Zoltipp(empty, 0, 0, 1), 0);
    EXPECT_EQ(Zoltfgp(empty, 0, 0), 0.0);
}

}  // namespace
