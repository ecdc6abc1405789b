// The viewers' display pipeline: the 8-bit planes of a picture through
// Zoltvidscale, the drawing of those planes and of the working copy into rows
// of 0xffRRGGBB words, the working copy's linear rescale and the zoom factor.
// Every loop runs over raw buffers in storage order and stays inside both the
// image and the picture.
#include "display.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include "complexconv.h"
#include "cpufeatures.h"
#include "flimage.h"
#include "stats.h"
#include "vidscale.h"
#include "bands.h"
#include "zolt_largepages.h"

namespace {

constexpr uint32_t kOpaque = 0xff000000u;

// Working copies smaller than this are rescaled in the calling thread alone.
constexpr size_t kParallelValues = size_t{1} << 18;

inline uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return kOpaque | (r << 16) | (g << 8) | b; }

// The low 8 bits of a working value truncated toward zero (0 for NaN). Floats
// of magnitude 2^31 and more are multiples of 256, so their low bits are 0.
inline uint32_t byteOf(float v) {
    return std::fabs(v) < 2147483648.0f ? static_cast<uint32_t>(static_cast<int32_t>(v)) & 255u : 0u;
}

struct Shape {
    int cols = 0, rows = 0, frames = 0;
    size_t plane() const { return static_cast<size_t>(cols) * static_cast<size_t>(rows); }
};

// Shape of an image with pixel data of the given type code; false otherwise.
bool shapeOf(const ZoltHeader *h, uint32_t code, Shape *s) {
    if (!h || !Zoltmagicok(h) || h->dtype != code || !h->oltptr) return false;
    return ZoltQuietShape(h, &s->cols, &s->rows, &s->frames);
}

// A 2-D header of the type code of `like` over someone else's pixels: a frame
// of a 3-D image or a 1-D image seen as one row. Release with dropView.
ZoltHeader *viewOf(const ZoltHeader *like, void *pixels, int cols, int rows) {
    const int dims[3] = {2, cols, rows};
    const ZoltTypeEntry *type = Zoltfindcode(like->dtype);
    ZoltHeader *v = type ? Zoltcreate(type->name, dims, 9, like->oltesize) : nullptr;
    if (v) v->oltptr = pixels;
    return v;
}

void dropView(ZoltHeader *v) {
    if (!v) return;
    v->oltptr = nullptr;
    Zoltfree(v, 7);
}

// The real values of a 2-D complex image by complex mode, as a new float image.
ZoltHeader *complexValues(const ZoltHeader *img, int mode) {
    const int dims[3] = {2, static_cast<int>(Zoltdimen(img, 0)), static_cast<int>(Zoltdimen(img, 1))};
    ZoltHeader *f = Zoltcreate("float", dims, 11, 0);
    if (!f) return nullptr;
    int status;
    switch (mode) {
    case 1: status = Zoltc2phase(img, f); break;
    case 2: status = Zoltc2real(img, f); break;
    case 3: status = Zoltc2imag(img, f); break;
    default: status = Zoltc2mag(img, f); break;
    }
    (void)status;  // a refused conversion leaves zeros: a black picture
    return f;
}

// Scales `in` into a new "u8bit" image of the given lengths (zeros when the
// scale is refused or the image flat).
ZoltHeader *scaledBytes(const ZoltHeader *in, const int *dims) {
    ZoltHeader *out = Zoltcreate("u8bit", dims, 11, 0);
    if (!out) return nullptr;
    ZoltPreferLargePages(out->oltptr, Zoltbytes(out));
    float lo = 0.0f, hi = 0.0f;
    Zoltvidscale(in, out, &lo, &hi, 0);
    return out;
}

