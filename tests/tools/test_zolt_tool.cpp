// The zolt command-line tool, run as a program: info on the bundled sample and
// on unreadable files, convert to other types and refused conversions; and its
// argument parsing on its own.
#include <gtest/gtest.h>

#include <dirent.h>
#include <dirent.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../../tools/zolt/args.h"
#include "../zolt/zolt_file_helpers.h"
#include "gauss.h"
#include "stats.h"
#include "tool_run.h"
#include "zolt.h"

using namespace zolttest;

namespace {

const std::string kSample = std::string(ZOLT_TEST_DATA) + "/sample.zol";

using Tool = ZoltFileTest;

// Min, max and mean of one frame of a "32flt" image, straight from the data.
void floatStats(const ZoltHeader *h, double *lo, double *hi, double *mean) {
    const auto *p = static_cast<const float *>(h->oltptr);
    const size_t n = Zoltpixels(h);
    *lo = *hi = p[0];
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        *lo = std::fmin(*lo, p[i]);
        *hi = std::fmax(*hi, p[i]);
        sum += p[i];
    }
    *mean = sum / static_cast<double>(n);
}

double numberAfter(const std::string &text, const std::string &label) {
    const size_t at = text.find(label);
    return at == std::string::npos ? NAN : std::atof(text.c_str() + at + label.size());
}

TEST_F(Tool, InfoDescribesTheSample) {
    const ToolRun r = runTool("info '" + kSample + "'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("32flt (code 0x204 = 516)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("element:     4 bytes"), std::string::npos);
    EXPECT_NE(r.out.find("256 columns x 256 rows x 1 frames"), std::string::npos);
    EXPECT_NE(r.out.find("compressed:  1"), std::string::npos);
    EXPECT_NE(r.out.find("machine:     2"), std::string::npos);
    EXPECT_NE(r.out.find("version:     V7.0"), std::string::npos);

    ZoltHeader *h = keep(Zoltpin(kSample.c_str()));
    ASSERT_NE(h, nullptr);
    double lo, hi, mean;
    floatStats(h, &lo, &hi, &mean);
    EXPECT_NEAR(numberAfter(r.out, "frame 0: min "), lo, 1e-6 * std::fabs(lo));
    EXPECT_NEAR(numberAfter(r.out, "max "), hi, 1e-6 * std::fabs(hi));
    EXPECT_NEAR(numberAfter(r.out, "mean "), mean, 1e-6 * std::fabs(mean));
    EXPECT_GT(numberAfter(r.out, "sd "), 1.0);  // a pattern, not a flat field
}

TEST_F(Tool, InfoOnAnUnreadableFileFailsButListsTheOthers) {
    const std::string bad = temp("bad.zol");
    ASSERT_TRUE(writeFile(bad, std::vector<unsigned char>(100, 'x')));
    const ToolRun r = runTool("info '" + bad + "' '" + kSample + "'");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("ZoltRdHdr: I/O error or EOF when reading header."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("256 columns x 256 rows"), std::string::npos);
    EXPECT_NE(runTool("info '" + temp("missing.zol") + "'").status, 0);
}

TEST_F(Tool, InfoPerFrameOfAThreeFrameImage) {
    ZoltHeader *h = image("16bit", {4, 3, 2});
    ASSERT_NE(h, nullptr);
    auto *p = static_cast<int16_t *>(h->oltptr);
    for (int i = 0; i < 12; ++i) p[i] = static_cast<int16_t>(i);         // 0..11: mean 5.5
    for (int i = 12; i < 24; ++i) p[i] = static_cast<int16_t>(-100);    // flat
    const std::string path = temp("frames.zol");
    ASSERT_EQ(Zoltpot(h, path.c_str()), -1);
    const ToolRun r = runTool("info '" + path + "'");
    EXPECT_EQ(r.status, 0);
    // Population deviation of 0..11: sqrt((144 - 1) / 12).
    char line[128];
    std::snprintf(line, sizeof line, "frame 0: min 0  max 11  mean 5.5  sd %.9g", std::sqrt(143.0 / 12));
    EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frame 1: min -100  max -100  mean -100  sd 0"), std::string::npos) << r.out;
}

