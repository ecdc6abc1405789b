// The operation table and its runner: every operation that the control
// panel's buttons and the zolt tool run, with its code, command-line name,
// button label, parameter dialogs and the library call behind it. No Qt here:
// the GUI turns the table into dialogs, the tool into options.
#ifndef OPS_OPS_H
#define OPS_OPS_H

#include <mutex>
#include <string>
#include <vector>

#include "zolt.h"

// How a parameter is read.
enum class OpKind { Real, Integer, Text };

// One parameter of an operation. A parameter with a title is asked in a
// numeric dialog of its own; a parameter of an operation that has a form is a
// line edit of that form; any other parameter is never asked (the GUI fills
// it, as Crop fills its corners from the clicks).
struct OpParam {
    const char *name;    // option name on the command line; null ends the list
    OpKind kind;
    const char *title;   // numeric dialog: its title; null otherwise
    const char *label;   // dialog label or form row label (else a description for the help)
    double def;          // dialog start value; in a form, what an empty field reads as
    double min, max;     // dialog range; min > max means no range
    int decimals;        // shown decimals of a real dialog
    const char *preset;  // form: the pre-filled text; null when empty
    bool only3d;         // asked only when the first input has three dimensions

    bool bounded() const { return min <= max; }
    // The value the tool uses when the option is not given: what the dialog
    // (or the untouched form) hands over. False when there is none.
    bool defaultValue(double *value) const;
};

// What the dispatcher creates as output before the operation runs.
enum class OpOutput {
    FloatLike,     // "float" with the dimensions of input 1
    ComplexLike,   // "32cmp" with the dimensions of input 1
    ThreeFrames,   // "float" of input 1's columns and rows, 3 frames, unless input 1 is 3-D with 3 or more
    ColourFrames,  // as ThreeFrames, but a 3-D input keeps its shape only with 3 or 4 frames
    Grey2D,        // "float" 2-D of input 1's columns and rows
    Own,           // the operation makes its output itself
};

// A message for the user. The text may hold %1, replaced by arg. A message
// with msec 0 is modal; otherwise it is a self-closing note shown that long.
struct OpMessage {
    std::string text;
    std::string arg;
    int msec = 0;
    const char *title = nullptr;  // notes only: the box's title, when it has one

    bool empty() const { return text.empty(); }
    std::string formatted() const;  // text with %1 replaced
};

// Values of an operation's parameters, by position in its parameter list.
struct OpValues {
    double number[6] = {0, 0, 0, 0, 0, 0};
    std::string text[6];
};

class Rand48;

// State the operations share across runs: the label count of the last
// labelling (or the largest value of the image opened last).
struct OpContext {
    int maxValue = 0;
    // When set, maxValue is to be the largest value of this image, found
    // only when the random colour map asks for it: a pass over the whole
    // image that the other operations need not pay for.
    const ZoltHeader *largestOf = nullptr;
    // The random colour map's generator: null for the process-wide one the
    // program draws from; a file run on its own brings a fresh one, so its
    // colours are those of a program just started whatever ran before.
    Rand48 *random = nullptr;
};

// The result of running an operation.
struct OpOutcome {
    bool done = false;    // the operation ran and the output holds its result
    bool ran = false;     // the library was called (its status is in status)
    int status = 0;       // the library's status
    OpMessage message;    // what the user is told, if anything
    ZoltHeader *made = nullptr;  // a new output replacing the prepared one; the caller owns it
};

struct OpEntry;

// Everything an operation runs on.
struct OpCall {
    const OpEntry &op;
    const ZoltHeader *in1;
    const ZoltHeader *in2;   // binary operations only
    ZoltHeader *out;         // the prepared output (see OpOutput); null for Own
    const OpValues &values;
    OpContext &context;
};

// Checks made before any dialog: a refusal ends the operation with its
// message; a notice is shown and the operation goes on after `waitMsec`.
struct OpCheck {
    OpMessage refusal;
    OpMessage notice;
    int waitMsec = 0;
};

