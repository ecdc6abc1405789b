// Pseudo-colour maps: gray, inverse gray, Bronson bands, hot metal, heated
// spectrum, logarithmic and a fixed random table. Maps 2 to 4 are built on 128
// entries (grey value v takes entry v / 2), the random map repeats its 128
// entries (entry v mod 128). Grey values are held to 0..255 before the lookup.
#include "colormap.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const uint8_t kRandomRed[128] = {
    27,  153, 95,  75,  251, 137, 179, 83,  188, 199, 62,  101, 182, 212, 32,  178, 212, 95,  94,  18,  229, 95,
    78,  241, 144, 40,  183, 178, 7,   172, 163, 111, 41,  203, 55,  189, 53,  224, 142, 96,  184, 108, 232, 145,
    229, 12,  43,  201, 237, 160, 7,   165, 149, 210, 189, 231, 160, 204, 227, 0,   69,  116, 12,  236, 72,  216,
    188, 173, 231, 56,  161, 33,  79,  75,  94,  4,   158, 50,  228, 102, 74,  193, 187, 96,  228, 113, 27,  23,
    12,  202, 81,  181, 145, 131, 65,  71,  153, 31,  122, 18,  189, 94,  200, 102, 254, 55,  153, 118, 135, 174,
    54,  63,  8,   74,  37,  2,   186, 121, 160, 91,  206, 161, 150, 133, 80,  43,  7,   192};
const uint8_t kRandomGreen[128] = {
    131, 94,  210, 164, 204, 159, 182, 113, 44,  10,  141, 46,  77,  99,  154, 230, 157, 27,  38,  21,  140, 25,
    96,  201, 5,   88,  212, 13,  40,  9,   40,  219, 199, 74,  114, 182, 171, 54,  251, 15,  56,  96,  160, 159,
    103, 111, 166, 242, 168, 247, 80,  30,  182, 71,  235, 2,   214, 62,  173, 0,   160, 232, 31,  210, 194, 247,
    101, 110, 217, 202, 35,  27,  218, 37,  81,  220, 32,  71,  188, 167, 145, 134, 130, 244, 3,   15,  78,  35,
    72,  1,   163, 139, 0,   126, 240, 194, 168, 229, 199, 204, 4,   210, 236, 53,  214, 2,   196, 121, 172, 227,
    117, 134, 94,  155, 22,  51,  37,  157, 0,   118, 214, 77,  21,  148, 54,  77,  64,  146};
const uint8_t kRandomBlue[128] = {
    124, 65,  44,  201, 118, 63,  249, 180, 4,   152, 131, 164, 247, 179, 140, 101, 4,   142, 204, 50,  124, 115,
    31,  110, 244, 190, 46,  252, 253, 61,  231, 127, 0,   33,  62,  71,  152, 34,  110, 72,  89,  201, 121, 190,
    89,  115, 235, 235, 126, 14,  155, 152, 230, 26,  150, 190, 85,  3,   206, 0,   19,  64,  196, 121, 38,  95,
    196, 23,  70,  103, 239, 186, 122, 185, 168, 230, 200, 214, 154, 243, 216, 46,  246, 61,  247, 109, 23,  178,
    100, 92,  47,  134, 74,  210, 43,  70,  85,  199, 109, 40,  67,  8,   147, 203, 91,  154, 219, 65,  59,  89,
    107, 150, 213, 199, 7,   187, 17,  174, 112, 248, 242, 136, 22,  202, 179, 59,  40,  106};

// Bronson: ten bands of grey values, each with its colour.
struct Band {
    int last;  // last grey value of the band
    uint8_t r, g, b;
};
const Band kBronson[10] = {{23, 0, 0, 0},      {49, 160, 160, 160}, {73, 150, 135, 0},   {99, 0, 0, 215},
                           {123, 0, 195, 0},   {149, 0, 240, 240},  {173, 240, 0, 240},  {199, 255, 175, 0},
                           {223, 255, 252, 0}, {255, 255, 255, 255}};

void set(uint8_t *table, int v, int r, int g, int b) {
    table[v] = static_cast<uint8_t>(r);
    table[256 + v] = static_cast<uint8_t>(g);
    table[512 + v] = static_cast<uint8_t>(b);
}

// Hot metal: three single-precision ramps over the grey levels (red from
// level 0 over 182 levels, green from 128 over 91, blue from 192 over 64);
// entry k takes the ramps at the odd level 2k + 1.
void hotMetal(uint8_t *table) {
    const float stepR = 1.0f / 182.0f, stepG = 1.0f / 91.0f, stepB = 1.0f / 64.0f;
    float accR = 0.0f, accG = 0.0f, accB = 0.0f;
    for (int level = 0; level < 256; ++level) {
        if (level & 1) {
            const int r = level < 182 ? static_cast<int>(accR * 255.0f) : 255;
            const int g = level < 128 ? 0 : level <= 218 ? static_cast<int>(accG * 255.0f) : 255;
            const int b = level < 192 ? 0 : static_cast<int>(accB * 255.0f);
            const int k = level / 2;
            set(table, 2 * k, r, g, b);
            set(table, 2 * k + 1, r, g, b);
        }
        accR += stepR;
        if (level >= 128) accG += stepG;
        if (level >= 192) accB += stepB;
    }
}

