// The ZOLT file reader: 256-byte file header, one 64-byte sub-header per
// dimension, padding to 512 bytes, pixel data (raw or one zlib stream), padding,
// optional tail. Files of the other byte order are converted to native order.
// Damaged headers are refused before any pixel memory is allocated; the reader
// never ends the process on bad input.
#include "zolt.h"
#include "zolt_deflate.h"
#include "zolt_frames.h"
#include "zolt_largepages.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <zlib.h>

namespace {

constexpr int32_t kSwappedBlockSize = 0x00020000;  // 512 in the other byte order
constexpr int kFileHeaderBytes = 256;
// Deflate never expands more than about 1032 to 1: a stream of n bytes holds
// at most this many raw bytes (plus a little slack for tiny streams).
constexpr uint64_t kMaxInflateRatio = 1040;
// First allocation for pixel data from an input of unknown length.
constexpr size_t kFirstChunk = size_t{1} << 20;

template <typename T>
void getField(T *field, const unsigned char *buf, int offset) {
    std::memcpy(field, buf + offset, sizeof *field);
}

void reverseBytes(void *p, size_t n) {
    auto *b = static_cast<unsigned char *>(p);
    std::reverse(b, b + n);
}

// A fixed-width text from a damaged file may lack its NUL: end it inside its width.
template <size_t N>
void terminate(char (&text)[N]) {
    text[N - 1] = '\0';
}

size_t headerPadding(int ndim) {
    const int used = kFileHeaderBytes + 64 * ndim;
    return static_cast<size_t>((used + 511) / 512 * 512 - used);
}

// Skips up to n bytes; false when the file ends first.
bool skipBytes(FILE *fp, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (std::getc(fp) == EOF) return false;
    return true;
}

// Bytes left from the current position to the end of a regular file, or -1
// when the stream cannot tell (a pipe, a terminal).
long long bytesLeft(FILE *fp) {
    struct stat st;
    if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    const long pos = std::ftell(fp);
    if (pos < 0) return -1;
    return static_cast<long long>(st.st_size) - pos;
}

// Formats a message and hands it to a report call (Zoltext or Zoltwarn).
__attribute__((format(printf, 2, 3)))
void reportf(int (*report)(const char *), const char *format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    report(message);
}

// Type name and code of a file header, whatever its byte order: the name
// decides. A name of the table whose code (or spelling) differs is warned
// about with code 24 and both fields take the table's values; a name of no
// type is reported and left as read.
void settleType(ZoltHeader *h) {
    const ZoltTypeEntry *row = Zoltfindtype(h->oltdt);
    if (row) {
        if (std::strcmp(h->oltdt, row->name) != 0 || h->dtype != row->code) {
            ZoltErrorCode = ZOLT_EHEADER;
            reportf(Zoltwarn, "%s\n%s'%s',\n%s%x\n%s'%s',\n%s%x",
                    "ZoltRdHdr: WARNING!  File header fields 'oltdt', 'dtype' contain",
                    "          inconsistent information -- hdr->Zoltdt = ", h->oltdt,
                    "          hdr->dtype = $", h->dtype,
                    "          Data type table shows 'oltdt' should be = ", row->name,
                    "          and 'dtype' should be $", row->code);
            std::memset(h->oltdt, 0, sizeof h->oltdt);
            std::strncpy(h->oltdt, row->name, sizeof h->oltdt - 1);
            h->dtype = row->code;
        }
    } else {
        ZoltErrorCode = ZOLT_EHEADER;
        reportf(Zoltext, "%s\n%s (field 'oltdt' contains '%s')\n%s",
                "ZoltRdHdr: WARNING!  Data Type Field 'oltdt' does not contain a data type",
                "          recognized by this version of ZOLT", h->oltdt,
                "          Image has damaged header?");
    }
}

// Refuses what a damaged fixed header would otherwise make the reader trust:
// the dimension count, the data type and the element size. 0 when all is well.
int checkFixedPart(const ZoltHeader *h) {
    if (h->oltndim < 1 || h->oltndim > ZOLT_MAXDIM) {
        ZoltErrorCode = ZOLT_EDIM;
        reportf(Zoltext, "ZoltRdHdr: field 'oltndim' holds %d; an image has 1 to 3 dimensions.",
                h->oltndim);
        return -1;
    }
    // settleType has made name and code agree, or left a name of no type.
    const ZoltTypeEntry *row = Zoltfindcode(h->dtype);
    if (!row || std::strcmp(h->oltdt, row->name) != 0) {
        ZoltErrorCode = ZOLT_ETYPE;
        reportf(Zoltext, "ZoltRdHdr: field 'oltdt' holds '%s', which names no data type.", h->oltdt);
        return -1;
    }
    if (h->oltesize < 1 || (row->code != ZOLT_STRUCT && h->oltesize != row->esize)) {
        ZoltErrorCode = ZOLT_EHEADER;
        reportf(Zoltext, "ZoltRdHdr: field 'oltesize' holds %d, which does not fit data type '%s'.",
                h->oltesize, h->oltdt);
        return -1;
    }
    return 0;
}

// Lengths of at least 1, each dimension number 1..n once, and a pixel count
// the 4-byte strides can hold.
int checkDims(const ZoltHeader *h) {
    const int n = h->oltndim;
    bool seen[ZOLT_MAXDIM + 1] = {};
    uint64_t pixels = 1;
    for (int k = 0; k < n; ++k) {
        const ZoltDimHeader &d = h->oltdim[k];
        if (d.dimlen < 1) {
            ZoltErrorCode = ZOLT_EHEADER;
            reportf(Zoltext, "ZoltRdDims: field 'dimlen' holds %d; a dimension needs at least 1 sample.",
                    d.dimlen);
            return -1;
        }
        if (d.dimnum < 1 || d.dimnum > n || seen[d.dimnum]) {
            ZoltErrorCode = ZOLT_EHEADER;
            reportf(Zoltext, "ZoltRdDims: field 'dimnum' holds %d; each of 1 to %d must appear once.",
                    d.dimnum, n);
            return -1;
        }
        seen[d.dimnum] = true;
        pixels *= static_cast<uint64_t>(d.dimlen);
        if (pixels > static_cast<uint64_t>(INT32_MAX)) {
            ZoltErrorCode = ZOLT_EHEADER;
            Zoltext("ZoltRdDims: fields 'dimlen' give a pixel count too large for an image.");
            return -1;
        }
    }
    return 0;
}

// False when the `left` bytes of a file (-1: unknown) cannot hold `raw` bytes
// of data, raw or inflated from a zlib stream.
bool fileCanHold(size_t raw, bool compressed, long long left) {
    if (left < 0) return true;
    const uint64_t avail = std::min<uint64_t>(static_cast<uint64_t>(left), 1ull << 48);
    const uint64_t most = compressed ? avail * kMaxInflateRatio + 1024 : avail;
    return raw <= most;
}

// The data could not be read whole: release everything read so far.
int dataError(ZoltHeader *h, void *data) {
    ZoltErrorCode = ZOLT_EIO;
    Zoltext("ZoltRdData: I/O error on read of data [file damaged?]");
    Zoltcfree(data);
    Zoltfree(h, 7);
    return ZOLT_EIO;
}

// The pixel buffer being filled. From a regular file it is allocated whole at
// once (the file's size has vouched for it); from a stream of unknown length
// it starts small and doubles, never beyond the raw size, only as bytes
// arrive, so a short input cannot make the reader reserve what it claims.
struct DataBuffer {
    unsigned char *data = nullptr;
    size_t cap = 0;
    size_t raw = 0;