// The frame lines info prints for a file, from the image read whole.
std::string wholeImageFrameLines(const std::string &path) {
    ZoltHeader *h = Zoltpin(path.c_str());
    int cols = 0, rows = 0, frames = 0;
    std::string lines;
    if (!h || Zoltshape(h, &cols, &rows, &frames) != 0) return "no image";
    for (int f = 0; f < frames; ++f) {
        ZoltFrameStats st;
        if (Zoltframestats(h, f, &st) != 0) return "no statistics";
        char line[256];
        std::snprintf(line, sizeof line, "  frame %d: min %.9g  max %.9g  mean %.9g  sd %.9g\n", f, st.min,
                      st.max, st.mean, st.sd);
        lines += line;
    }
    Zoltfree(h, 7);
    return lines;
}

// Read a frame at a time, info gives every frame's statistics exactly as the
// image read whole does (real parts of complex frames, the channels of an
// interleaved image), and no allocation of it holds more than a frame.
TEST_F(Tool, InfoPerFrameMatchesTheImageReadWholeWithinOneFramesMemory) {
    ZoltHeader *c = image("32cmp", {33, 17, 5});
    auto *cp = pixels<float>(c);
    for (size_t i = 0; i < 2 * 33 * 17 * 5; ++i) cp[i] = std::sin(0.37f * static_cast<float>(i)) * 1e3f;
    ZoltHeader *s = image("16bit", {512, 256, 8});
    auto *sp = pixels<int16_t>(s);
    for (size_t i = 0; i < 512 * 256 * 8; ++i) sp[i] = static_cast<int16_t>((i * 7919) % 65536);
    ZoltHeader *rgb = image("Su8bit3", {6, 5, 3});
    auto *bp = pixels<unsigned char>(rgb);
    for (size_t i = 0; i < 90; ++i) bp[i] = static_cast<unsigned char>(i * 37);
    rgb->oltcomp = 0;
    for (ZoltHeader *h : {c, s, rgb}) {
        const std::string path = temp("whole.zol");
        ASSERT_EQ(Zoltpot(h, path.c_str()), -1);
        const std::string want = wholeImageFrameLines(path);
        ASSERT_EQ(want.find("no "), std::string::npos) << h->oltdt;
        const ToolRun r = runTool("info '" + path + "'");
        EXPECT_EQ(r.status, 0) << r.out;
        ASSERT_GE(r.out.size(), want.size());
        EXPECT_EQ(r.out.substr(r.out.size() - want.size()), want) << h->oltdt;
    }
    // 4 MB of 16-bit frames of 256 kB each, under a limit of 1 MB an allocation.
    const std::string path = temp("limited.zol");
    ASSERT_EQ(Zoltpot(s, path.c_str()), -1);
    const std::string want = wholeImageFrameLines(path);
    ASSERT_EQ(setenv("ZOLT_MAX_IMAGE_BYTES", "1000000", 1), 0);
    EXPECT_EQ(Zoltpin(path.c_str()), nullptr);  // the whole image does not fit the limit
    const ToolRun r = runTool("info '" + path + "'");
    unsetenv("ZOLT_MAX_IMAGE_BYTES");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(want), std::string::npos) << r.out;
}

TEST_F(Tool, ConvertToU8bitTruncatesTheValues) {
    const std::string out = temp("sample_u8.zol");
    const ToolRun r = runTool("convert '" + kSample + "' '" + out + "' --type u8bit");
    ASSERT_EQ(r.status, 0) << r.out;
    ZoltHeader *in = keep(Zoltpin(kSample.c_str()));
    ZoltHeader *u8 = keep(Zoltpin(out.c_str()));
    ASSERT_NE(in, nullptr);
    ASSERT_NE(u8, nullptr);
    EXPECT_STREQ(u8->oltdt, "u8bit");
    EXPECT_EQ(Zoltdimen(u8, 0), 256u);
    EXPECT_EQ(Zoltdimen(u8, 1), 256u);
    const auto *f = static_cast<const float *>(in->oltptr);
    const auto *b = static_cast<const unsigned char *>(u8->oltptr);
    int wrong = 0;
    for (size_t i = 0; i < 256 * 256; ++i)
        if (b[i] != static_cast<unsigned char>(static_cast<long>(std::trunc(f[i])) & 0xff)) ++wrong;
    EXPECT_EQ(wrong, 0);
}

