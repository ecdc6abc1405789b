// The two-input operations of the table (add, subtract, multiply, divide,
// correlation, segmentation). Their entries follow the one-input ones.
#include "opfuncs.h"

const OpEntry binaryOps[] = {
    {0, nullptr, 0, nullptr, 0, nullptr, nullptr, OpOutput::Own, false, nullptr, {}, nullptr, nullptr},
};
