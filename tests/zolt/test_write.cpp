// The ZOLT writer: the byte layout of a small raw file, compressed layout and
// padding, the small-image rule, round trips of every single-channel type,
// tails, magic refusals and write failures that must not pass as success.
#include <gtest/gtest.h>
#include <zlib.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "zolt.h"
#include "zolt_file_helpers.h"

using namespace zolttest;

namespace {

using Quiet = ZoltFileTest;

void fillRandom(ZoltHeader *h, unsigned seed) {
    std::mt19937 gen(seed);
    auto *p = static_cast<unsigned char *>(h->oltptr);
    const size_t n = Zoltbytes(h);
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(gen());
}

// Writes with ZoltWrImg into a scratch stream and reads it back with ZoltRdImg.
ZoltHeader *throughStream(ZoltHeader *h, int tailflag, std::vector<unsigned char> *bytes = nullptr) {
    FILE *fp = std::tmpfile();
    if (!fp) return nullptr;
    ZoltHeader *back = nullptr;
    if (ZoltWrImg(h, fp, tailflag) == -1) {
        if (bytes) {
            bytes->resize(static_cast<size_t>(std::ftell(fp)));
            std::rewind(fp);
            if (std::fread(bytes->data(), 1, bytes->size(), fp) != bytes->size()) bytes->clear();
        }
        std::rewind(fp);
        back = ZoltRdImg(fp, tailflag);
    }
    std::fclose(fp);
    return back;
}

// Inflates the zlib stream starting at b[at] with plain zlib into `out`;
// returns the stream's length, 0 when it is no complete stream.
size_t zlibStreamAt(const std::vector<unsigned char> &b, size_t at, std::vector<unsigned char> &out) {
    z_stream zs{};
    if (at >= b.size() || inflateInit(&zs) != Z_OK) return 0;
    zs.next_in = const_cast<Bytef *>(b.data() + at);
    zs.avail_in = static_cast<uInt>(b.size() - at);
    unsigned char chunk[4096];
    int ret;
    do {
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        ret = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - zs.avail_out));
    } while (ret == Z_OK);
    const size_t length = ret == Z_STREAM_END ? zs.total_in : 0;
    inflateEnd(&zs);
    return length;
}

// The file's stream inflates with plain zlib, and the reader reads the file,
// to the same `bytes` bytes at `p`.
void expectStreamAndFileHold(const std::vector<unsigned char> &b, const std::string &path, const void *p,
                             size_t bytes) {
    std::vector<unsigned char> inflated;
    EXPECT_GT(zlibStreamAt(b, 512, inflated), 0u);
    ASSERT_EQ(inflated.size(), bytes);
    EXPECT_EQ(std::memcmp(inflated.data(), p, bytes), 0);
    ZoltHeader *back = Zoltpin(path.c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::memcmp(back->oltptr, p, bytes), 0);
    Zoltfree(back, 7);
}

using Layout = Quiet;

