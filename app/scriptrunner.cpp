// The script runner: hand the Output buffer to a script and read its result back.
#include "mainwindow.h"

void ZOlttoolMainWindow::runScript() {}

void ZOlttoolMainWindow::rerunScript() {}