    // The first allocation: all of it when the input has vouched for the
    // size, else the first chunk. False when memory runs out.
    bool start(bool whole) {
        if (!whole) return grow();
        data = static_cast<unsigned char *>(ZoltCallocHook(raw, 1));
        cap = data ? raw : 0;
        // written whole right away: fault it in by large pages
        if (data) ZoltPreferLargePages(data, raw);
        return data != nullptr;
    }

    // Room for at least one more byte; false when memory runs out.
    bool grow() {
        const size_t next = std::min(raw, std::max(cap * 2, kFirstChunk));
        void *p = ZoltReallocHook(data, next);
        if (!p) return false;
        data = static_cast<unsigned char *>(p);
        cap = next;
        return true;
    }
};

// Reads exactly buf.raw bytes; 0, ZOLT_EIO or ZOLT_ENOMEM.
int readRaw(FILE *fp, DataBuffer &buf) {
    size_t filled = 0;
    while (filled < buf.raw) {
        if (filled == buf.cap && !buf.grow()) return ZOLT_ENOMEM;
        const size_t got = std::fread(buf.data + filled, 1, buf.cap - filled, fp);
        if (got == 0) return ZOLT_EIO;
        filled += got;
    }
    return 0;
}

// Inflates one zlib stream from the file into the buffer (exactly buf.raw
// bytes). Reads in pieces up to the end of the stream, so a stream longer than
// the raw size (data that does not compress) reads as well as any other. A
// stream that ends early, fails its checksum or holds more than the raw size
// is refused (ZOLT_EIO). Afterwards the file stands just behind the stream
// when it can be repositioned.
int inflateStream(FILE *fp, DataBuffer &buf) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit(&zs) != Z_OK) return ZOLT_ENOMEM;
    unsigned char chunk[1 << 16];
    unsigned char spill;  // one byte past the image: the stream must not reach it
    int status = ZOLT_EIO;
    for (;;) {
        if (zs.avail_in == 0) {
            const size_t got = std::fread(chunk, 1, sizeof chunk, fp);
            if (got == 0) break;  // the file ended inside the stream
            zs.next_in = chunk;
            zs.avail_in = static_cast<uInt>(got);
        }
        if (zs.avail_out == 0) {
            const size_t done = zs.total_out;
            if (done < buf.raw) {
                if (done == buf.cap && !buf.grow()) {
                    status = ZOLT_ENOMEM;
                    break;
                }
                zs.next_out = buf.data + done;
                zs.avail_out = static_cast<uInt>(std::min<size_t>(buf.cap - done, 1u << 30));
            } else {
                zs.next_out = &spill;
                zs.avail_out = 1;
            }
        }
        const int ret = inflate(&zs, Z_NO_FLUSH);
        if (zs.total_out > buf.raw) break;
        if (ret == Z_STREAM_END) {
            if (zs.total_out == buf.raw) status = 0;
            break;
        }
        if (ret != Z_OK && ret != Z_BUF_ERROR) break;
    }
    const size_t unread = zs.avail_in;
    inflateEnd(&zs);
    if (status == 0 && unread) std::fseek(fp, -static_cast<long>(unread), SEEK_CUR);
    return status;
}

