// The ZOLT file writer: packs the record into the 256-byte file header, then
// the sub-headers, '.' padding to 512 bytes, the pixel data (raw or one zlib
// stream, made in pieces for large data), '.' padding after the raw size and
// the optional tail. Images under 512 pixels are written raw by ZoltPutImg.
#include "zolt.h"
#include "zolt_deflate.h"
#include "zolt_safefile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <zlib.h>

namespace {

constexpr int kFileHeaderBytes = 256;

// The packed file header of the calling thread's last write.
thread_local unsigned char packed[kFileHeaderBytes];

template <typename T>
void putField(unsigned char *buf, int offset, const T &field) {
    std::memcpy(buf + offset, &field, sizeof field);
}

// The record's fixed part at the file offsets; pointer places and the
// reserved words stay zero, the block size is always 512.
void packHeader(const ZoltHeader *h, int32_t taillen) {
    unsigned char *b = packed;
    std::memset(b, 0, sizeof packed);
    std::memcpy(b, h->oltmagic, 4);
    putField(b, 4, int32_t{512});
    putField(b, 8, h->oltres1);
    putField(b, 12, h->olthdrblk);
    putField(b, 16, h->oltfileblk);
    putField(b, 20, taillen);
    std::memcpy(b + 28, h->oltnote1, 8);
    std::memcpy(b + 36, h->oltnote2, 8);
    std::memcpy(b + 44, h->oltauthor, 32);
    std::memcpy(b + 76, h->oltdate, 32);
    std::memcpy(b + 108, h->oltprog, 32);
    std::memcpy(b + 140, h->oltver, 8);
    b[148] = h->oltmach;
    b[149] = h->oltres2;
    std::memcpy(b + 150, h->oltres3, 38);
    std::memcpy(b + 188, h->oltunits, 16);
    putField(b, 204, h->oltscale);
    putField(b, 208, h->oltoffset);
    std::memcpy(b + 212, h->oltdt, 16);
    putField(b, 228, h->dtype);
    putField(b, 232, h->oltesize);
    putField(b, 236, h->oltndim);
    b[255] = h->oltcomp;
}

bool writeDots(FILE *fp, size_t n) {
    char line[512];
    std::memset(line, '.', sizeof line);
    while (n > 0) {
        const size_t k = std::min(n, sizeof line);
        if (std::fwrite(line, 1, k, fp) != k) return false;
        n -= k;
    }
    return true;
}

int failWrite(const char *message) {
    ZoltErrorCode = ZOLT_EIO;
    Zoltext(message);
    return 0;
}

}  // namespace