// Runs fn(r, row words) for every row both the image and the picture have;
// the rows of a large picture are shared among the cores (the row words are
// fetched beforehand, in the calling thread).
template <typename Fn>
void eachRow(int rows, const ZoltPictureRows &pic, Fn fn) {
    const int n = std::min(rows, pic.height);
    if (n <= 0) return;
    std::vector<uint32_t *> dst(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) dst[static_cast<size_t>(r)] = pic.row(r);
    const size_t perRow = std::max<size_t>(1, static_cast<size_t>(pic.width));
    ZoltSplitWork(static_cast<size_t>(n), kParallelValues / perRow + 1, [&](size_t begin, size_t end) {
        for (size_t r = begin; r < end; ++r)
            if (dst[r]) fn(static_cast<int>(r), dst[r]);
    });
}

#if defined(ZOLT_X86_VECTORS)
// Colour words of `cols` working values, eight at a time: the truncating
// conversion gives 0x80000000 for NaN and values beyond 32 bits, whose low
// byte is 0, as byteOf() has it.
__attribute__((target("avx2"))) inline __m256i byteLanes(const float *p) {
    return _mm256_and_si256(_mm256_cvttps_epi32(_mm256_loadu_ps(p)), _mm256_set1_epi32(255));
}

__attribute__((target("avx2"))) void colourWords(const float *red, const float *green, const float *blue,
                                                 int cols, uint32_t *dst) {
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(kOpaque));
    int c = 0;
    for (; c + 8 <= cols; c += 8) {
        const __m256i r = byteLanes(red + c), g = byteLanes(green + c), b = byteLanes(blue + c);
        const __m256i word = _mm256_or_si256(_mm256_or_si256(opaque, _mm256_slli_epi32(r, 16)),
                                             _mm256_or_si256(_mm256_slli_epi32(g, 8), b));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + c), word);
    }
    for (; c < cols; ++c) dst[c] = rgb(byteOf(red[c]), byteOf(green[c]), byteOf(blue[c]));
}

// w[i] = (v[i] - lo) x scale + bottom held to bottom..top, in single
// precision, eight values at a time; NaN lands on bottom.
__attribute__((target("avx2"))) void rescale(const float *v, float *w, size_t begin, size_t end, float lo,
                                             float scale, float bottom, float top) {
    const __m256 l = _mm256_set1_ps(lo), s = _mm256_set1_ps(scale);
    const __m256 b = _mm256_set1_ps(bottom), t = _mm256_set1_ps(top);
    size_t i = begin;
    for (; i + 8 <= end; i += 8) {
        __m256 y = _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(v + i), l), s), b);
        y = _mm256_max_ps(y, b);  // the second operand when y is NaN
        y = _mm256_min_ps(y, t);
        _mm256_storeu_ps(w + i, y);
    }
    for (; i < end; ++i) {
        float y = (v[i] - lo) * scale + bottom;
        y = y > bottom ? y : bottom;
        y = y < top ? y : top;
        w[i] = y;
    }
}
#endif

}  // namespace

int ZoltDisplayWidth(int columns) {
    if (columns < 1) return 0;
    return columns % 4 == 0 ? columns : columns + (4 - columns % 4);
}

ZoltHeader *ZoltDisplayBytes(const ZoltHeader *img, int complexMode, int frame) {
    ZoltDepthGuard depth;
    if (!img || !Zoltmagicok(img) || !img->oltptr) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("ZoltDisplayBytes: no image to display");
        return nullptr;
    }
    if (!Zolttypeok(img)) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("ZoltDisplayBytes: fields 'oltdt', 'dtype' and 'oltesize' disagree");
        return nullptr;
    }
    int cols, rows, frames;
    if (Zoltshape(img, &cols, &rows, &frames) != 0) return nullptr;
    const int plane[3] = {2, cols, rows};

    if (img->oltndim == 3 && frames == 3) {
        const int dims[4] = {3, cols, rows, 3};
        return scaledBytes(img, dims);
    }
    if (img->oltndim <= 2 && img->dtype == ZOLT_C32) {
        ZoltHeader *v = img->oltndim == 1 ? viewOf(img, img->oltptr, cols, 1) : nullptr;
        ZoltHeader *values = complexValues(v ? v : img, complexMode);
        dropView(v);
        if (!values) return nullptr;
        ZoltHeader *out = scaledBytes(values, plane);
        Zoltfree(values, 7);
        return out;
    }
    if (img->oltndim == 2) return scaledBytes(img, plane);

    // A 1-D image as one row, or one frame of a 3-D image.
    const int k = img->oltndim == 3 ? std::clamp(frame, 0, frames - 1) : 0;
    const size_t offset = static_cast<size_t>(k) * static_cast<size_t>(cols) *
                          static_cast<size_t>(rows) * static_cast<size_t>(img->oltesize);
    ZoltHeader *v = viewOf(img, static_cast<char *>(img->oltptr) + offset, cols, rows);
    if (!v) return nullptr;
    ZoltHeader *out = scaledBytes(v, plane);
    dropView(v);
    return out;
}

