// The ZOLT reader: files of the other byte order built here byte by byte,
// the type inconsistency warning, truncated and damaged files refused with
// their messages and codes (and without a crash), streams that hold too much.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "zolt.h"
#include "zolt_file_helpers.h"

using namespace zolttest;

namespace {

struct Reader : ZoltFileTest {
    // Writes the bytes to a file and reads it with Zoltpin.
    ZoltHeader *readBytes(const std::vector<unsigned char> &bytes, const std::string &name = "in.zol") {
        const std::string path = temp(name);
        EXPECT_TRUE(writeFile(path, bytes));
        return keep(Zoltpin(path.c_str()));
    }
};

// A file written on a big-endian machine: every number most significant byte
// first, so this platform reads the block size as 0x00020000.
struct Foreign {
    std::string dt = "16bit";
    uint32_t code = 0x102;
    int esize = 2;
    std::vector<int> dims = {3, 2};
    unsigned char mach = 1;
    bool compressed = false;
    std::vector<unsigned char> data;  // already big-endian

    std::vector<unsigned char> bytes() const {
        std::vector<unsigned char> b(512, 0);
        const bool big = true;
        std::memcpy(&b[0], "ZOL", 4);
        put(b, 4, 512, 4, big);
        put(b, 12, 1, 4, big);
        put(b, 16, static_cast<uint32_t>(-2), 4, big);
        std::memcpy(&b[28], "Olt is", 6);
        std::memcpy(&b[108], "elsewhere", 9);
        b[148] = mach;
        b[149] = 16;
        std::memcpy(&b[188], "volts", 5);
        put(b, 204, floatBits(2.5f), 4, big);
        put(b, 208, floatBits(-1.0f), 4, big);
        std::memcpy(&b[212], dt.c_str(), dt.size());
        put(b, 228, code, 4, big);
        put(b, 232, static_cast<uint32_t>(esize), 4, big);
        put(b, 236, dims.size(), 4, big);
        b[255] = compressed ? 1 : 0;
        for (size_t k = 0; k < dims.size(); ++k) {
            put(b, 256 + 64 * k, static_cast<uint32_t>(dims[k]), 4, big);
            put(b, 260 + 64 * k, k + 1, 4, big);
            std::memcpy(&b[264 + 64 * k], "fwd", 3);
        }
        for (size_t i = 256 + 64 * dims.size(); i < 512; ++i) b[i] = '.';
        if (compressed) {
            std::vector<unsigned char> z(compressBound(data.size()));
            uLongf len = z.size();
            compress(z.data(), &len, data.data(), data.size());
            b.insert(b.end(), z.begin(), z.begin() + len);
        } else {
            b.insert(b.end(), data.begin(), data.end());
        }
        if (data.size() % 512) b.insert(b.end(), 512 - data.size() % 512, '.');
        return b;
    }
};

std::vector<unsigned char> bigEndian(const std::vector<uint64_t> &values, int n) {
    std::vector<unsigned char> b;
    for (size_t i = 0; i < values.size(); ++i) put(b, i * n, values[i], n, true);
    return b;
}

using ForeignOrder = Reader;

TEST_F(ForeignOrder, SixteenBitFileComesOutNative) {
    Foreign f;
    const int16_t values[] = {-2, 300, 32767, -32768, 1, 0};
    std::vector<uint64_t> v;
    for (int16_t x : values) v.push_back(static_cast<uint16_t>(x));
    f.data = bigEndian(v, 2);
    ZoltHeader *h = readBytes(f.bytes());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->oltblksz, 512);
    EXPECT_EQ(h->olthdrblk, 1);
    EXPECT_EQ(h->oltfileblk, -2);
    EXPECT_EQ(h->oltscale, 2.5f);
    EXPECT_EQ(h->oltoffset, -1.0f);
    EXPECT_STREQ(h->oltunits, "volts");
    EXPECT_EQ(h->dtype, 0x102u);
    EXPECT_EQ(h->oltesize, 2);
    ASSERT_EQ(h->oltndim, 2);
    EXPECT_EQ(h->oltdim[0].dimlen, 3);
    EXPECT_EQ(h->oltdim[1].dimlen, 2);
    EXPECT_EQ(h->oltdim[1].dimnum, 2);
    EXPECT_EQ(h->oltdln[1], 3);
    EXPECT_EQ(h->oltdln[2], 6);
    EXPECT_EQ(h->oltmach, 2);  // native in memory now
    EXPECT_EQ(h->oltres2, 16);
    const auto *px = static_cast<const int16_t *>(h->oltptr);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(px[i], values[i]) << i;
}

