// The session's history and its export as a shell script.
#include "history.h"

int History::add(const std::string &what, const std::vector<std::string> &script) {
    list.push_back(Entry{what, script, false});
    return static_cast<int>(list.size()) - 1;
}

void History::setUndone(int index, bool undone) {
    if (index >= 0 && index < static_cast<int>(list.size())) list[static_cast<size_t>(index)].undone = undone;
}

void History::append(int index, const std::string &comment, const std::vector<std::string> &script) {
    if (index < 0 || index >= static_cast<int>(list.size())) return;
    Entry &e = list[static_cast<size_t>(index)];
    e.script.push_back(comment);
    e.script.insert(e.script.end(), script.begin(), script.end());
}

std::string History::listing() const {
    std::string text;
    for (size_t i = 0; i < list.size(); ++i) {
        text += std::to_string(i + 1) + ". " + list[i].what;
        if (list[i].undone) text += "  (undone)";
        text += "\n";
    }
    return text;
}

std::string History::script() const {
    std::string s =
        "#!/bin/sh\n"
        "# Rebuilds the buffers of a zolttool session from the files it read:\n"
        "# buffer N ends in bufferN.zolt in the current directory.\n"
        "set -e\n"
        "ZOLT=${ZOLT:-zolt}\n";
    // A comment names files, whose names may hold line ends: those would
    // end the comment and turn the rest of the name into a command.
    const auto comment = [](std::string text) {
        for (char &c : text)
            if (c == '\n' || c == '\r') c = ' ';
        return text;
    };
    for (const Entry &e : list) {
        if (e.undone) continue;
        s += "\n# " + comment(e.what) + "\n";
        for (const std::string &line : e.script) s += (line.compare(0, 1, "#") == 0 ? comment(line) : line) + "\n";
    }
    return s;
}

std::string History::bufferFile(int slot) { return "buffer" + std::to_string(slot) + ".zolt"; }

std::string History::quote(const std::string &word) {
    std::string q = "'";
    for (char c : word) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}
