// TIFF reader and writer over libtiff (see zolt_tiff.h). libtiff reads from and
// writes to our own file procedures, so a file in memory, a file on disk and a
// safe save share one path; its messages are caught per file and the first
// error goes into the report. Before anything is allocated, the decoded size
// is held against what the file's bytes can hold under its compression.
#include "zolt_tiff.h"

#include "zolt_safefile.h"

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ------------------------------------------------------------ file access

// Where libtiff's bytes come from or go to: memory, a descriptor read with
// pread, or a stream being written.
struct Io {
    const unsigned char *mem = nullptr;
    int fd = -1;
    FILE *out = nullptr;
    uint64_t size = 0;
    uint64_t pos = 0;
};

tmsize_t ioRead(thandle_t h, void *buf, tmsize_t n) {
    Io *io = static_cast<Io *>(h);
    if (n <= 0) return 0;
    if (io->out) {
        // libtiff reads back the directories it wrote, through a second
        // descriptor of the file being written (the stream itself only writes).
        const off_t at = ftello(io->out);
        if (io->fd < 0 || at < 0 || std::fflush(io->out) != 0) return 0;
        io->pos = static_cast<uint64_t>(at);
        io->size = io->pos + static_cast<uint64_t>(n);
    }
    if (io->pos >= io->size) return 0;
    const uint64_t k = std::min<uint64_t>(static_cast<uint64_t>(n), io->size - io->pos);
    if (io->mem) {
        std::memcpy(buf, io->mem + io->pos, static_cast<size_t>(k));
        io->pos += k;
        return static_cast<tmsize_t>(k);
    }
    uint64_t done = 0;
    while (done < k) {
        const ssize_t r = pread(io->fd, static_cast<char *>(buf) + done, static_cast<size_t>(k - done),
                                static_cast<off_t>(io->pos + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += static_cast<uint64_t>(r);
    }
    io->pos += done;
    if (io->out) fseeko(io->out, static_cast<off_t>(io->pos), SEEK_SET);
    return static_cast<tmsize_t>(done);
}

tmsize_t ioWrite(thandle_t h, void *buf, tmsize_t n) {
    Io *io = static_cast<Io *>(h);
    if (!io->out || n <= 0) return 0;
    return static_cast<tmsize_t>(std::fwrite(buf, 1, static_cast<size_t>(n), io->out));
}

toff_t ioSeek(thandle_t h, toff_t off, int whence) {
    Io *io = static_cast<Io *>(h);
    if (io->out) {
        if (fseeko(io->out, static_cast<off_t>(off), whence) != 0) return static_cast<toff_t>(-1);
        return static_cast<toff_t>(ftello(io->out));
    }
    uint64_t base = whence == SEEK_CUR ? io->pos : whence == SEEK_END ? io->size : 0;
    io->pos = base + off;
    return io->pos;
}

int ioClose(thandle_t) { return 0; }  // the caller owns the file

toff_t ioSize(thandle_t h) {
    Io *io = static_cast<Io *>(h);
    if (io->out) {
        const off_t here = ftello(io->out);
        fseeko(io->out, 0, SEEK_END);
        const off_t end = ftello(io->out);
        fseeko(io->out, here, SEEK_SET);
        return static_cast<toff_t>(end);
    }
    return io->size;
}

int ioMap(thandle_t, void **, toff_t *) { return 0; }
void ioUnmap(thandle_t, void *, toff_t) {}

// libtiff's messages for one file: the first error is kept for the report,
// warnings are dropped.
struct Messages {
    std::string first;
};

int onError(TIFF *, void *user, const char *module, const char *fmt, va_list ap) {
    Messages *m = static_cast<Messages *>(user);
    if (m && m->first.empty()) {
        char text[400];
        std::vsnprintf(text, sizeof text, fmt, ap);
        m->first = module && *module ? std::string(module) + ": " + text : std::string(text);
    }
    return 1;  // handled: nothing goes to the standard error stream
}

int onWarning(TIFF *, void *, const char *, const char *, va_list) { return 1; }

// Opens a TIFF over `io` with libtiff's messages caught in `m`.
TIFF *openTiff(const char *name, const char *mode, Io &io, Messages &m, tmsize_t maxAlloc) {
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, onError, &m);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, onWarning, &m);
    if (maxAlloc > 0) TIFFOpenOptionsSetMaxSingleMemAlloc(opts, maxAlloc);
    TIFF *tif = TIFFClientOpenExt(name, mode, &io, ioRead, ioWrite, ioSeek, ioClose, ioSize, ioMap,
                                  ioUnmap, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

// ---------------------------------------------------------------- reports

int fail(int code, const char *call, const char *name, const std::string &what, ZoltTiffInfo *info = nullptr) {
    ZoltErrorCode = code;
    const std::string text = std::string(call) + ": " + (name ? name : "") + ": " + what;
    if (info) std::snprintf(info->message, sizeof info->message, "%s", what.c_str());
    Zoltext(text.c_str());
    return 0;
}

// ------------------------------------------------------------- the reader

// Most bytes one byte of each compression's data can decode to (deflate about
// 1032, LZW's 12-bit codes at most about 2730, PackBits 64), with room to spare.
uint64_t expansion(uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE: return 1;
        case COMPRESSION_PACKBITS: return 64;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE: return 1100;
        case COMPRESSION_LZW: return 2800;
        default: return 0;  // not read
    }
}

// Slack for the few bytes every bound may exceed the data by (tiles larger
// than the picture, header-only files).
constexpr uint64_t kSlack = 64 * 1024;

struct Page {
    uint32_t width = 0, height = 0;
    uint16_t spp = 1, bps = 1, format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE, extra = 0;
    bool tiled = false;
    int channels = 1;  // frames this page gives
};

const char *sampleName(uint16_t format, uint16_t bps) {
    if (format == SAMPLEFORMAT_IEEEFP) return bps == 32 ? "f32" : "f64";
    if (format == SAMPLEFORMAT_INT) return bps == 8 ? "s8" : bps == 16 ? "s16" : "s32";
    return bps == 8 ? "u8" : bps == 16 ? "u16" : "u32";
}

// The image type a sample type becomes; unsigned 32-bit widens to "64flt".
const char *zoltTypeOf(uint16_t format, uint16_t bps) {
    if (format == SAMPLEFORMAT_IEEEFP) return bps == 32 ? "32flt" : "64flt";
    if (format == SAMPLEFORMAT_INT) return bps == 8 ? "8bit" : bps == 16 ? "16bit" : "32bit";
    return bps == 8 ? "u8bit" : bps == 16 ? "u16bit" : "64flt";
}

// Describes the current directory; an empty text when it can be read, else why not.
std::string describePage(TIFF *tif, Page &p) {
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height))
        return "no image width or length";
    if (p.width == 0 || p.height == 0 || p.width > 0x7fffffffu || p.height > 0x7fffffffu)
        return "image size " + std::to_string(p.width) + " x " + std::to_string(p.height) + " is not usable";
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &p.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &p.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &p.format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &p.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &p.compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric))
        p.photometric = p.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    uint16_t nextra = 0;
    uint16_t *kinds = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &nextra, &kinds)) p.extra = nextra;
    p.tiled = TIFFIsTiled(tif) != 0;

    if (p.bps != 8 && p.bps != 16 && p.bps != 32 && p.bps != 64)
        return std::to_string(p.bps) + "-bit samples are not supported";
    if (p.format == SAMPLEFORMAT_VOID) p.format = SAMPLEFORMAT_UINT;
    if (p.format == SAMPLEFORMAT_IEEEFP) {
        if (p.bps != 32 && p.bps != 64) return std::to_string(p.bps) + "-bit floating-point samples are not supported";
    } else if (p.format == SAMPLEFORMAT_UINT || p.format == SAMPLEFORMAT_INT) {
        if (p.bps == 64) return "64-bit integer samples are not supported";
    } else if (p.format == SAMPLEFORMAT_COMPLEXINT || p.format == SAMPLEFORMAT_COMPLEXIEEEFP) {
        return "complex samples are not supported";
    } else {
        return "sample format " + std::to_string(p.format) + " is not supported";
    }
    if (expansion(p.compression) == 0)
        return "compression " + std::to_string(p.compression) +
               " is not supported (only none, LZW, deflate and PackBits)";
    if (p.planar != PLANARCONFIG_CONTIG && p.planar != PLANARCONFIG_SEPARATE)
        return "planar configuration " + std::to_string(p.planar) + " is not supported";
    if (p.spp < 1) return "no samples per pixel";
    const int kept = p.extra < p.spp ? p.spp - p.extra : 1;
    switch (p.photometric) {
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_PALETTE:  // the indexes are the values
            p.channels = kept;
            break;
        case PHOTOMETRIC_RGB:
            if (p.spp < 3) return "an RGB page needs three samples per pixel";
            p.channels = 3;
            break;
        case PHOTOMETRIC_YCBCR: return "YCbCr pages are not supported";
        case PHOTOMETRIC_SEPARATED: return "CMYK pages are not supported";
        default: return "photometric interpretation " + std::to_string(p.photometric) + " is not supported";
    }
    return std::string();
}

