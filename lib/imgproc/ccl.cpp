// Connected-component labelling: two raster passes with a union-find table of
// provisional labels (each class represented by its smallest label), one-pixel
// hole filling, optional area-based erasing and an areas text file.
// Grey 2-D images, or 3-frame colour images reduced to their RGB magnitude.
#include "ccl.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// The nine single-channel codes the 2-D pixel access calls read.
bool plainType(uint32_t code) {
    switch (code) {
    case ZOLT_S8: case ZOLT_U8: case ZOLT_S16: case ZOLT_U16: case ZOLT_S32:
    case ZOLT_F32: case ZOLT_F64: case ZOLT_C32: case ZOLT_C64:
        return true;
    default:
        return false;
    }
}

// Value of frame k, element i of a planar image of one of the fast types.
inline float planeValue(const ZoltHeader *h, size_t i) {
    switch (h->dtype) {
    case ZOLT_F32: return static_cast<const float *>(h->oltptr)[i];
    case ZOLT_S32: return static_cast<float>(static_cast<const int32_t *>(h->oltptr)[i]);
    default: return static_cast<const unsigned char *>(h->oltptr)[i];
    }
}

bool fastType(uint32_t code) { return code == ZOLT_F32 || code == ZOLT_S32 || code == ZOLT_U8; }

// Fills `grey` (rows x cols) from the input: a 2-D image by value, a colour
// image as sqrt((R^2 + G^2 + B^2) / 3) of its frames 0, 1 and 2.
void fillGrey(const ZoltHeader *in, int rows, int cols, float *grey) {
    const size_t n = static_cast<size_t>(rows) * cols;
    const bool fast = fastType(in->dtype) && in->oltptr;
    if (in->oltndim == 2) {
        if (fast) {
            for (size_t i = 0; i < n; ++i) grey[i] = planeValue(in, i);
        } else {
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c)
                    grey[static_cast<size_t>(r) * cols + c] =
                        static_cast<float>(Zoltfgp(in, r, c));
        }
        return;
    }
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const size_t i = static_cast<size_t>(r) * cols + c;
            double rgb[3];
            for (int k = 0; k < 3; ++k)
                rgb[k] = fast ? planeValue(in, i + k * n) : Zoltfgp3d(in, k, r, c);
            grey[i] = static_cast<float>(
                std::sqrt((rgb[0] * rgb[0] + rgb[1] * rgb[1] + rgb[2] * rgb[2]) / 3.0));
        }
    }
}

// Root of label x, halving the path on the way. Parents never exceed their
// children, so the root of a class is its smallest label.
inline int findRoot(int32_t *parent, int x) {
    while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
    }
    return x;
}

// Joins the classes of roots a and b; returns the smaller root.
inline int joinRoots(int32_t *parent, int a, int b) {
    if (a < b) {
        parent[b] = a;
        return a;
    }
    parent[a] = b;
    return b;
}

struct Window {
    float thresh, minval, maxval;
    // True when neighbour value w joins a pixel of value v.
    bool joins(float v, float w) const { return std::fabs(v - w) <= thresh && w >= minval; }
};

// First pass over rows 1.. and columns 1..: provisional labels and their
// equivalences. Returns the number of labels created, or -1 when the table
// is full (then `count` holds the labels created so far).
int firstPass(const float *grey, int32_t *lab, int rows, int cols, const Window &win,
              int32_t *parent, int &count) {
    bool announced = false;
    count = 0;
    parent[0] = 0;
    for (int r = 1; r < rows; ++r) {
        const float *g = grey + static_cast<size_t>(r) * cols;
        const float *gu = g - cols;
        int32_t *l = lab + static_cast<size_t>(r) * cols;
        const int32_t *lu = l - cols;
        const bool upInside = r >= 2;
        for (int c = 1; c < cols; ++c) {
            const float v = g[c];
            if (v < win.minval || v > win.maxval) {
                l[c] = 0;
                continue;
            }
            if (!announced && (upInside || c >= 2)) {
                std::printf("ccl4_3: input image is %d dimensions\n", 2);
                std::fflush(stdout);
                announced = true;
            }
            int root = -1;
            if (upInside && lu[c] != -1 && win.joins(v, gu[c])) root = findRoot(parent, lu[c]);
            if (c >= 2) {
                if (l[c - 1] != -1 && win.joins(v, g[c - 1])) {
                    const int o = findRoot(parent, l[c - 1]);
                    root = (root < 0 || root == o) ? o : joinRoots(parent, root, o);
                }
                if (upInside && lu[c - 1] != -1 && win.joins(v, gu[c - 1])) {
                    const int o = findRoot(parent, lu[c - 1]);
                    root = (root < 0 || root == o) ? o : joinRoots(parent, root, o);
                }
            }
            if (root < 0) {
                if (count >= CCL_MAXLABELS) {
                    std::printf("need more labels than we have\n");
                    return -1;
                }
                root = ++count;
                parent[root] = root;
            }
            l[c] = root;
        }
    }
    return count;
}