struct OpEntry {
    int code;              // dispatcher code; 0 for operations the slots run directly
    const char *name;      // command-line name
    int inputs;            // 1 or 2
    const char *slot;      // control-panel slot whose button or action runs it
    int mode;              // operation mode it runs in: 0, 1, or -1 in both
    const char *label;     // button label in that mode; null when no button shows it
    const char *summary;   // one line for the tool's help
    OpOutput output;
    bool movesWork;        // an in-place result moves into the buffer rather than being copied
    const char *form;      // heading of the form that asks every parameter; null: dialogs
    OpParam params[6];
    // Refusals and notices before the dialogs (may be null).
    void (*check)(const ZoltHeader *in1, const ZoltHeader *in2, const ZoltHeader *out,
                  OpCheck &result);
    OpOutcome (*run)(const OpCall &call);
    // Operations with local support: the radius of the neighbourhood one
    // output pixel reads in its frame, for the given parameters. A tile cut
    // with that many extra rows and columns on each side (fewer only where the
    // image ends) gives, inside the tile's own part, exactly the values of the
    // whole image. Null for operations that read the whole image or change
    // its shape.
    int (*halo)(const OpValues &values) = nullptr;

    int paramCount() const;
    int paramIndex(const char *name) const;  // -1 when it has none of that name
};

// The table: every operation once. The pointer stays valid for the program's
// life; count receives the number of entries.
const OpEntry *opTable(int *count);
// Look-ups: by command-line name; by dispatcher code and number of inputs
// (codes of one-input and two-input operations are counted apart); by slot
// and mode. Null when there is none.
const OpEntry *opByName(const std::string &name);
const OpEntry *opByCode(int code, int inputs);
const OpEntry *opBySlot(const char *slot, int mode);
// The button label of a slot in a mode: the table's label, "N/A" when no
// operation of that mode has one.
const char *opButtonLabel(const char *slot, int mode);

// The output the dispatcher prepares for op from its first input (null for
// Own, for a missing input, or when memory runs out).
ZoltHeader *opMakeOutput(const OpEntry &op, const ZoltHeader *in1);
// Refusals and notices before the dialogs, the empty-input refusal included.
OpCheck opCheck(const OpEntry &op, const ZoltHeader *in1, const ZoltHeader *in2,
                const ZoltHeader *out);
// A value typed into a form field: empty text reads as the parameter's
// default; numbers are read as far as they go (nothing readable is 0).
void opReadField(const OpParam &p, const std::string &text, OpValues &values, int index);
// The values an integer parameter may take: its range, or the int range when
// it has none. False for parameters that are not integers.
bool opIntegerRange(const OpParam &p, double *lo, double *hi);
// Runs op: integer parameters outside their range are refused, then the empty-input refusal, then its library call and the message
// its status calls for.
OpOutcome opRun(const OpCall &call);
// An image read from a file as the control panel's buffers hold it: complex
// data stays complex in single precision, everything else becomes "float".
// Takes `read` (freeing it when a converted copy replaces it); null on failure.
ZoltHeader *opBufferImage(ZoltHeader *read);
// The largest value of the first frame, truncated, as opening an image
// records it for the random colour map (0 when there is none).
int opLargestValue(const ZoltHeader *img);
// Shift k (0 rows, 1 columns) of a translation: its whole text read as a
// double (blanks around it allowed; text that is not a number reads as 0),
// or the value when there is no text; truncated toward zero.
int opShift(const OpValues &values, int k);
// Whether two names stand for the same file, links followed (a name that
// does not exist yet is compared by its resolved folder).
bool opSameFile(const std::string &a, const std::string &b);

// The halo of op for these values (see OpEntry::halo); -1 when op has no
// local support.
int opHalo(const OpEntry &op, const OpValues &values);
// Whether op asks this parameter for the given first input.
bool opAsks(const OpEntry &op, int index, const ZoltHeader *in1);

// The colour generator of the random colour map: drand48's 48-bit linear
// congruential generator from its usual start state. The map draws from one
// process-wide generator that is never reseeded; a map holds drawing() while
// it draws its table, so maps made in several threads draw whole runs.
class Rand48 {
public:
    double next();
    std::mutex &drawing() { return drawing_; }
private:
    unsigned long long state = 0x1234ABCD330EULL;
    std::mutex drawing_;
};
Rand48 &opRandom();

// Colours a label image (the grey source, read as integer labels) into frames
// 0 to 2 of `out`: labels below 2 black, others from a table of 3n random
// bytes (red table[L], green table[L + n], blue table[L + 2n]), n the larger
// of `labels` and one more than the largest label. Row 0 and column 0 are
// not written. Returns 0, or -1 for images it cannot read or write.
int randomColorMap(const ZoltHeader *grey, ZoltHeader *out, int labels, Rand48 &random);

#endif
