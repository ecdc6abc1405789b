// The script run: quoting for the shell, the exchange file names and the
// blocking run in the script's own directory.
#include "scriptcommand.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>

#include <cstdio>

#include "zolt.h"
#include "zolt_safefile.h"

QString shellQuote(const QString &text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

ScriptFiles scriptFiles(const QString &scriptPath) {
    ScriptFiles f;
    f.script = scriptPath;
    f.dir = QFileInfo(scriptPath).absolutePath();
    f.input = f.dir + QLatin1String("/ImgViewTempInput.Zolt");
    f.output = f.dir + QLatin1String("/ImgViewTempOutput.Zolt");
    return f;
}

QString scriptCommand(const ScriptFiles &files) {
    return shellQuote(QFileInfo(files.script).absoluteFilePath());
}

bool runScriptProcess(const ScriptFiles &files) {
    QProcess shell;
    shell.setProcessChannelMode(QProcess::ForwardedChannels);
    shell.setWorkingDirectory(files.dir);
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), scriptCommand(files)});
    if (!shell.waitForStarted(-1)) return false;
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    return true;
}

bool writeExchangeImage(ZoltHeader *img, const QString &path) {
    if (!img || !img->oltptr) return false;
    // The script never sees a half-written input: the file replaces the old
    // one only when complete.
    ZoltSafeFile safe;
    FILE *fp = safe.open(QFile::encodeName(path).constData());
    if (!fp) return false;
    // Below 512 pixels a zlib stream can be longer than the data it holds.
    if (Zoltpixels(img) < 512) img->oltcomp = 0;
    return ZoltWrImg(img, fp, 0) == -1 && safe.commit();
}

ZoltHeader *readExchangeImage(const QString &path) {
    FILE *fp = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!fp) return nullptr;
    ZoltHeader *img = ZoltRdImg(fp, 0);
    std::fclose(fp);
    return img;
}
