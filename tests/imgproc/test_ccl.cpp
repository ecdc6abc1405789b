// Connected-component labelling: joins, hole filling, counting, erasing by
// area, the areas file and the output conversions, each against labels worked
// out by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ccl.h"
#include "progress.h"
#include "zolt_fixture.h"

namespace fs = std::filesystem;

namespace {

// Runs every case in a fresh temporary folder, so areas files land there.
struct Ccl : ZoltTest {
    fs::path oldDir, dir;

    void SetUp() override {
        ZoltTest::SetUp();
        oldDir = fs::current_path();
        dir = fs::temp_directory_path() /
              ("ccl_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
    }
    void TearDown() override {
        fs::current_path(oldDir);
        fs::remove_all(dir);
        ZoltTest::TearDown();
    }

    // A float image from rows of text: '.' is 0, '#' is 100, digits d are 100 + 10 d.
    ZoltHeader *picture(const std::vector<std::string> &rows) {
        ZoltHeader *h = image("float", {static_cast<int>(rows[0].size()), static_cast<int>(rows.size())});
        auto *p = static_cast<float *>(h->oltptr);
        for (const auto &row : rows)
            for (char ch : row)
                *p++ = ch == '.' ? 0.f : ch == '#' ? 100.f : 100.f + 10.f * (ch - '0');
        return h;
    }

    // Labels `in` with thresh 2 and the window [10, 255] into a "32bit" image.
    std::vector<int> label(const ZoltHeader *in, int eraseSmall = 0, int eraseLarge = 0,
                           const char *file = "", int *count = nullptr, int *status = nullptr) {
        const int cols = static_cast<int>(Zoltdimen(in, 0)), rows = static_cast<int>(Zoltdimen(in, 1));
        ZoltHeader *out = image("32bit", {cols, rows});
        int n = -7;
        const int st = cclC4_2(in, 2.f, 10.f, 255.f, eraseSmall, eraseLarge, n, file, out);
        if (count) *count = n;
        if (status) *status = st;
        else EXPECT_EQ(st, CCL_OK);
        const auto *l = static_cast<const int32_t *>(out->oltptr);
        return std::vector<int>(l, l + static_cast<size_t>(rows) * cols);
    }
};

std::string readFile(const char *name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The labels of rows 1.. and columns 1.. as text rows.
std::vector<std::vector<int>> interior(const std::vector<int> &l, int cols) {
    std::vector<std::vector<int>> out;
    for (size_t r = 1; r * cols < l.size(); ++r)
        out.emplace_back(l.begin() + r * cols + 1, l.begin() + (r + 1) * cols);
    return out;
}

using V = std::vector<std::vector<int>>;

TEST_F(Ccl, ConstantImageIsOneRegionWithUnlabelledBorder) {
    ZoltHeader *in = image("float", {6, 5});
    for (int i = 0; i < 30; ++i) static_cast<float *>(in->oltptr)[i] = 100.f;
    int count = 0;
    testing::internal::CaptureStdout();
    const auto l = label(in, 0, 0, "", &count);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count, 1);
    EXPECT_EQ(l[0], 0);
    for (int c = 1; c < 6; ++c) EXPECT_EQ(l[c], -1) << "row 0, column " << c;
    for (int r = 1; r < 5; ++r) {
        EXPECT_EQ(l[r * 6], -1) << "column 0, row " << r;
        for (int c = 1; c < 6; ++c) EXPECT_EQ(l[r * 6 + c], 1) << r << "," << c;
    }
    // the dimension line comes once per call, however many neighbours are tested
    EXPECT_EQ(said, "ccl4_3: input image is 2 dimensions\n");
}

TEST_F(Ccl, JoinsFollowValueWindowThresholdAndThreeNeighbours) {
    // a column below minval separates two regions
    EXPECT_EQ(interior(label(picture({".......", "###.###", "###.###", "###.###"})), 7),
              (V{{1, 1, 0, 2, 2, 2}, {1, 1, 0, 2, 2, 2}, {1, 1, 0, 2, 2, 2}}));
    // steps of 10 and 11 are above the threshold, a step of 1 is not
    ZoltHeader *steps = picture({"....", ".00.", ".11.", "...."});
    static_cast<float *>(steps->oltptr)[9] = 111.f;  // row 2, column 1: 11 above its top
    EXPECT_EQ(interior(label(steps), 4), (V{{1, 1, 0}, {2, 2, 0}, {0, 0, 0}}));
    // the up-left diagonal joins, the up-right one does not
    EXPECT_EQ(interior(label(picture({".....", ".#...", "..#..", ".#..."})), 5),
              (V{{1, 0, 0, 0}, {0, 1, 0, 0}, {2, 0, 0, 0}}));
}

TEST_F(Ccl, UShapeCountsEveryProvisionalLabel) {
    int count = 0;
    const auto l = label(picture({"......", ".#..#.", ".#..#.", ".####.", "......"}), 0, 0, "", &count);
    EXPECT_EQ(count, 2);  // each arm starts a label; they meet at the bottom
    EXPECT_EQ(interior(l, 6), (V{{1, 0, 0, 1, 0}, {1, 0, 0, 1, 0}, {1, 1, 1, 1, 0}, {0, 0, 0, 0, 0}}));
}

TEST_F(Ccl, ChainOfMergesEndsOnTheSmallestLabel) {
    // a staircase whose steps start labels 1..4 from the right, all joined by the last row
    int count = 0;
    const auto l = label(picture({"......", "....#.", "...##.", "..###.", ".####."}), 0, 0, "", &count);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(interior(l, 6), (V{{0, 0, 0, 1, 0}, {0, 0, 1, 1, 0}, {0, 1, 1, 1, 0}, {1, 1, 1, 1, 0}}));
}

TEST_F(Ccl, OnePixelHoleIsFilledButNotInTheOuterRowsOrColumns) {
    // holes at (2, 3) inside and at (2, 1) next to the unlabelled column 0
    const auto l = label(picture({"......", "#####.", "#.#.#.", "#####.", "#####."}));
    EXPECT_EQ(interior(l, 6), (V{{1, 1, 1, 1, 0}, {0, 1, 1, 1, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 1, 0}}));
}

TEST_F(Ccl, BrightNeighbourAboveMaxvalPullsARegionIntoBackground) {
    // 25 lies within the threshold of its neighbour 26 but above maxval 25.5
    ZoltHeader *in = image("float", {4, 3});
    const float v[] = {0, 0, 0, 0, 0, 20, 26, 25, 0, 20, 0, 0};
    std::copy(v, v + 12, static_cast<float *>(in->oltptr));
    ZoltHeader *out = image("32bit", {4, 3});
    int count = 0;
    ASSERT_EQ(cclC4_2(in, 2.f, 10.f, 25.5f, 0, 0, count, "", out), CCL_OK);
    const auto *l = static_cast<const int32_t *>(out->oltptr);
    EXPECT_EQ(count, 1);
    // 20 makes label 1, 26 is background, 25 joins 26 (label 0); (2,1) joins label 1
    EXPECT_EQ(std::vector<int>(l + 4, l + 12), (std::vector<int>{-1, 1, 0, 0, -1, 1, 0, 0}));
}

TEST_F(Ccl, AreasFileListsEveryLabelAndEraseSmallOneKeepsAll) {
    int count = 0;
    const auto l = label(picture({"......", ".##...", ".##.#.", "....#.", "##..#."}), 1, 0,
                         "areas.txt", &count);
    EXPECT_EQ(count, 3);  // the 2x2 block, the column, and the piece of the last row
    EXPECT_EQ(interior(l, 6), (V{{1, 1, 0, 0, 0}, {1, 1, 0, 2, 0}, {0, 0, 0, 2, 0}, {3, 0, 0, 2, 0}}));
    EXPECT_EQ(readFile("areas.txt"), "0 0\n1 4\n2 3\n3 1\n");
}

TEST_F(Ccl, NoAreasFileUnlessErasingIsAsked) {
    label(picture({"...", ".#.", "..."}), 0, 0, "areas.txt");
    EXPECT_FALSE(fs::exists("areas.txt"));
}

TEST_F(Ccl, EraseSmallAndLargeByArea) {
    // A: 4 pixels (label 1), C: a 10 x 10 block (2), D: 10 x 10 plus one (3), B: 5 pixels (4)
    ZoltHeader *in = image("float", {30, 13});
    auto *p = static_cast<float *>(in->oltptr);
    std::vector<int> region(30 * 13, 0);
    auto fill = [&](int id, int r0, int c0, int h, int w) {
        for (int r = r0; r < r0 + h; ++r)
            for (int c = c0; c < c0 + w; ++c) {
                p[r * 30 + c] = 100.f;
                region[r * 30 + c] = id;
            }
    };
    fill(1, 1, 1, 2, 2);
    fill(4, 4, 1, 1, 5);
    fill(2, 1, 7, 10, 10);
    fill(3, 1, 18, 10, 10);
    fill(3, 11, 18, 1, 1);
    struct {
        int small, large;
        bool keep[5];  // by region id
    } cases[] = {{1, 0, {true, true, true, true, true}},
                 {5, 0, {true, false, true, true, true}},
                 {0, 100, {true, true, true, false, true}},
                 {5, 100, {true, false, true, false, true}}};
    for (const auto &k : cases) {
        int count = 0;
        const auto l = label(in, k.small, k.large, "", &count);
        EXPECT_EQ(count, 4);
        for (int r = 1; r < 13; ++r)
            for (int c = 1; c < 30; ++c) {
                const int id = region[r * 30 + c];
                EXPECT_EQ(l[r * 30 + c], k.keep[id] ? id : 0)
                    << "small " << k.small << " large " << k.large << " at " << r << "," << c;
            }
    }
}

TEST_F(Ccl, UnwritableAreasFileLeavesOutputAlone) {
    ZoltHeader *in = picture({"....", ".##.", ".##."});
    ZoltHeader *out = image("float", {4, 3});
    int count = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(cclC4_2(in, 2.f, 10.f, 255.f, 1, 0, count, "no/such/folder/areas.txt", out),
              CCL_AREASFILE);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("file name no/such/folder/areas.txt is invalid for areas file\n"),
              std::string::npos);
    EXPECT_EQ(count, 1);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(static_cast<float *>(out->oltptr)[i], 0.f);
}

TEST_F(Ccl, AreasFileThatCannotBeWrittenWholeIsAFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no full device here";
    ZoltHeader *in = picture({"....", ".##.", ".##."});
    ZoltHeader *out = image("float", {4, 3});
    int count = 0;
    EXPECT_EQ(cclC4_2(in, 2.f, 10.f, 255.f, 1, 0, count, "/dev/full", out), CCL_AREASFILE);
}

TEST_F(Ccl, FloatOutputCarriesMinusOneBorder) {
    ZoltHeader *in = picture({"....", ".##.", ".##."});
    ZoltHeader *out = image("float", {4, 3});
    int count = 0;
    testing::internal::CaptureStdout();
    ASSERT_EQ(cclC4_2(in, 2.f, 10.f, 255.f, 0, 0, count, "", out), CCL_OK);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("cclC4_3:converting output image from 32bit to 32flt\n"), std::string::npos);
    const auto *o = static_cast<const float *>(out->oltptr);
    const float want[] = {0, -1, -1, -1, -1, 1, 1, 0, -1, 1, 1, 0};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(o[i], want[i]) << i;
}

