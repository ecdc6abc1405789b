// The library called from several threads at once on different images: each
// thread keeps its own error state, operations give what they give alone
// (refusals included), and random colour maps made side by side still draw
// whole runs of the one generator.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ops.h"
#include "zolt_fixture.h"

namespace {

struct Threads : ZoltTest {};

// A 64 x 64 image with smooth and stepped parts, so every family has work.
ZoltHeader *scene() {
    const int dims[3] = {2, 64, 64};
    ZoltHeader *h = Zoltcreate("float", dims, 11, 0);
    auto *p = static_cast<float *>(h->oltptr);
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 64; ++c) p[r * 64 + c] = float((r / 8 + c / 8) % 3 * 60 + (r * c) % 17);
    return h;
}

struct Outcome {
    bool done = false;
    std::string message;
    std::string bytes;  // the result's pixels
};

Outcome runOp(const char *name, const ZoltHeader *in, std::initializer_list<std::pair<const char *, double>> set) {
    const OpEntry *op = opByName(name);
    OpValues v;
    for (int k = 0; k < op->paramCount(); ++k) {
        double d = 0;
        if (op->params[k].defaultValue(&d)) v.number[k] = d;
    }
    for (const auto &s : set) v.number[op->paramIndex(s.first)] = s.second;
    OpContext context;
    ZoltHeader *out = op->output == OpOutput::Own ? nullptr : opMakeOutput(*op, in);
    const OpOutcome o = opRun(OpCall{*op, in, nullptr, out, v, context});
    Outcome r;
    r.done = o.done;
    r.message = o.message.formatted();
    const ZoltHeader *result = o.made ? o.made : out;
    if (o.done && result) r.bytes.assign(static_cast<const char *>(result->oltptr), Zoltbytes(result));
    if (o.made) Zoltfree(o.made, 7);
    if (out) Zoltfree(out, 7);
    return r;
}

// One batch of every family: derivatives, blur, FFT, labelling, equalisation,
// a point operation and a blur refused for its sigma.
std::vector<Outcome> batch(const ZoltHeader *in) {
    return {runOp("dx", in, {}),          runOp("blur", in, {{"sigma", 1.5}}), runOp("fft", in, {}),
            runOp("ccl", in, {}),         runOp("histeq", in, {}),             runOp("ln", in, {}),
            runOp("blur", in, {{"sigma", 0}})};
}

TEST_F(Threads, EachThreadKeepsItsOwnErrorState) {
    ZoltErrorCode = 0;
    int seenCode = -1, seenMode = -1, seenDepth = -1;
    std::thread other([&] {
        seenMode = ZoltErrorMode;  // a fresh thread starts in the default mode
        ZoltErrorMode = 1;
        const int four[5] = {4, 2, 2, 2, 2};
        EXPECT_EQ(Zoltcreate("float", four, 11, 0), nullptr);
        seenCode = ZoltErrorCode;
        seenDepth = ZoltDepth;
    });
    other.join();
    EXPECT_EQ(seenMode, 8);
    EXPECT_EQ(seenCode, ZOLT_EDIM);
    EXPECT_EQ(seenDepth, 0);
    EXPECT_EQ(ZoltErrorCode, 0);
    EXPECT_EQ(ZoltErrorMode, 1);
}

TEST_F(Threads, OperationsSideBySideGiveWhatTheyGiveAlone) {
    ZoltHeader *in = keep(scene());
    ZoltChatter = 0;
    const std::vector<Outcome> alone = batch(in);
    ASSERT_FALSE(alone.back().done);
    EXPECT_EQ(alone.back().message, "Sigma must not be 0.");
    for (size_t i = 0; i + 1 < alone.size(); ++i) ASSERT_TRUE(alone[i].done) << i;

    const int workers = 4, rounds = 6;
    std::vector<int> mismatches(workers, 0);
    std::vector<std::thread> pool;
    for (int w = 0; w < workers; ++w)
        pool.emplace_back([&, w] {
            ZoltErrorMode = 1;
            ZoltHeader *mine = scene();  // each thread its own image
            for (int round = 0; round < rounds; ++round) {
                const std::vector<Outcome> got = batch(mine);
                for (size_t i = 0; i < got.size(); ++i)
                    if (got[i].done != alone[i].done || got[i].message != alone[i].message ||
                        got[i].bytes != alone[i].bytes)
                        ++mismatches[w];
            }
            Zoltfree(mine, 7);
        });
    for (auto &t : pool) t.join();
    ZoltChatter = 1;
    for (int w = 0; w < workers; ++w) EXPECT_EQ(mismatches[w], 0) << "thread " << w;
}

TEST_F(Threads, RandomMapsMadeSideBySideDrawWholeRuns) {
    // Labels 0..9 along row 1: each map draws 3 * 10 - 2 values.
    ZoltHeader *labels = image("float", {11, 2});
    for (int c = 1; c < 11; ++c) pixels<float>(labels)[11 + c] = float(c - 1);
    const int maps = 24;
    const size_t size = 11 * 2 * 3 * sizeof(float);

    // Alone: map k is drawn after k whole runs.
    std::set<std::string> expected;
    Rand48 alone;
    for (int k = 0; k < maps; ++k) {
        ZoltHeader *out = image("float", {11, 2, 3});
        ASSERT_EQ(randomColorMap(labels, out, 10, alone), 0);
        expected.insert(std::string(static_cast<const char *>(out->oltptr), size));
    }
    ASSERT_EQ(expected.size(), size_t(maps));

    Rand48 shared;
    std::vector<std::string> got(maps);
    std::vector<std::thread> pool;
    for (int t = 0; t < 4; ++t)
        pool.emplace_back([&, t] {
            const int dims[4] = {3, 11, 2, 3};
            for (int k = t; k < maps; k += 4) {
                ZoltHeader *out = Zoltcreate("float", dims, 11, 0);
                if (randomColorMap(labels, out, 10, shared) == 0)
                    got[k].assign(static_cast<const char *>(out->oltptr), size);
                Zoltfree(out, 7);
            }
        });
    for (auto &t : pool) t.join();
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), expected);
}

}  // namespace