// Second pass and hole filling. Every provisional label becomes the smallest
// label of its class; then a background pixel (not in the outermost rows or
// columns) whose four neighbours carry one and the same region label takes it.
void resolve(int32_t *lab, int rows, int cols, int32_t *parent, int count) {
    for (int k = 1; k <= count; ++k) parent[k] = parent[parent[k]];  // parents come first
    for (int r = 1; r < rows; ++r) {
        int32_t *l = lab + static_cast<size_t>(r) * cols;
        for (int c = 1; c < cols; ++c)
            if (l[c] > 0) l[c] = parent[l[c]];
    }
    for (int r = 1; r + 1 < rows; ++r) {
        int32_t *l = lab + static_cast<size_t>(r) * cols;
        const int32_t *lu = l - cols, *ld = l + cols;
        for (int c = 1; c + 1 < cols; ++c) {
            const int32_t x = lu[c];
            if (l[c] == 0 && x > 0 && ld[c] == x && l[c - 1] == x && l[c + 1] == x) l[c] = x;
        }
    }
}

// Region areas (indexed by label 0..count), the optional areas file and the
// erasing of regions by size. Returns false when the file cannot be created.
bool eraseByArea(int32_t *lab, int rows, int cols, int count, int eraseSmall, int eraseLarge,
                 const char *areasfile, int32_t *area) {
    for (int r = 1; r < rows; ++r) {
        const int32_t *l = lab + static_cast<size_t>(r) * cols;
        for (int c = 1; c < cols; ++c)
            if (l[c] > 0) ++area[l[c]];
    }
    if (areasfile && areasfile[0]) {
        FILE *fp = std::fopen(areasfile, "wb");
        if (!fp) {
            std::printf("file name %s is invalid for areas file\n", areasfile);
            return false;
        }
        for (int k = 0; k <= count; ++k) std::fprintf(fp, "%d %d\n", k, area[k]);
        std::fclose(fp);
    }
    if (eraseSmall > 0) std::printf("calling erasesmalregions %d\n", eraseSmall);
    if (eraseSmall > 0 || eraseLarge > 0) {
        for (int r = 1; r < rows; ++r) {
            int32_t *l = lab + static_cast<size_t>(r) * cols;
            for (int c = 1; c < cols; ++c) {
                const int32_t a = area[l[c]];
                if ((eraseSmall > 0 && a < eraseSmall) || (eraseLarge > 0 && a > eraseLarge))
                    l[c] = 0;
            }
        }
    }
    if (eraseSmall > 0) std::printf("return from  erasesmalregions\n");
    return true;
}

// Writes the labels into the caller's output image.
void writeOutput(const ZoltHeader *labels, ZoltHeader *out, int rows, int cols) {
    const size_t n = static_cast<size_t>(rows) * cols;
    const auto *lab = static_cast<const int32_t *>(labels->oltptr);
    if (out->dtype == ZOLT_S32) {
        const int frames = out->oltndim == 3 ? static_cast<int>(Zoltdimen(out, 2)) : 1;
        for (int k = 0; k < frames && k < 3; ++k)
            std::memcpy(static_cast<int32_t *>(out->oltptr) + k * n, lab, n * sizeof(int32_t));
        return;
    }
    std::printf("cclC4_3:converting output image from %s to %s\n", labels->oltdt, out->oltdt);
    if (out->dtype == ZOLT_F32) {
        auto *o = static_cast<float *>(out->oltptr);
        for (size_t i = 0; i < n; ++i) o[i] = static_cast<float>(lab[i]);
    } else {
        Zoltconvert(labels, out);
    }
}

