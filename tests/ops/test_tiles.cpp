// Tiled runs: every operation of the table with local support gives, inside a
// tile cut with its halo, exactly the whole image's bytes, at the image's
// edges too, and a halo one smaller misses somewhere; the operations that
// read the whole image declare no halo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "ops.h"
#include "zolt_fixture.h"

namespace {

struct Tiles : ZoltTest {
    OpContext context;

    // Runs op on in; the result, or null when the operation did not run.
    ZoltHeader *run(const OpEntry &op, const ZoltHeader *in, const OpValues &v) {
        ZoltHeader *out = keep(opMakeOutput(op, in));
        const OpOutcome o = opRun(OpCall{op, in, nullptr, out, v, context});
        keep(o.made);
        return o.done ? out : nullptr;
    }

    // Rows [r0, r1) and columns [c0, c1) of one frame as a 3-D image of one frame.
    ZoltHeader *cut(const ZoltHeader *h, int frame, int r0, int r1, int c0, int c1) {
        const int dims[4] = {3, c1 - c0, r1 - r0, 1};
        ZoltHeader *t = keep(Zoltcreate(h->oltdt, dims, 11, 0));
        const size_t e = static_cast<size_t>(h->oltesize);
        for (int r = r0; r < r1; ++r)
            std::memcpy(static_cast<char *>(t->oltptr) + (r - r0) * (c1 - c0) * e,
                        static_cast<const char *>(h->oltptr) +
                            ((size_t(frame) * h->oltdln[2] + size_t(r) * h->oltdln[1] + c0) * e),
                        (c1 - c0) * e);
        return t;
    }

    // Pixels of the tiles' own parts that differ from the whole image's
    // result when each tile is cut with `halo`.
    int mismatches(const OpEntry &op, const OpValues &v, const ZoltHeader *in, const ZoltHeader *whole,
                   int halo) {
        const int rowCuts[] = {0, 24, 45, 70}, colCuts[] = {0, 17, 53};
        const int rows = in->oltdim[1].dimlen, cols = in->oltdim[0].dimlen;
        const size_t e = static_cast<size_t>(whole->oltesize);
        int bad = 0;
        for (int f = 0; f < 2; ++f)
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 2; ++j) {
                    const int r0 = std::max(0, rowCuts[i] - halo), r1 = std::min(rows, rowCuts[i + 1] + halo);
                    const int c0 = std::max(0, colCuts[j] - halo), c1 = std::min(cols, colCuts[j + 1] + halo);
                    const ZoltHeader *tile = run(op, cut(in, f, r0, r1, c0, c1), v);
                    if (!tile) {
                        ADD_FAILURE() << op.name << ": refused a tile of " << (r1 - r0) << " rows";
                        return -1;
                    }
                    for (int r = rowCuts[i]; r < rowCuts[i + 1]; ++r)
                        for (int c = colCuts[j]; c < colCuts[j + 1]; ++c) {
                            const char *a = static_cast<const char *>(whole->oltptr) +
                                            (size_t(f) * whole->oltdln[2] + size_t(r) * whole->oltdln[1] + c) * e;
                            const char *b = static_cast<const char *>(tile->oltptr) +
                                            (size_t(r - r0) * (c1 - c0) + (c - c0)) * e;
                            bad += std::memcmp(a, b, e) != 0;
                        }
                }
        return bad;
    }
};

}  // namespace

TEST_F(Tiles, HaloGivesTheWholeImageBytesAndNoLess) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(0.5f, 200.0f);
    ZoltHeader *real = image("float", {53, 70, 2});
    for (size_t i = 0; i < Zoltpixels(real); ++i) pixels<float>(real)[i] = value(random);
    int count = 0, tested = 0;
    const OpEntry *table = opTable(&count);
    for (int n = 0; n < count; ++n) {
        const OpEntry &op = table[n];
        if (!op.halo) continue;
        EXPECT_EQ(op.output, OpOutput::FloatLike) << op.name << ": a tile's result must keep the tile's shape";
        // The dialogs' values, then sigma 1.4 (r = 5) and, where allowed, -1.4.
        std::vector<OpValues> sets(1);
        for (int k = 0; k < op.paramCount(); ++k) op.params[k].defaultValue(&sets[0].number[k]);
        const int s = op.paramIndex("sigma");
        for (double sigma : {1.4, -1.4})
            if (s >= 0 && sigma >= op.params[s].min) {
                sets.push_back(sets[0]);
                sets.back().number[s] = sigma;
            }
        for (const OpValues &v : sets) {
            const ZoltHeader *whole = run(op, real, v);
            if (!whole) continue;  // a value the operation refuses on any image (sigma 0)
            ++tested;
            const int halo = opHalo(op, v);
            ASSERT_GE(halo, 0) << op.name;
            EXPECT_EQ(mismatches(op, v, real, whole, halo), 0) << op.name << " sigma " << v.number[0];
            if (halo > 0) {
                EXPECT_GT(mismatches(op, v, real, whole, halo - 1), 0) << op.name << " sigma " << v.number[0];
            }
        }
    }
    EXPECT_GE(tested, 27);  // none skipped unseen
    // Scaled to the image's extremes, labelled, equalised or transformed as a
    // whole; the complex parts convert the first frame only.
    for (const char *name : {"inv", "markmax", "ccl", "histeq", "cmap", "fft", "hog", "resize", "add", "c2mag"})
        EXPECT_EQ(opHalo(*opByName(name), OpValues()), -1) << name;
}
