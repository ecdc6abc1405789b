// The two-input side of the control panel's operations: the output prepared
// from the first input, the dispatcher for Add, Sub, Mul, Div and Correlate,
// and the pcon slot, which restores the first input's image in place.
#include <QCoreApplication>

#include <cstring>

#include "buffertable.h"
#include "elementwise.h"
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
    // Kept aside until the operation succeeds; the buffer and its viewer stay.
    p.output = flimage::floatLike(p.input1);
    if (!p.output) {
        window->prompt().message(
            window, QCoreApplication::translate("Operations", "There is not enough memory for the output image."));
        return p;
    }
    p.inPlace = o == a || o == b;
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
                                    ZoltHeader *&output, int) {
    const OpEntry *op = opByCode(code, 2);
    if (!op) {
        // Any other code computes nothing; an empty input is still reported
        // with the refusal every two-input entry makes.
        if (!input1 || !input2) show(parent, opCheck(*opByCode(22, 2), input1, input2, output).refusal);
        return false;
    }
    return perform(parent, *op, input1, output, nullptr, input2);
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
    BinaryPrepared p = prepareBinaryOutput();
    if (!p.empty && !p.output) return;
    window->disableButtons();
    const int a = window->input1Slot(), b = window->input2Slot();
    if (op && op->code == 0) {
        // pcon restores the estimate and edits the data's border in place: it
        // works on copies, which replace both buffers only when it succeeds.
        ZoltHeader *estimate = p.input1 ? fldup(p.input1) : nullptr;
        ZoltHeader *data = p.input2 ? (b == a ? estimate : fldup(p.input2)) : nullptr;
        ZoltHeader *result = p.output;
        const bool done = (!p.input1 || estimate) && (!p.input2 || data) &&
                          perform(window, *op, estimate, result, nullptr, data);
        if (result && result != estimate && result != data) Zoltfree(result, 7);
        QList<QPair<int, ZoltHeader *>> results;
        if (estimate) results << qMakePair(a, estimate);
        if (data && data != estimate) results << qMakePair(b, data);
        if (done) {
            commit(*op, p.input1, {a, b}, results);
        } else {
            for (const auto &r : results) Zoltfree(r.second, 7);
        }
    } else {
        ZoltHeader *result = p.output;
        const bool done = runBinaryOperation(window, op ? op->code : 24, p.input1, p.input2, result, p.outputSlot);
        if (done && result)
            commit(*op, p.input1, {a, b}, {qMakePair(p.outputSlot, result)});
        else if (result)
            Zoltfree(result, 7);  // nothing computed: every buffer stays as it was
    }
    window->updateAccessability();
}
