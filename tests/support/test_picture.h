// A picture in plain memory for the display routines, with a guard row of
// sentinels below it so that a write past the picture shows up.
#ifndef TESTS_TEST_PICTURE_H
#define TESTS_TEST_PICTURE_H

#include <algorithm>
#include <cstdint>
#include <vector>

#include "display.h"

struct Picture {
    static constexpr uint32_t kGuard = 0x12345678u;
    int width, height;
    std::vector<uint32_t> words;
    Picture(int w, int h, uint32_t fill = 0xff000000u)
        : width(w), height(h), words(static_cast<size_t>(w) * (h + 1), fill) {
        std::fill(words.begin() + static_cast<long>(w) * h, words.end(), kGuard);
    }
    ZoltPictureRows rows() {
        ZoltPictureRows p;
        p.width = width;
        p.height = height;
        p.row = [this](int r) { return words.data() + static_cast<size_t>(r) * width; };
        return p;
    }
    uint32_t at(int c, int r) const { return words[static_cast<size_t>(r) * width + c]; }
    bool guardIntact() const {
        for (size_t i = static_cast<size_t>(width) * height; i < words.size(); ++i)
            if (words[i] != kGuard) return false;
        return true;
    }
};

#endif