// Rows and columns of an image the labelling can read, or false.
bool readable(const ZoltHeader *in, int &rows, int &cols) {
    if (!in || !Zoltmagicok(in) || !in->oltptr || in->oltndim < 2) return false;
    cols = static_cast<int>(Zoltdimen(in, 0));
    rows = static_cast<int>(Zoltdimen(in, 1));
    if (cols <= 0 || rows <= 0) return false;
    if (in->oltndim == 2) return plainType(in->dtype);
    return Zoltdimen(in, 2) >= 3 && in->dtype != ZOLT_STRUCT;
}

}  // namespace

int cclC4_2(const ZoltHeader *input, float thresh, float minval, float maxval, int EraseSmall,
            int EraseLarge, int &numlabels, const char *areasfile, ZoltHeader *output) {
    ZoltDepthGuard depth;
    int rows = 0, cols = 0;
    if (!readable(input, rows, cols)) {
        ZoltErrorCode = input ? ZOLT_EHEADER : ZOLT_ENULL;
        Zoltext("cclC4_2: input must be a readable 2-D image or a colour image of 3 frames");
        return CCL_BADIMAGE;
    }
    if (!output || !Zoltmagicok(output) || !output->oltptr || output->oltndim < 2 ||
        static_cast<int>(Zoltdimen(output, 0)) != cols ||
        static_cast<int>(Zoltdimen(output, 1)) != rows) {
        ZoltErrorCode = output ? ZOLT_EDIM : ZOLT_ENULL;
        Zoltext("cclC4_2: output image must have the input's columns and rows");
        return CCL_BADIMAGE;
    }

    const int dims[] = {2, cols, rows};
    ZoltHeader *greyImg = nullptr;
    const float *grey;
    if (input->oltndim == 2 && input->dtype == ZOLT_F32) {
        grey = static_cast<const float *>(input->oltptr);  // read in place
    } else {
        greyImg = Zoltcreate("float", dims, 11, 0);
        if (!greyImg) return CCL_BADIMAGE;
        fillGrey(input, rows, cols, static_cast<float *>(greyImg->oltptr));
        grey = static_cast<const float *>(greyImg->oltptr);
    }
    ZoltHeader *labels = Zoltcreate("32bit", dims, 11, 0);
    auto *parent = static_cast<int32_t *>(Zoltalc((CCL_MAXLABELS + 1) * sizeof(int32_t)));
    auto release = [&]() {
        Zoltcfree(parent);
        if (labels) Zoltfree(labels, 7);
        if (greyImg) Zoltfree(greyImg, 7);
    };
    if (!labels || !parent) {
        release();
        return CCL_BADIMAGE;
    }

    auto *lab = static_cast<int32_t *>(labels->oltptr);
    for (int c = 0; c < cols; ++c) lab[c] = -1;
    for (int r = 1; r < rows; ++r) lab[static_cast<size_t>(r) * cols] = -1;
    lab[0] = 0;

    const Window win{thresh, minval, maxval};
    int count = 0;
    if (firstPass(grey, lab, rows, cols, win, parent, count) < 0) {
        numlabels = count;
        release();
        return CCL_TOOMANY;
    }
    resolve(lab, rows, cols, parent, count);
    numlabels = count;

    if (EraseSmall != 0 || EraseLarge != 0) {
        auto *area = static_cast<int32_t *>(Zoltalc((static_cast<size_t>(count) + 1) * sizeof(int32_t)));
        if (!area) {
            release();
            return CCL_BADIMAGE;
        }
        const bool ok = eraseByArea(lab, rows, cols, count, EraseSmall, EraseLarge, areasfile, area);
        Zoltcfree(area);
        if (!ok) {
            release();
            return CCL_AREASFILE;
        }
    }
    writeOutput(labels, output, rows, cols);
    release();
    return CCL_OK;
}