TEST_F(ForeignOrder, FloatDoubleAndComplexElementsAreSwappedPerPart) {
    {
        Foreign f;
        f.dt = "32flt", f.code = 0x204, f.esize = 4, f.dims = {4};
        const float values[] = {1.5f, -3.25f, 1e-20f, 6.0e7f};
        std::vector<uint64_t> v;
        for (float x : values) v.push_back(floatBits(x));
        f.data = bigEndian(v, 4);
        ZoltHeader *h = readBytes(f.bytes());
        ASSERT_NE(h, nullptr);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(static_cast<float *>(h->oltptr)[i], values[i]);
    }
    {
        Foreign f;
        f.dt = "64flt", f.code = 0x208, f.esize = 8, f.dims = {2, 1};
        f.data = bigEndian({doubleBits(-0.125), doubleBits(1e300)}, 8);
        ZoltHeader *h = readBytes(f.bytes());
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(static_cast<double *>(h->oltptr)[0], -0.125);
        EXPECT_EQ(static_cast<double *>(h->oltptr)[1], 1e300);
    }
    {
        // Real and imaginary halves each reversed on their own, read from a
        // compressed stream.
        Foreign f;
        f.dt = "32cmp", f.code = 0x1204, f.esize = 8, f.dims = {2};
        f.compressed = true;
        f.data = bigEndian({floatBits(3.0f), floatBits(-4.0f), floatBits(0.5f), floatBits(7.0f)}, 4);
        ZoltHeader *h = readBytes(f.bytes());
        ASSERT_NE(h, nullptr);
        const auto *c = static_cast<const float *>(h->oltptr);
        EXPECT_EQ(c[0], 3.0f);
        EXPECT_EQ(c[1], -4.0f);
        EXPECT_EQ(c[2], 0.5f);
        EXPECT_EQ(c[3], 7.0f);
    }
}