TEST_F(Layout, FiveByThreeFloatFileIsByteExact) {
    ZoltHeader *h = image("float", {5, 3});
    ASSERT_NE(h, nullptr);
    auto *px = static_cast<float *>(h->oltptr);
    for (int i = 0; i < 15; ++i) px[i] = 1.5f * static_cast<float>(i) - 4.0f;
    const std::string path = temp("layout.zol");

    testing::internal::CaptureStdout();
    EXPECT_EQ(Zoltpot(h, path.c_str()), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "ZoltPutImg error msg: image has 15 pixels so it will not be compressed\n");
    EXPECT_EQ(h->oltcomp, 0);

    const std::vector<unsigned char> b = readFile(path);
    ASSERT_EQ(b.size(), 1024u);
    EXPECT_EQ(std::memcmp(&b[0], "ZOL\0", 4), 0);
    // 512 little-endian: 00 02 00 00.
    EXPECT_EQ(b[4], 0x00);
    EXPECT_EQ(b[5], 0x02);
    EXPECT_EQ(b[6], 0x00);
    EXPECT_EQ(b[7], 0x00);
    EXPECT_EQ(getInt(b, 8), 0);
    EXPECT_EQ(getInt(b, 12), 1);    // one header block
    EXPECT_EQ(getInt(b, 16), -2);   // header block + one data block, negated
    EXPECT_EQ(b[16], 0xFE);
    EXPECT_EQ(b[19], 0xFF);
    EXPECT_EQ(getInt(b, 20), 0);    // no tail
    EXPECT_EQ(getInt(b, 24), 0);    // tail pointer place
    EXPECT_EQ(getText(b, 28, 8), "Olt is");
    EXPECT_EQ(getText(b, 36, 8), "great!");
    EXPECT_EQ(getText(b, 44, 32), h->oltauthor);
    EXPECT_EQ(b[76 + 24], '\n');    // ctime text: 24 characters and a newline
    EXPECT_EQ(getText(b, 108, 32), "Zoltcreate");
    EXPECT_EQ(getText(b, 140, 8), "V7.0");
    EXPECT_EQ(b[148], 2);
    EXPECT_EQ(b[149], 16);
    for (int i = 150; i < 188; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(getText(b, 188, 16), "pixels");
    // 1.0f = 0x3F800000, 0.0f = 0.
    EXPECT_EQ(b[204], 0x00);
    EXPECT_EQ(b[205], 0x00);
    EXPECT_EQ(b[206], 0x80);
    EXPECT_EQ(b[207], 0x3F);
    EXPECT_EQ(getInt(b, 208), 0);
    EXPECT_EQ(getText(b, 212, 16), "32flt");
    EXPECT_EQ(b[228], 0x04);
    EXPECT_EQ(b[229], 0x02);
    EXPECT_EQ(getInt(b, 228), 0x204);
    EXPECT_EQ(getInt(b, 232), 4);
    EXPECT_EQ(getInt(b, 236), 2);
    for (int i = 240; i < 255; ++i) EXPECT_EQ(b[i], 0) << i;  // pointer places, reserved
    EXPECT_EQ(b[255], 0);                                       // written raw

    // Sub-headers: columns then rows.
    EXPECT_EQ(getInt(b, 256), 5);
    EXPECT_EQ(getInt(b, 260), 1);
    EXPECT_EQ(getText(b, 264, 8), "fwd");
    EXPECT_EQ(getText(b, 272, 8), "pixels");
    EXPECT_EQ(b[283], 0x3F);  // dimscale 1.0
    EXPECT_EQ(getInt(b, 320), 3);
    EXPECT_EQ(getInt(b, 324), 2);
    for (int i = 384; i < 512; ++i) ASSERT_EQ(b[i], '.') << i;
    // Pixel 0 = -4.0f = 0xC0800000, pixel 1 = -2.5f = 0xC0200000, pixel 14 = 17.0f = 0x41880000.
    const unsigned char p0[] = {0x00, 0x00, 0x80, 0xC0};
    const unsigned char p1[] = {0x00, 0x00, 0x20, 0xC0};
    const unsigned char p14[] = {0x00, 0x00, 0x88, 0x41};
    EXPECT_EQ(std::memcmp(&b[512], p0, 4), 0);
    EXPECT_EQ(std::memcmp(&b[516], p1, 4), 0);
    EXPECT_EQ(std::memcmp(&b[512 + 56], p14, 4), 0);
    for (int i = 572; i < 1024; ++i) ASSERT_EQ(b[i], '.') << i;
}

TEST_F(Layout, CompressedU8bitHasNoDataPaddingWhenRawSizeIsWholeBlocks) {
    ZoltHeader *h = image("u8bit", {512, 512});
    ASSERT_NE(h, nullptr);
    auto *p = static_cast<unsigned char *>(h->oltptr);
    for (int i = 0; i < 512 * 512; ++i) p[i] = static_cast<unsigned char>((i / 512 + i % 512) / 4);
    const std::string path = temp("u8.zol");
    EXPECT_EQ(Zoltpot(h, path.c_str()), -1);
    EXPECT_EQ(h->oltcomp, 1);

    // One zlib stream of the raw bytes directly after the header block, read
    // here by plain zlib, and nothing after it.
    const std::vector<unsigned char> b = readFile(path);
    std::vector<unsigned char> inflated;
    ASSERT_EQ(b.size(), 512 + zlibStreamAt(b, 512, inflated));
    EXPECT_EQ(b[255], 1);
    ASSERT_EQ(inflated.size(), 512u * 512u);
    EXPECT_EQ(std::memcmp(inflated.data(), p, inflated.size()), 0);
    for (int i = 384; i < 512; ++i) ASSERT_EQ(b[i], '.') << i;  // after two sub-headers
}

TEST_F(Layout, CompressedDataIsFollowedByPaddingOfTheRawSize) {
    // 32 x 16 "16bit": 512 pixels, compressed; raw 1024 bytes, so no padding.
    // 20 x 30 "u8bit": 600 pixels, raw 600 bytes: 424 '.' after the stream.
    ZoltHeader *h = image("u8bit", {20, 30});
    ASSERT_NE(h, nullptr);
    const std::string path = temp("pad.zol");
    EXPECT_EQ(Zoltpot(h, path.c_str()), -1);
    const std::vector<unsigned char> b = readFile(path);
    std::vector<unsigned char> inflated;
    const size_t len = zlibStreamAt(b, 512, inflated);
    EXPECT_EQ(inflated.size(), 600u);
    ASSERT_EQ(b.size(), 512 + len + 424);
    for (size_t i = 512 + len; i < b.size(); ++i) ASSERT_EQ(b[i], '.') << i;
}

using SmallImages = Quiet;

TEST_F(SmallImages, UnderFiveHundredTwelvePixelsAreWrittenRaw) {
    ZoltHeader *h = image("32flt", {20, 20});
    ASSERT_NE(h, nullptr);
    const std::string path = temp("small.zol");
    testing::internal::CaptureStdout();
    EXPECT_EQ(Zoltpot(h, path.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ZoltPutImg error msg: image has 400 pixels so it will not be compressed\n");
    EXPECT_EQ(h->oltcomp, 0);
    std::vector<unsigned char> b = readFile(path);
    ASSERT_EQ(b.size(), 512u + 1600u + 448u);
    EXPECT_EQ(b[255], 0);

    h = image("16bit", {32, 16});
    ASSERT_NE(h, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Zoltpot(h, path.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(h->oltcomp, 1);
    b = readFile(path);
    EXPECT_EQ(b[255], 1);
    EXPECT_LT(b.size(), 512u + 1024u);  // zeros compress
}

using RoundTrip = Quiet;

TEST_F(RoundTrip, EverySingleChannelTypeRawAndCompressed) {
    const char *types[] = {"8bit", "u8bit", "16bit", "u16bit", "32bit",
                           "32flt", "64flt", "32cmp", "64cmp"};
    const int shapes[][4] = {{1, 700, 0, 0}, {2, 33, 21, 0}, {3, 9, 7, 5}};
    unsigned seed = 1;
    for (const char *type : types)
        for (const auto &shape : shapes)
            for (int comp = 0; comp <= 1; ++comp) {
                SCOPED_TRACE(std::string(type) + " ndim " + std::to_string(shape[0]) +
                             (comp ? " compressed" : " raw"));
                ZoltHeader *h = keep(Zoltcreate(type, shape, 11, 0));
                ASSERT_NE(h, nullptr);
                fillRandom(h, seed++);
                h->oltcomp = static_cast<unsigned char>(comp);
                ZoltHeader *back = keep(throughStream(h, 0));
                ASSERT_NE(back, nullptr);
                EXPECT_STREQ(back->oltdt, h->oltdt);
                EXPECT_EQ(back->dtype, h->dtype);
                EXPECT_EQ(back->oltesize, h->oltesize);
                EXPECT_EQ(back->oltcomp, comp);
                ASSERT_EQ(back->oltndim, h->oltndim);
                for (int k = 0; k < h->oltndim; ++k) {
                    EXPECT_EQ(back->oltdim[k].dimlen, h->oltdim[k].dimlen);
                    EXPECT_EQ(back->oltdim[k].dimnum, h->oltdim[k].dimnum);
                }
                for (int k = 0; k <= h->oltndim; ++k) EXPECT_EQ(back->oltdln[k], h->oltdln[k]);
                EXPECT_EQ(std::memcmp(back->oltptr, h->oltptr, Zoltbytes(h)), 0);
                EXPECT_EQ(back->oltmach, 2);
            }
}

TEST_F(RoundTrip, DataThatDoesNotCompressReadsBack) {
    // Random bytes: the zlib stream is longer than the raw data.
    ZoltHeader *h = image("u8bit", {64, 40});
    ASSERT_NE(h, nullptr);
    fillRandom(h, 99);
    const std::string path = temp("noise.zol");
    ASSERT_EQ(Zoltpot(h, path.c_str()), -1);
    ASSERT_EQ(h->oltcomp, 1);
    EXPECT_GT(readFile(path).size(), 512u + 2560u);  // stream longer than raw, then padding
    ZoltHeader *back = keep(Zoltpin(path.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::memcmp(back->oltptr, h->oltptr, 2560), 0);
    EXPECT_EQ(back->oltcomp, 1);  // read compressed, written compressed again
}

TEST_F(RoundTrip, SizesAroundTheCompressionThresholdReadBackThroughPlainZlib) {
    // 511 pixels are written raw; 512, 513 and a smooth field of many deflate
    // blocks are one zlib stream that plain zlib and the reader both take.
    const int shapes[][3] = {{1, 511, 0}, {1, 512, 0}, {1, 513, 0}, {2, 640, 480}};
    for (const auto &shape : shapes) {
        SCOPED_TRACE(shape[1]);
        ZoltHeader *h = keep(Zoltcreate("32flt", shape, 11, 0));
        ASSERT_NE(h, nullptr);
        auto *p = static_cast<float *>(h->oltptr);
        const size_t n = Zoltpixels(h);
        for (size_t i = 0; i < n; ++i) p[i] = std::floor(50.f * std::sin(i * 0.001f)) + (i % 7 == 0);
        const std::string path = temp("threshold.zol");
        ASSERT_EQ(Zoltpot(h, path.c_str()), -1);
        const std::vector<unsigned char> b = readFile(path);
        ASSERT_EQ(b[255], n >= 512 ? 1 : 0);
        if (n >= 512) {
            expectStreamAndFileHold(b, path, p, n * 4);
        } else {
            ZoltHeader *back = keep(Zoltpin(path.c_str()));
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(std::memcmp(back->oltptr, p, n * 4), 0);
        }
    }
}

// Records the largest allocation the library asks for; refuses those of
// sizes from `refuseFrom` to under `refuseTo`. The writer allocates on
// several threads at once.
struct Allocations {
    static inline size_t largest = 0, refuseFrom = 0, refuseTo = 0;
    static inline std::mutex lock;
    static void *calloc(size_t n, size_t size) {
        {
            std::lock_guard<std::mutex> hold(lock);
            largest = std::max(largest, n * size);
        }
        return n * size >= refuseFrom && n * size < refuseTo ? nullptr : std::calloc(n, size);
    }
};

TEST_F(RoundTrip, LargeDataAreCompressedInPiecesAndReadBackBitForBit) {
    // Just over 32 MiB of floats whose low bits are noise: a stream of several
    // megabytes, written as it is made without a compressed copy of the whole.
    ZoltHeader *h = image("32flt", {2900, 2900});
    ASSERT_NE(h, nullptr);
    auto *p = static_cast<float *>(h->oltptr);
    const size_t n = Zoltpixels(h);
    std::mt19937 gen(17);
    for (size_t i = 0; i < n; ++i) p[i] = std::floor(100.f * std::sin(i * 1e-4f)) + (gen() & 15) / 16.f;
    const std::string path = temp("large.zol");
    Allocations::largest = 0;
    ZoltCallocHook = Allocations::calloc;
    const int wrote = Zoltpot(h, path.c_str());
    ZoltCallocHook = std::calloc;
    ASSERT_EQ(wrote, -1);
    EXPECT_LT(Allocations::largest, size_t{8} << 20);
    const std::vector<unsigned char> b = readFile(path);
    EXPECT_GT(b.size(), size_t{8} << 20);  // more than one piece of output
    expectStreamAndFileHold(b, path, p, n * 4);

    // The same flush every 4 MiB, but in one stream whose pieces refer to the
    // data before them: inflated as one, to the same pixels. A byte changed
    // inside the third piece of the written file: refused.
    {
        std::vector<unsigned char> file(b.begin(), b.begin() + 512), stream(compressBound(n * 4));
        z_stream zs{};
        ASSERT_EQ(deflateInit(&zs, 1), Z_OK);
        zs.next_out = stream.data();
        zs.avail_out = static_cast<uInt>(stream.size());
        for (size_t at = 0; at < n * 4; at += size_t{4} << 20) {
            zs.next_in = reinterpret_cast<Bytef *>(p) + at;
            zs.avail_in = static_cast<uInt>(std::min(size_t{4} << 20, n * 4 - at));
            ASSERT_NE(deflate(&zs, at + zs.avail_in == n * 4 ? Z_FINISH : Z_SYNC_FLUSH), Z_STREAM_ERROR);
        }
        file.insert(file.end(), stream.begin(), stream.begin() + zs.total_out);
        deflateEnd(&zs);
        ASSERT_TRUE(writeFile(path, file));
        ZoltHeader *whole = Zoltpin(path.c_str());
        ASSERT_NE(whole, nullptr);
        EXPECT_EQ(std::memcmp(whole->oltptr, p, n * 4), 0);
        Zoltfree(whole, 7);
    }
    std::vector<unsigned char> damaged = b;
    damaged[512 + (damaged.size() - 512) * 5 / 16] ^= 0x10;
    ASSERT_TRUE(writeFile(path, damaged));
    testing::internal::CaptureStdout();
    EXPECT_EQ(Zoltpin(path.c_str()), nullptr);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(writeFile(path, b));

    // A full device and a compressor without memory fail as failures, and the
    // safe save leaves the file it would have replaced as it was.
    if (fileExists("/dev/full")) {
        EXPECT_EQ(Zoltpot(h, "/dev/full"), 0);
        EXPECT_EQ(ZoltErrorCode, 448);
    }
    // No output buffer (megabytes); no room for zlib's window (64 KiB).
    for (size_t from : {size_t{1} << 20, size_t{64} << 10}) {
        SCOPED_TRACE(from);
        Allocations::refuseFrom = from;
        Allocations::refuseTo = from * 16;
        ZoltCallocHook = Allocations::calloc;
        const int refused = Zoltpot(h, path.c_str());
        ZoltCallocHook = std::calloc;
        Allocations::refuseTo = 0;
        EXPECT_EQ(refused, 0);
        EXPECT_EQ(ZoltErrorCode, 9);
        EXPECT_EQ(readFile(path), b);
    }
}

TEST_F(RoundTrip, StreamsOfZlibItselfStillRead) {
    // Files whose stream zlib's own compressor made at its fastest, default
    // and best levels read back to the same pixels.
    ZoltHeader *h = image("16bit", {300, 200});
    ASSERT_NE(h, nullptr);
    auto *p = static_cast<int16_t *>(h->oltptr);
    for (int i = 0; i < 300 * 200; ++i) p[i] = static_cast<int16_t>((i % 300) * (i / 300) % 1000);
    h->oltcomp = 0;
    std::vector<unsigned char> raw;
    ZoltHeader *rawBack = keep(throughStream(h, 0, &raw));
    ASSERT_NE(rawBack, nullptr);
    for (int level : {1, 6, 9}) {
        SCOPED_TRACE(level);
        std::vector<unsigned char> file(raw.begin(), raw.begin() + 512);
        file[255] = 1;
        std::vector<unsigned char> stream(compressBound(120000));
        uLongf len = stream.size();
        ASSERT_EQ(compress2(stream.data(), &len, raw.data() + 512, 120000, level), Z_OK);
        file.insert(file.end(), stream.begin(), stream.begin() + len);
        file.insert(file.end(), 512 - 120000 % 512, '.');
        const std::string path = temp("zlib.zol");
        ASSERT_TRUE(writeFile(path, file));
        ZoltHeader *back = keep(Zoltpin(path.c_str()));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(std::memcmp(back->oltptr, p, 120000), 0);
    }
}

TEST_F(RoundTrip, CompressedFileReadsThroughAPipe) {
    // A pipe cannot say how much is left: the stream is inflated in pieces.
    ZoltHeader *h = image("32flt", {100, 60});
    ASSERT_NE(h, nullptr);
    fillRandom(h, 5);
    const std::string path = temp("piped.zol");
    ASSERT_EQ(Zoltpot(h, path.c_str()), -1);
    FILE *pipe = popen(("cat '" + path + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    ZoltHeader *back = keep(ZoltRdImg(pipe, 0));
    pclose(pipe);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::memcmp(back->oltptr, h->oltptr, Zoltbytes(h)), 0);
}

TEST_F(RoundTrip, HeaderTextsAndScalesSurvive) {
    ZoltHeader *h = image("64flt", {30, 20});
    ASSERT_NE(h, nullptr);
    std::strcpy(h->oltunits, "kelvin");
    h->oltscale = 0.25f;
    h->oltoffset = -3.5f;
    std::strcpy(h->oltdim[1].dimunits, "mm");
    h->oltdim[1].dimscale = 2.0f;
    ZoltHeader *back = keep(throughStream(h, 0));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->oltunits, "kelvin");
    EXPECT_EQ(back->oltscale, 0.25f);
    EXPECT_EQ(back->oltoffset, -3.5f);
    EXPECT_STREQ(back->oltdim[1].dimunits, "mm");
    EXPECT_EQ(back->oltdim[1].dimscale, 2.0f);
    EXPECT_STREQ(back->oltdate, h->oltdate);
    EXPECT_EQ(back->oltfileblk, h->oltfileblk);
}

TEST_F(RoundTrip, TailIsWrittenOnRequestAndReadBehindTheDataPadding) {
    for (int comp = 0; comp <= 1; ++comp) {
        SCOPED_TRACE(comp ? "compressed" : "raw");
        ZoltHeader *h = image("u8bit", {25, 23});  // 575 bytes: the data padding is 449 bytes
        ASSERT_NE(h, nullptr);
        fillRandom(h, 5);
        h->oltcomp = static_cast<unsigned char>(comp);
        const char note[] = "calibration 17 of run 4";
        h->olttaillen = sizeof note;
        h->olttail = static_cast<unsigned char *>(Zoltalc(sizeof note));
        std::memcpy(h->olttail, note, sizeof note);

        std::vector<unsigned char> bytes;
        ZoltHeader *back = keep(throughStream(h, 1, &bytes));
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->olttaillen, static_cast<int>(sizeof note));
        ASSERT_NE(back->olttail, nullptr);
        EXPECT_STREQ(reinterpret_cast<const char *>(back->olttail), note);
        EXPECT_EQ(std::memcmp(back->oltptr, h->oltptr, 575), 0);
        // Header block, data (raw: one block; compressed: the stream and 449
        // '.'), then the tail padded to a block.
        std::vector<unsigned char> z(compressBound(575));
        uLongf zlen = z.size();
        ASSERT_EQ(compress(z.data(), &zlen, static_cast<const Bytef *>(h->oltptr), 575), Z_OK);
        EXPECT_EQ(bytes.size(), comp ? 512 + zlen + 449 + 512 : 2048u);
        EXPECT_EQ(std::memcmp(&bytes[bytes.size() - 512], note, sizeof note), 0);
        EXPECT_EQ(bytes.back(), '.');

        // Without the tail flag the tail is left out and the header says so.
        back = keep(throughStream(h, 0, &bytes));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(h->olttaillen, 0);
        EXPECT_EQ(getInt(bytes, 20), 0);
    }
}

using Refusals = Quiet;

TEST_F(Refusals, OldMagicIsWrittenByWrImgButNotByPutImg) {
    ZoltHeader *h = image("u8bit", {4, 4});
    ASSERT_NE(h, nullptr);
    std::memcpy(h->oltmagic, "OLT", 4);
    h->oltcomp = 0;
    FILE *fp = std::tmpfile();
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(ZoltWrImg(h, fp, 0), -1);
    EXPECT_EQ(std::ftell(fp), 1024);
    std::fclose(fp);
    const std::string path = temp("old.zol");
    EXPECT_EQ(Zoltpot(h, path.c_str()), 0);
    EXPECT_EQ(ZoltErrorCode, 24);
    EXPECT_FALSE(fileExists(path));  // refused before the file is opened
}

TEST_F(Refusals, NullHeaderBadMagicAndMissingData) {
    FILE *fp = std::tmpfile();
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(ZoltWrImg(nullptr, fp, 0), 0);
    EXPECT_EQ(ZoltErrorCode, 8);
    EXPECT_EQ(Zoltpot(nullptr, "x"), 0);
    EXPECT_EQ(ZoltErrorCode, 8);
    const int dims[] = {1, 600};
    ZoltHeader *h = keep(Zoltcreate("u8bit", dims, 0, 0));  // no pixel buffer
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(ZoltWrImg(h, fp, 0), 0);
    EXPECT_EQ(ZoltErrorCode, 24);
    h->oltptr = Zoltalc(600);
    std::memcpy(h->oltmagic, "XYZ", 4);
    EXPECT_EQ(ZoltWrImg(h, fp, 0), 0);
    EXPECT_EQ(ZoltErrorCode, 24);
    EXPECT_EQ(std::ftell(fp), 0);  // nothing was written
    std::memcpy(h->oltmagic, "ZOL", 4);
    std::fclose(fp);
}

TEST_F(Refusals, FailedWritesAreReportedAsFailures) {
    ZoltHeader *h = image("32flt", {64, 64});
    ASSERT_NE(h, nullptr);
    // A full device takes the buffered bytes and fails when they are flushed.
    if (fileExists("/dev/full")) {
        EXPECT_EQ(Zoltpot(h, "/dev/full"), 0);
        EXPECT_EQ(ZoltErrorCode, 448);
    }
    EXPECT_EQ(Zoltpot(h, "/nonexistent-folder/x.zol"), 0);
    EXPECT_EQ(ZoltErrorCode, 64);
}

// Names in a folder, "." and ".." left out.
std::vector<std::string> folderNames(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

TEST_F(Refusals, SaveCutShortLeavesTheOldFileAndNoPartialFile) {
    std::string dir = tempPath("save-XXXXXX");
    ASSERT_NE(mkdtemp(&dir[0]), nullptr);
    const std::string target = dir + "/picture.zol";
    const std::vector<unsigned char> old = {'o', 'l', 'd', '\n'};
    ASSERT_TRUE(writeFile(target, old));

    // The child may write no file beyond 4 KB; the raw image needs 16 KB.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        ZoltErrorMode = 1;
        const int dims[] = {2, 64, 64};
        ZoltHeader *h = Zoltcreate("32flt", dims, 11, 0);
        h->oltcomp = 0;
        _exit(Zoltpot(h, target.c_str()) == 0 && ZoltErrorCode == 448 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save did not fail as failed";
    EXPECT_EQ(readFile(target), old);
    EXPECT_EQ(folderNames(dir), std::vector<std::string>{"picture.zol"});

    // A save that completes replaces the file, again without a trace.
    ZoltHeader *h = image("u8bit", {40, 30});
    ASSERT_NE(h, nullptr);
    static_cast<unsigned char *>(h->oltptr)[7] = 99;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Zoltpot(h, target.c_str()), -1);
    testing::internal::GetCapturedStdout();
    ZoltHeader *back = keep(Zoltpin(target.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(static_cast<unsigned char *>(back->oltptr)[7], 99);
    EXPECT_EQ(folderNames(dir), std::vector<std::string>{"picture.zol"});
    std::remove(target.c_str());
    rmdir(dir.c_str());
}

}  // namespace
