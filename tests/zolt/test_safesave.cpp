// Saves under hostile conditions: a writer killed midway, leftovers of dead
// writers, a file of another owner or one the user may not write, a dangling
// link; and names that hold "$" taken literally where a person chose them.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "zolt_file_helpers.h"
#include "zolt_safefile.h"

using namespace zolttest;

namespace {

// A fresh folder of its own, removed with all it holds after the test.
struct SafeSave : ZoltFileTest {
    void SetUp() override {
        ZoltFileTest::SetUp();
        dir = tempPath("safe-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
        ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    }
    void TearDown() override {
        for (const std::string &n : entries()) std::remove((dir + "/" + n).c_str());
        rmdir(dir.c_str());
        ZoltFileTest::TearDown();
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        if (DIR *d = opendir(dir.c_str())) {
            while (const dirent *e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }
    std::string dir;
};

const std::vector<unsigned char> kOld{'o', 'l', 'd'}, kNew{'n', 'e', 'w', '!'};

bool save(const std::string &path, const std::vector<unsigned char> &bytes) {
    return ZoltSafeWrite(path.c_str(), bytes.data(), bytes.size());
}

TEST_F(SafeSave, AWriterKilledMidwayLeavesNothingThatOutlivesTheNextSave) {
    const std::string target = dir + "/t.zol";
    ASSERT_TRUE(save(target, kOld));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ZoltSafeFile safe;
        FILE *fp = safe.open(target.c_str());
        std::vector<char> block(1 << 20, 'x');
        if (fp) std::fwrite(block.data(), 1, block.size(), fp), std::fflush(fp);
        raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readFile(target), kOld);
    // What a writer on a file system without unnamed files, killed between
    // naming its file and the rename, would have left:
    const std::string leftover = dir + "/.t.zol.zolt-" + std::to_string(child) + "-7.tmp";
    const std::string otherTarget = dir + "/.u.zol.zolt-" + std::to_string(child) + "-8.tmp";
    ASSERT_TRUE(writeFile(leftover, kOld));
    ASSERT_TRUE(writeFile(otherTarget, kOld));
    ASSERT_TRUE(save(target, kNew));
    EXPECT_EQ(readFile(target), kNew);
    std::vector<std::string> names = entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".u.zol.zolt-" + std::to_string(child) + "-8.tmp", "t.zol"}));
}

TEST_F(SafeSave, ASavedOverFileKeepsOwnerGroupAndModeAndAnUnwritableOneIsRefused) {
    const std::string owned = dir + "/owned.zol", locked = dir + "/locked.zol";
    ASSERT_TRUE(save(owned, kOld));
    ASSERT_TRUE(save(locked, kOld));
    ASSERT_EQ(chmod(owned.c_str(), 0640), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    if (geteuid() != 0) {
        // Our own 0444 file: a plain write would fail, so must the save.
        EXPECT_FALSE(save(locked, kNew));
        EXPECT_EQ(readFile(locked), kOld);
        GTEST_SKIP() << "owner and group of another user need root";
    }
    ASSERT_EQ(chown(owned.c_str(), 4242, 4343), 0);
    ASSERT_TRUE(save(owned, kNew));
    struct stat st;
    ASSERT_EQ(stat(owned.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4242u);
    EXPECT_EQ(st.st_gid, 4343u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(owned), kNew);
    // Another user in a folder everyone may write: the 0444 file is not theirs to replace.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        _exit(save(locked, kNew) ? 1 : errno == EACCES ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(locked), kOld);
    ASSERT_EQ(stat(locked.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
}

TEST_F(SafeSave, ADanglingLinkIsWrittenThroughAndStaysALink) {
    const std::string link = dir + "/link.zol", target = dir + "/target.zol";
    ASSERT_EQ(symlink("target.zol", link.c_str()), 0);
    ASSERT_TRUE(save(link, kNew));
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(target), kNew);
}

// A dialog's or a command line's "$" is part of the name; typed names and
// library callers that ask for it still get variables expanded, and a name
// that exists as it is given is read as given.
TEST_F(SafeSave, ChosenNamesAreTakenLiterallyTypedOnesExpanded) {
    ASSERT_EQ(setenv("ZOLTSAFEVAR", "expanded", 1), 0);
    ZoltHeader *h = image("float", {4, 3});
    static_cast<float *>(h->oltptr)[5] = 7.0f;
    const std::string literal = dir + "/a$ZOLTSAFEVAR.zol";
    ASSERT_EQ(Zoltpotlit(h, literal.c_str()), -1);
    EXPECT_TRUE(fileExists(literal));
    EXPECT_FALSE(fileExists(dir + "/aexpanded.zol"));
    for (ZoltHeader *r : {keep(Zoltpinlit(literal.c_str())), keep(Zoltpin(literal.c_str()))}) {
        ASSERT_TRUE(r);
        EXPECT_EQ(static_cast<const float *>(r->oltptr)[5], 7.0f);
    }
    ASSERT_EQ(Zoltpot(h, literal.c_str()), -1);
    EXPECT_TRUE(fileExists(dir + "/aexpanded.zol"));
    unsetenv("ZOLTSAFEVAR");
}

}  // namespace

namespace {

// Reports on standard error while `run` runs, captured.
template <class F>
std::string stderrOf(F run) {
    std::fflush(stderr);
    const std::string path = tempPath("stderr.txt");
    const int saved = dup(2);
    FILE *to = std::fopen(path.c_str(), "w");
    dup2(fileno(to), 2);
    run();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::fclose(to);
    const std::vector<unsigned char> b = readFile(path);
    std::remove(path.c_str());
    return std::string(b.begin(), b.end());
}

// A full disk is named in words, and the failed data write says so.
TEST_F(SafeSave, AFullDiskIsReportedInWords) {
    if (!fileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    ZoltHeader *h = image("float", {200, 200});
    h->oltcomp = 0;
    ZoltErrorMode = 8;
    ZoltVerbose = 1;
    int result = 0;
    const std::string said = stderrOf([&] { result = Zoltpot(h, "/dev/full"); });
    ZoltErrorMode = 1;
    EXPECT_EQ(result, 0);
    EXPECT_NE(said.find("ZoltWrImg: I/O error when writing the image data."), std::string::npos) << said;
    EXPECT_NE(said.find("(No space left on device)"), std::string::npos) << said;
}

// An allocation above the user's limit is refused with both sizes named,
// however small the file that asks for it.
TEST_F(SafeSave, AllocationsAboveTheLimitAreRefusedWithSizeAndLimit) {
    ASSERT_EQ(setenv("ZOLT_MAX_IMAGE_BYTES", "100000", 1), 0);
    const int dims[3] = {2, 200, 200};  // 160000 bytes of float
    ZoltErrorMode = 8;
    ZoltHeader *made = nullptr;
    const std::string said = stderrOf([&] { made = Zoltcreate("float", dims, 11, 0); });
    ZoltErrorMode = 1;
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(ZoltErrorCode, ZOLT_ENOMEM);
    EXPECT_NE(said.find("160000 bytes requested"), std::string::npos) << said;
    EXPECT_NE(said.find("limit of 100000 bytes"), std::string::npos) << said;
    const int small[3] = {2, 100, 100};
    EXPECT_NE(keep(Zoltcreate("float", small, 11, 0)), nullptr);
    unsetenv("ZOLT_MAX_IMAGE_BYTES");
    EXPECT_GT(Zoltmemlimit(), size_t{1} << 20);  // the machine's available memory
}

}  // namespace