// Heated spectrum: seven ramps of 18 entries (the last of 20) over k = v / 2.
void heatedSpectrum(uint8_t *table) {
    for (int v = 0; v < 256; ++v) {
        const int k = v / 2;
        int r, g, b;
        if (k < 18) {
            r = 0; g = 0; b = 15 * k;
        } else if (k < 36) {
            r = 0; g = 15 * (k - 18); b = 255;
        } else if (k < 54) {
            r = 0; g = 255; b = 255 - 15 * (k - 36);
        } else if (k < 72) {
            r = 15 * (k - 54); g = 255; b = 0;
        } else if (k < 90) {
            r = 255; g = 255 - 15 * (k - 72); b = 0;
        } else if (k < 108) {
            r = 255; g = 0; b = 15 * (k - 90);
        } else {
            r = 255; g = static_cast<int>((k - 108) * 13.421052631578947); b = 255;
        }
        set(table, v, r, g, b);
    }
}

// Grey value of a pixel as an integer, truncated toward zero, held to 0..255.
inline int clampGrey(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
inline int greyOf(float v) {
    if (!(v > 0.0f)) return 0;  // also NaN
    return v >= 255.0f ? 255 : static_cast<int>(v);
}

}  // namespace

void Zoltcolortable(int map, uint8_t table[768]) {
    std::memset(table, 0, 768);
    switch (map) {
    case ZOLT_MAP_GRAY:
        for (int v = 0; v < 256; ++v) set(table, v, v, v, v);
        break;
    case ZOLT_MAP_INVERSE_GRAY:
        for (int v = 0; v < 256; ++v) set(table, v, (256 - v) % 256, (256 - v) % 256, (256 - v) % 256);
        break;
    case ZOLT_MAP_BRONSON: {
        int band = 0;
        for (int v = 0; v < 256; ++v) {
            while (v > kBronson[band].last) ++band;
            set(table, v, kBronson[band].r, kBronson[band].g, kBronson[band].b);
        }
        break;
    }
    case ZOLT_MAP_HOT_METAL:
        hotMetal(table);
        break;
    case ZOLT_MAP_HEATED_SPECTRUM:
        heatedSpectrum(table);
        break;
    case ZOLT_MAP_LOG:
        for (int v = 0; v < 256; ++v) {
            const int c = static_cast<int>(255.0 * std::log10(v + 1.0) / std::log10(256.0));
            set(table, v, c, c, c);
        }
        break;
    case ZOLT_MAP_RANDOM:
        for (int v = 0; v < 256; ++v) set(table, v, kRandomRed[v % 128], kRandomGreen[v % 128], kRandomBlue[v % 128]);
        break;
    default:
        break;  // unknown maps colour everything black
    }
}

int Zoltcolormap(const ZoltHeader *in, ZoltHeader *out, int map) {
    auto refuse = [](const char *message, int status) {
        Zoltsay("%s", message);
        std::fflush(stdout);
        return status;
    };
    if (!Zoltmagicok(out) || out->dtype != ZOLT_U8) return refuse("Zoltcolormap: output image must be U8IT\n", -1);
    if (!Zoltmagicok(in) || in->oltndim != 2) return refuse("input image needs to be 2D\n", -2);
    if (out->oltndim != 3) return refuse("Zoltcolormap:output image must be 3D\n", -3);
    const int rows = static_cast<int>(Zoltdimen(in, 1)), cols = static_cast<int>(Zoltdimen(in, 0));
    if (rows != static_cast<int>(Zoltdimen(out, 1)) || cols != static_cast<int>(Zoltdimen(out, 0)))
        return refuse("Zoltcolormap: input and output images must be the same rows and cols\n", -4);
    if (Zoltdimen(out, 2) < 3 || !in->oltptr || !out->oltptr)
        return refuse("Zoltcolormap: output image must have 3 frames\n", -5);
    std::fflush(stdout);

    uint8_t table[768];
    Zoltcolortable(map, table);
    uint8_t *red = static_cast<uint8_t *>(out->oltptr);
    uint8_t *green = red + out->oltdln[2];
    uint8_t *blue = green + out->oltdln[2];
    const size_t n = static_cast<size_t>(rows) * static_cast<size_t>(cols);
    auto paint = [&](size_t i, int v) {
        red[i] = table[v];
        green[i] = table[256 + v];
        blue[i] = table[512 + v];
    };
    if (in->dtype == ZOLT_U8) {
        const uint8_t *p = static_cast<const uint8_t *>(in->oltptr);
        for (size_t i = 0; i < n; ++i) paint(i, p[i]);
    } else if (in->dtype == ZOLT_F32) {
        const float *p = static_cast<const float *>(in->oltptr);
        for (size_t i = 0; i < n; ++i) paint(i, greyOf(p[i]));
    } else {
        size_t i = 0;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) paint(i++, clampGrey(Zoltigp(in, r, c)));
    }
    return 0;
}
