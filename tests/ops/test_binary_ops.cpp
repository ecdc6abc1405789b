// The two-input operations of the table, run as the panel and the tool run
// them: the arithmetic's output and messages, the correlation's refusals,
// pcon's form read back with every field cleared, and zolt op end to end.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../zolt/zolt_file_helpers.h"
#include "elementwise.h"
#include "mfa.h"
#include "ops.h"

using namespace zolttest;

namespace {

struct BinaryOps : ZoltFileTest {
    OpContext context;
    OpValues values;

    // Runs the named operation with `values` on a prepared float output.
    OpOutcome run(const char *name, const ZoltHeader *in1, const ZoltHeader *in2) {
        const OpEntry *op = opByName(name);
        EXPECT_NE(op, nullptr) << name;
        ZoltHeader *out = keep(opMakeOutput(*op, in1));
        OpOutcome o = opRun(OpCall{*op, in1, in2, out, values, context});
        keep(o.made);
        return o;
    }
    ZoltHeader *ramp(const char *type, std::initializer_list<int> lengths, float step) {
        ZoltHeader *h = image(type, lengths);
        for (size_t k = 0; k < Zoltpixels(h); ++k) Zoltfpp(h, 0, static_cast<int>(k), 1 + step * (k % 97));
        return h;
    }
};

TEST_F(BinaryOps, ArithmeticMakesInput1sTypeOnTheCanvasAndReportsStatuses) {
    ZoltHeader *a = ramp("u8bit", {6, 4}, 2), *b = ramp("u8bit", {6, 4}, 1);
    // as the translation form reads them: truncated, and not a number is 0
    const OpEntry &add = *opByName("add");
    opReadField(add.params[0], " 2.9 ", values, 0);
    opReadField(add.params[1], "-1.7", values, 1);
    OpOutcome o = run("add", a, b);
    ASSERT_TRUE(o.done);
    ASSERT_NE(o.made, nullptr);
    EXPECT_STREQ(o.made->oltdt, "u8bit");
    EXPECT_EQ(Zoltdimen(o.made, 0), 7u);
    EXPECT_EQ(Zoltdimen(o.made, 1), 6u);
    EXPECT_EQ(Zoltfgp(o.made, 0, 1), Zoltfgp(a, 0, 0));
    EXPECT_EQ(Zoltfgp(o.made, 2, 0), Zoltfgp(b, 0, 0));
    opReadField(add.params[0], "2 rows", values, 0);
    EXPECT_EQ(Zoltdimen(run("add", a, b).made, 1), 4u);

    // grey against colour: refused in words, before anything is made
    o = run("sub", a, image("float", {6, 4, 3}));
    EXPECT_FALSE(o.done);
    EXPECT_EQ(o.made, nullptr);
    EXPECT_EQ(o.message.formatted(),
              "Add, Sub, Mul and Div need two grey or two colour images: image 1 is grey, image 2 is colour.");

    o = run("mul", image("32cmp", {6, 4}), b);
    EXPECT_EQ(o.made, nullptr);
    EXPECT_EQ(o.message.formatted(), "Add, Sub, Mul and Div need real images.");
}

TEST_F(BinaryOps, CorrelationRefusals) {
    ZoltHeader *big = image("float", {200, 200});
    const OpEntry &op = *opByName("correlate");
    OpCheck c = opCheck(op, big, image("float", {128, 128}), nullptr);
    EXPECT_TRUE(c.refusal.empty());
    EXPECT_EQ(c.notice.formatted(), "This may take a long time, please be patient.");
    EXPECT_EQ(c.notice.msec, 1000);
    c = opCheck(op, big, image("float", {129, 128}), nullptr);
    EXPECT_EQ(c.refusal.formatted(), "Image 2 needs to be small, like 64x64 or less. Sorry.");
    c = opCheck(op, big, image("float", {8, 8, 3}), nullptr);
    EXPECT_EQ(c.refusal.formatted(), "I can't correlate a gray scale image with a color image. Sorry.");
    EXPECT_EQ(run("correlate", big, image("u8bit", {8, 8})).message.formatted(),
              "Input images must be float or complex -2");
}

TEST_F(BinaryOps, PconWithEveryFieldClearedAndItsRefusals) {
    const OpEntry &op = *opByName("pcon");
    for (int k = 0; k < 6; ++k) opReadField(op.params[k], "", values, k);
    const double cleared[6] = {3.0, 0.03, 4.0, 1.0, 0.005, 0.99};
    for (int k = 0; k < 6; ++k) EXPECT_DOUBLE_EQ(values.number[k], cleared[k]) << k;

    ZoltHeader *f = ramp("float", {9, 7}, 0.5f), *g = ramp("float", {9, 7}, 0.25f);
    ZoltHeader *f2 = keep(fldup(f)), *g2 = keep(fldup(g));
    values.number[3] = 1, values.number[4] = 0.5;  // four steps suffice here
    ASSERT_TRUE(run("pcon", f, g).done);
    ASSERT_EQ(Pcon(f2, g2, 3.f, 0.03f, 4.f, 1.f, 0.5f, 0.99f), PCON_OK);
    for (size_t k = 0; k < 63; ++k) {
        ASSERT_EQ(static_cast<float *>(f->oltptr)[k], static_cast<float *>(f2->oltptr)[k]) << k;
        ASSERT_EQ(static_cast<float *>(g->oltptr)[k], static_cast<float *>(g2->oltptr)[k]) << k;
    }

    // a cooling factor of 1 never ends: refused, and nothing changes
    values.number[5] = 1;
    const OpOutcome o = run("pcon", f, g);
    EXPECT_FALSE(o.message.empty());
    EXPECT_EQ(o.status, PCON_PARAMS);
    for (size_t k = 0; k < 63; ++k) ASSERT_EQ(static_cast<float *>(f->oltptr)[k], static_cast<float *>(f2->oltptr)[k]);
    EXPECT_EQ(opCheck(op, image("float", {9, 7, 3}), g, nullptr).refusal.formatted(),
              "This function cannot run on color images.");
}

int runTool(const std::string &arguments) {
    const std::string command = std::string("'") + ZOLT_TOOL + "' " + arguments + " >/dev/null 2>&1";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST_F(BinaryOps, ZoltOpAddsWithATranslationAndRunsPcon) {
    ZoltHeader *a = ramp("float", {100, 100}, 1), *b = ramp("float", {100, 100}, 3);
    const std::string pa = temp("a.zol"), pb = temp("b.zol"), sum = temp("sum.zol"), mfa = temp("mfa.zol");
    ASSERT_EQ(Zoltpot(a, pa.c_str()), -1);
    ASSERT_EQ(Zoltpot(b, pb.c_str()), -1);
    ASSERT_EQ(runTool("op add '" + pa + "' '" + pb + "' -o '" + sum + "' --dr 10 --dc -5"), 0);
    ZoltHeader *s = keep(Zoltpin(sum.c_str()));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Zoltdimen(s, 0), 105u);
    EXPECT_EQ(Zoltdimen(s, 1), 110u);
    EXPECT_EQ(Zoltfgp(s, 0, 0), 0.0);
    EXPECT_EQ(Zoltfgp(s, 0, 5), Zoltfgp(a, 0, 0));
    EXPECT_EQ(Zoltfgp(s, 10, 0), Zoltfgp(b, 0, 0));

    // pcon with the form's defaults (sigma 2.0 as pre-filled); inputs untouched
    const std::vector<unsigned char> before = readFile(pb);
    ASSERT_EQ(runTool("op pcon '" + pa + "' '" + pb + "' -o '" + mfa + "' --t2 0.3"), 0);
    EXPECT_EQ(readFile(pb), before);
    ZoltHeader *restored = keep(Zoltpin(mfa.c_str()));
    ASSERT_NE(restored, nullptr);
    ASSERT_EQ(Pcon(a, b, 2.f, 0.03f, 4.f, 1.f, 0.3f, 0.99f), PCON_OK);
    for (int k = 0; k < 100 * 100; ++k)
        ASSERT_EQ(static_cast<float *>(restored->oltptr)[k], static_cast<float *>(a->oltptr)[k]) << k;
}

}  // namespace
