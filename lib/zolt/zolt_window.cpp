// Windows and slices: a rectangle (or box) of a 2-D (or 3-D) image copied into
// a new image of the same data type, dropping the ranges one pixel long, and
// the one-index slices of columns, rows or frames built on them. Bytes are
// copied as they lie, row by row, so interleaved channels are not regrouped.
#include "zolt.h"

#include <algorithm>
#include <cstring>

namespace {

// Inclusive range [lo, hi] of one dimension, ordered and checked against its length.
struct Range {
    int lo, hi;
    int length() const { return hi - lo + 1; }
};

bool order(int a, int b, int length, Range *r) {
    r->lo = std::min(a, b);
    r->hi = std::max(a, b);
    return r->lo >= 0 && r->hi < length;
}

// The image's lengths {n, columns, rows, frames}, or false after a reported
// failure; images of another dimension count fail with `wrongDims`.
bool shapeOf(const ZoltHeader *h, int ndim, const char *wrongDims, int lengths[4]) {
    int *siz = Zoltsiz(h);
    if (!siz) return false;
    const int n = siz[0];
    std::copy(siz, siz + n + 1, lengths);
    Zoltcfree(siz);
    if (n != ndim) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltshort(wrongDims);
        return false;
    }
    if (!h->oltptr) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltshort("Zoltexwin: image has no pixel data.");
        return false;
    }
    return true;
}

// Copies the box (all ranges inclusive) of a planar image of `cols` x `rows`
// into a new image of the given shape, packed in storage order.
ZoltHeader *cutBox(const ZoltHeader *h, const int *shape, int cols, int rows, Range f, Range r, Range c) {
    ZoltHeader *w = Zoltcreate(h->oltdt, shape, 11, h->oltesize);
    if (!w) {
        Zoltshort("Zoltexwin: can't make new image!\n");
        return nullptr;
    }
    // A header whose type name and code disagree (as a damaged file may bring)
    // would give a window of another element size: refuse it rather than copy
    // past the end of the new image.
    if (w->dtype != h->dtype || w->oltesize != h->oltesize) {
        Zoltfree(w, 7);
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltshort("Zoltexwin: fields 'oltdt' and 'dtype' disagree; can't make new image!");
        return nullptr;
    }
    const size_t esize = static_cast<size_t>(h->oltesize);
    const size_t run = static_cast<size_t>(c.length()) * esize;
    const auto *in = static_cast<const unsigned char *>(h->oltptr);
    auto *out = static_cast<unsigned char *>(w->oltptr);
    for (int fi = f.lo; fi <= f.hi; ++fi)
        for (int ri = r.lo; ri <= r.hi; ++ri) {
            const size_t start = (static_cast<size_t>(fi) * rows + ri) * cols + c.lo;
            std::memcpy(out, in + start * esize, run);
            out += run;
        }
    return w;
}

}  // namespace

ZoltHeader *Zoltexwin(const ZoltHeader *h, int r1, int c1, int r2, int c2) {
    ZoltDepthGuard depth;
    int len[4] = {0, 0, 0, 0};
    if (!shapeOf(h, 2, "Zoltexwin: Image must be 2-dimensional.", len)) return nullptr;
    Range r, c;
    if (!order(r1, r2, len[2], &r) || !order(c1, c2, len[1], &c)) {
        ZoltErrorCode = ZOLT_EWINDOW;
        return nullptr;
    }
    int shape[3] = {2, c.length(), r.length()};
    if (r.length() == 1) {
        shape[0] = 1;
    } else if (c.length() == 1) {
        shape[0] = 1;
        shape[1] = r.length();
    }
    return cutBox(h, shape, len[1], len[2], Range{0, 0}, r, c);
}

ZoltHeader *Zoltexwin3d(const ZoltHeader *h, int f1, int r1, int c1, int f2, int r2, int c2) {
    ZoltDepthGuard depth;
    int len[4] = {0, 0, 0, 0};
    if (!shapeOf(h, 3, "Zoltexwin: Image must be 3-dimensional.", len)) return nullptr;
    Range f, r, c;
    if (!order(f1, f2, len[3], &f) || !order(r1, r2, len[2], &r) || !order(c1, c2, len[1], &c)) {
        ZoltErrorCode = ZOLT_EWINDOW;
        return nullptr;
    }
    // Keep the ranges longer than one pixel, columns first.
    int shape[4] = {0, 0, 0, 0};
    int longest = 1;
    for (int length : {c.length(), r.length(), f.length()}) {
        if (length > 1) shape[++shape[0]] = length;
        longest = std::max(longest, length);
    }
    if (shape[0] < 2) {
        shape[0] = 1;
        shape[1] = longest;
    }
    return cutBox(h, shape, len[1], len[2], f, r, c);
}

ZoltHeader *Oltslice(ZoltHeader *h, const char *name, int index) {
    ZoltDepthGuard depth;
    enum { Columns, Rows, Frames, Unknown } which = Unknown;
    if (name) {
        if (!std::strcmp(name, "c") || !std::strcmp(name, "col") || !std::strcmp(name, "column"))
            which = Columns;
        else if (!std::strcmp(name, "r") || !std::strcmp(name, "row"))
            which = Rows;
        else if (!std::strcmp(name, "f") || !std::strcmp(name, "frame"))
            which = Frames;
    }
    if (which == Unknown) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("Oltslice: Unknown name of dimension.");
        return nullptr;
    }
    if (!Zoltchkhd(h, "Oltslice: bad image header")) {
        ZoltErrorCode = h ? ZOLT_EHEADER : ZOLT_ENULL;
        return nullptr;
    }
    if (h->oltndim > ZOLT_MAXDIM) {
        ZoltErrorCode = ZOLT_EDIM;
        Zoltext("Oltslice: Cannot handle images of dimension > 3.");
        return nullptr;
    }
    int *siz = Zoltsiz(h);
    if (!siz) return nullptr;
    const int n = siz[0], cols = siz[1];
    const int rows = n >= 2 ? siz[2] : 1, frames = n >= 3 ? siz[3] : 1;
    Zoltcfree(siz);

    if (n == 1) {
        Zoltwarn("Oltslice: Cannot slice one-dimensional image.");
        return h;
    }
    if (n == 2) {
        switch (which) {
        case Columns: return Zoltexwin(h, 0, index, rows - 1, index);
        case Rows: return Zoltexwin(h, index, 0, index, cols - 1);
        default:
            Zoltwarn("Oltslice: 2-D image. Only one frame. Cannot frame-slice");
            return h;
        }
    }
    switch (which) {
    case Frames: return Zoltexwin3d(h, index, 0, 0, index, rows - 1, cols - 1);
    case Rows: return Zoltexwin3d(h, 0, index, 0, frames - 1, index, cols - 1);
    default: return Zoltexwin3d(h, 0, 0, index, frames - 1, rows - 1, index);
    }
}
