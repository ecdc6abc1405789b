// Windows and slices: shapes of the new images, the pixels they hold, and the
// refusals of windows outside the image or of the wrong dimension count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zolt.h"
#include "zolt_fixture.h"

namespace {

struct Windows : ZoltTest {
    // A 32bit image whose pixel (f, r, c) holds 10000f + 100r + c; released
    // after the test.
    ZoltHeader *numbered(int cols, int rows, int frames = 0) {
        ZoltHeader *h = frames ? image("32bit", {cols, rows, frames}) : image("32bit", {cols, rows});
        auto *p = pixels<int32_t>(h);
        for (int f = 0; f < (frames ? frames : 1); ++f)
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c) *p++ = 10000 * f + 100 * r + c;
        return h;
    }
};

std::vector<int> lengths(const ZoltHeader *h) {
    int *siz = Zoltsiz(h);
    std::vector<int> v(siz + 1, siz + 1 + siz[0]);
    Zoltcfree(siz);
    return v;
}

std::vector<int32_t> values(const ZoltHeader *h) {
    const auto *p = static_cast<const int32_t *>(h->oltptr);
    return std::vector<int32_t>(p, p + Zoltpixels(h));
}

using Window = Windows;

TEST_F(Window, CornersInAnyOrderGiveTheRectangle) {
    ZoltHeader *h = numbered(10, 10);
    ZoltHeader *w = keep(Zoltexwin(h, 4, 2, 1, 6));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(lengths(w), (std::vector<int>{5, 4}));
    EXPECT_STREQ(w->oltdt, "32bit");
    EXPECT_EQ(w->oltesize, 4);
    std::vector<int32_t> expect;
    for (int r = 1; r <= 4; ++r)
        for (int c = 2; c <= 6; ++c) expect.push_back(100 * r + c);
    EXPECT_EQ(values(w), expect);

    ZoltHeader *whole = keep(Zoltexwin(h, 9, 9, 0, 0));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::memcmp(whole->oltptr, h->oltptr, 400), 0);
}

TEST_F(Window, SingleRowsAndColumnsBecomeLines) {
    ZoltHeader *h = numbered(10, 10);
    ZoltHeader *row = keep(Zoltexwin(h, 3, 0, 3, 9));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->oltndim, 1);
    EXPECT_EQ(lengths(row), (std::vector<int>{10}));
    EXPECT_EQ(values(row), (std::vector<int32_t>{300, 301, 302, 303, 304, 305, 306, 307, 308, 309}));
    ZoltHeader *col = keep(Zoltexwin(h, 7, 5, 4, 5));
    ASSERT_NE(col, nullptr);
    EXPECT_EQ(lengths(col), (std::vector<int>{4}));
    EXPECT_EQ(values(col), (std::vector<int32_t>{405, 505, 605, 705}));
    ZoltHeader *dot = keep(Zoltexwin(h, 8, 1, 8, 1));
    ASSERT_NE(dot, nullptr);
    EXPECT_EQ(values(dot), (std::vector<int32_t>{801}));
}

TEST_F(Window, KeepsTheTypeOfNarrowAndWideElements) {
    ZoltHeader *h = image("64cmp", {3, 2});
    auto *p = pixels<double>(h);
    for (int i = 0; i < 12; ++i) p[i] = i;  // pixel k is (2k, 2k + 1)
    ZoltHeader *w = keep(Zoltexwin(h, 0, 1, 1, 2));
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(w->oltdt, "64cmp");
    const auto *q = pixels<double>(w);
    EXPECT_EQ(std::vector<double>(q, q + 8), (std::vector<double>{2, 3, 4, 5, 8, 9, 10, 11}));
}

TEST_F(Window, OutsideTheImageOrWrongDimensionsIsRefused) {
    ZoltHeader *h = numbered(10, 8);
    const int bad[][4] = {{-1, 0, 2, 2}, {0, -1, 2, 2}, {0, 0, 8, 2}, {0, 0, 2, 10}, {8, 10, 8, 10}};
    for (const auto &b : bad) {
        ZoltErrorCode = 0;
        EXPECT_EQ(Zoltexwin(h, b[0], b[1], b[2], b[3]), nullptr) << b[0] << b[1] << b[2] << b[3];
        EXPECT_EQ(ZoltErrorCode, 4096);
    }
    ZoltHeader *edge = keep(Zoltexwin(h, 7, 9, 7, 9));
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(values(edge), (std::vector<int32_t>{709}));

    ZoltHeader *cube = numbered(4, 4, 2);
    EXPECT_EQ(Zoltexwin(cube, 0, 0, 1, 1), nullptr);
    EXPECT_EQ(ZoltErrorCode, 8192);
    EXPECT_EQ(Zoltexwin3d(h, 0, 0, 0, 0, 1, 1), nullptr);
    EXPECT_EQ(ZoltErrorCode, 8192);
    EXPECT_EQ(Zoltexwin(nullptr, 0, 0, 1, 1), nullptr);

    ZoltErrorMode = 8;
    ::testing::internal::CaptureStderr();
    Zoltexwin(cube, 0, 0, 1, 1);
    Zoltexwin3d(h, 0, 0, 0, 0, 1, 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Zoltexwin: Image must be 2-dimensional.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Zoltexwin: Image must be 3-dimensional.\n"), std::string::npos) << err;
    EXPECT_EQ(ZoltDepth, 0);
}

// A damaged file may name one type and give the code of another: the window
// must not be made with the name's element size and filled with the code's.
TEST_F(Window, TypeNameDisagreeingWithTheCodeIsRefused) {
    ZoltHeader *h = numbered(6, 5);
    std::strcpy(h->oltdt, "u8bit");  // 1-byte elements named, 4-byte ones stored
    EXPECT_EQ(Zoltexwin(h, 0, 0, 4, 5), nullptr);
    EXPECT_EQ(ZoltErrorCode, 1024);
    EXPECT_EQ(Oltslice(h, "row", 2), nullptr);
    // Of one width but another type: the window would read the data wrongly.
    std::strcpy(h->oltdt, "16bit");
    h->dtype = 0x402;
    h->oltesize = 2;
    EXPECT_EQ(Zoltexwin(h, 0, 0, 1, 1), nullptr);
    std::strcpy(h->oltdt, "u16bit");  // name and code agree again
    ZoltHeader *w = keep(Zoltexwin(h, 0, 0, 1, 1));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->dtype, 0x402u);
    EXPECT_EQ(ZoltDepth, 0);
}