// Decodes the current directory's channels into planes of width x height
// samples of `bytes` bytes each; an empty text on success, else why not.
std::string decodePage(TIFF *tif, const Page &p, unsigned char *const *planes, uint64_t scratchLimit) {
    const size_t b = p.bps / 8;
    const size_t w = p.width, h = p.height;
    const bool separate = p.planar == PLANARCONFIG_SEPARATE && p.spp > 1;
    const size_t pixelBytes = separate ? b : b * p.spp;
    const int nplanes = separate ? std::min<int>(p.spp, p.channels) : 1;
    std::vector<unsigned char> buf;

    // Copies a block of rows x cols pixels (pitch `pitch` pixels in buf) to (x0, y0).
    auto place = [&](const unsigned char *src, size_t pitch, size_t x0, size_t y0, size_t cols, size_t rows,
                     int plane) {
        for (size_t r = 0; r < rows; ++r) {
            const unsigned char *line = src + r * pitch * pixelBytes;
            const size_t at = ((y0 + r) * w + x0) * b;
            if (separate) {
                std::memcpy(planes[plane] + at, line, cols * b);
            } else if (p.channels == 1 && p.spp == 1) {
                std::memcpy(planes[0] + at, line, cols * b);
            } else {
                for (int c = 0; c < p.channels; ++c) {
                    unsigned char *dst = planes[c] + at;
                    const unsigned char *s = line + c * b;
                    for (size_t x = 0; x < cols; ++x) std::memcpy(dst + x * b, s + x * pixelBytes, b);
                }
            }
        }
    };

    if (p.tiled) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        const tmsize_t size = TIFFTileSize(tif);
        if (tw == 0 || th == 0 || size <= 0) return "bad tile size";
        if (static_cast<uint64_t>(size) > scratchLimit ||
            static_cast<uint64_t>(tw) * th * pixelBytes > static_cast<uint64_t>(size))
            return "tiles larger than the file can hold";
        buf.resize(static_cast<size_t>(size));
        for (int plane = 0; plane < nplanes; ++plane)
            for (size_t y = 0; y < h; y += th)
                for (size_t x = 0; x < w; x += tw) {
                    const uint32_t tile = TIFFComputeTile(tif, static_cast<uint32_t>(x), static_cast<uint32_t>(y), 0,
                                                          static_cast<uint16_t>(plane));
                    if (TIFFReadEncodedTile(tif, tile, buf.data(), size) < 0)
                        return "tile " + std::to_string(tile) + " cannot be decoded";
                    place(buf.data(), tw, x, y, std::min<size_t>(tw, w - x), std::min<size_t>(th, h - y), plane);
                }
        return std::string();
    }
    uint32_t rps = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
    if (rps == 0 || rps > h) rps = static_cast<uint32_t>(h);
    const tmsize_t size = TIFFStripSize(tif);
    if (size <= 0) return "bad strip size";
    if (static_cast<uint64_t>(size) > scratchLimit) return "strips larger than the file can hold";
    buf.resize(static_cast<size_t>(size));
    const uint32_t perPlane = static_cast<uint32_t>((h + rps - 1) / rps);
    for (int plane = 0; plane < nplanes; ++plane)
        for (uint32_t s = 0; s < perPlane; ++s) {
            const uint32_t strip = static_cast<uint32_t>(plane) * perPlane + s;
            const size_t y = static_cast<size_t>(s) * rps;
            const size_t rows = std::min<size_t>(rps, h - y);
            const tmsize_t got = TIFFReadEncodedStrip(tif, strip, buf.data(), size);
            if (got < 0 || static_cast<uint64_t>(got) < rows * w * pixelBytes)
                return "strip " + std::to_string(strip) + " cannot be decoded";
            place(buf.data(), w, 0, y, w, rows, plane);
        }
    return std::string();
}

