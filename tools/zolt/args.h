// Command-line parsing of the zolt tool: a command word, its operands and
// "--name VALUE" (or "--name=VALUE") options. Header-only so the tests can
// check it without the tool.
#ifndef ZOLT_TOOL_ARGS_H
#define ZOLT_TOOL_ARGS_H

#include <map>
#include <string>
#include <vector>

struct ZoltToolArgs {
    std::string command;                        // first word, empty when none
    std::vector<std::string> operands;          // the words that are not options
    std::map<std::string, std::string> options; // "--type u8bit" -> {"type", "u8bit"}
    std::string error;                          // non-empty when the line is malformed
};

// Splits argv (argv[0] is the program) into command, operands and options.
// A lone "--" ends the options: every word after it is an operand, so file
// names that start with "--" still get through. A lone "-" is an operand (the
// standard stream). The options named in `flags` (blank-separated) take no
// value: "--force" gives {"force", ""}.
inline ZoltToolArgs zoltParseArgs(int argc, const char *const *argv, const char *flags = "") {
    const std::string flagList = std::string(" ") + (flags ? flags : "") + " ";
    ZoltToolArgs args;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i] ? argv[i] : "";
        if (i == 1) {
            args.command = word;
            continue;
        }
        if (optionsEnded || word.size() < 3 || word.compare(0, 2, "--") != 0) {
            if (word == "--" && !optionsEnded) {
                optionsEnded = true;
                continue;
            }
            args.operands.push_back(word);
            continue;
        }
        const size_t eq = word.find('=');
        std::string name = word.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        std::string value;
        if (eq == std::string::npos && flagList.find(" " + name + " ") != std::string::npos) {
            // a flag: nothing to read
        } else if (eq != std::string::npos) {
            value = word.substr(eq + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            args.error = "option --" + name + " needs a value";
            return args;
        }
        if (name.empty()) {
            args.error = "malformed option '" + word + "'";
            return args;
        }
        args.options[name] = value;
    }
    return args;
}

#endif
