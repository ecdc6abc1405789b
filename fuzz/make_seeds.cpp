// Makes the seed corpora of the fuzz harnesses in the folder given:
//   reader/    ZOLT files of every data type, 1 to 3 dimensions, raw and
//              compressed, with and without a tail, in both byte orders;
//   names/     file names with variables, braces, the home shorthand, escapes;
//   boundary/  boundary files, whole, short, damaged;
//   tiff/      TIFF files of every sample type read: strips and tiles, LZW,
//              deflate and PackBits, grey stacks, RGB interleaved and planar,
//              both byte orders, BigTIFF, and ImageJ stacks of our own writer.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <tiffio.h>

#include "zolt.h"
#include "zolt_tiff.h"

namespace {

bool save(const std::string &path, const void *data, size_t n) {
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    const bool ok = std::fwrite(data, 1, n, fp) == n;
    return std::fclose(fp) == 0 && ok;
}

bool save(const std::string &path, const std::string &text) { return save(path, text.data(), text.size()); }

void swapAt(std::vector<unsigned char> &b, size_t at, size_t n) {
    if (at + n <= b.size()) std::reverse(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

// The image in the byte order of a big-endian machine: elements (each half
// of a complex one) swapped before writing, header numbers after.
void toForeignData(ZoltHeader *h) {
    const bool complex = h->dtype == ZOLT_C32 || h->dtype == ZOLT_C64;
    const size_t part = complex ? h->oltesize / 2 : h->oltesize;
    auto *p = static_cast<unsigned char *>(h->oltptr);
    for (size_t at = 0; at + part <= Zoltbytes(h); at += part) std::reverse(p + at, p + at + part);
}

void toForeignHeader(std::vector<unsigned char> &b, int ndim) {
    for (size_t at : {4, 8, 12, 16, 20, 204, 208, 228, 232, 236}) swapAt(b, at, 4);
    b[148] = 1;
    for (int k = 0; k < ndim; ++k) {
        swapAt(b, 256 + 64 * k, 4);
        swapAt(b, 260 + 64 * k, 4);
    }
}

// One ZOLT file as bytes; empty when the image cannot be made.
std::vector<unsigned char> zoltFile(const ZoltTypeEntry &type, std::vector<int> lengths, bool compressed,
                                    bool foreign, bool tail) {
    std::vector<int> dims{static_cast<int>(lengths.size())};
    dims.insert(dims.end(), lengths.begin(), lengths.end());
    ZoltHeader *h = Zoltcreate(type.name, dims.data(), 11, type.code == ZOLT_STRUCT ? 6 : 0);
    if (!h) return {};
    auto *p = static_cast<unsigned char *>(h->oltptr);
    for (size_t i = 0; i < Zoltbytes(h); ++i) p[i] = static_cast<unsigned char>(i * 37 + type.code);
    h->oltcomp = compressed ? 1 : 0;
    if (tail) {
        h->olttaillen = 40;
        h->olttail = static_cast<unsigned char *>(Zoltalc(40));
        std::memcpy(h->olttail, "a tail of the application's own form", 36);
    }
    if (foreign) toForeignData(h);
    char *buf = nullptr;
    size_t len = 0;
    std::vector<unsigned char> bytes;
    if (FILE *fp = open_memstream(&buf, &len)) {
        const bool ok = ZoltWrImg(h, fp, tail ? 1 : 0) == -1;
        std::fclose(fp);
        if (ok) bytes.assign(buf, buf + len);
        std::free(buf);
    }
    Zoltfree(h, 7);
    if (foreign && !bytes.empty()) toForeignHeader(bytes, static_cast<int>(lengths.size()));
    return bytes;
}

int makeReaderSeeds(const std::string &dir) {
    int rows = 0, made = 0;
    const ZoltTypeEntry *table = ZoltTypeTable(&rows);
    for (int r = 0; r < rows; ++r) {
        const ZoltTypeEntry &type = table[r];
        if (type.code == 0) continue;  // an alias
        const int channels = (type.code & 0x20) ? 4 : 3;
        const std::vector<std::vector<int>> shapes = {{7}, {5, 3}, {4, 3, channels}};
        for (const auto &shape : shapes)
            for (bool compressed : {false, true})
                for (bool foreign : {false, true})
                    for (bool tail : {false, true}) {
                        if (tail && (foreign || shape.size() != 2)) continue;
                        const std::vector<unsigned char> b = zoltFile(type, shape, compressed, foreign, tail);
                        if (b.empty()) continue;
                        const std::string name = std::string(type.name) + "_" + std::to_string(shape.size()) +
                                                 "d_" + (compressed ? "zlib" : "raw") + "_" +
                                                 (foreign ? "be" : "le") + (tail ? "_tail" : "") + ".zol";
                        if (save(dir + "/" + name, b.data(), b.size())) ++made;
                    }
    }
    return made;
}

int makeTextSeeds(const std::string &dir, const std::vector<std::string> &texts) {
    int made = 0;
    for (size_t i = 0; i < texts.size(); ++i)
        if (save(dir + "/seed" + std::to_string(i), texts[i])) ++made;
    return made;
}

// One TIFF through libtiff: `pages` pages of 20 x 18 pixels of `spp` samples.
bool tiffSeed(const std::string &path, const char *mode, uint16_t bps, uint16_t format, uint16_t spp,
              uint16_t planar, uint16_t compression, bool tiled, int pages) {
    TIFF *tif = TIFFOpen(path.c_str(), mode);
    if (!tif) return false;
    const uint32_t w = 20, h = 18;
    bool ok = true;
    for (int page = 0; page < pages && ok; ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps);
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, format);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, planar);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        if (spp == 4) {
            const uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &alpha);
        }
        TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
        if (compression != COMPRESSION_NONE && compression != COMPRESSION_PACKBITS)
            TIFFSetField(tif, TIFFTAG_PREDICTOR, format == SAMPLEFORMAT_IEEEFP ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
        if (tiled) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 5);
        }
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 2000.0f);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 4000.0f);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        const tmsize_t size = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
        const uint32_t blocks = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        std::vector<unsigned char> block(static_cast<size_t>(size));
        for (uint32_t k = 0; k < blocks && ok; ++k) {
            for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>((i * 7 + k * 13 + page) & 0x3f);
            ok = (tiled ? TIFFWriteEncodedTile(tif, k, block.data(), size) : TIFFWriteEncodedStrip(tif, k, block.data(), size)) >= 0;
        }
        ok = ok && TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return ok;
}

