// The View command: a viewer window for the Output buffer.
#include "mainwindow.h"

void ZOlttoolMainWindow::view() {}
