// Saves through a temporary file in the target's folder, renamed over the
// target only once the data is complete on disk; see zolt_safefile.h.
#include "zolt_safefile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> serial{0};

std::string folderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string baseOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a name stands for: symbolic links are followed, dangling ones
// too, so the save writes the file a link points to rather than the link.
std::string resolved(const char *target) {
    std::string path = target;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        char link[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
        if (n <= 0) break;
        link[n] = '\0';
        path = link[0] == '/' ? std::string(link) : folderOf(path) + "/" + link;
    }
    return path;
}

// The prefix of the temporary names of saves to `base`: ".NAME.zolt-". A
// long name is cut so that the whole temporary name fits a folder entry.
std::string tempPrefix(const std::string &base) { return "." + base.substr(0, 200) + ".zolt-"; }

// Removes temporary files of saves to the same target (and of the older,
// target-less naming ".zolt-PID-N.tmp") whose writing process is gone: what
// a save killed midway left behind.
void removeDeadLeftovers(const std::string &dir, const std::string &prefix) {
    DIR *d = opendir(dir.c_str());
    if (!d) return;
    const int saved = errno;
    while (dirent *e = readdir(d)) {
        const char *name = e->d_name;
        const char *rest = nullptr;
        if (std::strncmp(name, prefix.c_str(), prefix.size()) == 0)
            rest = name + prefix.size();
        else if (std::strncmp(name, ".zolt-", 6) == 0)
            rest = name + 6;
        if (!rest) continue;
        char *end = nullptr;
        const long pid = std::strtol(rest, &end, 10);
        if (pid <= 0 || *end != '-') continue;
        const size_t len = std::strlen(end);
        if (len < 5 || std::strcmp(end + len - 4, ".tmp") != 0) continue;
        if (pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        (void)unlinkat(dirfd(d), name, 0);
    }
    closedir(d);
    errno = saved;
}

// A fresh name for a temporary file beside the target.
// The process's umask, read without changing it: umask() can only be read by
// setting it, which would race with other threads creating files.
mode_t currentUmask() {
    mode_t mask = 022;
    if (FILE *fp = std::fopen("/proc/self/status", "r")) {
        char line[256];
        unsigned value;
        while (std::fgets(line, sizeof line, fp))
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        std::fclose(fp);
    }
    return mask;
}

std::string tempName(const std::string &dir, const std::string &prefix) {
    return dir + "/" + prefix + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".tmp";
}

// Makes sure the folder's entry for a rename is on disk. Best effort: some
// file systems cannot sync a folder.
void syncFolder(const std::string &dir) {
    const int saved = errno;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)fsync(fd);
        ::close(fd);
    }
    errno = saved;
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
    // A file the user may not write is refused, as a plain write would be,
    // rather than replaced through the folder's write permission.
    if (exists && access(target_.c_str(), W_OK) != 0) return nullptr;
    const std::string dir = folderOf(target_);
    const std::string prefix = tempPrefix(baseOf(target_));
    removeDeadLeftovers(dir, prefix);

    // An unnamed file leaves nothing behind if the process dies; it gets a
    // name only just before the rename. It is linked in through /proc.
    int fd = -1;
#ifdef O_TMPFILE
    if (access("/proc/self/fd", X_OK) == 0) {
        fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // O_TMPFILE ignores the umask on some file systems: apply it.
            (void)fchmod(fd, 0666 & ~currentUmask());
        }
    }
#endif
    unnamed_ = fd >= 0;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp_ = tempName(dir, prefix);
        fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        temp_.clear();
        return nullptr;
    }
    if (unnamed_) temp_ = tempName(dir, prefix);
    if (exists) {
        // The new file keeps the old one's owner and group where the process
        // may give them (root, or a group of its own), and its permissions.
        if (st.st_uid != geteuid() || st.st_gid != getegid()) (void)fchown(fd, st.st_uid, st.st_gid);
        (void)fchmod(fd, st.st_mode & 07777);
    }
    fp_ = fdopen(fd, "wb");
    if (!fp_) {
        const int saved = errno;
        ::close(fd);
        if (!unnamed_) ::unlink(temp_.c_str());
        temp_.clear();
        errno = saved;
    }
    return fp_;
}

bool ZoltSafeFile::commit() {
    if (!fp_) return false;
    bool ok = std::fflush(fp_) == 0 && !std::ferror(fp_);
    if (ok && !temp_.empty()) ok = fsync(fileno(fp_)) == 0;
    if (ok && unnamed_) {
        const std::string self = "/proc/self/fd/" + std::to_string(fileno(fp_));
        ok = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp_.c_str(), AT_SYMLINK_FOLLOW) == 0;
        if (!ok) unnamed_ = false, temp_ = std::string();  // nothing was named
        if (!ok && errno == 0) errno = EIO;
    }
    const int saved = errno;
    ok = std::fclose(fp_) == 0 && ok;
    if (!ok && errno == 0) errno = saved;
    fp_ = nullptr;
    unnamed_ = false;
    if (temp_.empty()) return ok;
    if (ok) ok = std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (ok) {
        syncFolder(folderOf(target_));
    } else {
        const int err = errno;
        ::unlink(temp_.c_str());
        errno = err;
    }
    temp_.clear();
    return ok;
}

void ZoltSafeFile::abandon() {
    if (fp_) std::fclose(fp_);
    fp_ = nullptr;
    if (!temp_.empty() && !unnamed_) {
        const int saved = errno;
        ::unlink(temp_.c_str());
        errno = saved;
    }
    unnamed_ = false;
    temp_.clear();
}

bool ZoltSafeWrite(const char *target, const void *data, size_t n) {
    ZoltSafeFile safe;
    FILE *fp = safe.open(target);
    return fp && std::fwrite(data, 1, n, fp) == n && safe.commit();
}
