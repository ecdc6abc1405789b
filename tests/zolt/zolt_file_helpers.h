// Small helpers of the file tests: temporary paths, whole-file reads and
// writes, little- or big-endian packing of header fields, and the fixture of
// tests that make files.
#ifndef ZOLT_TEST_FILE_HELPERS_H
#define ZOLT_TEST_FILE_HELPERS_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zolt_fixture.h"

namespace zolttest {

// A path in the test's temporary folder, unique to this process.
inline std::string tempPath(const std::string &name) {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/zolt_" + std::to_string(getpid()) + "_" +
           name;
}

inline std::vector<unsigned char> readFile(const std::string &path) {
    std::vector<unsigned char> bytes;
    if (FILE *fp = std::fopen(path.c_str(), "rb")) {
        unsigned char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0) bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(fp);
    }
    return bytes;
}

inline bool writeFile(const std::string &path, const std::vector<unsigned char> &bytes) {
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
    return std::fclose(fp) == 0 && ok;
}

inline bool fileExists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

// A library test that makes files: every path handed out by temp() is removed
// after the test.
struct ZoltFileTest : ZoltTest {
    void TearDown() override {
        for (const std::string &p : paths) std::remove(p.c_str());
        paths.clear();
        ZoltTest::TearDown();
    }
    std::string temp(const std::string &name) {
        paths.push_back(tempPath(name));
        return paths.back();
    }
    std::vector<std::string> paths;
};

// Puts the n-byte value v at offset `at`, most significant byte first when big.
inline void put(std::vector<unsigned char> &b, size_t at, uint64_t v, int n, bool big = false) {
    if (b.size() < at + n) b.resize(at + n, 0);
    for (int i = 0; i < n; ++i) b[at + (big ? n - 1 - i : i)] = static_cast<unsigned char>(v >> (8 * i));
}

inline uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

inline uint64_t doubleBits(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    return u;
}

inline int32_t getInt(const std::vector<unsigned char> &b, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return static_cast<int32_t>(v);
}

inline std::string getText(const std::vector<unsigned char> &b, size_t at, size_t width) {
    std::string s(reinterpret_cast<const char *>(&b[at]), width);
    return s.substr(0, s.find('\0'));
}

}  // namespace zolttest

#endif