TEST_F(Ccl, ThreeFrameIntOutputGetsLabelsInEveryFrame) {
    ZoltHeader *in = picture({"...", ".#.", "..."});
    ZoltHeader *out = image("32bit", {3, 3, 3});
    int count = 0;
    ASSERT_EQ(cclC4_2(in, 2.f, 10.f, 255.f, 0, 0, count, "", out), CCL_OK);
    const auto *o = static_cast<const int32_t *>(out->oltptr);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(o[k * 9 + 4], 1) << k;
        EXPECT_EQ(o[k * 9 + 1], -1) << k;
    }
}

TEST_F(Ccl, ColourAndByteInputsAreReducedToGrey) {
    // frames 30, 40, 0 give sqrt((900 + 1600) / 3) = 28.87; against 28 within 2
    ZoltHeader *rgb = image("float", {4, 2, 3});
    auto *p = static_cast<float *>(rgb->oltptr);
    for (int i = 5; i < 8; ++i) {
        p[i] = 30.f;
        p[8 + i] = 40.f;
    }
    p[7] = p[15] = 0.f;
    p[23] = 28.f * 1.7320508f;  // grey 28 from the blue frame alone
    int count = 0;
    const auto l = label(rgb, 0, 0, "", &count);
    EXPECT_EQ(std::vector<int>(l.begin() + 4, l.end()), (std::vector<int>{-1, 1, 1, 1}));
    ZoltHeader *bytes = image("u8bit", {4, 2});
    auto *b = static_cast<unsigned char *>(bytes->oltptr);
    b[5] = 50;
    b[6] = 52;
    b[7] = 55;
    const auto lb = label(bytes);
    EXPECT_EQ(std::vector<int>(lb.begin() + 4, lb.end()), (std::vector<int>{-1, 1, 1, 2}));
    // every other single-channel type by its values: 65535 and 65533 join
    // within 2, 65530 does not
    for (const char *type : {"u16bit", "32bit", "64flt"}) {
        ZoltHeader *wide = image(type, {4, 2});
        for (const auto &[c, v] : {std::pair{1, 65535.0}, {2, 65533.0}, {3, 65530.0}}) Zoltfpp(wide, 1, c, v);
        ZoltHeader *out = image("32bit", {4, 2});
        int n = 0;
        ASSERT_EQ(cclC4_2(wide, 2.f, 65000.f, 70000.f, 0, 0, n, "", out), CCL_OK) << type;
        const auto *lw = static_cast<const int32_t *>(out->oltptr);
        EXPECT_EQ(std::vector<int>(lw + 4, lw + 8), (std::vector<int>{-1, 1, 1, 2})) << type;
    }
}

