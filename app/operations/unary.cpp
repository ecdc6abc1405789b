// The unary side of the control panel's operations: the frame every unary
// slot runs (output prepared from the first input, controls disabled, the
// result moved into the output buffer), the dispatcher with its dialogs and
// messages, and the mode-1 operations that make their own output.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStatusBar>
#include <QThread>

#include <cstring>

#include "buffertable.h"
#include "elementwise.h"
#include "mainwindow.h"
#include "operations.h"
#include "ops.h"
#include "prompt.h"

namespace {

QString tr(const char *text) { return QCoreApplication::translate("Operations", text); }

// The wait cursor for as long as it lives.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

QString Operations::title(const OpEntry &op) const {
    return op.label ? tr(op.label) : QString::fromLatin1(op.name).toUpper();
}

void Operations::show(QWidget *parent, const OpMessage &message) {
    if (message.empty()) return;
    QString text = tr(message.text.c_str());
    if (text.contains(QLatin1String("%1"))) text = text.arg(QString::fromStdString(message.arg));
    if (message.msec == 0)
        window->prompt().message(parent, text);
    else
        window->prompt().note(message.title ? tr(message.title) : QString(), text, message.msec);
}

void Operations::waitProcessing(int msec) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < msec) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        QThread::msleep(static_cast<unsigned long>(qBound<qint64>(1, msec - clock.elapsed(), 100)));
    }
}

bool Operations::askForm(QWidget *parent, const OpEntry &op, OpValues &values) {
    const int n = op.paramCount();
    QStringList labels, presets;
    for (int k = 0; k < n; ++k) {
        labels << tr(op.params[k].label);
        presets << QString::fromLatin1(op.params[k].preset ? op.params[k].preset : "");
    }
    bool ok = false;
    const QStringList texts = window->prompt().form(parent, tr(op.form), labels, presets, &ok);
    if (!ok) return false;
    // File names go to the library in the local 8-bit encoding.
    for (int k = 0; k < n; ++k) {
        std::string text = texts.value(k).toLocal8Bit().toStdString();
        // A file name typed into the form may use $VARIABLES and "~".
        if (op.params[k].kind == OpKind::Text && !text.empty()) {
            int status = 0;
            if (char *expanded = ZoltPrsFN(text.c_str(), &status)) {
                text = expanded;
                Zoltcfree(expanded);
            }
        }
        opReadField(op.params[k], text, values, k);
    }
    return true;
}

bool Operations::askParameters(QWidget *parent, const OpEntry &op, const ZoltHeader *input, OpValues &values) {
    if (op.inputs == 2 && op.paramIndex("dr") == 0 && op.paramIndex("dc") == 1) {
        int dr = 0, dc = 0;
        if (!askTranslation(parent, &dr, &dc)) return false;
        values.number[0] = dr;
        values.number[1] = dc;
        return true;
    }
    if (op.form) return askForm(parent, op, values);
    const int n = op.paramCount();
    Prompt &ask = window->prompt();
    for (int k = 0; k < n; ++k) {
        const OpParam &p = op.params[k];
        values.number[k] = p.def;
        if (!opAsks(op, k, input)) continue;
        bool ok = false;
        if (p.kind == OpKind::Integer)
            values.number[k] = ask.integer(parent, tr(p.title), tr(p.label), int(p.def), int(p.min), int(p.max), 1, &ok);
        else
            values.number[k] = ask.real(parent, tr(p.title), tr(p.label), p.def, p.min, p.max, p.decimals, &ok);
        if (!ok) return false;
    }
    return true;
}