// The pixel data's zlib stream: from a file of known length read whole and
// inflated in one call, otherwise (or when that cannot decide) in pieces.
int inflateData(FILE *fp, long long left, DataBuffer &buf) {
    if (left >= 0) {
        switch (zoltdeflate::inflateFile(fp, left, buf.data, buf.raw)) {
            case zoltdeflate::Inflated::Done: return 0;
            case zoltdeflate::Inflated::Refused: return ZOLT_EIO;
            case zoltdeflate::Inflated::Piecewise: break;
        }
    }
    return inflateStream(fp, buf);
}

}  // namespace

int ZoltClose(FILE *fp) {
    if (!fp) return -1;
    if (fp == stdin || fp == stdout || fp == stderr) return 0;
    return std::fclose(fp);
}

ZoltHeader *ZoltRdHdr(FILE *fp) {
    ZoltDepthGuard depth;
    if (!fp) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltshort("ZoltRdHdr: file pointer passed was NULL.");
        return nullptr;
    }
    auto *h = static_cast<ZoltHeader *>(Zoltalc(512));
    if (!h) {
        Zoltshort("ZoltRdHdr: ran out of memory.");
        return nullptr;
    }
    unsigned char buf[kFileHeaderBytes];
    if (std::fread(buf, 1, sizeof buf, fp) != sizeof buf) {
        Zoltcfree(h);
        ZoltErrorCode = ZOLT_EIO;
        Zoltext("ZoltRdHdr: I/O error or EOF when reading header.");
        return nullptr;
    }
    std::memcpy(h->oltmagic, buf, 4);
    getField(&h->oltblksz, buf, 4);
    getField(&h->oltres1, buf, 8);
    getField(&h->olthdrblk, buf, 12);
    getField(&h->oltfileblk, buf, 16);
    getField(&h->olttaillen, buf, 20);
    std::memcpy(h->oltnote1, buf + 28, 8);
    std::memcpy(h->oltnote2, buf + 36, 8);
    std::memcpy(h->oltauthor, buf + 44, 32);
    std::memcpy(h->oltdate, buf + 76, 32);
    std::memcpy(h->oltprog, buf + 108, 32);
    std::memcpy(h->oltver, buf + 140, 8);
    h->oltmach = buf[148];
    h->oltres2 = buf[149];
    std::memcpy(h->oltres3, buf + 150, 38);
    std::memcpy(h->oltunits, buf + 188, 16);
    getField(&h->oltscale, buf, 204);
    getField(&h->oltoffset, buf, 208);
    std::memcpy(h->oltdt, buf + 212, 16);
    getField(&h->dtype, buf, 228);
    getField(&h->oltesize, buf, 232);
    getField(&h->oltndim, buf, 236);
    std::memcpy(h->oltres5, buf + 252, 3);
    h->oltcomp = buf[255];
    terminate(h->oltnote1);
    terminate(h->oltnote2);
    terminate(h->oltauthor);
    terminate(h->oltdate);
    terminate(h->oltprog);
    terminate(h->oltver);
    terminate(h->oltunits);
    terminate(h->oltdt);
    if (ZoltNativeMach != ZOLT_NATIVE_MACH) ZoltNativeMach = ZOLT_NATIVE_MACH;  // no store when set: threads share it

    if (h->oltblksz == kSwappedBlockSize) {
        reverseBytes(&h->oltblksz, 4);
        reverseBytes(&h->oltres1, 4);
        reverseBytes(&h->olthdrblk, 4);
        reverseBytes(&h->oltfileblk, 4);
        reverseBytes(&h->olttaillen, 4);
        reverseBytes(&h->oltscale, 4);
        reverseBytes(&h->oltoffset, 4);
        reverseBytes(&h->dtype, 4);
        reverseBytes(&h->oltesize, 4);
        reverseBytes(&h->oltndim, 4);
        h->olttaillen = 0;  // a tail of another machine is never read
        h->olttail = nullptr;
    } else if (h->oltblksz != 512) {
        // Not a layout this library knows: refuse the file, keep the process.
        Zoltsay("input file blocksize not set to anything I recognize\n");
        std::fflush(stdout);
        Zoltcfree(h);
        ZoltErrorCode = ZOLT_EHEADER;
        return nullptr;
    }
    // Without its magic the record would be refused by every other call,
    // Zoltfree included.
    if (!Zoltmagicok(h)) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltRdHdr: field 'oltmagic' holds neither \"ZOL\" nor \"OLT\"; not a ZOLT file.");
        Zoltcfree(h);
        return nullptr;
    }
    settleType(h);
    if (checkFixedPart(h) != 0) {
        Zoltcfree(h);
        return nullptr;
    }
    return h;
}

