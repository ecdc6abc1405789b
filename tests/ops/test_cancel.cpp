// A stop asked through the progress hook ends a long annealing at its next
// step: the run reports the cancel, makes no result and leaves its inputs.
#include <gtest/gtest.h>

#include <vector>

#include "ops.h"
#include "progress.h"
#include "zolt_fixture.h"

namespace {

using Cancel = ZoltTest;

TEST_F(Cancel, PconStopsAtTheNextStepAndChangesNothing) {
    ZoltHeader *f = image("float", {16, 16});
    ZoltHeader *g = image("float", {16, 16});
    auto *gp = static_cast<float *>(g->oltptr);
    for (int i = 0; i < 256; ++i) gp[i] = static_cast<float>((i * 37) % 101);
    const std::vector<float> before(gp, gp + 256);
    const OpEntry *op = opByName("pcon");
    ASSERT_TRUE(op);
    OpValues values;
    for (int k = 0; k < op->paramCount(); ++k) ASSERT_TRUE(op->params[k].defaultValue(&values.number[k]));
    values.number[3] = 1000, values.number[4] = 0.001, values.number[5] = 0.99999;  // about 1.4 million steps
    long seen = 0;
    setProgressHook([](void *to, long done, long) {
        *static_cast<long *>(to) = done;
        if (done == 3) cancelProgress();
    }, &seen);
    OpContext context;
    const OpOutcome o = opRun(OpCall{*op, f, g, nullptr, values, context});
    setProgressHook(nullptr, nullptr);
    EXPECT_FALSE(o.done);
    EXPECT_EQ(o.made, nullptr);
    EXPECT_EQ(seen, 3);
    EXPECT_NE(o.message.text.find("cancelled"), std::string::npos) << o.message.text;
    EXPECT_EQ(std::vector<float>(gp, gp + 256), before);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(static_cast<const float *>(f->oltptr)[i], 0.0f);
}

}  // namespace