// ImageJ's description: the values the reader uses.
struct ImageJ {
    bool present = false;
    long images = 0;
    double spacing = 0;
    std::string unit;
};

ImageJ parseImageJ(TIFF *tif) {
    ImageJ ij;
    const char *text = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) || !text || std::strncmp(text, "ImageJ=", 7) != 0)
        return ij;
    ij.present = true;
    const char *line = text;
    while (*line) {
        const char *end = std::strchr(line, '\n');
        const std::string entry(line, end ? static_cast<size_t>(end - line) : std::strlen(line));
        const size_t eq = entry.find('=');
        if (eq != std::string::npos) {
            const std::string key = entry.substr(0, eq), value = entry.substr(eq + 1);
            if (key == "images") ij.images = std::strtol(value.c_str(), nullptr, 10);
            else if (key == "spacing") ij.spacing = std::strtod(value.c_str(), nullptr);
            else if (key == "unit") ij.unit = value;
        }
        if (!end) break;
        line = end + 1;
    }
    return ij;
}

// The dimension unit for a length unit's name: micrometres in any spelling are "um".
void setUnit(ZoltDimHeader &d, const std::string &unit) {
    std::string u = unit;
    if (u == "micron" || u == "microns" || u == "\\u00B5m" || u == "\xC2\xB5m" || u == "\xB5m" || u == "um")
        u = "um";
    std::memset(d.dimunits, 0, sizeof d.dimunits);
    std::memcpy(d.dimunits, u.data(), std::min(u.size(), sizeof d.dimunits - 1));
}

