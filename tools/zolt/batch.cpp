// zolt batch NAME INPUT... -o OUTDIR [--PARAM VALUE ...] [--type NAME]
// [--format zol|tif] [--second FILE] [-j N] [--force]: one operation of the
// table on many files, N worker threads (default: the cores), each file run
// as zolt op runs it. The manifest in OUTDIR records every file as it ends; a
// rerun skips the files done before under the same recipe; Ctrl-C lets the
// files in flight finish and starts no more.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "opfiles.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> stopRequested{false};

extern "C" void onStop(int) { stopRequested = true; }

// Ctrl-C and a polite kill end the run after the files in flight; a second
// one ends the process at once (the handler resets itself).
void catchStops() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onStop;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

// Makes the folder and its missing parents; false with the reason.
bool makeFolder(const std::string &path, std::string *error) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        struct stat st;
        if (stat(part.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) continue;
            *error = "'" + part + "' is not a folder";
            return false;
        }
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            *error = "cannot make the folder '" + part + "': " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// What the user sees: on a terminal a bar redrawn in place (failures printed
// above it), otherwise one line per file.
class Progress {
public:
    Progress(size_t total, bool terminal) : total_(total), terminal_(terminal), start_(Clock::now()) {}

    void file(const BatchRecord &r) {
        std::lock_guard<std::mutex> hold(lock_);
        if (r.status == "done") ++done_;
        else if (r.status == "failed") ++failed_;
        else ++skipped_;
        if (!terminal_) {
            if (r.status == "failed")
                std::fprintf(stderr, "failed  %s: %s\n", r.input.c_str(), r.message.c_str());
            else if (r.status == "skipped")
                std::fprintf(stderr, "skipped %s (%s)\n", r.input.c_str(), r.message.c_str());
            else
                std::fprintf(stderr, "%-7s %s -> %s (%lld ms)%s%s\n", r.status.c_str(), r.input.c_str(),
                             r.output.c_str(), r.msec, r.message.empty() ? "" : ": ", r.message.c_str());
            return;
        }
        if (r.status == "failed")
            std::fprintf(stderr, "\r\033[Kfailed  %s: %s\n", r.input.c_str(), r.message.c_str());
        const auto now = Clock::now();
        if (r.status == "failed" || now - drawn_ > std::chrono::milliseconds(100) || finished() == total_) {
            draw(now);
            drawn_ = now;
        }
    }

    // The closing line; true when no file failed.
    bool summary(bool interrupted) {
        std::lock_guard<std::mutex> hold(lock_);
        if (terminal_) std::fputs("\r\033[K", stderr);
        if (interrupted)
            std::fprintf(stderr, "interrupted: the files in flight were finished, %zu not started\n",
                         total_ - finished());
        std::fprintf(stderr, "%zu done, %zu failed, %zu skipped\n", done_, failed_, skipped_);
        return failed_ == 0;
    }

private:
    size_t finished() const { return done_ + failed_ + skipped_; }

    void draw(Clock::time_point now) {
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const size_t ran = done_ + failed_, n = finished();
        const double rate = seconds > 0 ? ran / seconds : 0;
        const int width = 30, full = total_ ? static_cast<int>(width * n / total_) : width;
        char bar[width + 1];
        for (int i = 0; i < width; ++i) bar[i] = i < full ? '#' : '-';
        bar[width] = '\0';
        char left[32] = "";
        if (rate > 0) {
            const long s = static_cast<long>((total_ - n) / rate + 0.5);
            std::snprintf(left, sizeof left, ", %ld:%02ld left", s / 60, s % 60);
        }
        std::fprintf(stderr, "\r\033[K[%s] %zu/%zu  %.1f files/s%s", bar, n, total_, rate, left);
        std::fflush(stderr);
    }

    std::mutex lock_;
    size_t total_, done_ = 0, failed_ = 0, skipped_ = 0;
    bool terminal_;
    Clock::time_point start_, drawn_;
};

int usageError(const char *who, const std::string &why) {
    std::fprintf(stderr, "zolt batch%s%s: %s\n", who ? " " : "", who ? who : "", why.c_str());
    return 2;
}

}  // namespace

