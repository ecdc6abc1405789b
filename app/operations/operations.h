// What the operation slots hand to the dispatchers: the control panel, which
// parents every parameter dialog and message of an operation, and the unary
// side of the operation layer: the slot frame, the dispatcher and the
// operations the mode-1 slots run directly. What each button does comes from
// the operation table (ops.h).
#ifndef ZOLTTOOL_OPERATIONS_H
#define ZOLTTOOL_OPERATIONS_H

#include <QString>

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

    // What prepareUnaryOutput chose: the image read, the image written and
    // where it sits (the output buffer, or the work slot when the output
    // buffer is also the first input).
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

private:
    // Runs one operation from its checks to its report; `given` holds values
    // the panel supplies itself (Crop's corners). True when it completed.
    bool perform(QWidget *parent, const OpEntry &op, const ZoltHeader *input, ZoltHeader *&output,
                 const OpValues *given = nullptr);
    // Asks the parameters op asks for the input; false when cancelled.
    bool askParameters(QWidget *parent, const OpEntry &op, const ZoltHeader *input, OpValues &values);
    void show(QWidget *parent, const OpMessage &message);
    // Waits while the toolkit goes on handling events.
    static void waitProcessing(int msec);
    // The operations of mode 1 that make their own output.
    void runDirect(const OpEntry &op);
    void finishFrame(const OpEntry &op, const Prepared &p, bool completed);
    QString title(const OpEntry &op) const;
    bool completed = false;  // whether the last dispatched operation produced its result
};

#endif
