// Zoltconvert: whole-buffer conversions among the common types, by-value
// conversions of the other types, interleaved channels, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "zolt.h"
#include "zolt_fixture.h"

namespace {

template <typename T>
void fill(ZoltHeader *h, const std::vector<T> &values) {
    std::memcpy(h->oltptr, values.data(), values.size() * sizeof(T));
}

template <typename T>
std::vector<T> contents(const ZoltHeader *h) {
    std::vector<T> v(Zoltpixels(h));
    std::memcpy(v.data(), h->oltptr, v.size() * sizeof(T));
    return v;
}

struct Quiet : ZoltTest {
    // A zero-filled image of the lengths {columns[, rows[, frames]]}.
    ZoltHeader *make(const char *type, std::vector<int> lengths) {
        lengths.insert(lengths.begin(), static_cast<int>(lengths.size()));
        return keep(Zoltcreate(type, lengths.data(), 11, 0));
    }

    // Converts `in` (a 3 x 2 image of type `from`) into a new image of type `to`.
    template <typename From, typename To>
    std::vector<To> convert(const char *from, const std::vector<From> &in, const char *to) {
        ZoltHeader *s = make(from, {3, 2});
        ZoltHeader *d = make(to, {3, 2});
        fill(s, in);
        EXPECT_EQ(Zoltconvert(s, d), 0) << from << " -> " << to;
        return contents<To>(d);
    }
};

using CommonTypes = Quiet;

TEST_F(CommonTypes, FloatToBytesAndShortsTruncateAndWrap) {
    const std::vector<float> in = {300.7f, -1.5f, 0.99f, 255.0f, -256.0f, 4194604.0f};
    EXPECT_EQ((convert<float, uint8_t>("32flt", in, "u8bit")),
              (std::vector<uint8_t>{44, 255, 0, 255, 0, 44}));
    const std::vector<float> wide = {70000.5f, -40000.0f, -1.9f, 32767.5f, 1e20f, -32768.0f};
    // 70000 - 65536, -40000 + 65536, and 1e20 is a multiple of 2^16.
    EXPECT_EQ((convert<float, int16_t>("32flt", wide, "16bit")),
              (std::vector<int16_t>{4464, 25536, -1, 32767, 0, -32768}));
}

TEST_F(CommonTypes, IntegersWidenByValue) {
    const std::vector<uint8_t> bytes = {0, 1, 127, 128, 200, 255};
    EXPECT_EQ((convert<uint8_t, float>("u8bit", bytes, "32flt")),
              (std::vector<float>{0, 1, 127, 128, 200, 255}));
    EXPECT_EQ((convert<uint8_t, int16_t>("u8bit", bytes, "16bit")),
              (std::vector<int16_t>{0, 1, 127, 128, 200, 255}));
    const std::vector<int16_t> shorts = {-32768, -1, 0, 300, 32767, -200};
    EXPECT_EQ((convert<int16_t, float>("16bit", shorts, "32flt")),
              (std::vector<float>{-32768, -1, 0, 300, 32767, -200}));
    // Only the low byte survives: -1 is 0xffff, 300 is 0x012c, -200 is 0xff38.
    EXPECT_EQ((convert<int16_t, uint8_t>("16bit", shorts, "u8bit")),
              (std::vector<uint8_t>{0, 255, 0, 44, 255, 56}));
}

TEST_F(CommonTypes, SameTypeCopiesEveryBitAndAllFrames) {
    const std::vector<float> in = {-0.0f, 1e-40f, 3.25f, -7.5f, 1e30f, 2.0f,
                                   9.0f,  8.0f,   7.0f,  6.0f,  5.0f,  4.0f};
    ZoltHeader *s = make("32flt", {3, 2, 2});
    ZoltHeader *d = make("float", {3, 2, 2});
    fill(s, in);
    EXPECT_EQ(Zoltconvert(s, d), 0);
    EXPECT_EQ(std::memcmp(s->oltptr, d->oltptr, 48), 0);

    const std::vector<int16_t> shorts = {1, -2, 3, -4, 5, -6};
    EXPECT_EQ((convert<int16_t, int16_t>("16bit", shorts, "16bit")), shorts);
}

using OtherTypes = Quiet;

TEST_F(OtherTypes, ConvertByValueThroughTheAccessCalls) {
    const std::vector<float> floats = {0.1f, -2.5f, 3e9f, -1.0f, 65.75f, 1e-3f};
    const std::vector<double> asDouble(floats.begin(), floats.end());
    EXPECT_EQ((convert<float, double>("32flt", floats, "64flt")), asDouble);
    // 2^40 + 5 keeps 5 in 32 bits; 1e12 = 232 * 2^32 + 3567587328.
    const std::vector<double> doubles = {1099511627781.0, -7.9, 300.2, 1e12, -0.5, 2.5};
    EXPECT_EQ((convert<double, uint8_t>("64flt", doubles, "u8bit")),
              (std::vector<uint8_t>{5, 249, 44, 0, 0, 2}));
    EXPECT_EQ((convert<double, int32_t>("64flt", doubles, "32bit")),
              (std::vector<int32_t>{5, -7, 300, -727379968, 0, 2}));
    const std::vector<double> small = {0.1, -2.5, 1.0 / 3.0, 1e40, -1e-50, 7.0};
    EXPECT_EQ((convert<double, float>("64flt", small, "32flt")),
              (std::vector<float>{0.1f, -2.5f, 1.0f / 3.0f, HUGE_VALF, -0.0f, 7.0f}));
    const std::vector<int8_t> signedBytes = {-1, -128, 127, 0, 5, -5};
    EXPECT_EQ((convert<int8_t, uint8_t>("8bit", signedBytes, "u8bit")),
              (std::vector<uint8_t>{255, 128, 127, 0, 5, 251}));
}

TEST_F(OtherTypes, EverySingleChannelPairAgreesWithTheAccessCalls) {
    // Whole frames of each single-channel type, extremes and NaN among them,
    // against the values read and stored one pixel at a time.
    const double values[] = {0, 1, -1, 127, -128, 255, 32767, -32768, 65535, 2147483647, -2147483647.0 - 1,
                             16777217, 0.1, -2.5, 1e40, -1e40, 1e-50, NAN, -300.7, 70000.9, 1e12};
    const char *types[] = {"8bit", "u8bit", "16bit", "u16bit", "32bit", "32flt", "64flt"};
    for (const char *from : types) {
        for (const char *to : types) {
            SCOPED_TRACE(testing::Message() << from << " -> " << to);
            ZoltHeader *s = make(from, {5, 4, 2}), *d = make(to, {5, 4, 2}), *want = make(to, {5, 4, 2});
            for (int i = 0; i < 40; ++i) Zoltfpp3d(s, i / 20, i / 5 % 4, i % 5, values[i % 21]);
            for (int i = 0; i < 40; ++i)
                Zoltfpp3d(want, i / 20, i / 5 % 4, i % 5, Zoltfgp3d(s, i / 20, i / 5 % 4, i % 5));
            ASSERT_EQ(Zoltconvert(s, d), 0);
            EXPECT_EQ(std::memcmp(d->oltptr, want->oltptr, 40 * d->oltesize), 0);
        }
    }
}

TEST_F(OtherTypes, ShortsToAndFromTheRareTypesKeepTheirValues) {
    const std::vector<int16_t> shorts = {-7, 32767, -32768, 0, 1000, -1};
    EXPECT_EQ((convert<int16_t, double>("16bit", shorts, "64flt")),
              (std::vector<double>{-7, 32767, -32768, 0, 1000, -1}));
    EXPECT_EQ((convert<int16_t, int32_t>("16bit", shorts, "32bit")),
              (std::vector<int32_t>{-7, 32767, -32768, 0, 1000, -1}));
    EXPECT_EQ((convert<int16_t, uint16_t>("16bit", shorts, "u16bit")),
              (std::vector<uint16_t>{65529, 32767, 32768, 0, 1000, 65535}));
    const std::vector<int32_t> ints = {70000, -5, 65535, -70000, 0, 12};
    // 70000 - 65536; 65535 is -1 in 16 bits; -70000 + 2 * 65536.
    EXPECT_EQ((convert<int32_t, int16_t>("32bit", ints, "16bit")),
              (std::vector<int16_t>{4464, -5, -1, -4464, 0, 12}));
    const std::vector<double> doubles = {-2.9, 40000.0, 1.5, -1.5, 0.0, 123.0};
    EXPECT_EQ((convert<double, int16_t>("64flt", doubles, "16bit")),
              (std::vector<int16_t>{-2, -25536, 1, -1, 0, 123}));
}

TEST_F(OtherTypes, InterleavedChannelsBecomePlanarFramesAndBack) {
    // Pixel (r, c) of channel k holds 100k + 10r + c.
    ZoltHeader *rgb = make("Su8bit3", {3, 2, 3});
    ZoltHeader *planar = make("32flt", {3, 2, 3});
    auto *bytes = static_cast<uint8_t *>(rgb->oltptr);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) bytes[k + 3 * (r * 3 + c)] = static_cast<uint8_t>(100 * k + 10 * r + c);
    EXPECT_EQ(Zoltconvert(rgb, planar), 0);
    const auto *f = static_cast<const float *>(planar->oltptr);
    for (int k = 0; k < 3; ++k)
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(f[k * 6 + r * 3 + c], 100 * k + 10 * r + c) << k << r << c;

