// The frame reader against the whole-file reader: raw, compressed and
// other-byte-order files give, frame after frame, the image read whole; every
// damaged file is refused with the whole reader's code (at open or at a
// frame, never read through) or, where the whole reader takes it, read alike.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zolt.h"
#include "zolt_file_helpers.h"
#include "zolt_frames.h"

using namespace zolttest;

namespace {

using Bytes = std::vector<unsigned char>;

// The 512 header bytes and the raw data of a native file of the image.
void splitFile(ZoltHeader *h, Bytes *header, Bytes *data) {
    h->oltcomp = 0;
    FILE *fp = std::tmpfile();
    ZoltWrImg(h, fp, 0);
    Bytes b(static_cast<size_t>(std::ftell(fp)));
    std::rewind(fp);
    if (std::fread(b.data(), 1, b.size(), fp) != b.size()) b.clear();
    std::fclose(fp);
    header->assign(b.begin(), b.begin() + 512);
    data->assign(b.begin() + 512, b.begin() + 512 + static_cast<long>(Zoltbytes(h)));
}

// A file of the header and data, the data as one zlib stream when asked,
// padded to whole blocks.
Bytes zoltFile(Bytes header, const Bytes &data, bool compressed) {
    header[255] = compressed ? 1 : 0;
    Bytes b = header;
    if (compressed) {
        Bytes z(compressBound(data.size()));
        uLongf len = z.size();
        compress(z.data(), &len, data.data(), data.size());
        b.insert(b.end(), z.begin(), z.begin() + static_cast<long>(len));
    } else {
        b.insert(b.end(), data.begin(), data.end());
    }
    b.resize((b.size() + 511) / 512 * 512, 0);
    return b;
}

// The header and data as a machine of the other byte order writes them: the
// numbers of the fixed header, each dimension's length and number, and each
// element (or part of a complex one, `part` bytes) reversed.
void toForeign(Bytes *header, Bytes *data, size_t part) {
    Bytes &h = *header;
    const int ndim = getInt(h, 236);
    for (int at : {4, 8, 12, 16, 20, 204, 208, 228, 232, 236}) std::reverse(&h[at], &h[at] + 4);
    for (int k = 0; k < ndim; ++k) {
        std::reverse(&h[256 + 64 * k], &h[256 + 64 * k] + 4);
        std::reverse(&h[260 + 64 * k], &h[260 + 64 * k] + 4);
    }
    h[148] = 1;
    for (size_t i = 0; i + part <= data->size(); i += part) std::reverse(&(*data)[i], &(*data)[i] + part);
}

// What a reader made of a file: the pixel bytes, or the code it failed with.
struct Outcome {
    Bytes data;
    int code = 0;
};

Outcome wholeRead(const std::string &path) {
    Outcome o;
    ZoltHeader *h = Zoltpin(path.c_str());
    if (!h) {
        o.code = ZoltErrorCode;
        return o;
    }
    const auto *p = static_cast<const unsigned char *>(h->oltptr);
    o.data.assign(p, p + Zoltbytes(h));
    Zoltfree(h, 7);
    return o;
}

// Reads every frame; once a frame fails, the next call must fail as well,
// and past the last frame no call succeeds.
Outcome frameRead(const std::string &path, int *frames = nullptr) {
    Outcome o;
    ZoltFrameReader *r = ZoltFrameOpen(path.c_str());
    if (!r) {
        o.code = ZoltErrorCode;
        return o;
    }
    if (frames) *frames = ZoltFrameCount(r);
    Bytes frame(ZoltFrameBytes(r));
    for (int f = 0; f < ZoltFrameCount(r); ++f) {
        const int status = ZoltFrameNext(r, frame.data());
        if (status != 0) {
            o.code = status;
            EXPECT_EQ(ZoltErrorCode, status);
            EXPECT_NE(ZoltFrameNext(r, frame.data()), 0) << "a frame after a failed one";
            break;
        }
        o.data.insert(o.data.end(), frame.begin(), frame.end());
    }
    if (o.code == 0) {
        EXPECT_EQ(ZoltFrameNext(r, frame.data()), ZOLT_EDIM) << "a frame past the last";
    }
    ZoltFrameClose(r);
    return o;
}

// Pseudo-random bytes: every bit of every element takes part.
Bytes noise(size_t n, unsigned seed) {
    Bytes b(n);
    for (auto &c : b) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<unsigned char>(seed >> 16);
    }
    return b;
}

