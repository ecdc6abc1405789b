// Display adjustments of the viewer: brightness, warmth, coolness, the colour
// offsets, level and window, zoom and reset. Not filled in yet.
#include "childwindow.h"

void ZOlttoolChildWindow::bright(int) {}
void ZOlttoolChildWindow::warm(int) {}
void ZOlttoolChildWindow::cool(int) {}
void ZOlttoolChildWindow::changeR(int) {}
void ZOlttoolChildWindow::changeG(int) {}
void ZOlttoolChildWindow::changeB(int) {}
void ZOlttoolChildWindow::zoom(int) {}
void ZOlttoolChildWindow::level() {}
void ZOlttoolChildWindow::window() {}
void ZOlttoolChildWindow::reset() {}
