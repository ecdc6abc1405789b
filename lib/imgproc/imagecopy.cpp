// Whole-image copies between data types. A copy into the same type moves the
// raw bytes, so complex and struct images come through unchanged; the two
// complex precisions convert part by part; between other types Zoltconvert
// decides, and a refusal gives no image rather than zeros.
#include "imagecopy.h"

#include <cstring>
#include <string>

namespace {

template <typename From, typename To>
void convertParts(const From *src, To *dst, size_t count) {
    for (size_t i = 0; i < count; ++i) dst[i] = static_cast<To>(src[i]);
}

}  // namespace

ZoltHeader *Zoltretype(const ZoltHeader *src, const char *type) {
    ZoltDepthGuard depth;
    if (!src || !type) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("Zoltretype: NULL passed as image header or data type.");
        return nullptr;
    }
    const ZoltTypeEntry *row = Zoltfindtype(type);
    if (!row) {
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltext((std::string("Zoltretype: unknown data type '") + type + "'.").c_str());
        return nullptr;
    }
    if (!src->oltptr) {
        ZoltErrorCode = ZOLT_EHEADER;
        Zoltext("Zoltretype: No data associated with header! (field 'oltptr' = 0)");
        return nullptr;
    }
    int *dims = Zoltsiz(src);
    if (!dims) return nullptr;
    const bool same = row->code == src->dtype;
    ZoltHeader *dst = Zoltcreate(row->name, dims, 11, same ? src->oltesize : row->esize);
    Zoltcfree(dims);
    if (!dst) return nullptr;

    if (same) {
        std::memcpy(dst->oltptr, src->oltptr, Zoltbytes(src));
        return dst;
    }
    // Between the two complex precisions: both parts by value.
    if (src->dtype == ZOLT_C64 && dst->dtype == ZOLT_C32) {
        convertParts(static_cast<const double *>(src->oltptr), static_cast<float *>(dst->oltptr),
                     2 * Zoltpixels(src));
        return dst;
    }
    if (src->dtype == ZOLT_C32 && dst->dtype == ZOLT_C64) {
        convertParts(static_cast<const float *>(src->oltptr), static_cast<double *>(dst->oltptr),
                     2 * Zoltpixels(src));
        return dst;
    }
    const int status = Zoltconvert(src, dst);
    if (status != 0) {
        Zoltfree(dst, 7);
        ZoltErrorCode = ZOLT_ETYPE;
        Zoltext((std::string("Zoltretype: cannot convert ") + src->oltdt + " into " + row->name +
                 (status == -2 ? " (complex data converts only into complex types)." : "."))
                    .c_str());
        return nullptr;
    }
    return dst;
}
