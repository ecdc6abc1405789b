// Pseudo-colour: a 2-D grey image with values 0..255 becomes a 3-D "u8bit"
// image whose frames 0, 1 and 2 hold red, green and blue, through one of seven
// 256-entry colour tables.
#ifndef IMGPROC_COLORMAP_H
#define IMGPROC_COLORMAP_H

#include <cstdint>

#include "zolt.h"

// Colour maps.
enum : int {
    ZOLT_MAP_GRAY = 0,
    ZOLT_MAP_INVERSE_GRAY = 1,
    ZOLT_MAP_BRONSON = 2,
    ZOLT_MAP_HOT_METAL = 3,
    ZOLT_MAP_HEATED_SPECTRUM = 4,
    ZOLT_MAP_LOG = 5,
    ZOLT_MAP_RANDOM = 6,
};

// Fills `table` (768 bytes: 256 red, 256 green, 256 blue) with map `map`;
// an unknown map number leaves it all zero.
void Zoltcolortable(int map, uint8_t table[768]);

// Colours `in` into frames 0..2 of `out`. Returns 0 when done, -1 output not
// "u8bit", -2 input not 2-D, -3 output not 3-D, -4 rows or columns differ,
// -5 output with fewer than 3 frames or either image without pixel data.
// Grey values outside 0..255 are held to 0 and 255.
int Zoltcolormap(const ZoltHeader *in, ZoltHeader *out, int map);

#endif