// Pixel size from the first page's resolution tags or ImageJ's unit and spacing.
void calibrate(TIFF *tif, const ImageJ &ij, ZoltHeader *img) {
    float xres = 0, yres = 0;
    uint16_t unit = RESUNIT_NONE;
    const bool hasX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) && xres > 0;
    const bool hasY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) && yres > 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    std::string name;
    double perUnit = 0;  // length units of `name` in one resolution unit
    if (ij.present && !ij.unit.empty()) {
        name = ij.unit;
        perUnit = 1;
    } else if (unit == RESUNIT_CENTIMETER) {
        name = "um";
        perUnit = 1e4;
    } else if (unit == RESUNIT_INCH) {
        name = "um";
        perUnit = 25400;
    }
    if (name.empty()) return;
    ZoltDimHeader *col = nullptr, *row = nullptr, *frame = nullptr;
    for (int k = 0; k < img->oltndim; ++k) {
        ZoltDimHeader &d = img->oltdim[k];
        (d.dimnum == 1 ? col : d.dimnum == 2 ? row : frame) = &d;
    }
    if (hasX && col) {
        col->dimscale = static_cast<float>(perUnit / xres);
        setUnit(*col, name);
    }
    if (hasY && row) {
        row->dimscale = static_cast<float>(perUnit / yres);
        setUnit(*row, name);
    }
    if (frame && ij.present && ij.spacing > 0 && perUnit == 1) {
        frame->dimscale = static_cast<float>(ij.spacing);
        setUnit(*frame, name);
    }
}

// The frames of an ImageJ file whose images lie one after another behind its
// single directory (the form ImageJ uses beyond 4 GiB): true when the layout
// allows it, with the data's offset.
bool contiguousImages(TIFF *tif, const Page &p, uint64_t pageBytes, long images, uint64_t fileSize,
                      uint64_t *start) {
    if (p.tiled || p.compression != COMPRESSION_NONE || p.spp != 1 || images < 2) return false;
    const uint64_t *offsets = nullptr, *counts = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) || !TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts))
        return false;
    const uint32_t n = TIFFNumberOfStrips(tif);
    if (n == 0 || !offsets || !counts) return false;
    for (uint32_t s = 1; s < n; ++s)
        if (offsets[s] != offsets[s - 1] + counts[s - 1]) return false;
    *start = offsets[0];
    return *start <= fileSize && pageBytes <= (fileSize - *start) / static_cast<uint64_t>(images);
}