ZoltHeader *ZoltConvertDims(ZoltHeader *h) {
    if (!h) return nullptr;
    const int n = std::min(std::max(h->oltndim, 0), ZOLT_MAXDIM);
    for (int k = 0; k < n; ++k) {
        reverseBytes(&h->oltdim[k].dimlen, 4);
        reverseBytes(&h->oltdim[k].dimnum, 4);
    }
    return h;
}

ZoltHeader *ZoltRdDims(ZoltHeader *h, FILE *fp) {
    ZoltDepthGuard depth;
    if (!h) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltshort("ZoltRdDims: header passed was null.");
        return nullptr;
    }
    if (!fp) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltshort("ZoltRdDims: file pointer passed was NULL.");
        return nullptr;
    }
    if (h->oltndim < 1 || h->oltndim > ZOLT_MAXDIM) {
        ZoltErrorCode = ZOLT_EDIM;
        reportf(Zoltext, "ZoltRdDims: field 'oltndim' holds %d; an image has 1 to 3 dimensions.",
                h->oltndim);
        return nullptr;
    }
    const size_t bytes = 64 * static_cast<size_t>(h->oltndim);
    if (std::fread(h->oltdim, 1, bytes, fp) != bytes) {
        ZoltErrorCode = ZOLT_EIO;
        Zoltext("ZoltRdDims: I/O error or EOF when reading dimension sub headers.");
        return nullptr;
    }
    if (!skipBytes(fp, headerPadding(h->oltndim))) {
        Zoltwarn("ZoltRdDims: WARNING!  There is no padding after the");
        Zoltwarn("          ZOLT file header.  File is probably damaged.");
    }
    if (h->oltmach != ZoltNativeMach) {
        ZoltConvertDims(h);
    } else if (ZoltErrorCode != 0) {
        ZoltErrorCode = 0;
        Zoltwarn("ZoltRdDims: WARNING -- File dimensions are inconsistent\n");
    }
    if (checkDims(h) != 0) return nullptr;
    Zoltcfree(h->oltdln);
    h->oltdln = Zolt_ao(h);
    if (!h->oltdln) return nullptr;
    return h;
}

