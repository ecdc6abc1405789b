// What was done this session, in order: every change of a buffer and every
// file read or saved, each with the zolt commands that redo it on files. The
// exported script replays the entries still in force (undone ones left out)
// and leaves buffer N's image in "bufferN.zolt". No Qt here.
#ifndef ZOLTTOOL_HISTORY_H
#define ZOLTTOOL_HISTORY_H

#include <string>
#include <vector>

class History {
public:
    struct Entry {
        std::string what;                 // one line for the list
        std::vector<std::string> script;  // shell lines that redo it; empty: nothing to redo
        bool undone = false;
    };

    // Appends an entry and gives its index.
    int add(const std::string &what, const std::vector<std::string> &script = {});
    void setUndone(int index, bool undone);
    // Adds a comment and lines to an entry's script.
    void append(int index, const std::string &comment, const std::vector<std::string> &script);
    const std::vector<Entry> &entries() const { return list; }

    // The list as shown: one line per entry, undone ones marked.
    std::string listing() const;
    // A POSIX shell script of the entries in force; the zolt tool is "$ZOLT"
    // (default: zolt on the PATH).
    std::string script() const;

    // The file that holds buffer `slot` in the script, and a word quoted for the shell.
    static std::string bufferFile(int slot);
    static std::string quote(const std::string &word);

private:
    std::vector<Entry> list;
};

#endif
