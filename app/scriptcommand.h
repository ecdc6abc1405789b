// Running a user's script on an image: the two exchange files beside the
// script and the run itself, with the script's directory as working directory.
#ifndef ZOLTTOOL_SCRIPTCOMMAND_H
#define ZOLTTOOL_SCRIPTCOMMAND_H

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

// Runs the script through /bin/sh in its directory and waits for it; its own
// output goes to ours. False when the shell could not be started at all; the
// script's exit status is not looked at.
bool runScriptProcess(const ScriptFiles &files);

#endif
