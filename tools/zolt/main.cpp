// zolt: the command-line tool over ZOLT image files. The first word names the
// command; the command table says what each one accepts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "zolt.h"

#ifndef ZOLT_VERSION
#define ZOLT_VERSION "unknown"
#endif

namespace {

void usage(FILE *out) {
    std::fprintf(out, "usage: zolt [--verbose] COMMAND ARGUMENTS\n\ncommands:\n");
    for (const ZoltToolCommand *c = zoltToolCommands; c->name; ++c)
        std::fprintf(out, "  zolt %s %s\n      %s\n", c->name, c->usage, c->summary);
    std::fprintf(out, "  zolt --version\n      the program's version\n");
}

bool accepts(const ZoltToolCommand &c, const std::string &option) {
    if (std::strcmp(c.options, "*") == 0) return true;  // the command checks its own options
    const std::string list = std::string(" ") + c.options + " ";
    return list.find(" " + option + " ") != std::string::npos;
}

}  // namespace

int main(int argc, char **argv) {
    // The library's progress lines go to standard output only with --verbose,
    // which may stand anywhere before a lone "--".
    std::vector<char *> words;
    bool verbose = false, ended = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && !ended && std::strcmp(argv[i], "--verbose") == 0) {
            verbose = true;
            continue;
        }
        if (i > 0 && std::strcmp(argv[i], "--") == 0) ended = true;
        words.push_back(argv[i]);
    }
    argc = static_cast<int>(words.size());
    words.push_back(nullptr);
    argv = words.data();
    ZoltChatter = verbose ? 1 : 0;
    const ZoltToolCommand *cmd = zoltToolCommands;
    while (cmd->name && (argc < 2 || std::strcmp(argv[1], cmd->name) != 0)) ++cmd;
    const ZoltToolArgs args = zoltParseArgs(argc, argv, cmd->name ? cmd->flags : "");
    if (args.command == "--version" || args.command == "-v") {
        std::printf("zolt %s\n", ZOLT_VERSION);
        return 0;
    }
    if (args.command.empty() || args.command == "help" || args.command == "--help" ||
        args.command == "-h") {
        usage(args.command.empty() ? stderr : stdout);
        return args.command.empty() ? 2 : 0;
    }
    if (args.command == "op" && argc >= 3 && std::strcmp(argv[2], "--help") == 0) return zoltOpHelp(stdout);
    if (!cmd->name) {
        std::fprintf(stderr, "zolt: unknown command '%s'\n\n", args.command.c_str());
        usage(stderr);
        return 2;
    }
    if (!args.error.empty()) {
        std::fprintf(stderr, "zolt %s: %s\n", cmd->name, args.error.c_str());
        return 2;
    }
    for (const auto &opt : args.options)
        if (!accepts(*cmd, opt.first)) {
            std::fprintf(stderr, "zolt %s: unknown option --%s\nusage: zolt %s %s\n", cmd->name,
                         opt.first.c_str(), cmd->name, cmd->usage);
            return 2;
        }
    const int n = static_cast<int>(args.operands.size());
    if (n < cmd->minOperands || (cmd->maxOperands >= 0 && n > cmd->maxOperands)) {
        std::fprintf(stderr, "usage: zolt %s %s\n", cmd->name, cmd->usage);
        return 2;
    }
    int status = cmd->run(args);
    // What could not be written to the standard output is a failure too
    // (a full disk, a closed pipe).
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "zolt %s: writing the standard output failed: %s\n", cmd->name, std::strerror(errno));
        if (status == 0) status = 1;
    }
    return status;
}
