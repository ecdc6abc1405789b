// Range check of a conversion to a whole-number type: the values are read
// as doubles and truncated toward zero, as the conversion truncates them.
#include "typerange.h"

#include <cmath>
#include <initializer_list>

#include "imagecopy.h"

namespace {

// The range of a whole-number type code: signed (0x100) or unsigned (0x400)
// elements of 1, 2 or 4 bytes per channel. False for every other type.
bool integerRange(uint32_t code, double *lo, double *hi) {
    const uint32_t kind = code & 0xF00, bytes = code & 0xF;
    if ((code & 0xF000) != 0 || (kind != 0x100 && kind != 0x400) || (bytes != 1 && bytes != 2 && bytes != 4))
        return false;
    const double span = std::ldexp(1.0, int(bytes) * 8);
    *lo = kind == 0x400 ? 0.0 : -span / 2;
    *hi = kind == 0x400 ? span - 1 : span / 2 - 1;
    return true;
}

// One value put through the conversion to `type` and read back.
double converted(double value, const char *type) {
    const int dims[3] = {2, 1, 1};
    ZoltHeader *one = Zoltcreate("64flt", dims, 11, 0);
    if (!one) return std::nan("");
    static_cast<double *>(one->oltptr)[0] = value;
    ZoltHeader *typed = Zoltretype(one, type);
    ZoltHeader *back = typed ? Zoltretype(typed, "64flt") : nullptr;
    const double result = back ? static_cast<const double *>(back->oltptr)[0] : std::nan("");
    for (ZoltHeader *h : {one, typed, back})
        if (h) Zoltfree(h, 7);
    return result;
}

}  // namespace

int Zoltrangecheck(const ZoltHeader *src, const char *type, ZoltRangeReport *report) {
    ZoltRangeReport r;
    const ZoltTypeEntry *entry = type ? Zoltfindtype(type) : nullptr;
    if (!src || !entry) return -1;
    if (!integerRange(entry->code, &r.lo, &r.hi)) {
        if (report) *report = r;
        return 0;
    }
    ZoltHeader *values = Zoltretype(src, "64flt");
    if (!values) return -1;
    const double *v = static_cast<const double *>(values->oltptr);
    r.total = Zoltpixels(values);
    for (std::size_t i = 0; i < r.total; ++i) {
        const double t = std::trunc(v[i]);
        if (t >= r.lo && t <= r.hi) continue;  // NaN fails both
        if (r.outside++ == 0) r.example = v[i];
    }
    Zoltfree(values, 7);
    r.becomes = r.outside ? converted(r.example, type) : 0.0;
    if (report) *report = r;
    return r.outside ? 1 : 0;
}
