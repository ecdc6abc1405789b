// The commands of the zolt tool. Each command is one entry of the table in
// commands.cpp: its name, a usage line, the options it accepts and the function
// that runs it. The function returns the process's exit status.
#ifndef ZOLT_TOOL_COMMANDS_H
#define ZOLT_TOOL_COMMANDS_H

#include <cstdio>

#include "args.h"

struct ZoltToolCommand {
    const char *name;
    const char *usage;       // operands and options after the command word
    const char *summary;     // one line for the help text
    const char *options;     // accepted option names separated by blanks, "" for none, "*" any
    int minOperands;
    int maxOperands;         // -1 for any number
    int (*run)(const ZoltToolArgs &args);
    const char *flags = "";  // options that take no value, separated by blanks
};

// The command table, ended by an entry whose name is null.
extern const ZoltToolCommand zoltToolCommands[];

int zoltInfo(const ZoltToolArgs &args);
int zoltConvert(const ZoltToolArgs &args);
int zoltPattern(const ZoltToolArgs &args);
int zoltOp(const ZoltToolArgs &args);
int zoltBatch(const ZoltToolArgs &args);
// The help of "zolt op": every operation of the table with its parameters.
int zoltOpHelp(FILE *out);

#endif