TEST_F(ForeignOrder, TypeNameAndCodeDisagreeingGivesWarningAndTheNameWins) {
    Foreign f;
    f.dt = "32flt", f.code = 0x208, f.esize = 4, f.dims = {2};
    f.data = bigEndian({floatBits(-8.5f), floatBits(0.75f)}, 4);
    ZoltErrorMode = 8;
    testing::internal::CaptureStderr();
    ZoltHeader *h = readBytes(f.bytes());
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_NE(h, nullptr);
    EXPECT_NE(err.find("ZoltRdHdr: WARNING!  File header fields 'oltdt', 'dtype' contain\n"
                       "          inconsistent information -- hdr->Zoltdt = '32flt',\n"
                       "          hdr->dtype = $208\n"
                       "          Data type table shows 'oltdt' should be = '32flt',\n"
                       "          and 'dtype' should be $204"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("ZoltRdImg: WARNING -- File header is inconsistent"), std::string::npos);
    EXPECT_STREQ(h->oltdt, "32flt");
    EXPECT_EQ(h->dtype, 0x204u);
    EXPECT_EQ(ZoltErrorCode, 0);  // a warning, not a failure
    EXPECT_EQ(static_cast<float *>(h->oltptr)[0], -8.5f);
    EXPECT_EQ(static_cast<float *>(h->oltptr)[1], 0.75f);
}

TEST_F(ForeignOrder, StructAndUnswappableTypesAreRefusedWithoutEndingTheProcess) {
    Foreign s;
    s.dt = "struct", s.code = 0x2000, s.esize = 12, s.dims = {2};
    s.data.assign(24, 7);
    testing::internal::CaptureStdout();
    EXPECT_EQ(readBytes(s.bytes()), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ZoltErrorCode, 1024);
    EXPECT_NE(out.find("it is data type \"struct\"."), std::string::npos) << out;
    EXPECT_NE(out.find("Sorry\n"), std::string::npos);

    Foreign rgb;
    rgb.dt = "Su8bit3", rgb.code = 0x411, rgb.esize = 1, rgb.dims = {2, 2, 3};
    rgb.data.assign(12, 9);
    testing::internal::CaptureStdout();
    EXPECT_EQ(readBytes(rgb.bytes()), nullptr);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ZoltErrorCode, 1024);
    EXPECT_EQ(out, "convertdata: unknown data type in input image\n");

    Foreign unknown;
    unknown.dt = "weird", unknown.code = 0x777, unknown.esize = 2, unknown.dims = {2};
    unknown.data.assign(4, 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(readBytes(unknown.bytes()), nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ZoltErrorCode, 1024);
}

// A valid raw 2-D "32flt" file of 24 x 24 pixels (2304 data bytes).
std::vector<unsigned char> validFile(int comp = 0) {
    const int dims[] = {2, 24, 24};
    ZoltHeader *h = Zoltcreate("32flt", dims, 11, 0);
    auto *p = static_cast<float *>(h->oltptr);
    for (int i = 0; i < 576; ++i) p[i] = static_cast<float>(i % 37);
    h->oltcomp = static_cast<unsigned char>(comp);
    FILE *fp = std::tmpfile();
    ZoltWrImg(h, fp, 0);
    std::vector<unsigned char> b(static_cast<size_t>(std::ftell(fp)));
    std::rewind(fp);
    if (std::fread(b.data(), 1, b.size(), fp) != b.size()) b.clear();
    std::fclose(fp);
    Zoltfree(h, 7);
    return b;
}

using Truncated = Reader;

TEST_F(Truncated, HeaderEndingEarly) {
    std::vector<unsigned char> b = validFile();
    b.resize(100);
    ZoltErrorMode = 8;
    testing::internal::CaptureStderr();
    EXPECT_EQ(readBytes(b), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ZoltErrorCode, 448);
    EXPECT_NE(err.find("\nZoltRdHdr: I/O error or EOF when reading header.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("ZoltRdImg: failed to get header from file"), std::string::npos);
    EXPECT_NE(err.find("ZoltGetImg: Error while reading image file."), std::string::npos);

    b = validFile();
    b.resize(300);  // the header whole, the sub-headers not
    EXPECT_EQ(readBytes(b), nullptr);
    EXPECT_EQ(ZoltErrorCode, 448);
}

TEST_F(Truncated, RawDataShorterThanAnnounced) {
    std::vector<unsigned char> b = validFile();
    b.resize(512 + 2000);
    ZoltErrorMode = 8;
    testing::internal::CaptureStderr();
    EXPECT_EQ(readBytes(b), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ZoltErrorCode, 448);
    EXPECT_NE(err.find("ZoltRdData: I/O error on read of data [file damaged?]"), std::string::npos) << err;
    EXPECT_NE(err.find("ZoltRdImg: failed to get data from file"), std::string::npos);
}

TEST_F(Truncated, CompressedStreamCutShort) {
    std::vector<unsigned char> b = validFile(1);
    ASSERT_GT(b.size(), 540u);
    b.resize(540);
    EXPECT_EQ(readBytes(b), nullptr);
    EXPECT_EQ(ZoltErrorCode, 448);
}

TEST_F(Truncated, DataWithoutTrailingPaddingStillReads) {
    std::vector<unsigned char> b = validFile();
    b.resize(512 + 2304);  // the '.' after the data is gone, the data is whole
    ZoltHeader *h = readBytes(b);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(static_cast<float *>(h->oltptr)[575], static_cast<float>(575 % 37));
}

using Damaged = Reader;

// Each damage is refused with its code; none may crash or allocate the claim.
TEST_F(Damaged, HeadersAreRefusedWithTheirCodes) {
    struct Case {
        const char *what;
        size_t offset;
        uint32_t value;
        int comp;
        int code;
    } cases[] = {
        {"no dimensions", 236, 0, 0, 8192},
        {"four dimensions", 236, 4, 0, 8192},
        {"negative dimensions", 236, static_cast<uint32_t>(-1), 0, 8192},
        {"huge dimension count", 236, 100000, 0, 8192},
        {"zero length", 256, 0, 0, 24},
        {"negative length", 320, static_cast<uint32_t>(-5), 0, 24},
        {"duplicate dimension number", 324, 1, 0, 24},
        {"dimension number beyond the count", 324, 3, 0, 24},
        {"zero dimension number", 260, 0, 0, 24},
        {"element size of another type", 232, 8, 0, 24},
        {"zero element size", 232, 0, 0, 24},
        {"negative element size", 232, static_cast<uint32_t>(-4), 0, 24},
        {"pixel count beyond 4-byte strides", 256, 65536, 0, 24},
        {"raw data beyond the file", 256, 40000, 0, 448},
        {"compressed data far beyond the file", 256, 1000000, 1, 448},
        {"block size of no known layout", 4, 1024, 0, 24},
        {"magic of another format", 0, 0x00474e50, 0, 24},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> b = validFile(c.comp);
        put(b, c.offset, c.value, 4);
        if (c.offset == 256 && c.value == 65536) put(b, 320, 65536, 4);
        testing::internal::CaptureStdout();
        ZoltHeader *h = readBytes(b);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(ZoltErrorCode, c.code);
    }
}

TEST_F(Damaged, MessagesNameTheField) {
    ZoltErrorMode = 8;
    ZoltVerbose = 0;
    const struct {
        size_t offset;
        uint32_t value;
        const char *field;
    } cases[] = {{236, 5, "'oltndim'"}, {232, 2, "'oltesize'"}, {256, 0, "'dimlen'"},
                 {324, 1, "'dimnum'"}, {0, 0x544c4f5a, "'oltmagic'"}};
    for (const auto &c : cases) {
        std::vector<unsigned char> b = validFile();
        put(b, c.offset, c.value, 4);
        testing::internal::CaptureStderr();
        EXPECT_EQ(readBytes(b), nullptr);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.field), std::string::npos) << err;
    }
    std::vector<unsigned char> b = validFile();
    put(b, 4, 4096, 4);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(readBytes(b), nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "input file blocksize not set to anything I recognize\n");
    ZoltVerbose = 1;
}

TEST_F(Damaged, StreamHoldingMoreThanTheImageIsRefused) {
    std::vector<unsigned char> b = validFile(1);
    put(b, 320, 12, 4);  // rows 24 -> 12: the stream inflates to twice the raw size
    EXPECT_EQ(readBytes(b), nullptr);
    EXPECT_EQ(ZoltErrorCode, 448);
}

TEST_F(Damaged, CorruptStreamIsRefused) {
    std::vector<unsigned char> b = validFile(1);
    b[530] ^= 0x55;
    b[560] ^= 0x55;
    EXPECT_EQ(readBytes(b), nullptr);
    EXPECT_EQ(ZoltErrorCode, 448);
}

// A native file is held to its type name as a foreign one is: the name wins
// over the code with a warning, then the element size must fit the name.
TEST_F(Damaged, NativeTypeNameDecidesAndElementSizeMustFitIt) {
    const struct {
        const char *what;
        const char *name;
        uint32_t code;
        int esize, ndim;
        bool reads;
    } cases[] = {
        {"1-D, 8-byte name over 1-byte code and size", "64flt", 0x401, 1, 1, false},
        {"8-byte name over 4-byte code and size", "64flt", 0x204, 4, 2, false},
        {"1-byte name over 4-byte code and size", "u8bit", 0x204, 4, 2, false},
        {"1-byte name over 8-byte code and size", "u8bit", 0x208, 8, 2, false},
        {"name and size of one width, code of another type", "32bit", 0x204, 4, 2, true},
    };
    ZoltErrorMode = 8;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> b = validFile();
        std::fill(b.begin() + 212, b.begin() + 228, 0);
        std::memcpy(&b[212], c.name, std::strlen(c.name));
        put(b, 228, c.code, 4);
        put(b, 232, static_cast<uint32_t>(c.esize), 4);
        put(b, 236, static_cast<uint32_t>(c.ndim), 4);
        testing::internal::CaptureStderr();
        ZoltHeader *h = readBytes(b);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("File header fields 'oltdt', 'dtype' contain"), std::string::npos) << err;
        if (!c.reads) {
            EXPECT_EQ(h, nullptr);
            EXPECT_EQ(ZoltErrorCode, 24);
            continue;
        }
        ASSERT_NE(h, nullptr);
        EXPECT_STREQ(h->oltdt, "32bit");
        EXPECT_EQ(h->dtype, 0x104u);
        EXPECT_EQ(static_cast<int32_t *>(h->oltptr)[5], static_cast<int32_t>(floatBits(5.0f)));
    }
}

