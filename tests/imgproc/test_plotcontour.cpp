// Boundary files: parsing, image size and the colours of the drawn points.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "plotcontour.h"
#include "zolt_fixture.h"

namespace {

struct Contour : ZoltTest {
    std::string path;
    void SetUp() override {
        ZoltTest::SetUp();
        path = ::testing::TempDir() + "contour_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ZOltb";
    }
    void TearDown() override {
        std::remove(path.c_str());
        ZoltTest::TearDown();
    }
    // Writes the boundary file and reads it back as a picture (kept by the fixture).
    ZoltHeader *plot(const std::string &text, float scale = 1.0f, int rows = 0, int cols = 0,
                     int raw = 0) {
        write(text);
        return keep(plotcontour(path.c_str(), scale, rows, cols, raw));
    }
    void write(const std::string &text) {
        FILE *fp = std::fopen(path.c_str(), "wb");
        ASSERT_NE(fp, nullptr);
        std::fwrite(text.data(), 1, text.size(), fp);
        std::fclose(fp);
    }
};

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream &operator<<(std::ostream &os, const Rgb &c) {
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

Rgb at(const ZoltHeader *h, int row, int col) {
    const int cols = h->oltdim[0].dimlen, rows = h->oltdim[1].dimlen;
    const auto *p = static_cast<const unsigned char *>(h->oltptr);
    const int i = row * cols + col, plane = cols * rows;
    return {p[i], p[plane + i], p[2 * plane + i]};
}

int lit(const ZoltHeader *h) {
    int n = 0;
    for (int r = 0; r < h->oltdim[1].dimlen; ++r)
        for (int c = 0; c < h->oltdim[0].dimlen; ++c)
            if (!(at(h, r, c) == Rgb{0, 0, 0})) ++n;
    return n;
}

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kWhite{255, 255, 255};

TEST_F(Contour, ThreePointsGiveASixBySixPicture) {
    ZoltHeader *h = plot("B 3\n0 0\n5 0\n5 5\n");
    ASSERT_NE(h, nullptr);
    EXPECT_STREQ(h->oltdt, "u8bit");
    ASSERT_EQ(h->oltndim, 3);
    EXPECT_EQ(h->oltdim[0].dimlen, 6);
    EXPECT_EQ(h->oltdim[1].dimlen, 6);
    EXPECT_EQ(h->oltdim[2].dimlen, 3);
    EXPECT_EQ(at(h, 0, 0), kRed);
    EXPECT_EQ(at(h, 0, 5), kWhite);
    EXPECT_EQ(at(h, 5, 5), kGreen);
    EXPECT_EQ(lit(h), 3);
}

TEST_F(Contour, CountsThatDisagreeWithTheLinesReadWhatIsThere) {
    ZoltHeader *h = plot("xx9\n0 0\n2 1\n");  // count larger than the lines present
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->oltdim[0].dimlen, 3);
    EXPECT_EQ(h->oltdim[1].dimlen, 2);
    EXPECT_EQ(at(h, 0, 0), kRed);
    EXPECT_EQ(at(h, 1, 2), kGreen);
    EXPECT_EQ(lit(h), 2);

    h = plot("xx-4\n1 1\n3 1\n3 3 trailing words\n");  // negative count
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->oltdim[0].dimlen, 3);
    EXPECT_EQ(h->oltdim[1].dimlen, 3);
    EXPECT_EQ(at(h, 0, 0), kRed);
    EXPECT_EQ(at(h, 0, 2), kWhite);
    EXPECT_EQ(at(h, 2, 2), kGreen);

    h = plot("xx2\n0 0\n1 1\n7 7\n");  // a smaller count stops early
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->oltdim[0].dimlen, 2);
    EXPECT_EQ(at(h, 1, 1), kGreen);
}

TEST_F(Contour, AnUnterminatedOrMalformedLineEndsThePoints) {
    ZoltHeader *h = plot("xx3\n0 0\n4 0\n4 4");  // the last line has no line feed
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->oltdim[0].dimlen, 5);
    EXPECT_EQ(h->oltdim[1].dimlen, 1);
    EXPECT_EQ(at(h, 0, 4), kGreen);

    h = plot("xx3\n0 0\n2 2\nnan 1\n9 9\n");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->oltdim[0].dimlen, 3);
    EXPECT_EQ(at(h, 2, 2), kGreen);
}

TEST_F(Contour, ASinglePointIsGreen) {
    ZoltHeader *h = plot("B 1\n7.5 -3\n");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->oltdim[0].dimlen, 1);
    EXPECT_EQ(h->oltdim[1].dimlen, 1);
    EXPECT_EQ(at(h, 0, 0), kGreen);
}

TEST_F(Contour, ScaleFixedSizeAndRawPlacement) {
    // scale 2: 4 x 4; rows and columns trunc((v - min + 0.5) * 2) = 1 and 3
    ZoltHeader *h = plot("B 2\n0 0\n1 1\n", 2.0f);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->oltdim[0].dimlen, 4);
    EXPECT_EQ(h->oltdim[1].dimlen, 4);
    EXPECT_EQ(at(h, 1, 1), kRed);
    EXPECT_EQ(at(h, 3, 3), kGreen);

    // fixed 3 rows x 8 columns, raw: (20, 10) and (22, 14) clamp to the last row
    h = plot("B 2\n10 20\n14 22\n", 1.0f, 3, 8, 1);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->oltdim[0].dimlen, 8);
    EXPECT_EQ(h->oltdim[1].dimlen, 3);
    EXPECT_EQ(at(h, 2, 7), kGreen);  // the last point is drawn over the first
    EXPECT_EQ(lit(h), 1);
}

TEST_F(Contour, UnreadableFilesReturnNullAndCarryOn) {
    EXPECT_EQ(plotcontour((path + ".missing").c_str(), 1.0f, 0, 0, 0), nullptr);
    EXPECT_EQ(ZoltErrorCode, ZOLT_EOPEN);
    EXPECT_EQ(plot("just some words\n"), nullptr);
    EXPECT_EQ(plot("B 0\n1 1\n"), nullptr);
    EXPECT_EQ(plot(""), nullptr);
    EXPECT_EQ(plot("B 2\n0 0\n1e30 1e30\n"), nullptr);  // a box far too large for an image
    EXPECT_EQ(plotcontour(nullptr, 1.0f, 0, 0, 0), nullptr);
}

}  // namespace