namespace {

// Puts `count` elements of `esize` bytes at p into this machine's byte order:
// each element, or each part of a complex one, reversed. A "struct" element
// cannot be converted (its layout is the user's); it is refused with the
// reasons even for a count of 0, so a reader can refuse before reading.
int convertElements(uint32_t dtype, void *data, size_t count, size_t esize) {
    auto *p = static_cast<unsigned char *>(data);
    switch (dtype) {
        case ZOLT_S8: case ZOLT_S16: case ZOLT_S32: case ZOLT_F32: case ZOLT_F64:
        case ZOLT_U8: case ZOLT_U16:
            for (size_t i = 0; i < count; ++i) reverseBytes(p + i * esize, esize);
            return 0;
        case ZOLT_C32: case ZOLT_C64: {
            const size_t half = esize / 2;
            for (size_t i = 0; i < 2 * count; ++i) reverseBytes(p + i * half, half);
            return 0;
        }
        case ZOLT_STRUCT:
            Zoltsay("This image was created on another type computer, and it is data type \"struct\".\n");
            Zoltsay("I cannot convert it to this platform because I dont know the format of the (user-defined) struct.\n");
            Zoltsay("Sorry\n");
            std::fflush(stdout);
            ZoltErrorCode = ZOLT_ETYPE;
            return -1;
        default:
            Zoltsay("convertdata: unknown data type in input image\n");
            std::fflush(stdout);
            ZoltErrorCode = ZOLT_ETYPE;
            return -1;
    }
}

}  // namespace

int ZoltConvertData(ZoltHeader *h) {
    if (!h || !h->oltptr) return -1;
    const size_t count = Zoltpixels(h);
    const size_t esize = count ? Zoltbytes(h) / count : 0;
    return convertElements(h->dtype, h->oltptr, count, esize);
}

int ZoltRdData(ZoltHeader *h, FILE *fp) {
    ZoltDepthGuard depth;
    ZoltErrorCode = 0;
    if (!h) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltshort("ZoltRdData: header passed was null.");
        return ZOLT_ENULL;
    }
    if (!fp) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltshort("ZoltRdData: file pointer passed was NULL.");
        return ZOLT_ENULL;
    }
    const size_t raw = Zoltbytes(h);
    if (raw == 0) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltRdData: header holds no valid data size.");
        Zoltfree(h, 7);
        return ZOLT_EHEADER;
    }
    // Before allocating, make sure the file can hold what the header claims;
    // when its length cannot be known, memory grows with the bytes received.
    DataBuffer buf;
    buf.raw = raw;
    const long long left = bytesLeft(fp);
    if (!fileCanHold(raw, h->oltcomp != 0, left)) return dataError(h, nullptr);
    if (!Zoltmemok(raw, "ZoltRdData")) {
        Zoltfree(h, 7);
        return ZOLT_ENOMEM;
    }
    int status = ZOLT_ENOMEM;
    if (buf.start(left >= 0)) status = h->oltcomp ? inflateData(fp, left, buf) : readRaw(fp, buf);
    if (status == ZOLT_ENOMEM) {
        Zoltcfree(buf.data);
        ZoltErrorCode = ZOLT_ENOMEM;
        Zoltext("ZoltRdData: couldn't allocate space to store image data.");
        Zoltfree(h, 7);
        return ZOLT_ENOMEM;
    }
    if (status != 0) return dataError(h, buf.data);
    unsigned char *data = buf.data;
    // Leave the file behind the data padding, where a tail would start.
    if (raw % 512) skipBytes(fp, 512 - raw % 512);

    h->oltptr = data;
    if (h->oltmach != ZoltNativeMach) {
        if (ZoltConvertData(h) != 0) {
            Zoltext("ZoltRdData: failed to convert data.");
            Zoltfree(h, 7);
            return -1;
        }
        if (ZoltErrorCode != 0) {
            ZoltErrorCode = 0;
            Zoltwarn("ZoltRdData: WARNING -- File data is inconsistent\n");
        }
    }
    return 0;
}

