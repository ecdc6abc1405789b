// Library state and error reporting: every failure in the library sets
// ZoltErrorCode and goes through Zoltext or one of its two companions here.
#include "zolt.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
thread_local int errorCode = 0;
thread_local int errorMode = 8;
thread_local int depth = 0;
}  // namespace

int &ZoltErrorCodeOfThread() { return errorCode; }
int &ZoltErrorModeOfThread() { return errorMode; }
int &ZoltDepthOfThread() { return depth; }
int ZoltVerbose = 1;
int ZoltCheckAccess = 1;
unsigned char ZoltNativeMach = ZOLT_NATIVE_MACH;
std::atomic<int> ZoltChatter{1};

namespace {

// What the calling thread reported last, so a report repeats no code line.
thread_local int lastReportedCode = 0;
thread_local int lastReportedErrno = 0;
thread_local std::string lastMessage;

void keep(const char *message) { lastMessage = message ? message : ""; }

// The message and, when verbose, the code lines not reported just before.
void printReport(const char *message) {
    std::fprintf(stderr, "\n%s\n", message ? message : "");
    if (ZoltVerbose) {
        if (ZoltErrorCode != 0 && ZoltErrorCode != lastReportedCode)
            std::fprintf(stderr, "\tOLT error code:    $%08x = %d\n",
                         static_cast<unsigned>(ZoltErrorCode), ZoltErrorCode);
        if (errno != 0 && errno != lastReportedErrno)
            std::fprintf(stderr, "\tSystem error code: $%08x = %d (%s)\n",
                         static_cast<unsigned>(errno), errno, std::strerror(errno));
    }
    std::fflush(stderr);
}

// Ends the process in the exiting mode with the code as its status. A status
// keeps only the low 8 bits, so the codes 256, 512, 1024, 4096 and 8192 would
// tell the parent process that all went well: those end with status 1.
[[noreturn]] void endProcess(int code) {
    std::exit((code & 0xff) != 0 ? code : 1);
}

}  // namespace

int Zoltext(const char *message) {
    keep(message);
    if (ZoltErrorMode != 1) printReport(message);
    lastReportedCode = ZoltErrorCode;
    lastReportedErrno = errno;
    if (ZoltDepth < 0) ZoltDepth = 0;
    if (ZoltErrorMode == 64 && ZoltDepth <= 1) endProcess(ZoltErrorCode);
    return 0;
}

int Zoltwarn(const char *message) {
    keep(message);
    if (ZoltErrorMode != 1) printReport(message);
    lastReportedCode = ZoltErrorCode;
    lastReportedErrno = errno;
    return 0;
}

int Zoltshort(const char *message) {
    keep(message);
    if (ZoltErrorMode != 1) {
        std::fprintf(stderr, "%s\n", message ? message : "");
        std::fflush(stderr);
    }
    if (ZoltErrorMode == 64) endProcess(ZoltErrorCode);
    return 0;
}

const char *ZoltLastMessage() { return lastMessage.c_str(); }

int Zoltsay(const char *format, ...) {
    if (!ZoltChatter.load(std::memory_order_relaxed)) return 0;
    va_list args;
    va_start(args, format);
    const int n = std::vprintf(format, args);
    va_end(args);
    return n;
}