bool Operations::perform(QWidget *parent, const OpEntry &op, const ZoltHeader *input, ZoltHeader *&output,
                         const OpValues *given, const ZoltHeader *input2) {
    const OpCheck check = opCheck(op, input, input2, output);
    if (!check.refusal.empty()) {
        show(parent, check.refusal);
        return false;
    }
    show(parent, check.notice);
    if (check.waitMsec > 0) waitProcessing(check.waitMsec);

    OpValues values;
    if (given)
        values = *given;
    else if (!askParameters(parent, op, input, values))
        return false;

    // The areas text file must not take the place of the image file read last.
    const int areas = op.paramIndex("areas");
    if (areas >= 0 && opSameFile(values.text[areas], window->lastReadFile().toLocal8Bit().toStdString())) {
        show(parent, OpMessage{"The areas file is the image file read last; choose another name.", "", 0});
        return false;
    }

    BufferTable *table = window->table();
    OpContext context;
    context.maxValue = table->maxValue;
    OpOutcome outcome;
    QElapsedTimer clock;
    {
        WaitCursor busy;
        StatusProgress progress(window);
        clock.start();
        outcome = opRun(OpCall{op, input, input2, output, values, context});
    }
    const qint64 ms = clock.elapsed();
    table->maxValue = context.maxValue;
    if (outcome.made) output = outcome.made;
    if (outcome.done)
        window->statusBar()->showMessage(tr("%1: %2 ms").arg(title(op)).arg(ms));
    else if (outcome.ran)
        window->statusBar()->showMessage(
            tr("%1: failed with status %2 (%3 ms)").arg(title(op)).arg(outcome.status).arg(ms));
    show(parent, outcome.message);
    return outcome.done;
}

Operations::Prepared Operations::prepareUnaryOutput(const OpEntry &op) {
    BufferTable *table = window->table();
    Prepared p;
    const int i = window->input1Slot();
    const int o = window->outputSlot();
    p.input = table->image(i);
    p.outputSlot = o;
    if (!p.input) return p;
    ZoltHeader *out = opMakeOutput(op, p.input);
    if (!out) {
        // Nothing changes: the output buffer keeps what it holds.
        window->prompt().message(window, tr("There is not enough memory for the output image."));
        p.ok = false;
        return p;
    }
    p.work = o == i;
    table->install(p.work ? BufferTable::WorkSlot : o, out);
    p.output = out;
    return p;
}

void Operations::runUnaryOperation(QWidget *parent, int code, ZoltHeader *&input, ZoltHeader *&output) {
    const OpEntry *op = opByCode(code, 1);
    if (op) completed = perform(parent, *op, input, output);
}

void Operations::finishFrame(const OpEntry &op, const Prepared &p, bool done) {
    BufferTable *table = window->table();
    if (p.work) {
        ZoltHeader *result = table->take(BufferTable::WorkSlot);
        if (!done) {
            // A cancelled, refused or failed operation keeps the input's image.
            Zoltfree(result, 7);
        } else if (op.movesWork) {
            table->install(p.outputSlot, result);
        } else if (ZoltHeader *copy = fldup(result)) {
            Zoltfree(result, 7);
            table->install(p.outputSlot, copy);
        } else {
            table->install(p.outputSlot, result);
        }
    }
    window->updateAccessability();
}

void Operations::runDirect(const OpEntry &op) {
    BufferTable *table = window->table();
    const ZoltHeader *input = table->image(window->input1Slot());
    OpValues clicks;
    const OpValues *given = nullptr;
    if (input && std::strcmp(op.name, "crop") == 0) {
        // Crop: the corners are the two pixels clicked last in any viewer.
        // Before two clicks the corners make an empty rectangle, refused.
        const bool twoClicks = table->clickCount >= 2;
        const QPoint a = twoClicks ? table->previousClick : QPoint();
        const QPoint b = twoClicks ? table->lastClick : QPoint();
        clicks.number[0] = a.x();
        clicks.number[1] = a.y();
        clicks.number[2] = b.x();
        clicks.number[3] = b.y();
        given = &clicks;
    }
    window->disableButtons();
    ZoltHeader *made = nullptr;
    perform(window, op, input, made, given);
    if (made) table->install(window->outputSlot(), made);
    window->updateAccessability();
}

void Operations::unary(const char *slot) {
    const OpEntry *op = opBySlot(slot, window->currentOperationMode());
    if (!op) {
        window->badMsg(1);
        return;
    }
    if (op->output == OpOutput::Own) {
        runDirect(*op);
        return;
    }
    const Prepared p = prepareUnaryOutput(*op);
    if (!p.ok) return;
    window->disableButtons();
    ZoltHeader *input = p.input;
    ZoltHeader *output = p.output;
    completed = false;
    if (op->code != 0) {
        runUnaryOperation(window, op->code, input, output);
    } else {
        completed = perform(window, *op, input, output);
    }
    if (output != p.output) {
        // The operation made an output of its own: it takes the prepared one's place.
        window->table()->install(p.work ? BufferTable::WorkSlot : p.outputSlot, output);
    }
    finishFrame(*op, p, completed);
}
