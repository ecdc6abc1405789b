// Running a user's script on an image: the two exchange files beside the
// script and the run itself, with the script's directory as working directory.
#ifndef ZOLTTOOL_SCRIPTCOMMAND_H
#define ZOLTTOOL_SCRIPTCOMMAND_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>

struct ZoltHeader;

// A text quoted for a POSIX shell: wrapped in single quotes, each single quote
// inside written as '\'' so blanks, quotes and ; | & $ ` stay literal.
QString shellQuote(const QString &text);

// Where one script run reads and writes.
struct ScriptFiles {
    QString script;  // the script as chosen
    QString dir;     // its absolute directory, no trailing slash
    QString input;   // dir + "/ImgViewTempInput.Zolt": the image handed to the script
    QString output;  // dir + "/ImgViewTempOutput.Zolt": what the script leaves behind
};
ScriptFiles scriptFiles(const QString &scriptPath);

// The command the shell is given: just the quoted script path, so nothing but
// that script runs (a script without "#!" line is run by the shell itself).
QString scriptCommand(const ScriptFiles &files);

// The exchange files are opened by their literal path: the library's name
// expansion ($VARIABLES, ~user) must not touch a directory that happens to
// hold such characters. Writing gives true on success; small images are
// written uncompressed, as the library's own writer does.
bool writeExchangeImage(ZoltHeader *img, const QString &path);
// The image in an exchange file, in its own data type, or null.
ZoltHeader *readExchangeImage(const QString &path);

// One script run in the background: /bin/sh runs the script in its directory,
// its own output goes to ours, and the window stays alive. The shell leads a
// process group of its own, so Cancel (and the end of the run's owner) ends
// everything the script started. The script's exit status is not looked at.
class ScriptRun : public QObject {
    Q_OBJECT

public:
    ScriptRun(const ScriptFiles &files, QObject *parent = nullptr);
    // A run still going is ended, its whole process group with it.
    ~ScriptRun() override;

    // False when the shell could not be started at all.
    bool start();
    // Asks the script's process group to end (SIGTERM), and ends it outright
    // (SIGKILL) if it is still there after a grace period; finished follows.
    void cancel();
    bool cancelled() const { return stopped; }
    bool running() const;
    qint64 elapsedMs() const { return clock.isValid() ? clock.elapsed() : 0; }

signals:
    // The shell has ended, by itself or cancelled.
    void finished();

private:
    void signalGroup(int sig);

    class GroupProcess;
    GroupProcess *process;
    QElapsedTimer clock;
    bool stopped = false;
};

#endif
