// The data-type table: names, element sizes and codes. Aliases (code 0) stand
// for the next canonical row below them; matching is exact and case-sensitive.
#include "zolt.h"

#include <cstring>

namespace {

const ZoltTypeEntry kTypes[] = {
    {"byte", 0, 0},        {"char", 0, 0},       {"i1", 0, 0},
    {"I1", 0, 0},          {"8bit", 1, ZOLT_S8},
    {"ubyte", 0, 0},       {"uchar", 0, 0},      {"u8bit", 1, ZOLT_U8},
    {"short", 0, 0},       {"i2", 0, 0},         {"I2", 0, 0},
    {"16bit", 2, ZOLT_S16},
    {"ushort", 0, 0},      {"u16bit", 2, ZOLT_U16},
    {"int", 0, 0},         {"long", 0, 0},       {"i4", 0, 0},
    {"I4", 0, 0},          {"32bit", 4, ZOLT_S32},
    {"float", 0, 0},       {"real", 0, 0},       {"real*4", 0, 0},
    {"r4", 0, 0},          {"R4", 0, 0},         {"32flt", 4, ZOLT_F32},
    {"double", 0, 0},      {"real*8", 0, 0},     {"r8", 0, 0},
    {"R8", 0, 0},          {"64flt", 8, ZOLT_F64},
    {"complex", 0, 0},     {"c4", 0, 0},         {"C4", 0, 0},
    {"complex*4", 0, 0},   {"32cmp", 8, ZOLT_C32},
    {"c8", 0, 0},          {"C8", 0, 0},         {"complex*8", 0, 0},
    {"64cmp", 16, ZOLT_C64},
    {"Su8bit3", 1, ZOLT_SU8_3},   {"S8bit3", 1, ZOLT_S8_3},
    {"Su8bit4", 1, ZOLT_SU8_4},   {"S8bit4", 1, ZOLT_S8_4},
    {"Su16bit3", 2, ZOLT_SU16_3}, {"S16bit3", 2, ZOLT_S16_3},
    {"Su16bit4", 2, ZOLT_SU16_4}, {"S16bit4", 2, ZOLT_S16_4},
    {"S32bit3", 4, ZOLT_S32_3},   {"S32bit4", 4, ZOLT_S32_4},
    {"S32flt3", 4, ZOLT_SF32_3},  {"S32flt4", 4, ZOLT_SF32_4},
    {"S64flt3", 8, ZOLT_SF64_3},  {"S64flt4", 8, ZOLT_SF64_4},
    {"struct", 1, ZOLT_STRUCT},
};
constexpr int kRows = sizeof kTypes / sizeof kTypes[0];
static_assert(kRows == 54, "the type table has 54 rows");

}  // namespace

const ZoltTypeEntry *ZoltTypeTable(int *rows) {
    if (rows) *rows = kRows;
    return kTypes;
}

namespace {

// The canonical row of a name, or null; touches no library state.
const ZoltTypeEntry *rowOfName(const char *name) {
    if (!name) return nullptr;
    for (int i = 0; i < kRows; ++i) {
        if (std::strcmp(kTypes[i].name, name) != 0) continue;
        while (kTypes[i].code == 0) ++i;
        return &kTypes[i];
    }
    return nullptr;
}

}  // namespace

const ZoltTypeEntry *Zoltfindtype(const char *name) {
    const ZoltTypeEntry *row = rowOfName(name);
    if (!row) ZoltErrorCode = ZOLT_ETYPE;
    return row;
}

bool Zoltplaintype(uint32_t code) {
    // The channel bits 0x10 and 0x20 also mark the two "S64flt" codes.
    return code != ZOLT_STRUCT && (code & 0x30) == 0 && Zoltfindcode(code) != nullptr;
}

bool Zoltaccesstype(uint32_t code) {
    return code != ZOLT_STRUCT && Zoltfindcode(code) != nullptr;
}

const ZoltTypeEntry *Zoltfindcode(uint32_t code) {
    if (code == 0) return nullptr;
    for (const ZoltTypeEntry &row : kTypes)
        if (row.code == code) return &row;
    return nullptr;
}

bool Zolttypeok(const ZoltHeader *h) {
    if (!h || std::memchr(h->oltdt, '\0', sizeof h->oltdt) == nullptr) return false;
    const ZoltTypeEntry *row = rowOfName(h->oltdt);
    if (!row || row->code != h->dtype || h->oltesize < 1) return false;
    return row->code == ZOLT_STRUCT || h->oltesize == row->esize;
}
