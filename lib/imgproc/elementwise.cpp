// Element-wise arithmetic over float images and the raw copies between
// images. Each routine checks types and dimension lists, then runs over the
// raw element arrays in storage order, frames included.
#include "elementwise.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "flimage.h"

namespace {

// 0 when all three images are "32flt" (else -1) with one dimension list (else -2).
int check(const ZoltHeader *a, const ZoltHeader *b, const ZoltHeader *c) {
    if (!flimage::isFloat(a) || !flimage::isFloat(b) || !flimage::isFloat(c)) return -1;
    return flimage::sameDims(a, b) && flimage::sameDims(a, c) ? 0 : -2;
}

template <class Op>
int binary(const ZoltHeader *a, const ZoltHeader *b, ZoltHeader *out, Op op) {
    if (const int status = check(a, b, out)) return status;
    const float *pa = flimage::data(a), *pb = flimage::data(b);
    float *po = flimage::data(out);
    const size_t n = flimage::count(a);
    for (size_t i = 0; i < n; ++i) po[i] = op(pa[i], pb[i]);
    return 0;
}

}  // namespace

int fladd(const ZoltHeader *a, const ZoltHeader *b, ZoltHeader *out) {
    return binary(a, b, out, [](float x, float y) { return x + y; });
}

int flmul(const ZoltHeader *a, const ZoltHeader *b, ZoltHeader *out) {
    return binary(a, b, out, [](float x, float y) { return x * y; });
}

int fldiv(const ZoltHeader *a, const ZoltHeader *b, ZoltHeader *out) {
    return binary(a, b, out, [](float x, float y) { return x / y; });
}

int flscale(const ZoltHeader *a, ZoltHeader *out, float k) {
    return flimage::map(a, out, [k](float x) { return k * x; });
}

int fladdconst(const ZoltHeader *a, ZoltHeader *out, float k) {
    return flimage::map(a, out, [k](float x) { return x + k; });
}

int flatan2(const ZoltHeader *y, const ZoltHeader *x, ZoltHeader *out) {
    return binary(y, x, out, [](float a, float b) { return std::atan2(a, b); });
}

int flsgrt(const ZoltHeader *a, ZoltHeader *out) {
    if (const int status = flimage::checkPair(a, out)) return status;
    const float *pa = flimage::data(a);
    float *po = flimage::data(out);
    const size_t n = flimage::count(a);
    for (size_t i = 0; i < n; ++i) {
        if (pa[i] < 0.0f) {
            std::fprintf(stderr, "!! flsgrt error : Negative Value for Square Root !!\n");
            return 1;
        }
        po[i] = std::sqrt(pa[i]);
    }
    return 0;
}

ZoltHeader *fldup(const ZoltHeader *image) {
    ZoltDepthGuard depth;
    if (!flimage::isFloat(image)) {
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltext("fldup: image must be float");
        return nullptr;
    }
    ZoltHeader *copy = flimage::floatLike(image);
    if (copy) std::memcpy(copy->oltptr, image->oltptr, sizeof(float) * flimage::count(image));
    return copy;
}

int flcopy(const ZoltHeader *input, ZoltHeader *output) {
    flimage::Shape si, so;
    if (!flimage::shapeOf(input, &si) || !flimage::shapeOf(output, &so) || !input->oltptr || !output->oltptr)
        return -1;
    const bool floatIn = input->dtype == ZOLT_F32 && input->oltesize == 4;
    const bool complexIn = input->dtype == ZOLT_C32 && input->oltesize == 8;
    const bool floatOut = output->dtype == ZOLT_F32 && output->oltesize == 4;
    const bool complexOut = output->dtype == ZOLT_C32 && output->oltesize == 8;
    // A complex input fits only a complex output; another input type would
    // be read past its end.
    if (!((floatIn && (floatOut || complexOut)) || (complexIn && complexOut))) return -1;
    if (!flimage::sameDims(input, output)) return -2;
    const size_t floats = si.count() * (complexIn ? 2 : 1);
    std::memmove(output->oltptr, input->oltptr, sizeof(float) * floats);
    return 0;
}
