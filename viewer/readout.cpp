// Pointer presses, drags and releases over a viewer's picture: pixel readout
// on the console, recorded paths and click positions. Not filled in yet.
#include "childwindow.h"

void ZOlttoolChildWindow::mousePressEvent(QMouseEvent *) {}
void ZOlttoolChildWindow::mouseMoveEvent(QMouseEvent *) {}
void ZOlttoolChildWindow::mouseReleaseEvent(QMouseEvent *) {}
