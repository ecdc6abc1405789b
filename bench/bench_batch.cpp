// Files per second of one operation over a folder of 512 x 512 "32flt"
// files (blur, sigma 2): zolt batch on two threads against a shell loop that
// starts zolt op once per file. ZOLT_BENCH_FILES sets the folder's size
// (default 200). The tool is run as a program, as a user runs it.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "zolt.h"

namespace {

int fileCount() {
    const char *n = std::getenv("ZOLT_BENCH_FILES");
    return n && std::atoi(n) > 0 ? std::atoi(n) : 200;
}

// The input folder, made once per process and removed at exit (the name is
// kept where no destructor reaches it before then).
const std::string &folder() {
    static const std::string &dir = *new std::string([] {
        char name[] = "/tmp/zolt_bench_batchXXXXXX";
        std::string d = mkdtemp(name) ? name : "/tmp";
        const int dims[3] = {2, 512, 512};
        ZoltHeader *h = Zoltcreate("float", dims, 11, 0);
        std::mt19937 random(1);
        std::uniform_real_distribution<float> v(0.0f, 255.0f);
        float *p = static_cast<float *>(h->oltptr);
        for (size_t i = 0; i < 512 * 512; ++i) p[i] = v(random);
        std::system(("mkdir -p '" + d + "/in'").c_str());
        for (int i = 0; i < fileCount(); ++i) Zoltpot(h, (d + "/in/f" + std::to_string(i) + ".zol").c_str());
        Zoltfree(h, 7);
        std::atexit([] { std::system(("rm -rf '" + folder() + "'").c_str()); });
        return d;
    }());
    return dir;
}

void run(benchmark::State &state, const std::string &command) {
    const std::string &d = folder();
    for (auto _ : state) {
        std::system(("rm -rf '" + d + "/out' && mkdir '" + d + "/out'").c_str());
        if (std::system(command.c_str()) != 0) state.SkipWithError("the run failed");
    }
    state.counters["files/s"] =
        benchmark::Counter(double(fileCount()) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_BatchTwoThreads(benchmark::State &state) {
    run(state, std::string("'") + ZOLT_TOOL + "' batch blur '" + folder() + "/in' -o '" + folder() +
                   "/out' --sigma 2 -j 2 2>/dev/null");
}
BENCHMARK(BM_BatchTwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_ShellLoopOfZoltOp(benchmark::State &state) {
    run(state, "for f in '" + folder() + "'/in/*.zol; do '" + ZOLT_TOOL + "' op blur \"$f\" -o '" + folder() +
                   "'/out/$(basename \"$f\") --sigma 2 || exit 1; done");
}
BENCHMARK(BM_ShellLoopOfZoltOp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
