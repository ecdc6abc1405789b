// Creation, release and dimension queries of the image record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "zolt.h"
#include "zolt_fixture.h"

namespace {

using Create = ZoltTest;

TEST_F(Create, FloatAliasGivesCanonicalTypeStridesAndBlocks) {
    const int dims[] = {2, 5, 3};
    ZoltHeader *h = Zoltcreate("float", dims, 11, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_STREQ(h->oltdt, "32flt");
    EXPECT_EQ(h->dtype, 0x204u);
    EXPECT_EQ(h->oltesize, 4);
    EXPECT_EQ(h->oltndim, 2);
    EXPECT_EQ(h->olthdrblk, 1);
    EXPECT_EQ(h->oltfileblk, -2);  // 60 data bytes make one block, plus the header
    EXPECT_EQ(h->oltdln[0], 1);
    EXPECT_EQ(h->oltdln[1], 5);
    EXPECT_EQ(h->oltdln[2], 15);
    EXPECT_EQ(h->oltcomp, 1);
    EXPECT_EQ(h->oltmach, 2);
    EXPECT_EQ(h->oltres2, 16);
    EXPECT_EQ(std::memcmp(h->oltmagic, "ZOL", 4), 0);
    EXPECT_STREQ(h->oltprog, "Zoltcreate");
    EXPECT_STREQ(h->oltver, "V7.0");
    EXPECT_EQ(std::strlen(h->oltdate), 25u);  // ctime text with its newline
    const auto *data = static_cast<const unsigned char *>(h->oltptr);
    ASSERT_NE(data, nullptr);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(data[i], 0) << i;
    EXPECT_EQ(Zoltdimen(h, -2), 60u);
    EXPECT_EQ(Zoltdimen(h, -1), 15u);
    EXPECT_EQ(Zoltdimen(h, 0), 5u);
    EXPECT_EQ(Zoltdimen(h, 1), 3u);
    EXPECT_EQ(Zoltfree(h, 7), 0);
}

TEST_F(Create, AliasesAndElementSizes) {
    const int dims[] = {1, 7};
    struct {
        const char *name, *canonical;
        int esize;
    } cases[] = {{"complex", "32cmp", 8}, {"c8", "64cmp", 16}, {"ubyte", "u8bit", 1},
                 {"short", "16bit", 2},   {"long", "32bit", 4}, {"R8", "64flt", 8}};
    for (const auto &c : cases) {
        ZoltHeader *h = Zoltcreate(c.name, dims, 11, 0);
        ASSERT_NE(h, nullptr) << c.name;
        EXPECT_STREQ(h->oltdt, c.canonical);
        EXPECT_EQ(h->oltesize, c.esize);
        Zoltfree(h, 7);
    }
    ZoltHeader *s = Zoltcreate("struct", dims, 11, 12);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->oltesize, 12);
    EXPECT_EQ(Zoltdimen(s, -2), 84u);
    Zoltfree(s, 7);
}

TEST_F(Create, RefusesDimensionCountsAndTypeNames) {
    const int none[] = {0, 4};
    EXPECT_EQ(Zoltcreate("float", none, 11, 0), nullptr);
    EXPECT_EQ(ZoltErrorCode, 8192);
    const int four[] = {4, 2, 2, 2, 2};
    EXPECT_EQ(Zoltcreate("float", four, 11, 0), nullptr);
    EXPECT_EQ(ZoltErrorCode, 8192);
    const int three[] = {3, 2, 2, 2};
    ZoltHeader *h = Zoltcreate("float", three, 11, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->olthdrblk, 1);
    Zoltfree(h, 7);
    EXPECT_EQ(Zoltcreate("Float", three, 11, 0), nullptr);
    EXPECT_EQ(ZoltErrorCode, 1024);
    EXPECT_EQ(Zoltcreate("nosuchtype", three, 11, 0), nullptr);
    EXPECT_EQ(ZoltErrorCode, 1024);
    EXPECT_EQ(Zoltcreate("float", nullptr, 11, 0), nullptr);
    EXPECT_EQ(ZoltErrorCode, 8);
    EXPECT_EQ(ZoltDepth, 0);
}

TEST_F(Create, RefusesEmptyAndOversizedImages) {
    const int empty[] = {2, 0, 5};
    EXPECT_EQ(Zoltcreate("float", empty, 11, 0), nullptr);
    const int huge[] = {3, 65536, 65536, 65536};
    EXPECT_EQ(Zoltcreate("float", huge, 11, 0), nullptr);
}

TEST_F(Create, ReportMessageGoesToStandardError) {
    ZoltErrorMode = 8;
    ::testing::internal::CaptureStderr();
    const int four[] = {4, 2, 2, 2, 2};
    EXPECT_EQ(Zoltcreate("float", four, 11, 0), nullptr);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("\nZoltcreate: This version of Zolt can't create image with more than 3 dimensions\n"),
              std::string::npos)
        << err;
}