int ZoltDrawBytes(const ZoltHeader *bytes, const ZoltPictureRows &pic) {
    Shape s;
    if (!shapeOf(bytes, ZOLT_U8, &s) || !pic.row) return -1;
    const auto *red = static_cast<const uint8_t *>(bytes->oltptr);
    const bool colour = bytes->oltndim == 3 && s.frames >= 3;
    const uint8_t *green = colour ? red + s.plane() : red;
    const uint8_t *blue = colour ? red + 2 * s.plane() : red;
    const int cols = std::min(s.cols, pic.width);
    eachRow(s.rows, pic, [&](int r, uint32_t *dst) {
        const size_t at = static_cast<size_t>(r) * static_cast<size_t>(s.cols);
        for (int c = 0; c < cols; ++c) dst[c] = rgb(red[at + c], green[at + c], blue[at + c]);
        // Padding columns repeat the last real column of the row.
        for (int c = cols; c < pic.width; ++c) dst[c] = dst[cols - 1];
    });
    return 0;
}

int ZoltDrawWorkColour(const ZoltHeader *work, const ZoltPictureRows &pic) {
    Shape s;
    if (!shapeOf(work, ZOLT_F32, &s) || !pic.row) return -1;
    const auto *f0 = static_cast<const float *>(work->oltptr);
    const float *f1 = s.frames >= 2 ? f0 + s.plane() : nullptr;
    const float *f2 = s.frames >= 3 ? f0 + 2 * s.plane() : nullptr;
    const int cols = std::min(s.cols, pic.width);
    eachRow(s.rows, pic, [&](int r, uint32_t *dst) {
        const size_t at = static_cast<size_t>(r) * static_cast<size_t>(s.cols);
        if (f2) {
#if defined(ZOLT_X86_VECTORS)
            if (cpu::avx2()) {
                colourWords(f0 + at, f1 + at, f2 + at, cols, dst);
                return;
            }
#endif
            for (int c = 0; c < cols; ++c)
                dst[c] = rgb(byteOf(f0[at + c]), byteOf(f1[at + c]), byteOf(f2[at + c]));
        } else if (f1) {
            for (int c = 0; c < cols; ++c) dst[c] = rgb(byteOf(f0[at + c]), byteOf(f1[at + c]), 0);
        } else {
            for (int c = 0; c < cols; ++c) {
                const uint32_t v = byteOf(f0[at + c]);
                dst[c] = rgb(v, v, v);
            }
        }
    });
    return 0;
}

int ZoltDrawWorkFrame(const ZoltHeader *work, int frame, const ZoltPictureRows &pic) {
    Shape s;
    if (!shapeOf(work, ZOLT_F32, &s) || !pic.row || frame < 0 || frame >= s.frames) return -1;
    const float *f = static_cast<const float *>(work->oltptr) + static_cast<size_t>(frame) * s.plane();
    const int cols = std::min(s.cols, pic.width);
    eachRow(s.rows, pic, [&](int r, uint32_t *dst) {
        const float *src = f + static_cast<size_t>(r) * static_cast<size_t>(s.cols);
        for (int c = 0; c < cols; ++c) {
            const uint32_t v = byteOf(src[c]);
            dst[c] = rgb(v, v, v);
        }
    });
    return 0;
}