using Frames = ZoltFileTest;

TEST_F(Frames, EveryFrameComesOutAsTheImageReadWhole) {
    const struct {
        const char *type;
        size_t part;  // bytes reversed together in the other byte order
    } types[] = {{"u8bit", 1}, {"16bit", 2}, {"64flt", 8}, {"32cmp", 4}};
    for (const auto &t : types) {
        ZoltHeader *h = image(t.type, {7, 5, 6});
        Bytes header, data;
        splitFile(h, &header, &data);
        data = noise(data.size(), static_cast<unsigned>(t.part));
        Bytes fheader = header, fdata = data;
        toForeign(&fheader, &fdata, t.part);
        // The same image with its sub-headers listed frames first.
        Bytes permuted = header;
        std::swap_ranges(&permuted[256], &permuted[320], &permuted[384]);
        const struct {
            const char *name;
            Bytes bytes;
        } files[] = {{"raw", zoltFile(header, data, false)},
                     {"compressed", zoltFile(header, data, true)},
                     {"foreign raw", zoltFile(fheader, fdata, false)},
                     {"foreign compressed", zoltFile(fheader, fdata, true)},
                     {"frames listed first", zoltFile(permuted, data, true)}};
        for (const auto &file : files) {
            const std::string path = temp("frames.zol");
            ASSERT_TRUE(writeFile(path, file.bytes));
            int frames = 0;
            const Outcome whole = wholeRead(path), framed = frameRead(path, &frames);
            ASSERT_EQ(whole.code, 0) << t.type << " " << file.name;
            EXPECT_EQ(framed.code, 0) << t.type << " " << file.name;
            EXPECT_EQ(frames, 6) << t.type << " " << file.name;
            EXPECT_TRUE(framed.data == whole.data) << t.type << " " << file.name;
            EXPECT_TRUE(whole.data == data) << t.type << " " << file.name;  // native order
        }
    }
    // A 2-D image is one frame; the header says this machine's order, as the
    // frames come in it.
    ZoltHeader *flat = image("32flt", {9, 4});
    Bytes header, data;
    splitFile(flat, &header, &data);
    toForeign(&header, &data, 4);
    const std::string path = temp("flat.zol");
    ASSERT_TRUE(writeFile(path, zoltFile(header, data, true)));
    ZoltFrameReader *r = ZoltFrameOpen(path.c_str());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(ZoltFrameCount(r), 1);
    EXPECT_EQ(ZoltFrameBytes(r), 9u * 4u * 4u);
    EXPECT_EQ(ZoltFrameHeader(r)->oltmach, ZOLT_NATIVE_MACH);
    EXPECT_EQ(ZoltFrameHeader(r)->oltptr, nullptr);
    ZoltFrameClose(r);
}