// Input of unknown length: the pixel buffer follows the bytes that arrive,
// whatever the header claims. Allocations go through hooks that refuse more
// than a limit and remember the largest request.
struct Pipe : Reader {
    static inline size_t largest = 0;
    static constexpr size_t kLimit = size_t{64} << 20;
    static void *limitedCalloc(size_t n, size_t size) {
        largest = std::max(largest, n * size);
        return n * size > kLimit ? nullptr : std::calloc(n, size);
    }
    static void *limitedRealloc(void *p, size_t size) {
        largest = std::max(largest, size);
        return size > kLimit ? nullptr : std::realloc(p, size);
    }
    void SetUp() override {
        Reader::SetUp();
        largest = 0;
        ZoltCallocHook = limitedCalloc;
        ZoltReallocHook = limitedRealloc;
    }
    void TearDown() override {
        ZoltCallocHook = std::calloc;
        ZoltReallocHook = std::realloc;
        Reader::TearDown();
    }
    // Reads the bytes as they come out of a pipe.
    ZoltHeader *readPiped(const std::vector<unsigned char> &bytes) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        std::thread writer([&] {
            size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            close(fds[1]);
        });
        FILE *fp = fdopen(fds[0], "rb");
        ZoltHeader *h = keep(ZoltRdImg(fp, 0));
        std::vector<char> rest(4096);
        while (std::fread(rest.data(), 1, rest.size(), fp) > 0) {}  // let the writer finish
        writer.join();
        std::fclose(fp);
        return h;
    }
};