    ZoltHeader *back = make("Su8bit3", {3, 2, 3});
    EXPECT_EQ(Zoltconvert(planar, back), 0);
    EXPECT_EQ(std::memcmp(back->oltptr, rgb->oltptr, 18), 0);
}

using Shapes = Quiet;

TEST_F(Shapes, CountsMustAgree) {
    ZoltHeader *s = make("32flt", {4, 3});
    fill<float>(s, std::vector<float>(12, 2.0f));
    for (const std::vector<int> &other : {std::vector<int>{3, 4}, std::vector<int>{4, 2},
                                          std::vector<int>{12}, std::vector<int>{4}}) {
        ZoltHeader *d = make("u8bit", other);
        EXPECT_EQ(Zoltconvert(s, d), -1);
        EXPECT_EQ(contents<uint8_t>(d), std::vector<uint8_t>(Zoltpixels(d), 0));
    }
    // A 2-D source fills the first frame of a 3-D image of the same rows and columns.
    ZoltHeader *cube = make("u8bit", {4, 3, 2});
    EXPECT_EQ(Zoltconvert(s, cube), 0);
    std::vector<uint8_t> expect(24, 0);
    std::fill(expect.begin(), expect.begin() + 12, 2);
    EXPECT_EQ(contents<uint8_t>(cube), expect);
    // The other way round the frame counts differ.
    EXPECT_EQ(Zoltconvert(cube, s), -1);
    ZoltHeader *fewer = make("u8bit", {4, 3, 3});
    EXPECT_EQ(Zoltconvert(cube, fewer), -1);
}