TEST_F(Frames, DamagedFilesAreRefusedWithTheWholeReadersCode) {
    ZoltHeader *h = image("16bit", {24, 24, 3});
    Bytes header, data;
    splitFile(h, &header, &data);
    data = noise(data.size(), 7);
    std::vector<std::pair<std::string, Bytes>> cases;
    for (bool compressed : {false, true}) {
        const Bytes good = zoltFile(header, data, compressed);
        const std::string kind = compressed ? "compressed " : "raw ";
        size_t stream = data.size();
        if (compressed) {
            Bytes z(compressBound(data.size()));
            uLongf len = z.size();
            compress(z.data(), &len, data.data(), data.size());
            stream = len;
        }
        for (size_t cut : {size_t{100}, size_t{300}, size_t{600}, 512 + stream / 2, 512 + stream - 1})
            cases.emplace_back(kind + "cut at " + std::to_string(cut), Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
        for (size_t at : {size_t{530}, 512 + stream - 300, 512 + stream - 1}) {  // the last: the checksum
            Bytes b = good;
            b[at] ^= 0x5a;
            cases.emplace_back(kind + "byte " + std::to_string(at) + " changed", b);
        }
        for (int frames : {2, 4, 6}) {  // the stream holds more, or less, than claimed
            Bytes b = good;
            put(b, 384, static_cast<uint64_t>(frames), 4);
            cases.emplace_back(kind + std::to_string(frames) + " frames claimed", b);
        }
        Bytes type = good;
        std::memcpy(&type[212], "nosuch\0", 7);
        cases.emplace_back(kind + "unknown type", type);
        Bytes dims = good;
        put(dims, 384, 0, 4);
        cases.emplace_back(kind + "frame count 0", dims);
    }
    // A foreign "struct" cannot be converted.
    Bytes sheader = header, sdata = data;
    toForeign(&sheader, &sdata, 2);
    std::memcpy(&sheader[212], "struct\0", 7);
    put(sheader, 228, ZOLT_STRUCT, 4, true);
    cases.emplace_back("foreign struct", zoltFile(sheader, sdata, false));

    testing::internal::CaptureStdout();
    int refused = 0;
    for (const auto &c : cases) {
        const std::string path = temp("damaged.zol");
        ASSERT_TRUE(writeFile(path, c.second));
        const Outcome whole = wholeRead(path), framed = frameRead(path);
        EXPECT_EQ(framed.code, whole.code) << c.first;
        if (whole.code == 0) {
            EXPECT_TRUE(framed.data == whole.data) << c.first;
        } else {
            ++refused;
        }
    }
    testing::internal::GetCapturedStdout();
    // All but the raw files with changed bytes or claiming fewer frames: those read.
    EXPECT_EQ(refused, static_cast<int>(cases.size()) - 4);
}

TEST_F(Frames, NullArgumentsMissingFilesAndTheViewOfOneFrame) {
    ZoltFrameClose(nullptr);
    EXPECT_EQ(ZoltFrameOpen(nullptr), nullptr);
    EXPECT_EQ(ZoltErrorCode, ZOLT_ENULL);
    EXPECT_EQ(ZoltFrameOpen(temp("missing.zol").c_str()), nullptr);
    EXPECT_EQ(ZoltErrorCode, ZOLT_EOPEN);
    EXPECT_EQ(ZoltFrameNext(nullptr, this), ZOLT_ENULL);

    ZoltHeader *h = image("32flt", {3, 2, 4});
    auto *p = pixels<float>(h);
    for (int i = 0; i < 24; ++i) p[i] = static_cast<float>(i * i);
    const std::string path = temp("view.zol");
    h->oltcomp = 0;
    ASSERT_EQ(Zoltpot(h, path.c_str()), -1);
    ZoltFrameReader *r = ZoltFrameOpen(path.c_str());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(ZoltFrameNext(r, nullptr), ZOLT_ENULL);
    float frame[6];
    ASSERT_EQ(ZoltFrameNext(r, frame), 0);
    ASSERT_EQ(ZoltFrameNext(r, frame), 0);  // frame 1: 36, 49, ... 121
    ZoltHeader view;
    ZoltFrameView(r, frame, false, &view);
    EXPECT_EQ(Zoltpixels(&view), 6u);
    EXPECT_EQ(Zoltdimen(&view, 2), 1u);
    EXPECT_EQ(Zoltfgp3d(&view, 0, 1, 2), 121.0);  // row 1, column 2 of the frame
    ZoltFrameClose(r);

    // A file shorter than its header claims is refused before any frame is
    // asked for, so no caller allocates a frame for it.
    Bytes cut = readFile(path);
    cut.resize(512 + 90);
    ASSERT_TRUE(writeFile(path, cut));
    EXPECT_EQ(ZoltFrameOpen(path.c_str()), nullptr);
    EXPECT_EQ(ZoltErrorCode, ZOLT_EIO);
}

}  // namespace