TEST_F(Pipe, ShortInputClaimingTwoGigabytesAllocatesLittle) {
    for (int comp : {0, 1}) {
        SCOPED_TRACE(comp ? "compressed" : "raw");
        std::vector<unsigned char> b = validFile(comp);
        put(b, 256, 32768, 4);  // 32768 x 16384 floats: 2 GiB claimed
        put(b, 320, 16384, 4);
        b.resize(1024);
        EXPECT_EQ(readPiped(b), nullptr);
        EXPECT_EQ(ZoltErrorCode, 448);
        EXPECT_LE(largest, size_t{2} << 20);
    }
}

TEST_F(Pipe, ImagesLargerThanOneChunkArriveWhole) {
    const int dims[] = {2, 1500, 1100};  // 1.65 MB of bytes
    for (int comp : {0, 1}) {
        SCOPED_TRACE(comp ? "compressed" : "raw");
        ZoltHeader *src = keep(Zoltcreate("u8bit", dims, 11, 0));
        ASSERT_NE(src, nullptr);
        auto *p = static_cast<unsigned char *>(src->oltptr);
        for (size_t i = 0; i < 1500 * 1100; ++i) p[i] = static_cast<unsigned char>((i * 7919) >> 5);
        src->oltcomp = static_cast<unsigned char>(comp);
        FILE *fp = std::tmpfile();
        ASSERT_EQ(ZoltWrImg(src, fp, 0), -1);
        std::vector<unsigned char> b(static_cast<size_t>(std::ftell(fp)));
        std::rewind(fp);
        ASSERT_EQ(std::fread(b.data(), 1, b.size(), fp), b.size());
        std::fclose(fp);
        ZoltHeader *h = readPiped(b);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(std::memcmp(h->oltptr, p, 1500 * 1100), 0);
    }
}

using Calls = Reader;

TEST_F(Calls, NullArgumentsAndMissingFiles) {
    EXPECT_EQ(ZoltRdImg(nullptr, 0), nullptr);
    EXPECT_EQ(ZoltRdDims(nullptr, stdin), nullptr);
    EXPECT_EQ(ZoltErrorCode, 8);
    EXPECT_EQ(ZoltRdData(nullptr, stdin), 8);
    EXPECT_EQ(Zoltpin(tempPath("does-not-exist.zol").c_str()), nullptr);
    EXPECT_EQ(ZoltErrorCode, 64);
    EXPECT_EQ(ZoltClose(nullptr), -1);
    EXPECT_EQ(ZoltDepth, 0);  // every entry point left as it came in
}

TEST_F(Calls, TailIsReadOnlyWhenAnnounced) {
    std::vector<unsigned char> b = validFile();
    const std::string path = temp("tail.zol");
    ASSERT_TRUE(writeFile(path, b));
    FILE *fp = std::fopen(path.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(ZoltRdImg(fp, 1), nullptr);  // no tail present
    std::fclose(fp);

    // A tail announced but cut off.
    put(b, 20, 600, 4);
    b.insert(b.end(), 100, 'x');
    ASSERT_TRUE(writeFile(path, b));
    fp = std::fopen(path.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(ZoltRdImg(fp, 1), nullptr);
    EXPECT_EQ(ZoltErrorCode, 448);
    std::fclose(fp);
}

}  // namespace
