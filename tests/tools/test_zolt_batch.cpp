// zolt batch run as a program: a folder with a broken and a refused file in
// it (manifest, exit status, outputs equal to the filter called directly), the
// reruns that skip or redo, and a run stopped by Ctrl-C, then killed, then
// resumed; and the manifest's own reading rules.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../../tools/zolt/args.h"
#include "../zolt/zolt_file_helpers.h"
#include "gauss.h"
#include "opfiles.h"
#include "tool_run.h"

using namespace zolttest;

namespace {

// Threads of the runs below.
const char *const kJobs = " -j 2";

struct Batch : ZoltTest {
    std::string root;
    void SetUp() override {
        ZoltTest::SetUp();
        std::string t = tempPath("batchXXXXXX");
        ASSERT_NE(mkdtemp(&t[0]), nullptr);
        root = t;
    }
    void TearDown() override {
        if (!root.empty()) std::system(("rm -rf '" + root + "'").c_str());
        ZoltTest::TearDown();
    }

    // A "32flt" file of random values in [0, 100).
    void picture(const std::string &path, int cols, int rows, unsigned seed) {
        ZoltHeader *h = image("float", {cols, rows});
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> v(0.0f, 100.0f);
        for (size_t i = 0; i < Zoltpixels(h); ++i) pixels<float>(h)[i] = v(random);
        ASSERT_EQ(Zoltpot(h, path.c_str()), -1) << path;
    }

    // The manifest's records.
    std::vector<BatchRecord> records(const std::string &out) {
        std::vector<BatchRecord> all;
        std::ifstream in(out + "/zolt-batch.tsv");
        std::string line;
        while (std::getline(in, line)) {
            BatchRecord r;
            if (BatchManifest::parse(line, &r)) all.push_back(r);
        }
        return all;
    }

    // The blurred pixels of an input, from the filter called in this process.
    void expectBlurred(const std::string &input, const std::string &output, float sigma) {
        ZoltHeader *in = keep(Zoltpin(input.c_str()));
        ZoltHeader *got = keep(Zoltpin(output.c_str()));
        ASSERT_TRUE(in && got) << output;
        ZoltHeader *want = image("float", {int(Zoltdimen(in, 0)), int(Zoltdimen(in, 1))});
        ASSERT_EQ(flDoG(in, want, sigma, 0, 0), 0);
        ASSERT_EQ(Zoltpixels(got), Zoltpixels(want));
        EXPECT_EQ(std::memcmp(got->oltptr, want->oltptr, Zoltbytes(want)), 0) << output;
    }

    static std::vector<std::string> names(const std::string &dir) {
        std::vector<std::string> all;
        if (DIR *d = opendir(dir.c_str())) {
            while (const dirent *e = readdir(d))
                if (e->d_name[0] != '.' || std::strlen(e->d_name) > 2) all.push_back(e->d_name);
            closedir(d);
        }
        std::sort(all.begin(), all.end());
        return all;
    }
};

}  // namespace