int ZoltWrImg(ZoltHeader *h, FILE *fp, int tailflag) {
    ZoltDepthGuard depth;
    if (!h) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("ZoltWrImg: Image header is NULL");
        return 0;
    }
    if (!fp) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("ZoltWrImg: file pointer passed was NULL.");
        return 0;
    }
    if (!Zoltmagicok(h)) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltWrImg: Invalid image header (bad magic no.)");
        return 0;
    }
    if (!h->oltptr) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltWrImg: No data associated with header! (field 'oltptr' = 0)");
        return 0;
    }
    int *siz = Zoltsiz(h);
    if (!siz) {
        Zoltext("ZoltWrImg: internal error! Call to 'oltsiz' failed.");
        return 0;
    }
    Zoltcfree(siz);
    const size_t raw = Zoltbytes(h);
    if (raw == 0) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltWrImg: Invalid image header (bad dimension lengths)");
        return 0;
    }

    int32_t taillen = h->olttail ? h->olttaillen : 0;
    if (!tailflag || taillen < 0) taillen = 0;
    h->olttaillen = taillen;

    packHeader(h, taillen);
    if (std::fwrite(packed, 1, sizeof packed, fp) != sizeof packed)
        return failWrite("ZoltWrImg: I/O error when writing ZOLT  header.");
    const size_t dimbytes = 64 * static_cast<size_t>(h->oltndim);
    if (std::fwrite(h->oltdim, 1, dimbytes, fp) != dimbytes)
        return failWrite("WrImg: I/O error when writing the dimensions sub headers.");
    const size_t used = kFileHeaderBytes + dimbytes;
    if (!writeDots(fp, (used + 511) / 512 * 512 - used))
        return failWrite("WrImg: I/O error when writing padding after header.");

    if (h->oltcomp && raw >= zoltdeflate::kPiecewiseBytes) {
        const zoltdeflate::Written w = zoltdeflate::compressToFile(h->oltptr, raw, fp);
        if (w == zoltdeflate::Written::NoMemory) {
            ZoltErrorCode = ZOLT_ECOMPMEM;
            Zoltext("ZoltWrimg: error allocating memory for compression.");
            return 0;
        }
        if (w == zoltdeflate::Written::WriteError)
            return failWrite("ZoltWrImg: I/O error when writing the image data.");
    } else if (h->oltcomp) {
        // Room for data that does not compress: half as much again, and never
        // less than zlib's own bound.
        const uLong capacity = std::max<uLong>(static_cast<uLong>(raw * 1.5 + 12), compressBound(raw));
        auto *buf = static_cast<Bytef *>(ZoltCallocHook(capacity, 1));
        if (!buf) {
            ZoltErrorCode = ZOLT_ECOMPMEM;
            Zoltext("ZoltWrimg: error allocating memory for compression.");
            return 0;
        }
        const size_t length = zoltdeflate::compress(h->oltptr, raw, buf, capacity);
        if (length == 0) {
            Zoltcfree(buf);
            ZoltErrorCode = ZOLT_ECOMPMEM;
            Zoltext("ZoltWrimg: error allocating memory for compression.");
            return 0;
        }
        const bool ok = std::fwrite(buf, 1, length, fp) == length;
        Zoltcfree(buf);
        if (!ok) return failWrite("ZoltWrImg: I/O error when writing the image data.");
    } else if (std::fwrite(h->oltptr, 1, raw, fp) != raw) {
        return failWrite("ZoltWrImg: I/O error when writing the image data.");
    }
    if (raw % 512 && !writeDots(fp, 512 - raw % 512))
        return failWrite("ZoltWrImg: I/O error when writing padding after data.");

    if (taillen > 0) {
        const size_t n = static_cast<size_t>(taillen);
        h->olttail[n - 1] = '\0';
        if (std::fwrite(h->olttail, 1, n, fp) != n)
            return failWrite("ZoltWrImg: I/O error when writing file tail.");
        if (n % 512 && !writeDots(fp, 512 - n % 512))
            return failWrite("ZoltWrImg: I/O error when writing padding after tail.");
    }
    return -1;
}

int ZoltPutImg(ZoltHeader *h, const char *name, const char *prompt, int tailflag) {
    ZoltDepthGuard depth;
    if (!h) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("ZoltPutImg: Image header is NULL");
        return 0;
    }
    if (std::memcmp(h->oltmagic, "ZOL", 4) != 0) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltPutImg: Invalid image header (bad magic no.)");
        return 0;
    }
    if (!h->oltptr) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltPutImg: No data associated with header! (field 'oltptr' = 0)");
        return 0;
    }
    ZoltSafeFile safe;
    FILE *fp = ZoltOpenSafe(name, prompt, 5, safe);
    if (!fp) {
        Zoltext("ZoltPutImg: couldn't open file.");
        return 0;
    }
    const size_t pixels = Zoltpixels(h);
    if (pixels < 512) {
        Zoltsay("ZoltPutImg error msg: image has %d pixels so it will not be compressed\n",
                    static_cast<int>(pixels));
        std::fflush(stdout);
        h->oltcomp = 0;
    }
    bool ok = ZoltWrImg(h, fp, tailflag) != 0;
    // Data still in the stream's buffer must reach the file, or the write
    // failed; only a complete file takes the target's place.
    // (A failed write leaves `safe` to remove its temporary file.)
    const bool done = safe.file() ? ok && safe.commit()
                                  : std::fflush(fp) == 0 && !std::ferror(fp) && ZoltClose(fp) == 0;
    if (ok && !done) {
        ok = false;
        ZoltErrorCode = ZOLT_EIO;
    }
    if (!ok) {
        Zoltext("ZoltPutImg: Error while writing image file.");
        return 0;
    }
    return -1;
}

int Zoltpot(ZoltHeader *h, const char *name) {
    return ZoltPutImg(h, name, "Enter name of file to write ZOLT image to: ", 0);
}
