// Image creation and release, dimension queries, header validation and the
// library's zero-filling allocator. Images have 1 to 3 dimensions; the header
// and its sub-headers share one block of 512 bytes.
#include "zolt.h"
#include "zolt_largepages.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <utility>
#include <unistd.h>

void *(*ZoltCallocHook)(size_t, size_t) = std::calloc;
void *(*ZoltReallocHook)(void *, size_t) = std::realloc;
void (*ZoltFreeHook)(void *) = std::free;

namespace {

const char kAuthor[] = "Zolttool image library";

void setText(char *field, size_t width, const char *text) {
    std::memset(field, 0, width);
    std::strncpy(field, text, width - 1);
}

}  // namespace

size_t Zoltmemlimit() {
    if (const char *text = std::getenv("ZOLT_MAX_IMAGE_BYTES")) {
        char *end = nullptr;
        const unsigned long long v = std::strtoull(text, &end, 10);
        if (end != text && *end == '\0') return static_cast<size_t>(v);
    }
    // The memory the machine can give without swapping: MemAvailable, else the free pages.
    unsigned long long kib = 0;
    if (FILE *fp = std::fopen("/proc/meminfo", "r")) {
        char line[128];
        while (std::fgets(line, sizeof line, fp))
            if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) break;
        std::fclose(fp);
    }
    if (kib > 0) return static_cast<size_t>(kib * 1024ull);
    const long pages = sysconf(_SC_AVPHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && size > 0) return static_cast<size_t>(pages) * static_cast<size_t>(size);
    return SIZE_MAX;
}

bool Zoltmemok(size_t bytes, const char *who) {
    // Small requests are checked only against a limit the user set.
    if (bytes < (size_t{64} << 20) && !std::getenv("ZOLT_MAX_IMAGE_BYTES")) return true;
    const size_t limit = Zoltmemlimit();
    if (bytes <= limit) return true;
    char message[256];
    std::snprintf(message, sizeof message,
                  "%s: %llu bytes requested, more than the limit of %llu bytes "
                  "(ZOLT_MAX_IMAGE_BYTES, or the memory available)",
                  who ? who : "Zoltalc", static_cast<unsigned long long>(bytes),
                  static_cast<unsigned long long>(limit));
    ZoltErrorCode = ZOLT_ENOMEM;
    errno = ENOMEM;
    Zoltext(message);
    return false;
}

void *Zoltalc(size_t bytes) {
    ZoltDepthGuard depth;
    if (!Zoltmemok(bytes, "Zoltalc")) return nullptr;
    void *p = ZoltCallocHook(bytes ? bytes : 1, 1);
    if (!p) {
        char message[128];
        std::snprintf(message, sizeof message,
                      "Zoltalc: can't allocate storage (%llu bytes requested)",
                      static_cast<unsigned long long>(bytes));
        ZoltErrorCode = ZOLT_ENOMEM;
        Zoltext(message);
    }
    return p;
}

void Zoltcfree(void *p) {
    if (p) ZoltFreeHook(p);
}

// The text lives in a buffer of the calling thread's own; the time zone is
// read once for the process.
char *Zolttim() {
    static std::once_flag zone;
    std::call_once(zone, [] { tzset(); });
    thread_local char text[32];
    std::time_t now = std::time(nullptr);
    return ctime_r(&now, text);
}

bool Zoltmagicok(const ZoltHeader *h) {
    return h && (std::memcmp(h->oltmagic, "ZOL", 4) == 0 ||
                 std::memcmp(h->oltmagic, "OLT", 4) == 0);
}

int Zoltchkhd(const ZoltHeader *h, const char *message) {
    if (!h) {
        if (ZoltErrorMode != 1) {
            std::fprintf(stderr, "\nZoltchkhd:  Null ZOLT image header encountered.\n");
            std::fprintf(stderr, "%s\n", message ? message : "");
        }
        if (ZoltErrorMode == 64) std::exit(ZOLT_ENULL);
        return 0;
    }
    if (Zoltmagicok(h)) return -1;
    char lead[5] = {h->oltmagic[0], h->oltmagic[1], h->oltmagic[2], h->oltmagic[3], 0};
    Zoltsay("chk:%s\n", lead);
    std::fflush(stdout);
    if (ZoltErrorMode == 8 || ZoltErrorMode == 64) {
        std::fprintf(stderr, "\nZoltchkhd:  Bad ZOLT image header encountered.\n");
        std::fprintf(stderr, "%s\n", message ? message : "");
    }
    if (ZoltErrorMode == 64) std::exit(ZOLT_EHEADER);
    return 0;
}

