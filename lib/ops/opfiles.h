// Operations over image files: option texts read as an operation's values,
// one file run through an operation (read, run, convert, write), and the
// pieces of a batch run over many files: the plan of inputs and outputs, the
// recipe that says what was done, and the manifest that records each file
// and tells a rerun what it may skip. The zolt tool and the Python package
// both run files through these, so a file comes out the same either way.
#ifndef OPS_OPFILES_H
#define OPS_OPFILES_H

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ops.h"

// Values of op's parameters from option texts by parameter name: the given
// text, else the dialog's default, within the dialog's range. False with the
// reason ("unknown parameter --x", "--sigma is required", ...) otherwise.
bool opValuesFromText(const OpEntry &op, const std::map<std::string, std::string> &given, OpValues &values,
                      std::string *error);

// An image file (ZOLT or TIFF, told by its content) as the control panel's
// buffers hold it: complex data stays complex in single precision, everything
// else becomes "float". Null when it cannot be read, with the reason in `why`
// when given.
ZoltHeader *opReadImage(const std::string &name, std::string *why = nullptr);

// What became of one file: ok, or the reason it failed; on success message
// holds the operation's note, if it has one ("found 12 labels").
struct OpFileResult {
    bool ok = false;
    std::string message;
};

// Runs op on the image in `input` (with `second` as image 2 of a two-input
// operation) and writes the result to `output` as `type` (empty: "float",
// complex results "32cmp"), as TIFF when its name ends in .tif or .tiff. The output file appears only once complete; a
// failure leaves none behind and an older file as it was.
OpFileResult opRunFile(const OpEntry &op, const OpValues &values, const std::string &input,
                       const ZoltHeader *second, const std::string &output, const std::string &type);

// One file of a batch and the file its result goes to.
struct BatchItem {
    std::string input, output;
};

// The files of a batch: each folder among `inputs` stands for its ZOLT and
// TIFF files, sorted by name; each result goes to OUTDIR/STEM.zol (or .tif
// for format "tif"). False with the reason when there is no input, when two
// inputs share a stem, or when an output would replace its own input.
bool batchPlan(const std::vector<std::string> &inputs, const std::string &outdir, const std::string &format,
               std::vector<BatchItem> *items, std::string *error);

// The words that say what a batch does to each file: the operation, every
// parameter's value (defaults included, numbers exact), and the type, format
// and second image when given. Two runs with equal recipes make equal files.
std::string batchRecipe(const OpEntry &op, const OpValues &values, const std::string &type,
                        const std::string &format, const std::string &second);

// One line of the manifest.
struct BatchRecord {
    std::string input, output;
    std::string status;  // "done", "failed" or "skipped"
    long long msec = 0;
    std::string message;
    std::string recipe;
};

// The manifest OUTDIR/zolt-batch.tsv: a heading line, then one tab-separated
// line per file (input, output, status, milliseconds, message, recipe; tabs,
// line ends and backslashes escaped), each appended whole and handed to the
// system as the file ends, so a killed run keeps the record of every file it
// finished. A last line without its line end (a run killed while writing it)
// is ignored.
class BatchManifest {
public:
    static constexpr const char *fileName = "zolt-batch.tsv";

    BatchManifest() = default;
    ~BatchManifest();
    BatchManifest(const BatchManifest &) = delete;
    BatchManifest &operator=(const BatchManifest &) = delete;

    // Reads the manifest at path (none yet is fine) and opens it for
    // appending; false with the reason when it cannot be read or written.
    bool open(const std::string &path, std::string *error);
    // Whether the file needs no new run: the latest record of its output
    // other than a skip is done, of this input under this recipe, and the
    // output still exists. A later run into the same output under another
    // recipe therefore makes the earlier record stale.
    bool finished(const std::string &input, const std::string &output, const std::string &recipe) const;
    // Appends one record; safe to call from several threads. False when the
    // line could not be written.
    bool append(const BatchRecord &record);
    // Every record read or appended, in order.
    std::vector<BatchRecord> records() const;

    // The line of a record (without its line end) and back; parse is false
    // for a line that is not a record.
    static std::string format(const BatchRecord &record);
    static bool parse(const std::string &line, BatchRecord *record);

private:
    mutable std::mutex lock_;
    int fd_ = -1;
    std::vector<BatchRecord> records_;
    std::map<std::string, size_t> latest_;  // output -> its latest record other than a skip
    void note(const BatchRecord &record);
};

#endif
