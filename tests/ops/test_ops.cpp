// The operation table and its runner: the table's dialog settings, the random
// colour map against drand48's own generator, the labelling's refusals and
// value fixes against the labelling called directly, crop, resize, ShowHoG
// and the FFT and complex refusals with their messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

#include "ccl.h"
#include "colormap.h"
#include "ops.h"
#include "zolt_fixture.h"

namespace {

struct Ops : ZoltTest {
    OpContext context;

    // The values the untouched dialogs give, with `name` set to `value`.
    static OpValues defaults(const OpEntry &op) {
        OpValues v;
        for (int k = 0; k < op.paramCount(); ++k) {
            double d = 0;
            if (op.params[k].defaultValue(&d)) v.number[k] = d;
        }
        return v;
    }
    OpOutcome run(const char *name, const ZoltHeader *in, OpValues v, ZoltHeader **out = nullptr) {
        const OpEntry *op = opByName(name);
        EXPECT_NE(op, nullptr) << name;
        ZoltHeader *prepared = op->output == OpOutput::Own ? nullptr : keep(opMakeOutput(*op, in));
        OpOutcome o = opRun(OpCall{*op, in, nullptr, prepared, v, context});
        keep(o.made);
        if (out) *out = o.made ? o.made : prepared;
        return o;
    }
    OpValues with(const char *name, std::initializer_list<std::pair<const char *, double>> set) {
        const OpEntry *op = opByName(name);
        OpValues v = defaults(*op);
        for (const auto &s : set) v.number[op->paramIndex(s.first)] = s.second;
        return v;
    }
};

// drand48's sequence from its documented start state, drawn with the C library.
std::vector<int> libraryBytes(int count) {
    unsigned short state[3] = {0x330E, 0xABCD, 0x1234};
    std::vector<int> bytes;
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<int>(erand48(state) * 255.0));
    return bytes;
}

}  // namespace

TEST_F(Ops, TableHoldsEachNameAndCodeOnceAndTheSpecialDialogs) {
    int n = 0;
    const OpEntry *t = opTable(&n);
    std::set<std::string> names;
    std::set<std::pair<int, int>> codes;
    for (int i = 0; i < n; ++i) {
        EXPECT_TRUE(names.insert(t[i].name).second) << t[i].name;
        if (t[i].code) {
            EXPECT_TRUE(codes.insert({t[i].code, t[i].inputs}).second) << t[i].name;
        }
        for (int k = 0; k < t[i].paramCount(); ++k) {
            if (t[i].params[k].title) {
                EXPECT_TRUE(t[i].params[k].bounded()) << t[i].name;
            }
        }
    }
    EXPECT_EQ(opByCode(1, 1)->params[0].min, 1.0);
    EXPECT_EQ(opByCode(2, 1)->params[0].min, 0.0);
    EXPECT_EQ(opByCode(19, 1)->params[0].def, 1.0);  // blur: 0 is refused
    EXPECT_STREQ(opByCode(6, 1)->params[0].title, "gDir");
    EXPECT_EQ(opBySlot("natlog", 1), nullptr);
    EXPECT_STREQ(opButtonLabel("natlog", 1), "N/A");
    EXPECT_STREQ(opBySlot("fft", 1)->name, "fft");
}

TEST_F(Ops, RandomMapColoursFromTheFixedGeneratorAndPaintsLabelsBelowTwoBlack) {
    // Labels 0..5 along row 1; n = 4 from maxValue, but label 5 widens it to 6.
    ZoltHeader *labels = image("float", {7, 3});
    float *p = pixels<float>(labels);
    for (int c = 1; c < 7; ++c) p[7 + c] = static_cast<float>(c - 1);
    p[0] = p[1] = 2;  // row 0 is never written
    ZoltHeader *out = image("float", {7, 3, 3});
    Rand48 fresh;
    ASSERT_EQ(randomColorMap(labels, out, 4, fresh), 0);
    const size_t n = 6;
    const std::vector<int> bytes = libraryBytes(3 * n - 2);  // table entries 2 .. 3n - 1
    auto entry = [&](size_t i) { return bytes[i - 2]; };
    const float *o = pixels<float>(out);
    for (int c = 1; c < 7; ++c) {
        const int label = c - 1;
        for (int f = 0; f < 3; ++f) {
            const float got = o[f * 21 + 7 + c];
            if (label < 2)
                EXPECT_EQ(got, 0.0f) << label;
            else
                EXPECT_EQ(got, static_cast<float>(entry(label + f * n))) << "label " << label << " frame " << f;
        }
    }
    EXPECT_EQ(o[0], 0.0f);
    EXPECT_EQ(o[1], 0.0f);
}