int zoltBatch(const ZoltToolArgs &args) {
    // Operands: NAME and the inputs, with "-o OUTDIR" and "-j N" among them.
    std::vector<std::string> words;
    std::string outdir, jobsText;
    for (size_t i = 0; i < args.operands.size(); ++i) {
        const std::string &w = args.operands[i];
        if ((w == "-o" || w == "-j") && i + 1 < args.operands.size()) {
            (w == "-o" ? outdir : jobsText) = args.operands[++i];
        } else if (w.size() > 2 && w.compare(0, 2, "-j") == 0) {
            jobsText = w.substr(2);
        } else {
            words.push_back(w);
        }
    }
    if (words.size() < 2 || outdir.empty())
        return usageError(nullptr, "usage: zolt batch NAME INPUT... -o OUTDIR [--PARAMETER VALUE ...] "
                                   "[--type NAME] [--format zol|tif] [--second FILE] [-j N] [--force]");
    const OpEntry *op = opByName(words[0]);
    if (!op) return usageError(nullptr, "unknown operation '" + words[0] + "' (zolt op --help lists them)");
    const char *who = op->name;

    int jobs = static_cast<int>(std::thread::hardware_concurrency());
    if (!jobsText.empty()) {
        char *end = nullptr;
        const long j = std::strtol(jobsText.c_str(), &end, 10);
        if (*end != '\0' || j < 1 || j > 1024) return usageError(who, "-j '" + jobsText + "' is not 1 to 1024");
        jobs = static_cast<int>(j);
    }
    if (jobs < 1) jobs = 1;

    std::map<std::string, std::string> given = args.options;
    std::string type, format = "zol", secondName;
    for (const char *own : {"type", "format", "second", "force"}) given.erase(own);
    if (args.options.count("type")) type = args.options.at("type");
    if (args.options.count("format")) format = args.options.at("format");
    if (args.options.count("second")) secondName = args.options.at("second");
    const bool force = args.options.count("force") != 0;
    OpValues values;
    std::string error;
    if (!opValuesFromText(*op, given, values, &error)) return usageError(who, error);
    if (!type.empty() && !Zoltfindtype(type.c_str())) return usageError(who, "unknown data type '" + type + "'");
    if (format != "zol" && format != "tif") return usageError(who, "--format must be zol or tif");
    if (op->inputs == 2 && secondName.empty()) return usageError(who, "--second FILE names image 2 of every file");
    if (op->inputs == 1 && !secondName.empty()) return usageError(who, "takes one image: --second is not for it");

    std::vector<BatchItem> items;
    if (!batchPlan(std::vector<std::string>(words.begin() + 1, words.end()), outdir, format, &items, &error))
        return usageError(who, error);
    if (!makeFolder(outdir, &error)) return usageError(who, error);
    BatchManifest manifest;
    if (!manifest.open(outdir + "/" + BatchManifest::fileName, &error)) {
        std::fprintf(stderr, "zolt batch %s: %s\n", who, error.c_str());
        return 1;
    }
    ZoltErrorMode = 1;  // failures are told per file, not as library reports
    ZoltHeader *second = nullptr;
    if (!secondName.empty() && !(second = opReadImage(secondName, &error))) {
        std::fprintf(stderr, "zolt batch %s: %s; nothing run\n", who, error.c_str());
        return 1;
    }

    const std::string recipe = batchRecipe(*op, values, type, format == "zol" ? "" : format, secondName);
    Progress progress(items.size(), isatty(fileno(stderr)) != 0);
    std::vector<const BatchItem *> todo;
    bool manifestOk = true;
    for (const BatchItem &item : items) {
        if (force || !manifest.finished(item.input, item.output, recipe)) {
            todo.push_back(&item);
            continue;
        }
        const BatchRecord skip{item.input, item.output, "skipped", 0, "done before", recipe};
        manifestOk = manifest.append(skip) && manifestOk;
        progress.file(skip);
    }

    catchStops();
    std::atomic<size_t> next{0};
    std::atomic<bool> manifestFailed{!manifestOk};
    const auto work = [&]() {
        ZoltErrorMode = 1;
        while (!stopRequested && !manifestFailed) {
            const size_t i = next++;
            if (i >= todo.size()) return;
            const BatchItem &item = *todo[i];
            const auto t0 = Clock::now();
            const OpFileResult r = opRunFile(*op, values, item.input, second, item.output, type);
            const long long ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
            const BatchRecord rec{item.input, item.output, r.ok ? "done" : "failed", ms, r.message, recipe};
            if (!manifest.append(rec)) manifestFailed = true;
            progress.file(rec);
        }
    };
    std::vector<std::thread> pool;
    const size_t threads = std::min<size_t>(static_cast<size_t>(jobs), todo.size());
    for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    if (threads) work();
    for (std::thread &t : pool) t.join();
    if (second) Zoltfree(second, 7);

    const bool interrupted = stopRequested && next < todo.size();
    const bool clean = progress.summary(interrupted);
    if (manifestFailed) {
        std::fprintf(stderr, "zolt batch %s: the manifest could not be written; the run stopped\n", who);
        return 1;
    }
    return interrupted ? 130 : clean ? 0 : 1;
}