// The labelling written the plain way: an equivalence table whose entries are
// rewritten on every merge, for comparison on images with many merges.
struct Reference {
    std::vector<int> labels;
    int count = 0;
    std::string areas;
};

Reference referenceLabels(const std::vector<float> &g, int rows, int cols, float thresh,
                          float minval, float maxval, int eraseSmall, int eraseLarge) {
    std::vector<int> L(g.size(), -1), table{0};
    L[0] = 0;
    int count = 0;
    auto at = [cols](int r, int c) { return static_cast<size_t>(r) * cols + c; };
    for (int r = 1; r < rows; ++r)
        for (int c = 1; c < cols; ++c) {
            const float v = g[at(r, c)];
            if (v < minval || v > maxval) {
                L[at(r, c)] = 0;
                continue;
            }
            std::vector<int> reps;
            const int nb[3][2] = {{r - 1, c}, {r, c - 1}, {r - 1, c - 1}};
            for (const auto &n : nb) {
                if (n[0] < 1 || n[1] < 1) continue;
                const float w = g[at(n[0], n[1])];
                if (std::fabs(v - w) <= thresh && w >= minval && L[at(n[0], n[1])] != -1)
                    reps.push_back(table[L[at(n[0], n[1])]]);
            }
            if (reps.empty()) {
                L[at(r, c)] = ++count;
                table.push_back(count);
                continue;
            }
            int m = reps[0];
            for (int x : reps) m = std::min(m, x);
            for (int x : reps)
                for (int &t : table)
                    if (t == x) t = m;
            L[at(r, c)] = m;
        }
    for (int r = 1; r < rows; ++r)
        for (int c = 1; c < cols; ++c)
            if (L[at(r, c)] != -1) L[at(r, c)] = table[L[at(r, c)]];
    auto same = [&](int a, int x) { return a != -1 && table[a] == x; };
    for (int r = 1; r + 1 < rows; ++r)
        for (int c = 1; c + 1 < cols; ++c) {
            const int x = L[at(r - 1, c)];
            if (L[at(r, c)] == 0 && x > 0 && table[x] != 0 && same(L[at(r + 1, c)], table[x]) &&
                same(L[at(r, c - 1)], table[x]) && same(L[at(r, c + 1)], table[x]))
                L[at(r, c)] = table[x];
        }
    Reference out;
    out.count = count;
    std::vector<int> area(count + 1, 0);
    for (int r = 1; r < rows; ++r)
        for (int c = 1; c < cols; ++c)
            if (L[at(r, c)] > 0) ++area[table[L[at(r, c)]]];
    for (int k = 0; k <= count; ++k)
        out.areas += std::to_string(k) + " " + std::to_string(area[k]) + "\n";
    for (int r = 1; r < rows; ++r)
        for (int c = 1; c < cols; ++c) {
            int &l = L[at(r, c)];
            if ((eraseSmall > 0 && area[l] < eraseSmall) || (eraseLarge > 0 && area[l] > eraseLarge))
                l = 0;
        }
    out.labels = L;
    return out;
}