ZoltHeader *readTiff(Io &io, const char *name, ZoltTiffInfo *info) {
    ZoltDepthGuard depth;
    const char *call = "ZoltTiffRead";
    if (info) *info = ZoltTiffInfo{};
    if (!ZoltIsTiffData(io.mem, io.mem ? static_cast<size_t>(std::min<uint64_t>(io.size, 8)) : 0) && io.mem) {
        fail(ZOLT_EHEADER, call, name, "not a TIFF file", info);
        return nullptr;
    }
    const uint64_t fileSize = io.size;
    Messages m;
    const uint64_t ceiling = fileSize * 2800 + kSlack;
    TIFF *tif = openTiff(name, "rm", io, m, static_cast<tmsize_t>(std::min<uint64_t>(ceiling, INT64_MAX)));
    if (!tif) {
        fail(ZOLT_EHEADER, call, name, "not a readable TIFF file" + (m.first.empty() ? "" : " (" + m.first + ")"), info);
        return nullptr;
    }
    struct Closer {
        TIFF *t;
        ~Closer() { TIFFClose(t); }
    } closer{tif};

    // Every page described first: they must agree before anything is allocated.
    std::vector<Page> pages;
    uint64_t ratio = 1;
    do {
        Page p;
        const std::string why = describePage(tif, p);
        const std::string which = "page " + std::to_string(pages.size() + 1);
        if (!why.empty()) {
            fail(ZOLT_ETYPE, call, name, which + ": " + why, info);
            return nullptr;
        }
        if (!pages.empty()) {
            const Page &f = pages.front();
            if (p.width != f.width || p.height != f.height) {
                fail(ZOLT_EHEADER, call, name, which + " differs in size from page 1 (" + std::to_string(p.width) +
                                                   " x " + std::to_string(p.height) + " against " +
                                                   std::to_string(f.width) + " x " + std::to_string(f.height) + ")", info);
                return nullptr;
            }
            if (p.bps != f.bps || p.format != f.format || p.channels != f.channels) {
                fail(ZOLT_EHEADER, call, name, which + " differs in sample type or channels from page 1", info);
                return nullptr;
            }
        }
        ratio = std::max(ratio, expansion(p.compression));
        pages.push_back(p);
    } while (TIFFReadDirectory(tif));
    if (!TIFFSetDirectory(tif, 0)) {
        fail(ZOLT_EHEADER, call, name, "the first directory cannot be read again", info);
        return nullptr;
    }
    const Page &first = pages.front();
    const ImageJ ij = parseImageJ(tif);
    const uint64_t planeBytes = static_cast<uint64_t>(first.width) * first.height * (first.bps / 8);
    const uint64_t pageBytes = planeBytes * static_cast<uint64_t>(first.channels);
    uint64_t contiguousStart = 0;
    long nPages = static_cast<long>(pages.size());
    const bool oneDirectory = pages.size() == 1 && ij.present && ij.images > 1 &&
                              contiguousImages(tif, first, pageBytes, ij.images, fileSize, &contiguousStart);
    if (oneDirectory) nPages = ij.images;

    const uint64_t frames = static_cast<uint64_t>(nPages) * static_cast<uint64_t>(first.channels);
    if (frames > 0x7fffffffu || pageBytes == 0 || static_cast<uint64_t>(nPages) > UINT64_MAX / pageBytes ||
        pageBytes * static_cast<uint64_t>(nPages) > fileSize * ratio + kSlack) {
        fail(ZOLT_EHEADER, call, name, "the pages announce more data than the file can hold", info);
        return nullptr;
    }
    const char *type = zoltTypeOf(first.format, first.bps);
    const bool widen = first.format == SAMPLEFORMAT_UINT && first.bps == 32;
    int dims[4] = {2, static_cast<int>(first.width), static_cast<int>(first.height), 1};
    if (frames > 1) {
        dims[0] = 3;
        dims[3] = static_cast<int>(frames);
    }
    ZoltHeader *img = Zoltcreate(type, dims, 11, 0);
    if (!img) {
        fail(ZOLT_ENOMEM, call, name, "no memory for the image", info);
        return nullptr;
    }
    auto *data = static_cast<unsigned char *>(img->oltptr);
    const size_t planeElems = static_cast<size_t>(first.width) * first.height;
    std::vector<uint32_t> wide;  // one page of unsigned 32-bit samples before widening
    if (widen) wide.resize(planeElems * static_cast<size_t>(first.channels));

    for (long k = 0; k < nPages; ++k) {
        std::vector<unsigned char *> planes(static_cast<size_t>(first.channels));
        for (int c = 0; c < first.channels; ++c)
            planes[static_cast<size_t>(c)] =
                widen ? reinterpret_cast<unsigned char *>(wide.data() + static_cast<size_t>(c) * planeElems)
                      : data + (static_cast<size_t>(k) * first.channels + c) * planeBytes;
        std::string why;
        if (oneDirectory) {
            io.pos = contiguousStart + static_cast<uint64_t>(k) * pageBytes;
            if (ioRead(&io, planes[0], static_cast<tmsize_t>(planeBytes)) != static_cast<tmsize_t>(planeBytes))
                why = "the data ends early";
            else if (TIFFIsByteSwapped(tif) && first.bps > 8) {
                const size_t b = first.bps / 8;
                for (size_t i = 0; i < planeElems; ++i) std::reverse(planes[0] + i * b, planes[0] + (i + 1) * b);
            }
        } else {
            if (k > 0 && !TIFFReadDirectory(tif)) why = "the directory cannot be read again";
            if (why.empty())
                why = decodePage(tif, pages[static_cast<size_t>(k)], planes.data(), fileSize * ratio + kSlack);
        }
        if (!why.empty()) {
            if (!m.first.empty()) why += " (" + m.first + ")";
            Zoltfree(img, 7);
            fail(ZOLT_EIO, call, name, "page " + std::to_string(k + 1) + ": " + why, info);
            return nullptr;
        }
        if (widen) {
            double *dst = reinterpret_cast<double *>(data) + static_cast<size_t>(k) * first.channels * planeElems;
            for (size_t i = 0; i < wide.size(); ++i) dst[i] = wide[i];
        }
    }
    TIFFSetDirectory(tif, 0);
    calibrate(tif, ij, img);
    if (info) {
        info->pages = static_cast<int>(nPages);
        info->channels = first.channels;
        std::snprintf(info->sample, sizeof info->sample, "%s", sampleName(first.format, first.bps));
    }
    return img;
}

