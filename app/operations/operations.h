// What the operation slots hand to the dispatchers: the control panel, which
// parents every parameter dialog and message of an operation, and the unary
// side of the operation layer: the slot frame, the dispatcher and the
// operations the mode-1 slots run directly. What each button does comes from
// the operation table (ops.h).
#ifndef ZOLTTOOL_OPERATIONS_H
#define ZOLTTOOL_OPERATIONS_H

#include <QList>
#include <QPair>
#include <QString>

#include "ops.h"

struct OpEntry;
struct OpOutcome;
struct OpValues;
struct OpMessage;
struct ZoltHeader;
class QWidget;
class ZOlttoolMainWindow;

class Operations {
public:
    explicit Operations(ZOlttoolMainWindow *panel) : window(panel) {}
    ZOlttoolMainWindow *window;

    // What prepareUnaryOutput chose: the image read, the image written (kept
    // outside the buffers until the operation succeeds) and the buffer it
    // goes to; work tells that the output buffer is also the first input.
    struct Prepared {
        ZoltHeader *input = nullptr;
        ZoltHeader *output = nullptr;
        int outputSlot = -1;
        bool work = false;
        bool ok = true;  // false: the output could not be made and nothing changed
    };

    // The unary slot `slot` in the panel's current mode: the frame around the
    // dispatcher, or the operation the slot runs itself, or "No function...".
    void unary(const char *slot);

    // Creates the output op needs from the first-input buffer (in the output
    // buffer or the work slot); with an empty first input, nothing.
    Prepared prepareUnaryOutput(const OpEntry &op);

    // Asks code's parameters, checks the input, runs the library and reports.
    // An operation that makes its own output hands it back through `output`;
    // the caller puts it where the prepared output was.
    void runUnaryOperation(QWidget *parent, int code, ZoltHeader *&input, ZoltHeader *&output);

    // ---- the two-input operations ----
    // What prepareBinaryOutput chose. `output` is a zero-filled "float" image
    // of the first input's size, held outside the buffers until the operation
    // succeeds; inPlace tells that the output buffer is an input.
    struct BinaryPrepared {
        ZoltHeader *input1 = nullptr;
        ZoltHeader *input2 = nullptr;
        ZoltHeader *output = nullptr;
        int outputSlot = -1;
        bool inPlace = false;
        bool empty = true;  // an input buffer holds no image: nothing was prepared
    };

    // The two-input slot `slot` (add, sub, mul, div, correlate, pcon, gdir)
    // in the panel's current mode.
    void binary(const char *slot);
    // Prepares the output image, aside from the buffers.
    BinaryPrepared prepareBinaryOutput();
    // Checks, asks, runs and reports code's operation on the two inputs. The
    // result is written into `output`, or replaces it with an image the
    // operation makes (Add, Sub, Mul and Div); no buffer changes here. True
    // when it completed.
    bool runBinaryOperation(QWidget *parent, int code, ZoltHeader *input1, ZoltHeader *input2,
                            ZoltHeader *&output, int outputSlot);

    // Asks how far the second image is shifted: rows and columns, both "0"
    // to start with; text that is not a number reads as 0. False when cancelled.
    bool askTranslation(QWidget *parent, int *dr, int *dc);

private:
    // Runs one operation from its checks to its report (input2 for the
    // two-input operations); `given` holds values the panel supplies itself
    // (Crop's corners). True when it completed.
    bool perform(QWidget *parent, const OpEntry &op, const ZoltHeader *input, ZoltHeader *&output,
                 const OpValues *given = nullptr, const ZoltHeader *input2 = nullptr);
    // Asks the parameters op asks for the input; false when cancelled.
    bool askParameters(QWidget *parent, const OpEntry &op, const ZoltHeader *input, OpValues &values);
    // Asks every parameter of op in its form; false when cancelled.
    bool askForm(QWidget *parent, const OpEntry &op, OpValues &values);
    void show(QWidget *parent, const OpMessage &message);
    // Waits while the toolkit goes on handling events.
    static void waitProcessing(int msec);
    // The operations of mode 1 that make their own output.
    void runDirect(const OpEntry &op);
    // A finished result goes into its buffer; anything else is released.
    void finishFrame(const OpEntry &op, const Prepared &p, ZoltHeader *result, bool completed);
    // Puts results into their buffers as one change of the buffers, named
    // after the operation, its parameters and buffers, with the zolt command
    // that redoes it, and reports it on the console.
    void commit(const OpEntry &op, const ZoltHeader *input, const QList<int> &inputs,
                const QList<QPair<int, ZoltHeader *>> &results);
    QString title(const OpEntry &op) const;
    bool completed = false;  // whether the last dispatched operation produced its result
    OpValues lastValues;     // the parameters of the operation run last
    long long lastMs = 0;    // and how long it took
};

// While it lives, the library's progress reports advance a progress bar in
// the panel's status bar; the bar hides again when it goes.
class StatusProgress {
public:
    explicit StatusProgress(ZOlttoolMainWindow *panel);
    ~StatusProgress();
    StatusProgress(const StatusProgress &) = delete;
    StatusProgress &operator=(const StatusProgress &) = delete;

private:
    static void report(void *self, long done, long total);
    ZOlttoolMainWindow *window;
    int shown = -1;  // percentage on display
};

#endif