TEST_F(Tool, ConvertWithoutTypeCopiesExactlyComplexIncluded) {
    ZoltHeader *h = image("32cmp", {30, 20});
    ASSERT_NE(h, nullptr);
    auto *p = static_cast<float *>(h->oltptr);
    for (int i = 0; i < 1200; ++i) p[i] = std::sin(0.37f * static_cast<float>(i)) * 1e3f;
    const std::string in = temp("cmp.zol"), out = temp("cmp_copy.zol");
    ASSERT_EQ(Zoltpot(h, in.c_str()), -1);

    ToolRun r = runTool("convert '" + in + "' '" + out + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    ZoltHeader *copy = keep(Zoltpin(out.c_str()));
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->oltdt, "32cmp");
    EXPECT_EQ(std::memcmp(copy->oltptr, h->oltptr, 1200 * sizeof(float)), 0);

    // Complex to a real type is refused, and nothing is written.
    const std::string refused = temp("cmp_u8.zol");
    r = runTool("convert '" + in + "' '" + refused + "' --type u8bit");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("refused"), std::string::npos) << r.out;
    EXPECT_FALSE(fileExists(refused));
}

TEST_F(Tool, ConvertOfALineGoesByValue) {
    ZoltHeader *h = image("u8bit", {600});
    ASSERT_NE(h, nullptr);
    auto *p = static_cast<unsigned char *>(h->oltptr);
    for (int i = 0; i < 600; ++i) p[i] = static_cast<unsigned char>(i * 7);
    const std::string in = temp("line.zol"), out = temp("line64.zol");
    ASSERT_EQ(Zoltpot(h, in.c_str()), -1);
    const ToolRun r = runTool("convert '" + in + "' '" + out + "' --type double");
    ASSERT_EQ(r.status, 0) << r.out;
    ZoltHeader *d = keep(Zoltpin(out.c_str()));
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->oltdt, "64flt");
    EXPECT_EQ(d->oltndim, 1);
    const auto *v = static_cast<const double *>(d->oltptr);
    for (int i = 0; i < 600; ++i) ASSERT_EQ(v[i], static_cast<double>(p[i])) << i;
}

TEST_F(Tool, BogusTypeOrBadArgumentsWriteNothing) {
    const std::string out = temp("bogus.zol");
    ToolRun r = runTool("convert '" + kSample + "' '" + out + "' --type bogus");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("unknown data type 'bogus'"), std::string::npos) << r.out;
    EXPECT_FALSE(fileExists(out));

    r = runTool("convert '" + kSample + "' '" + out + "' --type Float");  // names are case-sensitive
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(fileExists(out));

    EXPECT_NE(runTool("convert '" + kSample + "'").status, 0);
    EXPECT_NE(runTool("convert '" + kSample + "' '" + out + "' --colour red").status, 0);
    EXPECT_NE(runTool("convert '" + kSample + "' '" + out + "' --type").status, 0);
    EXPECT_FALSE(fileExists(out));
    EXPECT_NE(runTool("frobnicate x").status, 0);
    EXPECT_NE(runTool("").status, 0);
}

TEST_F(Tool, PatternIsTheSampleRecipe) {
    const std::string out = temp("pattern.zol");
    ASSERT_EQ(runTool("pattern '" + out + "'").status, 0);
    ZoltHeader *made = keep(Zoltpin(out.c_str()));
    ZoltHeader *sample = keep(Zoltpin(kSample.c_str()));
    ASSERT_NE(made, nullptr);
    ASSERT_NE(sample, nullptr);
    ASSERT_EQ(Zoltbytes(made), Zoltbytes(sample));
    // The same recipe; allow for last-bit differences of another maths library.
    const auto *a = static_cast<const float *>(made->oltptr);
    const auto *b = static_cast<const float *>(sample->oltptr);
    int off = 0;
    for (size_t i = 0; i < Zoltpixels(sample); ++i)
        if (std::fabs(a[i] - b[i]) > 1e-4f * std::fabs(b[i])) ++off;
    EXPECT_EQ(off, 0);
    EXPECT_NE(runTool("pattern '" + out + "' --size 3").status, 0);
}

const char *const *argv(std::vector<const char *> &words) { return words.data(); }