TEST_F(Ops, PseudoColourOfAFourFrameImageFillsItsFirstThreeFrames) {
    // Frame 1 ramps 0..255 (so scaling keeps the values); frame 0 is chosen by
    // the frame parameter, the fourth frame is an overlay.
    ZoltHeader *in = image("float", {256, 2, 4});
    for (int c = 0; c < 256; ++c) pixels<float>(in)[512 + c] = pixels<float>(in)[768 + c] = float(c);
    ZoltHeader *out = nullptr;
    ASSERT_TRUE(run("cmap", in, with("cmap", {{"map", 3}, {"frame", 1}}), &out).done);
    uint8_t table[768];
    Zoltcolortable(3, table);
    ASSERT_EQ(Zoltdimen(out, 2), 4u);
    for (int f = 0; f < 3; ++f)
        for (int c = 0; c < 256; c += 51) EXPECT_EQ(pixels<float>(out)[f * 512 + c], table[f * 256 + c]) << f << c;
}

TEST_F(Ops, LabellingRefusesLargeImagesAndFixesItsBounds) {
    ZoltHeader *huge = image("u8bit", {4000, 3000});
    const OpCheck big = opCheck(*opByName("ccl"), huge, nullptr, nullptr);
    EXPECT_EQ(big.refusal.formatted(), "Sorry. This function cannot handle 12000000 pixels. Returning...");
    EXPECT_EQ(big.refusal.msec, 3000);

    ZoltHeader *in = image("float", {8, 6});
    float *p = pixels<float>(in);
    for (int i = 0; i < 48; ++i) p[i] = (i % 8) < 4 ? 0.0f : 200.0f;
    ZoltHeader *out = nullptr;
    const OpOutcome fixed = run("ccl", in, with("ccl", {{"minval", 0}, {"maxval", 0}}), &out);
    ZoltHeader *direct = image("float", {8, 6});
    int labels = 0;
    ASSERT_EQ(cclC4_2(in, 2.0f, 1.0f, 256.0f, 0, 0, labels, "", direct), 0);
    EXPECT_TRUE(fixed.done);
    EXPECT_EQ(std::memcmp(out->oltptr, direct->oltptr, Zoltbytes(direct)), 0);
    EXPECT_EQ(context.maxValue, labels);
    EXPECT_EQ(fixed.message.formatted(), "found " + std::to_string(labels) + " labels");

    const OpOutcome nonsense = run("ccl", in, with("ccl", {{"minval", 50}, {"maxval", 20}}));
    EXPECT_FALSE(nonsense.ran);
    EXPECT_EQ(nonsense.message.text, "Maxvalue and Minvalue don't make sense. Returning...");
    EXPECT_EQ(nonsense.message.msec, 2000);
}