// ------------------------------------------------------------- the writer

bool sampleOf(uint32_t code, uint16_t *format, uint16_t *bps) {
    switch (code) {
        case ZOLT_U8: *format = SAMPLEFORMAT_UINT; *bps = 8; return true;
        case ZOLT_S8: *format = SAMPLEFORMAT_INT; *bps = 8; return true;
        case ZOLT_U16: *format = SAMPLEFORMAT_UINT; *bps = 16; return true;
        case ZOLT_S16: *format = SAMPLEFORMAT_INT; *bps = 16; return true;
        case ZOLT_S32: *format = SAMPLEFORMAT_INT; *bps = 32; return true;
        case ZOLT_F32: *format = SAMPLEFORMAT_IEEEFP; *bps = 32; return true;
        case ZOLT_F64: *format = SAMPLEFORMAT_IEEEFP; *bps = 64; return true;
        default: return false;
    }
}

const ZoltDimHeader *dimOf(const ZoltHeader *h, int num) {
    for (int k = 0; k < h->oltndim; ++k)
        if (h->oltdim[k].dimnum == num) return &h->oltdim[k];
    return nullptr;
}

std::string unitText(const ZoltDimHeader *d) {
    return d ? std::string(d->dimunits, strnlen(d->dimunits, sizeof d->dimunits)) : std::string();
}

bool calibrated(const ZoltDimHeader *d) {
    if (!d || !(d->dimscale > 0)) return false;
    const std::string u = unitText(d);
    return d->dimscale != 1.0f || (!u.empty() && u != "pixels");
}

}  // namespace

bool ZoltIsTiffData(const void *bytes, size_t n) {
    if (!bytes || n < 4) return false;
    const auto *b = static_cast<const unsigned char *>(bytes);
    if (b[0] == 'I' && b[1] == 'I') return (b[2] == 42 || b[2] == 43) && b[3] == 0;
    if (b[0] == 'M' && b[1] == 'M') return b[2] == 0 && (b[3] == 42 || b[3] == 43);
    return false;
}

namespace {

bool endsWithNoCase(const char *name, const char *end) {
    const size_t n = std::strlen(name), e = std::strlen(end);
    if (n < e) return false;
    for (size_t i = 0; i < e; ++i)
        if (std::tolower(static_cast<unsigned char>(name[n - e + i])) != end[i]) return false;
    return true;
}

}  // namespace

bool ZoltIsTiffName(const char *name) {
    return name && (endsWithNoCase(name, ".tif") || endsWithNoCase(name, ".tiff"));
}

bool ZoltIsPictureName(const char *name) {
    if (!name) return false;
    for (const char *end : {".png", ".jpg", ".jpeg", ".xpm", ".bmp", ".gif", ".ppm", ".pgm", ".pbm", ".webp",
                            ".ico", ".svg", ".xbm", ".tga"})
        if (endsWithNoCase(name, end)) return true;
    return false;
}

