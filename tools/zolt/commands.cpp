// The command table of the zolt tool; new commands add a line here.
#include "commands.h"

const ZoltToolCommand zoltToolCommands[] = {
    {"info", "FILE...",
     "type, size, header texts and per-frame statistics of ZOLT and TIFF files", "", 1, -1, zoltInfo},
    {"convert", "IN OUT [--type NAME]",
     "write a ZOLT or TIFF file as another data type (default: its own), as TIFF for .tif/.tiff", "type", 2, 2, zoltConvert},
    {"pattern", "OUT [--size N]",
     "write the synthetic \"32flt\" test pattern (rings, ramp, blobs)", "size", 1, 1, zoltPattern},
    {"op", "NAME INPUT [INPUT2] -o OUTPUT [--PARAMETER VALUE ...] [--type NAME]",
     "run an operation of the control panel on ZOLT or TIFF files (zolt op --help lists them)", "*", 1, -1, zoltOp},
    {nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};
