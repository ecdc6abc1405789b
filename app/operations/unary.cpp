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

    // The areas text file must not take the place of an image file.
    const int areas = op.paramIndex("areas");
    if (areas >= 0 && window->isSessionImageFile(QString::fromLocal8Bit(values.text[areas].c_str()))) {
        show(parent, OpMessage{"The areas file is an image file read or saved in this session; choose another name.", "", 0});
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
    lastValues = values;
    lastMs = ms;
    table->maxValue = context.maxValue;
    if (outcome.made) {
        // The operation's own image takes the prepared one's place.
        if (output && output != input && output != input2) Zoltfree(output, 7);
        output = outcome.made;
    }
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
    // The output stays aside, outside the buffers, until the operation has
    // succeeded: a cancel, refusal or failure leaves every buffer as it was.
    p.output = opMakeOutput(op, p.input);
    if (!p.output) {
        window->prompt().message(window, tr("There is not enough memory for the output image."));
        p.ok = false;
        return p;
    }
    p.work = o == i;
    return p;
}

void Operations::runUnaryOperation(QWidget *parent, int code, ZoltHeader *&input, ZoltHeader *&output) {
    const OpEntry *op = opByCode(code, 1);
    if (op) completed = perform(parent, *op, input, output);
}

namespace {

// A parameter's value as the history shows it and as the tool reads it.
QString shown(const OpParam &p, const OpValues &v, int k) {
    if (p.kind == OpKind::Text) return QString::fromStdString(v.text[k]);
    if (p.kind == OpKind::Integer) return QString::number(static_cast<long long>(v.number[k]));
    return p.decimals > 0 ? QString::number(v.number[k], 'f', p.decimals) : QString::number(v.number[k], 'g', 6);
}

QString exact(const OpParam &p, const OpValues &v, int k) {
    if (p.kind == OpKind::Text) return QString::fromStdString(History::quote(v.text[k]));
    if (p.kind == OpKind::Integer) return QString::number(static_cast<long long>(v.number[k]));
    return QString::number(v.number[k], 'g', 17);
}

QString file(int slot) { return QString::fromStdString(History::bufferFile(slot)); }

}  // namespace

void Operations::commit(const OpEntry &op, const ZoltHeader *input, const QList<int> &inputs,
                        const QList<QPair<int, ZoltHeader *>> &results) {
    BufferTable *table = window->table();
    QString params, options;
    const bool arithmetic = op.inputs == 2 && op.paramIndex("dr") == 0;
    for (int k = 0; k < op.paramCount(); ++k) {
        const OpParam &p = op.params[k];
        if (p.only3d && !(input && input->oltndim == 3)) continue;
        if (p.kind == OpKind::Text && lastValues.text[k].empty()) continue;
        const QString value = arithmetic ? QString::number(opShift(lastValues, k)) : shown(p, lastValues, k);
        params += QStringLiteral(" %1 %2").arg(QString::fromLatin1(p.name), value);
        options += QStringLiteral(" --%1 %2")
                       .arg(QString::fromLatin1(p.name), arithmetic ? value : exact(p, lastValues, k));
    }
    QStringList from, to, oldNames;
    for (int i : inputs) {
        from << QString::number(i);
        oldNames << table->names[i];
    }
    for (const auto &r : results) to << QString::number(r.first);
    const QString what = QStringLiteral("%1%2: buffer%3 %4 -> %5")
                             .arg(title(op), params, inputs.size() > 1 ? QStringLiteral("s") : QString(),
                                  from.join(QStringLiteral(", ")), to.join(QStringLiteral(", ")));
    QStringList script;
    for (const auto &r : results) {
        if (r.first != results.first().first) {
            // pcon's second buffer: the data with its border replicated, which the tool does not write
            script << QStringLiteral("# buffer %1 keeps its image; only its border differs").arg(r.first);
            continue;
        }
        QString line = QStringLiteral("\"$ZOLT\" op %1").arg(QString::fromLatin1(op.name));
        for (int i : inputs) line += QLatin1Char(' ') + file(i);
        line += QStringLiteral(" -o %1%2 --type %3").arg(file(r.first), options, QString::fromLatin1(r.second->oltdt));
        script << line;
    }
    table->beginChange(what, script);
    for (const auto &r : results) {
        table->install(r.first, r.second);
        table->names[r.first] = title(op) + tr(" of ") + oldNames.join(tr(" and "));
    }
    table->endChange();
    window->appendConsole(QStringLiteral("\n%1, %2 ms").arg(what).arg(lastMs));
}

void Operations::finishFrame(const OpEntry &op, const Prepared &p, ZoltHeader *result, bool done) {
    if (done && result)
        commit(op, p.input, {window->input1Slot()}, {qMakePair(p.outputSlot, result)});
    else if (result)
        Zoltfree(result, 7);  // a cancelled, refused or failed operation changes no buffer
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
    const bool done = perform(window, op, input, made, given);
    Prepared p;
    p.input = const_cast<ZoltHeader *>(input);
    p.outputSlot = window->outputSlot();
    finishFrame(op, p, made, done);
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
    finishFrame(*op, p, output, completed);
}