TEST_F(Ccl, AgreesWithPlainEquivalenceTableOnNoisyImages) {
    // 200 rows are labelled in three strips side by side; regions, merges
    // and stand-in labels cross the strip borders everywhere.
    const int rows = 200, cols = 90;
    std::mt19937 gen(11);
    struct Case {
        const char *name;
        float thresh, minval, maxval;
        std::vector<float> values;
        bool bytes = false;  // a "u8bit" input, whose window and threshold fall between whole values
        int longestRun = 1;  // each value picked repeats along the row up to this many times
    } cases[] = {
        {"binary", 2.f, 10.f, 255.f, {0.f, 100.f}},
        {"close values", 2.f, 10.f, 255.f, {0.f, 96.f, 97.f, 98.f, 99.f, 100.f, 101.f, 102.f, 103.f}},
        {"above maxval", 20.f, 10.f, 255.f, {0.f, 100.f, 110.f, 250.f, 260.f, 300.f}},
        {"bytes between whole values", 2.5f, 9.5f, 200.2f, {0, 9, 10, 11, 12, 13, 198, 200, 201, 203, 255}, true},
        {"bytes, window past the byte range", 300.f, -5.f, 1000.f, {0, 1, 128, 255}, true},
        {"bytes, no joins", -0.5f, 0.f, 255.f, {0, 7}, true},
        {"bytes, empty window", 2.f, 255.5f, 300.f, {0, 254, 255}, true},
        {"bytes in long runs", 0.5f, 0.5f, 1.5f, {0, 1}, true, 30},
    };
    for (const Case &k : cases) {
        std::uniform_int_distribution<size_t> pick(0, k.values.size() - 1);
        std::uniform_int_distribution<int> runLength(1, k.longestRun);
        std::vector<float> g(rows * cols);
        for (size_t i = 0; i < g.size();) {
            const float v = k.values[pick(gen)];
            for (int n = k.longestRun > 1 ? runLength(gen) : 1; n > 0 && i < g.size(); --n) g[i++] = v;
        }
        ZoltHeader *in = image(k.bytes ? "u8bit" : "float", {cols, rows});
        for (int i = 0; i < rows * cols; ++i) {
            if (k.bytes) static_cast<unsigned char *>(in->oltptr)[i] = static_cast<unsigned char>(g[i]);
            else static_cast<float *>(in->oltptr)[i] = g[i];
        }
        const Reference want = referenceLabels(g, rows, cols, k.thresh, k.minval, k.maxval, 3, 40);
        ZoltHeader *out = image("32bit", {cols, rows});
        int count = 0;
        testing::internal::CaptureStdout();
        const int st = cclC4_2(in, k.thresh, k.minval, k.maxval, 3, 40, count, "areas.txt", out);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(st, CCL_OK) << k.name;
        EXPECT_EQ(count, want.count) << k.name;
        const std::string areas = readFile("areas.txt");
        const auto differ = std::mismatch(areas.begin(), areas.end(), want.areas.begin(), want.areas.end());
        EXPECT_TRUE(areas == want.areas)
            << k.name << ": areas file differs from byte " << differ.first - areas.begin();
        const auto *l = static_cast<const int32_t *>(out->oltptr);
        int wrong = 0;
        for (int i = 0; i < rows * cols; ++i) wrong += l[i] != want.labels[i];
        EXPECT_EQ(wrong, 0) << k.name;
    }
}