TEST_F(Batch, FolderWithBrokenAndRefusedFilesThenReruns) {
    const std::string in = root + "/in", out = root + "/out";
    ASSERT_EQ(mkdir(in.c_str(), 0777), 0);
    for (int i = 0; i < 3; ++i) picture(in + "/p" + std::to_string(i) + ".zol", 40, 48, i);
    picture(in + "/short.zol", 40, 8, 9);  // fewer rows than the kernel needs: refused
    ASSERT_TRUE(writeFile(in + "/broken.zol", {'Z', 'O', 'L', 0, 1, 2, 3}));
    ASSERT_TRUE(writeFile(in + "/notes.txt", {'x'}));  // not an image: not taken
    const std::string blur = "batch blur '" + in + "' -o '" + out + "' --sigma 1.5" + kJobs;

    ToolRun r = runTool(blur);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("3 done, 2 failed, 0 skipped"), std::string::npos) << r.out;
    std::map<std::string, std::string> status;
    for (const BatchRecord &rec : records(out)) status[rec.input.substr(in.size() + 1)] = rec.status;
    EXPECT_EQ(status, (std::map<std::string, std::string>{{"broken.zol", "failed"}, {"p0.zol", "done"},
                                                          {"p1.zol", "done"}, {"p2.zol", "done"},
                                                          {"short.zol", "failed"}}));
    EXPECT_EQ(names(out), (std::vector<std::string>{"p0.zol", "p1.zol", "p2.zol", "zolt-batch.tsv"}));
    for (const char *p : {"/p0.zol", "/p1.zol", "/p2.zol"}) expectBlurred(in + p, out + p, 1.5f);

    // The same recipe again: only the failures run again.
    r = runTool(blur);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("0 done, 2 failed, 3 skipped"), std::string::npos) << r.out;
    // Another sigma overwrites the outputs, so the first recipe's records are
    // stale: running it again redoes every file, and then skips again.
    EXPECT_NE(runTool(blur + " --sigma 2.5").out.find("3 done, 2 failed, 0 skipped"), std::string::npos);
    EXPECT_NE(runTool(blur).out.find("3 done, 2 failed, 0 skipped"), std::string::npos);
    expectBlurred(in + "/p1.zol", out + "/p1.zol", 1.5f);
    // A lost output is made again; --force redoes everything.
    ASSERT_EQ(std::remove((out + "/p1.zol").c_str()), 0);
    EXPECT_NE(runTool(blur).out.find("1 done, 2 failed, 2 skipped"), std::string::npos);
    EXPECT_NE(runTool(blur + " --force").out.find("3 done, 2 failed, 0 skipped"), std::string::npos);

    // Two inputs that would share an output are refused before anything runs.
    const std::string other = root + "/other";
    ASSERT_EQ(mkdir(other.c_str(), 0777), 0);
    picture(other + "/p2.zol", 40, 30, 5);
    r = runTool("batch blur '" + in + "' '" + other + "/p2.zol' -o '" + root + "/clash' --sigma 1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("p2.zol"), std::string::npos) << r.out;
    EXPECT_FALSE(fileExists(root + "/clash"));
}

