// Pseudo-colour maps: every map against its published table or hand-worked
// values on a ramp of all 256 grey values, grey values outside 0..255, and
// the refusals, which write nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "colormap.h"
#include "zolt_fixture.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::vector<int> parse(const std::string &text) {
    std::vector<int> v;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) v.push_back(std::stoi(item));
    return v;
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream &operator<<(std::ostream &os, const Rgb &c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

struct Colormap : ZoltTest {
    // colours of grey values 0..255 under a map, through a 16 x 16 ramp image
    std::vector<Rgb> colours(int map) {
        ZoltHeader *in = image("u8bit", {16, 16});
        uint8_t *p = static_cast<uint8_t *>(in->oltptr);
        for (int v = 0; v < 256; ++v) p[v] = static_cast<uint8_t>(v);
        ZoltHeader *out = image("u8bit", {16, 16, 3});
        std::memset(out->oltptr, 99, 768);
        EXPECT_EQ(Zoltcolormap(in, out, map), 0);
        const uint8_t *o = static_cast<const uint8_t *>(out->oltptr);
        std::vector<Rgb> c;
        for (int v = 0; v < 256; ++v) c.push_back({o[v], o[256 + v], o[512 + v]});
        return c;
    }
};

TEST_F(Colormap, GrayAndInverseGray) {
    const std::vector<Rgb> gray = colours(0), inverse = colours(1);
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(gray[v], (Rgb{v, v, v})) << v;
        const int w = (256 - v) % 256;
        EXPECT_EQ(inverse[v], (Rgb{w, w, w})) << v;
    }
    EXPECT_EQ(inverse[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(inverse[1], (Rgb{255, 255, 255}));
    EXPECT_EQ(inverse[128], (Rgb{128, 128, 128}));
    EXPECT_EQ(inverse[255], (Rgb{1, 1, 1}));
}

TEST_F(Colormap, BronsonBandsAtBothEnds) {
    const std::vector<Rgb> c = colours(2);
    const struct {
        int first, last;
        Rgb colour;
    } bands[] = {{0, 23, {0, 0, 0}},          {24, 49, {160, 160, 160}}, {50, 73, {150, 135, 0}},
                 {74, 99, {0, 0, 215}},       {100, 123, {0, 195, 0}},   {124, 149, {0, 240, 240}},
                 {150, 173, {240, 0, 240}},   {174, 199, {255, 175, 0}}, {200, 223, {255, 252, 0}},
                 {224, 255, {255, 255, 255}}};
    for (const auto &b : bands)
        for (int v = b.first; v <= b.last; ++v) EXPECT_EQ(c[v], b.colour) << v;
}

TEST_F(Colormap, HotMetalMatchesItsTable) {
    std::vector<int> red = parse(
        "1, 4, 7, 9, 12, 15, 18, 21, 23, 26, 29, 32, 35, 37, 40, 43, 46, 49, 51, 54, 57, 60, 63, 65, 68, 71, 74, 77, "
        "79, 82, 85, 88, 91, 93, 96, 99, 102, 105, 107, 110, 113, 116, 119, 121, 124, 127, 130, 133, 135, 138, 141, "
        "144, 147, 149, 152, 155, 158, 161, 163, 166, 169, 172, 175, 177, 180, 183, 186, 189, 191, 194, 197, 200, "
        "203, 205, 208, 211, 214, 217, 219, 222, 225, 228, 231, 233, 236, 239, 242, 245, 247, 250, 253");
    red.resize(128, 255);
    std::vector<int> green(64, 0);
    for (int v : parse("2, 8, 14, 19, 25, 30, 36, 42, 47, 53, 58, 64, 70, 75, 81, 86, 92, 98, 103, 109, 114, 120, "
                       "126, 131, 137, 142, 148, 154, 159, 165, 170, 176, 182, 187, 193, 198, 204, 210, 215, 221, "
                       "226, 232, 238, 243, 249"))
        green.push_back(v);
    green.resize(128, 255);
    std::vector<int> blue(96, 0);
    for (int v : parse("3, 11, 19, 27, 35, 43, 51, 59, 67, 75, 83, 91, 99, 107, 115, 123, 131, 139, 147, 155, 163, "
                       "171, 179, 187, 195, 203, 211, 219, 227, 235, 243, 251"))
        blue.push_back(v);
    ASSERT_EQ(red.size(), 128u);
    ASSERT_EQ(green.size(), 128u);
    ASSERT_EQ(blue.size(), 128u);
    const std::vector<Rgb> c = colours(3);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(c[v], (Rgb{red[v / 2], green[v / 2], blue[v / 2]})) << v;
}

TEST_F(Colormap, HeatedSpectrumRampEnds) {
    const std::vector<Rgb> c = colours(4);
    const struct {
        int k;
        Rgb colour;
    } cases[] = {{0, {0, 0, 0}},       {1, {0, 0, 15}},       {17, {0, 0, 255}},     {18, {0, 0, 255}},
                 {35, {0, 255, 255}},  {36, {0, 255, 255}},   {53, {0, 255, 0}},     {54, {0, 255, 0}},
                 {71, {255, 255, 0}},  {72, {255, 255, 0}},   {89, {255, 0, 0}},     {90, {255, 0, 0}},
                 {107, {255, 0, 255}}, {108, {255, 0, 255}},  {117, {255, 120, 255}}, {127, {255, 255, 255}}};
    for (const auto &e : cases) {
        EXPECT_EQ(c[2 * e.k], e.colour) << e.k;
        EXPECT_EQ(c[2 * e.k + 1], e.colour) << e.k;
    }
}

TEST_F(Colormap, LogMap) {
    const std::vector<Rgb> c = colours(5);
    // 255 log10(v + 1) / log10(256) truncated: log10 3 / log10 256 = 0.19812...
    const int expected[][2] = {{0, 0}, {1, 31}, {2, 50}, {3, 63}, {15, 127}, {254, 254}, {255, 255}};
    for (const auto &e : expected) EXPECT_EQ(c[e[0]], (Rgb{e[1], e[1], e[1]})) << e[0];
}

TEST_F(Colormap, RandomMapRepeatsItsTable) {
    const std::vector<int> red = parse(
        "27, 153, 95, 75, 251, 137, 179, 83, 188, 199, 62, 101, 182, 212, 32, 178, 212, 95, 94, 18, 229, 95, 78, "
        "241, 144, 40, 183, 178, 7, 172, 163, 111, 41, 203, 55, 189, 53, 224, 142, 96, 184, 108, 232, 145, 229, 12, "
        "43, 201, 237, 160, 7, 165, 149, 210, 189, 231, 160, 204, 227, 0, 69, 116, 12, 236, 72, 216, 188, 173, 231, "
        "56, 161, 33, 79, 75, 94, 4, 158, 50, 228, 102, 74, 193, 187, 96, 228, 113, 27, 23, 12, 202, 81, 181, 145, "
        "131, 65, 71, 153, 31, 122, 18, 189, 94, 200, 102, 254, 55, 153, 118, 135, 174, 54, 63, 8, 74, 37, 2, 186, "
        "121, 160, 91, 206, 161, 150, 133, 80, 43, 7, 192");
    const std::vector<int> green = parse(
        "131, 94, 210, 164, 204, 159, 182, 113, 44, 10, 141, 46, 77, 99, 154, 230, 157, 27, 38, 21, 140, 25, 96, "
        "201, 5, 88, 212, 13, 40, 9, 40, 219, 199, 74, 114, 182, 171, 54, 251, 15, 56, 96, 160, 159, 103, 111, 166, "
        "242, 168, 247, 80, 30, 182, 71, 235, 2, 214, 62, 173, 0, 160, 232, 31, 210, 194, 247, 101, 110, 217, 202, "
        "35, 27, 218, 37, 81, 220, 32, 71, 188, 167, 145, 134, 130, 244, 3, 15, 78, 35, 72, 1, 163, 139, 0, 126, "
        "240, 194, 168, 229, 199, 204, 4, 210, 236, 53, 214, 2, 196, 121, 172, 227, 117, 134, 94, 155, 22, 51, 37, "
        "157, 0, 118, 214, 77, 21, 148, 54, 77, 64, 146");
    const std::vector<int> blue = parse(
        "124, 65, 44, 201, 118, 63, 249, 180, 4, 152, 131, 164, 247, 179, 140, 101, 4, 142, 204, 50, 124, 115, 31, "
        "110, 244, 190, 46, 252, 253, 61, 231, 127, 0, 33, 62, 71, 152, 34, 110, 72, 89, 201, 121, 190, 89, 115, "
        "235, 235, 126, 14, 155, 152, 230, 26, 150, 190, 85, 3, 206, 0, 19, 64, 196, 121, 38, 95, 196, 23, 70, 103, "
        "239, 186, 122, 185, 168, 230, 200, 214, 154, 243, 216, 46, 246, 61, 247, 109, 23, 178, 100, 92, 47, 134, "
        "74, 210, 43, 70, 85, 199, 109, 40, 67, 8, 147, 203, 91, 154, 219, 65, 59, 89, 107, 150, 213, 199, 7, 187, "
        "17, 174, 112, 248, 242, 136, 22, 202, 179, 59, 40, 106");
    ASSERT_EQ(red.size(), 128u);
    ASSERT_EQ(green.size(), 128u);
    ASSERT_EQ(blue.size(), 128u);
    const std::vector<Rgb> c = colours(6);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(c[v], (Rgb{red[v % 128], green[v % 128], blue[v % 128]})) << v;
    EXPECT_EQ(c[4], (Rgb{251, 204, 118}));
    EXPECT_EQ(c[132], (Rgb{251, 204, 118}));
    EXPECT_EQ(c[59], (Rgb{0, 0, 0}));
}

TEST_F(Colormap, UnknownMapsGiveBlack) {
    for (int map : {7, -1, 100})
        for (const Rgb &c : colours(map)) EXPECT_EQ(c, (Rgb{0, 0, 0})) << map;
}

TEST_F(Colormap, GreyValuesOutsideTheRangeAreHeld) {
    ZoltHeader *in = image("32flt", {6, 1});
    const float v[] = {-5.0f, 3.7f, 254.9f, 300.0f, -0.5f, 1e30f};
    std::memcpy(in->oltptr, v, sizeof v);
    ZoltHeader *out = image("u8bit", {6, 1, 4});  // a fourth frame stays untouched
    std::memset(out->oltptr, 99, 24);
    EXPECT_EQ(Zoltcolormap(in, out, 0), 0);
    const uint8_t *o = static_cast<const uint8_t *>(out->oltptr);
    const std::vector<int> grey{0, 3, 254, 255, 0, 255};
    for (int f = 0; f < 3; ++f) EXPECT_EQ(std::vector<int>(o + 6 * f, o + 6 * f + 6), grey) << f;
    EXPECT_EQ(std::vector<int>(o + 18, o + 24), std::vector<int>(6, 99));

    ZoltHeader *shorts = image("16bit", {3, 1});
    const int16_t s[] = {-300, 40, 4000};
    std::memcpy(shorts->oltptr, s, sizeof s);
    ZoltHeader *out2 = image("u8bit", {3, 1, 3});
    EXPECT_EQ(Zoltcolormap(shorts, out2, 1), 0);
    const uint8_t *o2 = static_cast<const uint8_t *>(out2->oltptr);
    EXPECT_EQ(std::vector<int>(o2, o2 + 3), (std::vector<int>{0, 216, 1}));  // 0, 256 - 40, 256 - 255
}

TEST_F(Colormap, RefusalsWriteNothing) {
    ZoltHeader *grey = image("u8bit", {4, 3});
    ZoltHeader *volume = image("u8bit", {4, 3, 3});
    ZoltHeader *floats = image("32flt", {4, 3, 3});
    ZoltHeader *flat = image("u8bit", {4, 3});
    ZoltHeader *wrongSize = image("u8bit", {3, 4, 3});
    ZoltHeader *twoFrames = image("u8bit", {4, 3, 2});
    const struct {
        const ZoltHeader *in;
        ZoltHeader *out;
        int status;
        const char *message;
    } cases[] = {
        {grey, floats, -1, "Zoltcolormap: output image must be U8IT\n"},
        {grey, nullptr, -1, "Zoltcolormap: output image must be U8IT\n"},
        {volume, wrongSize, -2, "input image needs to be 2D\n"},
        {nullptr, volume, -2, "input image needs to be 2D\n"},
        {grey, flat, -3, "Zoltcolormap:output image must be 3D\n"},
        {grey, wrongSize, -4, "Zoltcolormap: input and output images must be the same rows and cols\n"},
        {grey, twoFrames, -5, "Zoltcolormap: output image must have 3 frames\n"},
    };
    std::memset(grey->oltptr, 200, 12);
    for (const auto &c : cases) {
        CaptureStdout();
        EXPECT_EQ(Zoltcolormap(c.in, c.out, 0), c.status) << c.message;
        EXPECT_EQ(GetCapturedStdout(), c.message);
    }
    for (ZoltHeader *h : {volume, flat, wrongSize, twoFrames}) {
        const uint8_t *p = static_cast<const uint8_t *>(h->oltptr);
        for (size_t i = 0; i < Zoltpixels(h); ++i) EXPECT_EQ(p[i], 0) << i;
    }
}

}  // namespace