using Window3d = Windows;

TEST_F(Window3d, RangesOfOnePixelAreDropped) {
    ZoltHeader *h = numbered(6, 5, 4);
    struct {
        int f1, r1, c1, f2, r2, c2;
        std::vector<int> shape;
    } cases[] = {{2, 3, 4, 1, 0, 2, {3, 4, 2}},  // all three ranges
                 {3, 1, 0, 3, 2, 5, {6, 2}},     // one frame: columns x rows
                 {0, 4, 1, 3, 4, 1, {4}},        // one row, one column: frames
                 {1, 0, 3, 2, 4, 3, {5, 2}},     // one column: rows x frames
                 {2, 2, 2, 2, 2, 2, {1}}};
    for (const auto &k : cases) {
        ZoltHeader *w = keep(Zoltexwin3d(h, k.f1, k.r1, k.c1, k.f2, k.r2, k.c2));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(lengths(w), k.shape);
        std::vector<int32_t> expect;
        for (int f = std::min(k.f1, k.f2); f <= std::max(k.f1, k.f2); ++f)
            for (int r = std::min(k.r1, k.r2); r <= std::max(k.r1, k.r2); ++r)
                for (int c = std::min(k.c1, k.c2); c <= std::max(k.c1, k.c2); ++c)
                    expect.push_back(10000 * f + 100 * r + c);
        EXPECT_EQ(values(w), expect);
    }
    for (const auto &b : {std::vector<int>{4, 0, 0, 0, 0, 0}, std::vector<int>{0, 5, 0, 0, 0, 0},
                          std::vector<int>{0, 0, 0, 0, 0, 6}, std::vector<int>{-1, 0, 0, 0, 0, 0}}) {
        ZoltErrorCode = 0;
        EXPECT_EQ(Zoltexwin3d(h, b[0], b[1], b[2], b[3], b[4], b[5]), nullptr);
        EXPECT_EQ(ZoltErrorCode, 4096);
    }
}

using Slice = Windows;

TEST_F(Slice, ThreeDSlicesAreTwoDImages) {
    ZoltHeader *h = numbered(6, 5, 4);
    ZoltHeader *row = keep(Oltslice(h, "row", 0));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(lengths(row), (std::vector<int>{6, 4}));
    EXPECT_EQ(Zoltigp(row, 3, 5), 30005);  // frame 3, column 5
    ZoltHeader *frame = keep(Oltslice(h, "f", 2));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(lengths(frame), (std::vector<int>{6, 5}));
    EXPECT_EQ(Zoltigp(frame, 4, 1), 20401);
    ZoltHeader *col = keep(Oltslice(h, "column", 5));
    ASSERT_NE(col, nullptr);
    EXPECT_EQ(lengths(col), (std::vector<int>{5, 4}));
    EXPECT_EQ(Zoltigp(col, 1, 3), 10305);  // frame 1, row 3

    ZoltErrorCode = 0;
    EXPECT_EQ(Oltslice(h, "r", 5), nullptr);
    EXPECT_EQ(ZoltErrorCode, 4096);
    EXPECT_EQ(Oltslice(h, "plane", 0), nullptr);
    EXPECT_EQ(Oltslice(h, nullptr, 0), nullptr);
}

TEST_F(Slice, TwoDSlicesAreLinesAndNoFrameSlice) {
    ZoltHeader *h = numbered(6, 5);
    ZoltHeader *col = keep(Oltslice(h, "c", 2));
    ASSERT_NE(col, nullptr);
    EXPECT_EQ(values(col), (std::vector<int32_t>{2, 102, 202, 302, 402}));
    ZoltHeader *row = keep(Oltslice(h, "r", 4));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(values(row), (std::vector<int32_t>{400, 401, 402, 403, 404, 405}));

    // Nothing to slice: the image itself comes back, not a copy.
    ZoltErrorMode = 8;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Oltslice(h, "frame", 0), h);
    ZoltHeader *line = image("u8bit", {7});
    EXPECT_EQ(Oltslice(line, "col", 3), line);
    Oltslice(h, "x", 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Oltslice: 2-D image. Only one frame. Cannot frame-slice"), std::string::npos) << err;
    EXPECT_NE(err.find("Oltslice: Cannot slice one-dimensional image."), std::string::npos) << err;
    EXPECT_NE(err.find("Oltslice: Unknown name of dimension."), std::string::npos) << err;
}

}  // namespace