// Calls on several threads at once, each on its own image of many strips,
// with and without erasing, give what they give one at a time: the helper
// threads a call borrows are never shared with another call.
TEST_F(Ccl, CallsSideBySideGiveWhatTheyGiveAlone) {
    constexpr int cols = 333, rows = 1200, workers = 3, rounds = 4;
    std::vector<ZoltHeader *> ins;
    std::vector<std::vector<int>> alone;
    for (int w = 0; w < workers; ++w) {
        ZoltHeader *in = image("u8bit", {cols, rows});
        std::mt19937 gen(30 + w);
        for (int i = 0; i < cols * rows; ++i) static_cast<unsigned char *>(in->oltptr)[i] = gen() % 4 == 0;
        ins.push_back(in);
        alone.push_back(label(in, w, 0));
    }
    std::vector<int> mismatches(workers, 0);
    std::vector<ZoltHeader *> outs;
    for (int w = 0; w < workers; ++w) outs.push_back(image("32bit", {cols, rows}));
    std::vector<std::thread> pool;
    ZoltChatter = 0;
    for (int w = 0; w < workers; ++w)
        pool.emplace_back([&, w] {
            for (int round = 0; round < rounds; ++round) {
                int count = 0;
                const int st = cclC4_2(ins[w], 2.f, 10.f, 255.f, w, 0, count, "", outs[w]);
                const auto *l = static_cast<const int32_t *>(outs[w]->oltptr);
                mismatches[w] += st != CCL_OK || !std::equal(alone[w].begin(), alone[w].end(), l);
            }
        });
    for (auto &t : pool) t.join();
    ZoltChatter = 1;
    for (int w = 0; w < workers; ++w) EXPECT_EQ(mismatches[w], 0) << "thread " << w;
}