int makeTiffSeeds(const std::string &dir) {
    struct Sample { uint16_t bps, format; };
    const Sample samples[] = {{8, SAMPLEFORMAT_UINT}, {8, SAMPLEFORMAT_INT}, {16, SAMPLEFORMAT_UINT},
                              {16, SAMPLEFORMAT_INT}, {32, SAMPLEFORMAT_UINT}, {32, SAMPLEFORMAT_INT},
                              {32, SAMPLEFORMAT_IEEEFP}, {64, SAMPLEFORMAT_IEEEFP}};
    struct Layout { const char *name, *mode; uint16_t spp, planar, compression; bool tiled; int pages; };
    const Layout layouts[] = {
        {"grey", "w", 1, PLANARCONFIG_CONTIG, COMPRESSION_NONE, false, 1},
        {"stack_lzw", "w", 1, PLANARCONFIG_CONTIG, COMPRESSION_LZW, false, 3},
        {"rgb_deflate_be", "wb", 3, PLANARCONFIG_CONTIG, COMPRESSION_ADOBE_DEFLATE, false, 1},
        {"rgba_planar_packbits", "w", 4, PLANARCONFIG_SEPARATE, COMPRESSION_PACKBITS, false, 2},
        {"tiles_deflate", "w", 1, PLANARCONFIG_CONTIG, COMPRESSION_ADOBE_DEFLATE, true, 2},
        {"big_tiles_be", "w8b", 1, PLANARCONFIG_CONTIG, COMPRESSION_NONE, true, 1},
    };
    TIFFSetWarningHandler(nullptr);
    int made = 0;
    for (size_t s = 0; s < sizeof samples / sizeof samples[0]; ++s)
        for (size_t l = 0; l < sizeof layouts / sizeof layouts[0]; ++l) {
            if ((s + l) % 2) continue;  // half the pairs keep the corpus small
            const Layout &L = layouts[l];
            const std::string name = dir + "/" + L.name + "_" + std::to_string(samples[s].bps) + "_" +
                                     std::to_string(samples[s].format) + ".tif";
            if (tiffSeed(name, L.mode, samples[s].bps, samples[s].format, L.spp, L.planar, L.compression, L.tiled,
                         L.pages))
                ++made;
        }
    // ImageJ stacks with calibration, from our own writer.
    for (const char *type : {"u16bit", "32flt"}) {
        const int dims[] = {3, 9, 7, 4};
        ZoltHeader *h = Zoltcreate(type, dims, 11, 0);
        if (!h) continue;
        auto *p = static_cast<unsigned char *>(h->oltptr);
        for (size_t i = 0; i < Zoltbytes(h); ++i) p[i] = static_cast<unsigned char>(i * 5);
        for (int k = 0; k < 3; ++k) {
            h->oltdim[k].dimscale = 0.5f * (k + 1);
            std::strcpy(h->oltdim[k].dimunits, "um");
        }
        if (ZoltTiffWrite(h, (dir + "/imagej_" + type + ".tif").c_str()) == -1) ++made;
        Zoltfree(h, 7);
    }
    return made;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    ZoltErrorMode = 1;
    const std::string root = argv[1];
    for (const char *sub : {"", "/reader", "/names", "/boundary", "/tiff"}) mkdir((root + sub).c_str(), 0777);

    const int zolt = makeReaderSeeds(root + "/reader");
    const int names = makeTextSeeds(root + "/names", {
        "/data/images/plain.zol", "$HOME/images/a.zol", "${HOME}/images/a.zol", "$D/x${D}y",
        "${a.b}/z", "${HOME", "$NOTSET/x", "~zolt/images", "~/x", "~user.name/x", "-",
        "with\\ blank\\\\name", "  leading\tand trailing  ", "$EMPTY$EMPTY", "$WIDE/$WIDE",
        std::string(300, 'n')});
    const int boundary = makeTextSeeds(root + "/boundary", {
        "xx3\n0 0\n5 0\n5 5\n", "ab1\n2.5 7.25\n", "##4\n1 1\n2 2\n", "xx2\n-3 -4 trailing words\n10 12\n",
        "xx-1\n0 0\n1 1\n2 2\n", "xx5\n1e3 2e3\nnan 1\n3 inf\n4 4\n", "xx2\n0 0\n1 1", "", "xx"});
    const int tiff = makeTiffSeeds(root + "/tiff");
    std::printf("seeds: %d ZOLT files, %d names, %d boundary files, %d TIFF files\n", zolt, names, boundary, tiff);
    return zolt > 0 && names > 0 && boundary > 0 && tiff > 0 ? 0 : 1;
}
