// The two-input side of the control panel's operations: the output prepared
// from the first input, the dispatcher for Add, Sub, Mul, Div and Correlate,
// and the pcon slot, which restores the first input's image in place.
#include <QCoreApplication>

#include <cstring>

#include "buffertable.h"
#include "flimage.h"
#include "mainwindow.h"
#include "operations.h"
#include "ops.h"
#include "prompt.h"

Operations::BinaryPrepared Operations::prepareBinaryOutput() {
    BufferTable *table = window->table();
    BinaryPrepared p;
    const int a = window->input1Slot(), b = window->input2Slot(), o = window->outputSlot();
    p.input1 = table->image(a);
    p.input2 = table->image(b);
    p.outputSlot = o;
    if (!p.input1 || !p.input2) return p;
    p.empty = false;
    if (QWidget *viewer = table->viewer(o)) {
        delete viewer;
        table->removeViewer(viewer);  // viewers leave the registry as they go; this makes sure
    }
    p.output = flimage::floatLike(p.input1);
    if (!p.output) {
        // Nothing changes: the output buffer keeps what it holds.
        window->prompt().message(
            window, QCoreApplication::translate("Operations", "There is not enough memory for the output image."));
        return p;
    }
    p.inPlace = o == a || o == b;
    if (!p.inPlace) table->install(o, p.output);
    return p;
}

bool Operations::askTranslation(QWidget *parent, int *dr, int *dc) {
    // Add's form is the translation form all four arithmetic operations share.
    const OpEntry *arithmetic = opByCode(22, 2);
    OpValues values;
    if (!arithmetic || !askForm(parent, *arithmetic, values)) return false;
    *dr = opShift(values, 0);
    *dc = opShift(values, 1);
    return true;
}

bool Operations::runBinaryOperation(QWidget *parent, int code, ZoltHeader *input1, ZoltHeader *input2,
                                    ZoltHeader *output, int outputSlot) {
    const OpEntry *op = opByCode(code, 2);
    if (!op) {
        // Any other code computes nothing; an empty input is still reported
        // with the refusal every two-input entry makes.
        if (!input1 || !input2) show(parent, opCheck(*opByCode(22, 2), input1, input2, output).refusal);
        return false;
    }
    BufferTable *table = window->table();
    const bool inPlace = input1 && (table->image(outputSlot) == input1 || table->image(outputSlot) == input2);
    ZoltHeader *result = output;
    const bool done = perform(parent, *op, input1, result, nullptr, input2);
    if (result != output) {
        // The arithmetic's canvas replaces the output buffer's image, except
        // that a failure never costs an input its buffer.
        if (done || !inPlace)
            table->install(outputSlot, result);
        else
            Zoltfree(result, 7);
    }
    return done;
}

void Operations::binary(const char *slot) {
    const int mode = window->currentOperationMode();
    const bool unlabelled = std::strcmp(slot, "gdir") == 0;
    const OpEntry *op = unlabelled ? nullptr : opBySlot(slot, mode);
    if (unlabelled && mode == 1) return;
    if (!unlabelled && !op) {
        window->badMsg(1);
        return;
    }
    const BinaryPrepared p = prepareBinaryOutput();
    if (!p.empty && !p.output) return;
    window->disableButtons();
    bool done = false;
    if (op && op->code == 0) {
        // pcon: Pcon rewrites both input images; the copy of the result it
        // hands back (for the command-line tool) is not needed here.
        ZoltHeader *result = p.output;
        perform(window, *op, p.input1, result, nullptr, p.input2);
        if (result != p.output) Zoltfree(result, 7);
    } else {
        done = runBinaryOperation(window, op ? op->code : 24, p.input1, p.input2, p.output, p.outputSlot);
    }
    if (p.inPlace) {
        // Correlation's result, written into the prepared image, takes the
        // output buffer's place; the others leave the prepared image unused.
        if (done && op->movesWork)
            window->table()->install(p.outputSlot, p.output);
        else
            Zoltfree(p.output, 7);
    }
    window->updateAccessability();
}