int ZoltRdTail(ZoltHeader *h, FILE *fp) {
    ZoltDepthGuard depth;
    ZoltErrorCode = 0;
    if (!h || !fp) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltshort(!h ? "ZoltRdTail: header passed was null." : "ZoltRdTail: file pointer passed was NULL.");
        return ZOLT_ENULL;
    }
    if (h->olttaillen <= 0) return -1;
    const size_t n = static_cast<size_t>(h->olttaillen);
    // A file shorter than the announced tail is not worth an allocation; from
    // a stream the tail grows as it arrives.
    const long long left = bytesLeft(fp);
    DataBuffer buf;
    buf.raw = n;
    int status = ZOLT_EIO;
    if (left < 0 || static_cast<unsigned long long>(left) >= n)
        status = buf.start(left >= 0) ? readRaw(fp, buf) : ZOLT_ENOMEM;
    unsigned char *tail = buf.data;
    if (status == ZOLT_ENOMEM) {
        Zoltcfree(tail);
        ZoltErrorCode = ZOLT_ENOMEM;
        Zoltext("ZoltRdTail: can't allocate space to store tail.");
        return ZOLT_ENOMEM;
    }
    if (status != 0) {
        Zoltcfree(tail);
        h->olttail = nullptr;
        h->olttaillen = 0;
        ZoltErrorCode = ZOLT_EIO;
        Zoltext("ZoltRdTail: I/O error on read of tail [file damaged?]\n");
        return ZOLT_EIO;
    }
    h->olttail = tail;
    const size_t block = h->oltblksz > 0 ? static_cast<size_t>(h->oltblksz) : 512;
    if (!skipBytes(fp, (n + block - 1) / block * block - n)) {
        ZoltErrorCode = ZOLT_EIO;
        Zoltwarn("ZoltRdTail: WARNING -- I/O error or EOF encountered when reading\n"
                 "          padding after tail information [file damaged?]");
    }
    if (h->oltmach != ZoltNativeMach) {
        Zoltsay("Caution: the form of the tail is under user control and not known to Zolt\n");
        Zoltsay("This file has a tail which was written on another computer. I will all single bytes, \n");
        Zoltsay("and no byte swapping is needed. If this is not the case, you may get unexpected results\n");
    }
    return 0;
}

namespace {

// The file header and the dimension headers, with the warnings of a
// header that had to be settled; null on failure (reported as `who`).
ZoltHeader *readHeaders(FILE *fp, const char *who) {
    ZoltHeader *h = ZoltRdHdr(fp);
    if (!h) {
        reportf(Zoltext, "%s: failed to get header from file", who);
        return nullptr;
    }
    if (ZoltErrorCode != 0) {
        ZoltErrorCode = 0;
        reportf(Zoltwarn, "%s: WARNING -- File header is inconsistent\n", who);
    }
    if (!ZoltRdDims(h, fp)) {
        Zoltfree(h, 7);
        reportf(Zoltext, "%s: failed to get dimension headers from file", who);
        return nullptr;
    }
    if (ZoltErrorCode != 0) {
        ZoltErrorCode = 0;
        reportf(Zoltwarn, "%s: WARNING -- File dimension hdrs are inconsistent\n", who);
    }
    return h;
}

}  // namespace

ZoltHeader *ZoltRdImg(FILE *fp, int tailflag) {
    ZoltDepthGuard depth;
    ZoltErrorCode = 0;
    ZoltHeader *h = readHeaders(fp, "ZoltRdImg");
    if (!h) return nullptr;
    if (ZoltRdData(h, fp) != 0) {  // frees the header on failure
        Zoltext("ZoltRdImg: failed to get data from file");
        return nullptr;
    }
    if (ZoltErrorCode != 0) {
        ZoltErrorCode = 0;
        Zoltwarn("ZoltRdImg: WARNING -- File data inconsistent\n");
    }
    if (tailflag) {
        if (ZoltRdTail(h, fp) != 0) {
            Zoltfree(h, 7);
            Zoltext("ZoltRdImg: failed to get tail data from file");
            return nullptr;
        }
        if (ZoltErrorCode != 0) {
            ZoltErrorCode = 0;
            Zoltwarn("ZoltRdImg: WARNING -- File tail data inconsistent\n");
        }
    }
    h->oltmach = ZoltNativeMach;
    h->oltres2 = 16;
    return h;
}

