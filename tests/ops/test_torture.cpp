// Every operation of the table on every kind of image: each data type; 1-D,
// 2-D and 3-D images of 1, 2, 3, 4 and 9 frames; 1 x 1, 1 x N, N x 1, odd and
// power-of-two sizes; values mixing NaN, infinities, negatives and huge
// magnitudes, and flat images; default parameters and the edges of their
// ranges. Each run must succeed or say why not (a status or a message) and
// leave a well-formed image; the sanitizer build checks that nothing reads or
// writes outside an image or leaks, and ctest's time limit that nothing hangs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "ops.h"
#include "zolt_fixture.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kValues[] = {0.0, 1.0, -1.0, std::nan(""), kInf, -kInf, 1e30, -1e30, 255.0, 0.5, 3.0, -7e5, 65535.0};

// Fills an image with the mixed values (raw bytes for the integer and record
// types) or with zeros.
void fill(ZoltHeader *h, bool flat) {
    const size_t bytes = Zoltbytes(h);
    auto *p = static_cast<unsigned char *>(h->oltptr);
    if (flat) return;  // Zoltcreate's zeros
    switch (h->dtype) {
    case ZOLT_F32: case ZOLT_SF32_3: case ZOLT_SF32_4: case ZOLT_C32:
        for (size_t i = 0; i < bytes / 4; ++i)
            reinterpret_cast<float *>(p)[i] = static_cast<float>(kValues[i % std::size(kValues)]);
        break;
    case ZOLT_F64: case ZOLT_SF64_3: case ZOLT_SF64_4: case ZOLT_C64:
        for (size_t i = 0; i < bytes / 8; ++i) reinterpret_cast<double *>(p)[i] = kValues[i % std::size(kValues)];
        break;
    default:
        for (size_t i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(i * 73 + 11 + (i >> 3));
    }
}

struct Shape {
    std::vector<int> lengths;
};

std::vector<Shape> shapes() {
    // 32 is the smallest side the Gaussian filters of sigma 1 accept.
    std::vector<Shape> s = {{{1}}, {{7}}, {{32}}, {{1, 1}}, {{1, 7}}, {{7, 1}}, {{33, 21}}, {{32, 32}}, {{1, 1, 3}}};
    for (int frames : {1, 2, 3, 4, 9}) {
        s.push_back({{7, 5, frames}});
        s.push_back({{32, 32, frames}});
    }
    return s;
}

std::string describe(const ZoltHeader *h, bool flat) {
    std::string d = std::string(h->oltdt) + " ";
    for (int k = 0; k < h->oltndim; ++k) d += (k ? "x" : "") + std::to_string(h->oltdim[k].dimlen);
    return d + (flat ? " flat" : " mixed");
}

// The parameter sets: the defaults; each parameter alone at the edges of its
// range (0 and -1 where it has none); all parameters 1, and parameter k at
// k + 1 (corners and sizes the GUI fills in).
std::vector<OpValues> parameterSets(const OpEntry &op) {
    OpValues base;
    for (int k = 0; k < op.paramCount(); ++k) {
        double d = 0;
        if (op.params[k].defaultValue(&d)) base.number[k] = d;
        if (op.params[k].preset) base.text[k] = op.params[k].preset;
    }
    std::vector<OpValues> sets{base};
    OpValues ones = base, rising = base;
    for (int k = 0; k < op.paramCount(); ++k) {
        ones.number[k] = 1;
        rising.number[k] = k + 1;
    }
    sets.push_back(ones);
    sets.push_back(rising);
    for (int k = 0; k < op.paramCount(); ++k) {
        const OpParam &p = op.params[k];
        const double edges[2] = {p.bounded() ? p.min : 0.0, p.bounded() ? p.max : -1.0};
        for (double e : edges) {
            OpValues v = base;
            v.number[k] = e;
            v.text[k] = std::to_string(e);
            sets.push_back(v);
        }
    }
    return sets;
}

bool wellFormed(const ZoltHeader *h) {
    return h && Zoltmagicok(h) && Zolttypeok(h) && h->oltptr && Zoltpixels(h) > 0;
}

struct Torture : ZoltTest, ::testing::WithParamInterface<int> {
    void SetUp() override {
        ZoltTest::SetUp();
        // Files an operation writes (the labelling's areas file) land in a
        // folder of this test's own.
        home = std::filesystem::current_path();
        const char *tmp = std::getenv("TMPDIR");
        std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/zolt-torture-XXXXXX";
        ASSERT_NE(mkdtemp(&dir[0]), nullptr);
        work = dir;
        std::filesystem::current_path(work);
        std::fflush(stdout);
        savedOut = dup(1);  // progress lines of the algorithms go nowhere
        if (std::freopen("/dev/null", "w", stdout) == nullptr) savedOut = -1;
    }
    void TearDown() override {
        std::fflush(stdout);
        if (savedOut >= 0) {
            dup2(savedOut, 1);
            close(savedOut);
        }
        std::filesystem::current_path(home);
        std::error_code ignored;
        if (!work.empty()) std::filesystem::remove_all(work, ignored);
        ZoltTest::TearDown();
    }
    int savedOut = -1;
    std::filesystem::path home, work;
};

TEST_P(Torture, EveryKindOfImageSucceedsOrSaysWhyNot) {
    int count = 0;
    const OpEntry &op = opTable(&count)[GetParam()];
    int rows = 0;
    const ZoltTypeEntry *types = ZoltTypeTable(&rows);
    const std::vector<OpValues> sets = parameterSets(op);
    for (int t = 0; t < rows; ++t) {
        if (types[t].code == 0) continue;  // an alias
        for (const Shape &shape : shapes()) {
            // Flat images only where they can matter: the common types.
            for (bool flat : {false, true}) {
                if (flat && types[t].code != ZOLT_F32 && types[t].code != ZOLT_U8) continue;
                std::vector<int> dims{static_cast<int>(shape.lengths.size())};
                dims.insert(dims.end(), shape.lengths.begin(), shape.lengths.end());
                ZoltHeader *in1 = keep(Zoltcreate(types[t].name, dims.data(), 11, 6));
                ASSERT_NE(in1, nullptr);
                fill(in1, flat);
                ZoltHeader *in2 = nullptr;
                if (op.inputs == 2) {
                    in2 = keep(Zoltcreate(types[t].name, dims.data(), 11, 6));
                    fill(in2, !flat);
                }
                for (const OpValues &values : sets) {
                    OpContext context;
                    context.maxValue = 255;
                    ZoltHeader *out = op.output == OpOutput::Own ? nullptr : opMakeOutput(op, in1);
                    const OpOutcome o = opRun(OpCall{op, in1, in2, out, values, context});
                    const std::string what = describe(in1, flat);
                    if (o.done) {
                        EXPECT_TRUE(wellFormed(o.made ? o.made : out)) << op.name << " on " << what;
                    } else {
                        EXPECT_TRUE(!o.message.empty() || (o.ran && o.status != 0))
                            << op.name << " on " << what << " failed without a word";
                    }
                    if (o.made) Zoltfree(o.made, 7);
                    if (out) Zoltfree(out, 7);
                    if (HasFailure()) return;  // one report per operation is enough
                }
            }
        }
    }
}

std::string opName(const ::testing::TestParamInfo<int> &info) {
    std::string name = opTable(nullptr)[info.param].name;
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

std::vector<int> everyOperation() {
    int count = 0;
    opTable(&count);
    std::vector<int> all;
    for (int i = 0; i < count; ++i) all.push_back(i);
    return all;
}

INSTANTIATE_TEST_SUITE_P(Operations, Torture, ::testing::ValuesIn(everyOperation()), opName);

}  // namespace
