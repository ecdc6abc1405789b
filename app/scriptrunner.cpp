// The script runner: the Output buffer goes to a script as
// "ImgViewTempInput.Zolt" in the script's directory, the script runs there,
// and the "ImgViewTempOutput.Zolt" it leaves behind comes back into the
// Input 2 buffer. That buffer changes only once the result has been read.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QDir>

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

    appendConsole(QStringLiteral("\nScript started..."));
    const bool started = runScriptProcess(files);
    appendConsole(QStringLiteral("Script completed\n"));
    if (!started) {
        prompt().message(this, tr("The command processor could not be started for %1.").arg(scriptPath));
        return;
    }

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
    table()->beginChange(tr("Script %1 on buffer %2 -> %3").arg(scriptPath).arg(outputSlot()).arg(i2),
                         exchangeScript(files, outputSlot(), i2));
    table()->install(i2, result, true);
    table()->names[i2] = QStringLiteral("ReturnedFromScript");
    table()->endChange();
    rerunAct->setEnabled(true);
}
