// The script run: quoting for the shell, the exchange file names and the run
// in the script's own directory, in the background, in a process group of its own.
#include "scriptcommand.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

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

// The shell as the leader of a new process group, set up in the child
// between fork and exec.
class ScriptRun::GroupProcess : public QProcess {
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override { ::setpgid(0, 0); }
};

namespace {

// How long a cancelled script may take to end before it is killed.
constexpr int GraceMs = 2000;

}  // namespace

ScriptRun::ScriptRun(const ScriptFiles &files, QObject *parent)
    : QObject(parent), process(new GroupProcess(this)) {
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setWorkingDirectory(files.dir);
    process->setProgram(QStringLiteral("/bin/sh"));
    process->setArguments({QStringLiteral("-c"), scriptCommand(files)});
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &ScriptRun::finished);
}

ScriptRun::~ScriptRun() {
    process->disconnect(this);
    if (running()) {
        signalGroup(SIGKILL);
        process->waitForFinished(GraceMs);
    }
}

bool ScriptRun::start() {
    clock.start();
    process->start();
    if (!process->waitForStarted(-1)) return false;
    process->closeWriteChannel();
    return true;
}

bool ScriptRun::running() const { return process->state() != QProcess::NotRunning; }

void ScriptRun::signalGroup(int sig) {
    const qint64 pid = process->processId();
    if (pid > 0) ::kill(-static_cast<pid_t>(pid), sig);
}

void ScriptRun::cancel() {
    if (!running() || stopped) return;
    stopped = true;
    signalGroup(SIGTERM);
    QTimer::singleShot(GraceMs, this, [this] {
        if (running()) signalGroup(SIGKILL);
    });
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
