// Runs the zolt tool as a program through the shell and keeps what it said.
#ifndef TESTS_TOOL_RUN_H
#define TESTS_TOOL_RUN_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct ToolRun {
    int status;
    std::string out;  // standard output and standard error together
};

// `arguments` are shell words after the program's name.
inline ToolRun runTool(const std::string &arguments) {
    const std::string command = std::string("'") + ZOLT_TOOL + "' " + arguments + " 2>&1";
    ToolRun r{-1, ""};
    FILE *p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

#endif