ZoltHeader *ZoltGetImg(const char *name, const char *prompt, int tailflag) {
    ZoltDepthGuard depth;
    FILE *fp = ZoltOpen(name, "rb", prompt, 5);
    if (!fp) {
        Zoltext("ZoltGetImg: couldn't open file.");
        return nullptr;
    }
    ZoltHeader *h = ZoltRdImg(fp, tailflag);
    ZoltClose(fp);
    if (!h) {
        Zoltext("ZoltGetImg: Error while reading image file.");
        return nullptr;
    }
    return h;
}

ZoltHeader *Zoltpin(const char *name) {
    return ZoltGetImg(name, "Enter name of ZOLT image file to read in: ", 0);
}

// ------------------------------------------------- one frame at a time

struct ZoltFrameReader {
    FILE *fp = nullptr;
    ZoltHeader *h = nullptr;
    bool foreign = false;     // the data are in the other byte order
    bool compressed = false;
    bool streaming = false;   // the inflater is set up (and must be ended)
    bool ended = false;       // the zlib stream has reached its end
    int failed = 0;           // the code of a failed read: the rest is lost
    int frames = 1;
    int next = 0;             // the frame the next call reads
    size_t frameBytes = 0;
    int32_t oneFrameDln[ZOLT_MAXDIM + 1] = {};  // strides of a one-frame view
    z_stream zs;
    unsigned char chunk[1 << 16];
};

namespace {

// Reads exactly `want` raw bytes; 0 or ZOLT_EIO.
int readFrameRaw(ZoltFrameReader *r, unsigned char *out) {
    size_t filled = 0;
    while (filled < r->frameBytes) {
        const size_t got = std::fread(out + filled, 1, r->frameBytes - filled, r->fp);
        if (got == 0) return ZOLT_EIO;
        filled += got;
    }
    return 0;
}

// Inflates the next frameBytes bytes of the stream. The last frame must also
// end the stream, checksum included, without a byte more: 0 or ZOLT_EIO.
int inflateFrame(ZoltFrameReader *r, unsigned char *out) {
    z_stream &zs = r->zs;
    const size_t want = r->frameBytes;
    const bool last = r->next + 1 == r->frames;
    size_t done = 0;
    unsigned char spill;  // one byte past the image: the stream must not reach it
    for (;;) {
        if (r->ended) return last && done == want ? 0 : ZOLT_EIO;
        if (done == want && !last) return 0;
        if (zs.avail_in == 0) {
            const size_t got = std::fread(r->chunk, 1, sizeof r->chunk, r->fp);
            if (got == 0) return ZOLT_EIO;  // the file ended inside the stream
            zs.next_in = r->chunk;
            zs.avail_in = static_cast<uInt>(got);
        }
        if (done < want) {
            zs.next_out = out + done;
            zs.avail_out = static_cast<uInt>(std::min<size_t>(want - done, 1u << 30));
        } else {
            zs.next_out = &spill;
            zs.avail_out = 1;
        }
        const uInt room = zs.avail_out;
        const int ret = inflate(&zs, Z_NO_FLUSH);
        const size_t made = room - zs.avail_out;
        if (done == want && made > 0) return ZOLT_EIO;  // more than the image
        done += made;
        if (ret == Z_STREAM_END)
            r->ended = true;
        else if (ret != Z_OK && ret != Z_BUF_ERROR)
            return ZOLT_EIO;
    }
}

}  // namespace

