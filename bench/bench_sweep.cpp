// The sweep beside bench/peers_sweep.py: labelling of binary images at
// densities 0.05 to 0.9 and of blob images from 1 to 10 megapixels; reading
// a 4096 x 4096 "32flt" field written compressed or raw, with the pieces of a
// compressed read timed apart (file read, allocation and zero fill, inflate,
// copy); equalisation of 4096 x 4096 float images, grey and colour.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ccl.h"
#include "histeq.h"
#include "zolt.h"

namespace {

// The routines' progress lines are switched off while they are timed.
struct Silenced {
    Silenced() { ZoltChatter = 0; }
    ~Silenced() { ZoltChatter = 1; }
};

// ------------------------------------------------------------ labelling

// Each pixel 1 with probability `density`, else 0.
void randomPixels(unsigned char *p, int side, double density) {
    std::mt19937_64 gen(17);
    const auto cut = static_cast<uint64_t>(density * 18446744073709551615.0);
    for (size_t i = 0; i < size_t(side) * side; ++i) p[i] = gen() < cut;
}

// Uniform noise smoothed by a Gaussian of sigma 4 (radius 16, mirrored at the
// edges), 1 where above one half: blobs of a few dozen pixels across.
void blobPixels(unsigned char *p, int side) {
    std::mt19937 gen(13);
    std::uniform_real_distribution<float> u(0.f, 1.f);
    std::vector<float> a(size_t(side) * side), b(a.size());
    for (float &v : a) v = u(gen);
    constexpr int R = 16;
    float w[2 * R + 1], sum = 0;
    for (int k = -R; k <= R; ++k) sum += w[k + R] = std::exp(-k * k / 32.f);
    for (float &x : w) x /= sum;
    auto mirror = [side](int i) { return i < 0 ? -i - 1 : i >= side ? 2 * side - i - 1 : i; };
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c) {
            float s = 0;
            for (int k = -R; k <= R; ++k) s += w[k + R] * a[size_t(r) * side + mirror(c + k)];
            b[size_t(r) * side + c] = s;
        }
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c) {
            float s = 0;
            for (int k = -R; k <= R; ++k) s += w[k + R] * b[size_t(mirror(r + k)) * side + c];
            p[size_t(r) * side + c] = s > 0.5f;
        }
}

// range(0): side; range(1): density in percent, 0 for blobs.
void label(benchmark::State &state) {
    const int side = static_cast<int>(state.range(0));
    const int percent = static_cast<int>(state.range(1));
    const int dims[] = {2, side, side};
    ZoltHeader *in = Zoltcreate("u8bit", dims, 11, 0);
    ZoltHeader *out = Zoltcreate("32bit", dims, 11, 0);
    auto *p = static_cast<unsigned char *>(in->oltptr);
    if (percent) randomPixels(p, side, percent / 100.0);
    else blobPixels(p, side);
    int count = 0, status = 0;
    {
        Silenced quiet;
        cclC4_2(in, 0.5f, 0.5f, 1.5f, 1, 0, count, "", out);  // the output's pages touched before timing
        for (auto _ : state) {
            status = cclC4_2(in, 0.5f, 0.5f, 1.5f, 1, 0, count, "", out);
            benchmark::DoNotOptimize(out->oltptr);
        }
    }
    state.counters["labels"] = count;
    // 1 where the image needs more provisional labels than the limit and is refused
    state.counters["refused"] = status == CCL_TOOMANY;
    Zoltfree(in, 7);
    Zoltfree(out, 7);
}
void labelArgs(benchmark::internal::Benchmark *b) {
    for (int side : {1000, 2048, 3162}) {
        for (int percent : {5, 10, 20, 30, 50, 70, 90}) b->Args({side, percent});
        b->Args({side, 0});
    }
}
BENCHMARK(label)->Name("sweep/ccl")->Apply(labelArgs)->ArgNames({"side", "percent"})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// ------------------------------------------------------------ ZOLT reads

constexpr int kSide = 4096;
constexpr size_t kRaw = size_t(kSide) * kSide * sizeof(float);

// The field of bench_zoltio and peers.py: smooth, with fine texture.
ZoltHeader *makeField() {
    const int dims[] = {2, kSide, kSide};
    ZoltHeader *h = Zoltcreate("32flt", dims, 11, 0);
    auto *p = static_cast<float *>(h->oltptr);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            p[size_t(y) * kSide + x] =
                100.0f + 80.0f * std::sin(0.01f * x) * std::cos(0.013f * y) + static_cast<float>((x * 7 + y * 13) % 5);
    return h;
}