int ZoltDrawOverlayMarks(const ZoltHeader *work, double factor, const ZoltPictureRows &pic) {
    Shape s;
    if (!shapeOf(work, ZOLT_F32, &s) || !pic.row || s.frames < 4 || !(factor > 0.0)) return -1;
    const auto *f0 = static_cast<const float *>(work->oltptr);
    const float *marks = f0 + 3 * s.plane();
    for (int r = 0; r < s.rows; ++r) {
        const double y = std::trunc(r / factor);
        if (y >= pic.height) break;
        uint32_t *dst = pic.row(static_cast<int>(y));
        if (!dst) continue;
        for (int c = 0; c < s.cols; ++c) {
            const size_t at = static_cast<size_t>(r) * static_cast<size_t>(s.cols) + static_cast<size_t>(c);
            if (marks[at] == 0.0f) continue;
            const double x = std::trunc(c / factor);
            if (x >= pic.width) break;
            const float red = std::trunc(f0[at]);
            dst[static_cast<int>(x)] = red <= 128.0f ? rgb(255, 0, 0) : rgb((255u - byteOf(red)) & 255u, 0, 0);
        }
    }
    return 0;
}

int scaleToWorking(const ZoltHeader *source, ZoltHeader *work, float high, float low,
                   float *maxOut, float *minOut) {
    Shape ws;
    if (!(high >= low) || !source || !Zoltmagicok(source) || !source->oltptr ||
        !flimage::isRealPlanar(source->dtype) || !shapeOf(work, ZOLT_F32, &ws))
        return -1;
    const size_t n = ws.plane() * static_cast<size_t>(ws.frames);
    if (Zoltpixels(source) != n) return -1;

    // Float sources are read where they are; other types are copied in first.
    float *w = static_cast<float *>(work->oltptr);
    ZoltPreferLargePages(w, n * sizeof(float));
    const float *v = w;
    if (source->dtype == ZOLT_F32) v = static_cast<const float *>(source->oltptr);
    else flimage::readFloats(source, 0, n, w);

    // Extremes of the finite values; NaN and infinities take no part.
    float lo = std::numeric_limits<float>::infinity();
    float hi = -lo;
    std::mutex join;
    ZoltSplitWork(n, kParallelValues, [&](size_t begin, size_t end) {
        float a = std::numeric_limits<float>::infinity();
        float b = -a;
#if defined(ZOLT_X86_VECTORS)
        if (cpu::avx2()) {
            cpu::finiteExtremesAvx2(v, begin, end, a, b);
            begin = end;
        }
#endif
        for (size_t i = begin; i < end; ++i) {
            const float x = v[i];
            const bool finite = std::fabs(x) <= std::numeric_limits<float>::max();
            a = finite && x < a ? x : a;
            b = finite && x > b ? x : b;
        }
        std::lock_guard<std::mutex> lock(join);
        lo = std::min(lo, a);
        hi = std::max(hi, b);
    });
    if (lo > hi) lo = hi = 0.0f;  // no finite value at all

    if (lo == hi) {
        std::fill(w, w + n, 0.0f);
    } else {
        // The scale is worked exactly as Zoltvidscale works the first picture
        // (single precision, the factor first), so a working value truncated
        // is the byte of that picture and neutral settings draw it again.
        // NaN and values beyond the ends land on the ends.
        const float scale = (high - low) / (hi - lo);
        const float bottom = low, top = high;
        ZoltSplitWork(n, kParallelValues, [&](size_t begin, size_t end) {
#if defined(ZOLT_X86_VECTORS)
            if (cpu::avx2()) {
                rescale(v, w, begin, end, lo, scale, bottom, top);
                return;
            }
#endif
            for (size_t i = begin; i < end; ++i) {
                float y = (v[i] - lo) * scale + bottom;
                y = y > bottom ? y : bottom;
                y = y < top ? y : top;
                w[i] = y;
            }
        });
    }
    if (maxOut) *maxOut = hi;
    if (minOut) *minOut = lo;
    return 0;
}

double zoomFactor(int value) {
    if (value > 0) return 1.0 + value / 20.0;
    if (value < 0) return 1.0 + value / 100.0;
    return 1.0;
}