// Every pixel differs from its up, left and up-left neighbours by 10, so each
// interior pixel starts a label of its own.
void checkerOfFour(ZoltHeader *h, int cols, int rows) {
    auto *p = static_cast<float *>(h->oltptr);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p[r * cols + c] = 100.f + 10.f * (2 * (r % 2) + c % 2);
}

TEST_F(Ccl, MillionLabelsFitAndTheLastOneIsCounted) {
    ZoltHeader *in = image("float", {1001, 1001});
    checkerOfFour(in, 1001, 1001);
    int count = 0;
    const auto l = label(in, 1, 0, "areas.txt", &count);
    EXPECT_EQ(count, 1000000);
    EXPECT_EQ(l[1 * 1001 + 1], 1);
    EXPECT_EQ(l[600 * 1001 + 1], 599001);  // beyond the old half-size table
    EXPECT_EQ(l[1000 * 1001 + 1000], 1000000);
    const std::string areas = readFile("areas.txt");
    EXPECT_EQ(areas.substr(areas.size() - 10), "1000000 1\n");
}

TEST_F(Ccl, TooManyLabelsIsRefusedAndOutputLeftAlone) {
    ZoltHeader *in = image("float", {1002, 1001});
    checkerOfFour(in, 1002, 1001);
    ZoltHeader *out = image("32bit", {1002, 1001});
    int count = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(cclC4_2(in, 2.f, 10.f, 255.f, 0, 0, count, "", out), CCL_TOOMANY);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("need more labels than we have\n"),
              std::string::npos);
    EXPECT_EQ(count, 1000000);
    EXPECT_EQ(static_cast<int32_t *>(out->oltptr)[1002 + 1], 0);
}