TEST_F(Batch, StoppedThenKilledThenResumedRecordsEveryFileOnce) {
    const std::string in = root + "/in", out = root + "/out";
    ASSERT_EQ(mkdir(in.c_str(), 0777), 0);
    const int count = 24;
    for (int i = 0; i < count; ++i) picture(in + "/f" + std::to_string(100 + i) + ".zol", 400, 400, i);
    const std::string manifest = out + "/zolt-batch.tsv";
    // Starts a run and sends it `sig` once the manifest holds `rows` records.
    const auto interrupt = [&](size_t rows, int sig) {
        const pid_t pid = fork();
        if (pid == 0) {
            freopen("/dev/null", "w", stderr);
            execl(ZOLT_TOOL, "zolt", "batch", "blur", in.c_str(), "-o", out.c_str(), "--sigma", "6", "-j", "2",
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (records(out).size() < rows && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        kill(pid, sig);
        int raw = 0;
        waitpid(pid, &raw, 0);
        return raw;
    };

    // Ctrl-C: the file in flight is finished, the run says so, and the
    // manifest matches the folder exactly.
    const int stopped = interrupt(3, SIGINT);
    ASSERT_TRUE(WIFEXITED(stopped));
    EXPECT_EQ(WEXITSTATUS(stopped), 130);
    std::vector<std::string> recorded{"zolt-batch.tsv"};
    for (const BatchRecord &r : records(out)) {
        EXPECT_EQ(r.status, "done");
        recorded.push_back(r.output.substr(out.size() + 1));
    }
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(names(out), recorded);
    EXPECT_LT(recorded.size(), size_t(count) + 1);

    // Killed outright, then resumed to the end.
    const int killed = interrupt(recorded.size() + 3, SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(killed));
    const ToolRun last = runTool("batch blur '" + in + "' -o '" + out + "' --sigma 6" + kJobs);
    EXPECT_EQ(last.status, 0) << last.out;
    std::map<std::string, int> done;
    for (const BatchRecord &r : records(out))
        if (r.status == "done") ++done[r.input];
    ASSERT_EQ(done.size(), size_t(count));
    for (const auto &d : done) {
        EXPECT_EQ(d.second, 1) << d.first;
        expectBlurred(d.first, out + "/" + d.first.substr(in.size() + 1), 6.0f);
    }
}

TEST_F(Batch, RandomColoursOfEachFileAsInAProgramJustStarted) {
    const std::string in = root + "/in", out = root + "/out", alone = root + "/alone.zol";
    ASSERT_EQ(mkdir(in.c_str(), 0777), 0);
    ZoltHeader *labels = image("float", {30, 20});
    for (size_t i = 0; i < Zoltpixels(labels); ++i) pixels<float>(labels)[i] = float(i % 7);
    for (const char *name : {"/a.zol", "/b.zol"}) ASSERT_EQ(Zoltpot(labels, (in + name).c_str()), -1);
    ASSERT_EQ(runTool("batch cmap '" + in + "' -o '" + out + "' --map 6" + kJobs).status, 0);
    ASSERT_EQ(runTool("op cmap '" + in + "/b.zol' -o '" + alone + "' --map 6").status, 0);
    ZoltHeader *a = keep(Zoltpin((out + "/a.zol").c_str())), *b = keep(Zoltpin((out + "/b.zol").c_str()));
    ZoltHeader *op = keep(Zoltpin(alone.c_str()));
    ASSERT_TRUE(a && b && op);
    EXPECT_EQ(std::memcmp(a->oltptr, op->oltptr, Zoltbytes(op)), 0);
    EXPECT_EQ(std::memcmp(b->oltptr, op->oltptr, Zoltbytes(op)), 0);
}

TEST(BatchManifestLines, EscapesTornLinesAndTheForceFlag) {
    // Tabs, line ends and backslashes in names and messages survive a line.
    const BatchRecord r{"a\tb\\c.zol", "o/a\nb.zol", "failed", 12, "bad\\n", "blur --sigma 1"};
    BatchRecord back;
    ASSERT_TRUE(BatchManifest::parse(BatchManifest::format(r), &back));
    EXPECT_EQ(back.input, r.input);
    EXPECT_EQ(back.output, r.output);
    EXPECT_EQ(back.message, r.message);
    EXPECT_EQ(back.msec, 12);

    // A torn last line is no record, and the next record starts a line of its own.
    const std::string path = tempPath("torn.tsv");
    const BatchRecord done{"in.zol", "/nonexistent/in.zol", "done", 5, "", "blur --sigma 1"};
    {
        std::ofstream f(path);
        f << BatchManifest::format(done) << "\n" << BatchManifest::format(done).substr(0, 9);
    }
    BatchManifest m;
    std::string error;
    ASSERT_TRUE(m.open(path, &error)) << error;
    EXPECT_EQ(m.records().size(), 1u);
    ASSERT_TRUE(m.append(done));
    BatchManifest again;
    ASSERT_TRUE(again.open(path, &error));
    EXPECT_EQ(again.records().size(), 2u);
    // Recorded done, but its output is gone: not finished.
    EXPECT_FALSE(again.finished("in.zol", "/nonexistent/in.zol", "blur --sigma 1"));
    std::remove(path.c_str());

    const char *argv[] = {"zolt", "batch", "--force", "blur", "--sigma", "2"};
    const ZoltToolArgs args = zoltParseArgs(6, argv, "force");
    EXPECT_EQ(args.options.count("force"), 1u);
    EXPECT_EQ(args.options.at("sigma"), "2");
    EXPECT_EQ(args.operands, (std::vector<std::string>{"blur"}));
}
