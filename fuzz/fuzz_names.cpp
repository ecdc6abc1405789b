// Fuzzes file-name handling: variable expansion, the home shorthand and the
// reading of a name from a stream. Results must be NUL-terminated texts the
// library can release; nothing may read or write outside its buffers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "harness.h"
#include "zolt.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    ZoltErrorMode = 1;
    setenv("HOME", "/home/zolt", 1);
    setenv("D", "data", 1);
    setenv("EMPTY", "", 1);
    setenv("WIDE", std::string(700, 'w').c_str(), 1);  // two of these overflow a short buffer
    setenv("a.b", "dotted", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string name(reinterpret_cast<const char *>(data), size);  // up to the first NUL
    int status = -1;
    if (char *e = ZoltEnv(name.c_str(), &status)) {
        (void)std::strlen(e);
        Zoltcfree(e);
    }
    if (char *p = ZoltPrsFN(name.c_str(), &status)) {
        (void)std::strlen(p);
        Zoltcfree(p);
    }
    if (size > 0) {
        if (FILE *in = fmemopen(const_cast<uint8_t *>(data), size, "rb")) {
            if (char *g = ZoltGetFN(nullptr, in)) {
                (void)std::strlen(g);
                Zoltcfree(g);
            }
            std::fclose(in);
        }
    }
    requireBalancedDepth();
    return 0;
}
