// Base fixture of the library tests: reports are silenced and the error code
// cleared before each test; every image made (or kept) through the fixture is
// released after it, so a failing assertion never leaks.
#ifndef TESTS_ZOLT_FIXTURE_H
#define TESTS_ZOLT_FIXTURE_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "zolt.h"

struct ZoltTest : ::testing::Test {
    void SetUp() override {
        ZoltErrorMode = 1;
        ZoltErrorCode = 0;
    }
    void TearDown() override {
        for (ZoltHeader *h : images) Zoltfree(h, 7);
        images.clear();
        ZoltErrorMode = 8;
    }

    // A zero-filled image of the type with the lengths {columns, rows, frames}
    // (one, two or three of them).
    ZoltHeader *image(const char *type, std::initializer_list<int> lengths) {
        std::vector<int> dims{static_cast<int>(lengths.size())};
        dims.insert(dims.end(), lengths.begin(), lengths.end());
        ZoltHeader *h = Zoltcreate(type, dims.data(), 11, 0);
        EXPECT_NE(h, nullptr) << type;
        return keep(h);
    }

    // Takes an image made elsewhere (a window, a file read) into the fixture's
    // care; null passes through.
    ZoltHeader *keep(ZoltHeader *h) {
        if (h) images.push_back(h);
        return h;
    }

    template <typename T>
    static T *pixels(ZoltHeader *h) { return static_cast<T *>(h->oltptr); }

    std::vector<ZoltHeader *> images;
};

#endif