TEST(ToolArgs, CommandOperandsAndOptions) {
    std::vector<const char *> w = {"zolt", "convert", "in.zol", "--type", "u8bit", "out.zol"};
    ZoltToolArgs a = zoltParseArgs(static_cast<int>(w.size()), argv(w));
    EXPECT_EQ(a.command, "convert");
    ASSERT_EQ(a.operands.size(), 2u);
    EXPECT_EQ(a.operands[0], "in.zol");
    EXPECT_EQ(a.operands[1], "out.zol");
    EXPECT_EQ(a.options.at("type"), "u8bit");
    EXPECT_TRUE(a.error.empty());

    w = {"zolt", "convert", "--type=64flt", "-", "--", "--odd-name"};
    a = zoltParseArgs(static_cast<int>(w.size()), argv(w));
    EXPECT_EQ(a.options.at("type"), "64flt");
    ASSERT_EQ(a.operands.size(), 2u);
    EXPECT_EQ(a.operands[0], "-");
    EXPECT_EQ(a.operands[1], "--odd-name");

    w = {"zolt", "convert", "a", "b", "--type"};
    EXPECT_FALSE(zoltParseArgs(static_cast<int>(w.size()), argv(w)).error.empty());
    w = {"zolt", "info", "--=x"};
    EXPECT_FALSE(zoltParseArgs(static_cast<int>(w.size()), argv(w)).error.empty());
    w = {"zolt"};
    EXPECT_EQ(zoltParseArgs(1, argv(w)).command, "");
}

// zolt op: results equal to the library called directly, complex results kept
// complex, the help drawn from the operation table, and refusals that leave
// no file behind (not even the temporary one).
TEST_F(Tool, OpRunsOperationsLikeTheLibrary) {
    const std::string blurred = temp("blur.zol"), spectrum = temp("fft.zol");
    ASSERT_EQ(runTool("op blur '" + kSample + "' -o '" + blurred + "' --sigma 2").status, 0);
    ZoltHeader *in = keep(Zoltpin(kSample.c_str()));
    ZoltHeader *got = keep(Zoltpin(blurred.c_str()));
    ASSERT_TRUE(in && got);
    const int dims[3] = {2, static_cast<int>(Zoltdimen(in, 0)), static_cast<int>(Zoltdimen(in, 1))};
    ZoltHeader *want = keep(Zoltcreate("float", dims, 11, 0));
    ASSERT_EQ(flDoG(in, want, 2.0f, 0, 0), 0);
    ASSERT_EQ(Zoltbytes(got), Zoltbytes(want));
    EXPECT_EQ(std::memcmp(got->oltptr, want->oltptr, Zoltbytes(want)), 0);

    ASSERT_EQ(runTool("op fft '" + kSample + "' -o '" + spectrum + "'").status, 0);
    ZoltHeader *f = keep(Zoltpin(spectrum.c_str()));
    ASSERT_TRUE(f);
    EXPECT_STREQ(f->oltdt, "32cmp");
    // The spectrum's (0, 0) term is the sum of the image.
    double sum = 0;
    for (size_t i = 0; i < Zoltpixels(in); ++i) sum += static_cast<const float *>(in->oltptr)[i];
    EXPECT_NEAR(static_cast<const float *>(f->oltptr)[0], sum, std::fabs(sum) * 1e-4);

    // The library's progress lines appear only when asked for.
    const std::string mag = temp("mag.zol");
    const ToolRun quiet = runTool("op c2mag '" + spectrum + "' -o '" + mag + "'");
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    const ToolRun told = runTool("--verbose op c2mag '" + spectrum + "' -o '" + mag + "'");
    EXPECT_EQ(told.status, 0);
    EXPECT_NE(told.out.find("c2mag:incomplex outreal"), std::string::npos) << told.out;
}

TEST_F(Tool, OpHelpAndRefusalsLeaveNoFile) {
    const ToolRun help = runTool("op --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--sigma X  Sigma of blur; default 1; 0 to 255"), std::string::npos);
    EXPECT_NE(help.out.find("--erase-small N  EraseSmall; default 1"), std::string::npos);

    const std::string out = temp("refused.zol");
    const ToolRun range = runTool("op dx '" + kSample + "' -o '" + out + "' --sigma 0.5");
    EXPECT_EQ(range.status, 2);
    EXPECT_NE(range.out.find("outside 1 to 255"), std::string::npos) << range.out;
    const ToolRun zero = runTool("op blur '" + kSample + "' -o '" + out + "' --sigma 0");
    EXPECT_EQ(zero.status, 1);
    EXPECT_NE(zero.out.find("Sigma must not be 0."), std::string::npos) << zero.out;
    EXPECT_NE(runTool("op dx '" + kSample + "' -o '" + out + "' --bogus 1").status, 0);
    EXPECT_NE(runTool("op crop '" + kSample + "' -o '" + out + "' --x1 1").status, 0);
    EXPECT_TRUE(readFile(out).empty());
    const std::string dir = out.substr(0, out.rfind('/')), base = out.substr(out.rfind('/') + 1);
    DIR *d = opendir(dir.c_str());
    ASSERT_TRUE(d);
    while (const dirent *e = readdir(d)) EXPECT_NE(std::string(e->d_name).rfind(base, 0), 0u) << e->d_name;
    closedir(d);
}