using Dimensions = ZoltTest;

TEST_F(Dimensions, QueriesAndRefusals) {
    const int dims[] = {2, 5, 3};
    ZoltHeader *h = Zoltcreate("float", dims, 11, 0);
    EXPECT_EQ(Zoltdimen(h, 2), 0u);
    EXPECT_EQ(ZoltErrorCode, 8192);
    EXPECT_EQ(Zoltdimen(h, -3), 0u);
    EXPECT_EQ(ZoltErrorCode, 8192);
    EXPECT_EQ(Zoltdimen(nullptr, 0), 0u);
    EXPECT_EQ(ZoltErrorCode, 8);
    std::memcpy(h->oltmagic, "XYZ", 4);
    EXPECT_EQ(Zoltdimen(h, 0), 0u);
    EXPECT_EQ(ZoltErrorCode, 24);
    std::memcpy(h->oltmagic, "OLT", 4);  // the older magic is still valid
    EXPECT_EQ(Zoltdimen(h, 0), 5u);
    EXPECT_EQ(Zoltchkhd(h, "x"), -1);
    Zoltfree(h, 7);
}

TEST_F(Dimensions, SizOrdersByDimensionNumber) {
    const int dims[] = {3, 4, 5, 6};
    ZoltHeader *h = Zoltcreate("u8bit", dims, 11, 0);
    // Store the sub-headers as frames, columns, rows.
    ZoltDimHeader cols = h->oltdim[0], rows = h->oltdim[1], frames = h->oltdim[2];
    h->oltdim[0] = frames;
    h->oltdim[1] = cols;
    h->oltdim[2] = rows;
    int *siz = Zoltsiz(h);
    ASSERT_NE(siz, nullptr);
    EXPECT_EQ(siz[0], 3);
    EXPECT_EQ(siz[1], 4);
    EXPECT_EQ(siz[2], 5);
    EXPECT_EQ(siz[3], 6);
    Zoltcfree(siz);
    int *ao = Zolt_ao(h);
    EXPECT_EQ(ao[0], 1);
    EXPECT_EQ(ao[1], 4);
    EXPECT_EQ(ao[2], 20);
    EXPECT_EQ(ao[3], 120);
    Zoltcfree(ao);
    EXPECT_EQ(Zoltdimen(h, 2), 6u);
    Zoltfree(h, 7);
}

TEST_F(Dimensions, FreeOfNullOrsEight) {
    ZoltErrorCode = 16;
    EXPECT_EQ(Zoltfree(nullptr, 7), 0);
    EXPECT_EQ(ZoltErrorCode, 24);
}

// In the exiting mode a report from a call the application made ends the
// process. Its status must never read as success: the low 8 bits of 1024 or
// 8192 are 0.
using ExitingModeDeathTest = ZoltTest;

TEST_F(ExitingModeDeathTest, StatusIsNeverSuccess) {
    const int four[] = {4, 2, 2, 2, 2};
    EXPECT_EXIT((ZoltErrorMode = 64, Zoltcreate("nosuch", four + 1, 11, 0)), testing::ExitedWithCode(1),
                "Zoltcreate: invalid data type");
    EXPECT_EXIT((ZoltErrorMode = 64, Zoltcreate("float", four, 11, 0)), testing::ExitedWithCode(1),
                "more than 3 dimensions");
    EXPECT_EXIT((ZoltErrorMode = 64, Zoltcreate("float", nullptr, 11, 0)), testing::ExitedWithCode(8),
                "NULL pointer passed");
    // The short report of the pixel access calls ends the process as well.
    ZoltHeader *s = keep(Zoltcreate("struct", four + 2, 11, 4));
    ASSERT_NE(s, nullptr);
    EXPECT_EXIT((ZoltErrorMode = 64, Zoltfgp(s, 0, 0)), testing::ExitedWithCode(1),
                "Zoltfgp: unrecognized or illegal data type.");
}

TEST_F(ExitingModeDeathTest, FailuresInsideAnotherCallDoNotEndTheProcess) {
    // The frame count of a 2-D destination is refused inside Zoltconvert,
    // which answers -1 and leaves the decision to its caller.
    ZoltHeader *cube = image("32flt", {4, 3, 3});
    ZoltHeader *flat = image("32flt", {4, 3});
    EXPECT_EXIT(
        {
            ZoltErrorMode = 64;
            const int result = Zoltconvert(cube, flat);
            std::exit(result == -1 ? 0 : 3);
        },
        testing::ExitedWithCode(0), "Zoltdimen: Invalid dimension to get length of.");
}

}  // namespace