// The field's file, written once per run and kept, so that the peer sweep
// can inflate the very same stream: $TMPDIR/zolt_sweep_field<c>.zol.
std::string fieldFile(bool compressed) {
    const char *dir = std::getenv("TMPDIR");
    const std::string path = std::string(dir && *dir ? dir : "/tmp") + "/zolt_sweep_field" +
                             (compressed ? "1" : "0") + ".zol";
    static bool written[2] = {};
    if (!written[compressed]) {
        ZoltHeader *h = makeField();
        h->oltcomp = compressed;
        Zoltpot(h, path.c_str());
        Zoltfree(h, 7);
        written[compressed] = true;
    }
    return path;
}

std::vector<unsigned char> fileBytes(const std::string &path) {
    std::vector<unsigned char> v;
    FILE *fp = std::fopen(path.c_str(), "rb");
    if (!fp) return v;
    std::fseek(fp, 0, SEEK_END);
    v.resize(static_cast<size_t>(std::ftell(fp)));
    std::fseek(fp, 0, SEEK_SET);
    v.resize(std::fread(v.data(), 1, v.size(), fp));
    std::fclose(fp);
    return v;
}

// range(0): 1 compressed, 0 raw.
void readField(benchmark::State &state) {
    const std::string path = fieldFile(state.range(0) != 0);
    for (auto _ : state) {
        ZoltHeader *back = Zoltpin(path.c_str());
        if (!back) state.SkipWithError("read failed");
        Zoltfree(back, 7);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRaw);
}
BENCHMARK(readField)->Name("sweep/read")->Arg(1)->Arg(0)->ArgName("compressed")->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The pieces of a compressed read. File: the whole file read into a fresh
// buffer. Zero: a fresh image buffer allocated zeroed and written once.
// Inflate: the stream inflated from memory into a buffer already in use.
// Copy: the raw bytes copied between two buffers already in use (the floor
// of a raw read).
void readPieces(benchmark::State &state) {
    const int piece = static_cast<int>(state.range(0));
    const std::string path = fieldFile(true);
    const std::vector<unsigned char> file = fileBytes(path);
    std::vector<unsigned char> out(kRaw, 1), from(kRaw, 2);
    libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        if (piece == 0) {
            benchmark::DoNotOptimize(fileBytes(path).data());
        } else if (piece == 1) {
            auto *p = static_cast<unsigned char *>(std::calloc(kRaw, 1));
            for (size_t i = 0; i < kRaw; i += 4096) p[i] = 1;
            benchmark::DoNotOptimize(p);
            std::free(p);
        } else if (piece == 2) {
            size_t used = 0, made = 0;
            if (file.size() < 512 ||
                libdeflate_zlib_decompress_ex(d, file.data() + 512, file.size() - 512, out.data(), kRaw, &used,
                                              &made) != LIBDEFLATE_SUCCESS)
                state.SkipWithError("inflate failed");
            benchmark::DoNotOptimize(out.data());
        } else {
            std::memcpy(out.data(), from.data(), kRaw);
            benchmark::DoNotOptimize(out.data());
        }
    }
    libdeflate_free_decompressor(d);
}
BENCHMARK(readPieces)->Name("sweep/read_piece")->DenseRange(0, 3)->ArgName("file_zero_inflate_copy")
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// ------------------------------------------------------------ equalisation

// range(0): frames, 1 grey or 3 colour.
void equalise(benchmark::State &state) {
    const int frames = static_cast<int>(state.range(0));
    const int d2[] = {2, kSide, kSide}, d3[] = {3, kSide, kSide, 3};
    const int *dims = frames == 3 ? d3 : d2;
    ZoltHeader *in = Zoltcreate("float", dims, 11, 0);
    ZoltHeader *out = Zoltcreate("float", dims, 11, 0);
    std::mt19937 gen(5);
    std::normal_distribution<float> value(100.f, 30.f);
    auto *p = static_cast<float *>(in->oltptr);
    for (size_t i = 0; i < size_t(kSide) * kSide * frames; ++i) p[i] = value(gen);
    {
        Silenced quiet;  // the colour path prints its tables
        flhisteq(in, out, 0);  // the output's pages touched before timing
        for (auto _ : state) {
            flhisteq(in, out, 0);
            benchmark::DoNotOptimize(out->oltptr);
        }
    }
    Zoltfree(in, 7);
    Zoltfree(out, 7);
}
BENCHMARK(equalise)->Name("sweep/histeq")->Arg(1)->Arg(3)->ArgName("frames")->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