ZoltHeader *ZoltTiffReadMemory(const void *data, size_t size, const char *name, ZoltTiffInfo *info) {
    if (!data && size) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("ZoltTiffRead: no data");
        return nullptr;
    }
    Io io;
    io.mem = static_cast<const unsigned char *>(data);
    io.size = size;
    static const unsigned char none[1] = {0};
    if (!io.mem) io.mem = none;
    return readTiff(io, name ? name : "(memory)", info);
}

ZoltHeader *ZoltTiffRead(const char *name, ZoltTiffInfo *info) {
    ZoltDepthGuard depth;
    if (info) *info = ZoltTiffInfo{};
    if (!name) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("ZoltTiffRead: no file name");
        return nullptr;
    }
    Io io;
    io.fd = ::open(name, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (io.fd < 0 || fstat(io.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (io.fd >= 0) ::close(io.fd);
        fail(ZOLT_EOPEN, "ZoltTiffRead", name, "cannot open the file", info);
        return nullptr;
    }
    io.size = static_cast<uint64_t>(st.st_size);
    unsigned char magic[8] = {0};
    const ssize_t got = pread(io.fd, magic, sizeof magic, 0);
    ZoltHeader *img = nullptr;
    if (got < 8 || !ZoltIsTiffData(magic, static_cast<size_t>(got)))
        fail(ZOLT_EHEADER, "ZoltTiffRead", name, "not a TIFF file", info);
    else
        img = readTiff(io, name, info);
    ::close(io.fd);
    return img;
}

int ZoltTiffWrite(const ZoltHeader *h, const char *name) {
    ZoltDepthGuard depth;
    const char *call = "ZoltTiffWrite";
    if (!h || !h->oltptr || !Zoltmagicok(h)) {
        ZoltErrorCode = h ? ZOLT_EHEADER : ZOLT_ENULL;
        Zoltext("ZoltTiffWrite: no valid image to write");
        return 0;
    }
    uint16_t format = 0, bps = 0;
    if (h->dtype == ZOLT_C32 || h->dtype == ZOLT_C64)
        return fail(ZOLT_ETYPE, call, name, "complex images cannot be written as TIFF");
    if (!sampleOf(h->dtype, &format, &bps))
        return fail(ZOLT_ETYPE, call, name,
                    std::string("\"") + h->oltdt + "\" images cannot be written as TIFF "
                    "(u8bit, 8bit, u16bit, 16bit, 32bit, 32flt and 64flt can)");
    const uint32_t cols = Zoltdimen(h, 0);
    const uint32_t rows = h->oltndim >= 2 ? Zoltdimen(h, 1) : 1;
    const uint32_t frames = h->oltndim >= 3 ? Zoltdimen(h, 2) : 1;
    if (cols == 0 || rows == 0 || frames == 0) return fail(ZOLT_EHEADER, call, name, "damaged dimensions");
    const size_t b = bps / 8;
    const uint64_t planeBytes = static_cast<uint64_t>(cols) * rows * b;
    const bool big = planeBytes * frames + 4096ull * frames + (1u << 20) > 0xFFFFFFFFull;

    ZoltSafeFile safe;
    FILE *fp = ZoltOpenSafe(name, "Enter name of TIFF file to write: ", 5, safe);
    if (!fp) return fail(ZOLT_EOPEN, call, name, "cannot open the file for writing");
    if (!safe.file()) return fail(ZOLT_EOPEN, call, name, "a TIFF file cannot be written to a stream");
    Io io;
    io.out = fp;
    io.fd = ::open(("/proc/self/fd/" + std::to_string(fileno(fp))).c_str(), O_RDONLY | O_CLOEXEC);
    struct ReadCloser {
        int fd;
        ~ReadCloser() {
            if (fd >= 0) ::close(fd);
        }
    } readCloser{io.fd};
    Messages m;
    TIFF *tif = openTiff(name, big ? "w8" : "w", io, m, 0);
    if (!tif) return fail(ZOLT_EIO, call, name, "cannot start the TIFF file (" + m.first + ")");

    const ZoltDimHeader *dc = dimOf(h, 1), *dr = dimOf(h, 2), *df = dimOf(h, 3);
    const bool calX = calibrated(dc), calY = calibrated(dr);
    std::string unit = unitText(calX ? dc : dr);
    if (unit == "pixels") unit.clear();
    std::string description;
    if (frames > 1 || calX || calY) {
        description = "ImageJ=1.11a\n";
        if (frames > 1) description += "images=" + std::to_string(frames) + "\nslices=" + std::to_string(frames) + "\n";
        if (!unit.empty()) description += "unit=" + std::string(unit == "um" ? "micron" : unit) + "\n";
        if (frames > 1 && calibrated(df)) {
            char spacing[40];
            std::snprintf(spacing, sizeof spacing, "spacing=%.9g\n", static_cast<double>(df->dimscale));
            description += spacing;
        }
        if (frames > 1) description += "loop=false\n";
    }
    const uint32_t rps = std::max<uint32_t>(1, static_cast<uint32_t>(std::min<uint64_t>(rows, (1u << 20) / (cols * b) + 1)));
    bool ok = true;
    // Every directory first, their strip tables left for later, then the
    // pages' data one after another: a stack's samples lie in one block, as
    // ImageJ (and readers that follow it) expect of an ImageJ stack.
    for (uint32_t f = 0; f < frames && ok; ++f) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, cols);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, rows);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, format);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rps);
        if (frames > 1) {
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(std::min<uint32_t>(f, 65535)),
                         static_cast<uint16_t>(std::min<uint32_t>(frames, 65535)));
        }
        if (f == 0 && !description.empty()) TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, description.c_str());
        if (calX || calY) {
            // ImageJ's way: pixels per unit, the unit in the description.
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, calX ? 1.0f / dc->dimscale : 1.0f);
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, calY ? 1.0f / dr->dimscale : 1.0f);
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
        }
        ok = TIFFDeferStrileArrayWriting(tif) && TIFFWriteCheck(tif, 0, call) && TIFFWriteDirectory(tif);
    }
    const auto *data = static_cast<const unsigned char *>(h->oltptr);
    for (uint32_t f = 0; f < frames && ok; ++f) {
        ok = TIFFSetDirectory(tif, static_cast<tdir_t>(f)) != 0;
        const unsigned char *plane = data + f * planeBytes;
        for (uint32_t y = 0, s = 0; y < rows && ok; y += rps, ++s) {
            const uint32_t n = std::min(rps, rows - y);
            ok = TIFFWriteEncodedStrip(tif, s, const_cast<unsigned char *>(plane + static_cast<uint64_t>(y) * cols * b),
                                       static_cast<tmsize_t>(static_cast<uint64_t>(n) * cols * b)) >= 0;
        }
        ok = ok && TIFFForceStrileArrayWriting(tif) != 0;
    }
    TIFFClose(tif);
    ok = ok && m.first.empty();
    if (!ok || !safe.commit()) {
        safe.abandon();
        return fail(ZOLT_EIO, call, name, "writing failed" + (m.first.empty() ? "" : " (" + m.first + ")"));
    }
    return -1;
}

