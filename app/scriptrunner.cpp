// The script runner: the Output buffer goes to a script as
// "ImgViewTempInput.Zolt" in the script's directory, the script runs there
// while the window stays alive (buffers held, elapsed time and Cancel in the
// status bar), and the "ImgViewTempOutput.Zolt" it leaves behind comes back
// into the Input 2 buffer. That buffer changes only once the result has been read.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>

#include "buffertable.h"
#include "mainwindow.h"
#include "prompt.h"
#include "scriptcommand.h"
#include "zolt.h"

namespace {

// The shell lines that hand buffer `from` to the script and take its result into `to`.
QStringList exchangeScript(const ScriptFiles &files, int from, int to) {
    const auto q = shellQuote;
    return {QStringLiteral("cp %1 %2").arg(QString::fromStdString(History::bufferFile(from)), q(files.input)),
            QStringLiteral("(cd %1 && %2)").arg(q(files.dir), q(files.script)),
            QStringLiteral("mv %1 %2").arg(q(files.output), QString::fromStdString(History::bufferFile(to)))};
}

}  // namespace

void ZOlttoolMainWindow::runScript() {
    const QString chosen = prompt().openFileName(this, tr("Select Script"), QDir::homePath());
    if (chosen.isEmpty()) {
        prompt().message(this, tr("ScriptName is empty"));
        return;
    }
    const ScriptFiles files = scriptFiles(chosen);
    scriptPath = files.script;
    scriptDir = files.dir;
    tempInputPath = files.input;
    runStoredScript();
}

void ZOlttoolMainWindow::rerunScript() {
    if (tempInputPath.isEmpty()) {
        prompt().message(this, tr("You must run a script before you can rerun it."));
        return;
    }
    runStoredScript();
}

void ZOlttoolMainWindow::runStoredScript() {
    if (scriptRun) return;  // one run at a time
    const ScriptFiles files = scriptFiles(scriptPath);
    tempOutputPath = files.output;

    // An empty Output buffer still runs the script (it may make an image of
    // its own); an image that cannot be handed over stops the run, so the
    // script never works on an old input file.
    if (ZoltHeader *img = table()->image(outputSlot())) {
        if (!writeExchangeImage(img, tempInputPath)) {
            prompt().message(this, tr("The image could not be written to %1. The script was not run.")
                                       .arg(tempInputPath));
            return;
        }
    }
    // A result left over from an earlier run must not pass for this one's.
    QFile::remove(tempOutputPath);

    // The script runs beside the window; its end brings the result in.
    appendConsole(QStringLiteral("\nScript started..."));
    auto *run = new ScriptRun(files, this);
    if (!run->start()) {
        delete run;
        appendConsole(QStringLiteral("Script completed\n"));
        prompt().message(this, tr("The command processor could not be started for %1.").arg(scriptPath));
        return;
    }
    scriptRun = run;
    connect(run, &ScriptRun::finished, this, &ZOlttoolMainWindow::finishScript);
    holdControls(true);
}

void ZOlttoolMainWindow::finishScript() {
    ScriptRun *run = scriptRun;
    if (!run) return;
    scriptRun = nullptr;
    run->deleteLater();
    holdControls(false);
    const QString seconds = QString::number(run->elapsedMs() / 1000.0, 'f', 1);
    if (run->cancelled()) {
        // Whatever a cancelled script left half-written is not its result.
        QFile::remove(tempOutputPath);
        appendConsole(QStringLiteral("Script cancelled\n"));
        statusBar()->showMessage(tr("Script cancelled after %1 s").arg(seconds));
    } else {
        appendConsole(QStringLiteral("Script completed\n"));
        statusBar()->showMessage(tr("Script completed in %1 s").arg(seconds));
        takeScriptResult();
    }
    emit scriptFinished();
}

// While a script runs nothing may change a buffer or start another run: the
// choosers, the operation buttons, every command of the panel but Exit and
// About, and drops are held, and come back as they were.
void ZOlttoolMainWindow::holdControls(bool hold) {
    if (hold) {
        heldControls.clear();
        for (QAction *a : findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly))
            if (a->objectName() != QLatin1String("exitAct") && a->objectName() != QLatin1String("aboutAct"))
                heldControls.append({a, a->isEnabled()});
        for (auto &row : choosers)
            for (QRadioButton *radio : row) heldControls.append({radio, radio->isEnabled()});
        for (QPushButton *button : operationButtons) heldControls.append({button, button->isEnabled()});
        for (const auto &held : heldControls) held.first->setProperty("enabled", false);
        heldDrops = acceptDrops();
        setAcceptDrops(false);

        // The status bar shows how long the script has run, and offers Cancel.
        auto *status = new QWidget(statusBar());
        status->setObjectName("scriptStatus");
        auto *layout = new QHBoxLayout(status);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *elapsed = new QLabel(status);
        elapsed->setObjectName("scriptElapsed");
        auto *cancel = new QPushButton(tr("Cancel"), status);
        cancel->setObjectName("scriptCancel");
        cancel->setToolTip(tr("End the script and everything it started"));
        layout->addWidget(elapsed);
        layout->addWidget(cancel);
        const QString name = QFileInfo(scriptPath).fileName();
        auto show = [this, elapsed, name] {
            if (scriptRun)
                elapsed->setText(tr("Script %1 running: %2 s")
                                     .arg(name, QString::number(scriptRun->elapsedMs() / 1000.0, 'f', 1)));
        };
        show();
        auto *clock = new QTimer(status);
        connect(clock, &QTimer::timeout, status, show);
        clock->start(100);
        connect(cancel, &QPushButton::clicked, this, [this, cancel] {
            if (!scriptRun) return;
            scriptRun->cancel();
            cancel->setEnabled(false);
        });
        statusBar()->addPermanentWidget(status);
        return;
    }
    delete statusBar()->findChild<QWidget *>("scriptStatus");
    for (const auto &held : heldControls)
        if (held.first) held.first->setProperty("enabled", held.second);
    heldControls.clear();
    setAcceptDrops(heldDrops);
    updateAccessability();
}

// The file the script left behind goes into the Input 2 buffer.
void ZOlttoolMainWindow::takeScriptResult() {
    if (!QFileInfo::exists(tempOutputPath)) {
        prompt().message(this, tr("Your script did not produce an output file that I know how to process"));
        return;
    }
    ZoltHeader *result = readExchangeImage(tempOutputPath);
    QFile::remove(tempOutputPath);
    if (!result) {
        prompt().message(this, tr("The script's output file %1 could not be read. The buffer is unchanged.")
                                   .arg(tempOutputPath));
        return;
    }
    const int i2 = input2Slot();
    if (i2 < 0) {
        Zoltfree(result, 7);
        return;
    }
    // The buffer's viewer stays open; only the image under it changes.
    const ScriptFiles files = scriptFiles(scriptPath);
    table()->beginChange(tr("Script %1 on buffer %2 -> %3").arg(scriptPath).arg(outputSlot()).arg(i2),
                         exchangeScript(files, outputSlot(), i2));
    table()->install(i2, result, true);
    table()->names[i2] = QStringLiteral("ReturnedFromScript");
    table()->endChange();
    rerunAct->setEnabled(true);
}
