// What the operation slots hand to the dispatchers: the control panel, which
// parents every parameter dialog and message of an operation.
#ifndef ZOLTTOOL_OPERATIONS_H
#define ZOLTTOOL_OPERATIONS_H

class ZOlttoolMainWindow;

class Operations {
public:
    explicit Operations(ZOlttoolMainWindow *panel) : window(panel) {}
    ZOlttoolMainWindow *window;
};

#endif