void ZoltCopyCalibration(const ZoltHeader *src, ZoltHeader *dst) {
    if (!src || !dst) return;
    for (int k = 0; k < dst->oltndim && k < ZOLT_MAXDIM; ++k) {
        ZoltDimHeader &d = dst->oltdim[k];
        for (int j = 0; j < src->oltndim && j < ZOLT_MAXDIM; ++j) {
            const ZoltDimHeader &s = src->oltdim[j];
            if (s.dimnum != d.dimnum) continue;
            std::memcpy(d.dimdir, s.dimdir, sizeof d.dimdir);
            std::memcpy(d.dimunits, s.dimunits, sizeof d.dimunits);
            d.dimscale = s.dimscale;
            d.dimoffset = s.dimoffset;
        }
    }
}

ZoltHeader *ZoltReadImage(const char *name, ZoltTiffInfo *info, bool *isTiff) {
    if (isTiff) *isTiff = false;
    if (name) {
        unsigned char magic[4] = {0};
        size_t got = 0;
        if (FILE *fp = std::fopen(name, "rb")) {
            got = std::fread(magic, 1, sizeof magic, fp);
            std::fclose(fp);
        }
        if (ZoltIsTiffData(magic, got)) {
            if (isTiff) *isTiff = true;
            return ZoltTiffRead(name, info);
        }
    }
    return Zoltpin(name);
}

int ZoltWriteImage(ZoltHeader *h, const char *name) {
    if (name && ZoltIsTiffName(name)) return ZoltTiffWrite(h, name);
    if (name && ZoltIsPictureName(name)) {
        ZoltDepthGuard depth;
        return fail(ZOLT_EFILENAME, "ZoltWriteImage", name,
                    "pictures are not written here; name the file .tif, .tiff or .zol");
    }
    return Zoltpot(h, name);
}
