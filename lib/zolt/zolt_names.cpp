// File names and opening: environment variables inside names ($NAME, ${NAME}),
// the "~" home shorthand, "-" for the standard streams, and prompting on a
// terminal with a few retries. Expanded names may be of any length.
#include "zolt.h"
#include "zolt_safefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const char kUnbraced[] = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const char kBraced[] =
    "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ._/+=-_[]?~:*,%#";
const char kUserName[] = "abcdefghijklmnopqrstuvwxyz0123456789_ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const char kHomePrefix[] = "K:\\";

bool inClass(const char *cls, char c) {
    return c != '\0' && std::strchr(cls, c) != nullptr;
}

size_t runOf(const char *cls, const char *s) {
    size_t n = 0;
    while (inClass(cls, s[n])) ++n;
    return n;
}

// A library-owned copy of a text, or null with status 2 and the given report.
char *libraryCopy(const std::string &text, int *status, const char *message) {
    auto *copy = static_cast<char *>(ZoltCallocHook(text.size() + 1, 1));
    if (!copy) {
        *status = 2;
        ZoltErrorCode = ZOLT_ENOMEM;
        Zoltext(message);
        return nullptr;
    }
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// Reports with the offending text inside; the text may be of any length.
void reportWith(const char *format, const char *text) {
    std::string message(std::strlen(format) + std::strlen(text) + 1, '\0');
    std::snprintf(&message[0], message.size(), format, text);
    Zoltext(message.c_str());
}

bool stdinIsTerminal() { return isatty(fileno(stdin)) != 0; }

FILE *standardStream(const char *mode) {
    if (std::strchr(mode, 'w')) return stdout;
    if (std::strchr(mode, 'r')) return stdin;
    return nullptr;
}

}  // namespace

char *ZoltEnv(const char *name, int *status) {
    ZoltDepthGuard depth;
    int dummy = 0;
    if (!status) status = &dummy;
    *status = 0;
    if (!name) {
        *status = 1;
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("ZoltEnv: NULL passed as name.");
        return nullptr;
    }
    // The expansion grows as needed, so long values never overflow it.
    std::string out;
    const char *p = name;
    while (*p) {
        if (*p != '$') {
            out += *p++;
            continue;
        }
        ++p;
        std::string var;
        if (*p == '{') {
            ++p;
            const size_t n = runOf(kBraced, p);
            var.assign(p, n);
            p += n;
            if (*p != '}') {
                *status = 1;
                ZoltErrorCode = ZOLT_EFILENAME;
                Zoltext("ZoltEnv: no closing '}' in env. var. name.");
                return nullptr;
            }
            ++p;
        } else {
            const size_t n = runOf(kUnbraced, p);
            var.assign(p, n);
            p += n;
        }
        const char *value = std::getenv(var.c_str());
        if (!value) {
            *status = 1;
            ZoltErrorCode = ZOLT_EFILENAME;
            reportWith("ZoltEnv: no environment variable `%s'.", var.c_str());
            return nullptr;
        }
        out += value;
    }
    return libraryCopy(out, status, "ZoltEnv: couldn't allocate memory to store name in.");
}

char *ZoltPrsFN(const char *name, int *status) {
    ZoltDepthGuard depth;
    int dummy = 0;
    if (!status) status = &dummy;
    *status = 0;
    char *expanded = ZoltEnv(name, status);
    if (!expanded) {
        Zoltext("ZoltPrsFN: Error while expanding environment variables in name.");
        return nullptr;
    }
    if (expanded[0] != '~') return expanded;
    const char end = expanded[1 + runOf(kUserName, expanded + 1)];
    if (end != '\0' && end != '/') return expanded;
    std::string prefixed = std::string(kHomePrefix) + expanded;
    Zoltcfree(expanded);
    return libraryCopy(prefixed, status, "ZoltPrsFN: can't allocate memory to store filename in.");
}

char *ZoltGetFN(const char *prompt, FILE *in) {
    ZoltDepthGuard depth;
    // The collected name: at most 254 characters.
    char buffer[256];
    if (!in) {
        ZoltErrorCode = ZOLT_ENULL;
        Zoltext("ZoltGetFN: file pointer passed was NULL.");
        return nullptr;
    }
    if (prompt && stdinIsTerminal()) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
    }
    size_t len = 0;
    bool started = false;
    for (;;) {
        int c = std::getc(in);
        if (c == EOF) {
            ZoltErrorCode = ZOLT_EIO;
            Zoltext("ZoltGetFN: I/O error or EOF when reading filename.");
            return nullptr;
        }
        if (c == '\\') {
            c = std::getc(in);
            if (c == EOF) {
                ZoltErrorCode = ZOLT_EIO;
                Zoltext("ZoltGetFN: I/O error or EOF when reading filename.");
                return nullptr;
            }
        } else if (c < 33 || c > 126) {
            if (started) break;
            continue;
        }
        started = true;
        if (len >= 254) {
            ZoltErrorCode = ZOLT_EFILENAME;
            Zoltext("ZoltGetFN: Buffer Overflow (Filename too long).");
            return nullptr;
        }
        buffer[len++] = static_cast<char>(c);
    }
    buffer[len] = '\0';
    int status = 0;
    return ZoltPrsFN(buffer, &status);
}

namespace {

// ZoltOpen's name handling, prompting and reports; with `safe`, the path is
// opened for writing through it (a temporary file beside the target).
FILE *openNamed(const char *name, const char *mode, const char *prompt, int count, ZoltSafeFile *safe) {
    if (!mode) mode = "";
    if (!name) return standardStream(mode);
    const bool interactive = stdinIsTerminal() && name[0] == '\0' && prompt;
    int retries = interactive ? count : 0;
    for (;;) {
        int status = 0;
        char *path = name[0] ? ZoltPrsFN(name, &status) : ZoltGetFN(prompt, stdin);
        if (!path) {
            if (interactive && retries > 0) {
                std::fputs("Invalid filename(?) -- please enter another name --\n", stderr);
                --retries;
                continue;
            }
            if (interactive) std::fputs("ZoltOpen:  Error count exceeded.  I give up.\n", stderr);
            ZoltErrorCode = ZOLT_EFILENAME;
            Zoltext("ZoltOpen: Bad filename or error in filename expansion.");
            return nullptr;
        }
        if (std::strcmp(path, "-") == 0) {
            Zoltcfree(path);
            return standardStream(mode);
        }
        FILE *fp = safe ? safe->open(path) : std::fopen(path, mode);
        if (fp) {
            Zoltcfree(path);
            return fp;
        }
        if (!interactive || retries <= 0) {
            ZoltErrorCode = ZOLT_EOPEN;
            if (interactive) std::fputs("ZoltOpen:  Error count exceeded.  I give up.\n", stderr);
            reportWith("ZoltOpen: Unable to open file `%s'.", path);
            Zoltcfree(path);
            return nullptr;
        }
        errno = 0;
        std::fprintf(stderr, "Couldn't open file `%s' -- please enter another name --\n", path);
        Zoltcfree(path);
        --retries;
    }
}

}  // namespace

FILE *ZoltOpen(const char *name, const char *mode, const char *prompt, int count) {
    ZoltDepthGuard depth;
    return openNamed(name, mode, prompt, count, nullptr);
}

FILE *ZoltOpenSafe(const char *name, const char *prompt, int count, ZoltSafeFile &safe) {
    ZoltDepthGuard depth;
    return openNamed(name, "wb", prompt, count, &safe);
}
