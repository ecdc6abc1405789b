// Saves that never destroy a file: the data goes to a temporary file in the
// target's folder (unnamed where the file system allows, so a killed process
// leaves nothing), which replaces the target (by rename) only after a complete
// write, flush, sync and close; the folder is synced after. A failed or
// abandoned save removes the temporary file and leaves the old target as it
// was; a save also removes named leftovers of earlier saves to the same
// target whose process is gone. The new file keeps the old one's owner, group
// and mode where it may; a target the user may not write is refused. Links,
// dangling ones too, are written through. Targets that exist and are not
// regular files (devices, pipes) are written in place.
#ifndef ZOLT_SAFEFILE_H
#define ZOLT_SAFEFILE_H

#include <cstdio>
#include <string>

class ZoltSafeFile {
public:
    ZoltSafeFile() = default;
    ~ZoltSafeFile() { abandon(); }
    ZoltSafeFile(const ZoltSafeFile &) = delete;
    ZoltSafeFile &operator=(const ZoltSafeFile &) = delete;

    // Opens the file to write for `target` ("wb"); null (errno set) on failure.
    FILE *open(const char *target);
    FILE *file() const { return fp_; }

    // Flushes, syncs and closes the file, then puts it in the target's place.
    // False when any step fails: the temporary file is gone, the target is as
    // it was (a target written in place may be partly written).
    bool commit();
    // Closes and removes the temporary file; the target keeps its old contents.
    void abandon();

private:
    FILE *fp_ = nullptr;
    std::string target_;
    std::string temp_;  // empty when the target is written in place
    bool unnamed_ = false;  // the file has no name yet; temp_ is the one it gets
};

// ZoltOpen(name, "wb", prompt, count) through a safe file: the same name
// expansion, prompting and reports. The name "-" gives the standard output and
// leaves `safe` closed; any other name opens `safe` and returns its file.
FILE *ZoltOpenSafe(const char *name, const char *prompt, int count, ZoltSafeFile &safe);

// Puts n bytes in the place of `target` through a safe file; false (errno
// set, the old target untouched) when they cannot all be written.
bool ZoltSafeWrite(const char *target, const void *data, size_t n);

#endif