ZoltFrameReader *ZoltFrameOpen(const char *name) {
    ZoltDepthGuard depth;
    ZoltErrorCode = 0;
    if (!name) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltshort("ZoltFrameOpen: file name passed was NULL.");
        return nullptr;
    }
    auto *r = new (std::nothrow) ZoltFrameReader;
    if (!r) {
        ZoltErrorCode = ZOLT_ENOMEM;
        Zoltext("ZoltFrameOpen: ran out of memory.");
        return nullptr;
    }
    std::memset(&r->zs, 0, sizeof r->zs);
    r->fp = std::strcmp(name, "-") == 0 ? stdin : std::fopen(name, "rb");
    if (!r->fp) {
        const int err = errno;
        delete r;
        errno = err;  // the report names the system's reason
        ZoltErrorCode = ZOLT_EOPEN;
        reportf(Zoltext, "ZoltFrameOpen: Unable to open file `%s'.", name);
        return nullptr;
    }
    ZoltHeader *h = readHeaders(r->fp, "ZoltFrameOpen");
    if (!h) {
        ZoltFrameClose(r);
        return nullptr;
    }
    r->h = h;
    // The checks the whole-file reader makes before it allocates.
    const size_t raw = Zoltbytes(h);
    if (raw == 0) {
        ZoltFrameClose(r);
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltFrameOpen: header holds no valid data size.");
        return nullptr;
    }
    r->compressed = h->oltcomp != 0;
    if (!fileCanHold(raw, r->compressed, bytesLeft(r->fp))) {
        ZoltFrameClose(r);
        ZoltErrorCode = ZOLT_EIO;
        Zoltext("ZoltFrameOpen: I/O error on read of data [file damaged?]");
        return nullptr;
    }
    r->foreign = h->oltmach != ZoltNativeMach;
    if (r->foreign && convertElements(h->dtype, nullptr, 0, static_cast<size_t>(h->oltesize)) != 0) {
        ZoltFrameClose(r);
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltext("ZoltFrameOpen: failed to convert data.");
        return nullptr;
    }
    // Frames are the slowest dimension (number 3), so each is one run of bytes.
    for (int k = 0; k < h->oltndim; ++k)
        if (h->oltdim[k].dimnum == 3) r->frames = h->oltdim[k].dimlen;
    r->frameBytes = raw / static_cast<size_t>(r->frames);
    for (int k = 0; k <= h->oltndim; ++k) r->oneFrameDln[k] = h->oltdln[k];
    if (h->oltndim == 3) r->oneFrameDln[3] = r->oneFrameDln[2];
    if (r->compressed) {
        if (inflateInit(&r->zs) != Z_OK) {
            ZoltFrameClose(r);
            ZoltErrorCode = ZOLT_ENOMEM;
            Zoltext("ZoltFrameOpen: couldn't allocate space to inflate image data.");
            return nullptr;
        }
        r->streaming = true;
    }
    // The frames come in this machine's order, as from the whole-file reader.
    h->oltmach = ZoltNativeMach;
    h->oltres2 = 16;
    return r;
}

const ZoltHeader *ZoltFrameHeader(const ZoltFrameReader *r) { return r ? r->h : nullptr; }

int ZoltFrameCount(const ZoltFrameReader *r) { return r ? r->frames : 0; }

size_t ZoltFrameBytes(const ZoltFrameReader *r) { return r ? r->frameBytes : 0; }

int ZoltFrameNext(ZoltFrameReader *r, void *frame) {
    ZoltDepthGuard depth;
    ZoltErrorCode = 0;
    if (!r || !frame) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltshort(!r ? "ZoltFrameNext: reader passed was null." : "ZoltFrameNext: frame buffer passed was null.");
        return ZOLT_ENULL;
    }
    if (r->failed) {
        ZoltErrorCode = r->failed;
        Zoltext("ZoltFrameNext: an earlier frame could not be read; nothing follows it.");
        return r->failed;
    }
    if (r->next >= r->frames) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("ZoltFrameNext: every frame has been read.");
        return ZOLT_EDIM;
    }
    auto *out = static_cast<unsigned char *>(frame);
    const int status = r->compressed ? inflateFrame(r, out) : readFrameRaw(r, out);
    if (status != 0) {
        r->failed = status;
        ZoltErrorCode = status;
        Zoltext("ZoltFrameNext: I/O error on read of data [file damaged?]");
        return status;
    }
    if (r->foreign) {
        const size_t esize = static_cast<size_t>(r->h->oltesize);
        convertElements(r->h->dtype, out, r->frameBytes / esize, esize);
    }
    ++r->next;
    return 0;
}

void ZoltFrameView(const ZoltFrameReader *r, void *data, bool whole, ZoltHeader *out) {
    if (!r || !out) return;
    *out = *r->h;
    out->oltptr = data;
    out->olttail = nullptr;
    out->olttaillen = 0;
    if (whole) return;
    out->oltdln = const_cast<int32_t *>(r->oneFrameDln);
    for (int k = 0; k < out->oltndim; ++k)
        if (out->oltdim[k].dimnum == 3) out->oltdim[k].dimlen = 1;
}

void ZoltFrameClose(ZoltFrameReader *r) {
    if (!r) return;
    if (r->streaming) inflateEnd(&r->zs);
    if (r->fp) ZoltClose(r->fp);
    if (r->h) Zoltfree(r->h, 7);
    delete r;
}