// The output name is expanded like every ZOLT file name, and the result lands
// under the expanded name with no temporary file left beside it.
// The shell has expanded what it should: a "$" left in a name given on the
// command line is part of the name, for writing and for reading.
TEST_F(Tool, NamesOnTheCommandLineAreTakenLiterally) {
    const std::string out = temp("lit$ZOLTOPTESTDIR.zol");
    const std::string dir = out.substr(0, out.rfind('/')), base = out.substr(out.rfind('/') + 1);
    ASSERT_EQ(setenv("ZOLTOPTESTDIR", "X", 1), 0);
    const ToolRun r = runTool("op abs '" + kSample + "' -o '" + out + "'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fileExists(out)) << r.out;
    EXPECT_FALSE(fileExists(dir + "/litX.zol"));
    const ToolRun again = runTool("info '" + out + "'");
    EXPECT_EQ(again.status, 0) << again.out;
    DIR *d = opendir(dir.c_str());
    ASSERT_TRUE(d);
    while (const dirent *e = readdir(d))
        EXPECT_EQ(std::string(e->d_name).find(".zolt-"), std::string::npos) << e->d_name;
    closedir(d);
    unsetenv("ZOLTOPTESTDIR");
}

}  // namespace

namespace {

// Integers beyond what their parameter (or an int) holds are refused before
// any conversion, and an areas file may not take an image file's place.
TEST_F(Tool, OpRefusesOutOfRangeIntegersAndAnAreasFileOverAnImage) {
    const std::string in = temp("in.zol"), out = temp("out.zol"), link = temp("link.zol");
    ASSERT_EQ(runTool("convert '" + kSample + "' '" + in + "'").status, 0);
    const std::vector<unsigned char> before = readFile(in);
    for (const std::string &opts : {"ccl '" + in + "' --erase-small 2147483648", "ccl '" + in + "' --erase-large -2147483649",
                                    "crop '" + in + "' --x1 9999999999 --y1 0 --x2 1 --y2 1",
                                    "resize '" + in + "' --rows 3 --cols 3 --mode 4294967296"}) {
        const ToolRun r = runTool("op " + opts + " -o '" + out + "'");
        EXPECT_EQ(r.status, 2) << opts << ": " << r.out;
        EXPECT_NE(r.out.find("is outside"), std::string::npos) << r.out;
        EXPECT_FALSE(fileExists(out)) << opts;
    }
    ASSERT_EQ(symlink(out.c_str(), link.c_str()), 0);  // dangling until the output exists
    for (const std::string &areas : {in, link}) {
        const ToolRun r = runTool("op ccl '" + in + "' -o '" + out + "' --areas '" + areas + "'");
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_EQ(readFile(in), before);
        EXPECT_FALSE(fileExists(out));
    }
}

// A sigma whose kernel is taller than the image: 4 (1 + 3 x 255) + 2 = 3066 rows.
TEST_F(Tool, BlurTooLargeForTheImageSaysHowManyRows) {
    const std::string in = temp("small.zol"), out = temp("blurred.zol");
    ASSERT_EQ(runTool("pattern '" + in + "' --size 64").status, 0);
    const ToolRun r = runTool("op blur '" + in + "' -o '" + out + "' --sigma 255");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("too small for sigma 255: it needs at least 3066 rows and has 64"), std::string::npos)
        << r.out;
}

// A full standard output is a failure, not a success.
TEST_F(Tool, InfoIntoAFullDeviceFails) {
    if (!fileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    const std::string command = std::string("'") + ZOLT_TOOL + "' info '" + kSample + "' > /dev/full 2>/dev/null";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_NE(WEXITSTATUS(raw), 0);
}

}  // namespace
