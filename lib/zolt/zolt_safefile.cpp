// Saves through a temporary file in the target's folder, renamed over the
// target only once the data is complete on disk; see zolt_safefile.h.
#include "zolt_safefile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file a name stands for: a symbolic link is followed, so the save
// replaces the file it points to rather than the link.
std::string resolved(const char *target) {
    struct stat st;
    if (lstat(target, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char *real = realpath(target, nullptr)) {
            std::string path(real);
            std::free(real);
            return path;
        }
    }
    return target;
}

}  // namespace

FILE *ZoltSafeFile::open(const char *target) {
    abandon();
    if (!target || !*target) {
        errno = ENOENT;
        return nullptr;
    }
    target_ = resolved(target);
    struct stat st;
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe cannot be replaced, only written.
        fp_ = std::fopen(target_.c_str(), "wb");
        return fp_;
    }
    const size_t slash = target_.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".")
                            : slash == 0              ? std::string("/")
                                                      : target_.substr(0, slash);
    static std::atomic<unsigned> serial{0};  // shared by every thread that saves
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp_ = dir + "/.zolt-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".tmp";
        fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        temp_.clear();
        return nullptr;
    }
    if (exists) (void)fchmod(fd, st.st_mode & 07777);  // the new file keeps the old one's permissions
    fp_ = fdopen(fd, "wb");
    if (!fp_) {
        const int saved = errno;
        ::close(fd);
        ::unlink(temp_.c_str());
        temp_.clear();
        errno = saved;
    }
    return fp_;
}

bool ZoltSafeFile::commit() {
    if (!fp_) return false;
    bool ok = std::fflush(fp_) == 0 && !std::ferror(fp_);
    if (ok && !temp_.empty()) ok = fsync(fileno(fp_)) == 0;
    ok = std::fclose(fp_) == 0 && ok;
    fp_ = nullptr;
    if (temp_.empty()) return ok;
    if (ok) ok = std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        ::unlink(temp_.c_str());
        errno = saved;
    }
    temp_.clear();
    return ok;
}

void ZoltSafeFile::abandon() {
    if (fp_) std::fclose(fp_);
    fp_ = nullptr;
    if (!temp_.empty()) {
        const int saved = errno;
        ::unlink(temp_.c_str());
        errno = saved;
    }
    temp_.clear();
}

bool ZoltSafeWrite(const char *target, const void *data, size_t n) {
    ZoltSafeFile safe;
    FILE *fp = safe.open(target);
    return fp && std::fwrite(data, 1, n, fp) == n && safe.commit();
}