// Progress comes from the calling thread only and ends at its total; a stop
// asked before the call or at its first report (the labelling under way)
// returns the cancel status with the output, the areas file and the count
// untouched.
TEST_F(Ccl, StopAskedBeforeOrDuringTheRunWritesNothing) {
    constexpr int cols = 300, rows = 700;  // several strips, run side by side
    // bytes of two values are labelled by runs, floats pixel by pixel
    for (const char *type : {"float", "u8bit"}) {
        SCOPED_TRACE(type);
        setProgressHook(nullptr, nullptr);  // no stop asked
        ZoltHeader *in = image(type, {cols, rows});
        std::mt19937 gen(5);
        for (int i = 0; i < cols * rows; ++i) Zoltfpp(in, i / cols, i % cols, gen() % 3 ? 100 : 0);
        const std::vector<int> expected = label(in, 2, 0, "");
        struct Seen {
            long reports = 0, last = -1, total = 0;
            bool otherThread = false, stopAtFirst = false;
            std::thread::id caller = std::this_thread::get_id();
        };
        const auto hook = [](void *to, long done, long total) {
            auto *s = static_cast<Seen *>(to);
            ++s->reports;
            s->last = done;
            s->total = total;
            s->otherThread |= std::this_thread::get_id() != s->caller;
            if (s->stopAtFirst) cancelProgress();
        };
        ZoltHeader *out = image("32bit", {cols, rows});
        auto *o = static_cast<int32_t *>(out->oltptr);

        Seen quiet;
        setProgressHook(hook, &quiet);
        int count = -7;
        testing::internal::CaptureStdout();
        const int done = cclC4_2(in, 2.f, 10.f, 255.f, 2, 0, count, "", out);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(done, CCL_OK);
        EXPECT_EQ(std::vector<int>(o, o + cols * rows), expected);
        EXPECT_FALSE(quiet.otherThread);
        EXPECT_GT(quiet.reports, 2);
        EXPECT_EQ(quiet.last, quiet.total);

        for (const bool before : {true, false}) {
            for (const int eraseSmall : {0, 2}) {
                SCOPED_TRACE(testing::Message() << "before " << before << ", erase " << eraseSmall);
                Seen seen;
                seen.stopAtFirst = !before;
                setProgressHook(hook, &seen);
                if (before) cancelProgress();
                std::fill(o, o + cols * rows, 7);
                count = -7;
                EXPECT_EQ(cclC4_2(in, 2.f, 10.f, 255.f, eraseSmall, 0, count, "areas.txt", out), CCL_CANCELLED);
                EXPECT_TRUE(std::all_of(o, o + cols * rows, [](int32_t v) { return v == 7; }));
                EXPECT_EQ(count, -7);
                EXPECT_FALSE(fs::exists("areas.txt"));
                EXPECT_EQ(seen.reports, before ? 0 : 1);
            }
        }
    }
    setProgressHook(nullptr, nullptr);
}

TEST_F(Ccl, SingleRowOrColumnHasNothingToLabel) {
    int count = -1;
    EXPECT_EQ(label(picture({"####"}), 5, 0, "areas.txt", &count), (std::vector<int>{0, -1, -1, -1}));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(readFile("areas.txt"), "0 0\n");
    EXPECT_EQ(label(picture({"#", "#", "#"})), (std::vector<int>{0, -1, -1}));
}

TEST_F(Ccl, MismatchedOrMissingImagesAreRefused) {
    ZoltHeader *in = picture({"...", ".#."});
    int count = 5;
    EXPECT_EQ(cclC4_2(in, 2.f, 10.f, 255.f, 0, 0, count, "", image("float", {2, 2})), CCL_BADIMAGE);
    EXPECT_EQ(cclC4_2(nullptr, 2.f, 10.f, 255.f, 0, 0, count, "", image("float", {3, 2})),
              CCL_BADIMAGE);
    EXPECT_EQ(cclC4_2(image("float", {3, 2, 2}), 2.f, 10.f, 255.f, 0, 0, count, "",
                      image("float", {3, 2})),
              CCL_BADIMAGE);  // two frames are no colour image
    EXPECT_EQ(count, 5);
}

TEST_F(Ccl, OutputTheLabelsCannotBeConvertedToIsAFailure) {
    // complex images take no converted values: the call must not report success
    ZoltHeader *out = image("32cmp", {3, 2});
    int count = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(cclC4_2(picture({"...", ".#."}), 2.f, 10.f, 255.f, 0, 0, count, "", out), CCL_BADIMAGE);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ZoltErrorCode, ZOLT_ETYPE);
}

}  // namespace
