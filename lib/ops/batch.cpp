// The pieces of a batch run: the plan of inputs and outputs (folders stand
// for their image files), the recipe of a run and the manifest, a
// tab-separated record appended one whole line at a time so that a killed
// run leaves every finished file recorded and at most one torn last line.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "opfiles.h"

namespace {

constexpr const char *kHeading = "input\toutput\tstatus\tms\tmessage\trecipe";

std::string lower(std::string s) {
    for (char &c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

// The name's last extension, lower case, and its stem (the name without
// folder and extension).
std::string extensionOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return lower(path.substr(dot + 1));
}
std::string stemOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool isImageName(const std::string &name) {
    if (name.empty() || name[0] == '.') return false;
    const std::string e = extensionOf(name);
    return e == "zol" || e == "zolt" || e == "olt" || e == "tif" || e == "tiff";
}

bool isFolder(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether two paths name one existing file.
bool sameFile(const std::string &a, const std::string &b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string escaped(const std::string &s) {
    std::string out;
    for (char c : s) switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    return out;
}

std::string unescaped(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

bool writeAll(int fd, const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool batchPlan(const std::vector<std::string> &inputs, const std::string &outdir, const std::string &format,
               std::vector<BatchItem> *items, std::string *error) {
    std::vector<std::string> files;
    for (const std::string &in : inputs) {
        if (in.empty() || in == "-") {
            *error = "'" + in + "' is not a file a batch can read";
            return false;
        }
        if (!isFolder(in)) {
            files.push_back(in);
            continue;
        }
        DIR *dir = opendir(in.c_str());
        if (!dir) {
            *error = "cannot list the folder '" + in + "': " + std::strerror(errno);
            return false;
        }
        std::vector<std::string> names;
        while (const dirent *e = readdir(dir))
            if (isImageName(e->d_name)) names.push_back(e->d_name);
        closedir(dir);
        std::sort(names.begin(), names.end());
        const std::string prefix = in.back() == '/' ? in : in + "/";
        for (const std::string &n : names)
            if (!isFolder(prefix + n)) files.push_back(prefix + n);
    }
    if (files.empty()) {
        *error = "no input files";
        return false;
    }
    std::string dir = outdir;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    const std::string suffix = format == "tif" ? ".tif" : ".zol";
    std::map<std::string, std::string> byStem;
    items->clear();
    for (const std::string &f : files) {
        const std::string stem = stemOf(f);
        const auto seen = byStem.emplace(stem, f);
        if (!seen.second) {
            *error = "'" + seen.first->second + "' and '" + f + "' would both be written to " + stem + suffix;
            return false;
        }
        BatchItem item{f, dir + "/" + stem + suffix};
        if (sameFile(item.input, item.output)) {
            *error = "the result of '" + f + "' would replace the file itself";
            return false;
        }
        items->push_back(item);
    }
    return true;
}

std::string batchRecipe(const OpEntry &op, const OpValues &values, const std::string &type,
                        const std::string &format, const std::string &second) {
    std::string r = op.name;
    char buf[64];
    for (int k = 0; k < op.paramCount(); ++k) {
        r += std::string(" --") + op.params[k].name + " ";
        if (op.params[k].kind == OpKind::Text) {
            r += "'" + values.text[k] + "'";
        } else {
            std::snprintf(buf, sizeof buf, "%.17g", values.number[k]);
            r += buf;
        }
    }
    if (!type.empty()) r += " --type " + type;
    if (!format.empty()) r += " --format " + format;
    if (!second.empty()) r += " --second '" + second + "'";
    return r;
}

BatchManifest::~BatchManifest() {
    if (fd_ >= 0) ::close(fd_);
}

std::string BatchManifest::format(const BatchRecord &r) {
    return escaped(r.input) + "\t" + escaped(r.output) + "\t" + escaped(r.status) + "\t" + std::to_string(r.msec) +
           "\t" + escaped(r.message) + "\t" + escaped(r.recipe);
}

bool BatchManifest::parse(const std::string &line, BatchRecord *r) {
    std::vector<std::string> f;
    size_t from = 0;
    for (;;) {
        const size_t tab = line.find('\t', from);
        f.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    if (f.size() != 6 || line == kHeading) return false;
    char *end = nullptr;
    const long long ms = std::strtoll(f[3].c_str(), &end, 10);
    if (f[3].empty() || *end != '\0') return false;
    *r = BatchRecord{unescaped(f[0]), unescaped(f[1]), unescaped(f[2]), ms, unescaped(f[4]), unescaped(f[5])};
    return r->status == "done" || r->status == "failed" || r->status == "skipped";
}

void BatchManifest::note(const BatchRecord &r) {
    records_.push_back(r);
    if (r.status != "skipped") latest_[r.output] = records_.size() - 1;
}

bool BatchManifest::open(const std::string &path, std::string *error) {
    std::lock_guard<std::mutex> hold(lock_);
    if (fd_ >= 0) ::close(fd_);
    records_.clear();
    latest_.clear();
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        *error = "cannot open the manifest '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = "cannot read the manifest '" + path + "': " + std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    size_t from = 0;
    for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1) {
        BatchRecord r;
        if (parse(text.substr(from, nl - from), &r)) note(r);
    }
    // A new manifest starts with its heading; a torn last line is ended so
    // that the next record starts a line of its own.
    const std::string start = text.empty() ? std::string(kHeading) + "\n" : from < text.size() ? "\n" : "";
    if (!writeAll(fd_, start)) {
        *error = "cannot write the manifest '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool BatchManifest::finished(const std::string &input, const std::string &output,
                             const std::string &recipe) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto at = latest_.find(output);
    if (at == latest_.end()) return false;
    const BatchRecord &r = records_[at->second];
    struct stat st;
    return r.status == "done" && r.input == input && r.recipe == recipe && stat(output.c_str(), &st) == 0;
}

bool BatchManifest::append(const BatchRecord &record) {
    std::lock_guard<std::mutex> hold(lock_);
    note(record);
    // One write of the whole line: appends from other processes land between
    // lines, never inside one.
    return fd_ >= 0 && writeAll(fd_, format(record) + "\n");
}

std::vector<BatchRecord> BatchManifest::records() const {
    std::lock_guard<std::mutex> hold(lock_);
    return records_;
}