ZoltHeader *Zoltcreate(const char *type, const int *dims, int flags, int structsize) {
    ZoltDepthGuard depth;
    if (ZoltNativeMach != ZOLT_NATIVE_MACH) ZoltNativeMach = ZOLT_NATIVE_MACH;  // no store when set: threads share it
    if (!dims) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("Zoltcreate: NULL pointer passed as dimension-lengths array");
        std::fflush(stdout);
        return nullptr;
    }
    const int n = dims[0];
    if (n < 1) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("Zoltcreate: can't create image with number of dimensions < 1");
        std::fflush(stdout);
        return nullptr;
    }
    if (n > ZOLT_MAXDIM) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("Zoltcreate: This version of Zolt can't create image with more than 3 dimensions");
        return nullptr;
    }
    const ZoltTypeEntry *row = Zoltfindtype(type);
    if (!row) {
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltext("Zoltcreate: invalid data type");
        return nullptr;
    }
    const int esize = row->code == ZOLT_STRUCT ? structsize : row->esize;

    // Refuse lengths below 1 and byte counts that do not fit the record.
    size_t pixels = 1;
    for (int k = 1; k <= n; ++k) {
        if (dims[k] < 1) {
            ZoltErrorCode = ZOLT_EDIM;
            Zoltext("Zoltcreate: dimension length must be at least 1");
            return nullptr;
        }
        pixels *= static_cast<size_t>(dims[k]);
        if (pixels > INT32_MAX) break;  // strides are 4-byte integers
    }
    if (esize < 1 || pixels > INT32_MAX) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("Zoltcreate: image size out of range");
        return nullptr;
    }
    const size_t bytes = pixels * static_cast<size_t>(esize);

    const int hdrblk = (64 * n + 279) / 512 + 1;
    auto *h = static_cast<ZoltHeader *>(Zoltalc(static_cast<size_t>(hdrblk) * 512));
    if (!h) {
        Zoltext("Zoltcreate: can't allocate space for image header");
        return nullptr;
    }
    std::memcpy(h->oltmagic, "ZOL", 4);
    h->oltblksz = 512;
    h->olthdrblk = hdrblk;
    setText(h->oltnote1, sizeof h->oltnote1, "Olt is");
    setText(h->oltnote2, sizeof h->oltnote2, "great!");
    setText(h->oltauthor, sizeof h->oltauthor, kAuthor);
    setText(h->oltdate, sizeof h->oltdate, Zolttim());
    setText(h->oltprog, sizeof h->oltprog, "Zoltcreate");
    setText(h->oltver, sizeof h->oltver, "V7.0");
    h->oltmach = ZOLT_NATIVE_MACH;
    h->oltres2 = 16;
    setText(h->oltunits, sizeof h->oltunits, "pixels");
    h->oltscale = 1.0f;
    h->oltoffset = 0.0f;
    setText(h->oltdt, sizeof h->oltdt, row->name);
    h->dtype = row->code;
    h->oltesize = esize;
    h->oltndim = n;
    h->oltcomp = 1;
    for (int k = 0; k < n; ++k) {
        ZoltDimHeader &d = h->oltdim[k];
        d.dimlen = dims[k + 1];
        d.dimnum = k + 1;
        setText(d.dimdir, sizeof d.dimdir, "fwd");
        setText(d.dimunits, sizeof d.dimunits, "pixels");
        d.dimscale = 1.0f;
        d.dimoffset = 0.0f;
    }

    h->oltdln = Zolt_ao(h);
    if (!h->oltdln) {
        ZoltErrorCode = ZOLT_ENOMEM;
        Zoltcfree(h);
        Zoltext("Zoltcreate:  can't allocate space for 'oltdln' field");
        return nullptr;
    }
    h->oltfileblk = -static_cast<int32_t>((bytes + 511) / 512 + static_cast<size_t>(hdrblk));
    if (flags & 2) {
        h->oltptr = Zoltalc(bytes);
        if (!h->oltptr) {
            Zoltext("Zoltcreate:  can't allocate space for image data");
            Zoltcfree(h->oltdln);
            Zoltcfree(h);
            return nullptr;
        }
        ZoltPreferLargePages(h->oltptr, bytes);  // new images are mostly written whole
    }
    h->olttaillen = 0;
    h->olttail = nullptr;
    return h;
}

