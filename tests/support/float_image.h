// A test image that releases itself: "float" (or another type) of 2 or 3
// dimensions, zero-filled, with direct access to its elements.
#ifndef TESTS_FLOAT_IMAGE_H
#define TESTS_FLOAT_IMAGE_H

#include "zolt.h"

struct TestImage {
    ZoltHeader *h = nullptr;
    // frames 0 makes a 2-D image.
    explicit TestImage(int cols, int rows, int frames = 0, const char *type = "float") {
        const int dims2[] = {2, cols, rows};
        const int dims3[] = {3, cols, rows, frames};
        h = Zoltcreate(type, frames ? dims3 : dims2, 11, 0);
    }
    ~TestImage() {
        if (h) Zoltfree(h, 7);
    }
    TestImage(const TestImage &) = delete;
    TestImage &operator=(const TestImage &) = delete;
    float *f() { return static_cast<float *>(h->oltptr); }
    float &at(int frame, int row, int col) {
        return f()[static_cast<size_t>(col) + static_cast<size_t>(row) * h->oltdln[1] +
                   (h->oltndim > 2 ? static_cast<size_t>(frame) * h->oltdln[2] : 0)];
    }
};

#endif
