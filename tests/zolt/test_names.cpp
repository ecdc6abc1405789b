// File names: environment variables braced and unbraced, unset variables and
// missing braces, the "~" prefix, very long expansions, reading a name from a
// stream, and opening with "-" for the standard streams.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "zolt.h"
#include "zolt_file_helpers.h"

using namespace zolttest;

namespace {

struct Names : ZoltTest {
    void SetUp() override {
        ZoltTest::SetUp();
        setenv("ZOLTDIR", "/data/run7", 1);
        setenv("ZOLTA", "abc", 1);
        unsetenv("ZOLTNOSUCHVAR");
    }
    // The expansion as a std::string, "<null>" when refused.
    std::string prs(const char *name, int *status = nullptr) {
        int st = -7;
        char *out = ZoltPrsFN(name, &st);
        if (status) *status = st;
        std::string result = out ? out : "<null>";
        Zoltcfree(out);
        return result;
    }
};

TEST_F(Names, BracedAndUnbracedVariablesExpandAlike) {
    int status = -1;
    EXPECT_EQ(prs("$ZOLTDIR/img.zol", &status), "/data/run7/img.zol");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(prs("${ZOLTDIR}/img.zol"), "/data/run7/img.zol");
    EXPECT_EQ(prs("x$ZOLTA.y"), "xabc.y");
    // Unbraced names stop at characters outside letters and digits, '_' included.
    EXPECT_EQ(prs("$ZOLTA_b"), "abc_b");
    EXPECT_EQ(prs("${ZOLTA}${ZOLTA}"), "abcabc");
    EXPECT_EQ(prs("plain/name.zol"), "plain/name.zol");
}

TEST_F(Names, UnsetVariableFailsNamingIt) {
    ZoltErrorMode = 8;
    ZoltVerbose = 0;
    testing::internal::CaptureStderr();
    int status = 0;
    EXPECT_EQ(prs("/a/$ZOLTNOSUCHVAR/b", &status), "<null>");
    const std::string err = testing::internal::GetCapturedStderr();
    ZoltVerbose = 1;
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("\nZoltEnv: no environment variable `ZOLTNOSUCHVAR'.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("\nZoltPrsFN: Error while expanding environment variables in name.\n"),
              std::string::npos);
}

TEST_F(Names, BracedNameWithoutClosingBraceFails) {
    ZoltErrorMode = 8;
    ZoltVerbose = 0;
    testing::internal::CaptureStderr();
    int status = 0;
    char *out = ZoltEnv("${ZOLTDIR/x.zol", &status);
    const std::string err = testing::internal::GetCapturedStderr();
    ZoltVerbose = 1;
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("ZoltEnv: no closing '}' in env. var. name."), std::string::npos) << err;
}

TEST_F(Names, TildeGetsTheHomePrefixOnlyBeforeSlashOrEnd) {
    EXPECT_EQ(prs("~user/images/a.zol"), "K:\\~user/images/a.zol");
    EXPECT_EQ(prs("~user"), "K:\\~user");
    EXPECT_EQ(prs("~/a.zol"), "K:\\~/a.zol");
    EXPECT_EQ(prs("~us.er/a.zol"), "~us.er/a.zol");  // '.' ends the user name early
    EXPECT_EQ(prs("a~b"), "a~b");
}

TEST_F(Names, LongExpansionsNeverOverflow) {
    const std::string value(2000, 'q');
    setenv("ZOLTLONG", value.c_str(), 1);
    int status = -1;
    const std::string out = prs("/$ZOLTLONG/${ZOLTLONG}.zol", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "/" + value + "/" + value + ".zol");
    unsetenv("ZOLTLONG");
}

// ZoltGetFN reads from a stream written by the test.
char *nameFrom(const char *text) {
    FILE *fp = std::tmpfile();
    std::fputs(text, fp);
    std::rewind(fp);
    char *name = ZoltGetFN(nullptr, fp);
    std::fclose(fp);
    return name;
}

TEST_F(Names, NamesReadFromAStream) {
    char *name = nameFrom("  \t\n my\\ file.zol rest\n");
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "my file.zol");  // the backslash keeps the blank
    Zoltcfree(name);
    name = nameFrom("$ZOLTDIR/b.zol\n");
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "/data/run7/b.zol");
    Zoltcfree(name);

    EXPECT_EQ(nameFrom(""), nullptr);
    EXPECT_EQ(ZoltErrorCode, 448);
    const std::string longest(254, 'n');
    name = nameFrom((longest + "\n").c_str());
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::strlen(name), 254u);
    Zoltcfree(name);
    EXPECT_EQ(nameFrom((longest + "n\n").c_str()), nullptr);
}

using Open = Names;

TEST_F(Open, DashIsTheStandardStreamAndCloseLeavesItOpen) {
    EXPECT_EQ(ZoltOpen("-", "wb", nullptr, 5), stdout);
    EXPECT_EQ(ZoltOpen("-", "rb", nullptr, 5), stdin);
    EXPECT_EQ(ZoltOpen(nullptr, "w", nullptr, 5), stdout);
    EXPECT_EQ(ZoltOpen(nullptr, "r", nullptr, 5), stdin);
    EXPECT_EQ(ZoltOpen(nullptr, "a", nullptr, 5), nullptr);
    EXPECT_EQ(ZoltClose(stdout), 0);
    EXPECT_EQ(ZoltClose(stderr), 0);
    EXPECT_EQ(ZoltClose(stdin), 0);
    EXPECT_GE(std::fflush(stdout), 0);
    EXPECT_GT(std::printf("%s", ""), -1);  // still usable
    EXPECT_EQ(std::ferror(stdout), 0);
}

TEST_F(Open, ExpandsTheNameAndReportsFailures) {
    const std::string path = tempPath("open.zol");
    const std::string dir = path.substr(0, path.rfind('/'));
    setenv("ZOLTTMPDIR", dir.c_str(), 1);
    const std::string name = "${ZOLTTMPDIR}" + path.substr(path.rfind('/'));
    FILE *fp = ZoltOpen(name.c_str(), "wb", nullptr, 5);
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(ZoltClose(fp), 0);
    EXPECT_TRUE(fileExists(path));
    std::remove(path.c_str());

    ZoltErrorMode = 8;
    ZoltVerbose = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ZoltOpen("/no/such/folder/x.zol", "rb", nullptr, 5), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ZoltErrorCode, 64);
    EXPECT_NE(err.find("ZoltOpen: Unable to open file `/no/such/folder/x.zol'."), std::string::npos) << err;

    testing::internal::CaptureStderr();
    EXPECT_EQ(ZoltOpen("$ZOLTNOSUCHVAR/x.zol", "rb", nullptr, 5), nullptr);
    err = testing::internal::GetCapturedStderr();
    ZoltVerbose = 1;
    EXPECT_EQ(ZoltErrorCode, 256);
    EXPECT_NE(err.find("ZoltOpen: Bad filename or error in filename expansion."), std::string::npos) << err;
    EXPECT_EQ(ZoltDepth, 0);
}

}  // namespace