int Zoltfree(ZoltHeader *h, int flags) {
    ZoltDepthGuard depth;
    if (!h) {
        ZoltErrorCode |= ZOLT_ENULL;
        return 0;
    }
    if (!Zoltchkhd(h, "Zoltfree: unable to free image")) {
        ZoltErrorCode |= ZOLT_EHEADER;
        return 0;
    }
    if (flags & 2) {
        Zoltcfree(h->oltptr);
        h->oltptr = nullptr;
    }
    if (flags & 4) {
        Zoltcfree(h->olttail);
        h->olttail = nullptr;
    }
    Zoltcfree(h->oltdln);
    Zoltcfree(h);
    return 0;
}

unsigned Zoltdimen(const ZoltHeader *h, int n) {
    ZoltDepthGuard depth;
    if (!h) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("Zoltdimen: NULL passed as image header.");
        return 0;
    }
    if (!Zoltmagicok(h)) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("Zoltdimen: Bad image header.");
        return 0;
    }
    if (n < -2 || n >= h->oltndim) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("Zoltdimen: Invalid dimension to get length of.");
        return 0;
    }
    unsigned result = 0;
    if (n >= 0) {
        const int ndim = h->oltndim < ZOLT_MAXDIM ? h->oltndim : ZOLT_MAXDIM;
        for (int k = 0; k < ndim; ++k)
            if (h->oltdim[k].dimnum == n + 1) {
                result = h->oltdim[k].dimlen > 0 ? static_cast<unsigned>(h->oltdim[k].dimlen) : 0;
                break;
            }
    } else {
        size_t count = n == -1 ? Zoltpixels(h) : Zoltbytes(h);
        result = static_cast<unsigned>(count);
    }
    if (result == 0) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("Zoltdimen: found dimension of length zero; header presumed to be damaged.");
    }
    return result;
}

size_t Zoltpixels(const ZoltHeader *h) {
    if (!Zoltmagicok(h) || h->oltndim < 1 || h->oltndim > ZOLT_MAXDIM) return 0;
    size_t count = 1;
    for (int k = 0; k < h->oltndim; ++k) {
        if (h->oltdim[k].dimlen < 1) return 0;
        count *= static_cast<size_t>(h->oltdim[k].dimlen);
    }
    return count;
}

size_t Zoltbytes(const ZoltHeader *h) {
    size_t pixels = Zoltpixels(h);
    return h && h->oltesize > 0 ? pixels * static_cast<size_t>(h->oltesize) : 0;
}

int *Zoltsiz(const ZoltHeader *h) {
    ZoltDepthGuard depth;
    if (!Zoltchkhd(h, "Zoltsiz:  bad image header")) {
        ZoltErrorCode = ZOLT_EHEADER;
        return nullptr;
    }
    const int n = h->oltndim;
    if (n <= 0) {
        ZoltErrorCode = -1;
        Zoltext("Zoltsiz: number of dimensions not positive.");
        return nullptr;
    }
    if (n > ZOLT_MAXDIM) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("Zoltsiz: too many dimensions.");
        return nullptr;
    }
    auto *result = static_cast<int *>(Zoltalc(sizeof(int) * static_cast<size_t>(n + 1)));
    auto *nums = static_cast<int *>(Zoltalc(sizeof(int) * static_cast<size_t>(n + 1)));
    if (!result || !nums) {
        Zoltcfree(result);
        Zoltcfree(nums);
        Zoltext("Zoltsiz: can't allocate space for array");
        return nullptr;
    }
    for (int k = 0; k < n; ++k) {
        result[k + 1] = h->oltdim[k].dimlen;
        nums[k + 1] = h->oltdim[k].dimnum;
    }
    for (int i = 1; i <= n; ++i)
        for (int j = i + 1; j <= n; ++j)
            if (nums[j] < nums[i]) {
                std::swap(nums[i], nums[j]);
                std::swap(result[i], result[j]);
            }
    Zoltcfree(nums);
    result[0] = n;
    return result;
}

int *Zolt_ao(const ZoltHeader *h) {
    ZoltDepthGuard depth;
    int *a = Zoltsiz(h);
    if (!a) return nullptr;
    const int n = a[0];
    int product = 1;
    for (int k = 1; k <= n; ++k) {
        const int len = a[k];
        a[k] = product * len;
        product = a[k];
    }
    a[0] = 1;
    return a;
}