TEST_F(Ops, CropTakesTheRectangleBetweenTheCornersAndRefusesOthers) {
    ZoltHeader *in = image("float", {10, 8, 4});
    float *p = pixels<float>(in);
    for (int i = 0; i < 320; ++i) p[i] = static_cast<float>(i);
    ZoltHeader *out = nullptr;
    // Corners in either order: columns 2..5, rows 1..2.
    ASSERT_TRUE(run("crop", in, with("crop", {{"x1", 6}, {"y1", 1}, {"x2", 2}, {"y2", 3}}), &out).done);
    ASSERT_EQ(out->oltndim, 3);
    EXPECT_EQ(Zoltdimen(out, 0), 4u);
    EXPECT_EQ(Zoltdimen(out, 1), 2u);
    EXPECT_EQ(Zoltdimen(out, 2), 3u);
    const float *o = pixels<float>(out);
    EXPECT_EQ(o[0], 1 * 10 + 2);            // frame 0, row 1, column 2
    EXPECT_EQ(o[4 * 2 * 2 + 4 + 1], 2 * 80 + 2 * 10 + 3);  // frame 2, row 1 + 1, column 2 + 1
    EXPECT_FALSE(run("crop", in, with("crop", {{"x1", 3}, {"y1", 1}, {"x2", 3}, {"y2", 5}})).ran);
    const OpOutcome outside = run("crop", in, with("crop", {{"x1", 6}, {"y1", 1}, {"x2", 11}, {"y2", 3}}));
    EXPECT_FALSE(outside.ran);
    EXPECT_FALSE(outside.message.empty());
}

TEST_F(Ops, RefusalsOfResizeShowHogFftAndComplexParts) {
    ZoltHeader *in = image("float", {100, 100});
    EXPECT_EQ(run("resize", in, with("resize", {{"rows", 10}, {"cols", 10}, {"mode", 3}})).message.text,
              "Interpolation mode must be 0, 1, or 2");
    EXPECT_FALSE(run("resize", in, with("resize", {{"rows", 0}, {"cols", 10}})).ran);
    EXPECT_EQ(run("showhog", in, OpValues()).message.text, "To view a HoG, input must have 9 frames");
    EXPECT_EQ(run("fft", in, OpValues()).message.formatted(),
              "FFT:Image dimensions must be a power of 2, such as 256 or 512 (this one is 100 x 100)");
    EXPECT_EQ(run("fft", image("float", {128, 64}), OpValues()).message.formatted(),
              "FFT:Image must be square, with a side that is a power of 2 (this one is 128 x 64)");
    EXPECT_EQ(run("c2real", in, OpValues()).message.text, "Image is not complex");
    EXPECT_EQ(run("c2mag", in, OpValues()).message.text, "Input Image is not complex");
    EXPECT_EQ(run("blur", in, OpValues()).message.text, "Sigma must not be 0.");
    EXPECT_EQ(run("dx", nullptr, OpValues()).message.text, "Input empty");
}

// A three-frame image is transformed frame by frame into as many complex
// frames, and the inverse brings every frame back.
TEST_F(Ops, FftOfEachFrameAndBack) {
    ZoltHeader *in = image("float", {8, 8, 3});
    float *p = pixels<float>(in);
    p[0] = 1.f;                                   // frame 0: impulse, spectrum 1 everywhere
    for (int i = 0; i < 64; ++i) p[64 + i] = 2.f;  // frame 1: constant, spectrum 128 at (0, 0) only
    p[128] = 3.f;                                 // frame 2: impulse, spectrum 3 everywhere
    ZoltHeader *spectrum = nullptr;
    ASSERT_TRUE(run("fft", in, OpValues(), &spectrum).done);
    ASSERT_EQ(spectrum->oltndim, 3);
    ASSERT_EQ(Zoltdimen(spectrum, 2), 3u);
    const float *s = pixels<float>(spectrum);
    for (int i = 0; i < 64; ++i) {
        EXPECT_FLOAT_EQ(s[2 * i], 1.f);
        EXPECT_FLOAT_EQ(s[2 * (64 + i)], i == 0 ? 128.f : 0.f);
        EXPECT_FLOAT_EQ(s[2 * (128 + i)], 3.f);
        EXPECT_EQ(s[2 * i + 1], 0.f);
    }
    ZoltHeader *back = nullptr;
    ASSERT_TRUE(run("ifft", spectrum, OpValues(), &back).done);
    const float *b = pixels<float>(back);
    for (int i = 0; i < 192; ++i) EXPECT_NEAR(b[2 * i], p[i], 1e-5) << i;
}
