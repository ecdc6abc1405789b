// Makes the seed corpora of the fuzz harnesses in the folder given:
//   reader/    ZOLT files of every data type, 1 to 3 dimensions, raw and
//              compressed, with and without a tail, in both byte orders;
//   names/     file names with variables, braces, the home shorthand, escapes;
//   boundary/  boundary files, whole, short, damaged.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zolt.h"

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

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    ZoltErrorMode = 1;
    const std::string root = argv[1];
    for (const char *sub : {"", "/reader", "/names", "/boundary"}) mkdir((root + sub).c_str(), 0777);

    const int zolt = makeReaderSeeds(root + "/reader");
    const int names = makeTextSeeds(root + "/names", {
        "/data/images/plain.zol", "$HOME/images/a.zol", "${HOME}/images/a.zol", "$D/x${D}y",
        "${a.b}/z", "${HOME", "$NOTSET/x", "~zolt/images", "~/x", "~user.name/x", "-",
        "with\\ blank\\\\name", "  leading\tand trailing  ", "$EMPTY$EMPTY", "$WIDE/$WIDE",
        std::string(300, 'n')});
    const int boundary = makeTextSeeds(root + "/boundary", {
        "xx3\n0 0\n5 0\n5 5\n", "ab1\n2.5 7.25\n", "##4\n1 1\n2 2\n", "xx2\n-3 -4 trailing words\n10 12\n",
        "xx-1\n0 0\n1 1\n2 2\n", "xx5\n1e3 2e3\nnan 1\n3 inf\n4 4\n", "xx2\n0 0\n1 1", "", "xx"});
    std::printf("seeds: %d ZOLT files, %d names, %d boundary files\n", zolt, names, boundary);
    return zolt > 0 && names > 0 && boundary > 0 ? 0 : 1;
}