TEST_F(Shapes, ThreeDSourceIntoTwoDReportsTheFrameQuery) {
    ZoltHeader *s = make("32flt", {4, 3, 3});
    ZoltHeader *d = make("32flt", {4, 3});
    ZoltErrorMode = 8;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Zoltconvert(s, d), -1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Zoltdimen: Invalid dimension to get length of."), std::string::npos) << err;
}

TEST_F(Shapes, LinesOfOneLengthAreCopied) {
    ZoltHeader *s = make("16bit", {5});
    ZoltHeader *d = make("32flt", {5});
    fill<int16_t>(s, {-3, 0, 7, 300, -32768});
    EXPECT_EQ(Zoltconvert(s, d), 0);
    EXPECT_EQ(contents<float>(d), (std::vector<float>{-3, 0, 7, 300, -32768}));
    ZoltHeader *r = make("64flt", {5});
    EXPECT_EQ(Zoltconvert(s, r), 0);
    EXPECT_EQ(contents<double>(r), (std::vector<double>{-3, 0, 7, 300, -32768}));
    ZoltHeader *longer = make("32flt", {6});
    EXPECT_EQ(Zoltconvert(s, longer), -1);
}

using Refusals = Quiet;

TEST_F(Refusals, ComplexStructAndNullAreRefusedLeavingTheDestination) {
    ZoltHeader *f = make("32flt", {2, 2});
    fill<float>(f, {1, 2, 3, 4});
    for (const char *type : {"32cmp", "64cmp"}) {
        ZoltHeader *c = make(type, {2, 2});
        EXPECT_EQ(Zoltconvert(f, c), -2) << type;
        const auto *bytes = static_cast<const unsigned char *>(c->oltptr);
        EXPECT_EQ(std::count(bytes, bytes + Zoltbytes(c), 0), static_cast<long>(Zoltbytes(c)));
        EXPECT_EQ(Zoltconvert(c, f), -2) << type;
        EXPECT_EQ(contents<float>(f), (std::vector<float>{1, 2, 3, 4}));
    }
    // Different counts are refused before the type is looked at.
    ZoltHeader *c = make("32cmp", {3, 2});
    EXPECT_EQ(Zoltconvert(f, c), -1);

    const int dims[] = {2, 2, 2};
    ZoltHeader *s = keep(Zoltcreate("struct", dims, 11, 4));
    EXPECT_EQ(Zoltconvert(f, s), -2);
    EXPECT_EQ(ZoltErrorCode, 1024);
    EXPECT_EQ(contents<float>(s), std::vector<float>(4, 0.0f));

    EXPECT_EQ(Zoltconvert(nullptr, f), -1);
    EXPECT_EQ(ZoltErrorCode, 8);
    EXPECT_EQ(Zoltconvert(f, nullptr), -1);
    EXPECT_EQ(ZoltDepth, 0);
}

}  // namespace
